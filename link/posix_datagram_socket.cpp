// POSIX UDP socket: BSD sockets, non-blocking, connected to the probe.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "link/datagram_socket.h"

namespace pxr {

namespace {

class PosixDatagramSocket final : public DatagramSocket {
 public:
  ~PosixDatagramSocket() override { Close(); }

  bool Startup() override { return true; }
  void Cleanup() override {}

  bool ParseDotted(std::string_view text, uint32_t& address) override {
    const std::string s(text);
    in_addr a{};
    // inet_aton accepts the classic forms (a.b.c.d, a.b.c, a.b, a); the broadcast value is the
    // classic parser's no-address value and is refused with it.
    if (inet_aton(s.c_str(), &a) == 0) return false;
    address = ntohl(a.s_addr);
    return address != 0xFFFFFFFFu;
  }

  bool LookupHost(std::string_view name, uint32_t& address) override {
    const std::string s(name);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(s.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
    address = ntohl(reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(result);
    return true;
  }

  bool Create() override {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
  }

  bool SetNonBlocking() override {
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
  }

  bool Connect(uint32_t address, uint16_t port) override {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
  }

  int32_t Send(const uint8_t* data, int32_t count) override {
    const ssize_t n = ::send(fd_, data, static_cast<size_t>(count), MSG_NOSIGNAL);
    return n < 0 ? -1 : static_cast<int32_t>(n);
  }

  int WaitReadable(uint32_t waitMs) override {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
      const int ready = ::poll(&p, 1, static_cast<int>(waitMs));
      if (ready < 0 && errno == EINTR) continue;
      return ready < 0 ? -1 : (ready == 0 ? 0 : 1);
    }
  }

  int32_t Receive(uint8_t* buffer, int32_t capacity) override {
    // MSG_TRUNC makes recv report the datagram's real length, so an oversized one is refused.
    const ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(capacity), MSG_TRUNC);
    if (n < 0 || n > capacity) return -1;
    return static_cast<int32_t>(n);
  }

  void Close() override {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

  bool IsOpen() const override { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<DatagramSocket> MakeSystemDatagramSocket() {
  return std::make_unique<PosixDatagramSocket>();
}

}  // namespace pxr
