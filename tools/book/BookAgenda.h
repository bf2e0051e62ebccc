#pragma once

#include "document/BookFile.h"

#include <QDate>
#include <QString>
#include <vector>

// Reading the book as a person does: the days of a date range, and the days a text occurs in.
namespace BookAgenda {

// For each date from..to that has text, the day the planner shows for it (the first record of
// that calendar day at 00:00), in date order.
std::vector<const CYoteiDay*> DaysInRange(const DayList& days, const QDate& from, const QDate& to);
// Each day: its long Japanese date, then the heading, the rows with text and the memo, indented.
QString Text(const std::vector<const CYoteiDay*>& days);

// Copies of days, to print them in the dump form.
DayList Copies(const std::vector<const CYoteiDay*>& days);

struct Match {
    const CYoteiDay* day;
    QStringList lines; // the lines of the day that hold the pattern, as Text shows them
};
// Every record, in file order, in which pattern occurs, ignoring case and the difference between
// full-width and half-width forms.
std::vector<Match> Find(const DayList& days, const QString& pattern);
// "YYYY-MM-DD: line" for each line that holds the pattern.
QString FindText(const std::vector<Match>& matches);

} // namespace BookAgenda
