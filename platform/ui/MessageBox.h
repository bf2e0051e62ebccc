#pragma once

#include <QString>

class QWidget;

// YesNo has No as its default: it guards an overwrite. YesNoDefaultYes offers to restore.
enum class MessageButtons { Ok, YesNoCancel, YesNo, YesNoDefaultYes };

// The one way a text reaches the user in a box: the exclamation icon and the program's name as
// the caption. Returns IDOK, IDYES, IDNO or IDCANCEL.
int AfxMessageBox(const QString& text, MessageButtons buttons = MessageButtons::Ok,
                  QWidget* parent = nullptr);

// Tells the user something while they may be typing: the same box, but shown beside the window
// without taking the keyboard focus, so that the keys meant for the memo still reach it. It
// closes with its OK button; nothing waits for it.
QWidget* AfxNotify(const QString& text, QWidget* parent = nullptr);
