#include "sheets/WeekSheet.h"

#include "document/JapaneseHolidays.h"
#include "platform/core/StringTable.h"
#include "sheets/MonthSheet.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

using SheetDays::Metrics;
using SheetDays::Scaled;

struct WeekSheet::Layout {
    QFont titleFont, dateFont, weekdayFont, textFont, headingFont, smallFont;
    QRectF title, grid;
    int columns = 2;
    int firstSlot = 0; // the slot in the first box: 0, or 4 on a right-hand page
    double boxWidth = 0;
    double boxHeight = 0;
    double pad = 0;
    double header = 0; // the height of the line with the date
    double line = 0;   // the height of each line below it
    int lines = 0;     // how many of those a box holds
    double rule = 1;
};

WeekSheet::WeekSheet(const QDate& date) {
    const QDate day = date.isValid() ? date : QDate::currentDate();
    const QDate monday = day.addDays(1 - day.dayOfWeek());
    for (int i = 0; i < 7; ++i)
        m_days[std::size_t(i)].date = monday.addDays(i);
}

void WeekSheet::Fill(const CBookModel& book) {
    const std::vector<const CYoteiDay*> stored = SheetDays::Between(book, Monday(), m_days[6].date);
    for (std::size_t i = 0; i < m_days.size(); ++i) {
        Day& day = m_days[i];
        day.holiday = JapaneseHolidays::NameOf(day.date);
        day.heading.clear();
        day.lines.clear();
        day.hasText = false;
        if (const CYoteiDay* record = i < stored.size() ? stored[i] : nullptr) {
            day.heading = SheetDays::OneLine(record->m_heading);
            day.lines = SheetDays::Lines(*record);
            day.hasText = record->HasText();
        }
    }
}

WeekSheet::Layout WeekSheet::Measure(const QRectF& rect, const QFont& font, Part part,
                                     QPaintDevice* device) const {
    Layout l;
    l.titleFont = Scaled(font, 1.3, true);
    l.dateFont = Scaled(font, 1.15, true);
    l.weekdayFont = Scaled(font, 0.95);
    l.textFont = font;
    l.headingFont = Scaled(font, 1.0, true);
    l.smallFont = Scaled(font, 0.85);
    const QFontMetricsF base = Metrics(font, device);
    l.rule = std::max(base.height() / 16.0, 1.0);
    l.pad = base.height() * 0.25;
    l.title =
        QRectF(rect.left(), rect.top(), rect.width(), Metrics(l.titleFont, device).height() * 1.6);
    l.grid = QRectF(rect.left(), l.title.bottom(), rect.width(),
                    std::max(rect.bottom() - l.title.bottom(), 0.0));
    l.columns = part == Part::Whole ? 2 : 1;
    l.firstSlot = part == Part::Right ? 4 : 0;
    l.boxWidth = l.grid.width() / l.columns;
    l.boxHeight = l.grid.height() / 4;
    l.header = Metrics(l.dateFont, device).height() + l.pad;
    // A little more than the text needs: the lines are ruled for writing by hand too.
    l.line = base.height() * 1.3;
    l.lines = l.line > 0 ? std::max(int((l.boxHeight - l.header - l.pad) / l.line), 0) : 0;
    return l;
}

QRectF WeekSheet::SlotRect(const QRectF& rect, const QFont& font, int slot, Part part,
                           QPaintDevice* device) const {
    const Layout l = Measure(rect, font, part, device);
    const int index = slot - l.firstSlot;
    if (slot < 0 || slot >= kSlots || index < 0 || index >= 4 * l.columns)
        return QRectF();
    return QRectF(l.grid.left() + (index / 4) * l.boxWidth,
                  l.grid.top() + (index % 4) * l.boxHeight, l.boxWidth, l.boxHeight);
}

int WeekSheet::LinesPerSlot(const QRectF& rect, const QFont& font, Part part,
                            QPaintDevice* device) const {
    return Measure(rect, font, part, device).lines;
}

void WeekSheet::Draw(QPainter& painter, const QRectF& rect, const QFont& font, Part part) const {
    const Layout l = Measure(rect, font, part, painter.device());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, Qt::white);

    const QDate& sunday = m_days[6].date;
    const QString title = LoadString(IDS_WEEK_SHEET_TITLE)
                              .arg(Monday().year())
                              .arg(Monday().month())
                              .arg(Monday().day())
                              .arg(sunday.month())
                              .arg(sunday.day());
    painter.setFont(l.titleFont);
    painter.setPen(SheetDays::Ink());
    // On facing pages each title stands at the outer edge.
    const Qt::Alignment side = part == Part::Right ? Qt::AlignRight : Qt::AlignLeft;
    painter.drawText(l.title, side | Qt::AlignVCenter, title);

    const int boxes = 4 * l.columns;
    for (int index = 0; index < boxes; ++index) {
        const int slot = l.firstSlot + index;
        const QRectF box(l.grid.left() + (index / 4) * l.boxWidth,
                         l.grid.top() + (index % 4) * l.boxHeight, l.boxWidth, l.boxHeight);
        if (slot < 7)
            DrawDay(painter, l, m_days[std::size_t(slot)], box, index == 0);
        else
            DrawNotes(painter, l, box);
    }

    QPen rule(SheetDays::Rule(), l.rule);
    rule.setCapStyle(Qt::FlatCap);
    painter.setPen(rule);
    painter.setBrush(Qt::NoBrush);
    for (int column = 0; column <= l.columns; ++column) {
        const double x = l.grid.left() + column * l.boxWidth;
        painter.drawLine(QPointF(x, l.grid.top()), QPointF(x, l.grid.bottom()));
    }
    for (int row = 0; row <= 4; ++row) {
        const double y = l.grid.top() + row * l.boxHeight;
        painter.drawLine(QPointF(l.grid.left(), y), QPointF(l.grid.right(), y));
    }
    painter.restore();
}

void WeekSheet::DrawDay(QPainter& painter, const Layout& l, const Day& day, const QRectF& box,
                        bool first) const {
    const QRectF inner = box.adjusted(l.pad, 0, -l.pad, 0);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(box);
    const QPaintDevice* device = painter.device();

    const MonthSheet::Fit fit =
        MonthSheet::FitRows(!day.heading.isEmpty(), int(day.lines.size()), l.lines);
    const bool markerInHeader = fit.hidden > 0 && fit.heading + fit.rows >= l.lines;
    const QString marker =
        fit.hidden > 0 ? LoadString(IDS_MONTH_SHEET_MORE_ROWS).arg(fit.hidden) : QString();

    // The date line: the date (with its month on the first day of the sheet and of a month),
    // the weekday, the holiday; what was left out at its right end when no line is left for it.
    const QRectF header(inner.left(), inner.top(), inner.width(), l.header);
    const QColor colour = SheetDays::DateColour(day.date, !day.holiday.isEmpty());
    const QString number = first || day.date.day() == 1
                               ? QStringLiteral("%1/%2").arg(day.date.month()).arg(day.date.day())
                               : QString::number(day.date.day());
    painter.setPen(colour);
    painter.setFont(l.dateFont);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, number);
    double x = header.left() + Metrics(l.dateFont, device).horizontalAdvance(number) + l.pad;
    const QString weekday = SheetDays::Weekday(day.date);
    painter.setFont(l.weekdayFont);
    painter.drawText(QRectF(x, header.top(), std::max(header.right() - x, 0.0), header.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, weekday);
    x += Metrics(l.weekdayFont, device).horizontalAdvance(weekday) + l.pad * 2;
    double right = header.right();
    const QFontMetricsF small = Metrics(l.smallFont, device);
    if (markerInHeader) {
        painter.setFont(l.smallFont);
        painter.setPen(SheetDays::Muted());
        painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter, marker);
        right -= small.horizontalAdvance(marker) + l.pad;
    }
    if (!day.holiday.isEmpty() && right > x) {
        painter.setFont(l.smallFont);
        painter.setPen(colour);
        painter.drawText(QRectF(x, header.top(), right - x, header.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         small.elidedText(day.holiday, Qt::ElideRight, right - x));
    }

    // The lines, ruled faintly for writing by hand, then the day's heading, rows and memo.
    painter.setPen(QPen(SheetDays::FaintRule(), l.rule));
    for (int i = 1; i <= l.lines; ++i) {
        const double y = header.bottom() + i * l.line;
        painter.drawLine(QPointF(inner.left(), y), QPointF(inner.right(), y));
    }
    double y = header.bottom();
    const auto lineBox = [&] { return QRectF(inner.left(), y, inner.width(), l.line); };
    if (fit.heading) {
        painter.setFont(l.headingFont);
        painter.setPen(SheetDays::Ink());
        const QRectF r = lineBox();
        painter.drawText(
            r, Qt::AlignLeft | Qt::AlignVCenter,
            Metrics(l.headingFont, device).elidedText(day.heading, Qt::ElideRight, r.width()));
        y += l.line;
    }
    const QFontMetricsF text = Metrics(l.textFont, device);
    const double gap = text.horizontalAdvance(u' ');
    painter.setFont(l.textFont);
    for (int i = 0; i < fit.rows; ++i) {
        const SheetDays::Line& line = day.lines[std::size_t(i)];
        QRectF r = lineBox();
        if (!line.time.isEmpty()) {
            const QString time = text.elidedText(line.time, Qt::ElideRight, r.width() / 3);
            painter.setPen(SheetDays::Muted());
            painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, time);
            r.setLeft(r.left() + text.horizontalAdvance(time) + gap);
        }
        painter.setPen(line.memo ? SheetDays::Muted() : SheetDays::Ink());
        const QString shown = text.elidedText(line.text, Qt::ElideRight, std::max(r.width(), 0.0));
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, shown);
        // The detail after the plan, where the paper leaves room for it.
        if (!m_small && !line.detail.isEmpty() && shown == line.text) {
            r.setLeft(r.left() + text.horizontalAdvance(shown) + gap * 2);
            if (r.width() > gap * 3) {
                painter.setPen(SheetDays::Muted());
                painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                                 text.elidedText(line.detail, Qt::ElideRight, r.width()));
            }
        }
        y += l.line;
    }
    if (fit.hidden > 0 && !markerInHeader) {
        painter.setFont(l.smallFont);
        painter.setPen(SheetDays::Muted());
        painter.drawText(lineBox(), Qt::AlignLeft | Qt::AlignVCenter, marker);
    }
    painter.restore();
}

void WeekSheet::DrawNotes(QPainter& painter, const Layout& l, const QRectF& box) const {
    const QRectF inner = box.adjusted(l.pad, 0, -l.pad, 0);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(box);
    const QRectF header(inner.left(), inner.top(), inner.width(), l.header);
    painter.setFont(l.weekdayFont);
    painter.setPen(SheetDays::Muted());
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, LoadString(IDS_SHEET_MEMO));
    painter.setPen(QPen(SheetDays::FaintRule(), l.rule));
    for (int i = 1; i <= l.lines; ++i) {
        const double y = header.bottom() + i * l.line;
        painter.drawLine(QPointF(inner.left(), y), QPointF(inner.right(), y));
    }
    painter.restore();
}
