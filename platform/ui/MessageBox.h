#pragma once

#include <QString>

class QWidget;

enum class MessageButtons { Ok, YesNoCancel };

// The one way a text reaches the user in a box: the exclamation icon and the program's name as
// the caption. Returns IDOK, IDYES, IDNO or IDCANCEL.
int AfxMessageBox(const QString& text, MessageButtons buttons = MessageButtons::Ok,
                  QWidget* parent = nullptr);
