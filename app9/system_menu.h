// The window's system menu, where the window system lets a program extend it (Windows).
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Appends a separator and a command to the window's system menu. false where there is none.
bool AppendSystemMenuCommand(QWidget* window, const QString& text, int id);
// The command identifier of a system-menu message, from a native event.
bool SystemMenuCommandOf(const QByteArray& eventType, void* message, int& id);
