#pragma once

#include "calendar/Occurrence.h"
#include "document/YoteiDay.h"

#include <vector>

// Where another calendar's occurrences go in one day of the book: the same rule for the import
// and for the sync.
namespace DayPlacement {

struct Placed {
    int row;      // 0 to 9, or -1 for the memo
    QString line; // "time plan detail" on one line, the parts that are empty left out
};

// The occurrence as one memo line: "time plan detail", the empty parts left out, line breaks as
// spaces.
QString MemoLine(const Occurrence& occurrence);

// Whether the day already holds the occurrence: a row with its time, plan and detail, or a memo
// line that is its memo line.
bool Holds(const CYoteiDay& day, const Occurrence& occurrence);

// Places the day's occurrences, in the order given, each into the first free row: one with no
// plan, no detail and a time that is empty or the occurrence's hour as 時刻データ writes it
// ("09" takes a 09:30 start). What does not fit goes into the memo, one line each. Occurrences
// the day already holds, and those without any text, are skipped. Returns what was added.
std::vector<Placed> Place(CYoteiDay& day, const std::vector<Occurrence>& occurrences);

} // namespace DayPlacement
