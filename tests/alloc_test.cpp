// Proves that transactions and loader operations allocate nothing: every operator new in this
// program is counted while a guard is active, and the fakes below use fixed arrays only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/serial_framing.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "loader/loader.h"
#include "tests/support/virtual_clock.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_counting.load()) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace pxr {
namespace {

// Answers every frame: pings with a ping answer, requests with the configured payload carrying
// the request's sequence bits. Fixed buffers only.
struct Responder {
  uint8_t payload[kFrameBufferSize] = {};
  int32_t payloadLength = 0;
  uint8_t reply[kFrameBufferSize] = {};
  int32_t replyLength = 0;
  bool silent = false;

  void Answer(uint8_t head) {
    if (silent) {
      replyLength = 0;
      return;
    }
    if ((head & kRequestMark) == 0) {
      const uint8_t ping[] = {0x00, 0x01, 0x00};
      std::memcpy(reply, ping, 3);
      replyLength = 3;
      return;
    }
    reply[0] = static_cast<uint8_t>((head & kSequenceMask) | (payloadLength >> 8));
    reply[1] = static_cast<uint8_t>(payloadLength & 0xFF);
    std::memcpy(reply + 2, payload, static_cast<size_t>(payloadLength));
    replyLength = payloadLength + 2;
  }
  void Set(std::initializer_list<uint8_t> bytes, int32_t length) {
    std::memset(payload, 0, sizeof payload);
    std::copy(bytes.begin(), bytes.end(), payload);
    payloadLength = length;
  }
};

class FixedSocket final : public DatagramSocket {
 public:
  explicit FixedSocket(Responder& r) : r_(r) {}
  bool Startup() override { return true; }
  void Cleanup() override {}
  bool ParseDotted(std::string_view, uint32_t& a) override { return (a = 0x7F000001), true; }
  bool LookupHost(std::string_view, uint32_t&) override { return false; }
  bool Create() override { return open_ = true; }
  bool SetNonBlocking() override { return true; }
  bool Connect(uint32_t, uint16_t) override { return true; }
  int32_t Send(const uint8_t* data, int32_t count) override {
    r_.Answer(data[0]);
    return count;
  }
  int WaitReadable(uint32_t) override { return r_.replyLength > 0 ? 1 : 0; }
  int32_t Receive(uint8_t* buffer, int32_t) override {
    std::memcpy(buffer, r_.reply, static_cast<size_t>(r_.replyLength));
    const int32_t n = r_.replyLength;
    r_.replyLength = 0;
    return n;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

 private:
  Responder& r_;
  bool open_ = false;
};

class FixedPort final : public SerialPort {
 public:
  FixedPort(Responder& r, test::VirtualClock& clock) : r_(r), clock_(clock) {}
  bool Open(std::string_view) override { return open_ = true; }
  bool SetSpeed(uint32_t) override { return true; }
  int ReadByte(uint8_t& byte, uint32_t waitMs) override {
    if (head_ >= length_) {
      clock_.Advance(waitMs);
      return 0;
    }
    byte = framed_[head_++];
    return 1;
  }
  int32_t Write(const uint8_t* data, int32_t count) override {
    if (count >= 3 && data[0] == kDle && data[1] == kStx) {
      r_.Answer(data[2]);
      length_ = r_.replyLength ? EncodeSerialFrame(r_.reply, r_.replyLength, framed_) : 0;
      head_ = 0;
    }
    return count;
  }
  bool ClearError() override { return true; }
  void PurgeInput() override {}
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  PortError LastError() const override { return PortError::kNone; }
  std::string LastDevice() const override { return {}; }

 private:
  Responder& r_;
  test::VirtualClock& clock_;
  bool open_ = false;
  uint8_t framed_[FramedSize(kFrameBufferSize)];
  int32_t length_ = 0;
  int32_t head_ = 0;
};

class AllocationGuard {
 public:
  AllocationGuard() {
    g_allocations = 0;
    g_counting = true;
  }
  ~AllocationGuard() { g_counting = false; }
  int Count() const { return g_allocations.load(); }
};

class AllocationTest : public ::testing::TestWithParam<const char*> {};

TEST_P(AllocationTest, LoaderOperationsAllocateNothing) {
  test::VirtualClock clock;
  Responder responder;
  FixedSocket socket(responder);
  FixedPort port(responder, clock);
  Link link(port, socket, clock);
  ASSERT_EQ(link.LinkOpen(GetParam()), 0);
  Loader loader(link, clock, 0x27);
  uint8_t data[1024];
  std::memset(data, 0xA5, sizeof data);
  uint8_t readBack[1024];
  uint32_t value = 0;

  AllocationGuard guard;
  responder.Set({0x68, 0, 0, 0, 0x12, 0x34}, 6);
  EXPECT_EQ(loader.LoaderProgramFlash(0x100000, 1024, data, value), 0);
  EXPECT_EQ(value, 0x1234u);
  responder.Set({0x65}, 7 + 1024);
  EXPECT_EQ(loader.LoaderReadFlash(0x100000, 1024, readBack), 0);
  responder.Set({0x67, 0}, 2);
  EXPECT_EQ(loader.LoaderEraseSector(0x100000), 0);
  responder.Set({0x71}, 1);
  EXPECT_EQ(loader.LoaderStartFirmware(), 0);
  // A transaction that runs the whole resend loop and fails.
  responder.silent = true;
  EXPECT_EQ(loader.LoaderEraseSector(0x100000), status::kNoAnswer);
  EXPECT_EQ(guard.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Channels, AllocationTest,
                         ::testing::Values("NETWORK 127.0.0.1", "COM1 115200"));

}  // namespace
}  // namespace pxr
