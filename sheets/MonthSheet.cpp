#include "sheets/MonthSheet.h"

#include "document/JapaneseHolidays.h"
#include "platform/core/StringTable.h"
#include "sheets/SheetDays.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

using SheetDays::Metrics;
using SheetDays::Scaled;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kMuted(0x6a, 0x6a, 0x6a);
const QColor kGrey(0xa8, 0xa8, 0xa8);
const QColor kRule(0xb4, 0xb4, 0xb4);
const QColor kPaper(Qt::white);
const QColor kOtherMonth(0xf4, 0xf4, 0xf4);
const QColor kHeaderBand(0xee, 0xee, 0xee);
const QColor kToday(0xff, 0xf1, 0xb8);
const QColor kSelection(0x2f, 0x6f, 0xd0);

// A cell draws each text on one line.
QString OneLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    return line;
}

} // namespace

struct MonthSheet::Layout {
    QFont titleFont, weekdayFont, dateFont, busyDateFont, textFont, headingFont, smallFont;
    QRectF title, header, grid;
    double cellWidth = 0;
    double cellHeight = 0;
    double pad = 0;
    double dateLine = 0; // the height of the line with the date
    double line = 0;     // the height of each line below it
    int lines = 0;       // how many of those fit in a cell
    double rule = 1;     // the width of the grid's lines
};

QColor MonthSheet::HolidayColour() {
    return QColor(0xd0, 0x1c, 0x1c);
}

QColor MonthSheet::SaturdayColour() {
    return QColor(0x1f, 0x5f, 0xc8);
}

MonthSheet::MonthSheet(const QDate& date) {
    const QDate day = date.isValid() ? date : QDate::currentDate();
    m_year = day.year();
    m_month = day.month();
    const QDate first(m_year, m_month, 1);
    // Qt counts Monday 1 to Sunday 7; the sheet's weeks begin on Sunday.
    m_first = first.addDays(-(first.dayOfWeek() % 7));
    const QDate last(m_year, m_month, first.daysInMonth());
    const qint64 count = m_first.daysTo(last.addDays(6 - last.dayOfWeek() % 7)) + 1;
    m_days.resize(std::size_t(count));
    for (qint64 i = 0; i < count; ++i)
        m_days[std::size_t(i)].date = m_first.addDays(i);
}

double MonthSheet::Clear() {
    for (Day& day : m_days) {
        day.holiday.clear();
        day.heading.clear();
        day.rows.clear();
        day.hasText = false;
    }
    // Counted from the month's first day: the grid's first may lie before the first date a count
    // can name (1 January 100).
    return COleDateTime(m_year, m_month, 1, 0, 0, 0).m_dt -
           double(m_first.daysTo(QDate(m_year, m_month, 1)));
}

void MonthSheet::Fill(const DayList& days) {
    const double from = Clear();
    const double to = from + double(m_days.size()) - 1;
    std::vector<bool> taken(m_days.size(), false);
    // One pass over a list of days, which need not be in date order.
    const std::size_t count = days.size();
    for (std::size_t i = 0; i < count; ++i) {
        // Each day lives in an allocation of its own: asking for the dates some days ahead
        // overlaps the waits for memory that dominate a pass over a large book.
        if (i + 32 < count)
            __builtin_prefetch(&days[i + 32]->m_dayDate);
        const COleDateTime& date = days[i]->m_dayDate;
        // The raw count is within a day of its calendar day, also before 1900 where the
        // fraction counts the other way: a cheap test keeps the exact one for the few near.
        if (date.m_status != COleDateTime::valid || !(date.m_dt >= from - 2 && date.m_dt <= to + 2))
            continue;
        Take(*days[i], from, taken);
    }
    AddHolidays();
}

void MonthSheet::Fill(const CBookModel& book) {
    const double from = Clear();
    const double to = from + double(m_days.size()) - 1;
    std::vector<bool> taken(m_days.size(), false);
    // The book's date index gives the grid's records alone, in date order and, within one day,
    // in the list's order: as fast on a century as on a book of one day.
    for (const std::size_t i : book.PositionsBetween(COleDateTime(from), COleDateTime(to)))
        Take(*book[i], from, taken);
    AddHolidays();
}

void MonthSheet::Take(const CYoteiDay& stored, double from, std::vector<bool>& taken) {
    const double day = stored.m_dayDate.DatePart().m_dt;
    const double to = from + double(m_days.size()) - 1;
    if (!(day >= from && day <= to))
        return;
    const auto index = std::size_t(day - from);
    // The planner shows the first record of a date held twice.
    if (taken[index])
        return;
    taken[index] = true;
    Day& cell = m_days[index];
    cell.hasText = stored.HasText();
    cell.heading = OneLine(stored.GetHeading());
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        const QString& plan = stored.m_plans[std::size_t(r)];
        const QString& detail = stored.m_details[std::size_t(r)];
        // A time alone is a label of the timetable, not something to do.
        if (plan.isEmpty() && detail.isEmpty())
            continue;
        cell.rows.push_back(
            {OneLine(stored.m_times[std::size_t(r)]), OneLine(plan.isEmpty() ? detail : plan)});
    }
}

void MonthSheet::AddHolidays() {
    for (JapaneseHolidays::Holiday& h : JapaneseHolidays::Between(m_first, LastDay()))
        m_days[std::size_t(m_first.daysTo(h.date))].holiday = std::move(h.name);
}

const MonthSheet::Day* MonthSheet::DayOf(const QDate& date) const {
    const qint64 index = m_first.daysTo(date);
    if (!date.isValid() || index < 0 || index >= qint64(m_days.size()))
        return nullptr;
    return &m_days[std::size_t(index)];
}

MonthSheet::Fit MonthSheet::FitRows(bool heading, int rows, int lines) {
    lines = std::max(lines, 0);
    const int headingLines = heading && lines > 0 ? 1 : 0;
    const int room = lines - headingLines;
    if (rows <= room)
        return {headingLines, rows, 0};
    // The last line that is left tells how many rows are not shown.
    const int shown = std::max(room - 1, 0);
    return {headingLines, shown, rows - shown};
}

MonthSheet::Layout MonthSheet::Measure(const QRectF& rect, const QFont& font,
                                       QPaintDevice* device) const {
    Layout l;
    l.titleFont = Scaled(font, 1.5, true);
    l.weekdayFont = font;
    l.dateFont = font;
    l.busyDateFont = Scaled(font, 1.0, true);
    l.textFont = Scaled(font, 0.9);
    l.headingFont = Scaled(font, 0.9, true);
    l.smallFont = Scaled(font, 0.8);
    const QFontMetricsF base = Metrics(font, device);
    const QFontMetricsF text = Metrics(l.textFont, device);
    l.rule = std::max(base.height() / 16.0, 1.0);
    l.pad = base.height() * 0.2;
    l.title =
        QRectF(rect.left(), rect.top(), rect.width(), Metrics(l.titleFont, device).height() * 1.5);
    l.header = QRectF(rect.left(), l.title.bottom(), rect.width(), base.height() * 1.5);
    l.grid = QRectF(rect.left(), l.header.bottom(), rect.width(),
                    std::max(rect.bottom() - l.header.bottom(), 0.0));
    l.cellWidth = l.grid.width() / 7;
    l.cellHeight = l.grid.height() / Weeks();
    l.dateLine = base.height() + l.pad;
    l.line = text.height();
    l.lines = l.line > 0 ? int((l.cellHeight - l.dateLine - l.pad) / l.line) : 0;
    return l;
}

QRectF MonthSheet::CellRect(const QRectF& rect, const QFont& font, const QDate& date,
                            QPaintDevice* device) const {
    if (!DayOf(date))
        return QRectF();
    const Layout l = Measure(rect, font, device);
    const qint64 index = m_first.daysTo(date);
    return QRectF(l.grid.left() + double(index % 7) * l.cellWidth,
                  l.grid.top() + double(index / 7) * l.cellHeight, l.cellWidth, l.cellHeight);
}

QDate MonthSheet::DateAt(const QRectF& rect, const QFont& font, const QPointF& point,
                         QPaintDevice* device) const {
    const Layout l = Measure(rect, font, device);
    if (!l.grid.contains(point) || l.cellWidth <= 0 || l.cellHeight <= 0)
        return QDate();
    const int column = std::clamp(int((point.x() - l.grid.left()) / l.cellWidth), 0, 6);
    const int week = std::clamp(int((point.y() - l.grid.top()) / l.cellHeight), 0, Weeks() - 1);
    return m_first.addDays(week * 7 + column);
}

void MonthSheet::Draw(QPainter& painter, const QRectF& rect, const QFont& font) const {
    const Layout l = Measure(rect, font, painter.device());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, kPaper);

    painter.setFont(l.titleFont);
    painter.setPen(kInk);
    painter.drawText(l.title, Qt::AlignCenter,
                     LoadString(IDS_MONTH_SHEET_TITLE).arg(m_year).arg(m_month));

    painter.fillRect(l.header, kHeaderBand);
    painter.setFont(l.weekdayFont);
    const QString weekdays = LoadString(IDS_MONTH_SHEET_WEEKDAYS);
    for (int column = 0; column < 7 && column < weekdays.size(); ++column) {
        const QRectF box(l.header.left() + column * l.cellWidth, l.header.top(), l.cellWidth,
                         l.header.height());
        painter.setPen(column == 0 ? HolidayColour() : column == 6 ? SaturdayColour() : kInk);
        painter.drawText(box, Qt::AlignCenter, weekdays.at(column));
    }

    for (std::size_t i = 0; i < m_days.size(); ++i) {
        const QRectF cell(l.grid.left() + double(i % 7) * l.cellWidth,
                          l.grid.top() + double(i / 7) * l.cellHeight, l.cellWidth, l.cellHeight);
        DrawDay(painter, l, m_days[i], cell);
    }

    // The rules over the cells, then the frame of the selected day over the rules.
    QPen rule(kRule, l.rule);
    rule.setCapStyle(Qt::FlatCap);
    painter.setPen(rule);
    painter.setBrush(Qt::NoBrush);
    for (int column = 0; column <= 7; ++column) {
        const double x = l.grid.left() + column * l.cellWidth;
        painter.drawLine(QPointF(x, l.header.top()), QPointF(x, l.grid.bottom()));
    }
    painter.drawLine(l.header.topLeft(), l.header.topRight());
    for (int week = 0; week <= Weeks(); ++week) {
        const double y = l.grid.top() + week * l.cellHeight;
        painter.drawLine(QPointF(l.grid.left(), y), QPointF(l.grid.right(), y));
    }
    if (const Day* selected = DayOf(m_selected)) {
        const qint64 index = m_first.daysTo(selected->date);
        const QRectF cell(l.grid.left() + double(index % 7) * l.cellWidth,
                          l.grid.top() + double(index / 7) * l.cellHeight, l.cellWidth,
                          l.cellHeight);
        const double width = l.rule * 2.5;
        painter.setPen(QPen(kSelection, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.drawRect(cell.adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
    painter.restore();
}

void MonthSheet::DrawDay(QPainter& painter, const Layout& l, const Day& day,
                         const QRectF& cell) const {
    const bool inMonth = day.date.month() == m_month;
    if (day.date == m_today)
        painter.fillRect(cell, kToday);
    else if (!inMonth)
        painter.fillRect(cell, kOtherMonth);

    QColor dayColour = kInk;
    if (!inMonth)
        dayColour = kGrey;
    else if (!day.holiday.isEmpty() || day.date.dayOfWeek() == Qt::Sunday)
        dayColour = HolidayColour();
    else if (day.date.dayOfWeek() == Qt::Saturday)
        dayColour = SaturdayColour();
    const QColor textColour = inMonth ? kInk : kGrey;
    const QColor mutedColour = inMonth ? kMuted : kGrey;

    const QRectF inner = cell.adjusted(l.pad, l.pad / 2, -l.pad, -l.pad / 2);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(cell);

    const Fit fit = FitRows(!day.heading.isEmpty(), int(day.rows.size()), l.lines);
    const bool markerOnDateLine = fit.hidden > 0 && fit.heading + fit.rows >= l.lines;
    const QString marker =
        fit.hidden > 0 ? LoadString(IDS_MONTH_SHEET_MORE_ROWS).arg(fit.hidden) : QString();

    // The date line: the day's number, bold when it holds text, then its holiday.
    const QRectF dateLine(inner.left(), inner.top(), inner.width(), l.dateLine);
    const QFont& dateFont = day.hasText ? l.busyDateFont : l.dateFont;
    painter.setFont(dateFont);
    painter.setPen(dayColour);
    const QString number = QString::number(day.date.day());
    painter.drawText(dateLine, Qt::AlignLeft | Qt::AlignVCenter, number);
    double right = dateLine.right();
    if (markerOnDateLine) {
        painter.setFont(l.smallFont);
        painter.setPen(mutedColour);
        painter.drawText(dateLine, Qt::AlignRight | Qt::AlignVCenter, marker);
        right -= Metrics(l.smallFont, painter.device()).horizontalAdvance(marker) + l.pad;
    }
    if (!day.holiday.isEmpty()) {
        const double left =
            dateLine.left() + Metrics(dateFont, painter.device()).horizontalAdvance(number) + l.pad;
        const QFontMetricsF small = Metrics(l.smallFont, painter.device());
        const QRectF box(left, dateLine.top(), std::max(right - left, 0.0), dateLine.height());
        const QString name = small.elidedText(day.holiday, Qt::ElideRight, box.width());
        painter.setFont(l.smallFont);
        painter.setPen(dayColour);
        if (!m_smallPaper || name.size() > 1)
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, name);
    }

    // The lines below: the heading, the rows that fit, and what was left out.
    double y = dateLine.bottom();
    const auto lineBox = [&] { return QRectF(inner.left(), y, inner.width(), l.line); };
    if (fit.heading) {
        painter.setFont(l.headingFont);
        painter.setPen(textColour);
        const QRectF box = lineBox();
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         Metrics(l.headingFont, painter.device())
                             .elidedText(day.heading, Qt::ElideRight, box.width()));
        y += l.line;
    }
    const QFontMetricsF text = Metrics(l.textFont, painter.device());
    const double gap = text.horizontalAdvance(u' ');
    painter.setFont(l.textFont);
    for (int r = 0; r < fit.rows; ++r) {
        const Row& row = day.rows[std::size_t(r)];
        QRectF box = lineBox();
        if (!m_smallPaper && !row.time.isEmpty()) {
            const QString time = text.elidedText(row.time, Qt::ElideRight, box.width() / 2);
            painter.setPen(mutedColour);
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, time);
            box.setLeft(box.left() + text.horizontalAdvance(time) + gap);
        }
        painter.setPen(textColour);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         text.elidedText(row.text, Qt::ElideRight, std::max(box.width(), 0.0)));
        y += l.line;
    }
    if (fit.hidden > 0 && !markerOnDateLine) {
        painter.setFont(l.smallFont);
        painter.setPen(mutedColour);
        painter.drawText(lineBox(), Qt::AlignLeft | Qt::AlignVCenter, marker);
    }
    painter.restore();
}
