// DLE STX ... DLE ETX byte framing of link frames on a serial line.
//
// Every 0x10 of the frame is sent twice; the trailing checksum is the XOR of the frame bytes
// (before doubling) and is itself doubled when it is 0x10.
#pragma once

#include <cstdint>

namespace pxr {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kWakeUp[] = {0xDB, 0xDE};

// Worst-case size of a framed frame of length bytes (every byte and the checksum doubled).
constexpr int32_t FramedSize(int32_t length) {
  return 2 + 2 * length + 2 + 2;
}

// Writes the framed bytes of frame into out (at least FramedSize(length) bytes); returns the count.
int32_t EncodeSerialFrame(const uint8_t* frame, int32_t length, uint8_t* out);

}  // namespace pxr
