#pragma once

#include "document/BookFile.h"

#include <QString>

// Reading and writing book files as the planner does, with the planner's own failure texts.
// No profile is given to the document, so nothing is remembered as the file read last.
namespace BookIo {

struct ReadResult {
    bool ok = false;
    // Every day on success; on damage, the whole days read before it.
    DayList days;
    // On failure, the text the planner shows for this file.
    QString message;
    // The record count as stored (0 for an empty file or one too short to hold it).
    quint32 storedCount = 0;
    // Bytes after the last record that nothing reads.
    qint64 trailingBytes = 0;
};

ReadResult Read(const QString& path);

// Writes days in the order given through the planner's save, which replaces path atomically
// and keeps the replaced file as a backup in the planner's data folder.
// On failure returns false with the planner's text in message.
bool Write(const QString& path, DayList days, QString& message);

} // namespace BookIo
