#pragma once

#include "calendar/DayEvents.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <map>
#include <optional>
#include <set>
#include <vector>

// One calendar item's iCalendar text (a CalDAV resource), through libical: what it means for
// the book, a new one made from a book entry, and the server's text patched with a book edit.
namespace EventText {

enum class Use {
    placed,   // goes into the book, and the book's edits go back
    followed, // goes into the book, but the book's edits are not sent
    listed,   // an event export wrote: only named, never placed
    ignored,  // no event at all (tasks, journals)
};

struct Event {
    Use use = Use::ignored;
    QString uid;
    QString followedBecause; // for followed items: why the book's edits are not sent
    // The event's own part of a day (our kind), and the row it came from.
    DayEvents::Slot preferred = DayEvents::Slot::row;
    int rowHint = -1;
    // Its entries depend on the window (the occurrences of a repeating event).
    bool repeating = false;
    QString summary; // for listings
    QDate date;      // its first day, for listings
    // Its days within the window, in date order; slot is the preferred one. An event without
    // any text (no summary, description or location) has none.
    std::vector<DayEvents::Entry> entries;
    QString problem; // set when the text is no iCalendar that can be read

    // Of a repeating event: the occurrences whose edits are not sent, and why (one over several
    // days, one an override of it and the later ones shows), and those the series leaves out
    // (an EXDATE, a cancelled override), by Entry::occurrence.
    std::map<QString, QString> fixed;
    std::set<QString> removed;
};

// What the text means for the days from..to, with times shown in zone. user (the account's
// name) tells the user's own events from invitations organised by someone else. Repeating events
// and events over several days are read as import reads them, in the system's time zone: zone
// is the system's, but for tests of single events.
Event Read(const QByteArray& text, const QDate& from, const QDate& to, const QTimeZone& zone,
           const QString& user);

// A new calendar item for a book entry: a row with a clock time is a timed event of an hour in
// zone (with its VTIMEZONE), ending at midnight at the latest; any other row, the heading and
// the memo are all-day events.
QByteArray New(const QString& uid, const DayEvents::Entry& entry, const QTimeZone& zone,
               const QDateTime& now);

// The server's text with what the book changed from before to after: the summary, the
// description (and the location, when the event has one: 詳細's first line), and the start with
// the end moved along when the time changed, in the start's own zone. Everything else stays as
// the server has it. Empty, with problem set, when the text cannot be patched.
QByteArray Patch(const QByteArray& base, const DayEvents::Fields& before,
                 const DayEvents::Entry& after, const QTimeZone& zone, const QDateTime& now,
                 QString& problem);

// The book's change of one occurrence of a repeating event.
struct OccurrenceChange {
    QString occurrence;                    // Entry::occurrence
    DayEvents::Fields before;              // as both sides last agreed
    std::optional<DayEvents::Entry> after; // the book's version; none when the row was cleared
};

// The server's text of a repeating event with the book's changes of its occurrences: an edited
// occurrence becomes (or changes) its override, a VEVENT with RECURRENCE-ID beside the series,
// patched as Patch patches an event; a cleared one loses its override and gets an EXDATE in the
// series, written as the series' DTSTART is (a date, or a time with its TZID). The series' rule
// is never rewritten, and an override never holds a rule or an EXDATE. Empty, with problem
// set, when the text cannot be patched.
QByteArray PatchOccurrences(const QByteArray& base, const std::vector<OccurrenceChange>& changes,
                            const QTimeZone& zone, const QDateTime& now, QString& problem);

} // namespace EventText
