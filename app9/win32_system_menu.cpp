// The window's system menu on Windows: GetSystemMenu/AppendMenu, and WM_SYSCOMMAND.
#include <windows.h>

#include <QWidget>

#include "app9/system_menu.h"

bool AppendSystemMenuCommand(QWidget* window, const QString& text, int id) {
  HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
  if (menu == nullptr || text.isEmpty()) return false;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id),
              reinterpret_cast<const wchar_t*>(text.utf16()));
  return true;
}

bool SystemMenuCommandOf(const QByteArray& eventType, void* message, int& id) {
  if (eventType != "windows_generic_MSG") return false;
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg->message != WM_SYSCOMMAND) return false;
  id = static_cast<int>(msg->wParam);
  return true;
}
