#pragma once

#include "document/BookFile.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// iCalendar through libical: the book as a calendar, and other calendars' events as rows.
namespace BookIcal {

// One all-day event per day that has a calendar day and any text; stamp is every DTSTAMP.
QByteArray Export(const DayList& days, const QDateTime& stamp);

// One occurrence on one local calendar day, as it goes into a row.
struct Entry {
    QDate date;
    int minutes = -1; // its start on that day in minutes; -1 for an all-day event
    QString time;     // HH:MM, empty for an all-day event
    QString plan;
    QString detail;
};

struct ReadResult {
    bool ok = false;
    // The occurrences' days within the range, by date, then start, then file order.
    std::vector<Entry> entries;
    // On failure, the 1-based line where the input went wrong and what was wrong.
    int line = 0;
    QString problem;
    // Things imported as well as they could be, each "LINE: what".
    QStringList warnings;
};

// Reads a calendar and expands its events into the local days from..to (both included).
ReadResult Read(const QByteArray& ics, const QDate& from, const QDate& to);

} // namespace BookIcal
