#pragma once

#include <QDate>
#include <QString>

#include <vector>

// The holidays of Japan by the holidays law as it stood in each year: the national holidays
// with their moves over the years, the equinox days by the astronomical formula, the
// substitute holidays, the citizens' holidays between two holidays and the one-off days of
// their own laws. Names are those of the government's list.
namespace JapaneseHolidays {

struct Holiday {
    QDate date;
    QString name;
};

// The law holds from 20 July 1948; the equinox formula from 1900 to 2150.
constexpr int kFirstYear = 1948;
constexpr int kLastYear = 2150;
// The last year the government's list covers (the equinox days are announced in February of
// the year before); later years are a forecast by the rules now in force.
constexpr int kPublishedThrough = 2027;

// The day of March and of September that the formula gives; 0 outside 1900 to 2150.
int VernalEquinoxDay(int year);
int AutumnalEquinoxDay(int year);

// The holidays of one year, in date order; none outside kFirstYear to kLastYear.
std::vector<Holiday> OfYear(int year);
// The holidays from first to last, both included, in date order.
std::vector<Holiday> Between(const QDate& first, const QDate& last);
// The name of the holiday on that day; an empty string for any other day.
QString NameOf(const QDate& date);

} // namespace JapaneseHolidays
