// Big-endian field helpers for loader requests and replies. Each writes or reads at a position
// and returns the position just behind the field.
#pragma once

#include <cstdint>

namespace pxr {

inline uint8_t* PutU8(uint8_t* p, uint8_t value) {
  p[0] = value;
  return p + 1;
}
inline uint8_t* PutU16BE(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
  return p + 2;
}
inline uint8_t* PutU32BE(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 24);
  p[1] = static_cast<uint8_t>(value >> 16);
  p[2] = static_cast<uint8_t>(value >> 8);
  p[3] = static_cast<uint8_t>(value);
  return p + 4;
}
inline const uint8_t* GetU8(const uint8_t* p, uint8_t& out) {
  out = p[0];
  return p + 1;
}
inline const uint8_t* GetU16BE(const uint8_t* p, uint16_t& out) {
  out = static_cast<uint16_t>((p[0] << 8) | p[1]);
  return p + 2;
}
inline const uint8_t* GetU32BE(const uint8_t* p, uint32_t& out) {
  out = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  return p + 4;
}

}  // namespace pxr
