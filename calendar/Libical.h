#pragma once

#include <libical/ical.h>

#include <QString>
#include <memory>

// What every use of libical here shares: components that free themselves, and errors that
// never end the program.
namespace Libical {

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// libical aborts on some errors unless told otherwise; a bad file must never end the program.
// Called before any other use.
void Quiet();

// A libical string (UTF-8, possibly null) as text.
QString Text(const char* utf8);

// Which occurrence of a repeating event a start (its zone resolved) names, the same however it
// is written: a date as yyyyMMdd, a time with a zone as its UTC instant yyyyMMddTHHmmssZ, a
// floating time as yyyyMMddTHHmmss. A RECURRENCE-ID and the series' start it replaces agree.
QString OccurrenceKey(icaltimetype t);

// The zone a TZID names in a calendar, shared by every calendar that carries the same
// VTIMEZONE: libical works out a zone's changes over the years on its first use, which costs
// far more than reading an event, and a sync reads thousands of items that each carry the same
// zone. Null when the calendar has no VTIMEZONE of that TZID.
icaltimezone* SharedZone(icalcomponent* calendar, const char* tzid);

} // namespace Libical
