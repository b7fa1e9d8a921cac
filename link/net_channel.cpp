#include "link/net_channel.h"

#include <cstring>

#include "link/datagram_socket.h"
#include "link/status.h"

namespace pxr {

namespace {
constexpr uint32_t kBroadcast = 0xFFFFFFFFu;
}

NetChannel::NetChannel(LinkState& state, DatagramSocket& socket) : state_(state), socket_(socket) {}

int32_t NetChannel::NetOpen(std::string_view address, uint16_t port) {
  if (!socket_.Startup()) return status::kNetFailed;
  uint32_t ip = 0;
  if (!socket_.ParseDotted(address, ip)) {
    if (!socket_.LookupHost(address, ip) || ip == kBroadcast) {
      socket_.Cleanup();
      return status::kInvalidArgument;
    }
  }
  if (!socket_.Create()) {
    socket_.Cleanup();
    return status::kNetFailed;
  }
  if (!socket_.SetNonBlocking() || !socket_.Connect(ip, port)) {
    socket_.Close();
    socket_.Cleanup();
    return status::kNetFailed;
  }
  return status::kOk;
}

int32_t NetChannel::NetSend(const uint8_t* frame, int32_t length) {
  if (state_.observer) state_.observer->OnFrameSent(frame, length);
  return socket_.Send(frame, length) == length ? status::kOk : status::kNetFailed;
}

int32_t NetChannel::NetReceive(uint32_t timeoutMs, int32_t capacity, uint8_t* buffer) {
  const int ready = socket_.WaitReadable(timeoutMs);
  if (ready == 0) return status::kNetTimeout;
  if (ready < 0) return status::kNetFailed;
  const int32_t n = socket_.Receive(buffer, capacity);
  if (n < 0) return status::kNetFailed;
  if (state_.observer) state_.observer->OnFrameReceived(buffer, n);
  return n;
}

int32_t NetChannel::NetHandshake() {
  std::memcpy(state_.transmit, kPingFrame, sizeof kPingFrame);
  for (int i = 0; i < kPingTries; ++i) {
    if (NetSend(state_.transmit, sizeof kPingFrame) != status::kOk) continue;
    if (NetReceive(kPingWaitMs, kFrameBufferSize, state_.receive) == kPingAnswerLength) {
      return status::kOk;
    }
  }
  return status::kNoAnswer;
}

void NetChannel::NetClose() {
  if (socket_.IsOpen()) socket_.Close();
  socket_.Cleanup();
}

}  // namespace pxr
