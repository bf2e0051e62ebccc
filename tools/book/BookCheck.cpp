#include "tools/book/BookCheck.h"

#include "tools/book/BookText.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace BookCheck {

namespace {

QString ValueText(double value) {
    return QString::fromLatin1(BookText::DateValueText(value));
}

// "2009-07-07 (40001)", or the status and value of a date that is not a calendar day.
QString DateText(const COleDateTime& date) {
    const QString day = BookText::DayText(date);
    if (day.isEmpty())
        return QStringLiteral("no calendar day (status %1, value %2)")
            .arg(quint32(date.m_status))
            .arg(ValueText(date.m_dt));
    return QStringLiteral("%1 (%2)").arg(day, ValueText(date.m_dt));
}

void AppendList(QStringList& lines, const QString& heading, const QStringList& items) {
    lines << QStringLiteral("%1: %2").arg(heading).arg(items.size());
    for (const QString& item : items)
        lines << QStringLiteral("  ") + item;
}

} // namespace

QString Summary(const DayList& days, qint64 trailingBytes) {
    QStringList lines;
    lines << QStringLiteral("days: %1").arg(days.size());

    const CYoteiDay* first = nullptr;
    const CYoteiDay* last = nullptr;
    // Calendar day and record number of every day; sorted, a date held twice is a run.
    std::vector<std::pair<std::tuple<int, int, int>, std::size_t>> byDay;
    byDay.reserve(days.size());
    QStringList noDay, outOfOrder, withTime;
    const COleDateTime* previous = nullptr;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const COleDateTime& date = days[i]->m_dayDate;
        // Only the few days that are reported need their number as text.
        const auto record = [i] { return QString::number(i + 1); };
        COleDateTime::Fields f;
        if (!date.GetFields(f)) {
            noDay << QStringLiteral("record %1: %2").arg(record(), DateText(date));
            continue;
        }
        if (!first || date < first->m_dayDate)
            first = days[i].get();
        if (!last || last->m_dayDate < date)
            last = days[i].get();
        byDay.push_back({{f.year, f.month, f.day}, i + 1});
        if (previous && date < *previous)
            outOfOrder << QStringLiteral("record %1: %2 after %3")
                              .arg(record(), DateText(date), DateText(*previous));
        previous = &date;
        if (std::trunc(date.m_dt) != date.m_dt)
            withTime << QStringLiteral("record %1: %2 %3:%4:%5 (%6)")
                            .arg(record(), BookText::DayText(date))
                            .arg(f.hour, 2, 10, QLatin1Char('0'))
                            .arg(f.minute, 2, 10, QLatin1Char('0'))
                            .arg(f.second, 2, 10, QLatin1Char('0'))
                            .arg(ValueText(date.m_dt));
    }
    lines << QStringLiteral("first date: %1")
                 .arg(first ? DateText(first->m_dayDate) : QStringLiteral("none"));
    lines << QStringLiteral("last date: %1")
                 .arg(last ? DateText(last->m_dayDate) : QStringLiteral("none"));

    std::sort(byDay.begin(), byDay.end());
    QStringList twice;
    for (auto run = byDay.begin(); run != byDay.end();) {
        const auto end = std::find_if(run, byDay.end(),
                                      [&](const auto& entry) { return entry.first != run->first; });
        if (end - run > 1) {
            QStringList records;
            for (auto it = run; it != end; ++it)
                records << QString::number(it->second);
            twice << QStringLiteral("%1-%2-%3: records %4")
                         .arg(std::get<0>(run->first), 4, 10, QLatin1Char('0'))
                         .arg(std::get<1>(run->first), 2, 10, QLatin1Char('0'))
                         .arg(std::get<2>(run->first), 2, 10, QLatin1Char('0'))
                         .arg(records.join(QStringLiteral(", ")));
        }
        run = end;
    }
    AppendList(lines, QStringLiteral("dates held twice"), twice);
    AppendList(lines, QStringLiteral("records out of order"), outOfOrder);
    AppendList(lines, QStringLiteral("dates with a time of day"), withTime);
    AppendList(lines, QStringLiteral("records without a calendar day"), noDay);
    lines << QStringLiteral("trailing bytes: %1").arg(trailingBytes);
    return lines.join(u'\n') + u'\n';
}

} // namespace BookCheck
