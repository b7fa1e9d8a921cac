// Status line of the command-line tools: one line per status text; on a terminal the
// percentage texts ("... ( 42% )") become one progress bar that redraws in place.
#pragma once

#include <cstdio>
#include <string>

#include "firmware/progress.h"

namespace pxr::cli {

class ConsoleStatus final : public StatusLine {
 public:
  ConsoleStatus(std::FILE* out, bool terminal, bool quiet)
      : out_(out), terminal_(terminal), quiet_(quiet) {}
  ~ConsoleStatus() override { EndBar(); }
  void SetStatusText(std::string_view text) override;
  // Ends an open progress bar line before other output.
  void EndBar();
  const std::string& Last() const { return last_; }

 private:
  std::FILE* out_;
  bool terminal_;
  bool quiet_;
  bool barOpen_ = false;
  std::string last_;
};

}  // namespace pxr::cli
