#pragma once

#include "document/BookFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The book for other calendar and table programs. Only days with a calendar day are exported.
namespace BookExport {

// iCalendar: one all-day event per day that holds any text; stamp is the DTSTAMP of every event.
QByteArray Ics(const DayList& days, const QDateTime& stamp);
// A TEXT value with backslash, semicolon, comma and line breaks escaped and controls dropped.
QByteArray IcsText(const QString& text);
// One content line folded at 75 octets, never inside a UTF-8 sequence, ending in CRLF.
QByteArray FoldLine(const QByteArray& line);

// CSV with the header date,row,time,plan,detail: the heading as row "heading", the timed rows as
// 1 to 10 and the memo as row "memo"; rows without text are left out.
QByteArray Csv(const DayList& days);
// One field, quoted when it holds a quote, a comma or a line break.
QByteArray CsvField(const QString& text);

} // namespace BookExport
