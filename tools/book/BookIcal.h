#pragma once

#include "calendar/IcalExport.h"

// The export command's iCalendar; the calendar layer writes it, as it reads other calendars for
// the import.
namespace BookIcal {

inline QByteArray Export(const DayList& days, const QDateTime& stamp) {
    return IcalExport::Calendar(days, stamp);
}

} // namespace BookIcal
