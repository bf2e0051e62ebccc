#pragma once

#include <QString>

// Where the profile keeps the book read or saved last: the document writes it after a successful
// read or save, and the application reads it at start-up.
inline const QString kRecentFileSection = QStringLiteral("Recent File List");
inline const QString kRecentFileEntry = QStringLiteral("File_dat");
