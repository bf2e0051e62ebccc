#pragma once

#include "document/YoteiDay.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

// A day of the book as the entries a calendar sees, and those entries put back into the day.
// Texts here keep LF line breaks, as events do; the day's own texts keep what they hold.
namespace DayEvents {

// Where an entry sits in its day.
enum class Slot { heading, row, memo, memoLine };

// What both sides compare: an entry's texts.
struct Fields {
    QString time;   // a row's time text
    QString plan;   // 予定; the heading; the memo's own text
    QString detail; // 詳細; the heading detail
    bool operator==(const Fields&) const = default;
    bool IsEmpty() const { return time.isEmpty() && plan.isEmpty() && detail.isEmpty(); }
};

// One entry on one day: where it is and what it holds.
struct Entry {
    QDate date;
    Slot slot = Slot::row;
    Fields fields;
    int row = -1;      // rows: 0 to 9
    QString priorTime; // rows: the time label the row held before a calendar event took it
    // Of a repeating event: which of its occurrences this is (Occurrence::recurrence).
    QString occurrence;
};

// The memo line that shows fields which found no row: the mark, then time, plan and detail on
// one line.
QString MemoLine(const Fields& fields);

// The entries of a day: the heading, each row whose plan or detail has text (a time alone is a
// label and stays in the book), the memo without the lines in knownLines, and each of those
// lines found in the memo (its text in fields.plan: a line cannot be read back into fields).
std::vector<Entry> EntriesOfDay(const CYoteiDay& day, const QDate& date,
                                const QStringList& knownLines);

// The memo's lines, whatever their line breaks.
QStringList MemoLines(const QString& memo);

// A day being changed by sync: entries set, cleared and placed, each in place, so that what the
// user arranged (rows, labels, their own memo lines) stays where it is.
class DayEditor {
public:
    DayEditor(CYoteiDay& day, const QStringList& knownLines)
        : m_day(day), m_knownLines(knownLines) {}

    // Puts new texts where the entry is; the entry then describes the new texts.
    void Set(Entry& entry, const Fields& fields);
    // Takes the entry out of the day: a row gets its prior label back.
    void Clear(const Entry& entry);
    // Puts fields into the day as import places an event: the preferred slot when it is free
    // (a heading, a memo, or the row a hint names), else the first free row (no plan, no detail,
    // and no time or the event's own time or hour), else a line of the memo.
    Entry Place(const QDate& date, const Fields& fields, Slot preferred, int rowHint);

    bool Changed() const { return m_changed; }

private:
    bool RowIsFree(int row, const Fields& fields) const;
    void SetMemoOwnText(const QString& text);

    CYoteiDay& m_day;
    QStringList m_knownLines;
    bool m_changed = false;
};

} // namespace DayEvents
