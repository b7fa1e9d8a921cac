// Directory of the running executable on Windows.
#include <windows.h>

#include <filesystem>

#include "firmware/firmware_files.h"

namespace pxr {

std::string ProgramDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return ".\\";
  return std::filesystem::path(path).parent_path().string() + "\\";
}

}  // namespace pxr
