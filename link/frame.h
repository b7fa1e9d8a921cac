// Link frame layout and the process-wide link state shared by the link core and its channels.
//
// A frame is a 2-byte header and up to 1498 payload bytes, the same on both channels:
//   byte 0: bits 7-6 sequence, bit 5 zero, bit 4 request mark, bit 3 busy mark, bits 2-0 length
//   10-8 byte 1: length bits 7-0
// Link-control frames (ping, speed change) have header byte 0 = 0x00.
#pragma once

#include <cstdint>

namespace pxr {

inline constexpr int32_t kFrameBufferSize = 1500;
inline constexpr int32_t kFrameHeaderSize = 2;
inline constexpr int32_t kMaxPayload = kFrameBufferSize - kFrameHeaderSize;  // 1498

inline constexpr uint8_t kRequestMark = 0x10;
inline constexpr uint8_t kBusyMark = 0x08;
inline constexpr uint8_t kSequenceMask = 0xC0;

// Link-control frames.
inline constexpr uint8_t kPingFrame[] = {0x00, 0x01, 0x01};
inline constexpr int32_t kPingAnswerLength = 3;
inline constexpr uint8_t kSpeedChangeCode = 0x03;
inline constexpr int32_t kSpeedChangeLength = 7;
inline constexpr int32_t kBusyReplyLength = 3;

// Payload length announced by a frame header.
inline int32_t HeaderPayloadLength(const uint8_t* frame) {
  return ((frame[0] & 0x07) << 8) | frame[1];
}

inline bool IsBusyReply(const uint8_t* frame, int32_t length) {
  return length == kBusyReplyLength && frame[0] == kBusyMark && frame[1] == 0x01;
}

// Sees every frame the link sends and receives (for --trace style diagnostics).
class LinkObserver {
 public:
  virtual ~LinkObserver() = default;
  virtual void OnFrameSent(const uint8_t* frame, int32_t length) = 0;
  virtual void OnFrameReceived(const uint8_t* frame, int32_t length) = 0;
};

// The link state a program creates once: the open flag, channel kind, sticky error, sequence
// counter, serial speed and the fixed transmit and receive buffers.
struct LinkState {
  bool open = false;
  bool serial = false;
  int32_t stickyError = 0;
  uint8_t sequence = 0;
  uint32_t serialSpeed = 9600;
  uint8_t transmit[kFrameBufferSize] = {};
  uint8_t receive[kFrameBufferSize] = {};
  LinkObserver* observer = nullptr;
};

}  // namespace pxr
