// A status line that remembers every text it was given.
#pragma once

#include <string>
#include <vector>

#include "firmware/progress.h"

namespace pxr::test {

class RecordingStatus final : public StatusLine {
 public:
  void SetStatusText(std::string_view text) override { texts.emplace_back(text); }
  std::string Last() const { return texts.empty() ? std::string() : texts.back(); }
  bool Saw(const std::string& text) const {
    for (const auto& t : texts) {
      if (t == text) return true;
    }
    return false;
  }
  std::vector<std::string> texts;
};

}  // namespace pxr::test
