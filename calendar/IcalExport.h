#pragma once

#include "document/BookFile.h"

#include <libical/ical.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The book as iCalendar: each day with text becomes one all-day event.
namespace IcalExport {

// The event's SUMMARY: the heading, else the first plan, else the day's first line of text.
QString Summary(const CYoteiDay& day);
// The event's DESCRIPTION: the heading detail, the rows with text as "time plan detail" lines,
// then the memo after an empty line.
QString Description(const CYoteiDay& day);

// A new VEVENT for the day (which must have a calendar day): UID, DTSTAMP, DTSTART and DTEND
// (or DURATION) as DATE values, SUMMARY and DESCRIPTION. The caller owns it.
icalcomponent* NewEvent(const CYoteiDay& day, const QByteArray& uid, const QDateTime& stamp);

// One all-day event per day that has a calendar day and any text; stamp is every DTSTAMP. A day
// held twice gets the UID of its date with -2, -3 and so on.
QByteArray Calendar(const DayList& days, const QDateTime& stamp);

} // namespace IcalExport
