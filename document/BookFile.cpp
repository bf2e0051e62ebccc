#include "document/BookFile.h"

#include "platform/core/Archive.h"

#include <algorithm>

namespace BookFile {

namespace {
// The smallest record: status, date and 33 one-byte empty strings of the 8-bit form.
constexpr qint64 kSmallestRecord = 4 + 8 + 33;
} // namespace

quint32 RecordsToRead(quint32 storedCount) {
    // The count is taken as signed: from 80000001 on, N - 1 is negative and no record is read.
    return (storedCount == 0 || storedCount - 1 >= 0x80000000u) ? 0 : storedCount;
}

void ReadDay(CArchive& ar, int rowCount, CYoteiDay& day) {
    ar.ReadDate(day.m_dayDate);
    day.m_heading = ar.ReadString();
    day.m_headingDetail = ar.ReadString();
    for (int r = 0; r < rowCount; ++r) {
        day.m_times[r] = ar.ReadString();
        day.m_plans[r] = ar.ReadString();
        day.m_details[r] = ar.ReadString();
    }
    day.m_dayMemo = ar.ReadString();
}

void ReadDays(CArchive& ar, int rowCount, DayList& days) {
    const quint32 count = RecordsToRead(ar.ReadUInt32());
    // Never trust the count for the allocation: the file cannot hold more than this.
    days.reserve(days.size() + std::min<qint64>(count, ar.BytesRemaining() / kSmallestRecord));
    for (quint32 i = 0; i < count; ++i) {
        auto day = std::make_unique<CYoteiDay>();
        ReadDay(ar, rowCount, *day);
        days.push_back(std::move(day));
    }
}

void WriteDay(CArchive& ar, int rowCount, const CYoteiDay& day) {
    ar.WriteDate(day.m_dayDate);
    ar.WriteString(day.m_heading);
    ar.WriteString(day.m_headingDetail);
    for (int r = 0; r < rowCount; ++r) {
        ar.WriteString(day.m_times[r]);
        ar.WriteString(day.m_plans[r]);
        ar.WriteString(day.m_details[r]);
    }
    ar.WriteString(day.m_dayMemo);
}

void WriteDays(CArchive& ar, int rowCount, const DayList& days) {
    ar.WriteUInt32(quint32(days.size()));
    for (const auto& day : days)
        WriteDay(ar, rowCount, *day);
}

} // namespace BookFile
