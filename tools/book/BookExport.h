#pragma once

#include "document/BookFile.h"

#include <QByteArray>
#include <QString>

// The book for table programs (iCalendar is BookIcal). Only days with a calendar day are exported.
namespace BookExport {

// CSV with the header date,row,time,plan,detail: the heading as row "heading", the timed rows as
// 1 to 10 and the memo as row "memo"; rows without text are left out.
QByteArray Csv(const DayList& days);
// One field, quoted when it holds a quote, a comma or a line break.
QByteArray CsvField(const QString& text);

} // namespace BookExport
