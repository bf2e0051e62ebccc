#include "tools/book/BookExport.h"

#include "tools/book/BookText.h"

namespace BookExport {

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
