#include "document/BookFile.h"

#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"

#include <algorithm>

namespace BookFile {

namespace {

// The smallest record: status, date and 33 one-byte empty strings of the 8-bit form.
constexpr qint64 kSmallestRecord = 4 + 8 + 33;
// The largest count a book can hold: no writer ever stored more days than this, and the old
// readers took a count above it as negative.
constexpr quint32 kMaxRecords = 0x80000000u;

int CheckedRows(int rowCount) {
    if (rowCount < 0 || rowCount > CYoteiDay::kRows)
        throw CInvalidArgException();
    return rowCount;
}

void ReadDay(CArchive& ar, int rows, CYoteiDay& day, quint32 index, const CYoteiDay& previous) {
    // Which field is being read, so that damage can say where it is. Each text is read against
    // the same field of the day before, whose text it shares when they are equal.
    const char* field = "date";
    int row = -1;
    try {
        ar.ReadDate(day.m_dayDate);
        field = "heading";
        day.m_heading = ar.ReadString(previous.m_heading);
        field = "heading detail";
        day.m_headingDetail = ar.ReadString(previous.m_headingDetail);
        for (int r = 0; r < rows; ++r) {
            row = r;
            field = "time";
            day.m_times[r] = ar.ReadString(previous.m_times[r]);
            field = "plan";
            day.m_plans[r] = ar.ReadString(previous.m_plans[r]);
            field = "detail";
            day.m_details[r] = ar.ReadString(previous.m_details[r]);
        }
        row = -1;
        field = "memo";
        day.m_dayMemo = ar.ReadString(previous.m_dayMemo);
    } catch (CArchiveException& e) {
        e.m_strWhere =
            row < 0 ? QStringLiteral("record %1, %2").arg(index + 1).arg(QLatin1StringView(field))
                    : QStringLiteral("record %1, row %2 %3")
                          .arg(index + 1)
                          .arg(row + 1)
                          .arg(QLatin1StringView(field));
        throw;
    }
}

void WriteDay(CArchive& ar, int rows, const CYoteiDay& day) {
    ar.WriteDate(day.m_dayDate);
    ar.WriteString(day.m_heading);
    ar.WriteString(day.m_headingDetail);
    for (int r = 0; r < rows; ++r) {
        ar.WriteString(day.m_times[r]);
        ar.WriteString(day.m_plans[r]);
        ar.WriteString(day.m_details[r]);
    }
    ar.WriteString(day.m_dayMemo);
}

} // namespace

void ReadDays(CArchive& ar, int rowCount, DayList& days) {
    const int rows = CheckedRows(rowCount);
    const QString where = QStringLiteral("record count");
    quint32 count = 0;
    try {
        count = ar.ReadUInt32();
    } catch (CArchiveException& e) {
        e.m_strWhere = where;
        throw;
    }
    // Neither can come from a book: a text or an image whose fourth byte is 80 or more, or a
    // format that starts with four zero bytes, must not open as an empty book and be replaced
    // by one on the next save.
    if (count > kMaxRecords) {
        CArchiveException e(CArchiveException::badSchema,
                            QStringLiteral("%1 (%2) is more days than a book can hold")
                                .arg(count)
                                .arg(QString::number(count, 16).toUpper()),
                            0);
        e.m_strWhere = where;
        throw e;
    }
    if (count == 0 && ar.BytesRemaining() > 0) {
        CArchiveException e(
            CArchiveException::badSchema,
            QStringLiteral("a count of 0 days followed by %1 more bytes").arg(ar.BytesRemaining()),
            0);
        e.m_strWhere = where;
        throw e;
    }
    // Never trust the count for the allocation: the file cannot hold more than this.
    days.reserve(days.size() + std::min<qint64>(count, ar.BytesRemaining() / kSmallestRecord));
    const CYoteiDay none;
    const CYoteiDay* previous = &none;
    for (quint32 i = 0; i < count; ++i) {
        auto day = std::make_unique<CYoteiDay>();
        ReadDay(ar, rows, *day, i, *previous);
        previous = day.get();
        days.push_back(std::move(day));
    }
}

void ReadDayRecord(CArchive& ar, int rowCount, CYoteiDay& day) {
    ReadDay(ar, CheckedRows(rowCount), day, 0, CYoteiDay());
}

void WriteDayRecord(CArchive& ar, int rowCount, const CYoteiDay& day) {
    WriteDay(ar, CheckedRows(rowCount), day);
}

void WriteDays(CArchive& ar, int rowCount, const DayList& days) {
    const int rows = CheckedRows(rowCount);
    ar.WriteUInt32(quint32(days.size()));
    for (const auto& day : days)
        WriteDay(ar, rows, *day);
}

} // namespace BookFile
