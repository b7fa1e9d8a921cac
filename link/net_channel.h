// Network channel: link frames as UDP datagrams to the probe's port 2001.
//
// Status codes: -1101 socket operation failed (also an oversized datagram or an error reported
// for the peer), -1102 no datagram within the wait, -1201 no answer to six pings, -1202 the
// address is unusable (not resolvable, or the broadcast address).
#pragma once

#include <cstdint>
#include <string_view>

#include "link/frame.h"

namespace pxr {

class DatagramSocket;

class NetChannel {
 public:
  static constexpr uint16_t kProbePort = 2001;
  static constexpr int kPingTries = 6;
  static constexpr uint32_t kPingWaitMs = 500;

  NetChannel(LinkState& state, DatagramSocket& socket);

  int32_t NetOpen(std::string_view address, uint16_t port);
  int32_t NetSend(const uint8_t* frame, int32_t length);
  int32_t NetReceive(uint32_t timeoutMs, int32_t capacity, uint8_t* buffer);
  int32_t NetHandshake();
  void NetClose();

 private:
  LinkState& state_;
  DatagramSocket& socket_;
};

}  // namespace pxr
