#include "calendar/EventText.h"

#include "calendar/IcalImport.h"
#include "calendar/Libical.h"
#include "calendar/SyncProperties.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace EventText {

using DayEvents::Entry;
using DayEvents::Fields;
using DayEvents::Slot;
using SyncProperties::ClockMinutes;
using SyncProperties::ToEventText;

namespace {

using Libical::Component;

QString Utf8(const char* text) {
    return Libical::Text(text);
}

// A TEXT value: LF line breaks and no other controls, which a value may not hold.
QByteArray ValueText(const QString& text) {
    QString clean;
    const QString lf = ToEventText(text);
    clean.reserve(lf.size());
    for (const QChar c : lf) {
        if (c == u'\n' || c == u'\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7F))
            clean += c;
    }
    return clean.toUtf8();
}

// A component's properties of one kind, taken out first: libical's getters restart the
// component's one property cursor.
std::vector<icalproperty*> Properties(icalcomponent* c, icalproperty_kind kind) {
    std::vector<icalproperty*> found;
    for (icalproperty* p = icalcomponent_get_first_property(c, kind); p;
         p = icalcomponent_get_next_property(c, kind))
        found.push_back(p);
    return found;
}

std::vector<icalcomponent*> Components(icalcomponent* c, icalcomponent_kind kind) {
    std::vector<icalcomponent*> found;
    for (icalcomponent* e = icalcomponent_get_first_component(c, kind); e;
         e = icalcomponent_get_next_component(c, kind))
        found.push_back(e);
    return found;
}

icalproperty* XProperty(icalcomponent* event, const char* name) {
    for (icalproperty* p : Properties(event, ICAL_X_PROPERTY)) {
        if (qstrcmp(icalproperty_get_x_name(p), name) == 0)
            return p;
    }
    return nullptr;
}

std::optional<QString> XValue(icalcomponent* event, const char* name) {
    if (icalproperty* p = XProperty(event, name))
        return Utf8(icalproperty_get_x(p));
    return std::nullopt;
}

void RemoveAll(icalcomponent* event, icalproperty_kind kind) {
    for (icalproperty* p : Properties(event, kind)) {
        icalcomponent_remove_property(event, p);
        icalproperty_free(p);
    }
}

void SetX(icalcomponent* event, const char* name, const QString& value) {
    if (icalproperty* old = XProperty(event, name)) {
        icalcomponent_remove_property(event, old);
        icalproperty_free(old);
    }
    if (value.isEmpty())
        return;
    icalproperty* p = icalproperty_new_x(ValueText(value).constData());
    icalproperty_set_x_name(p, name);
    icalcomponent_add_property(event, p);
}

void SetText(icalcomponent* event, icalproperty_kind kind, const QString& value) {
    RemoveAll(event, kind);
    if (value.isEmpty())
        return;
    const QByteArray text = ValueText(value);
    icalproperty* p = nullptr;
    switch (kind) {
    case ICAL_SUMMARY_PROPERTY:
        p = icalproperty_new_summary(text.constData());
        break;
    case ICAL_DESCRIPTION_PROPERTY:
        p = icalproperty_new_description(text.constData());
        break;
    case ICAL_LOCATION_PROPERTY:
        p = icalproperty_new_location(text.constData());
        break;
    default:
        return;
    }
    icalcomponent_add_property(event, p);
}

void AddLine(icalcomponent* event, const QByteArray& line) {
    if (icalproperty* p = icalproperty_new_from_string(line.constData()))
        icalcomponent_add_property(event, p);
}

QByteArray DateText(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

QByteArray WallText(const QDateTime& wall) {
    return wall.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

QByteArray UtcText(const QDateTime& instant) {
    return instant.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray Serialized(icalcomponent* root) {
    char* text = icalcomponent_as_ical_string_r(root);
    QByteArray out(text);
    icalmemory_free_buffer(text);
    // libical 3.0 folds a line whose content ends two octets short of the limit between the CR
    // and the LF of its line end, leaving a stray CR and a bare LF; put the line end back.
    out.replace("\r\r\n \n", "\r\n");
    return out;
}

// The zone's Olson name when libical knows it, so that a timed event carries a VTIMEZONE.
QByteArray ZoneId(const QTimeZone& zone) {
    if (!zone.isValid())
        return QByteArray();
    const QByteArray id = zone.id();
    if (id.isEmpty() || id == "UTC" || !icaltimezone_get_builtin_timezone(id.constData()))
        return QByteArray();
    return id;
}

// The VTIMEZONE of a zone under its Olson name, from 1970 on (libical's own carries every
// change since the zone began).
icalcomponent* VTimezone(const QByteArray& id) {
    icaltimezone* builtin = icaltimezone_get_builtin_timezone(id.constData());
    if (!builtin)
        return nullptr;
    icalcomponent* source = icaltimezone_get_component(builtin);
    if (!source)
        return nullptr;
    icalcomponent* vtz = icalcomponent_new_clone(source);
    RemoveAll(vtz, ICAL_TZID_PROPERTY);
    icalcomponent_add_property(vtz, icalproperty_new_tzid(id.constData()));
    icaltimetype start = icaltime_null_time();
    start.year = 1970;
    start.month = 1;
    start.day = 1;
    start.zone = icaltimezone_get_utc_timezone();
    icaltimezone_truncate_vtimezone(vtz, start, icaltime_null_time(), 0);
    return vtz;
}

void EnsureVTimezone(icalcomponent* cal, const QByteArray& id) {
    for (icalcomponent* vtz : Components(cal, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* tzid = icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY);
        if (tzid && QByteArray(icalproperty_get_tzid(tzid)) == id)
            return;
    }
    if (icalcomponent* vtz = VTimezone(id))
        icalcomponent_add_component(cal, vtz);
}

// ---- Times ----

// A DTSTART, DTEND or RECURRENCE-ID with its zone: the text's own VTIMEZONE, else the system's
// zone data, else floating.
struct Time {
    icaltimetype t = icaltime_null_time();
    QByteArray tzid; // as written, empty for UTC, floating and dates
};

Time TimeOf(icalcomponent* cal, icalproperty* p, icaltimetype t) {
    Time result;
    result.t = t;
    if (t.is_date || icaltime_is_utc(t))
        return result;
    result.t.zone = nullptr;
    icalparameter* param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    const char* tzid = param ? icalparameter_get_tzid(param) : nullptr;
    if (!tzid || !*tzid)
        return result;
    result.tzid = tzid;
    icaltimezone* zone = Libical::SharedZone(cal, tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone(tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
    result.t.zone = zone;
    return result;
}

bool HasZone(const icaltimetype& t) {
    return t.zone && !t.is_date;
}

// The instant of a date-time; a floating time is a wall time in the zone we show.
QDateTime Instant(const icaltimetype& t, const QTimeZone& zone) {
    if (HasZone(t) || icaltime_is_utc(t))
        return QDateTime::fromSecsSinceEpoch(
            qint64(icaltime_as_timet_with_zone(
                t, icaltime_is_utc(t) ? icaltimezone_get_utc_timezone() : t.zone)),
            zone);
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), zone);
}

// The same instant written as the property was: in its own TZID, in UTC, or floating.
QByteArray TimeValue(const Time& like, const QDateTime& instant, const QTimeZone& zone) {
    if (icaltime_is_utc(like.t))
        return ":" + UtcText(instant);
    if (HasZone(like.t)) {
        const icaltimetype wall = icaltime_from_timet_with_zone(
            time_t(instant.toSecsSinceEpoch()), 0, const_cast<icaltimezone*>(like.t.zone));
        const QDateTime w(QDate(wall.year, wall.month, wall.day),
                          QTime(wall.hour, wall.minute, wall.second), Qt::UTC);
        return ";TZID=" + like.tzid + ":" + WallText(w);
    }
    // Floating, or a zone nobody knows, which was read as the wall time we show.
    const QDateTime local = instant.toTimeZone(zone);
    const QByteArray wall = WallText(QDateTime(local.date(), local.time(), Qt::UTC));
    return like.tzid.isEmpty() ? ":" + wall : ";TZID=" + like.tzid + ":" + wall;
}

QString Detail(icalcomponent* event) {
    const QString location = ToEventText(Utf8(icalcomponent_get_location(event)));
    const QString description = ToEventText(Utf8(icalcomponent_get_description(event)));
    if (location.isEmpty())
        return description;
    if (description.isEmpty())
        return location;
    return location + u'\n' + description;
}

Slot KindSlot(const std::optional<QString>& kind) {
    if (kind == QLatin1String(SyncProperties::kHeadingKind))
        return Slot::heading;
    if (kind == QLatin1String(SyncProperties::kMemoKind))
        return Slot::memo;
    return Slot::row;
}

// The mailto address of a calendar user, lower case, without "mailto:".
QString Address(const char* value) {
    QString address = Utf8(value).trimmed().toLower();
    if (address.startsWith(QLatin1String("mailto:")))
        address = address.mid(7);
    return address;
}

bool IsUsersOwn(const QString& organizer, const QString& user) {
    if (user.isEmpty())
        return false;
    const QString name = user.toLower();
    return organizer == name || organizer.section(u'@', 0, 0) == name.section(u'@', 0, 0);
}

// A single-day event as a row, a heading or a memo.
Fields FieldsOf(icalcomponent* event, Slot kind, bool timed, const QDateTime& localStart) {
    const QString summary = ToEventText(Utf8(icalcomponent_get_summary(event)));
    if (kind == Slot::memo) {
        const QString description = ToEventText(Utf8(icalcomponent_get_description(event)));
        return {QString(), description.isEmpty() ? summary : description, QString()};
    }
    if (kind == Slot::heading)
        return {QString(), summary, Detail(event)};
    Fields f;
    f.detail = Detail(event);
    const std::optional<QString> xtime = XValue(event, SyncProperties::kTime);
    if (timed) {
        const int minutes = localStart.time().hour() * 60 + localStart.time().minute();
        f.time = xtime && ClockMinutes(*xtime) == minutes
                     ? *xtime
                     : localStart.time().toString(QStringLiteral("HH:mm"));
        f.plan = summary;
    } else if (xtime && !xtime->isEmpty() && !ClockMinutes(*xtime)) {
        // A label stays the row's, whatever became of the summary's copy of it.
        f.time = *xtime;
        if (summary.startsWith(*xtime + u' '))
            f.plan = summary.mid(xtime->size() + 1);
        else if (summary == *xtime)
            f.plan.clear();
        else
            f.plan = summary;
    } else {
        f.plan = summary;
    }
    return f;
}

// The days of an event that covers more than one, as import reads and places them: every
// occurrence of a repeating event (its exceptions and moved occurrences too), every day of a long
// one, in the system's time zone. A day without text has nothing to show.
std::vector<Entry> Occurrences(const QByteArray& text, const QDate& from, const QDate& to) {
    std::vector<Entry> entries;
    for (const Occurrence& o : IcalImport::Read(text, from, to).occurrences) {
        Entry e;
        e.date = o.date;
        e.slot = Slot::row;
        e.fields = {ToEventText(o.time), ToEventText(o.plan), ToEventText(o.detail)};
        if (!e.fields.plan.isEmpty() || !e.fields.detail.isEmpty())
            entries.push_back(e);
    }
    return entries;
}

// The RECURRENCE-ID of an override as its occurrence key.
QString OverrideKey(icalcomponent* cal, icalcomponent* event) {
    icalproperty* rid = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
    return rid ? Libical::OccurrenceKey(TimeOf(cal, rid, icalproperty_get_recurrenceid(rid)).t)
               : QString();
}

// A repeating event's occurrences in the window, each with its own texts read as a single
// event's are (our own time label included), and what the series leaves out.
std::vector<Entry> SeriesEntries(icalcomponent* cal, icalcomponent* master,
                                 const std::vector<icalcomponent*>& events, const QByteArray& text,
                                 const QDate& from, const QDate& to, Event& ev) {
    std::map<QString, icalcomponent*> overrides;
    for (icalcomponent* e : events) {
        const QString key = OverrideKey(cal, e);
        if (key.isEmpty())
            continue;
        overrides[key] = e;
        if (icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED)
            ev.removed.insert(key);
    }
    if (master && !icalcomponent_get_first_property(master, ICAL_RECURRENCEID_PROPERTY)) {
        for (icalproperty* p : Properties(master, ICAL_EXDATE_PROPERTY))
            ev.removed.insert(Libical::OccurrenceKey(TimeOf(cal, p, icalproperty_get_exdate(p)).t));
    } else {
        master = nullptr;
    }
    std::vector<Entry> entries;
    for (const Occurrence& o : IcalImport::Read(text, from, to).occurrences) {
        Entry e;
        e.date = o.date;
        e.slot = Slot::row;
        e.occurrence = o.recurrence;
        icalcomponent* source = master;
        if (!o.shownBy.isEmpty()) {
            const auto found = overrides.find(o.shownBy);
            source = found != overrides.end() ? found->second : nullptr;
        }
        QString why;
        if (o.severalDays)
            why = QStringLiteral("an occurrence over several days");
        else if (o.thisAndFuture)
            why = QStringLiteral("an occurrence changed on the calendar with all later ones");
        else if (!source || (!o.shownBy.isEmpty() && o.shownBy != o.recurrence))
            why = QStringLiteral("an occurrence its series does not name");
        if (why.isEmpty()) {
            const bool timed = o.minutes >= 0;
            const QDateTime wall(
                o.date, QTime(std::max(o.minutes, 0) / 60, std::max(o.minutes, 0) % 60), Qt::UTC);
            e.fields = FieldsOf(source, Slot::row, timed, wall);
        } else {
            e.fields = {ToEventText(o.time), ToEventText(o.plan), ToEventText(o.detail)};
            ev.fixed[o.recurrence] = why;
        }
        if (!e.fields.plan.isEmpty() || !e.fields.detail.isEmpty())
            entries.push_back(e);
    }
    return entries;
}

} // namespace

Event Read(const QByteArray& text, const QDate& from, const QDate& to, const QTimeZone& zone,
           const QString& user) {
    Libical::Quiet();
    Event ev;
    Component root(icalparser_parse_string(text.constData()));
    if (!root) {
        ev.problem = QStringLiteral("not iCalendar");
        return ev;
    }
    icalcomponent* cal = root.get();
    if (icalcomponent_isa(cal) != ICAL_VCALENDAR_COMPONENT)
        cal = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
    if (!cal) {
        ev.problem = QStringLiteral("no VCALENDAR");
        return ev;
    }
    const std::vector<icalcomponent*> events = Components(cal, ICAL_VEVENT_COMPONENT);
    if (events.empty())
        return ev; // tasks and journals are none of the book's business
    icalcomponent* master = events.front();
    bool overrides = false;
    for (icalcomponent* e : events) {
        if (icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY))
            overrides = true;
        else
            master = e;
    }
    ev.uid = Utf8(icalcomponent_get_uid(master));
    ev.summary = ToEventText(Utf8(icalcomponent_get_summary(master)));
    const std::optional<QString> kind = XValue(master, SyncProperties::kKind);
    ev.preferred = KindSlot(kind);
    if (const std::optional<QString> row = XValue(master, SyncProperties::kRow)) {
        bool number = false;
        const int r = row->toInt(&number) - 1;
        if (number && r >= 0 && r < CYoteiDay::kRows)
            ev.rowHint = r;
    }

    icalproperty* dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
    if (!dtstart) {
        ev.problem = QStringLiteral("an event without DTSTART");
        return ev;
    }
    const Time start = TimeOf(cal, dtstart, icalproperty_get_dtstart(dtstart));
    const bool timed = !start.t.is_date;
    const QDateTime localStart = timed ? Instant(start.t, zone) : QDateTime();
    const QDate firstDay =
        timed ? localStart.date() : QDate(start.t.year, start.t.month, start.t.day);
    ev.date = firstDay;

    if (SyncProperties::IsExportUid(ev.uid)) {
        ev.use = Use::listed;
        return ev;
    }
    ev.use = Use::placed;
    if (icalproperty* organizer =
            icalcomponent_get_first_property(master, ICAL_ORGANIZER_PROPERTY)) {
        const QString address = Address(icalproperty_get_organizer(organizer));
        if (!IsUsersOwn(address, user)) {
            ev.use = Use::followed;
            ev.followedBecause = QStringLiteral("an invitation from %1").arg(address);
        }
    }
    ev.repeating = overrides || icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY) ||
                   icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY);
    if (ev.repeating) {
        // Each occurrence is written back as an override or an EXDATE of its series; without
        // the series there is nothing to write them into.
        if (icalcomponent_get_first_property(master, ICAL_RECURRENCEID_PROPERTY)) {
            ev.use = Use::followed;
            ev.followedBecause = QStringLiteral("occurrences without their series");
        }
        ev.entries = SeriesEntries(cal, master, events, text, from, to, ev);
        return ev;
    }
    if (icalcomponent_get_status(master) == ICAL_STATUS_CANCELLED)
        return ev;

    // Its last day: DTEND is exclusive, and an event ending at midnight does not cover the day
    // that begins then.
    QDate lastDay = firstDay;
    if (icalproperty* dtend = icalcomponent_get_first_property(master, ICAL_DTEND_PROPERTY)) {
        const Time end = TimeOf(cal, dtend, icalproperty_get_dtend(dtend));
        if (!timed) {
            lastDay = QDate(end.t.year, end.t.month, end.t.day).addDays(-1);
        } else {
            const QDateTime localEnd = Instant(end.t, zone);
            lastDay = localEnd.date();
            if (localEnd > localStart && localEnd.time() == QTime(0, 0))
                lastDay = lastDay.addDays(-1);
        }
    } else if (icalproperty* duration =
                   icalcomponent_get_first_property(master, ICAL_DURATION_PROPERTY)) {
        const qint64 seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
        if (!timed) {
            lastDay = firstDay.addDays(std::max<qint64>((seconds + 86399) / 86400, 1) - 1);
        } else {
            const QDateTime localEnd = localStart.addSecs(seconds);
            lastDay = localEnd.date();
            if (seconds > 0 && localEnd.time() == QTime(0, 0))
                lastDay = lastDay.addDays(-1);
        }
    }
    lastDay = std::max(lastDay, firstDay);

    if (lastDay > firstDay) {
        // Several days: each day it covers gets it, as import places it, and the book's edits
        // of one of those days cannot be one event's edit.
        ev.use = Use::followed;
        ev.followedBecause = QStringLiteral("an event over several days");
        ev.entries = Occurrences(text, from, to);
        return ev;
    }
    if (firstDay < from || firstDay > to)
        return ev;
    Entry e;
    e.date = firstDay;
    e.slot = ev.preferred;
    e.row = ev.rowHint;
    e.fields = FieldsOf(master, ev.preferred, timed, localStart);
    // An event without any text has nothing a day could show: a time alone is a label, which
    // the book would not give back as an event, and the next sync would take for a deletion.
    if (!e.fields.plan.isEmpty() || !e.fields.detail.isEmpty())
        ev.entries.push_back(e);
    return ev;
}

namespace {

QString Summary(const Entry& entry, bool timed) {
    const Fields& f = entry.fields;
    if (entry.slot == Slot::memo)
        return f.plan.section(u'\n', 0, 0);
    if (entry.slot == Slot::heading || timed || f.time.isEmpty())
        return f.plan;
    return f.plan.isEmpty() ? f.time : f.time + u' ' + f.plan;
}

// The description, and the location when the event has one: 詳細's first line is its place.
void SetDetail(icalcomponent* event, const QString& detail) {
    const QString location = ToEventText(Utf8(icalcomponent_get_location(event)));
    if (location.isEmpty() || detail.isEmpty()) {
        if (detail.isEmpty())
            RemoveAll(event, ICAL_LOCATION_PROPERTY);
        SetText(event, ICAL_DESCRIPTION_PROPERTY, detail);
        return;
    }
    const QString first = detail.section(u'\n', 0, 0);
    const QString rest = detail.section(u'\n', 1);
    if (first != location)
        SetText(event, ICAL_LOCATION_PROPERTY, first);
    SetText(event, ICAL_DESCRIPTION_PROPERTY, rest);
}

void SetAllDay(icalcomponent* event, const QDate& date) {
    RemoveAll(event, ICAL_DTSTART_PROPERTY);
    RemoveAll(event, ICAL_DTEND_PROPERTY);
    RemoveAll(event, ICAL_DURATION_PROPERTY);
    AddLine(event, "DTSTART;VALUE=DATE:" + DateText(date));
    AddLine(event, "DTEND;VALUE=DATE:" + DateText(date.addDays(1)));
}

// A timed hour in the zone we show, with its VTIMEZONE; in UTC when the zone has no name.
void SetTimedHour(icalcomponent* cal, icalcomponent* event, const QDate& date, int minutes,
                  const QTimeZone& zone) {
    RemoveAll(event, ICAL_DTSTART_PROPERTY);
    RemoveAll(event, ICAL_DTEND_PROPERTY);
    RemoveAll(event, ICAL_DURATION_PROPERTY);
    const QDateTime start(date, QTime(minutes / 60, minutes % 60), zone);
    // An hour, but never into the next day: the row is this day's, and an event that ran past
    // midnight would be an event over two days.
    const QDateTime end =
        std::min(start.addSecs(3600), QDateTime(date.addDays(1), QTime(0, 0), zone));
    const QByteArray id = ZoneId(zone);
    if (id.isEmpty()) {
        AddLine(event, "DTSTART:" + UtcText(start));
        AddLine(event, "DTEND:" + UtcText(end));
        return;
    }
    EnsureVTimezone(cal, id);
    const QDateTime wallEnd = end.toTimeZone(zone);
    AddLine(event, "DTSTART;TZID=" + id + ":" + WallText(QDateTime(date, start.time(), Qt::UTC)));
    AddLine(event, "DTEND;TZID=" + id + ":" +
                       WallText(QDateTime(wallEnd.date(), wallEnd.time(), Qt::UTC)));
}

void Stamp(icalcomponent* event, const QDateTime& now) {
    RemoveAll(event, ICAL_DTSTAMP_PROPERTY);
    RemoveAll(event, ICAL_LASTMODIFIED_PROPERTY);
    AddLine(event, "DTSTAMP:" + UtcText(now));
    AddLine(event, "LAST-MODIFIED:" + UtcText(now));
}

} // namespace

QByteArray New(const QString& uid, const Entry& entry, const QTimeZone& zone,
               const QDateTime& now) {
    Libical::Quiet();
    Component cal(icalcomponent_new_vcalendar());
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//Tavrino//tavrino-book//JA"));
    icalcomponent_add_property(cal.get(), icalproperty_new_calscale("GREGORIAN"));
    icalcomponent* event = icalcomponent_new_vevent();
    icalcomponent_add_property(event, icalproperty_new_uid(uid.toUtf8().constData()));
    Stamp(event, now);
    AddLine(event, "CREATED:" + UtcText(now));
    const std::optional<int> clock =
        entry.slot == Slot::row ? ClockMinutes(entry.fields.time) : std::nullopt;
    if (clock)
        SetTimedHour(cal.get(), event, entry.date, *clock, zone);
    else
        SetAllDay(event, entry.date);
    SetText(event, ICAL_SUMMARY_PROPERTY, Summary(entry, bool(clock)));
    SetText(event, ICAL_DESCRIPTION_PROPERTY,
            entry.slot == Slot::memo ? entry.fields.plan : entry.fields.detail);
    // What the event cannot say: which part of the day it is, the time as typed, the row.
    const char* kind = entry.slot == Slot::heading ? SyncProperties::kHeadingKind
                       : entry.slot == Slot::memo  ? SyncProperties::kMemoKind
                                                   : SyncProperties::kRowKind;
    SetX(event, SyncProperties::kKind, QString::fromLatin1(kind));
    if (entry.slot == Slot::row) {
        SetX(event, SyncProperties::kTime, entry.fields.time);
        if (entry.row >= 0)
            SetX(event, SyncProperties::kRow, QString::number(entry.row + 1));
    }
    icalcomponent_add_component(cal.get(), event);
    return Serialized(cal.get());
}

namespace {

// The book's change from before to after, made to one event of the text: only what changed.
bool PatchEvent(icalcomponent* cal, icalcomponent* event, const Fields& before, const Entry& after,
                const QTimeZone& zone, const QDateTime& now, QString& problem) {
    icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!dtstart) {
        problem = QStringLiteral("the server's event has no start");
        return false;
    }
    const Fields& f = after.fields;
    const Slot kind = KindSlot(XValue(event, SyncProperties::kKind));

    if (kind == Slot::memo) {
        if (f.plan != before.plan) {
            SetText(event, ICAL_DESCRIPTION_PROPERTY, f.plan);
            SetText(event, ICAL_SUMMARY_PROPERTY, f.plan.section(u'\n', 0, 0));
        }
    } else if (kind == Slot::heading) {
        if (f.plan != before.plan)
            SetText(event, ICAL_SUMMARY_PROPERTY, f.plan);
        if (f.detail != before.detail)
            SetDetail(event, f.detail);
    } else {
        const Time start = TimeOf(cal, dtstart, icalproperty_get_dtstart(dtstart));
        bool timed = !start.t.is_date;
        const std::optional<int> clock = ClockMinutes(f.time);
        if (f.time != before.time) {
            if (clock && timed) {
                // The start moves within its own zone; the end moves with it.
                const QDateTime oldStart = Instant(start.t, zone);
                const QDateTime newStart(after.date, QTime(*clock / 60, *clock % 60), zone);
                const qint64 delta = oldStart.secsTo(newStart);
                if (delta != 0) {
                    RemoveAll(event, ICAL_DTSTART_PROPERTY);
                    AddLine(event, "DTSTART" + TimeValue(start, newStart, zone));
                    if (icalproperty* dtend =
                            icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
                        const Time end = TimeOf(cal, dtend, icalproperty_get_dtend(dtend));
                        const QDateTime newEnd = Instant(end.t, zone).addSecs(delta);
                        RemoveAll(event, ICAL_DTEND_PROPERTY);
                        AddLine(event, "DTEND" + TimeValue(end, newEnd, zone));
                    }
                    int sequence = icalcomponent_get_sequence(event);
                    icalcomponent_set_sequence(event, std::max(sequence, 0) + 1);
                }
            } else if (clock) {
                SetTimedHour(cal, event, after.date, *clock, zone);
                timed = true;
            } else if (timed) {
                SetAllDay(event, after.date);
                timed = false;
            }
            SetX(event, SyncProperties::kTime, f.time);
        }
        if (f.time != before.time || f.plan != before.plan) {
            Entry shown = after;
            shown.slot = Slot::row;
            SetText(event, ICAL_SUMMARY_PROPERTY, Summary(shown, timed));
        }
        if (f.detail != before.detail)
            SetDetail(event, f.detail);
    }
    Stamp(event, now);
    return true;
}

icalcomponent* Calendar(const Component& root) {
    icalcomponent* cal = root.get();
    if (cal && icalcomponent_isa(cal) != ICAL_VCALENDAR_COMPONENT)
        cal = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
    return cal;
}

// An occurrence's start, from its key, as like (the series' DTSTART) is written: a date, a time
// in like's TZID, in UTC, or floating.
QByteArray OccurrenceValue(const Time& like, const QString& key, const QTimeZone& zone) {
    const QDate date = QDate::fromString(key.left(8), QStringLiteral("yyyyMMdd"));
    if (like.t.is_date || key.size() == 8)
        return ";VALUE=DATE:" + DateText(date);
    const QTime time = QTime::fromString(key.mid(9, 6), QStringLiteral("HHmmss"));
    if (key.endsWith(u'Z'))
        return TimeValue(like, QDateTime(date, time, Qt::UTC), zone);
    // Floating: the same wall time, under the TZID nobody knew if the series has one.
    const QByteArray wall = key.left(15).toLatin1();
    return like.tzid.isEmpty() ? ":" + wall : ";TZID=" + like.tzid + ":" + wall;
}

// The instant an occurrence key names; a floating one as a wall time in zone.
QDateTime OccurrenceInstant(const QString& key, const QTimeZone& zone) {
    const QDate date = QDate::fromString(key.left(8), QStringLiteral("yyyyMMdd"));
    const QTime time =
        key.size() > 8 ? QTime::fromString(key.mid(9, 6), QStringLiteral("HHmmss")) : QTime(0, 0);
    return key.endsWith(u'Z') ? QDateTime(date, time, Qt::UTC) : QDateTime(date, time, zone);
}

// A new override of one occurrence: a copy of the series without its rule and its exceptions,
// at the occurrence's own start and with the series' length.
icalcomponent* NewOverride(icalcomponent* cal, icalcomponent* master, const Time& start,
                           const QString& key, const QTimeZone& zone) {
    icalcomponent* o = icalcomponent_new_clone(master);
    for (const icalproperty_kind kind :
         {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY,
          ICAL_RECURRENCEID_PROPERTY, ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY})
        RemoveAll(o, kind);
    const QByteArray value = OccurrenceValue(start, key, zone);
    AddLine(o, "RECURRENCE-ID" + value);
    AddLine(o, "DTSTART" + value);
    if (icalproperty* dtend = icalcomponent_get_first_property(master, ICAL_DTEND_PROPERTY)) {
        const Time end = TimeOf(cal, dtend, icalproperty_get_dtend(dtend));
        if (start.t.is_date) {
            const qint64 days = QDate(start.t.year, start.t.month, start.t.day)
                                    .daysTo(QDate(end.t.year, end.t.month, end.t.day));
            const QDate first = QDate::fromString(key.left(8), QStringLiteral("yyyyMMdd"));
            AddLine(o, "DTEND;VALUE=DATE:" + DateText(first.addDays(days)));
        } else {
            const qint64 seconds = Instant(start.t, zone).secsTo(Instant(end.t, zone));
            const QDateTime at = OccurrenceInstant(key, zone).addSecs(seconds);
            AddLine(o, "DTEND" + TimeValue(end, at, zone));
        }
    }
    icalcomponent_add_component(cal, o);
    return o;
}

} // namespace

QByteArray Patch(const QByteArray& base, const Fields& before, const Entry& after,
                 const QTimeZone& zone, const QDateTime& now, QString& problem) {
    Libical::Quiet();
    Component root(icalparser_parse_string(base.constData()));
    icalcomponent* cal = Calendar(root);
    const std::vector<icalcomponent*> events =
        cal ? Components(cal, ICAL_VEVENT_COMPONENT) : std::vector<icalcomponent*>();
    if (events.size() != 1) {
        problem = QStringLiteral("the server's text is not one event");
        return QByteArray();
    }
    if (!PatchEvent(cal, events.front(), before, after, zone, now, problem))
        return QByteArray();
    return Serialized(root.get());
}

QByteArray PatchOccurrences(const QByteArray& base, const std::vector<OccurrenceChange>& changes,
                            const QTimeZone& zone, const QDateTime& now, QString& problem) {
    Libical::Quiet();
    Component root(icalparser_parse_string(base.constData()));
    icalcomponent* cal = Calendar(root);
    icalcomponent* master = nullptr;
    std::map<QString, icalcomponent*> overrides;
    for (icalcomponent* e :
         cal ? Components(cal, ICAL_VEVENT_COMPONENT) : std::vector<icalcomponent*>()) {
        if (icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY)) {
            overrides[OverrideKey(cal, e)] = e;
        } else if (master) {
            problem = QStringLiteral("the server's text holds two series");
            return QByteArray();
        } else {
            master = e;
        }
    }
    icalproperty* dtstart =
        master ? icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY) : nullptr;
    if (!dtstart) {
        problem = QStringLiteral("the server's text holds no series with a start");
        return QByteArray();
    }
    const Time start = TimeOf(cal, dtstart, icalproperty_get_dtstart(dtstart));
    bool seriesChanged = false;
    for (const OccurrenceChange& change : changes) {
        const auto found = overrides.find(change.occurrence);
        if (change.after) {
            icalcomponent* o = found != overrides.end()
                                   ? found->second
                                   : NewOverride(cal, master, start, change.occurrence, zone);
            overrides[change.occurrence] = o;
            if (!PatchEvent(cal, o, change.before, *change.after, zone, now, problem))
                return QByteArray();
            continue;
        }
        // Cleared: the occurrence leaves the series, and its override with it.
        if (found != overrides.end()) {
            icalcomponent_remove_component(cal, found->second);
            icalcomponent_free(found->second);
            overrides.erase(found);
        }
        bool excluded = false;
        for (icalproperty* p : Properties(master, ICAL_EXDATE_PROPERTY))
            excluded =
                excluded || Libical::OccurrenceKey(TimeOf(cal, p, icalproperty_get_exdate(p)).t) ==
                                change.occurrence;
        if (!excluded) {
            AddLine(master, "EXDATE" + OccurrenceValue(start, change.occurrence, zone));
            seriesChanged = true;
        }
    }
    if (seriesChanged)
        Stamp(master, now);
    return Serialized(root.get());
}

} // namespace EventText
