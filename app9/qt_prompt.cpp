#include "app9/qt_prompt.h"

#include <QApplication>
#include <QMessageBox>

namespace pxr {

namespace {
QString Text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void QtPrompt::ShowMessage(std::string_view text, std::string_view caption, Icon icon) {
  QMessageBox box(icon == Icon::kWarning ? QMessageBox::Warning : QMessageBox::NoIcon,
                  Text(caption), Text(text), QMessageBox::Ok, parent_);
  box.exec();
}

bool QtPrompt::AskYesNo(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::Question, Text(caption), Text(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompt::BeginWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPrompt::EndWaitCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace pxr
