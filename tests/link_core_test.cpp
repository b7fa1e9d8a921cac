// The link core against a scripted network channel and a virtual clock.
#include <gtest/gtest.h>

#include "link/link.h"
#include "link/status.h"
#include "tests/support/scripted_port.h"
#include "tests/support/scripted_socket.h"

namespace pxr {
namespace {

using test::ByteQueuePort;
using test::ScriptedSocket;
using test::VirtualClock;

struct SpecCase {
  const char* name;
  std::string spec;
  ChannelSpec::Kind kind;
  std::string device;
  uint32_t speed;
  std::string address;
};

void PrintTo(const SpecCase& c, std::ostream* os) {
  *os << c.name;
}

class ChannelSpecTest : public ::testing::TestWithParam<SpecCase> {};

TEST_P(ChannelSpecTest, Parses) {
  const SpecCase& c = GetParam();
  const ChannelSpec s = ParseChannelSpec(c.spec);
  EXPECT_EQ(s.kind, c.kind);
  EXPECT_EQ(std::string(s.device), c.device);
  if (c.kind == ChannelSpec::Kind::kSerial) {
    EXPECT_EQ(s.speed, c.speed);
  }
  EXPECT_EQ(std::string(s.address), c.address);
}

const std::string k78Spaces(78, ' ');

INSTANTIATE_TEST_SUITE_P(
    Table, ChannelSpecTest,
    ::testing::Values(
        SpecCase{"ComWithoutSpeed", "COM1", ChannelSpec::Kind::kSerial, "COM1", 115200, ""},
        SpecCase{"SpacesAround", "   COM2     9600  ", ChannelSpec::Kind::kSerial, "COM2", 9600,
                 ""},
        SpecCase{"DevicePrefix", "\\\\.\\COM12 57600", ChannelSpec::Kind::kSerial, "\\\\.\\COM12",
                 57600, ""},
        SpecCase{"DevicePath", "/dev/ttyUSB0 19200", ChannelSpec::Kind::kSerial, "/dev/ttyUSB0",
                 19200, ""},
        SpecCase{"LeadingDigitsOnly", "COM3 384x00", ChannelSpec::Kind::kSerial, "COM3", 384, ""},
        SpecCase{"NoDigitsIsZero", "COM3 fast", ChannelSpec::Kind::kSerial, "COM3", 0, ""},
        SpecCase{"PlusSign", "COM3 +9600", ChannelSpec::Kind::kSerial, "COM3", 9600, ""},
        SpecCase{"ThirdWordIgnored", "COM4 9600 extra more", ChannelSpec::Kind::kSerial, "COM4",
                 9600, ""},
        SpecCase{"Network", "NETWORK 10.0.0.5", ChannelSpec::Kind::kNetwork, "", 0, "10.0.0.5"},
        SpecCase{"NetworkAlone", "NETWORK", ChannelSpec::Kind::kInvalid, "", 0, ""},
        SpecCase{"NetworkLowerCase", "network 10.0.0.5", ChannelSpec::Kind::kInvalid, "", 0, ""},
        SpecCase{"ComLowerCase", "com1", ChannelSpec::Kind::kInvalid, "", 0, ""},
        SpecCase{"Empty", "", ChannelSpec::Kind::kInvalid, "", 0, ""},
        SpecCase{"OnlySpaces", "     ", ChannelSpec::Kind::kInvalid, "", 0, ""},
        SpecCase{"Unknown", "LPT1", ChannelSpec::Kind::kInvalid, "", 0, ""},
        // The address starts at character 79 and is cut at the 80th.
        SpecCase{"CutAt80", "NETWORK" + std::string(71, ' ') + "127.0.0.1",
                 ChannelSpec::Kind::kNetwork, "", 0, "12"},
        SpecCase{"BeyondEighty", k78Spaces + "  COM1", ChannelSpec::Kind::kInvalid, "", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A link with scripted channels, opened on the network channel.
class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : socket_(clock_), port_(clock_), link_(port_, socket_, clock_) {}

  void OpenNetwork() {
    socket_.PingAnswer();
    ASSERT_EQ(link_.LinkOpen("NETWORK 127.0.0.1"), 0);
    socket_.sent.clear();
    socket_.waits.clear();
  }

  int32_t Transact(std::vector<uint8_t> request, uint32_t extra = 100) {
    return link_.LinkTransact(static_cast<int32_t>(request.size()), request.data(),
                              kFrameBufferSize, reply_, extra);
  }

  VirtualClock clock_;
  ScriptedSocket socket_;
  ByteQueuePort port_;
  Link link_;
  uint8_t reply_[kFrameBufferSize] = {};
};

TEST_F(LinkTest, UnansweredTransactionDoublesItsWaitAndBecomesSticky) {
  OpenNetwork();
  EXPECT_EQ(Transact({0x72}), status::kNoAnswer);
  EXPECT_EQ(socket_.waits, (std::vector<uint32_t>{200, 300, 500, 900, 1700}));
  ASSERT_EQ(socket_.sent.size(), 5u);
  for (const auto& frame : socket_.sent) EXPECT_EQ(frame, (std::vector<uint8_t>{0x10, 0x01, 0x72}));

  // Sticky: nothing more is sent until the link is opened again.
  EXPECT_EQ(Transact({0x72}), status::kNoAnswer);
  EXPECT_EQ(socket_.sent.size(), 5u);
  socket_.PingAnswer();
  ASSERT_EQ(link_.LinkOpen("NETWORK 127.0.0.1"), status::kOk);
  socket_.Reply({0x00});
  EXPECT_EQ(Transact({0x72}), 1);
}

TEST_F(LinkTest, SequenceBitsRunZeroToThreeAndResendsRepeatThem) {
  OpenNetwork();
  for (int i = 0; i < 5; ++i) {
    socket_.Reply({0x72, static_cast<uint8_t>(i)});
    ASSERT_EQ(Transact({0x72}), 2);
    EXPECT_EQ(reply_[1], i);
  }
  std::vector<uint8_t> heads;
  for (const auto& f : socket_.sent) heads.push_back(f[0]);
  EXPECT_EQ(heads, (std::vector<uint8_t>{0x10, 0x50, 0x90, 0xD0, 0x10}));

  socket_.sent.clear();
  socket_.Silence();
  socket_.Reply({0x65});
  ASSERT_EQ(Transact({0x65}), 1);
  ASSERT_EQ(socket_.sent.size(), 2u);
  EXPECT_EQ(socket_.sent[0], socket_.sent[1]);
  EXPECT_EQ(socket_.sent[0][0], 0x50);
}

TEST_F(LinkTest, ReplyHandlingTable) {
  // Each case: scripted steps after the first send, and the sends that follow in total.
  struct Case {
    const char* name;
    std::function<void(ScriptedSocket&)> script;
    int32_t result;
    size_t sends;
  };
  const std::vector<Case> cases = {
      {"busy then reply: waits again without sending",
       [](ScriptedSocket& s) {
         s.Busy();
         s.Reply({0x67, 0});
       },
       2, 1},
      {"two busy replies: the second causes a resend",
       [](ScriptedSocket& s) {
         s.Busy();
         s.Busy();
         s.Reply({0x67, 0});
       },
       2, 2},
      {"stale reply ignored without resend",
       [](ScriptedSocket& s) {
         s.StaleReply({0x67, 9});
         s.Reply({0x67, 0});
       },
       2, 1},
      {"one-byte and two-byte frames ignored",
       [](ScriptedSocket& s) {
         s.Datagram({0x10});
         s.Datagram({0x10, 0x00});
         s.Reply({0x67, 0});
       },
       2, 1},
      {"damaged frame (header says more) resent",
       [](ScriptedSocket& s) {
         s.Datagram({0x10, 0x05, 0x67});
         s.Reply({0x67, 0});
       },
       2, 2},
      {"zero-length payload ignored, no resend",
       [](ScriptedSocket& s) {
         s.Datagram({0x10, 0x00});
         s.Reply({0x67, 0});
       },
       2, 1},
      {"receive error doubles and resends",
       [](ScriptedSocket& s) {
         s.ReceiveError();
         s.Reply({0x67, 0});
       },
       2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenNetwork();
    c.script(socket_);
    EXPECT_EQ(Transact({0x67, 0, 0, 0, 0}), c.result);
    EXPECT_EQ(socket_.sent.size(), c.sends);
    EXPECT_EQ(socket_.Remaining(), 0u);
  }
}

TEST_F(LinkTest, ZeroLengthReplyAfterResendKeepsResendState) {
  OpenNetwork();
  // Busy flips resend to false; a zero-length frame keeps it; the wait after is pure waiting.
  socket_.Busy();
  socket_.Datagram({0x10, 0x00});
  socket_.Reply({0x68, 0, 0, 0, 0, 0});
  EXPECT_EQ(Transact({0x68}), 6);
  EXPECT_EQ(socket_.sent.size(), 1u);
}

TEST_F(LinkTest, ReplyLongerThanCapacityIsRejectedButLinkStaysUsable) {
  OpenNetwork();
  socket_.Reply(std::vector<uint8_t>(40, 0x65));
  std::vector<uint8_t> request{0x65};
  EXPECT_EQ(link_.LinkTransact(1, request.data(), 39, reply_, 100), status::kReplyTooLong);
  socket_.Reply({0x65});
  EXPECT_EQ(Transact({0x65}), 1);
}

TEST_F(LinkTest, RequestLengthLimit) {
  OpenNetwork();
  std::vector<uint8_t> big(1499, 0x68);
  EXPECT_EQ(Transact(big), status::kInvalidArgument);
  EXPECT_TRUE(socket_.sent.empty());
  EXPECT_EQ(link_.LinkTransact(-1, big.data(), kFrameBufferSize, reply_, 100),
            status::kInvalidArgument);

  big.resize(1498);
  socket_.Reply({0x68});
  EXPECT_EQ(Transact(big), 1);
  ASSERT_EQ(socket_.sent.size(), 1u);
  // The refused request did not move the sequence counter: this one still has bits 0.
  EXPECT_EQ(socket_.sent[0][0], 0x10 | 0x05);
  EXPECT_EQ(socket_.sent[0][1], 0xDA);
  EXPECT_EQ(socket_.sent[0].size(), 1500u);
}

TEST_F(LinkTest, FailedSendsCountAsSends) {
  OpenNetwork();
  socket_.failSends = 5;
  EXPECT_EQ(Transact({0x72}), status::kNoAnswer);
  EXPECT_TRUE(socket_.waits.empty());
}

TEST_F(LinkTest, NotOpenAndClose) {
  EXPECT_EQ(Transact({0x72}), status::kNotOpen);
  EXPECT_EQ(link_.LinkClose(), 0);
  EXPECT_EQ(link_.LinkClose(), 0);
  OpenNetwork();
  EXPECT_EQ(link_.LinkClose(), 0);
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_EQ(Transact({0x72}), status::kNotOpen);
}

TEST_F(LinkTest, InvalidSpecificationClosesAnOpenLink) {
  OpenNetwork();
  EXPECT_EQ(link_.LinkOpen("NETWORK"), status::kInvalidArgument);
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_EQ(Transact({0x72}), status::kNotOpen);
  EXPECT_EQ(link_.LinkOpen("LPT1"), status::kInvalidArgument);
  EXPECT_EQ(link_.LinkOpen(""), status::kInvalidArgument);
}

TEST_F(LinkTest, NetworkOpenFailures) {
  // The broadcast address is refused whether given as text or found by lookup.
  EXPECT_EQ(link_.LinkOpen("NETWORK 255.255.255.255"), status::kInvalidArgument);
  socket_.refuseLookup = true;
  EXPECT_EQ(link_.LinkOpen("NETWORK no-such-probe"), status::kInvalidArgument);
  EXPECT_EQ(socket_.startups, socket_.cleanups);
  // Six unanswered pings, 500 ms each: -1201, and the socket is closed again.
  socket_.refuseLookup = false;
  socket_.waits.clear();
  EXPECT_EQ(link_.LinkOpen("NETWORK 127.0.0.1"), status::kNoAnswer);
  EXPECT_EQ(socket_.waits, std::vector<uint32_t>(6, 500));
  EXPECT_EQ(socket_.sent.size(), 6u);
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_EQ(socket_.connectedPort, 2001);
}

TEST_F(LinkTest, PingAnswerMustBeThreeBytes) {
  socket_.Datagram({0x00, 0x02, 0x01, 0x00});
  socket_.PingAnswer();
  EXPECT_EQ(link_.LinkOpen("NETWORK 10.0.0.5"), status::kOk);
  EXPECT_EQ(socket_.connectedAddress, 0x0A000005u);
  EXPECT_EQ(socket_.sent.size(), 2u);
}

TEST_F(LinkTest, SerialWaitCoversTheFrameTime) {
  test::SimLinePort line(clock_, {});
  Link link(line, socket_, clock_);
  ASSERT_EQ(link.LinkOpen("COM1 115200"), status::kOk);
  EXPECT_EQ(link.SerialSpeed(), 115200u);
  std::vector<uint8_t> request{0x65, 0, 0, 0, 0, 0, 4};
  EXPECT_EQ(link.LinkTransact(7, request.data(), kFrameBufferSize, reply_, 100), 11);

  // A probe gone silent: five sends; each wait is the first driver read (110 ms) plus the
  // per-byte wait (7 + 1502) * 10000 / 115200 + t + 200 = 330 + t, t doubling from 100.
  line.probe.SetSilent(true);
  const uint32_t before = clock_.Now();
  EXPECT_EQ(link.LinkTransact(7, request.data(), kFrameBufferSize, reply_, 100), status::kNoAnswer);
  const uint32_t expected = 5 * 111 + 5 * 330 + (100 + 200 + 400 + 800 + 1600);
  EXPECT_EQ(clock_.Now() - before, expected);
}

}  // namespace
}  // namespace pxr
