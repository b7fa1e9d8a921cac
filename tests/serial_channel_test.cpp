// Serial byte framing, frame reception and the speed handshake, on scripted ports.
#include <gtest/gtest.h>

#include "link/serial_channel.h"
#include "link/serial_framing.h"
#include "link/status.h"
#include "tests/support/scripted_port.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ByteQueuePort;
using test::SimLinePort;
using test::VirtualClock;

Bytes Encode(const Bytes& frame) {
  uint8_t out[FramedSize(kFrameBufferSize)];
  const int32_t n = EncodeSerialFrame(frame.data(), static_cast<int32_t>(frame.size()), out);
  return Bytes(out, out + n);
}

TEST(SerialFraming, EncodesFrames) {
  struct Case {
    const char* name;
    Bytes frame;
    Bytes framed;
  } cases[] = {
      {"ping", {0x00, 0x01, 0x01}, {0x10, 0x02, 0x00, 0x01, 0x01, 0x10, 0x03, 0x00}},
      {"speed change to 115200",
       {0x00, 0x05, 0x03, 0x00, 0x01, 0xC2, 0x00},
       {0x10, 0x02, 0x00, 0x05, 0x03, 0x00, 0x01, 0xC2, 0x00, 0x10, 0x03, 0xC5}},
      {"DLE bytes doubled",
       {0x10, 0x01, 0x10},
       {0x10, 0x02, 0x10, 0x10, 0x01, 0x10, 0x10, 0x10, 0x03, 0x01}},
      {"checksum 0x10 doubled",
       {0x10, 0x00},
       {0x10, 0x02, 0x10, 0x10, 0x00, 0x10, 0x03, 0x10, 0x10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Encode(c.frame), c.framed);
  }
}

class SerialReceiveTest : public ::testing::Test {
 protected:
  SerialReceiveTest() : port_(clock_), channel_(state_, port_, clock_) { port_.Open("COM1"); }
  int32_t Receive(const Bytes& bytes, int32_t capacity = kFrameBufferSize) {
    port_.input.clear();
    port_.Queue(bytes);
    received_.clear();
    const int32_t n = channel_.SerialReceiveFrame(200, capacity, buffer_);
    if (n > 0) received_.assign(buffer_, buffer_ + n);
    return n;
  }

  VirtualClock clock_;
  LinkState state_;
  ByteQueuePort port_;
  SerialChannel channel_;
  uint8_t buffer_[kFrameBufferSize];
  Bytes received_;
};

TEST_F(SerialReceiveTest, Table) {
  struct Case {
    const char* name;
    Bytes input;
    int32_t result;
    Bytes frame;
  } cases[] = {
      {"plain frame", {0x10, 0x02, 0x00, 0x01, 0x01, 0x10, 0x03, 0x00}, 3, {0x00, 0x01, 0x01}},
      {"noise before the start", {0xFF, 0x00, 0x03, 0x10, 0x02, 0x41, 0x10, 0x03, 0x41}, 1, {0x41}},
      {"doubled DLE is one data byte",
       {0x10, 0x02, 0x10, 0x10, 0x01, 0x10, 0x03, 0x11},
       2,
       {0x10, 0x01}},
      {"doubled checksum 0x10",
       {0x10, 0x02, 0x10, 0x10, 0x00, 0x10, 0x03, 0x10, 0x10},
       2,
       {0x10, 0x00}},
      {"stray 10 10 02 does not start a frame",
       {0x10, 0x10, 0x02, 0x10, 0x02, 0x07, 0x10, 0x03, 0x07},
       1,
       {0x07}},
      {"DLE then other byte inside",
       {0x10, 0x02, 0x01, 0x10, 0x05, 0x10, 0x03, 0x00},
       status::kSerialBadEscape,
       {}},
      {"doubled checksum not repeated",
       {0x10, 0x02, 0x10, 0x10, 0x00, 0x10, 0x03, 0x10, 0x11},
       status::kSerialBadEscape,
       {}},
      {"wrong checksum", {0x10, 0x02, 0x01, 0x02, 0x10, 0x03, 0x04}, status::kSerialChecksum, {}},
      {"nothing at all", {}, status::kSerialTimeout, {}},
      {"only noise", {0x01, 0x02, 0x03}, status::kSerialTimeout, {}},
      {"cut inside the frame", {0x10, 0x02, 0x01, 0x02}, status::kSerialTimeout, {}},
      {"cut before the checksum", {0x10, 0x02, 0x01, 0x10, 0x03}, status::kSerialTimeout, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Receive(c.input), c.result);
    EXPECT_EQ(received_, c.frame);
  }
}

TEST_F(SerialReceiveTest, CapacityLimit) {
  Bytes data(16, 0x22);
  Bytes frame = Encode(data);
  EXPECT_EQ(Receive(frame, 16), 16);
  data.push_back(0x22);
  EXPECT_EQ(Receive(Encode(data), 16), status::kSerialOverflow);
}

TEST_F(SerialReceiveTest, EachByteGetsTheFullWait) {
  // No byte: the first driver read, then the wait itself.
  const uint32_t before = clock_.Now();
  EXPECT_EQ(Receive({}), status::kSerialTimeout);
  EXPECT_EQ(clock_.Now() - before, SerialChannel::kDriverReadMs + 200 + 1);
}

TEST_F(SerialReceiveTest, ReadErrorsWhileHuntingArePassedOver) {
  port_.readErrors = 3;
  EXPECT_EQ(Receive({0x10, 0x02, 0x41, 0x10, 0x03, 0x41}), 1);
}

TEST_F(SerialReceiveTest, LostPortEndsTheHunt) {
  port_.clearFails = true;
  EXPECT_EQ(Receive({}), status::kSerialPortFailed);
}

TEST(SerialWrite, FailedOrPartialWriteIsAnError) {
  VirtualClock clock;
  LinkState state;
  struct ShortPort : ByteQueuePort {
    using ByteQueuePort::ByteQueuePort;
    int32_t result = 0;
    int32_t Write(const uint8_t*, int32_t) override { return result; }
  } port(clock);
  SerialChannel channel(state, port, clock);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  port.result = 3;
  EXPECT_EQ(channel.SerialWrite(bytes, 4), status::kSerialWrite);
  port.result = -1;
  EXPECT_EQ(channel.SerialSendFrame(bytes, 4), status::kSerialWrite);
  port.result = 4;
  EXPECT_EQ(channel.SerialWrite(bytes, 4), status::kOk);
}

// The handshake against the simulated probe listening at various speeds.
struct HandshakeCase {
  const char* name;
  uint32_t probeSpeed;
  uint32_t requested;
  std::set<uint32_t> refused;
  int32_t result;
  uint32_t finalSpeed;
  int framesHeard;  // frames the probe understood: pings and the speed change
};

void PrintTo(const HandshakeCase& c, std::ostream* os) {
  *os << c.name;
}

class HandshakeTest : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(HandshakeTest, ReachesTheSpeed) {
  const auto& c = GetParam();
  VirtualClock clock;
  LinkState state;
  sim::ProbeConfig config;
  config.startSpeed = c.probeSpeed;
  SimLinePort port(clock, config);
  port.refused = c.refused;
  SerialChannel channel(state, port, clock);
  ASSERT_EQ(channel.SerialOpen("COM1"), status::kOk);
  EXPECT_EQ(state.serialSpeed, 9600u);
  EXPECT_EQ(channel.SerialHandshake(c.requested), c.result);
  EXPECT_EQ(state.serialSpeed, c.finalSpeed);
  EXPECT_EQ(port.Speed(), c.finalSpeed);
  EXPECT_EQ(port.framesHeard, c.framesHeard);
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, HandshakeTest,
    ::testing::Values(
        // Direct hit: one ping and its answer, no search, no speed change.
        HandshakeCase{"DirectHit", 115200, 115200, {}, status::kOk, 115200, 1},
        // Probe at 19200: found on the second table speed, then the speed change and a ping.
        HandshakeCase{"ProbeAt19200", 19200, 115200, {}, status::kOk, 115200, 3},
        HandshakeCase{"ProbeAt9600To57600", 9600, 57600, {}, status::kOk, 57600, 3},
        // 230400 is lowered to 115200 before anything is tried.
        HandshakeCase{"Lowered230400", 115200, 230400, {}, status::kOk, 115200, 1},
        // A port refusing 115200 caps the request at 57600.
        HandshakeCase{"PortRefuses115200", 9600, 230400, {115200}, status::kOk, 57600, 3},
        // The probe switches to the highest speed it has below the request: the port follows
        // the probe's answer, not the request.
        HandshakeCase{"ProbeChoosesSpeed", 9600, 50000, {}, status::kOk, 38400, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Handshake, SilentProbeGivesNoAnswer) {
  VirtualClock clock;
  LinkState state;
  sim::ProbeConfig config;
  config.silent = true;
  SimLinePort port(clock, config);
  SerialChannel channel(state, port, clock);
  ASSERT_EQ(channel.SerialOpen("COM1"), status::kOk);
  EXPECT_EQ(channel.SerialHandshake(115200), status::kNoAnswer);
  // The wake-up bytes precede each ping of the search, and every speed was tried.
  EXPECT_EQ(port.speeds,
            (std::vector<uint32_t>{115200, 115200, 9600, 19200, 38400, 57600, 115200}));
}

}  // namespace
}  // namespace pxr
