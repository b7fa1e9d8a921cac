// Reads an S-record file block by block with the firmware reader and reports the throughput.
//   srec_read FILE [REPEAT]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "firmware/srecord.h"
#include "firmware/text_file.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: srec_read FILE [REPEAT]\n");
    return 2;
  }
  const int repeat = argc > 2 ? std::atoi(argv[2]) : 1;
  double best = 1e9;
  uint64_t bytes = 0, sum = 0, fileBytes = 0;
  for (int r = 0; r < repeat; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    pxr::TextFile file;
    if (!file.Open(argv[1])) {
      std::fprintf(stderr, "srec_read: cannot open %s\n", argv[1]);
      return 1;
    }
    fileBytes = file.Length();
    pxr::FirmwareReader reader;
    reader.ClearPending();
    uint8_t block[pxr::kBlockSize];
    bytes = 0;
    for (;;) {
      uint32_t start = 0;
      const int32_t n = reader.ReadFirmwareBlock(file, block, start);
      if (n < 0) {
        std::fprintf(stderr, "srec_read: invalid file\n");
        return 1;
      }
      if (n == 0) break;
      bytes += static_cast<uint64_t>(n);
      sum += block[0] + start;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  std::printf("%.4f s  %llu data bytes from %llu file bytes  %.1f MB/s (file)  [%llu]\n", best,
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(fileBytes),
              fileBytes / best / 1e6, static_cast<unsigned long long>(sum & 0xFF));
  return 0;
}
