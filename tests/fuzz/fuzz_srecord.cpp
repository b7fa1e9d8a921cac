// libFuzzer target: any bytes as one S-record line, and as a whole firmware file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "firmware/srecord.h"
#include "firmware/text_file.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/tmp/pxr-fuzz-srec-" + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t address = 0;
  uint8_t decoded[256];
  const int32_t n = pxr::ParseSRecordLine(
      std::string_view(reinterpret_cast<const char*>(data), size), address, decoded);
  if (n > pxr::kMaxRecordData) std::abort();

  std::FILE* f = std::fopen(ScratchFile().c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  pxr::TextFile file;
  if (!file.Open(ScratchFile())) return 0;
  pxr::FirmwareReader reader;
  reader.ClearPending();
  uint8_t block[pxr::kBlockSize];
  for (int guard = 0; guard < 100000; ++guard) {
    uint32_t start = 0;
    const int32_t r = reader.ReadFirmwareBlock(file, block, start);
    if (r > pxr::kBlockSize) std::abort();
    if (r <= 0) break;
  }
  return 0;
}
