// Address parsing and the register-file section, as tables.
#include <gtest/gtest.h>

#include <cstring>

#include "link/status.h"
#include "setupdata/setup_block.h"
#include "setupdata/stored_configuration.h"
#include "tests/support/temp_dir.h"

namespace pxr {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ParseIpAddressTest, Table) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"10.0.0.5", 0x0A000005},
      {"010.000.000.005", 0x0A000005},
      {"1..3.4", 0x01000304},
      {"192.168.53.72", 0xC0A83548},
      {"0.0.0.0", 0},
      {"255.255.255.255", 0xFFFFFFFF},
      {"", 0xFFFFFFFF},
      {"1.2.3", 0xFFFFFFFF},
      {"1.2.3.4.5", 0xFFFFFFFF},
      {"1.2.3.256", 0xFFFFFFFF},
      {"1.2.3.1000", 0xFFFFFFFF},
      {"1.2.3.0001", 0xFFFFFFFF},
      {"1.2.3.4 ", 0xFFFFFFFF},
      {" 1.2.3.4", 0xFFFFFFFF},
      {"+1.2.3.4", 0xFFFFFFFF},
      {"1.2.3.4.", 0xFFFFFFFF},
      {"a.b.c.d", 0xFFFFFFFF},
      {"...", 0},
  };
  for (auto [text, value] : cases) EXPECT_EQ(ParseIpAddress(text), value) << '"' << text << '"';
}

TEST(SetupBlockTest, MacBytesFromTheSerialNumber) {
  SetupBlock b = BuildSetupBlock("12345678", "", "", "", "", "");
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 8),
            (Bytes{0x02, 0x9A, 0x4E, 0x12, 0x34, 0x56, 0xFF, 0xFF}));
  b = BuildSetupBlock("A1b2C3xx", "", "", "", "", "f.cfg");
  // Letters are not hex digits here: 'A' - '0' = 17, so 16 x 17 + 1 = 0x111 -> 0x11.
  EXPECT_EQ(b[3], 0x11);
  EXPECT_EQ(Bytes(b.begin() + 24, b.begin() + 30), (Bytes{'f', '.', 'c', 'f', 'g', 0}));
}

TEST(TextScanning, ReadTextLineTable) {
  struct Case {
    const char* name;
    std::string text;
    std::string line;
    size_t stop;
  } cases[] = {
      {"plain line", "abc\ndef", "abc", 3},
      {"leading blanks and blank lines skipped", "\r\n\n \t  abc\r\n", "abc", 10},
      {"tab becomes a space", "a\tb\n", "a b", 3},
      {"high byte ends the line",
       "ab\x90"
       "cd\n",
       "ab", 2},
      {"end marker", "ab\xff", "ab", 2},
      {"long line cut at 256", std::string(300, 'x'), std::string(256, 'x'), 256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* text = reinterpret_cast<const uint8_t*>(c.text.data());
    char line[stored::kLineSize];
    const uint8_t* stop = ReadTextLine(text, text + c.text.size(), line);
    EXPECT_EQ(std::string(line), c.line);
    EXPECT_EQ(static_cast<size_t>(stop - text), c.stop);
  }
}

TEST(TextScanning, ReadTokenTable) {
  struct Case {
    const char* line;
    const char* token;
    size_t after;
  } cases[] = {
      {"FILE x.def", "FILE", 4},
      {"  FILE x", "FILE", 6},
      {"\"a b;c\" rest", "a b;c", 7},
      {"\"open quote", "open quote", 11},
      {"name;comment", "name", 4},
      {"", "", 0},
      {"   ", "", 3},
  };
  for (const auto& c : cases) {
    char token[stored::kTokenSize];
    const char* after = ReadToken(c.line, token);
    EXPECT_STREQ(token, c.token) << c.line;
    EXPECT_EQ(static_cast<size_t>(after - c.line), c.after) << c.line;
  }
  char token[stored::kTokenSize];
  const std::string huge(400, 'k');
  ReadToken(huge.c_str(), token);
  EXPECT_EQ(std::strlen(token), 255u);
}

TEST(TextScanning, SiblingPathTable) {
  EXPECT_EQ(SiblingPath("C:\\cfg\\board.cfg", "regs.def"), "C:\\cfg\\regs.def");
  EXPECT_EQ(SiblingPath("/home/u/cfg/board.cfg", "regs.def"), "/home/u/cfg/regs.def");
  EXPECT_EQ(SiblingPath("board.cfg", "regs.def"), "regs.def");
  EXPECT_EQ(SiblingPath("/board.cfg", "regs.def"), "regs.def");
  EXPECT_EQ(SiblingPath("a/b\\c.cfg", "r"), "a/b\\r");
}

class RegisterSectionTest : public ::testing::Test {
 protected:
  RegisterSectionTest() {
    dir_.Write("a.def", "AAAA");
    dir_.Write("b b.def", "BB");
  }
  // Builds the section for a configuration text; returns its bytes or the status.
  int32_t Build(const std::string& text, Bytes& section) {
    std::vector<uint8_t> buffer(stored::kBufferSize, 0xFF);
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size()));
    std::vector<uint8_t> out(stored::kBufferSize, 0xFF);
    const int32_t n = BuildRegisterSection(buffer.data(), dir_.File("board.cfg"), out.data());
    section.assign(out.begin(), out.begin() + std::max(n, 0));
    return n;
  }
  test::TempDir dir_;
};

TEST_F(RegisterSectionTest, Table) {
  const Bytes a{'A', 'A', 'A', 'A'};
  auto entry = [&](uint8_t head, const Bytes& body) {
    Bytes e{head};
    e.insert(e.end(), body.begin(), body.end());
    return e;
  };
  auto concat = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    const char* name;
    std::string text;
    Bytes section;
  } cases[] = {
      {"no [REGS] section", "[TARGET]\nFILE $a.def\n", {}},
      {"lower-case [regs] does not open it", "[regs]\nFILE $a.def\n", {}},
      {"[REGS] with a comment", "[REGS] ; the registers\nFILE $a.def\n", entry(0x80, a)},
      {"FILE before [REGS] ignored", "FILE $a.def\n[REGS]\n#1 FILE $a.def\n", entry(0x81, a)},
      {"ends at the next section", "[REGS]\nFILE $a.def\n[TARGET]\nFILE $a.def\n", entry(0x80, a)},
      {"quoted name with a space", "[REGS]\nFILE \"$b b.def\"\n", entry(0x80, {'B', 'B'})},
      {"#70 is entry 6", "[REGS]\n#70 FILE $a.def\n", entry(0x86, a)},
      {"same file twice", "[REGS]\nFILE $a.def\n#2 FILE $a.def\n",
       concat({entry(0x80, a), entry(0x82, a)})},
      {"other keywords ignored", "[REGS]\nMEMORY 1\n#3 REG x\n FILE $a.def\n", entry(0x80, a)},
      {"indentation and CR LF", "  [REGS]\r\n\t#4 FILE $a.def\r\n", entry(0x84, a)},
      {"0xFF ends the scan", "[REGS]\n\xff\nFILE $a.def\n", {}},
      {"a high byte is stepped over", "[REGS]\n\x90\x91 junk\nFILE $a.def\n", entry(0x80, a)},
      {"#text counts as number 0", "[REGS]\n#x FILE $a.def\n", entry(0x80, a)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes section;
    EXPECT_EQ(Build(c.text, section), static_cast<int32_t>(c.section.size()));
    EXPECT_EQ(section, c.section);
  }
}

TEST_F(RegisterSectionTest, FailuresTable) {
  const std::pair<const char*, std::string> cases[] = {
      {"missing file", "[REGS]\nFILE $gone.def\n"},
      {"no name", "[REGS]\nFILE\n"},
      {"path too long", "[REGS]\nFILE $" + std::string(250, 'p') + "\n"},
  };
  for (const auto& [name, text] : cases) {
    Bytes section;
    EXPECT_EQ(Build(text, section), status::kRegisterPath) << name;
  }
}

TEST_F(RegisterSectionTest, SectionThatFillsTheBufferIsRefusedByTheCaller) {
  dir_.Write("big.def", std::string(40000, 'z'));
  Bytes section;
  const int32_t n = Build("[REGS]\nFILE $big.def\nFILE $big.def\nFILE $big.def\n", section);
  // The second file fills the buffer; the third has no room left at all.
  EXPECT_EQ(n, status::kRegisterPath);
  EXPECT_EQ(Build("[REGS]\nFILE $big.def\nFILE $big.def\n", section), stored::kBufferSize);
}

TEST(ReadWholeFileTest, MissingAndBounded) {
  test::TempDir dir;
  std::vector<uint8_t> buffer(stored::kBufferSize);
  EXPECT_EQ(ReadWholeFile(dir.File("none"), buffer.data()), status::kConfigTooLarge);
  EXPECT_EQ(ReadWholeFile("", buffer.data()), status::kConfigTooLarge);
  EXPECT_EQ(ReadWholeFile(dir.Write("e", std::string()), buffer.data()), 0);
  EXPECT_EQ(ReadWholeFile(dir.Write("big", std::string(70000, 'q')), buffer.data()),
            stored::kBufferSize);
}

}  // namespace
}  // namespace pxr
