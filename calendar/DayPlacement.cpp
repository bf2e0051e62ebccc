#include "calendar/DayPlacement.h"

#include <QSet>
#include <QStringList>

namespace DayPlacement {

namespace {

QStringList MemoLines(const QString& memo) {
    QString unified = memo;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return unified.split(u'\n');
}

bool InRow(const CYoteiDay& day, int r, const Occurrence& o) {
    return day.m_times[r] == o.time && day.m_plans[r] == o.plan && day.m_details[r] == o.detail;
}

bool InRows(const CYoteiDay& day, const Occurrence& o) {
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (InRow(day, r, o))
            return true;
    }
    return false;
}

} // namespace

QString MemoLine(const Occurrence& o) {
    QStringList kept;
    for (const QString* part : {&o.time, &o.plan, &o.detail}) {
        if (part->isEmpty())
            continue;
        QString line = *part;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        kept << line.replace(u'\r', u' ').replace(u'\n', u' ');
    }
    return kept.join(u' ');
}

bool Holds(const CYoteiDay& day, const Occurrence& o) {
    return InRows(day, o) || MemoLines(day.m_dayMemo).contains(MemoLine(o));
}

std::vector<Placed> Place(CYoteiDay& day, const std::vector<Occurrence>& occurrences) {
    std::vector<Placed> placed;
    const QStringList memoLines = MemoLines(day.m_dayMemo);
    QSet<QString> inMemo(memoLines.begin(), memoLines.end());
    for (const Occurrence& o : occurrences) {
        if (o.time.isEmpty() && o.plan.isEmpty() && o.detail.isEmpty())
            continue;
        const QString line = MemoLine(o);
        // What is written, all of it, tells an occurrence already there: two events at one time
        // under one title but in two rooms are two rows, and a second import adds nothing.
        if (inMemo.contains(line) || InRows(day, o))
            continue;
        const QString hour = o.time.left(2);
        int row = -1;
        for (int r = 0; r < CYoteiDay::kRows && row < 0; ++r) {
            const QString& time = day.m_times[r];
            if (day.m_plans[r].isEmpty() && day.m_details[r].isEmpty() &&
                (time.isEmpty() || (!o.time.isEmpty() && time == hour)))
                row = r;
        }
        if (row >= 0) {
            day.m_times[row] = o.time;
            day.m_plans[row] = o.plan;
            day.m_details[row] = o.detail;
        } else {
            QString& memo = day.m_dayMemo;
            if (!memo.isEmpty() && !memo.endsWith(u'\n') && !memo.endsWith(u'\r'))
                memo += QStringLiteral("\r\n");
            memo += line;
            inMemo.insert(line);
        }
        placed.push_back({row, line});
    }
    return placed;
}

} // namespace DayPlacement
