#include "calendar/IcalExport.h"

#include "calendar/Libical.h"

#include <QStringList>
#include <map>

namespace IcalExport {

namespace {

// "time plan detail" with the empty parts left out.
QString RowLine(const CYoteiDay& day, int r) {
    QStringList parts;
    for (const QString* part : {&day.m_times[r], &day.m_plans[r], &day.m_details[r]}) {
        if (!part->isEmpty())
            parts << *part;
    }
    return parts.join(u' ');
}

// A TEXT value for libical, which escapes it: one kind of line break and no controls, which a
// value may not hold; then U+FFFD for each UTF-16 surrogate left without its partner, which
// UTF-8 cannot hold.
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
    for (qsizetype i = 0; i < clean.size(); ++i) {
        if (clean[i].isHighSurrogate() && i + 1 < clean.size() && clean[i + 1].isLowSurrogate())
            ++i;
        else if (clean[i].isSurrogate())
            clean[i] = QChar(0xFFFD);
    }
    return clean.toUtf8();
}

// A DATE property. Built from its text, since libical refuses to build a date after the year 3000
// from fields, though it reads and writes one.
icalproperty* DateProperty(const char* name, const QDate& date) {
    const QByteArray line =
        QByteArray(name) + ";VALUE=DATE:" + date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    return icalproperty_new_from_string(line.constData());
}

QDate CalendarDay(const CYoteiDay& day) {
    COleDateTime::Fields f;
    if (!day.m_dayDate.GetFields(f))
        return QDate();
    return QDate(f.year, f.month, f.day);
}

} // namespace

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

QString Summary(const CYoteiDay& day) {
    if (!day.m_heading.isEmpty())
        return day.m_heading;
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (!day.m_plans[r].isEmpty())
            return day.m_plans[r];
    }
    // A day with times, details or a memo only: its first line of text.
    QString first = Description(day);
    first.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return first.section(u'\n', 0, 0);
}

icalcomponent* NewEvent(const CYoteiDay& day, const QByteArray& uid, const QDateTime& stamp) {
    Libical::Quiet();
    const QDate date = CalendarDay(day);
    icalcomponent* event = icalcomponent_new_vevent();
    icalcomponent_add_property(event, icalproperty_new_uid(uid.constData()));
    icalcomponent_add_property(
        event, icalproperty_new_dtstamp(icaltime_from_timet_with_zone(
                   time_t(stamp.toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone())));
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
    const QString description = Description(day);
    icalcomponent_add_property(event,
                               icalproperty_new_summary(ValueText(Summary(day)).constData()));
    if (!description.isEmpty())
        icalcomponent_add_property(
            event, icalproperty_new_description(ValueText(description).constData()));
    return event;
}

QByteArray Calendar(const DayList& days, const QDateTime& stamp) {
    Libical::Quiet();
    Libical::Component cal(icalcomponent_new_vcalendar());
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//Tavrino//tavrino-book//JA"));
    icalcomponent_add_property(cal.get(), icalproperty_new_calscale("GREGORIAN"));
    std::map<QByteArray, int> seen; // a day held twice still needs a UID of its own
    for (const auto& day : days) {
        const QDate date = CalendarDay(*day);
        if (!date.isValid() || !day->HasText())
            continue;
        const QByteArray start = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        const int n = ++seen[start];
        const QByteArray uid = start + (n > 1 ? "-" + QByteArray::number(n) : QByteArray());
        icalcomponent_add_component(cal.get(), NewEvent(*day, uid + "@tavrino-book", stamp));
    }
    char* text = icalcomponent_as_ical_string_r(cal.get());
    QByteArray out(text);
    icalmemory_free_buffer(text);
    // libical 3.0 folds a line whose content ends two octets short of the limit between the CR
    // and the LF of its line end, leaving a stray CR and a bare LF; put the line end back.
    out.replace("\r\r\n \n", "\r\n");
    return out;
}

} // namespace IcalExport
