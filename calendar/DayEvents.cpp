#include "calendar/DayEvents.h"

#include "calendar/DayPlacement.h"
#include "calendar/SyncProperties.h"

namespace DayEvents {

using SyncProperties::ToBookText;
using SyncProperties::ToEventText;

namespace {

// A text written into the book: kept as it is when it already says the same, so that a
// day's line breaks change only where its text does.
void Assign(QString& target, const QString& eventText) {
    if (ToEventText(target) != eventText)
        target = ToBookText(eventText);
}

QString JoinBook(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

QString MemoLine(const Fields& fields) {
    // The line import writes for an event that finds no row, marked as the calendar's.
    Occurrence o;
    o.time = fields.time;
    o.plan = fields.plan;
    o.detail = fields.detail;
    return SyncProperties::kMemoLineMark + DayPlacement::MemoLine(o);
}

QStringList MemoLines(const QString& memo) {
    return ToEventText(memo).split(u'\n');
}

namespace {

// The memo's lines split into the user's own and the known lines found, each known line
// counted once for every time it is known.
void SplitMemo(const QString& memo, QStringList known, QStringList& own, QStringList& found) {
    for (const QString& line : MemoLines(memo)) {
        if (const qsizetype at = known.indexOf(line); at >= 0) {
            known.removeAt(at);
            found << line;
        } else {
            own << line;
        }
    }
}

} // namespace

std::vector<Entry> EntriesOfDay(const CYoteiDay& day, const QDate& date,
                                const QStringList& knownLines) {
    std::vector<Entry> entries;
    if (!day.m_heading.isEmpty() || !day.m_headingDetail.isEmpty()) {
        Entry e;
        e.date = date;
        e.slot = Slot::heading;
        e.fields = {QString(), ToEventText(day.m_heading), ToEventText(day.m_headingDetail)};
        entries.push_back(e);
    }
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (day.m_plans[r].isEmpty() && day.m_details[r].isEmpty())
            continue;
        Entry e;
        e.date = date;
        e.slot = Slot::row;
        e.row = r;
        e.fields = {ToEventText(day.m_times[r]), ToEventText(day.m_plans[r]),
                    ToEventText(day.m_details[r])};
        entries.push_back(e);
    }
    QStringList own;
    QStringList found;
    SplitMemo(day.m_dayMemo, knownLines, own, found);
    const QString ownText = own.join(u'\n');
    if (!ownText.isEmpty()) {
        Entry e;
        e.date = date;
        e.slot = Slot::memo;
        e.fields = {QString(), ownText, QString()};
        entries.push_back(e);
    }
    for (const QString& line : found) {
        Entry e;
        e.date = date;
        e.slot = Slot::memoLine;
        e.fields = {QString(), line, QString()};
        entries.push_back(e);
    }
    return entries;
}

void DayEditor::SetMemoOwnText(const QString& text) {
    QStringList own;
    QStringList found;
    SplitMemo(m_day.m_dayMemo, m_knownLines, own, found);
    if (own.join(u'\n') == text)
        return;
    QStringList lines;
    if (!text.isEmpty())
        lines << ToBookText(text);
    lines << found;
    m_day.m_dayMemo = JoinBook(lines);
    m_changed = true;
}

void DayEditor::Set(Entry& entry, const Fields& fields) {
    const CYoteiDay before = m_day;
    switch (entry.slot) {
    case Slot::heading:
        Assign(m_day.m_heading, fields.plan);
        Assign(m_day.m_headingDetail, fields.detail);
        break;
    case Slot::row:
        Assign(m_day.m_times[entry.row], fields.time);
        Assign(m_day.m_plans[entry.row], fields.plan);
        Assign(m_day.m_details[entry.row], fields.detail);
        break;
    case Slot::memo:
        SetMemoOwnText(fields.plan);
        break;
    case Slot::memoLine: {
        const QString oldLine = MemoLine(entry.fields);
        const QString newLine = MemoLine(fields);
        QStringList lines = MemoLines(m_day.m_dayMemo);
        const qsizetype at = lines.indexOf(oldLine);
        if (at >= 0 && oldLine != newLine) {
            lines[at] = newLine;
            m_day.m_dayMemo = JoinBook(lines);
            m_knownLines.removeOne(oldLine);
            m_knownLines << newLine;
        }
        break;
    }
    }
    if (!(m_day == before))
        m_changed = true;
    entry.fields = fields;
}

void DayEditor::Clear(const Entry& entry) {
    const CYoteiDay before = m_day;
    switch (entry.slot) {
    case Slot::heading:
        m_day.m_heading.clear();
        m_day.m_headingDetail.clear();
        break;
    case Slot::row:
        m_day.m_times[entry.row] = entry.priorTime;
        m_day.m_plans[entry.row].clear();
        m_day.m_details[entry.row].clear();
        break;
    case Slot::memo:
        SetMemoOwnText(QString());
        break;
    case Slot::memoLine: {
        const QString line = MemoLine(entry.fields);
        QStringList lines = MemoLines(m_day.m_dayMemo);
        if (lines.removeOne(line)) {
            m_day.m_dayMemo = JoinBook(lines);
            m_knownLines.removeOne(line);
        }
        break;
    }
    }
    if (!(m_day == before))
        m_changed = true;
}

bool DayEditor::RowIsFree(int row, const Fields& fields) const {
    if (!m_day.m_plans[row].isEmpty() || !m_day.m_details[row].isEmpty())
        return false;
    const QString& time = m_day.m_times[row];
    if (time.isEmpty() || (!fields.time.isEmpty() && time == fields.time))
        return true;
    // The hour as 時刻データ writes it takes an event of that hour.
    const std::optional<int> minutes = SyncProperties::ClockMinutes(fields.time);
    return minutes && time == QStringLiteral("%1").arg(*minutes / 60, 2, 10, QLatin1Char('0'));
}

Entry DayEditor::Place(const QDate& date, const Fields& fields, Slot preferred, int rowHint) {
    Entry e;
    e.date = date;
    e.fields = fields;
    if (preferred == Slot::heading && m_day.m_heading.isEmpty() &&
        m_day.m_headingDetail.isEmpty()) {
        e.slot = Slot::heading;
        Set(e, fields);
        return e;
    }
    if (preferred == Slot::memo) {
        QStringList own;
        QStringList found;
        SplitMemo(m_day.m_dayMemo, m_knownLines, own, found);
        if (own.join(u'\n').isEmpty()) {
            e.slot = Slot::memo;
            SetMemoOwnText(fields.plan);
            return e;
        }
    }
    int row = -1;
    if (rowHint >= 0 && rowHint < CYoteiDay::kRows && RowIsFree(rowHint, fields))
        row = rowHint;
    for (int r = 0; r < CYoteiDay::kRows && row < 0; ++r) {
        if (RowIsFree(r, fields))
            row = r;
    }
    if (row >= 0) {
        e.slot = Slot::row;
        e.row = row;
        e.priorTime = m_day.m_times[row];
        m_day.m_times[row] = ToBookText(fields.time);
        m_day.m_plans[row] = ToBookText(fields.plan);
        m_day.m_details[row] = ToBookText(fields.detail);
        m_changed = true;
        return e;
    }
    e.slot = Slot::memoLine;
    const QString line = MemoLine(fields);
    m_day.m_dayMemo =
        m_day.m_dayMemo.isEmpty() ? line : m_day.m_dayMemo + QStringLiteral("\r\n") + line;
    m_knownLines << line;
    m_changed = true;
    return e;
}

} // namespace DayEvents
