#include "sheets/SheetDays.h"

#include "platform/core/StringTable.h"
#include "sheets/MonthSheet.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

// The days a date count can name.
const QDate kFirstDate(100, 1, 1);
const QDate kLastDate(9999, 12, 31);

COleDateTime ToOle(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

} // namespace

namespace SheetDays {

std::vector<const CYoteiDay*> Between(const CBookModel& book, const QDate& first,
                                      const QDate& last) {
    std::vector<const CYoteiDay*> days;
    if (!first.isValid() || !last.isValid() || last < first)
        return days;
    days.resize(std::size_t(first.daysTo(last) + 1), nullptr);
    const QDate from = std::max(first, kFirstDate);
    const QDate to = std::min(last, kLastDate);
    if (to < from)
        return days;
    const COleDateTime fromDate = ToOle(from);
    const qint64 offset = first.daysTo(from);
    // In date order and, within a day, in the book's order: the first one of a day is shown.
    for (const std::size_t pos : book.PositionsBetween(fromDate, ToOle(to))) {
        const CYoteiDay* day = book[pos].get();
        const auto index =
            std::size_t(offset + qint64(day->m_dayDate.DatePart().m_dt - fromDate.m_dt));
        if (index < days.size() && !days[index])
            days[index] = day;
    }
    return days;
}

std::vector<Line> Lines(const CYoteiDay& day) {
    std::vector<Line> lines;
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        const QString& plan = day.m_plans[std::size_t(r)];
        const QString& detail = day.m_details[std::size_t(r)];
        if (plan.isEmpty() && detail.isEmpty())
            continue;
        Line line;
        line.time = OneLine(day.m_times[std::size_t(r)]);
        line.text = OneLine(plan.isEmpty() ? detail : plan);
        if (!plan.isEmpty())
            line.detail = OneLine(detail);
        lines.push_back(std::move(line));
    }
    for (const QString& paragraph : Paragraphs(day.m_dayMemo)) {
        if (paragraph.trimmed().isEmpty())
            continue;
        Line line;
        line.text = paragraph;
        line.memo = true;
        lines.push_back(std::move(line));
    }
    return lines;
}

QString OneLine(const QString& text) {
    return Paragraphs(text).join(u' ');
}

QStringList Paragraphs(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    return text.split(breaks);
}

QColor DateColour(const QDate& date, bool holiday) {
    if (holiday || date.dayOfWeek() == Qt::Sunday)
        return MonthSheet::HolidayColour();
    if (date.dayOfWeek() == Qt::Saturday)
        return MonthSheet::SaturdayColour();
    return Ink();
}

QString Weekday(const QDate& date) {
    return LoadString(IDS_MONTH_SHEET_WEEKDAYS).mid(date.dayOfWeek() % 7, 1);
}

QFont Scaled(const QFont& font, double factor, bool bold) {
    QFont scaled = font;
    if (font.pointSizeF() > 0)
        scaled.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0)
        scaled.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * factor))));
    if (bold)
        scaled.setBold(true);
    return scaled;
}

QFontMetricsF Metrics(const QFont& font, const QPaintDevice* device) {
    return device ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

QColor Ink() {
    return QColor(0x20, 0x20, 0x20);
}

QColor Muted() {
    return QColor(0x6a, 0x6a, 0x6a);
}

QColor Rule() {
    return QColor(0xb4, 0xb4, 0xb4);
}

QColor FaintRule() {
    return QColor(0xdc, 0xdc, 0xdc);
}

} // namespace SheetDays
