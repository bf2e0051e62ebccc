#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

class FileSystem;

// Other calendars' entries into a book: each day changed in the book model by the planner's
// commit rule, the book written through the planner's save.
namespace BookImport {

struct Request {
    QString format;   // "ics" or "csv"
    QString inName;   // the input's name, for messages
    QByteArray input; // the input's bytes
    QString book;     // the book to add to; created when missing
    QDate from;       // the range; an invalid date leaves that end open
    QDate to;
    bool dryRun = false;
    // The file-system calls of the write; null for the operating system's (tests fail them).
    FileSystem* fileSystem = nullptr;
    // iCalendar: fail at the first line that is not whole and valid, rather than leave it out
    // with a warning.
    bool strict = false;
};

struct Outcome {
    bool ok = false;
    QString out;        // what was (or, on a dry run, would be) added, one line each
    QStringList errors; // failures, conflicts and warnings, for stderr
};

Outcome Run(const Request& request);

} // namespace BookImport
