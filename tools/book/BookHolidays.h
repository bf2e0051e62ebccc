#pragma once

#include <QByteArray>
#include <QString>

// The holidays of Japan as the book tool prints them.
namespace BookHolidays {

// Reads a --from or --to year: four digits within the years the holidays are known for; an
// empty string when all is well, else what is wrong.
QString ParseYear(const QString& option, const QString& text, int& year);
// "YYYY-MM-DD<TAB>name" for every holiday of the years from..to, one a line, in UTF-8.
QByteArray Text(int fromYear, int toYear);

} // namespace BookHolidays
