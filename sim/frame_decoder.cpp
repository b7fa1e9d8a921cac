#include "sim/frame_decoder.h"

#include <cstddef>

namespace pxr::sim {

namespace {
constexpr uint8_t kDle = 0x10, kStx = 0x02, kEtx = 0x03;
constexpr size_t kMaxFrame = 1500;
}  // namespace

FrameDecoder::Result FrameDecoder::Feed(uint8_t b) {
  switch (state_) {
    case State::kHunt:
      if (b == kDle) state_ = State::kHuntDle;
      return Result::kNone;
    case State::kHuntDle:
      if (b == kStx) {
        frame_.clear();
        checksum_ = 0;
        state_ = State::kData;
      } else {
        state_ = State::kHunt;
      }
      return Result::kNone;
    case State::kData:
      if (b == kDle) {
        state_ = State::kDataDle;
        return Result::kNone;
      }
      break;
    case State::kDataDle:
      if (b == kEtx) {
        state_ = State::kChecksum;
        return Result::kNone;
      }
      if (b != kDle) {
        state_ = State::kHunt;
        return Result::kBad;
      }
      state_ = State::kData;
      break;
    case State::kChecksum:
      received_ = b;
      if (b == kDle) {
        state_ = State::kChecksumDle;
        return Result::kNone;
      }
      state_ = State::kHunt;
      return received_ == checksum_ ? Result::kFrame : Result::kBad;
    case State::kChecksumDle:
      state_ = State::kHunt;
      return (b == kDle && received_ == checksum_) ? Result::kFrame : Result::kBad;
  }
  if (frame_.size() >= kMaxFrame) {
    state_ = State::kHunt;
    return Result::kBad;
  }
  frame_.push_back(b);
  checksum_ ^= b;
  return Result::kNone;
}

}  // namespace pxr::sim
