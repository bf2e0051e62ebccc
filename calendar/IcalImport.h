#pragma once

#include "calendar/Occurrence.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

// Other calendars' events, read with libical and expanded into the local days they cover.
namespace IcalImport {

struct ReadResult {
    bool ok = false;
    // The occurrences' days within the range, by date, then start, then file order.
    std::vector<Occurrence> occurrences;
    // On failure, the 1-based line where the input went wrong and what was wrong.
    int line = 0;
    QString problem;
    // What was left out or taken as well as it could be, each "LINE: warning: what", by line.
    QStringList warnings;
};

// Reads a calendar and expands its events into the local days from..to (both included), in the
// system's time zone.
//
// The reading forgives what real calendars hold: a line that cannot be read (a value libical
// cannot parse, a date that is no calendar date in a property the expansion uses, text that is
// not UTF-8) is left out with a warning, an event without a start is left out with a warning,
// a missing or stray END is mended with a warning. Properties and parameters that are not
// known, X- ones included, are ignored as RFC 5545 lets a reader ignore them. Only input that
// is no calendar at all (its first line is not BEGIN:VCALENDAR) fails.
//
// Strict reading fails instead at the first line that is not whole and valid iCalendar, and at
// the first event without DTSTART.
ReadResult Read(const QByteArray& ics, const QDate& from, const QDate& to, bool strict = false);

} // namespace IcalImport
