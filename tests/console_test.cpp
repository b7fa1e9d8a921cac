// The command-line status line: plain lines off a terminal, one redrawn progress bar on one.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/console.h"

namespace pxr {
namespace {

std::string Capture(bool terminal, bool quiet, const std::vector<std::string>& texts) {
  std::FILE* f = std::tmpfile();
  {
    cli::ConsoleStatus status(f, terminal, quiet);
    for (const auto& t : texts) status.SetStatusText(t);
  }
  std::rewind(f);
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

const std::vector<std::string> kTexts = {"Erasing Flash ...", "Erasing Flash ... ( 50% )",
                                         "Erasing Flash ... ( 100% )", "Erasing Flash passed!"};

TEST(ConsoleStatusTest, PlainLinesOffATerminal) {
  EXPECT_EQ(Capture(false, false, kTexts),
            "Erasing Flash ...\nErasing Flash ... ( 50% )\nErasing Flash ... ( 100% )\n"
            "Erasing Flash passed!\n");
  EXPECT_EQ(Capture(false, true, kTexts), "");
}

TEST(ConsoleStatusTest, ProgressBarOnATerminal) {
  const std::string out = Capture(true, false, kTexts);
  const std::string half =
      "\r\033[KErasing Flash ... [" + std::string(15, '#') + std::string(15, ' ') + "]  50%";
  const std::string full = "\r\033[KErasing Flash ... [" + std::string(30, '#') + "] 100%";
  EXPECT_EQ(out, "Erasing Flash ...\n" + half + full + "\nErasing Flash passed!\n");
  // A bar still open at the end is closed with a line end.
  EXPECT_EQ(Capture(true, false, {"Erasing Flash ... ( 1% )"}).back(), '\n');
  // A text that only looks like a percentage is printed as it is.
  EXPECT_EQ(Capture(true, false, {"Odd ( x% )"}), "Odd ( x% )\n");
}

}  // namespace
}  // namespace pxr
