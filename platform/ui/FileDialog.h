#pragma once

#include <QString>

class QWidget;

// The file-open dialog for an existing file, with the program's filters: a full path, or an
// empty string when the user cancels.
QString GetOpenFilePath(QWidget* parent, const QString& title, const QString& filters);
