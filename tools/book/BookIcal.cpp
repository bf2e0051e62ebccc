#include "tools/book/BookIcal.h"

#include "tools/book/BookText.h"

#include <libical/ical.h>

#include <QStringDecoder>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace BookIcal {

namespace {

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// libical aborts on some errors unless told otherwise; a bad file must never end the tool.
void QuietLibical() {
    static const bool once = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)once;
}

// ---- Writing ----

bool HasText(const CYoteiDay& day) {
    if (!day.m_heading.isEmpty() || !day.m_headingDetail.isEmpty() || !day.m_dayMemo.isEmpty())
        return true;
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (!day.m_times[r].isEmpty() || !day.m_plans[r].isEmpty() || !day.m_details[r].isEmpty())
            return true;
    }
    return false;
}

// "time plan detail" with the empty parts left out.
QString RowLine(const CYoteiDay& day, int r) {
    QStringList parts;
    for (const QString* part : {&day.m_times[r], &day.m_plans[r], &day.m_details[r]}) {
        if (!part->isEmpty())
            parts << *part;
    }
    return parts.join(u' ');
}

QString Description(const CYoteiDay& day) {
    QStringList lines;
    if (!day.m_headingDetail.isEmpty())
        lines << day.m_headingDetail;
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        const QString line = RowLine(day, r);
        if (!line.isEmpty())
            lines << line;
    }
    if (!day.m_dayMemo.isEmpty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << day.m_dayMemo;
    }
    return lines.join(u'\n');
}

QString Summary(const CYoteiDay& day, const QString& description) {
    if (!day.m_heading.isEmpty())
        return day.m_heading;
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (!day.m_plans[r].isEmpty())
            return day.m_plans[r];
    }
    // A day with times, details or a memo only: its first line of text.
    QString first = description;
    first.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return first.section(u'\n', 0, 0);
}

// A TEXT value for libical, which escapes it: one kind of line break, and no controls, which a
// value may not hold.
QByteArray ValueText(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            clean += u'\n';
        } else if (c == u'\n' || c == u'\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7F)) {
            clean += c;
        }
    }
    return BookText::ToUtf8(clean);
}

// A DATE property. Built from its text, since libical refuses to build a date after the year 3000
// from fields, though it reads and writes one.
icalproperty* DateProperty(const char* name, const QDate& date) {
    const QByteArray line =
        QByteArray(name) + ";VALUE=DATE:" + date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    return icalproperty_new_from_string(line.constData());
}

// ---- Reading ----

struct ContentLine {
    QByteArray text;
    int line;
};

QString Utf8(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

bool ValidTime(const icaltimetype& t) {
    if (icaltime_is_null_time(t))
        return true;
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > icaltime_days_in_month(t.month, t.year))
        return false;
    return t.is_date || (t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
                         t.second >= 0 && t.second <= 60);
}

// Whether one content line is a property libical reads, with every date in it a real one.
QString PropertyProblem(const QByteArray& text) {
    if (text.contains('\0'))
        return QStringLiteral("a NUL character in the line");
    // An empty value is lawful (calendar services write "DESCRIPTION:" and "X-WR-CALDESC:"),
    // though libical reports it; it carries nothing to import.
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted) {
            if (i > 0 && i + 1 == text.size())
                return QString();
            break;
        }
    }
    const QByteArray wrapped = "BEGIN:VEVENT\r\n" + text + "\r\nEND:VEVENT\r\n";
    Component c(icalparser_parse_string(wrapped.constData()));
    if (!c)
        return QStringLiteral("not an iCalendar content line");
    icalproperty* first = icalcomponent_get_first_property(c.get(), ICAL_ANY_PROPERTY);
    if (!first)
        return QStringLiteral("not an iCalendar content line");
    for (icalproperty* p = first; p;
         p = icalcomponent_get_next_property(c.get(), ICAL_ANY_PROPERTY)) {
        if (icalproperty_isa(p) == ICAL_XLICERROR_PROPERTY)
            return Utf8(icalproperty_get_xlicerror(p)).trimmed();
        const icalvalue* v = icalproperty_get_value(p);
        bool valid = true;
        switch (v ? icalvalue_isa(v) : ICAL_NO_VALUE) {
        case ICAL_DATE_VALUE:
        case ICAL_DATETIME_VALUE:
            valid = ValidTime(icalvalue_get_datetime(v));
            break;
        case ICAL_DATETIMEPERIOD_VALUE: {
            const icaldatetimeperiodtype dp = icalvalue_get_datetimeperiod(v);
            valid = ValidTime(dp.time) && ValidTime(dp.period.start) && ValidTime(dp.period.end);
            break;
        }
        case ICAL_PERIOD_VALUE: {
            const icalperiodtype period = icalvalue_get_period(v);
            valid = ValidTime(period.start) && ValidTime(period.end);
            break;
        }
        case ICAL_RECUR_VALUE:
            valid = ValidTime(icalvalue_get_recur(v).until);
            break;
        default:
            break;
        }
        if (!valid)
            return QStringLiteral("not a calendar date or time: %1").arg(Utf8(text.constData()));
    }
    return QString();
}

// The calendar's events and time zones, with the line each event begins on.
class Calendar {
public:
    Calendar(icalcomponent* vcalendar, const QDate& from, const QDate& to, ReadResult& result)
        : m_cal(vcalendar), m_from(from), m_to(to), m_result(result) {}

    void Expand();

private:
    int LineOf(icalcomponent* event) const;
    void Warn(icalcomponent* event, const QString& what);
    icaltimetype TimeOf(icalproperty* p, icaltimetype t, icalcomponent* event);
    bool StartAndLength(icalcomponent* event, icaltimetype& start, qint64& seconds, int& days);
    std::vector<icaltimetype> Starts(icalcomponent* event, const icaltimetype& dtstart);
    void AddOccurrence(icalcomponent* event, const icaltimetype& start, qint64 seconds, int days);

    icalcomponent* m_cal;
    QDate m_from;
    QDate m_to;
    ReadResult& m_result;
    std::set<QString> m_warnedZones;
};

const char kLineProperty[] = "X-TAVRINO-LINE";

// A component's properties of one kind, taken out first: every libical getter restarts the
// component's one property cursor, so no loop may run on it while others are called.
std::vector<icalproperty*> Properties(icalcomponent* c, icalproperty_kind kind) {
    std::vector<icalproperty*> found;
    for (icalproperty* p = icalcomponent_get_first_property(c, kind); p;
         p = icalcomponent_get_next_property(c, kind))
        found.push_back(p);
    return found;
}

int Calendar::LineOf(icalcomponent* event) const {
    for (icalproperty* p : Properties(event, ICAL_X_PROPERTY)) {
        if (qstrcmp(icalproperty_get_x_name(p), kLineProperty) == 0)
            return QByteArray(icalproperty_get_x(p)).toInt();
    }
    return 0;
}

void Calendar::Warn(icalcomponent* event, const QString& what) {
    m_result.warnings << QStringLiteral("%1: %2").arg(LineOf(event)).arg(what);
}

// A time with its zone resolved: the file's own VTIMEZONE, else the system's zone data, else
// floating (with a warning). UTC keeps libical's UTC zone.
icaltimetype Calendar::TimeOf(icalproperty* p, icaltimetype t, icalcomponent* event) {
    if (t.is_date || icaltime_is_utc(t))
        return t;
    t.zone = nullptr;
    icalparameter* param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    const char* tzid = param ? icalparameter_get_tzid(param) : nullptr;
    if (!tzid || !*tzid)
        return t;
    icaltimezone* zone = icalcomponent_get_timezone(m_cal, tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone(tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
    if (!zone) {
        const QString name = Utf8(tzid);
        if (m_warnedZones.insert(name).second)
            Warn(event,
                 QStringLiteral("warning: time zone \"%1\" is unknown; its times are taken as "
                                "local times")
                     .arg(name));
        return t;
    }
    t.zone = zone;
    return t;
}

// Seconds of a date-time on the time line; floating times count as if they were UTC.
qint64 Instant(const icaltimetype& t) {
    if (t.zone && !t.is_date)
        return qint64(icaltime_as_timet_with_zone(t, t.zone));
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC)
        .toSecsSinceEpoch();
}

// The wall-clock time in the local zone (the system's, TZ respected), as a zone-less value.
QDateTime LocalWall(const icaltimetype& t) {
    if (t.zone && !t.is_date) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(Instant(t)).toLocalTime();
        return QDateTime(local.date(), local.time(), Qt::UTC);
    }
    return QDateTime(QDate(t.year, t.month, t.day),
                     t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second), Qt::UTC);
}

bool SameOccurrence(const icaltimetype& a, const icaltimetype& b) {
    if (a.is_date || b.is_date)
        return a.year == b.year && a.month == b.month && a.day == b.day;
    return Instant(a) == Instant(b);
}

bool Calendar::StartAndLength(icalcomponent* event, icaltimetype& start, qint64& seconds,
                              int& days) {
    icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!dtstart)
        return false;
    start = TimeOf(dtstart, icalproperty_get_dtstart(dtstart), event);
    seconds = 0;
    days = 1;
    if (icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        const icaltimetype end = TimeOf(dtend, icalproperty_get_dtend(dtend), event);
        if (start.is_date)
            days = int(QDate(start.year, start.month, start.day)
                           .daysTo(QDate(end.year, end.month, end.day)));
        else
            seconds = Instant(end) - Instant(start);
    } else if (icalproperty* duration =
                   icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        const qint64 length = icaldurationtype_as_int(icalproperty_get_duration(duration));
        if (start.is_date)
            days = int((length + 86399) / 86400);
        else
            seconds = length;
    }
    days = std::max(days, 1);
    seconds = std::max<qint64>(seconds, 0);
    return true;
}

// Every start of a master event: DTSTART, each RRULE expanded in DTSTART's own wall clock, each
// RDATE, less each EXDATE. Starts whose days all lie after the range are not produced.
std::vector<icaltimetype> Calendar::Starts(icalcomponent* event, const icaltimetype& dtstart) {
    std::vector<icaltimetype> starts{dtstart};
    constexpr int kMostSteps = 1000000; // a rule of seconds over years would never end
    for (icalproperty* p : Properties(event, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        icalrecur_iterator* it = icalrecur_iterator_new(rule, dtstart);
        if (!it) {
            Warn(event, QStringLiteral("warning: its RRULE cannot be expanded; only its first "
                                       "occurrence is imported"));
            continue;
        }
        for (int step = 0;; ++step) {
            icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next))
                break;
            next.zone = dtstart.zone;
            if (LocalWall(next).date() > m_to)
                break;
            if (step == kMostSteps) {
                Warn(
                    event,
                    QStringLiteral("warning: the rule stops after %1 occurrences").arg(kMostSteps));
                break;
            }
            starts.push_back(next);
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty* p : Properties(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype dp = icalproperty_get_rdate(p);
        starts.push_back(
            TimeOf(p, icaltime_is_null_time(dp.time) ? dp.period.start : dp.time, event));
    }
    std::vector<icaltimetype> excluded;
    for (icalproperty* p : Properties(event, ICAL_EXDATE_PROPERTY))
        excluded.push_back(TimeOf(p, icalproperty_get_exdate(p), event));

    std::stable_sort(
        starts.begin(), starts.end(),
        [](const icaltimetype& a, const icaltimetype& b) { return Instant(a) < Instant(b); });
    std::vector<icaltimetype> kept;
    for (const icaltimetype& s : starts) {
        if (!kept.empty() && SameOccurrence(kept.back(), s))
            continue; // DTSTART is also the rule's first occurrence
        if (std::any_of(excluded.begin(), excluded.end(),
                        [&s](const icaltimetype& x) { return SameOccurrence(s, x); }))
            continue;
        kept.push_back(s);
    }
    return kept;
}

QString LineBreaksAsPlanner(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

void Calendar::AddOccurrence(icalcomponent* event, const icaltimetype& start, qint64 seconds,
                             int days) {
    const QString plan = LineBreaksAsPlanner(Utf8(icalcomponent_get_summary(event)));
    QStringList detailParts;
    for (const char* part :
         {icalcomponent_get_location(event), icalcomponent_get_description(event)}) {
        const QString text = LineBreaksAsPlanner(Utf8(part));
        if (!text.isEmpty())
            detailParts << text;
    }
    const QString detail = detailParts.join(QStringLiteral("\r\n"));

    const QDateTime wallStart = LocalWall(start);
    QDate first = wallStart.date();
    QDate last;
    if (start.is_date) {
        last = first.addDays(days - 1);
    } else {
        const QDateTime wallEnd = wallStart.addSecs(seconds);
        last = wallEnd.date();
        // An event ending at midnight does not cover the day that begins then.
        if (seconds > 0 && wallEnd.time() == QTime(0, 0))
            last = last.addDays(-1);
        last = std::max(last, first);
    }
    for (QDate day = std::max(first, m_from); day <= last && day <= m_to; day = day.addDays(1)) {
        Entry e;
        e.date = day;
        if (!start.is_date) {
            const QTime at = day == first ? wallStart.time() : QTime(0, 0);
            e.minutes = at.hour() * 60 + at.minute();
            e.time = at.toString(QStringLiteral("HH:mm"));
        }
        e.plan = plan;
        e.detail = detail;
        m_result.entries.push_back(std::move(e));
    }
}

void Calendar::Expand() {
    std::vector<icalcomponent*> masters;
    std::vector<icalcomponent*> overrides;
    for (icalcomponent* e = icalcomponent_get_first_component(m_cal, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(m_cal, ICAL_VEVENT_COMPONENT)) {
        if (!icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY)) {
            m_result.line = LineOf(e);
            m_result.problem = QStringLiteral("an event without DTSTART");
            return;
        }
        if (icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY))
            overrides.push_back(e);
        else
            masters.push_back(e);
    }
    // Each occurrence that an override replaces is taken out of its master's set.
    std::map<QByteArray, std::vector<icaltimetype>> replaced;
    for (icalcomponent* o : overrides) {
        icalproperty* rid = icalcomponent_get_first_property(o, ICAL_RECURRENCEID_PROPERTY);
        replaced[QByteArray(icalcomponent_get_uid(o))].push_back(
            TimeOf(rid, icalproperty_get_recurrenceid(rid), o));
    }
    auto add = [this](icalcomponent* e, const std::vector<icaltimetype>& skip, bool expand) {
        if (icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED)
            return;
        icaltimetype start = icaltime_null_time();
        qint64 seconds = 0;
        int days = 1;
        StartAndLength(e, start, seconds, days);
        const std::vector<icaltimetype> starts =
            expand ? Starts(e, start) : std::vector<icaltimetype>{start};
        for (const icaltimetype& s : starts) {
            if (std::none_of(skip.begin(), skip.end(),
                             [&s](const icaltimetype& x) { return SameOccurrence(s, x); }))
                AddOccurrence(e, s, seconds, days);
        }
    };
    for (icalcomponent* m : masters)
        add(m, replaced[QByteArray(icalcomponent_get_uid(m))], true);
    for (icalcomponent* o : overrides)
        add(o, {}, false);
}

} // namespace

QByteArray Export(const DayList& days, const QDateTime& stamp) {
    QuietLibical();
    Component cal(icalcomponent_new_vcalendar());
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//Tavrino//tavrino-book//JA"));
    icalcomponent_add_property(cal.get(), icalproperty_new_calscale("GREGORIAN"));
    const icaltimetype dtstamp = icaltime_from_timet_with_zone(time_t(stamp.toSecsSinceEpoch()), 0,
                                                               icaltimezone_get_utc_timezone());
    std::map<QByteArray, int> seen; // a day held twice still needs a UID of its own
    for (const auto& day : days) {
        COleDateTime::Fields f;
        if (!day->m_dayDate.GetFields(f) || !HasText(*day))
            continue;
        const QDate date(f.year, f.month, f.day);
        const QByteArray start = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        const int n = ++seen[start];
        const QByteArray uid = start + (n > 1 ? "-" + QByteArray::number(n) : QByteArray());
        icalcomponent* event = icalcomponent_new_vevent();
        icalcomponent_add_property(event,
                                   icalproperty_new_uid((uid + "@tavrino-book").constData()));
        icalcomponent_add_property(event, icalproperty_new_dtstamp(dtstamp));
        icalcomponent_add_property(event, DateProperty("DTSTART", date));
        const QDate next = date.addDays(1);
        if (next.year() <= 9999) {
            icalcomponent_add_property(event, DateProperty("DTEND", next));
        } else {
            // The day after 9999-12-31 has no DATE form.
            icaldurationtype oneDay = icaldurationtype_null_duration();
            oneDay.days = 1;
            icalcomponent_add_property(event, icalproperty_new_duration(oneDay));
        }
        const QString description = Description(*day);
        icalcomponent_add_property(
            event, icalproperty_new_summary(ValueText(Summary(*day, description)).constData()));
        if (!description.isEmpty())
            icalcomponent_add_property(
                event, icalproperty_new_description(ValueText(description).constData()));
        icalcomponent_add_component(cal.get(), event);
    }
    char* text = icalcomponent_as_ical_string_r(cal.get());
    QByteArray out(text);
    icalmemory_free_buffer(text);
    // libical 3.0 folds a line whose content ends two octets short of the limit between the CR
    // and the LF of its line end, leaving a stray CR and a bare LF; put the line end back.
    out.replace("\r\r\n \n", "\r\n");
    return out;
}

ReadResult Read(const QByteArray& ics, const QDate& from, const QDate& to) {
    QuietLibical();
    ReadResult result;
    auto fail = [&result](int line, const QString& problem) {
        result.ok = false;
        result.line = line;
        result.problem = problem;
        result.entries.clear();
        return result;
    };

    // Physical lines to content lines: a line starting with a space or a tab continues the one
    // before it. UTF-8 is checked after unfolding, since some writers fold inside a character.
    QByteArray bytes = ics;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    std::vector<ContentLine> lines;
    int lineNo = 0;
    for (qsizetype pos = 0; pos < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArray physical = bytes.mid(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (physical.endsWith('\r'))
            physical.chop(1);
        if (physical.startsWith(' ') || physical.startsWith('\t')) {
            if (lines.empty())
                return fail(lineNo, QStringLiteral("a continuation line with no line before it"));
            lines.back().text += physical.mid(1);
        } else {
            lines.push_back({physical, lineNo});
        }
    }

    // The structure is checked here, so that each fault has its line; libical then reads the
    // whole, with each event's first line kept in it.
    QByteArray checked;
    std::vector<QByteArray> open;
    bool anyCalendar = false;
    for (const ContentLine& cl : lines) {
        if (cl.text.trimmed().isEmpty())
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(cl.text); // decoding is lazy: it runs on conversion
        if (utf8.hasError())
            return fail(cl.line, QStringLiteral("not UTF-8 text"));
        const QByteArray upper = cl.text.toUpper();
        if (upper.startsWith("BEGIN:") || upper.startsWith("END:")) {
            const bool begin = upper.startsWith("BEGIN:");
            const QByteArray name = upper.mid(begin ? 6 : 4).trimmed();
            if (begin) {
                if (open.empty() && name != "VCALENDAR")
                    return fail(cl.line, QStringLiteral("BEGIN:VCALENDAR expected"));
                if (name.isEmpty())
                    return fail(cl.line, QStringLiteral("BEGIN without a component name"));
                open.push_back(name);
                anyCalendar = true;
                checked += cl.text + "\r\n";
                if (name == "VEVENT")
                    checked +=
                        QByteArray(kLineProperty) + ':' + QByteArray::number(cl.line) + "\r\n";
            } else {
                if (open.empty())
                    return fail(cl.line, QStringLiteral("END without BEGIN"));
                if (open.back() != name)
                    return fail(
                        cl.line,
                        QStringLiteral("END:%1 expected").arg(QString::fromLatin1(open.back())));
                open.pop_back();
                checked += cl.text + "\r\n";
            }
            continue;
        }
        if (open.empty())
            return fail(cl.line, QStringLiteral("BEGIN:VCALENDAR expected"));
        if (const QString problem = PropertyProblem(cl.text); !problem.isEmpty())
            return fail(cl.line, problem);
        checked += cl.text + "\r\n";
    }
    if (!open.empty())
        return fail(
            lineNo,
            QStringLiteral("the file ends before END:%1").arg(QString::fromLatin1(open.back())));
    if (!anyCalendar)
        return fail(std::max(lineNo, 1), QStringLiteral("no calendar in the file"));

    Component root(icalparser_parse_string(checked.constData()));
    if (!root)
        return fail(1, QStringLiteral("no calendar in the file"));
    std::vector<icalcomponent*> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root.get());
    } else {
        for (icalcomponent* c =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars.push_back(c);
    }
    for (icalcomponent* c : calendars) {
        Calendar(c, from, to, result).Expand();
        if (!result.problem.isEmpty())
            return fail(result.line, result.problem);
    }
    std::stable_sort(result.entries.begin(), result.entries.end(),
                     [](const Entry& a, const Entry& b) {
                         return a.date != b.date ? a.date < b.date : a.minutes < b.minutes;
                     });
    result.ok = true;
    return result;
}

} // namespace BookIcal
