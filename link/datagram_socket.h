// Operating-system UDP socket, as the network channel needs it.
//
// The status codes and the order of the steps live in the network channel; this interface only
// wraps the platform calls (BSD sockets on POSIX, Windows Sockets on Win32).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace pxr {

class DatagramSocket {
 public:
  virtual ~DatagramSocket() = default;
  // Starts the platform's sockets library (a no-op on POSIX).
  virtual bool Startup() = 0;
  virtual void Cleanup() = 0;
  // Reads text as a dotted-decimal IPv4 address (host byte order). false when it is not one;
  // the text 255.255.255.255 counts as not one, as the classic parser's no-address value.
  virtual bool ParseDotted(std::string_view text, uint32_t& address) = 0;
  // Looks up a host name and gives its first IPv4 address. false when there is none.
  virtual bool LookupHost(std::string_view name, uint32_t& address) = 0;
  virtual bool Create() = 0;
  virtual bool SetNonBlocking() = 0;
  virtual bool Connect(uint32_t address, uint16_t port) = 0;
  // Sends one datagram; returns the bytes sent or -1.
  virtual int32_t Send(const uint8_t* data, int32_t count) = 0;
  // Waits until a datagram is readable: 1 readable, 0 not within waitMs, -1 the wait failed.
  virtual int WaitReadable(uint32_t waitMs) = 0;
  // Receives one datagram. Returns its length, or -1 when receiving failed, the peer reported an
  // error, or the datagram was longer than capacity.
  virtual int32_t Receive(uint8_t* buffer, int32_t capacity) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

std::unique_ptr<DatagramSocket> MakeSystemDatagramSocket();

}  // namespace pxr
