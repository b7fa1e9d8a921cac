// S-record lines, firmware blocks, and the reader against files written by standard tools.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "firmware/srecord.h"
#include "firmware/text_file.h"
#include "link/status.h"
#include "sim/firmware_writer.h"
#include "tests/support/temp_dir.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

using test::TempDir;

struct LineCase {
  const char* name;
  std::string line;
  int32_t result;
  uint32_t address;
  Bytes data;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.name;
}

class SRecordLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SRecordLineTest, Decodes) {
  const auto& c = GetParam();
  uint32_t address = 0xDEADBEEF;
  uint8_t data[256] = {};
  EXPECT_EQ(ParseSRecordLine(c.line, address, data), c.result);
  if (c.result > 0) {
    EXPECT_EQ(address, c.address);
    EXPECT_EQ(Bytes(data, data + c.result), c.data);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SRecordLineTest,
    ::testing::Values(
        LineCase{"S1Example", "S107100001020304DE\n", 4, 0x1000, {1, 2, 3, 4}},
        LineCase{"LowerCase", "s107100001020304de\n", 4, 0x1000, {1, 2, 3, 4}},
        LineCase{"S2", "S2080100000102030AE6\n", 4, 0x010000, {1, 2, 3, 0x0A}},
        LineCase{"S3", "S30900100000AABBCCDDD8\n", 4, 0x00100000, {0xAA, 0xBB, 0xCC, 0xDD}},
        LineCase{"LeadingCharacters", "xxS107100001020304DE\n", 4, 0x1000, {1, 2, 3, 4}},
        LineCase{"BadChecksum", "S107100001020304DF\n", -1, 0, {}},
        LineCase{"MissingLineFeed", "S107100001020304DE", -1, 0, {}},
        LineCase{"CarriageReturnLeft", "S107100001020304DE\r\n", -1, 0, {}},
        LineCase{"TooLong", "S107100001020304DE0\n", -1, 0, {}}, LineCase{"Empty", "", -1, 0, {}},
        LineCase{"LineFeedOnly", "\n", -1, 0, {}}, LineCase{"NoS", "0123456789\n", -1, 0, {}},
        LineCase{"HeaderWrongChecksumSkipped", "S00600004844521C\n", 0, 0, {}},
        LineCase{"HeaderInconsistentLength", "S00600004844521B00\n", -1, 0, {}},
        LineCase{"TerminationS9", "S9031000EC\n", 0, 0, {}},
        LineCase{"TerminationS7", "S70500000000FA\n", 0, 0, {}},
        LineCase{"NoDataRecord", "S1031000EC\n", 0, 0, {}},
        LineCase{"NoDataBadChecksum", "S1031000ED\n", -1, 0, {}},
        LineCase{"CountBelowAddress", "S10100FE\n", -1, 0, {}},
        LineCase{"CountZero", "S100\n", -1, 0, {}}, LineCase{"TooShortForCount", "S1\n", -1, 0, {}},
        LineCase{"JustS", "S", -1, 0, {}},
        LineCase{"NulInside", std::string("S107100001020304DE\0\n", 20), -1, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexByte, DigitTable) {
  EXPECT_EQ(HexByte('0', '0'), 0x00);
  EXPECT_EQ(HexByte('F', 'F'), 0xFF);
  EXPECT_EQ(HexByte('a', 'b'), 0xAB);
  EXPECT_EQ(HexByte(':', '@'), 0x00);
  EXPECT_EQ(HexByte('G', 'z'), 0x00);
  EXPECT_EQ(HexByte('\xff', '\x80'), 0x00);
}

// Reads all blocks of a file: (start, bytes) pairs, or the error.
struct Blocks {
  int32_t error = 0;
  std::vector<std::pair<uint32_t, Bytes>> list;
};

Blocks ReadAll(const std::string& path) {
  TextFile file;
  Blocks out;
  if (!file.Open(path)) {
    out.error = -1;
    return out;
  }
  FirmwareReader reader;
  reader.ClearPending();
  uint8_t block[kBlockSize];
  for (;;) {
    uint32_t start = 0;
    const int32_t n = reader.ReadFirmwareBlock(file, block, start);
    if (n < 0) {
      out.error = n;
      break;
    }
    if (n == 0) break;
    out.list.emplace_back(start, Bytes(block, block + n));
  }
  return out;
}

std::string Records(uint32_t address, size_t count, size_t perRecord, int addressBytes = 4) {
  Bytes data(count * perRecord);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  return sim::ToSRecords(data, address, static_cast<int>(perRecord), "T", addressBytes);
}

TEST(FirmwareBlocks, WholeRecordsUpTo1024Bytes) {
  TempDir dir;
  // Five contiguous records of 252 bytes: four make one block, the fifth opens the next.
  // (252 data bytes fit only an S1 record: 2 address bytes + 252 + checksum = 255.)
  const Blocks b = ReadAll(dir.Write("a.srec", Records(0x1000, 5, 252, 2)));
  ASSERT_EQ(b.error, 0);
  ASSERT_EQ(b.list.size(), 2u);
  EXPECT_EQ(b.list[0].first, 0x1000u);
  EXPECT_EQ(b.list[0].second.size(), 1008u);
  EXPECT_EQ(b.list[1].first, 0x1000u + 1008);
  EXPECT_EQ(b.list[1].second.size(), 252u);
  EXPECT_EQ(b.list[1].second[0], static_cast<uint8_t>(1008));
}

TEST(FirmwareBlocks, ExactlyFullBlockAndGaps) {
  TempDir dir;
  // 32 records of 32 bytes fill one block exactly; a gap and a record below start new ones.
  std::string text = Records(0x2000, 32, 32) + Records(0x3000, 1, 16) + Records(0x1000, 1, 8);
  const Blocks b = ReadAll(dir.Write("b.srec", text));
  ASSERT_EQ(b.error, 0);
  ASSERT_EQ(b.list.size(), 3u);
  EXPECT_EQ(b.list[0].second.size(), 1024u);
  EXPECT_EQ(b.list[1].first, 0x3000u);
  EXPECT_EQ(b.list[2].first, 0x1000u);
  EXPECT_EQ(b.list[2].second.size(), 8u);
}

TEST(FirmwareBlocks, FileErrorsTable) {
  TempDir dir;
  const std::string good = "S107100001020304DE\n";
  struct Case {
    const char* name;
    std::string text;
    int32_t error;
    size_t blocks;
  } cases[] = {
      {"no data records", "S00600004844521B\nS9031000EC\n", 0, 0},
      {"blank line", good + "\n" + good, status::kInvalidFirmware, 0},
      {"last line without LF", good + "S107100401020304DA", status::kInvalidFirmware, 0},
      {"garbage", "\x01\x02\xff\xfe garbage\n", status::kInvalidFirmware, 0},
      {"CR LF line ends", "S107100001020304DE\r\nS107100401020304DA\r\n", 0, 1},
      {"Ctrl-Z ends the file", good + "\x1a" + "junk that is never read\n", 0, 1},
      {"huge line", std::string(5000, 'A') + "\n", status::kInvalidFirmware, 0},
      {"NUL bytes", std::string("S1071000\0\0\0\0\0\0\0\0\0\0\n", 19), status::kInvalidFirmware, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Blocks b = ReadAll(dir.Write("c.srec", c.text));
    EXPECT_EQ(b.error, c.error);
    EXPECT_EQ(b.list.size(), c.blocks);
  }
}

TEST(FirmwareBlocks, LowerCaseFileReadsLikeUpperCase) {
  TempDir dir;
  std::string upper = Records(0x100000, 40, 32);
  std::string lower = upper;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const Blocks a = ReadAll(dir.Write("u.srec", upper));
  const Blocks b = ReadAll(dir.Write("l.srec", lower));
  ASSERT_EQ(a.error, 0);
  EXPECT_EQ(a.list, b.list);
}

TEST(TextFile, FoldsCrLfAndCountsRawBytes) {
  TempDir dir;
  TextFile f;
  ASSERT_TRUE(f.Open(dir.Write("t.txt", "ab\r\ncd\r\re\n")));
  EXPECT_EQ(f.Length(), 10u);
  char line[8];
  EXPECT_EQ(f.ReadLine(line, sizeof line), 3);
  EXPECT_STREQ(line, "ab\n");
  EXPECT_EQ(f.Position(), 4u);
  EXPECT_EQ(f.ReadLine(line, sizeof line), 6);
  EXPECT_STREQ(line, "cd\r\re\n");
  EXPECT_EQ(f.ReadLine(line, sizeof line), 0);
  EXPECT_FALSE(f.Open(dir.Path() + "/missing"));
  EXPECT_FALSE(f.Open(""));
}

TEST(TextFile, LongLinesArriveInPieces) {
  TempDir dir;
  TextFile f;
  ASSERT_TRUE(f.Open(dir.Write("t.txt", std::string(1000, 'x') + "\n")));
  char line[kLineBufferSize];
  EXPECT_EQ(f.ReadLine(line, sizeof line), 519);
  EXPECT_EQ(f.ReadLine(line, sizeof line), 482);
  EXPECT_EQ(line[481], '\n');
  EXPECT_EQ(f.ReadLine(line, sizeof line), 0);
}

// Every byte of a binary written as S-records by srec_cat or objcopy comes back at its address.
class StandardToolTest : public ::testing::TestWithParam<std::string> {};

TEST_P(StandardToolTest, EveryByteAtItsAddress) {
  TempDir dir;
  Bytes image(70001);
  std::mt19937 rng(7);
  for (auto& b : image) b = static_cast<uint8_t>(rng());
  const std::string bin = dir.Path() + "/image.bin";
  std::ofstream(bin, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  const std::string srec = dir.Path() + "/image.srec";
  std::string command = GetParam();
  for (auto [from, to] : {std::pair<std::string, std::string>{"IN", bin}, {"OUT", srec}}) {
    command.replace(command.find(from), from.size(), to);
  }
  const std::string tool = command.substr(0, command.find(' '));
  if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0) {
    GTEST_SKIP() << tool << " is not installed (scripts/bootstrap installs it)";
  }
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const Blocks b = ReadAll(srec);
  ASSERT_EQ(b.error, 0);
  std::map<uint32_t, uint8_t> seen;
  for (const auto& [start, bytes] : b.list) {
    EXPECT_LE(bytes.size(), 1024u);
    for (size_t i = 0; i < bytes.size(); ++i) seen[start + static_cast<uint32_t>(i)] = bytes[i];
  }
  ASSERT_EQ(seen.size(), image.size());
  for (size_t i = 0; i < image.size(); ++i) {
    ASSERT_EQ(seen[0x100000 + static_cast<uint32_t>(i)], image[i]) << "at offset " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, StandardToolTest,
    ::testing::Values(
        "srec_cat IN -binary -offset 0x100000 -o OUT -motorola -address-length=4",
        "srec_cat IN -binary -offset 0x100000 -o OUT -motorola -obs=250",
        "objcopy -I binary -O srec --srec-len=32 --change-addresses=0x100000 IN OUT",
        "objcopy -I binary -O srec --srec-forceS3 --change-addresses=0x100000 IN OUT"));

}  // namespace
}  // namespace pxr
