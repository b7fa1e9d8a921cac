#include "firmware/progress.h"

#include <cstdio>

namespace pxr {

void ShowProgress(ProgressState& state, const char* format, StatusLine& status, uint32_t total,
                  uint32_t done) {
  if (total == 0) return;
  const auto percent = static_cast<uint16_t>(done * 100u / total);
  if (percent == state.lastPercent) return;
  char text[80];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(percent));
#pragma GCC diagnostic pop
  status.SetStatusText(text);
  state.lastPercent = percent;
}

}  // namespace pxr
