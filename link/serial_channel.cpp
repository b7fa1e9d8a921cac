#include "link/serial_channel.h"

#include <cstring>

#include "link/clock.h"
#include "link/serial_port.h"
#include "link/status.h"

namespace pxr {

SerialChannel::SerialChannel(LinkState& state, SerialPort& port, Clock& clock)
    : state_(state), port_(port), clock_(clock) {}

int32_t SerialChannel::SerialOpen(std::string_view deviceName) {
  if (!port_.Open(deviceName)) return status::kSerialConfig;
  state_.serialSpeed = kOpenSpeed;
  return status::kOk;
}

int32_t SerialChannel::SerialSetSpeed(uint32_t baud) {
  if (!port_.IsOpen()) return status::kSerialConfig;
  state_.serialSpeed = baud;
  return port_.SetSpeed(baud) ? status::kOk : status::kSerialConfig;
}

int32_t SerialChannel::SerialReadByte(uint32_t timeoutMs, uint8_t& byte) {
  if (port_.ReadByte(byte, kDriverReadMs) == 1) return status::kOk;
  const uint32_t start = clock_.TickMs();
  for (;;) {
    if (!port_.ClearError()) return status::kSerialPortFailed;
    const uint32_t elapsed = clock_.TickMs() - start;
    if (elapsed > timeoutMs) return status::kSerialTimeout;
    // Wait for the rest of the time in one go instead of one driver interval at a time; the
    // outcome is the same, with fewer wake-ups.
    if (port_.ReadByte(byte, timeoutMs - elapsed + 1) == 1) return status::kOk;
  }
}

int32_t SerialChannel::SerialWrite(const uint8_t* bytes, int32_t count) {
  const int32_t written = port_.Write(bytes, count);
  if (written == count) return status::kOk;
  if (written < 0) port_.ClearError();
  return status::kSerialWrite;
}

int32_t SerialChannel::SerialSendFrame(const uint8_t* frame, int32_t length) {
  if (length < 0 || length > kFrameBufferSize) return status::kSerialWrite;
  if (state_.observer) state_.observer->OnFrameSent(frame, length);
  const int32_t n = EncodeSerialFrame(frame, length, framed_);
  return SerialWrite(framed_, n);
}

int32_t SerialChannel::SerialReceiveFrame(uint32_t timeoutMs, int32_t capacity, uint8_t* buffer) {
  uint8_t b = 0;
  // Hunt for DLE STX. Read errors other than the timeout are passed over like stray bytes; a
  // port whose error state can no longer be cleared ends the hunt with -1003 inside the read.
  int32_t rc = SerialReadByte(timeoutMs, b);
  for (;;) {
    if (rc == status::kSerialTimeout || rc == status::kSerialPortFailed) return rc;
    if (rc == status::kOk && b == kDle) {
      rc = SerialReadByte(timeoutMs, b);
      if (rc == status::kSerialTimeout || rc == status::kSerialPortFailed) return rc;
      if (rc == status::kOk && b == kStx) break;
    }
    rc = SerialReadByte(timeoutMs, b);
  }

  int32_t count = 0;
  uint8_t checksum = 0;
  if ((rc = SerialReadByte(timeoutMs, b)) != status::kOk) return rc;
  for (;;) {
    if (b == kDle) {
      if ((rc = SerialReadByte(timeoutMs, b)) != status::kOk) return rc;
      if (b == kEtx) break;
      if (b != kDle) return status::kSerialBadEscape;
    }
    if (count >= capacity) return status::kSerialOverflow;
    buffer[count++] = b;
    checksum ^= b;
    if ((rc = SerialReadByte(timeoutMs, b)) != status::kOk) return rc;
  }

  uint8_t received = 0;
  if ((rc = SerialReadByte(timeoutMs, received)) != status::kOk) return rc;
  if (received == kDle) {
    if ((rc = SerialReadByte(timeoutMs, b)) != status::kOk) return rc;
    if (b != kDle) return status::kSerialBadEscape;
  }
  if (received != checksum) return status::kSerialChecksum;
  if (state_.observer) state_.observer->OnFrameReceived(buffer, count);
  return count;
}

int32_t SerialChannel::SendPingAndAwaitAnswer() {
  std::memcpy(state_.transmit, kPingFrame, sizeof kPingFrame);
  int32_t rc = SerialSendFrame(state_.transmit, sizeof kPingFrame);
  if (rc != status::kOk) return rc;
  rc = SerialReceiveFrame(kHandshakeByteWaitMs, kFrameBufferSize, state_.receive);
  if (rc == kPingAnswerLength) return status::kOk;
  return rc < 0 ? rc : status::kNoAnswer;
}

int32_t SerialChannel::SerialHandshake(uint32_t requestedSpeed) {
  constexpr int kSpeedCount = sizeof kSpeeds / sizeof kSpeeds[0];
  int highestIndex = kSpeedCount - 1;
  if (SerialSetSpeed(kSpeeds[highestIndex]) != status::kOk) highestIndex = kSpeedCount - 2;
  const uint32_t highest = kSpeeds[highestIndex];
  if (requestedSpeed > highest) requestedSpeed = highest;

  // Direct try: the probe may already listen at the requested speed.
  if (SerialSetSpeed(requestedSpeed) == status::kOk && SendPingAndAwaitAnswer() == status::kOk) {
    return status::kOk;
  }

  bool found = false;
  for (int i = 0; i <= highestIndex && !found; ++i) {
    const bool speedSet = SerialSetSpeed(kSpeeds[i]) == status::kOk;
    const bool woken = speedSet && SerialWrite(kWakeUp, sizeof kWakeUp) == status::kOk;
    DelayMs(clock_, kSpeedSettleMs);
    if (woken) found = SendPingAndAwaitAnswer() == status::kOk;
  }
  if (!found) return status::kNoAnswer;

  uint8_t* tx = state_.transmit;
  tx[0] = 0x00;
  tx[1] = kSpeedChangeLength - kFrameHeaderSize;
  tx[2] = kSpeedChangeCode;
  tx[3] = static_cast<uint8_t>(requestedSpeed >> 24);
  tx[4] = static_cast<uint8_t>(requestedSpeed >> 16);
  tx[5] = static_cast<uint8_t>(requestedSpeed >> 8);
  tx[6] = static_cast<uint8_t>(requestedSpeed);
  if (SerialSendFrame(tx, kSpeedChangeLength) != status::kOk ||
      SerialReceiveFrame(kHandshakeByteWaitMs, kFrameBufferSize, state_.receive) !=
          kSpeedChangeLength) {
    return status::kSerialConfig;
  }
  DelayMs(clock_, kSpeedSettleMs);
  const uint8_t* rx = state_.receive;
  const uint32_t newSpeed =
      (uint32_t{rx[3]} << 24) | (uint32_t{rx[4]} << 16) | (uint32_t{rx[5]} << 8) | uint32_t{rx[6]};
  if (SerialSetSpeed(newSpeed) != status::kOk || SendPingAndAwaitAnswer() != status::kOk) {
    return status::kUnexpectedReply;
  }
  return status::kOk;
}

void SerialChannel::SerialClose() {
  port_.Close();
}

}  // namespace pxr
