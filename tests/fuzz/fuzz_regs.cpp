// libFuzzer target: any bytes as a configuration text whose [REGS] section is scanned.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "link/status.h"
#include "setupdata/stored_configuration.h"

namespace {

// A directory with a few register files the fuzzer can name ($a, $b.def, "$c d").
const std::string& ConfigPath() {
  static const std::string path = [] {
    const std::string dir = "/tmp/pxr-fuzz-regs-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    for (const char* name : {"a", "b.def", "c d"}) {
      std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
      if (f != nullptr) {
        std::fputs("REGISTERS\n", f);
        std::fclose(f);
      }
    }
    return dir + "/board.cfg";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> text(pxr::stored::kBufferSize);
  static std::vector<uint8_t> section(pxr::stored::kBufferSize);
  std::memset(text.data(), 0xFF, text.size());
  std::memcpy(text.data(), data, size < text.size() - 1 ? size : text.size() - 1);
  std::memset(section.data(), 0xFF, section.size());
  const int32_t n = pxr::BuildRegisterSection(text.data(), ConfigPath(), section.data());
  if (n != pxr::status::kRegisterPath && (n < 0 || n > pxr::stored::kBufferSize)) std::abort();
  return 0;
}
