#include "cli/console.h"

namespace pxr::cli {

namespace {
// Splits "Erasing Flash ... ( 42% )" into its label and percentage.
bool SplitPercent(std::string_view text, std::string_view& label, int& percent) {
  const size_t open = text.rfind(" ( ");
  if (open == std::string_view::npos || text.size() < open + 6 ||
      text.substr(text.size() - 3) != "% )") {
    return false;
  }
  int value = 0;
  for (char c : text.substr(open + 3, text.size() - 3 - (open + 3))) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  label = text.substr(0, open);
  percent = value;
  return true;
}
}  // namespace

void ConsoleStatus::EndBar() {
  if (barOpen_) {
    std::fputc('\n', out_);
    std::fflush(out_);
    barOpen_ = false;
  }
}

void ConsoleStatus::SetStatusText(std::string_view text) {
  last_ = std::string(text);
  if (quiet_) return;
  std::string_view label;
  int percent = 0;
  if (terminal_ && SplitPercent(text, label, percent)) {
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(out_, "\r\033[K%.*s [%s%s] %3d%%", static_cast<int>(label.size()), label.data(),
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent);
    std::fflush(out_);
    barOpen_ = true;
    return;
  }
  EndBar();
  std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(out_);
}

}  // namespace pxr::cli
