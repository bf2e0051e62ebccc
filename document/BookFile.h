#pragma once

#include "document/YoteiDay.h"

#include <memory>
#include <vector>

class CArchive;

using DayList = std::vector<std::unique_ptr<CYoteiDay>>;

// The one place that knows the bytes of a book file. The row count of a day is handed in and
// checked here, once, against the ten rows a day holds: no count can overrun them.
namespace BookFile {

// Reads the record count and the records, appending each complete one to days. Damage raises
// CArchiveException naming what was wrong and where (or CMemoryException); the records
// completed before it stay in days. A row count outside 0 to 10 raises CInvalidArgException.
void ReadDays(CArchive& ar, int rowCount, DayList& days);

void WriteDays(CArchive& ar, int rowCount, const DayList& days);

// One day record alone, in exactly the bytes of a book file: the recovery journal's payload.
void ReadDayRecord(CArchive& ar, int rowCount, CYoteiDay& day);
void WriteDayRecord(CArchive& ar, int rowCount, const CYoteiDay& day);

} // namespace BookFile
