// X11 and Wayland windows have no system menu a program can extend: the dialog offers its
// About entry in its context menu and on F1 instead.
#include "app9/system_menu.h"

bool AppendSystemMenuCommand(QWidget*, const QString&, int) {
  return false;
}

bool SystemMenuCommandOf(const QByteArray&, void*, int&) {
  return false;
}
