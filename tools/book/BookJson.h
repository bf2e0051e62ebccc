#pragma once

#include "document/BookFile.h"

#include <QByteArray>
#include <QString>

// The book as JSON: {"days":[{"status","date","day","heading","headingDetail","rows","memo"}]}.
namespace BookJson {

// Compact JSON on one line followed by a newline, days in file order, always ten rows.
QByteArray Write(const DayList& days);

// A failure to read JSON, with the 1-based line and column (in characters) where it was found.
struct ParseError {
    int line = 0;
    int column = 0;
    QString message;
};

// Reads what Write writes, with the defaults the help text names. On failure returns false,
// fills error and leaves days as it was.
bool Read(const QByteArray& json, DayList& days, ParseError& error);

} // namespace BookJson
