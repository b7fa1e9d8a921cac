// Firmware update, flash erase and check, and Transmit against the in-process simulated probe.
#include <gtest/gtest.h>

#include "app9/profile.h"
#include "firmware/flash_check.h"
#include "firmware/srecord.h"
#include "firmware/update.h"
#include "link/link.h"
#include "link/status.h"
#include "loader/loader.h"
#include "setupdata/setup_block.h"
#include "setupdata/stored_configuration.h"
#include "sim/firmware_writer.h"
#include "tests/support/recording_status.h"
#include "tests/support/scripted_port.h"
#include "tests/support/scripted_socket.h"
#include "tests/support/sim_socket.h"
#include "tests/support/temp_dir.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;

// Sees the frames the link sends.
struct SentFrames final : LinkObserver {
  std::vector<Bytes> frames;
  void OnFrameSent(const uint8_t* f, int32_t n) override { frames.emplace_back(f, f + n); }
  void OnFrameReceived(const uint8_t*, int32_t) override {}
  int CountCommand(uint8_t code) const {
    int n = 0;
    for (const auto& f : frames) n += f.size() > 2 && (f[0] & 0x10) && f[2] == code;
    return n;
  }
};

class ProbeFixture : public ::testing::Test {
 public:
  explicit ProbeFixture(sim::ProbeConfig config = {})
      : socket_(clock_, config),
        port_(clock_),
        link_(port_, socket_, clock_),
        loader_(link_, clock_, 0x27),
        context_{loader_, status_, progress_} {
    EXPECT_EQ(link_.LinkOpen("NETWORK 127.0.0.1"), 0);
    link_.SetObserver(&sent_);
  }
  sim::FlashModel& Flash() { return socket_.probe.Flash(); }
  Bytes FlashBytes(uint32_t address, uint32_t count) {
    const auto& b = Flash().Bytes();
    return Bytes(b.begin() + address, b.begin() + address + count);
  }
  bool MarkerPresent() { return FlashBytes(0x100000, 4) == Bytes{0xAA, 0x55, 0x55, 0xAA}; }

  test::VirtualClock clock_;
  test::SimSocket socket_;
  test::ByteQueuePort port_;
  Link link_;
  Loader loader_;
  test::RecordingStatus status_;
  ProgressState progress_;
  ProcedureContext context_;
  SentFrames sent_;
  FirmwareReader reader_;
  test::TempDir dir_;
};

TEST(ShowProgressTest, OnlyWholePercentChangesAreShown) {
  test::RecordingStatus status;
  ProgressState progress;
  for (uint32_t i = 1; i <= 16; ++i) ShowProgress(progress, "E ( %u%% )", status, 16, i);
  std::vector<std::string> expected;
  for (int p : {6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93, 100}) {
    expected.push_back("E ( " + std::to_string(p) + "% )");
  }
  EXPECT_EQ(status.texts, expected);
  // The state is shared and never reset: a new run's first 100% is not shown again, and a 0%
  // step is never shown before anything else.
  status.texts.clear();
  ShowProgress(progress, "F ( %u%% )", status, 10, 10);
  EXPECT_TRUE(status.texts.empty());
  ProgressState fresh;
  ShowProgress(fresh, "G ( %u%% )", status, 68, 0);
  ShowProgress(fresh, "G ( %u%% )", status, 68, 1);
  ShowProgress(fresh, "G ( %u%% )", status, 68, 2);
  EXPECT_EQ(status.texts, (std::vector<std::string>{"G ( 1% )", "G ( 2% )"}));
}

TEST(ImageHeader, ChecksTable) {
  auto header = [](uint32_t flash, uint32_t target, uint32_t words, uint16_t kind) {
    Bytes h(32, 0);
    for (int i = 0; i < 4; ++i) {
      h[4 + i] = static_cast<uint8_t>(flash >> (24 - 8 * i));
      h[8 + i] = static_cast<uint8_t>(target >> (24 - 8 * i));
      h[12 + i] = static_cast<uint8_t>(words >> (24 - 8 * i));
    }
    h[26] = static_cast<uint8_t>(kind >> 8);
    h[27] = static_cast<uint8_t>(kind);
    return h;
  };
  struct Case {
    const char* name;
    Bytes h;
    bool valid;
  } cases[] = {
      {"typical", header(0x100000, 0x40000000, 0x4000, 1), true},
      {"exactly to the flash end", header(0x100000, 0x40000000, 0xC0000, 1), true},
      {"past the flash end", header(0x100000, 0x40000000, 0xC0001, 1), false},
      {"flash address too low", header(0x0F0000, 0x40000000, 0x10, 1), false},
      {"target too low", header(0x100000, 0x3FFFFFFF, 0x10, 1), false},
      {"target past its window", header(0x100000, 0x40FFFFFC, 2, 1), false},
      {"kind 2", header(0x100000, 0x40000000, 0x10, 2), false},
      // 4 x words and the sums are 32-bit, as the probe computes them: this one wraps to 0.
      {"sum wraps", header(0x100000, 0x40000000, 0x40000000, 1), true},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageHeaderValid(c.h.data()), c.valid) << c.name;
}

class UpdateTest : public ProbeFixture {
 public:
  std::string SampleFile(sim::SampleFirmware spec = {}) {
    std::string error;
    const std::string path = sim::WriteSampleFirmware(dir_.Path(), "PX9PQ3GD", spec, error);
    EXPECT_FALSE(path.empty()) << error;
    return path;
  }
};

TEST_F(UpdateTest, ProgramsTheImageAndWritesTheMarkerLast) {
  sim::SampleFirmware spec;
  spec.imageBytes = 0x10000 + 6;  // a last record that needs padding
  const Bytes image = sim::BuildSampleImage(spec);
  Flash().Poke(0x100000 + 0x20000, 0x00);  // stale data in the firmware area is erased
  ASSERT_EQ(UpdateFirmware(context_, reader_, SampleFile(spec)), status::kOk);
  EXPECT_TRUE(MarkerPresent());
  EXPECT_EQ(FlashBytes(0x100004, static_cast<uint32_t>(image.size() - 4)),
            Bytes(image.begin() + 4, image.end()));
  EXPECT_EQ(FlashBytes(0x100000 + static_cast<uint32_t>(image.size()), 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Flash().At(0x120000), 0xFF);
  EXPECT_EQ(socket_.probe.FirmwareWord(), 0x276A);
  // Marker last: the final program request is the four marker bytes at 0x100000.
  const Bytes& last = sent_.frames.back();
  EXPECT_EQ(Bytes(last.begin() + 2, last.end()),
            (Bytes{0x68, 0x00, 0x10, 0x00, 0x00, 0x00, 0x04, 0xAA, 0x55, 0x55, 0xAA}));
  EXPECT_EQ(sent_.CountCommand(0x67), 16);
  EXPECT_EQ(status_.texts.front(), "Erasing Firmware ...");
  EXPECT_TRUE(status_.Saw("Programming Firmware ..."));
  EXPECT_TRUE(status_.Saw("Firmware: Programming Flash ... ( 100% )"));
  EXPECT_EQ(status_.Last(), "Programming Firmware ... passed!");
  // Every program request was padded to a multiple of four bytes.
  for (const auto& f : sent_.frames) {
    if (f[2] == 0x68) {
      EXPECT_EQ(((f[7] << 8) | f[8]) % 4, 0);
    }
  }
}

TEST_F(UpdateTest, BlockOf1021BytesIsSentAs1024) {
  // The image header block, then 1021 bytes after a gap; S0 lines bring the file to size.
  Bytes header = sim::BuildSampleImage({});
  header.resize(1024);
  Bytes tail(1021, 0x11);
  std::string text = sim::ToSRecords(header, 0x100000, 32, "T");
  text += sim::ToSRecords(tail, 0x108000, 32, "T");
  while (text.size() < 100000) text += "S00600004844521B\n";
  ASSERT_EQ(UpdateFirmware(context_, reader_, dir_.Write("F.106", text)), status::kOk);
  bool found = false;
  for (const auto& f : sent_.frames) {
    if (f[2] == 0x68 && f[3] == 0 && f[4] == 0x10 && f[5] == 0x80) {
      found = true;
      EXPECT_EQ((f[7] << 8) | f[8], 1024);
      EXPECT_EQ(Bytes(f.end() - 4, f.end()), (Bytes{0x11, 0xFF, 0xFF, 0xFF}));
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(UpdateTest, FailuresTable) {
  struct Case {
    const char* name;
    std::function<std::string(UpdateTest&)> file;
    int32_t result;
    std::string lastStatus;
    bool erased;
  };
  const std::vector<Case> cases = {
      {"missing file", [](UpdateTest& t) { return t.dir_.File("PX9PQ3GD.106"); },
       status::kInvalidFirmware, "", false},
      {"no version, no path", [](UpdateTest&) { return std::string(); }, status::kInvalidFirmware,
       "", false},
      {"99999 bytes", [](UpdateTest& t) { return t.dir_.Write("s", std::string(99999, 'S')); },
       status::kInvalidFirmware, "Invalid Firmware File!", false},
      {"bad line after good ones",
       [](UpdateTest& t) {
         std::string text = sim::ToSRecords(sim::BuildSampleImage({}), 0x100000, 32, "T");
         text.insert(text.size() / 2, "S1FF\n");
         return t.dir_.Write("b", text);
       },
       status::kInvalidFirmware, "Invalid Firmware File!", true},
      {"image kind 2",
       [](UpdateTest& t) {
         sim::SampleFirmware s;
         s.kind = 2;
         return t.SampleFile(s);
       },
       status::kInvalidFirmware, "Invalid Firmware File!", true},
      {"flash address 0xF0000",
       [](UpdateTest& t) {
         sim::SampleFirmware s;
         s.flashAddress = 0xF0000;
         return t.SampleFile(s);
       },
       status::kInvalidFirmware, "Invalid Firmware File!", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Flash().Reset();
    Flash().Poke(0x130000, 0x00);  // survives only if nothing was erased
    status_.texts.clear();
    sent_.frames.clear();
    EXPECT_EQ(UpdateFirmware(context_, reader_, c.file(*this)), c.result);
    EXPECT_EQ(status_.Last(), c.lastStatus);
    EXPECT_EQ(Flash().At(0x130000) == 0xFF, c.erased);
    EXPECT_FALSE(MarkerPresent());
  }
}

TEST_F(UpdateTest, InterruptedUpdateNeverLeavesTheMarker) {
  const std::string file = SampleFile();
  // Requests: 16 erases, 64 programs, the header read, the marker. Stop the probe at several.
  for (int k : {0, 5, 16, 17, 40, 80, 81}) {
    SCOPED_TRACE(k);
    sim::ProbeConfig config;
    config.silentAfter = k;
    test::VirtualClock clock;
    test::SimSocket socket(clock, config);
    Link link(port_, socket, clock);
    ASSERT_EQ(link.LinkOpen("NETWORK 127.0.0.1"), 0);
    Loader loader(link, clock, 0x27);
    test::RecordingStatus status;
    ProgressState progress;
    ProcedureContext context{loader, status, progress};
    EXPECT_EQ(UpdateFirmware(context, reader_, file), status::kNoAnswer);
    const uint8_t* image = socket.probe.Flash().Bytes().data() + 0x100000;
    EXPECT_FALSE(image[0] == 0xAA && image[1] == 0x55 && image[2] == 0x55 && image[3] == 0xAA);
    EXPECT_EQ(socket.probe.FirmwareWord(), 0);
    EXPECT_EQ(status.Last(),
              k < 16 ? "Erasing Firmware ... failed!" : "Programming Firmware ... failed!");
  }
}

// Independent CRC-16/ARC, bit by bit.
uint16_t BitwiseCrc(const uint8_t* data, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

TEST(Crc16Test, CheckValueAndBlank) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc16(0, reinterpret_cast<const uint8_t*>(digits), 9), 0xBB3D);
  const uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(IsErased(4, ff));
  const uint8_t mixed[4] = {0xFF, 0xFE, 0xFF, 0xFF};
  EXPECT_FALSE(IsErased(4, mixed));
  EXPECT_TRUE(IsErased(0, mixed));
}

class EraseTest : public ProbeFixture {};

TEST_F(EraseTest, ErasesEverythingButBootAndLoaderAndReportsTheCrc) {
  Flash().Poke(0x6000, 0x12);    // setup data
  Flash().Poke(0x3F0000, 0x34);  // last sector
  Flash().Poke(0x2100, 0x00);    // the sector after the boot sector, read by the check
  uint16_t crc = 0;
  ASSERT_EQ(EraseAndCheckFlash(context_, crc), status::kOk);
  EXPECT_EQ(Flash().At(0x6000), 0xFF);
  EXPECT_EQ(Flash().At(0x3F0000), 0xFF);
  EXPECT_EQ(sent_.CountCommand(0x67), 68);
  Bytes region = FlashBytes(0, 0x30000);
  std::fill(region.begin() + 0x20, region.begin() + 0x28, 0);
  EXPECT_EQ(crc, BitwiseCrc(region.data(), region.size()));
  EXPECT_EQ(status_.texts.front(), "Erasing Flash ... ( 1% )");
  EXPECT_EQ(status_.Last(), "Checking for illegal data in boot/loader sectors");

  // The bytes 0x20-0x27 do not count.
  Flash().Poke(0x21, 0x99);
  uint16_t again = 0;
  ASSERT_EQ(CheckBootLoaderSectors(loader_, again), status::kOk);
  EXPECT_EQ(again, crc);
}

TEST_F(EraseTest, BlankChecksTable) {
  const uint32_t imageEnd =
      sim::FlashModel::kLoaderStart + 0x40 + 4 * sim::FlashModel::kLoaderWords;
  struct Case {
    const char* name;
    uint32_t address;
    int32_t result;
  } cases[] = {
      {"first byte after the boot code", 0x510, status::kIllegalData},
      {"last byte of the boot code", 0x50F, status::kOk},
      {"end of the boot sector", 0x1FFF, status::kIllegalData},
      {"first byte after the loader image", imageEnd, status::kIllegalData},
      {"last word of the loader image", imageEnd - 4, status::kOk},
      {"end of the loader sectors", 0x2FFFF, status::kIllegalData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Flash().Reset();
    Flash().Poke(c.address, 0x00);
    uint16_t crc = 0xABCD;
    EXPECT_EQ(EraseAndCheckFlash(context_, crc), c.result);
    if (c.result != status::kOk) {
      EXPECT_EQ(crc, 0xABCD);
    }
  }
}

TEST(EraseFailure, StopsSendingButRunsProgressToTheEnd) {
  test::VirtualClock clock;
  test::ScriptedSocket socket(clock);
  test::ByteQueuePort port(clock);
  Link link(port, socket, clock);
  socket.PingAnswer();
  ASSERT_EQ(link.LinkOpen("NETWORK 127.0.0.1"), 0);
  socket.sent.clear();
  for (int i = 0; i < 4; ++i) socket.Reply({0x67, 0});
  socket.Reply({0x67, 1});
  Loader loader(link, clock, 0x27);
  test::RecordingStatus status;
  ProgressState progress;
  ProcedureContext context{loader, status, progress};
  uint16_t crc = 0;
  EXPECT_EQ(EraseAndCheckFlash(context, crc), status::kEraseFailed);
  EXPECT_EQ(socket.sent.size(), 5u);
  EXPECT_EQ(status.Last(), "Erasing Flash ... ( 100% )");
}

TEST(CheckFailure, AFailedReadEndsTheCheckWithItsStatus) {
  sim::ProbeConfig config;
  config.silentAfter = 69;  // the erases pass, the first check read is not answered
  test::VirtualClock clock;
  test::SimSocket socket(clock, config);
  test::ByteQueuePort port(clock);
  Link link(port, socket, clock);
  ASSERT_EQ(link.LinkOpen("NETWORK 127.0.0.1"), 0);
  Loader loader(link, clock, 0x27);
  test::RecordingStatus status;
  ProgressState progress;
  ProcedureContext context{loader, status, progress};
  uint16_t crc = 0x5555;
  EXPECT_EQ(EraseAndCheckFlash(context, crc), status::kNoAnswer);
  EXPECT_EQ(crc, 0x5555);
}

class TransmitTest : public ProbeFixture {
 public:
  std::unique_ptr<StoredConfiguration> store_ = std::make_unique<StoredConfiguration>(loader_);
};

TEST_F(TransmitTest, SetupBlockByteForByte) {
  const std::string name(100, 'n');
  ASSERT_EQ(TransmitSetup(context_, "10.0.0.5", "", "10.0.0.1", "192.168.1.20", name, nullptr),
            status::kOk);
  Bytes expected{0x02, 0x9A, 0x4E, 0x12, 0x34, 0x56, 0xFF, 0xFF, 10,  0,   0, 5,
                 0xFF, 0xFF, 0xFF, 0xFF, 10,   0,    0,    1,    192, 168, 1, 20};
  expected.insert(expected.end(), 79, 'n');
  expected.push_back(0);
  expected.resize(104, 0);
  EXPECT_EQ(FlashBytes(0x6000, 104), expected);
  EXPECT_EQ(Flash().At(0x6000 + 104), 0xFF);
}

TEST_F(TransmitTest, WithoutStoreTheConfigurationSectorsAreUntouched) {
  Flash().Poke(0x200000, 0x12);
  Flash().Poke(0x210000, 0x34);
  ASSERT_EQ(TransmitSetup(context_, "10.0.0.5", "255.255.255.0", "10.0.0.1", "", "x.cfg", nullptr),
            status::kOk);
  EXPECT_EQ(FlashBytes(0x6000 + 20, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Flash().At(0x200000), 0x12);
  EXPECT_EQ(Flash().At(0x210000), 0x34);
  EXPECT_EQ(sent_.CountCommand(0x67), 1);
}

TEST_F(TransmitTest, StoresTheConfigurationAndRegisterFiles) {
  const std::string regsA = "REGISTER A\n";
  const Bytes regsB(3000, 0xB2);
  dir_.Write("a.def", regsA);
  dir_.Write("b def.bin", regsB);
  const std::string config =
      "; board configuration\n[TARGET]\nFILE ignored.def\n[REGS] ; registers\n"
      "#2 FILE $a.def\n  FILE \"$b def.bin\"\n#70 FILE $a.def\nMEMORY 0x1000\n[OTHER]\n"
      "#3 FILE $missing.def\n";
  const std::string path = dir_.Write("board.cfg", config);
  ASSERT_EQ(
      TransmitSetup(context_, "10.0.0.5", "255.255.255.0", "10.0.0.1", "", path, store_.get()),
      status::kOk);
  EXPECT_EQ(FlashBytes(0x200000, static_cast<uint32_t>(config.size())),
            Bytes(config.begin(), config.end()));
  EXPECT_EQ(Flash().At(0x200000 + static_cast<uint32_t>(config.size())), 0xFF);
  Bytes section{0x82};
  section.insert(section.end(), regsA.begin(), regsA.end());
  section.push_back(0x80);
  section.insert(section.end(), regsB.begin(), regsB.end());
  section.push_back(0x86);
  section.insert(section.end(), regsA.begin(), regsA.end());
  EXPECT_EQ(FlashBytes(0x210000, static_cast<uint32_t>(section.size())), section);
  EXPECT_EQ(Flash().At(0x210000 + static_cast<uint32_t>(section.size())), 0xFF);
}

TEST_F(TransmitTest, ValidHostAddressClearsAStoredConfiguration) {
  Flash().Poke(0x200000, 0x12);
  ASSERT_EQ(TransmitSetup(context_, "10.0.0.5", "255.255.255.0", "10.0.0.1", "10.0.0.9",
                          "/no/such.cfg", store_.get()),
            status::kOk);
  EXPECT_EQ(Flash().At(0x200000), 0xFF);
}

TEST_F(TransmitTest, FailuresTable) {
  struct Case {
    const char* name;
    std::string hostIp;
    std::function<std::string(TransmitTest&)> config;
    int32_t result;
  };
  const std::vector<Case> cases = {
      {"missing configuration file", "", [](TransmitTest& t) { return t.dir_.File("none.cfg"); },
       status::kConfigTooLarge},
      {"broadcast host address counts as none", "255.255.255.255",
       [](TransmitTest& t) { return t.dir_.File("none.cfg"); }, status::kConfigTooLarge},
      {"configuration of 64 KiB", "",
       [](TransmitTest& t) { return t.dir_.Write("big.cfg", std::string(65536, ' ')); },
       status::kConfigTooLarge},
      {"missing register file", "",
       [](TransmitTest& t) { return t.dir_.Write("m.cfg", "[REGS]\nFILE $gone.def\n"); },
       status::kRegisterPath},
      {"FILE without a name", "",
       [](TransmitTest& t) { return t.dir_.Write("n.cfg", "[REGS]\nFILE\n"); },
       status::kRegisterPath},
      {"register path too long", "",
       [](TransmitTest& t) {
         return t.dir_.Write("p.cfg", "[REGS]\nFILE $" + std::string(300, 'r') + "\n");
       },
       status::kRegisterPath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Flash().Reset();
    EXPECT_EQ(TransmitSetup(context_, "10.0.0.5", "255.255.255.0", "10.0.0.1", c.hostIp,
                            c.config(*this), store_.get()),
              c.result);
    // The setup block was written before the configuration failed.
    EXPECT_EQ(Flash().At(0x6000), 0x02);
  }
}

class ShortIdentityTest : public ProbeFixture {
 protected:
  static sim::ProbeConfig Config() {
    sim::ProbeConfig c;
    c.identityLength = 15;
    return c;
  }
  ShortIdentityTest() : ProbeFixture(Config()) {}
};

TEST_F(ShortIdentityTest, TransmitWithoutSerialNumberFails) {
  EXPECT_EQ(TransmitSetup(context_, "10.0.0.5", "", "", "1.2.3.4", "", nullptr),
            status::kUnexpectedReply);
  EXPECT_EQ(sent_.CountCommand(0x67), 0);
}

}  // namespace
}  // namespace pxr
