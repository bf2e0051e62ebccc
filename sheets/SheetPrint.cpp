#include "sheets/SheetPrint.h"

#include "sheets/DaySheet.h"
#include "sheets/MonthSheet.h"
#include "sheets/Paper.h"
#include "sheets/WeekSheet.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace {

QDate OrToday(const QDate& date) {
    return date.isValid() ? date : QDate::currentDate();
}

QDate MondayOf(const QDate& date) {
    return date.addDays(1 - date.dayOfWeek());
}

Paper::Style StyleOf(const QPagedPaintDevice& device) {
    return Paper::StyleFor(device.pageLayout().fullRect(QPageLayout::Millimeter).size());
}

} // namespace

namespace SheetPrint {

std::optional<Layout> LayoutNamed(const QString& name) {
    if (name == QLatin1String("day"))
        return Layout::Day;
    if (name == QLatin1String("week"))
        return Layout::Week;
    if (name == QLatin1String("month"))
        return Layout::Month;
    return std::nullopt;
}

QDate FirstDay(const Request& request) {
    const QDate from = OrToday(request.from);
    switch (request.layout) {
    case Layout::Week:
        return MondayOf(from);
    case Layout::Month:
        return QDate(from.year(), from.month(), 1);
    case Layout::Day:
        break;
    }
    return from;
}

QDate LastDay(const Request& request) {
    const QDate to = std::max(OrToday(request.to), OrToday(request.from));
    switch (request.layout) {
    case Layout::Week:
        return MondayOf(to).addDays(6);
    case Layout::Month:
        return QDate(to.year(), to.month(), to.daysInMonth());
    case Layout::Day:
        break;
    }
    return to;
}

QFont Font(double points) {
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    // Paper and its preview at any zoom: the outlines as drawn, not fitted to a screen's pixels.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QRectF ContentRect(const QPagedPaintDevice& device, bool bindingOnRight) {
    const QPageLayout layout = device.pageLayout();
    const int dpi = device.logicalDpiX();
    const QRectF full = layout.fullRectPixels(dpi);
    const QRectF paint = layout.paintRectPixels(dpi);
    QMarginsF margins = StyleOf(device).margins * (dpi / 25.4);
    if (bindingOnRight)
        margins = QMarginsF(margins.right(), margins.top(), margins.left(), margins.bottom());
    // The painter's origin is where the device starts to print; the margins are the paper's.
    const QRectF content = full.marginsRemoved(margins).translated(-paint.topLeft());
    return content.intersected(QRectF(QPointF(0, 0), paint.size()));
}

bool Print(QPagedPaintDevice& device, const CBookModel& book, const Request& request, int* pages) {
    int printed = 0;
    if (pages)
        *pages = 0;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const Paper::Style style = StyleOf(device);
    const QFont font = Font(style.points);
    const QRectF rect = ContentRect(device);
    bool ok = true;
    // Every page after the first begins with a new page of the device.
    const auto next = [&] {
        if (printed > 0 && !device.newPage())
            ok = false;
        ++printed;
        return ok;
    };
    const QDate first = FirstDay(request);
    const QDate last = LastDay(request);
    switch (request.layout) {
    case Layout::Day:
        for (QDate date = first; ok && date <= last; date = date.addDays(1)) {
            DaySheet sheet(date);
            sheet.Fill(book);
            sheet.SetSmall(style.small);
            const int count = sheet.Paginate(rect, font, &device);
            for (int page = 0; page < count && next(); ++page)
                sheet.DrawPage(painter, page);
        }
        break;
    case Layout::Week:
        for (QDate monday = first; ok && monday <= last; monday = monday.addDays(7)) {
            WeekSheet sheet(monday);
            sheet.Fill(book);
            sheet.SetSmall(style.small);
            if (!request.facing) {
                if (next())
                    sheet.Draw(painter, rect, font, WeekSheet::Part::Whole);
                continue;
            }
            // The left-hand page is bound on its right.
            if (next())
                sheet.Draw(painter, ContentRect(device, true), font, WeekSheet::Part::Left);
            if (next())
                sheet.Draw(painter, rect, font, WeekSheet::Part::Right);
        }
        break;
    case Layout::Month:
        for (QDate month = first; ok && month <= last; month = month.addMonths(1)) {
            MonthSheet sheet(month);
            sheet.Fill(book);
            // Paper has no today and no selection; small paper no room for the times.
            sheet.SetToday(QDate());
            sheet.SetSelected(QDate());
            sheet.SetSmallPaper(style.small);
            if (next())
                sheet.Draw(painter, rect, font);
        }
        break;
    }
    painter.end();
    if (pages)
        *pages = printed;
    return ok;
}

} // namespace SheetPrint
