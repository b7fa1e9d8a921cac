// pxr9tool and pxr9tool-ppc end to end against pxrsim: outputs and exit codes.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/firmware_writer.h"
#include "sim/flash_model.h"
#include "tests/support/run_process.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ProcessResult;

class ToolTest : public ::testing::Test {
 protected:
  ToolTest() {
    std::string error;
    sim::SampleFirmware mpc;
    sim::WriteSampleFirmware(firmware_.Path(), "PX9PQ3GD", mpc, error);
    sim::SampleFirmware ppc;
    ppc.family = 0x13;
    ppc.version = 105;
    sim::WriteSampleFirmware(firmware_.Path(), "PX9COPGD", ppc, error);
  }

  // Runs the tool with a private settings store and the test's firmware directory.
  ProcessResult Tool(std::vector<std::string> args, bool ppc = false) {
    args.insert(args.begin(), {"--firmware-dir", firmware_.Path()});
    return test::RunProcess(ppc ? PXR9TOOL_PPC_PATH : PXR9TOOL_PATH, args,
                            {"XDG_CONFIG_HOME=" + config_.Path(), "HOME=" + config_.Path()});
  }

  // The flash a simulator saved when it stopped.
  static Bytes SavedFlash(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  test::TempDir firmware_;
  test::TempDir config_;
  test::TempDir work_;
};

TEST_F(ToolTest, InfoJsonUpdateAndEraseOverUdp) {
  test::SimProcess sim({});
  ASSERT_TRUE(sim.Ready());
  ProcessResult r = Tool({"--ip", sim.Address(), "info", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const char* key : {"\"serial_number\": \"12345678\"", "\"mac_address\": \"029A4E123456\"",
                          "\"loader_version\": \"1.06\"", "\"loaded_version\": \"unknown\"",
                          "\"newest_version\": \"1.06\""}) {
    EXPECT_NE(r.out.find(key), std::string::npos) << key << " in " << r.out;
  }
  EXPECT_NE(r.err.find("Connecting to PXR Loader passed!"), std::string::npos);

  r = Tool({"--ip", sim.Address(), "update"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Firmware: Programming Flash ... ( 100% )\n"), std::string::npos);
  EXPECT_NE(r.err.find("Updating firmware passed!"), std::string::npos);
  EXPECT_NE(r.out.find("Loaded version:  1.06"), std::string::npos);

  r = Tool({"--ip", sim.Address(), "info"});
  EXPECT_NE(r.out.find("Loaded version:  1.06"), std::string::npos) << r.out;
  r = Tool({"--ip", sim.Address(), "update"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("already loaded"), std::string::npos);

  r = Tool({"--ip", sim.Address(), "erase", "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("CRC=", 0), 0u) << r.out;
  EXPECT_NE(r.err.find("Erasing Flash passed! (CRC="), std::string::npos);
  r = Tool({"--ip", sim.Address(), "info", "--json"});
  EXPECT_NE(r.out.find("\"loaded_version\": \"unknown\""), std::string::npos);
}

TEST_F(ToolTest, FailureClasses) {
  test::SimProcess other({"--identity-length", "15"});
  test::SimProcess planted({"--plant", "0x510=0"});
  ASSERT_TRUE(other.Ready() && planted.Ready());
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const std::string nobody = test::NextLoopbackAddress();  // nothing listens there
  const std::vector<Case> cases = {
      {"two channel forms", {"--ip", "127.0.0.1", "--port", "COM1", "info"}, 2, "excludes"},
      {"no command", {"--ip", "127.0.0.1"}, 2, "subcommand"},
      {"erase without --yes off a terminal", {"--ip", "127.0.0.1", "erase"}, 2, "--yes"},
      {"address text too long",
       {"--ip", "127.0.0.1", "transmit", "--subnet", "255.255.255.0000"},
       2,
       "Please enter no more than 15 characters."},
      {"nobody answers",
       {"--attempts", "2", "--ip", nobody, "info"},
       3,
       "no answer from the probe"},
      {"port not found", {"--port", "/dev/pxr-no-such-port", "info"}, 3, "not found"},
      {"not a serial port", {"--port", "/dev/null", "info"}, 3, "is not a serial port"},
      {"another probe model",
       {"--attempts", "1", "--ip", other.Address(), "info"},
       3,
       "There is no PXR9 connected!"},
      {"illegal data",
       {"--ip", planted.Address(), "erase", "--yes"},
       1,
       "Illegal data in boot/loader sectors detected!"},
      {"missing configuration file",
       {"--ip", planted.Address(), "transmit", "--host-ip", "", "--config-file", "/no/such.cfg"},
       1,
       "Transfer failed!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult r = Tool(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(ToolTest, UpdateFailures) {
  test::SimProcess sim({});
  ASSERT_TRUE(sim.Ready());
  test::TempDir empty;
  ProcessResult r = test::RunProcess(
      PXR9TOOL_PATH, {"--firmware-dir", empty.Path(), "--ip", sim.Address(), "update"},
      {"XDG_CONFIG_HOME=" + config_.Path()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no firmware file PX9PQ3GD"), std::string::npos) << r.err;

  std::ofstream(firmware_.File("PX9PQ3GD.107")) << std::string(120000, 'S') << "\n";
  r = Tool({"--ip", sim.Address(), "update"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Updating firmware failed!"), std::string::npos);
  EXPECT_NE(r.err.find("invalid firmware file"), std::string::npos) << r.err;
}

TEST_F(ToolTest, TransmitStoresConfigurationByteForByte) {
  const std::string flashFile = work_.File("flash.bin");
  test::SimProcess sim({"--flash", flashFile});
  ASSERT_TRUE(sim.Ready());
  work_.Write("regs.def", std::string("REG 1\n"));
  const std::string config = work_.Write("board.cfg", std::string("[REGS]\n#1 FILE $regs.def\n"));
  const ProcessResult r =
      Tool({"--ip", sim.Address(), "transmit", "--pxr-ip", "10.1.2.3", "--subnet", "255.255.0.0",
            "--gateway", "10.1.0.1", "--host-ip", "", "--config-file", config});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Writing setup data passed"), std::string::npos);
  sim.Stop();
  const Bytes flash = SavedFlash(flashFile);
  ASSERT_EQ(flash.size(), sim::FlashModel::kSize);
  const Bytes head{0x02, 0x9A, 0x4E, 0x12, 0x34, 0x56, 0xFF, 0xFF, 10,   1,    2,    3,
                   255,  255,  0,    0,    10,   1,    0,    1,    0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Bytes(flash.begin() + 0x6000, flash.begin() + 0x6018), head);
  EXPECT_EQ(std::string(flash.begin() + 0x6018, flash.begin() + 0x6018 + config.size()), config);
  EXPECT_EQ(std::string(flash.begin() + 0x200000, flash.begin() + 0x200019),
            "[REGS]\n#1 FILE $regs.def\n");
  EXPECT_EQ(std::string(flash.begin() + 0x210000, flash.begin() + 0x210007), "\x81REG 1\n");
}

TEST_F(ToolTest, PpcProfileLeavesTheConfigurationSectorsAlone) {
  const std::string flashFile = work_.File("flash.bin");
  test::SimProcess sim(
      {"--flash", flashFile, "--plant", "0x200000=0x12", "--plant", "0x210000=0x34"});
  ASSERT_TRUE(sim.Ready());
  ProcessResult r = Tool(
      {"--ip", sim.Address(), "transmit", "--host-ip", "", "--config-file", "/no/such.cfg"}, true);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Tool({"--ip", sim.Address(), "info", "--json"}, true);
  EXPECT_NE(r.out.find("\"newest_version\": \"1.05\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"target\": \"PPC6xx/7xx/82xx/83xx\""), std::string::npos);
  r = Tool({"--ip", sim.Address(), "update"}, true);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Tool({"--ip", sim.Address(), "info", "--json"}, true);
  EXPECT_NE(r.out.find("\"loaded_version\": \"1.05\""), std::string::npos) << r.out;
  // The MPC85xx tool sees the other family's firmware as unknown.
  r = Tool({"--ip", sim.Address(), "info", "--json"});
  EXPECT_NE(r.out.find("\"loaded_version\": \"unknown\""), std::string::npos) << r.out;
  sim.Stop();
  const Bytes flash = SavedFlash(flashFile);
  ASSERT_EQ(flash.size(), sim::FlashModel::kSize);
  EXPECT_EQ(flash[0x200000], 0x12);
  EXPECT_EQ(flash[0x210000], 0x34);
  EXPECT_EQ(Bytes(flash.begin() + 0x6014, flash.begin() + 0x6018), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(ToolTest, StoredSettingsChooseTheChannel) {
  test::SimProcess sim({});
  ASSERT_TRUE(sim.Ready());
  // Settings exactly as the dialog stores them.
  std::filesystem::create_directories(config_.Path() + "/Quellin");
  std::ofstream(config_.Path() + "/Quellin/Zelvar.conf")
      << "[Setup%20MPC85xx]\nComPort=0\nPxrIP=" << sim.Address() << "\n";
  const ProcessResult r = Tool({"info", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"channel\": \"NETWORK " + sim.Address() + "\""), std::string::npos)
      << r.out;
}

TEST_F(ToolTest, SerialPortAndTrace) {
  test::SimProcess sim({"--pty"}, false);
  ASSERT_TRUE(sim.Ready());
  const ProcessResult r = Tool({"--port", sim.PtyPath(), "--speed", "57600", "--trace", "info"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Serial number:   12345678"), std::string::npos);
  EXPECT_NE(r.err.find(">>    3: 00 01 01"), std::string::npos) << r.err;  // a ping
  EXPECT_NE(r.err.find("<<   23: 40 15 64 00 6A"), std::string::npos);     // the identity reply
}

TEST_F(ToolTest, PortsListsTheMapAndStoresOverrides) {
  ProcessResult r = Tool({"ports", "--map", "COM3=/dev/ttyUSB9"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("COM3=/dev/ttyUSB9"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("COM5=/dev/ttyUSB0"), std::string::npos);
  r = Tool({"ports"});
  EXPECT_NE(r.out.find("COM3=/dev/ttyUSB9"), std::string::npos);
  r = Tool({"ports", "--map", "COM20=/dev/x"});
  EXPECT_EQ(r.exitCode, 2);
}

}  // namespace
}  // namespace pxr
