// The probe link: channel spec, open/close, and the request/reply transaction.
//
// A program creates one Link and passes it by reference; it owns the link state with its fixed
// 1500-byte transmit and receive buffers, and nothing on the transaction path allocates.
// Status codes: see link/status.h. After a transaction fails for want of a valid reply (-1201)
// every further transaction returns -1201 at once until LinkOpen succeeds again.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/frame.h"
#include "link/net_channel.h"
#include "link/serial_channel.h"

namespace pxr {

class Clock;
class DatagramSocket;
class SerialPort;

// A channel spec split into its words.
struct ChannelSpec {
  enum class Kind { kInvalid, kSerial, kNetwork };
  Kind kind = Kind::kInvalid;
  std::string_view device;   // serial: the device name as written
  uint32_t speed = 0;        // serial: baud (115200 when not given)
  std::string_view address;  // network: the probe's address
};

// Parses a channel spec: its first 80 characters, split at runs of spaces into at most
// three words. "COM..." or a backslash or a "/" path = serial, "NETWORK addr" = network.
ChannelSpec ParseChannelSpec(std::string_view spec);

class Link {
 public:
  static constexpr int kHandshakeTries = 3;
  static constexpr int kMaxSends = 5;
  static constexpr uint32_t kSerialExtraWaitMs = 200;
  static constexpr uint32_t kNetExtraWaitMs = 100;
  static constexpr uint32_t kDefaultSerialSpeed = 115200;

  Link(SerialPort& port, DatagramSocket& socket, Clock& clock);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Closes an open link, then opens and handshakes the channel that the text names. 0 on
  // success; -1001/-1101/-1201/-1202/-1205 as the channel reports.
  int32_t LinkOpen(std::string_view spec);
  // Closes the channel if the link is open. Always 0.
  int32_t LinkClose();
  // Sends one request and waits for its reply, resending up to five times. Returns the reply's
  // payload length (> 0, payload copied to reply) or a negative status.
  int32_t LinkTransact(int32_t requestLength, const uint8_t* request, int32_t replyCapacity,
                       uint8_t* reply, uint32_t extraTimeoutMs);

  const LinkState& State() const { return state_; }
  bool IsOpen() const { return state_.open; }
  bool IsSerial() const { return state_.serial; }
  uint32_t SerialSpeed() const { return state_.serialSpeed; }
  void SetObserver(LinkObserver* observer) { state_.observer = observer; }
  SerialPort& Port() { return port_; }
  SerialChannel& Serial() { return serial_; }
  NetChannel& Net() { return net_; }

 private:
  void CloseChannel();
  int32_t SendFrame(int32_t length);
  int32_t ReceiveFrame(uint32_t waitMs);

  LinkState state_;
  SerialPort& port_;
  SerialChannel serial_;
  NetChannel net_;
};

}  // namespace pxr
