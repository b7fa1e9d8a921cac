// The status line procedures write their steps into, and the whole-percent progress display.
#pragma once

#include <cstdint>
#include <string_view>

namespace pxr {

// Implemented by the dialogs, the command-line tools and the tests.
class StatusLine {
 public:
  virtual ~StatusLine() = default;
  virtual void SetStatusText(std::string_view text) = 0;
};

// The last percentage shown; shared by every progress display of a program and never reset.
struct ProgressState {
  uint16_t lastPercent = 0;
};

// Shows done * 100 / total through format (one %u) when the whole percentage changed.
void ShowProgress(ProgressState& state, const char* format, StatusLine& status, uint32_t total,
                  uint32_t done);

}  // namespace pxr
