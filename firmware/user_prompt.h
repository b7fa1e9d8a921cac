// How a program talks to its user beyond the status line: message boxes and the wait cursor.
// The dialogs implement it with the toolkit; tests script the answers.
#pragma once

#include <string_view>

namespace pxr {

class UserPrompt {
 public:
  enum class Icon { kNone, kWarning };
  virtual ~UserPrompt() = default;
  // A message box with an OK button.
  virtual void ShowMessage(std::string_view text, std::string_view caption, Icon icon) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(std::string_view text, std::string_view caption) = 0;
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
};

}  // namespace pxr
