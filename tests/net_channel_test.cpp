// The network channel on real UDP sockets, loopback only.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/clock.h"
#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/net_channel.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "tests/support/scripted_port.h"
#include "tests/support/sim_process.h"

namespace pxr {
namespace {

// A bare UDP endpoint on a loopback address, port 2001, playing a misbehaving probe.
class UdpPeer {
 public:
  UdpPeer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    for (int attempt = 0; attempt < 10; ++attempt) {
      address_ = test::NextLoopbackAddress();
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(2001);
      inet_pton(AF_INET, address_.c_str(), &a.sin_addr);
      if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return;
    }
    ADD_FAILURE() << "no loopback address free";
  }
  ~UdpPeer() { close(fd_); }
  // Waits for one datagram; returns its size (or -1) and remembers the sender.
  int Receive(int waitMs = 2000) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0) return -1;
    uint8_t buf[2000];
    socklen_t len = sizeof peer_;
    return static_cast<int>(
        recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer_), &len));
  }
  void Send(const std::vector<uint8_t>& bytes) {
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer_), sizeof peer_);
  }
  const std::string& Address() const { return address_; }

 private:
  int fd_ = -1;
  std::string address_;
  sockaddr_in peer_{};
};

class NetChannelTest : public ::testing::Test {
 protected:
  NetChannelTest() : socket_(MakeSystemDatagramSocket()), channel_(state_, *socket_) {}
  LinkState state_;
  std::unique_ptr<DatagramSocket> socket_;
  NetChannel channel_;
};

TEST_F(NetChannelTest, AddressForms) {
  EXPECT_EQ(channel_.NetOpen("255.255.255.255", 2001), status::kInvalidArgument);
  EXPECT_FALSE(socket_->IsOpen());
  EXPECT_EQ(channel_.NetOpen("localhost", 2001), status::kOk);
  channel_.NetClose();
  EXPECT_FALSE(socket_->IsOpen());
  EXPECT_EQ(channel_.NetOpen("127.0.0.1", 2001), status::kOk);
  channel_.NetClose();
  channel_.NetClose();  // harmless twice
}

TEST_F(NetChannelTest, ReceiveTimeoutAndOversizedDatagram) {
  UdpPeer peer;
  ASSERT_EQ(channel_.NetOpen(peer.Address(), 2001), status::kOk);
  uint8_t buffer[kFrameBufferSize];
  EXPECT_EQ(channel_.NetReceive(20, kFrameBufferSize, buffer), status::kNetTimeout);

  const uint8_t ping[] = {0x00, 0x01, 0x01};
  ASSERT_EQ(channel_.NetSend(ping, 3), status::kOk);
  ASSERT_EQ(peer.Receive(), 3);
  peer.Send(std::vector<uint8_t>(1501, 0x10));
  EXPECT_EQ(channel_.NetReceive(1000, kFrameBufferSize, buffer), status::kNetFailed);
  peer.Send(std::vector<uint8_t>(1500, 0x10));
  EXPECT_EQ(channel_.NetReceive(1000, kFrameBufferSize, buffer), 1500);
  peer.Send({});
  EXPECT_EQ(channel_.NetReceive(1000, kFrameBufferSize, buffer), 0);
  channel_.NetClose();
}

TEST_F(NetChannelTest, OnlyAThreeByteDatagramAnswersAPing) {
  UdpPeer peer;
  ASSERT_EQ(channel_.NetOpen(peer.Address(), 2001), status::kOk);
  std::thread answer([&] {
    peer.Receive();
    peer.Send({0x00, 0x02, 0x01, 0x00});  // too long: no answer for this try
    peer.Receive();
    peer.Send({0x00, 0x01, 0x00});
  });
  EXPECT_EQ(channel_.NetHandshake(), status::kOk);
  answer.join();
  channel_.NetClose();
}

TEST(LinkOverUdp, SilentProbeFailsTheHandshakeAfterSixPings) {
  UdpPeer peer;  // bound, so the pings are not refused, but never answered
  PortMap map;
  auto port = MakeSystemSerialPort(map);
  auto socket = MakeSystemDatagramSocket();
  SteadyClock clock;
  Link link(*port, *socket, clock);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link.LinkOpen("NETWORK " + peer.Address()), status::kNoAnswer);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(2900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(6000));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(socket->IsOpen());
  int pings = 0;
  while (peer.Receive(0) == 3) ++pings;
  EXPECT_EQ(pings, 6);
}

}  // namespace
}  // namespace pxr
