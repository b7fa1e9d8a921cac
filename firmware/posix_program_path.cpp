// Directory of the running executable on Linux (and other systems with /proc/self/exe).
#include <filesystem>

#include "firmware/firmware_files.h"

namespace pxr {

std::string ProgramDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
  if (ec) return "./";
  return exe.parent_path().string() + "/";
}

}  // namespace pxr
