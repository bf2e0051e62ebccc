#pragma once

#include "document/BookModel.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>

#include <vector>

class QPaintDevice;

// The days of a range as the printed sheets show them, and what they share: a day's lines, the
// colour of its date, its weekday.
namespace SheetDays {

// For each calendar day from first to last, in order, the record the sheets show (the first of
// that day in the book's order; a record with a time of day counts for its day, as on the month
// sheet), or null. Found through the book's date index, not a walk over the book.
std::vector<const CYoteiDay*> Between(const CBookModel& book, const QDate& first,
                                      const QDate& last);

// One line of a day in a week's cell: a row's time, plan and detail, or a line of the memo.
struct Line {
    QString time;
    QString text;
    QString detail;
    bool memo = false;
};
// The rows that hold a plan or a detail (a time alone is a label of the timetable), then the
// memo's lines that hold text; each on one line.
std::vector<Line> Lines(const CYoteiDay& day);

// A text on one line: its line breaks become spaces.
QString OneLine(const QString& text);
// A text's lines, split at each line break however it is written.
QStringList Paragraphs(const QString& text);

// The date's colour: Sundays and holidays red, Saturdays blue, the ink otherwise.
QColor DateColour(const QDate& date, bool holiday);
// The weekday's letter, 日 to 土.
QString Weekday(const QDate& date);

// The font at factor times its size; bold when asked.
QFont Scaled(const QFont& font, double factor, bool bold = false);
// The font's measures on the device (the screen's when there is none).
QFontMetricsF Metrics(const QFont& font, const QPaintDevice* device);

// The ink of the printed sheets, their muted text and their rules.
QColor Ink();
QColor Muted();
QColor Rule();
QColor FaintRule();

} // namespace SheetDays
