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
    // On damage, what was wrong and where: "record 3, row 2 plan, byte 345: ...".
    QString damage;
    // Bytes after the last record that nothing reads.
    qint64 trailingBytes = 0;
};

ReadResult Read(const QString& path);

// Writes days in the order given through the planner's save, which replaces path atomically
// and keeps the replaced file as a backup in the planner's data folder.
// On failure returns false with the planner's text in message.
bool Write(const QString& path, DayList days, QString& message);

} // namespace BookIo
