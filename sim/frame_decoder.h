// Push decoder for DLE STX ... DLE ETX serial framing, as the probe sees the host's bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace pxr::sim {

class FrameDecoder {
 public:
  enum class Result { kNone, kFrame, kBad };

  // Feeds one byte. kFrame: Frame() holds a complete frame with a good checksum.
  Result Feed(uint8_t byte);
  const std::vector<uint8_t>& Frame() const { return frame_; }
  void Reset() { state_ = State::kHunt; }

 private:
  enum class State { kHunt, kHuntDle, kData, kDataDle, kChecksum, kChecksumDle };
  State state_ = State::kHunt;
  std::vector<uint8_t> frame_;
  uint8_t checksum_ = 0;
  uint8_t received_ = 0;
};

}  // namespace pxr::sim
