// Hex dump of the frames a link sends and receives (for --trace).
#pragma once

#include <cstdio>

#include "link/frame.h"

namespace pxr::cli {

class FrameTrace final : public LinkObserver {
 public:
  explicit FrameTrace(std::FILE* out) : out_(out) {}
  void OnFrameSent(const uint8_t* frame, int32_t length) override { Dump(">>", frame, length); }
  void OnFrameReceived(const uint8_t* frame, int32_t length) override { Dump("<<", frame, length); }

 private:
  void Dump(const char* direction, const uint8_t* frame, int32_t length) {
    std::fprintf(out_, "%s %4d:", direction, length);
    const int32_t shown = length > 32 ? 32 : length;
    for (int32_t i = 0; i < shown; ++i) std::fprintf(out_, " %02X", frame[i]);
    if (shown < length) std::fprintf(out_, " ...");
    std::fputc('\n', out_);
  }
  std::FILE* out_;
};

}  // namespace pxr::cli
