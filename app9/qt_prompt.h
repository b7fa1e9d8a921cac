// Message boxes and the wait cursor with Qt Widgets.
#pragma once

#include <QWidget>

#include "firmware/user_prompt.h"

namespace pxr {

class QtPrompt final : public UserPrompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(std::string_view text, std::string_view caption, Icon icon) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 private:
  QWidget* parent_;
};

}  // namespace pxr
