#pragma once

#include "document/YoteiDay.h"

#include <memory>
#include <vector>

class CArchive;

using DayList = std::vector<std::unique_ptr<CYoteiDay>>;

// The one place that knows the bytes of a book file.
namespace BookFile {

// Record counts from 80000001 to FFFFFFFF read no record, as 0 does.
quint32 RecordsToRead(quint32 storedCount);

// Reads the record count and the records, appending each complete one to days. Damage raises
// CArchiveException (or CMemoryException); the records completed before it stay in days.
void ReadDays(CArchive& ar, int rowCount, DayList& days);
void ReadDay(CArchive& ar, int rowCount, CYoteiDay& day);

void WriteDays(CArchive& ar, int rowCount, const DayList& days);
void WriteDay(CArchive& ar, int rowCount, const CYoteiDay& day);

} // namespace BookFile
