#include "link/serial_framing.h"

namespace pxr {

int32_t EncodeSerialFrame(const uint8_t* frame, int32_t length, uint8_t* out) {
  int32_t n = 0;
  uint8_t checksum = 0;
  out[n++] = kDle;
  out[n++] = kStx;
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t b = frame[i];
    checksum ^= b;
    out[n++] = b;
    if (b == kDle) out[n++] = kDle;
  }
  out[n++] = kDle;
  out[n++] = kEtx;
  out[n++] = checksum;
  if (checksum == kDle) out[n++] = kDle;
  return n;
}

}  // namespace pxr
