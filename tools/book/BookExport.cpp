#include "tools/book/BookExport.h"

#include "tools/book/BookText.h"

#include <QDate>
#include <QStringList>
#include <map>

namespace BookExport {

namespace {

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

QByteArray DateValue(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

void AppendLine(QByteArray& out, const QByteArray& line) {
    out += FoldLine(line);
}

} // namespace

QByteArray IcsText(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u';':
            escaped += QStringLiteral("\\;");
            break;
        case u',':
            escaped += QStringLiteral("\\,");
            break;
        case u'\r':
            // CRLF is one line break.
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            escaped += QStringLiteral("\\n");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        default:
            // Controls other than the tab are not allowed in a value.
            if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F)
                break;
            escaped += c;
        }
    }
    return BookText::ToUtf8(escaped);
}

QByteArray FoldLine(const QByteArray& line) {
    QByteArray out;
    qsizetype pos = 0;
    qsizetype limit = 75; // continuation lines spend one octet on the leading space
    while (line.size() - pos > limit) {
        qsizetype cut = pos + limit;
        while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.mid(pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        limit = 74;
    }
    out += line.mid(pos);
    out += "\r\n";
    return out;
}

QByteArray Ics(const DayList& days, const QDateTime& stamp) {
    QByteArray out;
    AppendLine(out, "BEGIN:VCALENDAR");
    AppendLine(out, "VERSION:2.0");
    AppendLine(out, "PRODID:-//Tavrino//tavrino-book//JA");
    AppendLine(out, "CALSCALE:GREGORIAN");
    const QByteArray dtstamp =
        stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
    std::map<QByteArray, int> seen; // a day held twice still needs a UID of its own
    for (const auto& day : days) {
        COleDateTime::Fields f;
        if (!day->m_dayDate.GetFields(f) || !HasText(*day))
            continue;
        const QDate date(f.year, f.month, f.day);
        const QByteArray start = DateValue(date);
        const int n = ++seen[start];
        const QByteArray uid = start + (n > 1 ? "-" + QByteArray::number(n) : QByteArray());
        AppendLine(out, "BEGIN:VEVENT");
        AppendLine(out, "UID:" + uid + "@tavrino-book");
        AppendLine(out, "DTSTAMP:" + dtstamp);
        AppendLine(out, "DTSTART;VALUE=DATE:" + start);
        const QDate next = date.addDays(1);
        if (next.year() <= 9999)
            AppendLine(out, "DTEND;VALUE=DATE:" + DateValue(next));
        else
            AppendLine(out, "DURATION:P1D"); // the day after 9999-12-31 has no DATE form
        const QString description = Description(*day);
        AppendLine(out, "SUMMARY:" + IcsText(Summary(*day, description)));
        if (!description.isEmpty())
            AppendLine(out, "DESCRIPTION:" + IcsText(description));
        AppendLine(out, "END:VEVENT");
    }
    AppendLine(out, "END:VCALENDAR");
    return out;
}

QByteArray CsvField(const QString& text) {
    const QByteArray utf8 = BookText::ToUtf8(text);
    if (!utf8.contains('"') && !utf8.contains(',') && !utf8.contains('\r') && !utf8.contains('\n'))
        return utf8;
    QByteArray quoted = utf8;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

QByteArray Csv(const DayList& days) {
    QByteArray out = "date,row,time,plan,detail\r\n";
    auto line = [&out](const QByteArray& date, const QByteArray& row, const QString& time,
                       const QString& plan, const QString& detail) {
        if (time.isEmpty() && plan.isEmpty() && detail.isEmpty())
            return;
        out += date + ',' + row + ',' + CsvField(time) + ',' + CsvField(plan) + ',' +
               CsvField(detail) + "\r\n";
    };
    for (const auto& day : days) {
        const QString dayText = BookText::DayText(day->m_dayDate);
        if (dayText.isEmpty())
            continue;
        const QByteArray date = dayText.toLatin1();
        line(date, "heading", QString(), day->m_heading, day->m_headingDetail);
        for (int r = 0; r < CYoteiDay::kRows; ++r)
            line(date, QByteArray::number(r + 1), day->m_times[r], day->m_plans[r],
                 day->m_details[r]);
        line(date, "memo", QString(), day->m_dayMemo, QString());
    }
    return out;
}

} // namespace BookExport
