// The link and loader against the real simulated probe, over UDP on loopback and over a
// pseudo-terminal, with and without injected faults.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "link/clock.h"
#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "loader/loader.h"
#include "tests/support/sim_process.h"

namespace pxr {
namespace {

struct Route {
  const char* name;
  bool serial;
  std::vector<std::string> simArgs;
  const char* counter;  // what the simulator must report as having happened
};

void PrintTo(const Route& r, std::ostream* os) {
  *os << r.name;
}

class SimulatorTest : public ::testing::TestWithParam<Route> {
 protected:
  SimulatorTest()
      : port_(MakeSystemSerialPort(map_)),
        socket_(MakeSystemDatagramSocket()),
        link_(*port_, *socket_, clock_),
        loader_(link_, clock_, 0x27) {}

  std::string Spec(const test::SimProcess& sim, bool serial, int speed = 115200) {
    return serial ? sim.PtyPath() + " " + std::to_string(speed) : sim.NetworkSpec();
  }

  PortMap map_;
  SteadyClock clock_;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<DatagramSocket> socket_;
  Link link_;
  Loader loader_;
};

TEST_P(SimulatorTest, IdentityEraseProgramAndReadBack) {
  const Route& route = GetParam();
  std::vector<std::string> args = route.simArgs;
  if (route.serial) args.push_back("--pty");
  test::SimProcess sim(args, !route.serial);
  ASSERT_TRUE(sim.Ready());

  ASSERT_EQ(link_.LinkOpen(Spec(sim, route.serial)), status::kOk);
  if (route.serial) {
    EXPECT_EQ(link_.SerialSpeed(), 115200u);
  }

  uint16_t loaderVersion = 0, firmwareVersion = 0;
  std::string serial;
  ASSERT_EQ(loader_.LoaderReadIdentity(loaderVersion, firmwareVersion, serial), status::kOk);
  EXPECT_EQ(loaderVersion, 106);
  EXPECT_EQ(firmwareVersion, 0);  // blank firmware area
  EXPECT_EQ(serial, "12345678");
  EXPECT_EQ(MacAddressText(serial), "029A4E123456");

  ASSERT_EQ(loader_.LoaderEraseSector(0x100000), status::kOk);
  uint8_t data[1024];
  for (int i = 0; i < 1024; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  uint32_t value = 0;
  for (uint32_t block = 0; block < 4; ++block) {
    ASSERT_EQ(loader_.LoaderProgramFlash(0x100000 + 1024 * block, 1024, data, value), 0);
  }
  uint8_t back[1024] = {};
  for (uint32_t block = 0; block < 4; ++block) {
    ASSERT_EQ(loader_.LoaderReadFlash(0x100000 + 1024 * block, 1024, back), status::kOk);
    EXPECT_EQ(std::memcmp(back, data, 1024), 0);
  }
  // The loader refuses what a real one would: an erase off a sector start.
  EXPECT_EQ(loader_.LoaderEraseSector(0x100100), status::kEraseFailed);
  EXPECT_EQ(loader_.LoaderStartFirmware(), status::kOk);
  link_.LinkClose();

  const std::string report = sim.Stop();
  if (route.counter != nullptr) {
    EXPECT_EQ(report.find(std::string(" 0 ") + route.counter), std::string::npos) << report;
    EXPECT_NE(report.find(route.counter), std::string::npos) << report;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, SimulatorTest,
    ::testing::Values(Route{"Udp", false, {}, nullptr},
                      Route{"UdpDropped", false, {"--drop-every", "5"}, "dropped"},
                      Route{"UdpBusy", false, {"--busy-every", "2"}, "busy"},
                      Route{"UdpStale", false, {"--stale-every", "2"}, "stale"},
                      Route{"UdpSlowErase", false, {"--erase-ms", "300"}, "busy"},
                      Route{"Pty", true, {}, nullptr},
                      Route{"PtyFrom19200", true, {"--start-speed", "19200"}, nullptr},
                      Route{"PtyDropped", true, {"--drop-every", "5"}, "dropped"},
                      Route{"PtyBusy", true, {"--busy-every", "3"}, "busy"},
                      Route{"PtyStale", true, {"--stale-every", "3"}, "stale"},
                      Route{"PtyCorrupted", true, {"--corrupt-every", "2"}, "corrupted"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, PtyHandshakeFrom9600AtEachSpeed) {
  test::SimProcess sim({"--pty"}, false);
  ASSERT_TRUE(sim.Ready());
  for (int speed : {9600, 38400, 115200, 57600}) {
    SCOPED_TRACE(speed);
    ASSERT_EQ(link_.LinkOpen(Spec(sim, true, speed)), status::kOk);
    EXPECT_EQ(link_.SerialSpeed(), static_cast<uint32_t>(speed));
    uint8_t back[16];
    EXPECT_EQ(loader_.LoaderReadFlash(0x0, 16, back), status::kOk);
  }
}

TEST_F(SimulatorTest, ProbeThatStopsAnsweringMakesTheLinkFail) {
  test::SimProcess sim({"--silent-after", "1"});
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(link_.LinkOpen(sim.NetworkSpec()), status::kOk);
  uint8_t back[16];
  EXPECT_EQ(loader_.LoaderReadFlash(0x0, 16, back), status::kOk);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(loader_.LoaderReadFlash(0x0, 16, back), status::kNoAnswer);
  // Waits of 200, 300, 500, 900 and 1700 ms.
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(3550));
  EXPECT_LT(elapsed, std::chrono::milliseconds(6000));
  EXPECT_EQ(loader_.LoaderReadFlash(0x0, 16, back), status::kNoAnswer);  // sticky, at once
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6500));
}

TEST_F(SimulatorTest, SerialOpenFailures) {
  EXPECT_EQ(link_.LinkOpen("/dev/no-such-tty 9600"), status::kSerialConfig);
  EXPECT_EQ(port_->LastError(), PortError::kNotFound);
  EXPECT_EQ(link_.LinkOpen("/dev/null 9600"), status::kSerialConfig);
  EXPECT_EQ(port_->LastError(), PortError::kNotATerminal);

  test::SimProcess sim({"--pty"}, false);
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(link_.LinkOpen(Spec(sim, true)), status::kOk);
  // A second program cannot open the port while the link holds it.
  auto other = MakeSystemSerialPort(map_);
  EXPECT_FALSE(other->Open(sim.PtyPath()));
  EXPECT_EQ(other->LastError(), PortError::kBusy);
  link_.LinkClose();
  EXPECT_TRUE(other->Open(sim.PtyPath()));
}

TEST_F(SimulatorTest, SilentSerialProbeFailsTheHandshake) {
  test::SimProcess sim({"--pty", "--silent"}, false);
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(link_.LinkOpen(Spec(sim, true)), status::kNoAnswer);
  EXPECT_FALSE(port_->IsOpen());
}

}  // namespace
}  // namespace pxr
