// Loader requests and reply checks against scripted replies.
#include <gtest/gtest.h>

#include "link/link.h"
#include "link/status.h"
#include "loader/byte_order.h"
#include "loader/loader.h"
#include "tests/support/scripted_port.h"
#include "tests/support/scripted_socket.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteOrder, BigEndianFields) {
  uint8_t buffer[7] = {};
  uint8_t* p = PutU8(buffer, 0x65);
  p = PutU32BE(p, 0x00102030);
  p = PutU16BE(p, 0x0400);
  EXPECT_EQ(p, buffer + 7);
  EXPECT_EQ(Bytes(buffer, buffer + 7), (Bytes{0x65, 0x00, 0x10, 0x20, 0x30, 0x04, 0x00}));
  uint8_t code;
  uint32_t address;
  uint16_t count;
  const uint8_t* q = GetU16BE(GetU32BE(GetU8(buffer, code), address), count);
  EXPECT_EQ(q, buffer + 7);
  EXPECT_EQ(code, 0x65);
  EXPECT_EQ(address, 0x00102030u);
  EXPECT_EQ(count, 0x0400);
}

TEST(MacAddress, PrefixAndFirstSixCharacters) {
  EXPECT_EQ(MacAddressText("12345678"), "029A4E123456");
  EXPECT_EQ(MacAddressText("1234"), "029A4E1234");
  EXPECT_EQ(MacAddressText(""), "029A4E");
}

class LoaderTest : public ::testing::Test {
 protected:
  LoaderTest()
      : socket_(clock_),
        port_(clock_),
        link_(port_, socket_, clock_),
        loader_(link_, clock_, 0x27) {
    socket_.PingAnswer();
    EXPECT_EQ(link_.LinkOpen("NETWORK 127.0.0.1"), 0);
    socket_.sent.clear();
    socket_.waits.clear();
  }
  static Bytes Identity(uint16_t loaderVersion, uint16_t word, const char* serial) {
    Bytes r(21, 0);
    r[0] = 0x64;
    PutU16BE(&r[1], loaderVersion);
    PutU16BE(&r[3], word);
    for (int i = 0; i < 8; ++i) r[9 + i] = static_cast<uint8_t>(serial[i]);
    return r;
  }

  test::VirtualClock clock_;
  test::ScriptedSocket socket_;
  test::ByteQueuePort port_;
  Link link_;
  Loader loader_;
};

TEST_F(LoaderTest, IdentityTable) {
  struct Case {
    const char* name;
    Bytes hello;
    Bytes identity;
    int32_t result;
    uint16_t loaderVersion;
    uint16_t firmwareVersion;
    std::string serial;
  } cases[] = {
      {"own family", {0x00}, Identity(0x0064, 0x276A, "87654321"), 0, 100, 106, "87654321"},
      {"other family", {0x00}, Identity(0x006A, 0x136A, "87654321"), 0, 106, 0, "87654321"},
      {"no firmware", {0x00}, Identity(0x006A, 0x0000, "87654321"), 0, 106, 0, "87654321"},
      {"short reply keeps serial", {0x00}, Bytes(15, 0x64), 0, 0, 0, "previous"},
      {"wrong echo", {0x00}, Bytes(21, 0x65), status::kUnexpectedReply, 7, 7, "previous"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    socket_.Reply(c.hello);
    socket_.Reply(c.identity);
    uint16_t loaderVersion = 7, firmwareVersion = 7;
    std::string serial = "previous";
    EXPECT_EQ(loader_.LoaderReadIdentity(loaderVersion, firmwareVersion, serial), c.result);
    EXPECT_EQ(loaderVersion, c.loaderVersion);
    EXPECT_EQ(firmwareVersion, c.firmwareVersion);
    EXPECT_EQ(serial, c.serial);
  }
  ASSERT_GE(socket_.sent.size(), 2u);
  EXPECT_EQ(socket_.sent[0], (Bytes{0x10, 0x01, 0x72}));
  EXPECT_EQ(socket_.sent[1], (Bytes{0x50, 0x01, 0x64}));
  // Extra waits: 100 ms for 0x72, 1000 ms for 0x64 (plus the network's 100 ms).
  EXPECT_EQ(socket_.waits[0], 200u);
  EXPECT_EQ(socket_.waits[1], 1100u);
}

TEST_F(LoaderTest, RestartAnswerPausesAndSkipsTheIdentity) {
  socket_.Reply({0x72});
  uint16_t l = 1, f = 1;
  std::string serial = "keep";
  const uint32_t before = clock_.Now();
  EXPECT_EQ(loader_.LoaderReadIdentity(l, f, serial), status::kLoaderRestart);
  EXPECT_GE(clock_.Now() - before, 1000u);
  EXPECT_EQ(socket_.sent.size(), 1u);
  EXPECT_EQ(serial, "keep");
}

TEST_F(LoaderTest, ReadFlashChecksLengthAndEcho) {
  Bytes reply(7 + 1024, 0x5A);
  reply[0] = 0x65;
  socket_.Reply(reply);
  uint8_t data[1024] = {};
  EXPECT_EQ(loader_.LoaderReadFlash(0x100000, 1024, data), 0);
  EXPECT_EQ(data[0], 0x5A);
  EXPECT_EQ(socket_.sent[0], (Bytes{0x10, 0x07, 0x65, 0x00, 0x10, 0x00, 0x00, 0x04, 0x00}));

  reply.pop_back();
  socket_.Reply(reply);
  data[0] = 0;
  EXPECT_EQ(loader_.LoaderReadFlash(0x100000, 1024, data), status::kUnexpectedReply);
  EXPECT_EQ(data[0], 0);  // nothing copied
}

TEST_F(LoaderTest, EraseAndProgramStatusTable) {
  struct Case {
    const char* name;
    bool erase;
    Bytes reply;
    int32_t result;
    uint32_t value;
  } cases[] = {
      {"erase done", true, {0x67, 0x00}, 0, 0},
      {"erase refused", true, {0x67, 0x01}, status::kEraseFailed, 0},
      {"erase wrong echo", true, {0x68, 0x00}, status::kUnexpectedReply, 0},
      {"erase too long", true, {0x67, 0x00, 0x00}, status::kUnexpectedReply, 0},
      {"program done", false, {0x68, 0x00, 0x00, 0x00, 0x12, 0x34}, 0, 0x1234},
      {"program refused keeps value",
       false,
       {0x68, 0x05, 0x00, 0x00, 0x12, 0x34},
       status::kProgramFailed,
       0x1234},
      {"program short reply", false, {0x68, 0x00, 0x00}, status::kUnexpectedReply, 0xFFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    socket_.Reply(c.reply);
    if (c.erase) {
      EXPECT_EQ(loader_.LoaderEraseSector(0x30000), c.result);
    } else {
      uint32_t value = 0xFFFF;
      const uint8_t data[4] = {1, 2, 3, 4};
      EXPECT_EQ(loader_.LoaderProgramFlash(0x100000, 4, data, value), c.result);
      EXPECT_EQ(value, c.value);
    }
  }
  EXPECT_EQ(socket_.sent[0], (Bytes{0x10, 0x05, 0x67, 0x00, 0x03, 0x00, 0x00}));
  EXPECT_EQ(socket_.sent[4],
            (Bytes{0x10, 0x0B, 0x68, 0x00, 0x10, 0x00, 0x00, 0x00, 0x04, 1, 2, 3, 4}));
  // Erase may take 10 s inside the loader.
  EXPECT_EQ(socket_.waits[0], 10100u);
}

TEST_F(LoaderTest, StartFirmwareAcceptsAnyReply) {
  socket_.Reply({0x00, 0x01, 0x02});
  EXPECT_EQ(loader_.LoaderStartFirmware(), 0);
  EXPECT_EQ(socket_.waits[0], 300u);
}

TEST_F(LoaderTest, LinkFailuresPassThrough) {
  uint16_t l = 0, f = 0;
  std::string s;
  EXPECT_EQ(loader_.LoaderReadIdentity(l, f, s), status::kNoAnswer);
  EXPECT_EQ(loader_.LoaderEraseSector(0x30000), status::kNoAnswer);
  link_.LinkClose();
  EXPECT_EQ(loader_.LoaderStartFirmware(), status::kNotOpen);
}

}  // namespace
}  // namespace pxr
