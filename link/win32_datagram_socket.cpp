// Windows Sockets UDP socket: version 1.1 start-up, inet_addr/gethostbyname, a non-blocking
// socket connected to the probe, select for the bounded wait.
#include <winsock2.h>

#include <string>

#include "link/datagram_socket.h"

namespace pxr {

namespace {

class Win32DatagramSocket final : public DatagramSocket {
 public:
  ~Win32DatagramSocket() override {
    Close();
    Cleanup();
  }

  bool Startup() override {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    return started_;
  }
  void Cleanup() override {
    if (started_) WSACleanup();
    started_ = false;
  }

  bool ParseDotted(std::string_view text, uint32_t& address) override {
    const unsigned long a = inet_addr(std::string(text).c_str());
    if (a == INADDR_NONE) return false;  // also 255.255.255.255
    address = ntohl(a);
    return true;
  }

  bool LookupHost(std::string_view name, uint32_t& address) override {
    const hostent* host = gethostbyname(std::string(name).c_str());
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) {
      return false;
    }
    address = ntohl(*reinterpret_cast<const u_long*>(host->h_addr_list[0]));
    return true;
  }

  bool Create() override {
    socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    return socket_ != INVALID_SOCKET;
  }

  bool SetNonBlocking() override {
    u_long on = 1;
    return ioctlsocket(socket_, FIONBIO, &on) == 0;
  }

  bool Connect(uint32_t address, uint16_t port) override {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    return connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
  }

  int32_t Send(const uint8_t* data, int32_t count) override {
    const int n = send(socket_, reinterpret_cast<const char*>(data), count, 0);
    return n == SOCKET_ERROR ? -1 : n;
  }

  int WaitReadable(uint32_t waitMs) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval timeout{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000 * 1000)};
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    return ready == SOCKET_ERROR ? -1 : (ready == 0 ? 0 : 1);
  }

  int32_t Receive(uint8_t* buffer, int32_t capacity) override {
    // A datagram longer than the buffer fails with WSAEMSGSIZE.
    const int n = recv(socket_, reinterpret_cast<char*>(buffer), capacity, 0);
    return n == SOCKET_ERROR ? -1 : n;
  }

  void Close() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool started_ = false;
};

}  // namespace

std::unique_ptr<DatagramSocket> MakeSystemDatagramSocket() {
  return std::make_unique<Win32DatagramSocket>();
}

}  // namespace pxr
