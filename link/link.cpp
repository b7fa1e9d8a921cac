#include "link/link.h"

#include <cstring>

#include "link/serial_port.h"
#include "link/status.h"

namespace pxr {

namespace {

constexpr size_t kSpecLimit = 80;

// Reads a decimal integer from the leading characters, with an optional sign, as atoi does;
// no digits gives 0. Saturates instead of overflowing.
int32_t LeadingInteger(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  int64_t value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    value = value * 10 + (word[i] - '0');
    if (value > INT32_MAX) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

}  // namespace

ChannelSpec ParseChannelSpec(std::string_view spec) {
  spec = spec.substr(0, kSpecLimit);
  std::string_view words[3];
  int count = 0;
  size_t i = 0;
  while (count < 3) {
    while (i < spec.size() && spec[i] == ' ') ++i;
    if (i >= spec.size()) break;
    const size_t start = i;
    while (i < spec.size() && spec[i] != ' ') ++i;
    words[count++] = spec.substr(start, i - start);
  }
  ChannelSpec result;
  if (count == 0) return result;
  const std::string_view first = words[0];
  if (first.substr(0, 3) == "COM" || first[0] == '\\' || first[0] == '/') {
    result.kind = ChannelSpec::Kind::kSerial;
    result.device = first;
    result.speed =
        count >= 2 ? static_cast<uint32_t>(LeadingInteger(words[1])) : Link::kDefaultSerialSpeed;
  } else if (first == "NETWORK" && count >= 2) {
    result.kind = ChannelSpec::Kind::kNetwork;
    result.address = words[1];
  }
  return result;
}

Link::Link(SerialPort& port, DatagramSocket& socket, Clock& clock)
    : port_(port), serial_(state_, port, clock), net_(state_, socket) {}

Link::~Link() {
  LinkClose();
}

void Link::CloseChannel() {
  if (state_.serial) {
    serial_.SerialClose();
  } else {
    net_.NetClose();
  }
  state_.open = false;
}

int32_t Link::LinkOpen(std::string_view spec) {
  if (state_.open) CloseChannel();
  const ChannelSpec parsed = ParseChannelSpec(spec);
  if (parsed.kind == ChannelSpec::Kind::kSerial) {
    state_.serial = true;
    int32_t rc = serial_.SerialOpen(parsed.device);
    if (rc != status::kOk) return rc;
    for (int attempt = 0; attempt < kHandshakeTries; ++attempt) {
      rc = serial_.SerialHandshake(parsed.speed);
      if (rc == status::kOk) break;
    }
    if (rc != status::kOk) {
      serial_.SerialClose();
      return rc;
    }
  } else if (parsed.kind == ChannelSpec::Kind::kNetwork) {
    state_.serial = false;
    int32_t rc = net_.NetOpen(parsed.address, NetChannel::kProbePort);
    if (rc != status::kOk) return rc;
    rc = net_.NetHandshake();
    if (rc != status::kOk) {
      net_.NetClose();
      return rc;
    }
  } else {
    return status::kInvalidArgument;
  }
  state_.open = true;
  state_.stickyError = 0;
  state_.sequence = 0;
  return status::kOk;
}

int32_t Link::LinkClose() {
  if (state_.open) CloseChannel();
  return status::kOk;
}

int32_t Link::SendFrame(int32_t length) {
  return state_.serial ? serial_.SerialSendFrame(state_.transmit, length)
                       : net_.NetSend(state_.transmit, length);
}

int32_t Link::ReceiveFrame(uint32_t waitMs) {
  return state_.serial ? serial_.SerialReceiveFrame(waitMs, kFrameBufferSize, state_.receive)
                       : net_.NetReceive(waitMs, kFrameBufferSize, state_.receive);
}

int32_t Link::LinkTransact(int32_t requestLength, const uint8_t* request, int32_t replyCapacity,
                           uint8_t* reply, uint32_t extraTimeoutMs) {
  if (!state_.open) return status::kNotOpen;
  if (state_.stickyError != 0) return state_.stickyError;
  if (static_cast<uint32_t>(requestLength) > static_cast<uint32_t>(kMaxPayload)) {
    return status::kInvalidArgument;
  }

  uint8_t* tx = state_.transmit;
  const uint8_t sequenceBits = static_cast<uint8_t>((state_.sequence & 3) << 6);
  tx[0] = static_cast<uint8_t>(kRequestMark | sequenceBits | (requestLength >> 8));
  tx[1] = static_cast<uint8_t>(requestLength & 0xFF);
  if (requestLength > 0) std::memcpy(tx + kFrameHeaderSize, request, requestLength);
  ++state_.sequence;
  const int32_t frameLength = requestLength + kFrameHeaderSize;

  bool resend = true;
  int sends = 0;
  int32_t sendResult = 0;
  uint32_t t = extraTimeoutMs;
  const uint8_t* rx = state_.receive;
  for (;;) {
    if (resend) {
      sendResult = SendFrame(frameLength);
      ++sends;
    }
    if (sendResult == status::kOk) {
      uint32_t waitMs;
      if (state_.serial) {
        const uint32_t speed = state_.serialSpeed ? state_.serialSpeed : 1;
        waitMs =
            static_cast<uint32_t>(requestLength + 1502) * 10000u / speed + t + kSerialExtraWaitMs;
      } else {
        waitMs = t + kNetExtraWaitMs;
      }
      const int32_t n = ReceiveFrame(waitMs);
      if (IsBusyReply(rx, n)) {
        resend = !resend;
      } else if (n <= 0) {
        t *= 2;
        resend = true;
      } else if (n < kFrameHeaderSize + 1) {
        resend = false;
      } else if ((rx[0] & kSequenceMask) != sequenceBits) {
        resend = false;
      } else {
        const int32_t payloadLength = HeaderPayloadLength(rx);
        if (n - kFrameHeaderSize != payloadLength) {
          resend = true;
        } else if (payloadLength > replyCapacity) {
          return status::kReplyTooLong;
        } else if (payloadLength > 0) {
          std::memcpy(reply, rx + kFrameHeaderSize, payloadLength);
          return payloadLength;
        }
      }
    }
    if (sends >= kMaxSends) break;
  }
  state_.stickyError = status::kNoAnswer;
  return status::kNoAnswer;
}

}  // namespace pxr
