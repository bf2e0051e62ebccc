#include "sheets/DaySheet.h"

#include "document/JapaneseHolidays.h"
#include "platform/core/StringTable.h"
#include "sheets/SheetDays.h"

#include <QPainter>
#include <QPen>
#include <QTextLayout>

#include <algorithm>

using SheetDays::Metrics;
using SheetDays::Scaled;

namespace {

// A text broken into the lines that fit width: at its own line breaks, then where Qt's line
// breaking allows (between any two kanji, at spaces in Latin text, anywhere in a long word).
QStringList Wrap(const QString& text, const QFont& font, double width, QPaintDevice* device) {
    QStringList lines;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : SheetDays::Paragraphs(text)) {
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font, device);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(width, 1.0));
            lines << paragraph.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace

DaySheet::DaySheet(const QDate& date) : m_date(date.isValid() ? date : QDate::currentDate()) {}

void DaySheet::Fill(const CBookModel& book) {
    m_holiday = JapaneseHolidays::NameOf(m_date);
    m_heading.clear();
    m_headingDetail.clear();
    m_memo.clear();
    for (std::size_t r = 0; r < m_times.size(); ++r) {
        m_times[r].clear();
        m_plans[r].clear();
        m_details[r].clear();
    }
    const std::vector<const CYoteiDay*> found = SheetDays::Between(book, m_date, m_date);
    const CYoteiDay* day = found.empty() ? nullptr : found.front();
    if (!day)
        return;
    m_heading = day->m_heading;
    m_headingDetail = day->m_headingDetail;
    for (std::size_t r = 0; r < m_times.size(); ++r) {
        m_times[r] = day->m_times[r];
        m_plans[r] = day->m_plans[r];
        m_details[r] = day->m_details[r];
    }
    m_memo = day->m_dayMemo;
}

int DaySheet::Paginate(const QRectF& rect, const QFont& font, QPaintDevice* device) {
    m_rect = rect;
    m_font = font;
    const QFontMetricsF text = Metrics(font, device);
    m_line = text.lineSpacing();
    m_memoLine = text.height() * 1.4;
    m_pad = text.height() * 0.25;
    m_rule = std::max(text.height() / 16.0, 1.0);
    m_titleHeight = Metrics(Scaled(font, 1.5, true), device).height() * 1.6;
    // The time column holds a time as the planner writes it; plan and detail share the rest.
    m_timeWidth = std::clamp(text.horizontalAdvance(QStringLiteral("00:00")) + 2 * m_pad,
                             rect.width() * 0.1, rect.width() * 0.2);
    m_planWidth = (rect.width() - m_timeWidth) * 0.42;
    const double detailWidth = rect.width() - m_timeWidth - m_planWidth;
    const QFont bold = Scaled(font, 1.0, true);
    const auto wrap = [&](const QString& s, double width, const QFont& f) {
        return Wrap(s, f, width - 2 * m_pad, device);
    };
    for (int row = -1; row < 10; ++row) {
        Row& r = m_rows[std::size_t(row + 1)];
        if (row < 0) {
            r.time = QStringList{QString()};
            r.plan = wrap(m_heading, m_planWidth, bold);
            r.detail = wrap(m_headingDetail, detailWidth, font);
        } else {
            r.time = wrap(m_times[std::size_t(row)], m_timeWidth, font);
            r.plan = wrap(m_plans[std::size_t(row)], m_planWidth, font);
            r.detail = wrap(m_details[std::size_t(row)], detailWidth, font);
        }
        r.lines = int(std::max({r.time.size(), r.plan.size(), r.detail.size()}));
    }

    m_pages.assign(1, Page());
    const double top = rect.top() + m_titleHeight;
    const double bottom = rect.bottom();
    double y = top;
    const auto newPage = [&] {
        m_pages.emplace_back();
        y = top;
    };
    const auto place = [&](Piece piece) {
        piece.top = y;
        y += piece.height;
        m_pages.back().pieces.push_back(std::move(piece));
    };
    // A row is at least as tall as a line and a half, room for writing in by hand; on small
    // paper the memo needs that room more.
    const double minimum = m_line * (m_small ? 1.0 : 1.5) + 2 * m_pad;
    for (int row = -1; row < 10; ++row) {
        const Row& r = RowAt(row);
        const double height = std::max(r.lines * m_line + 2 * m_pad, minimum);
        // A row goes whole to the next page, unless no page could hold it.
        if (y + height > bottom && y > top && height <= bottom - top)
            newPage();
        if (y + height <= bottom) {
            place({Piece::TableRow, row, 0, r.lines, QString(), 0, height});
            continue;
        }
        // Taller than a whole page: its lines fill this page and go on over the next ones.
        for (int first = 0; first < r.lines;) {
            const int room = int((bottom - y - 2 * m_pad) / m_line);
            if (room < 1 && y > top) {
                newPage();
                continue;
            }
            const int count = std::min(std::max(room, 1), r.lines - first);
            place({Piece::TableRow, row, first, count, QString(), 0, count * m_line + 2 * m_pad});
            first += count;
            if (first < r.lines)
                newPage();
        }
    }

    // The memo under its label, at least one of its lines with the label.
    y += m_line * 0.5;
    const double label = m_line + m_pad;
    if (y + label + m_memoLine > bottom)
        newPage();
    place({Piece::MemoLabel, 0, 0, 0, QString(), 0, label});
    const double width = rect.width();
    const QStringList lines =
        m_memo.isEmpty() ? QStringList() : Wrap(m_memo, font, width - 2 * m_pad, device);
    for (const QString& line : lines) {
        if (y + m_memoLine > bottom)
            newPage();
        place({Piece::MemoLine, 0, 0, 0, line, 0, m_memoLine});
    }
    while (y + m_memoLine <= bottom)
        place({Piece::Ruled, 0, 0, 0, QString(), 0, m_memoLine});
    return Pages();
}

void DaySheet::DrawPage(QPainter& painter, int page) const {
    if (page < 0 || page >= Pages())
        return;
    QPaintDevice* device = painter.device();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(m_rect, Qt::white);

    // The date, its weekday and holiday; on the pages the day continues on, a word saying so.
    const QFont titleFont = Scaled(m_font, 1.5, true);
    const QFont small = Scaled(m_font, 0.85);
    const QRectF title(m_rect.left(), m_rect.top(), m_rect.width(), m_titleHeight);
    const QString date = LoadString(IDS_DAY_SHEET_TITLE)
                             .arg(m_date.year())
                             .arg(m_date.month())
                             .arg(m_date.day())
                             .arg(SheetDays::Weekday(m_date));
    const QColor colour = SheetDays::DateColour(m_date, !m_holiday.isEmpty());
    painter.setFont(titleFont);
    painter.setPen(colour);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, date);
    double x = title.left() + Metrics(titleFont, device).horizontalAdvance(date) + m_pad * 2;
    QStringList after;
    if (!m_holiday.isEmpty())
        after << m_holiday;
    if (page > 0)
        after << LoadString(IDS_DAY_SHEET_CONTINUED);
    painter.setFont(m_font);
    for (int i = 0; i < after.size(); ++i) {
        painter.setPen(i == 0 && !m_holiday.isEmpty() ? colour : SheetDays::Muted());
        const QRectF box(x, title.top(), std::max(title.right() - x, 0.0), title.height());
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, after[i]);
        x += Metrics(m_font, device).horizontalAdvance(after[i]) + m_pad * 2;
    }
    QPen titleRule(SheetDays::Ink(), m_rule * 1.5);
    titleRule.setCapStyle(Qt::FlatCap);
    painter.setPen(titleRule);
    painter.drawLine(QPointF(title.left(), title.bottom() - m_pad),
                     QPointF(title.right(), title.bottom() - m_pad));

    const double left = m_rect.left();
    const double planLeft = left + m_timeWidth;
    const double detailLeft = planLeft + m_planWidth;
    const QFont bold = Scaled(m_font, 1.0, true);
    QPen rule(SheetDays::Rule(), m_rule);
    rule.setCapStyle(Qt::FlatCap);
    for (const Piece& piece : m_pages[std::size_t(page)].pieces) {
        const QRectF box(left, piece.top, m_rect.width(), piece.height);
        switch (piece.kind) {
        case Piece::TableRow: {
            const Row& r = RowAt(piece.row);
            if (piece.row < 0)
                painter.fillRect(box, QColor(0xf2, 0xf2, 0xf2));
            const auto column = [&](const QStringList& lines, double from, double width,
                                    const QFont& font, const QColor& ink) {
                painter.setFont(font);
                painter.setPen(ink);
                for (int i = 0; i < piece.count; ++i) {
                    const int index = piece.first + i;
                    if (index >= lines.size())
                        break;
                    const QRectF line(from + m_pad, piece.top + m_pad + i * m_line,
                                      width - 2 * m_pad, m_line);
                    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, lines[index]);
                }
            };
            column(r.time, left, m_timeWidth, m_font, SheetDays::Muted());
            column(r.plan, planLeft, m_planWidth, piece.row < 0 ? bold : m_font, SheetDays::Ink());
            column(r.detail, detailLeft, m_rect.right() - detailLeft, m_font, SheetDays::Ink());
            painter.setPen(rule);
            painter.drawLine(box.topLeft(), box.topRight());
            painter.drawLine(box.bottomLeft(), box.bottomRight());
            for (const double at : {left, planLeft, detailLeft, m_rect.right()})
                painter.drawLine(QPointF(at, box.top()), QPointF(at, box.bottom()));
            break;
        }
        case Piece::MemoLabel:
            painter.setFont(small);
            painter.setPen(SheetDays::Muted());
            painter.drawText(box, Qt::AlignLeft | Qt::AlignBottom, LoadString(IDS_SHEET_MEMO));
            break;
        case Piece::MemoLine:
        case Piece::Ruled:
            if (piece.kind == Piece::MemoLine) {
                painter.setFont(m_font);
                painter.setPen(SheetDays::Ink());
                painter.drawText(box.adjusted(m_pad, 0, -m_pad, -m_pad * 0.5),
                                 Qt::AlignLeft | Qt::AlignBottom, piece.text);
            }
            painter.setPen(QPen(SheetDays::FaintRule(), m_rule));
            painter.drawLine(box.bottomLeft(), box.bottomRight());
            break;
        }
    }
    painter.restore();
}
