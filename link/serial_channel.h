// Serial channel: link frames over a serial port, byte framing, the speed handshake.
//
// Status codes: -1001 open/configure/speed, -1002 no byte in time, -1003 port error state lost,
// -1004 bad DLE sequence, -1005 checksum, -1006 frame too long, -1007 write failed,
// -1201 no ping answered at any speed, -1205 no answer after the speed change.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/frame.h"
#include "link/serial_framing.h"

namespace pxr {

class Clock;
class SerialPort;

class SerialChannel {
 public:
  // Speeds tried by the handshake's search, in order.
  static constexpr uint32_t kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
  static constexpr uint32_t kOpenSpeed = 9600;
  // A one-byte driver read returns after at most this long, with or without a byte.
  static constexpr uint32_t kDriverReadMs = 110;
  static constexpr uint32_t kHandshakeByteWaitMs = 200;
  static constexpr uint32_t kSpeedSettleMs = 300;

  SerialChannel(LinkState& state, SerialPort& port, Clock& clock);

  // Opens and configures the port (9600 baud). 0 or -1001.
  int32_t SerialOpen(std::string_view deviceName);
  // Reconfigures the port's speed and records it as the serial speed. 0 or -1001.
  int32_t SerialSetSpeed(uint32_t baud);
  // Reads one byte, waiting at most timeoutMs beyond the first driver read. 0, -1002 or -1003.
  int32_t SerialReadByte(uint32_t timeoutMs, uint8_t& byte);
  // Writes raw bytes with one write. 0 or -1007.
  int32_t SerialWrite(const uint8_t* bytes, int32_t count);
  // Frames and writes one link frame. 0 or -1007.
  int32_t SerialSendFrame(const uint8_t* frame, int32_t length);
  // Receives one frame into buffer; returns its length or a negative status.
  int32_t SerialReceiveFrame(uint32_t timeoutMs, int32_t capacity, uint8_t* buffer);
  // Brings probe and port to a common speed. 0 when the probe answers at the final speed.
  int32_t SerialHandshake(uint32_t requestedSpeed);
  void SerialClose();

 private:
  int32_t SendPingAndAwaitAnswer();

  LinkState& state_;
  SerialPort& port_;
  Clock& clock_;
  uint8_t framed_[FramedSize(kFrameBufferSize)];
};

}  // namespace pxr
