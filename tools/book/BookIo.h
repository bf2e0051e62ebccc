#pragma once

#include "document/BookFile.h"
#include "document/BookLock.h"
#include "platform/core/FileIdentity.h"

#include <QString>
#include <QStringList>
#include <memory>

class FileSystem;

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
    // The bytes that were read, for the write that follows to compare the file with.
    FileIdentity identity;
};

ReadResult Read(const QString& path);
// The identity of the file at path as it is now (exists false when there is none), for a write
// that replaces a book it did not read.
FileIdentity Identify(const QString& path);

struct WriteResult {
    bool ok = false;
    // On failure, the planner's text.
    QString message;
    // Written, but the user should know: no backup could be kept, or the folder may not have
    // reached the disk.
    QStringList warnings;
};

// Writes days in the order given through the planner's safe write, which replaces path
// atomically and keeps the replaced file as a backup in the planner's data folder. expected is
// the book as the tool read it: a file that holds anything else now was written by someone else
// in the meantime and is left as it is.
WriteResult Write(const QString& path, const DayList& days, const FileIdentity& expected,
                  FileSystem* fs = nullptr);

// The book's lock, held while the tool works on it; null, with the planner's text in message,
// while a running planner has the book open.
std::unique_ptr<BookLock> Hold(const QString& path, QString& message);

} // namespace BookIo
