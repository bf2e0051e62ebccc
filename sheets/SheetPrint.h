#pragma once

#include "document/BookModel.h"

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>

class QPagedPaintDevice;

// Printing the book: a range of days, weeks or months, page after page, onto any paged device
// (a printer, its preview, a PDF writer). The planner's print dialog and the book tool both
// print through here, so they print the same pages.
namespace SheetPrint {

enum class Layout { Day, Week, Month };

struct Request {
    Layout layout = Layout::Day;
    // The days asked for; each layout prints the whole weeks (from Monday) or months holding
    // them. Invalid dates stand for today.
    QDate from;
    QDate to;
    // A week on two facing pages instead of one.
    bool facing = false;
};

// "day", "week" and "month", as the tool and the dialog name them.
std::optional<Layout> LayoutNamed(const QString& name);

// The first and the last day the request prints.
QDate FirstDay(const Request& request);
QDate LastDay(const Request& request);

// The font of the printed sheets at a size in points: Noto Sans CJK JP, which the package
// depends on, so that a PDF holds the same glyphs wherever it was made.
QFont Font(double points);

// Where a page's sheet goes on the device: the page less the paper's margins, the wider one on
// the binding side (the left of a right-hand page), in the painter's coordinates.
QRectF ContentRect(const QPagedPaintDevice& device, bool bindingOnRight = false);

// Prints the request's pages onto device at the page size it is set to. False when nothing
// could be printed on it (the painter did not begin, or the device refused a new page).
bool Print(QPagedPaintDevice& device, const CBookModel& book, const Request& request,
           int* pages = nullptr);

} // namespace SheetPrint
