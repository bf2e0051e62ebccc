#include "calendar/IcalImport.h"

#include "calendar/Libical.h"

#include <QDateTime>
#include <QStringDecoder>
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace IcalImport {

namespace {

using Libical::Component;
using Libical::Text;

// In what libical is given, every content line is followed by this property holding the line's
// number. libical keeps a component's properties in order, and puts the error of a line it
// cannot read where that line's property would have gone, so each property and each error is
// followed by the number of its line.
const char kLineProperty[] = "X-TAVRINO-LINE";

struct ContentLine {
    QByteArray text;
    int line;
};

// What went wrong, by line: a forgiving reading warns of it and goes on, a strict one fails at
// the first line that went wrong.
class Findings {
public:
    explicit Findings(bool strict) : m_strict(strict) {}

    bool Strict() const { return m_strict; }

    // Told whichever way the calendar is read.
    void Warn(int line, const QString& what) {
        m_warnings.push_back({line, QStringLiteral("warning: ") + what});
    }
    // A fault of the input: a strict reading fails at it; a forgiving one warns with forgiven,
    // or says nothing when forgiven is empty.
    void Fault(int line, const QString& what, const QString& forgiven) {
        if (m_strict) {
            if (m_faultLine == 0 || line < m_faultLine) {
                m_faultLine = line;
                m_fault = what;
            }
        } else if (!forgiven.isEmpty()) {
            Warn(line, forgiven);
        }
    }
    // A line that is left out in a forgiving reading.
    void LeftOut(int line, const QString& what) {
        Fault(line, what, QStringLiteral("the line is left out: ") + what);
    }

    bool Failed() const { return m_faultLine != 0; }
    int FaultLine() const { return m_faultLine; }
    const QString& FaultText() const { return m_fault; }

    QStringList Warnings() {
        std::stable_sort(m_warnings.begin(), m_warnings.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QStringList out;
        for (const auto& [line, what] : m_warnings)
            out << QStringLiteral("%1: %2").arg(line).arg(what);
        return out;
    }

private:
    bool m_strict;
    int m_faultLine = 0;
    QString m_fault;
    std::vector<std::pair<int, QString>> m_warnings;
};

// ---- Lines ----

// Physical lines to content lines: a line starting with a space or a tab continues the one
// before it. UTF-8 is checked after unfolding, since some writers fold inside a character.
std::vector<ContentLine> Unfold(const QByteArray& ics, int& lastLine, Findings& findings) {
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
                findings.LeftOut(lineNo,
                                 QStringLiteral("a continuation line with no line before it"));
            else
                lines.back().text += physical.mid(1);
        } else {
            lines.push_back({physical, lineNo});
        }
    }
    lastLine = std::max(lineNo, 1);
    return lines;
}

bool IsUtf8(const QByteArray& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text); // decoding is lazy: it runs on conversion
    return !utf8.hasError();
}

// The property name of a content line: what comes before its first ';' or ':'.
QByteArray NameOf(const QByteArray& text) {
    qsizetype end = 0;
    while (end < text.size() && text[end] != ';' && text[end] != ':')
        ++end;
    return text.left(end).trimmed().toUpper();
}

// An iana-token (RFC 5545, 3.1): letters, digits and '-'.
bool IsIanaToken(const QByteArray& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-';
    });
}

// Whether the line's value is empty: its first ':' outside quotes ends it.
bool EmptyValue(const QByteArray& text) {
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted)
            return i > 0 && i + 1 == text.size();
    }
    return false;
}

// ---- Parsing ----

// Hands the content lines to libical's parser one by one, each followed by its number, and keeps
// the nesting of components, which libical does not check (any END closes what is open).
class Parser {
public:
    explicit Parser(Findings& findings) : m_findings(findings), m_parser(icalparser_new()) {}
    ~Parser() { icalparser_free(m_parser); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // False when the input is not a calendar at all.
    bool Parse(const std::vector<ContentLine>& lines, int lastLine, int& failLine,
               QString& failText);

    std::vector<Component>& Roots() { return m_roots; }
    // Whether the input left components open at its end (closed here), and the innermost.
    bool LeftOpen() const { return m_leftOpen; }
    const QByteArray& Unclosed() const { return m_unclosed; }
    // The text of each content line, by its number.
    const QByteArray& TextOf(int line) const {
        static const QByteArray none;
        const auto it = m_text.find(line);
        return it == m_text.end() ? none : it->second;
    }

private:
    struct Open {
        QByteArray name;
        bool fed; // false: left out, with everything inside it
    };

    void Feed(const QByteArray& text);
    void FeedLine(const QByteArray& text, int line);
    void Close();
    void Begin(const ContentLine& cl, const QByteArray& name);
    void End(const ContentLine& cl, const QByteArray& name);

    Findings& m_findings;
    icalparser* m_parser;
    std::vector<Open> m_open;
    std::vector<Component> m_roots;
    std::unordered_map<int, QByteArray> m_text;
    bool m_leftOpen = false;
    QByteArray m_unclosed;
};

void Parser::Feed(const QByteArray& text) {
    QByteArray line = text; // libical takes a writable line
    if (icalcomponent* root = icalparser_add_line(m_parser, line.data()))
        m_roots.emplace_back(root);
}

void Parser::FeedLine(const QByteArray& text, int line) {
    Feed(text);
    Feed(QByteArray(kLineProperty) + ':' + QByteArray::number(line));
}

void Parser::Close() {
    if (m_open.back().fed)
        Feed("END:" + m_open.back().name);
    m_open.pop_back();
}

void Parser::Begin(const ContentLine& cl, const QByteArray& name) {
    const bool inside = !m_open.empty();
    if (inside && !m_open.back().fed) {
        m_open.push_back({name, false});
        return;
    }
    if (!inside && name != "VCALENDAR") {
        m_findings.Fault(cl.line, QStringLiteral("BEGIN:VCALENDAR expected"),
                         QStringLiteral("BEGIN:%1 outside a calendar is left out with all it holds")
                             .arg(QString::fromLatin1(name)));
        m_open.push_back({name, false});
        return;
    }
    if (name.isEmpty()) {
        m_findings.Fault(cl.line, QStringLiteral("BEGIN without a component name"),
                         QStringLiteral("BEGIN without a component name is left out with all "
                                        "it holds"));
        m_open.push_back({name, false});
        return;
    }
    FeedLine(cl.text, cl.line);
    m_open.push_back({name, true});
}

void Parser::End(const ContentLine& cl, const QByteArray& name) {
    if (m_open.empty()) {
        m_findings.LeftOut(cl.line, QStringLiteral("END without BEGIN"));
        return;
    }
    if (m_open.back().name == name) {
        Close();
        return;
    }
    const QString expected = QString::fromLatin1(m_open.back().name);
    const auto open = std::find_if(m_open.rbegin(), m_open.rend(),
                                   [&name](const Open& o) { return o.name == name; });
    if (open == m_open.rend()) {
        m_findings.LeftOut(cl.line, QStringLiteral("END:%1 expected").arg(expected));
        return;
    }
    // An END of a component further out closes the ones left open inside it.
    m_findings.Fault(cl.line, QStringLiteral("END:%1 expected").arg(expected),
                     QStringLiteral("END:%1 expected; taken as closed here").arg(expected));
    const std::size_t keep = std::size_t(m_open.rend() - open) - 1;
    while (m_open.size() > keep)
        Close();
}

bool Parser::Parse(const std::vector<ContentLine>& lines, int lastLine, int& failLine,
                   QString& failText) {
    bool first = true;
    for (const ContentLine& cl : lines) {
        if (cl.text.trimmed().isEmpty())
            continue;
        const bool utf8 = IsUtf8(cl.text);
        const QByteArray upper = cl.text.toUpper();
        if (first) {
            // Anything else is not iCalendar at all.
            if (!utf8 || !upper.startsWith("BEGIN:") || upper.mid(6).trimmed() != "VCALENDAR") {
                failLine = cl.line;
                failText = utf8 ? QStringLiteral("BEGIN:VCALENDAR expected")
                                : QStringLiteral("not UTF-8 text");
                return false;
            }
            first = false;
        }
        if (!utf8) {
            m_findings.LeftOut(cl.line, QStringLiteral("not UTF-8 text"));
            continue;
        }
        if (cl.text.contains('\0')) {
            m_findings.LeftOut(cl.line, QStringLiteral("a NUL character in the line"));
            continue;
        }
        if (upper.startsWith("BEGIN:")) {
            Begin(cl, upper.mid(6).trimmed());
            continue;
        }
        if (upper.startsWith("END:")) {
            End(cl, upper.mid(4).trimmed());
            continue;
        }
        if (m_open.empty()) {
            m_findings.Fault(cl.line, QStringLiteral("BEGIN:VCALENDAR expected"),
                             QStringLiteral("the line is left out: it stands outside a calendar"));
            continue;
        }
        // Inside a component left out, and the input's own line numbers, which would be taken
        // for ours: neither reaches libical.
        if (!m_open.back().fed || NameOf(cl.text) == kLineProperty)
            continue;
        m_text[cl.line] = cl.text;
        FeedLine(cl.text, cl.line);
    }
    if (first) {
        failLine = lastLine;
        failText = QStringLiteral("no calendar in the file");
        return false;
    }
    if (!m_open.empty()) {
        m_leftOpen = true;
        m_unclosed = m_open.back().name;
        while (!m_open.empty())
            Close();
    }
    return true;
}

// ---- What libical made of it ----

bool ValidTime(const icaltimetype& t) {
    if (icaltime_is_null_time(t))
        return true;
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > icaltime_days_in_month(t.month, t.year))
        return false;
    return t.is_date || (t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
                         t.second >= 0 && t.second <= 60);
}

// Whether every date and time in the property is a real one.
bool ValidDates(icalproperty* p) {
    const icalvalue* v = icalproperty_get_value(p);
    switch (v ? icalvalue_isa(v) : ICAL_NO_VALUE) {
    case ICAL_DATE_VALUE:
    case ICAL_DATETIME_VALUE:
        return ValidTime(icalvalue_get_datetime(v));
    case ICAL_DATETIMEPERIOD_VALUE: {
        const icaldatetimeperiodtype dp = icalvalue_get_datetimeperiod(v);
        return ValidTime(dp.time) && ValidTime(dp.period.start) && ValidTime(dp.period.end);
    }
    case ICAL_PERIOD_VALUE: {
        const icalperiodtype period = icalvalue_get_period(v);
        return ValidTime(period.start) && ValidTime(period.end);
    }
    case ICAL_RECUR_VALUE:
        return ValidTime(icalvalue_get_recur(v).until);
    default:
        return true;
    }
}

// The properties whose dates the expansion and libical's time zones read.
bool DatesRead(icalcomponent* c, icalproperty* p) {
    const icalcomponent_kind kind = icalcomponent_isa(c);
    if (kind != ICAL_VEVENT_COMPONENT && kind != ICAL_XSTANDARD_COMPONENT &&
        kind != ICAL_XDAYLIGHT_COMPONENT)
        return false;
    switch (icalproperty_isa(p)) {
    case ICAL_DTSTART_PROPERTY:
    case ICAL_DTEND_PROPERTY:
    case ICAL_RECURRENCEID_PROPERTY:
    case ICAL_RDATE_PROPERTY:
    case ICAL_EXDATE_PROPERTY:
    case ICAL_RRULE_PROPERTY:
        return true;
    default:
        return false;
    }
}

// Reads back the line numbers of every component and property, tells what libical could not
// read, and takes out the properties the expansion uses whose dates are not real ones.
class Review {
public:
    Review(const Parser& parser, int lastLine, Findings& findings)
        : m_parser(parser), m_lastLine(lastLine), m_findings(findings) {}

    void Walk(icalcomponent* c);
    int LineOf(icalcomponent* c) const {
        const auto it = m_componentLines.find(c);
        return it == m_componentLines.end() ? 0 : it->second;
    }

private:
    void Error(icalproperty* error, int line);
    void Check(icalcomponent* c, icalproperty* p, int line);

    const Parser& m_parser;
    int m_lastLine;
    Findings& m_findings;
    std::unordered_map<icalcomponent*, int> m_componentLines;
};

void Review::Walk(icalcomponent* c) {
    std::vector<icalproperty*> properties;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY))
        properties.push_back(p);
    std::vector<icalproperty*> pending;
    const auto settle = [&](int line) {
        for (icalproperty* p : pending) {
            if (icalproperty_isa(p) == ICAL_XLICERROR_PROPERTY)
                Error(p, line);
            else
                Check(c, p, line);
        }
        pending.clear();
    };
    for (icalproperty* p : properties) {
        if (icalproperty_isa(p) == ICAL_X_PROPERTY &&
            qstrcmp(icalproperty_get_x_name(p), kLineProperty) == 0) {
            const int line = QByteArray(icalproperty_get_x(p)).toInt();
            // The first number in a component is that of its BEGIN line.
            m_componentLines.emplace(c, line);
            settle(line);
        } else {
            pending.push_back(p);
        }
    }
    settle(m_lastLine);
    std::vector<icalcomponent*> children;
    for (icalcomponent* child = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        children.push_back(child);
    for (icalcomponent* child : children)
        Walk(child);
}

void Review::Error(icalproperty* error, int line) {
    const QString what = Text(icalproperty_get_xlicerror(error)).trimmed();
    const QByteArray& text = m_parser.TextOf(line);
    const QByteArray name = NameOf(text);
    // An empty value is lawful (calendar services write "DESCRIPTION:" and "X-WR-CALDESC:"),
    // though libical reports it; it carries nothing to read.
    if (EmptyValue(text) && what.startsWith(QLatin1String("No value for")))
        return;
    // The input's own X-LIC-ERROR lines, which some programs leave in the files they write, are
    // read as errors; like every X- property they are ignored.
    if (name.startsWith("X-")) {
        m_findings.Fault(line, what, QString());
        return;
    }
    icalparameter* type = icalproperty_get_first_parameter(error, ICAL_XLICERRORTYPE_PARAMETER);
    switch (type ? icalparameter_get_xlicerrortype(type) : ICAL_XLICERRORTYPE_NONE) {
    case ICAL_XLICERRORTYPE_PROPERTYPARSEERROR:
        // A name libical does not know: a reader may ignore an IANA property it does not know
        // (RFC 5545, 3.8.8.1); anything else is no property.
        if (IsIanaToken(name))
            m_findings.Fault(line, what, QString());
        else
            m_findings.LeftOut(line, what);
        return;
    case ICAL_XLICERRORTYPE_PARAMETERNAMEPARSEERROR:
    case ICAL_XLICERRORTYPE_PARAMETERVALUEPARSEERROR:
        // The property is kept; a parameter a reader does not know is ignored (RFC 5545, 3.2).
        m_findings.Fault(line, what, QString());
        return;
    default:
        m_findings.LeftOut(line, what);
        return;
    }
}

void Review::Check(icalcomponent* c, icalproperty* p, int line) {
    if (ValidDates(p))
        return;
    const QString what = QStringLiteral("not a calendar date or time: %1")
                             .arg(QString::fromUtf8(m_parser.TextOf(line)));
    if (m_findings.Strict()) {
        m_findings.Fault(line, what, QString());
        return;
    }
    // A date the expansion would read goes, as a value libical cannot read goes; other
    // properties are never read and stay as they are.
    if (DatesRead(c, p)) {
        m_findings.LeftOut(line, what);
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

// ---- Expansion ----

// A time with its zone resolved, and its instant.
struct Start {
    icaltimetype time;
    qint64 instant;
};

// Seconds of a date-time on the time line; floating times and dates count as if they were UTC.
qint64 Instant(const icaltimetype& t) {
    if (t.zone && !t.is_date)
        return qint64(icaltime_as_timet_with_zone(t, t.zone));
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC)
        .toSecsSinceEpoch();
}

// A wall-clock time as a zone-less value.
QDateTime Wall(const icaltimetype& t) {
    return QDateTime(QDate(t.year, t.month, t.day),
                     t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second), Qt::UTC);
}

// The wall-clock time in the local zone (the system's, TZ respected) of an instant.
QDateTime LocalWallAt(qint64 instant) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(instant).toLocalTime();
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

// The wall-clock time in the local zone; floating times and dates stay as they are.
QDateTime LocalWall(const icaltimetype& t) {
    if (t.zone && !t.is_date)
        return LocalWallAt(Instant(t));
    return Wall(t);
}

bool SameOccurrence(const icaltimetype& a, const icaltimetype& b) {
    if (a.is_date || b.is_date)
        return a.year == b.year && a.month == b.month && a.day == b.day;
    return Instant(a) == Instant(b);
}

// An event's length: whole days for an all-day event, seconds for a timed one.
struct Length {
    qint64 seconds = 0;
    int days = 1;
};

// An override of a repeating event's occurrence (RECURRENCE-ID), or of that occurrence and every
// later one (RANGE=THISANDFUTURE).
struct Override {
    icalcomponent* event;
    icaltimetype replaces;
    bool andFuture;
};

class Calendar {
public:
    Calendar(icalcomponent* vcalendar, const QDate& from, const QDate& to, const Review& review,
             Findings& findings, std::vector<Occurrence>& out)
        : m_cal(vcalendar), m_from(from), m_to(to), m_review(review), m_findings(findings),
          m_out(out) {}

    void Expand();

private:
    void Warn(icalcomponent* event, const QString& what) {
        m_findings.Warn(m_review.LineOf(event), what);
    }
    icaltimetype TimeOf(icalproperty* p, icaltimetype t, icalcomponent* event);
    icaltimetype StartOf(icalcomponent* event);
    Length LengthOf(icalcomponent* event, const icaltimetype& start);
    std::vector<icaltimetype> Starts(icalcomponent* event, const icaltimetype& dtstart,
                                     const QDate& until);
    void ExpandMaster(icalcomponent* master, const std::vector<Override>& overrides);
    icaltimetype Moved(const icaltimetype& start, const Override& by);
    // Which occurrence of a series an occurrence is, and which override shows it.
    struct Identity {
        QString recurrence;
        QString shownBy;
        bool thisAndFuture = false;
    };
    void AddOccurrence(icalcomponent* event, const icaltimetype& start, const Length& length,
                       const Identity& identity);

    icalcomponent* m_cal;
    QDate m_from;
    QDate m_to;
    const Review& m_review;
    Findings& m_findings;
    std::vector<Occurrence>& m_out;
    std::set<QString> m_warnedZones;
    // The series' start each override replaces, as the series names it.
    std::map<icalcomponent*, QString> m_replaced;
};

// A component's properties of one kind, taken out first: every libical getter restarts the
// component's one property cursor, so no loop may run on it while others are called.
std::vector<icalproperty*> Properties(icalcomponent* c, icalproperty_kind kind) {
    std::vector<icalproperty*> found;
    for (icalproperty* p = icalcomponent_get_first_property(c, kind); p;
         p = icalcomponent_get_next_property(c, kind))
        found.push_back(p);
    return found;
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
        const QString name = Text(tzid);
        if (m_warnedZones.insert(name).second)
            Warn(event,
                 QStringLiteral("time zone \"%1\" is unknown; its times are taken as local times")
                     .arg(name));
        return t;
    }
    t.zone = zone;
    return t;
}

icaltimetype Calendar::StartOf(icalcomponent* event) {
    icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    return TimeOf(dtstart, icalproperty_get_dtstart(dtstart), event);
}

Length Calendar::LengthOf(icalcomponent* event, const icaltimetype& start) {
    Length length;
    if (icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        const icaltimetype end = TimeOf(dtend, icalproperty_get_dtend(dtend), event);
        if (start.is_date)
            length.days = int(QDate(start.year, start.month, start.day)
                                  .daysTo(QDate(end.year, end.month, end.day)));
        else
            length.seconds = Instant(end) - Instant(start);
    } else if (icalproperty* duration =
                   icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        const qint64 seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
        if (start.is_date)
            length.days = int((seconds + 86399) / 86400);
        else
            length.seconds = seconds;
    }
    length.days = std::max(length.days, 1);
    length.seconds = std::max<qint64>(length.seconds, 0);
    return length;
}

// Every start of a master event: DTSTART, each RRULE expanded in DTSTART's own wall clock, each
// RDATE, less each EXDATE, in time order. Starts whose days all lie after until are not made.
std::vector<icaltimetype> Calendar::Starts(icalcomponent* event, const icaltimetype& dtstart,
                                           const QDate& until) {
    std::vector<Start> starts{{dtstart, Instant(dtstart)}};
    constexpr int kMostSteps = 1000000; // a rule of seconds over years would never end
    for (icalproperty* p : Properties(event, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        icalrecur_iterator* it = icalrecur_iterator_new(rule, dtstart);
        if (!it) {
            Warn(event, QStringLiteral("its RRULE cannot be expanded; only its first occurrence "
                                       "is imported"));
            continue;
        }
        for (int step = 0;; ++step) {
            icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next))
                break;
            next.zone = dtstart.zone;
            const qint64 instant = Instant(next);
            const QDate day = next.zone && !next.is_date ? LocalWallAt(instant).date()
                                                         : QDate(next.year, next.month, next.day);
            if (day > until)
                break;
            if (step == kMostSteps) {
                Warn(event, QStringLiteral("the rule stops after %1 occurrences").arg(kMostSteps));
                break;
            }
            starts.push_back({next, instant});
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty* p : Properties(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype dp = icalproperty_get_rdate(p);
        const icaltimetype t =
            TimeOf(p, icaltime_is_null_time(dp.time) ? dp.period.start : dp.time, event);
        starts.push_back({t, Instant(t)});
    }
    std::vector<icaltimetype> excluded;
    for (icalproperty* p : Properties(event, ICAL_EXDATE_PROPERTY))
        excluded.push_back(TimeOf(p, icalproperty_get_exdate(p), event));

    std::stable_sort(starts.begin(), starts.end(),
                     [](const Start& a, const Start& b) { return a.instant < b.instant; });
    std::vector<icaltimetype> kept;
    kept.reserve(starts.size());
    for (const Start& s : starts) {
        if (!kept.empty() && SameOccurrence(kept.back(), s.time))
            continue; // DTSTART is also the rule's first occurrence
        if (std::any_of(excluded.begin(), excluded.end(),
                        [&s](const icaltimetype& x) { return SameOccurrence(s.time, x); }))
            continue;
        kept.push_back(s.time);
    }
    return kept;
}

// An occurrence moved as a THISANDFUTURE override moves its own: by the override's DTSTART less
// its RECURRENCE-ID (RFC 5545, 3.8.4.4), on the occurrence's own wall clock.
icaltimetype Calendar::Moved(const icaltimetype& start, const Override& by) {
    const icaltimetype to = StartOf(by.event);
    icaltimetype moved = start;
    if (start.is_date || to.is_date || by.replaces.is_date) {
        icaltime_adjust(&moved, int(Wall(by.replaces).date().daysTo(Wall(to).date())), 0, 0, 0);
        return moved;
    }
    const auto wallIn = [&start](icaltimetype t) {
        if (start.zone && t.zone)
            t = icaltime_convert_to_zone(t, const_cast<icaltimezone*>(start.zone));
        return Wall(t);
    };
    const qint64 shift = wallIn(by.replaces).secsTo(wallIn(to));
    icaltime_adjust(&moved, int(shift / 86400), 0, 0, int(shift % 86400));
    return moved;
}

QString LineBreaksAsPlanner(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

void Calendar::AddOccurrence(icalcomponent* event, const icaltimetype& start, const Length& length,
                             const Identity& identity) {
    const QString plan = LineBreaksAsPlanner(Text(icalcomponent_get_summary(event)));
    QStringList detailParts;
    for (const char* part :
         {icalcomponent_get_location(event), icalcomponent_get_description(event)}) {
        const QString text = LineBreaksAsPlanner(Text(part));
        if (!text.isEmpty())
            detailParts << text;
    }
    const QString detail = detailParts.join(QStringLiteral("\r\n"));

    const QDateTime wallStart = LocalWall(start);
    const QDate first = wallStart.date();
    QDate last;
    if (start.is_date) {
        last = first.addDays(length.days - 1);
    } else {
        // The end's own wall clock: a day-light saving jump between start and end moves it away
        // from the start's wall clock plus the length.
        const QDateTime wallEnd = start.zone ? LocalWallAt(Instant(start) + length.seconds)
                                             : wallStart.addSecs(length.seconds);
        last = wallEnd.date();
        // An event ending at midnight does not cover the day that begins then.
        if (length.seconds > 0 && wallEnd.time() == QTime(0, 0))
            last = last.addDays(-1);
        last = std::max(last, first);
    }
    for (QDate day = std::max(first, m_from); day <= last && day <= m_to; day = day.addDays(1)) {
        Occurrence o;
        o.date = day;
        if (!start.is_date) {
            const QTime at = day == first ? wallStart.time() : QTime(0, 0);
            o.minutes = at.hour() * 60 + at.minute();
            o.time = at.toString(QStringLiteral("HH:mm"));
        }
        o.plan = plan;
        o.detail = detail;
        o.recurrence = identity.recurrence;
        o.shownBy = identity.shownBy;
        o.thisAndFuture = identity.thisAndFuture;
        o.severalDays = last > first;
        m_out.push_back(std::move(o));
    }
}

bool Cancelled(icalcomponent* event) {
    return icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;
}

void Calendar::ExpandMaster(icalcomponent* master, const std::vector<Override>& overrides) {
    if (Cancelled(master))
        return;
    const icaltimetype start = StartOf(master);
    const Length length = LengthOf(master, start);
    // Overrides that move later occurrences earlier bring occurrences from after the range in.
    QDate until = m_to;
    for (const Override& o : overrides) {
        if (o.andFuture) {
            const QDate moved = Wall(Moved(o.replaces, o)).date();
            const qint64 back = moved.daysTo(Wall(o.replaces).date());
            if (back > 0)
                until = std::max(until, m_to.addDays(back + 1));
        }
    }
    const bool repeats = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY) ||
                         icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY) ||
                         !overrides.empty();
    for (const icaltimetype& s : Starts(master, start, until)) {
        const QString key = repeats ? Libical::OccurrenceKey(s) : QString();
        // The override of this one occurrence adds itself, and so does the override of this
        // and the later ones at the occurrence it names.
        bool overridden = false;
        for (const Override& o : overrides) {
            if (SameOccurrence(s, o.replaces)) {
                m_replaced[o.event] = key;
                overridden = true;
            }
        }
        if (overridden)
            continue;
        // The latest override of the occurrences from its own on that this one follows.
        const Override* by = nullptr;
        const qint64 at = Instant(s);
        for (const Override& o : overrides) {
            if (o.andFuture && Instant(o.replaces) < at &&
                (!by || Instant(by->replaces) < Instant(o.replaces)))
                by = &o;
        }
        if (!by) {
            AddOccurrence(master, s, length, {key, QString(), false});
        } else if (!Cancelled(by->event)) {
            const icaltimetype moved = Moved(s, *by);
            AddOccurrence(by->event, moved, LengthOf(by->event, StartOf(by->event)),
                          {key, Libical::OccurrenceKey(by->replaces), true});
        }
    }
}

void Calendar::Expand() {
    std::vector<icalcomponent*> masters;
    std::vector<icalcomponent*> overrides;
    std::vector<icalcomponent*> events;
    for (icalcomponent* e = icalcomponent_get_first_component(m_cal, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(m_cal, ICAL_VEVENT_COMPONENT))
        events.push_back(e);
    for (icalcomponent* e : events) {
        if (!icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY)) {
            // iTIP replies and cancellations may lawfully leave DTSTART out; such an event has
            // nowhere to go.
            m_findings.Fault(m_review.LineOf(e), QStringLiteral("an event without DTSTART"),
                             QStringLiteral("an event without DTSTART is left out"));
            if (m_findings.Strict())
                return;
            continue;
        }
        if (icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY))
            overrides.push_back(e);
        else
            masters.push_back(e);
    }
    std::map<QByteArray, std::vector<Override>> byUid;
    for (icalcomponent* o : overrides) {
        icalproperty* rid = icalcomponent_get_first_property(o, ICAL_RECURRENCEID_PROPERTY);
        icalparameter* range = icalproperty_get_first_parameter(rid, ICAL_RANGE_PARAMETER);
        byUid[QByteArray(icalcomponent_get_uid(o))].push_back(
            {o, TimeOf(rid, icalproperty_get_recurrenceid(rid), o),
             range && icalparameter_get_range(range) == ICAL_RANGE_THISANDFUTURE});
    }
    for (icalcomponent* m : masters)
        ExpandMaster(m, byUid[QByteArray(icalcomponent_get_uid(m))]);
    std::map<icalcomponent*, const Override*> overrideOf;
    for (const auto& [uid, list] : byUid) {
        for (const Override& o : list)
            overrideOf[o.event] = &o;
    }
    for (icalcomponent* e : overrides) {
        const Override& o = *overrideOf.at(e);
        if (Cancelled(e))
            continue;
        const icaltimetype start = StartOf(e);
        // Named as the series names the start it replaces; an override whose series does not
        // make that start (or is missing) by its own RECURRENCE-ID.
        const QString own = Libical::OccurrenceKey(o.replaces);
        const auto replaced = m_replaced.find(e);
        AddOccurrence(e, start, LengthOf(e, start),
                      {replaced != m_replaced.end() ? replaced->second : own, own, o.andFuture});
    }
}

} // namespace

ReadResult Read(const QByteArray& ics, const QDate& from, const QDate& to, bool strict) {
    Libical::Quiet();
    ReadResult result;
    Findings findings(strict);
    const auto finish = [&](bool ok) {
        result.warnings = findings.Warnings();
        if (findings.Failed() && (result.line == 0 || findings.FaultLine() < result.line)) {
            result.line = findings.FaultLine();
            result.problem = findings.FaultText();
            ok = false;
        }
        result.ok = ok;
        if (!ok)
            result.occurrences.clear();
        return result;
    };
    int lastLine = 1;
    const std::vector<ContentLine> lines = Unfold(ics, lastLine, findings);
    Parser parser(findings);
    if (!parser.Parse(lines, lastLine, result.line, result.problem))
        return finish(false);
    Review review(parser, lastLine, findings);
    for (const Component& root : parser.Roots())
        review.Walk(root.get());
    // Told after what the last line itself held.
    if (parser.LeftOpen()) {
        const QString name = QString::fromLatin1(parser.Unclosed());
        findings.Fault(
            lastLine, QStringLiteral("the file ends before END:%1").arg(name),
            QStringLiteral("the file ends before END:%1; taken as closed there").arg(name));
    }
    if (findings.Failed())
        return finish(false);
    for (const Component& root : parser.Roots()) {
        if (icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
            continue;
        Calendar(root.get(), from, to, review, findings, result.occurrences).Expand();
        if (findings.Failed())
            return finish(false);
    }
    std::stable_sort(result.occurrences.begin(), result.occurrences.end(),
                     [](const Occurrence& a, const Occurrence& b) {
                         return a.date != b.date ? a.date < b.date : a.minutes < b.minutes;
                     });
    return finish(true);
}

} // namespace IcalImport
