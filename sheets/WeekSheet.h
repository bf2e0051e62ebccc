#pragma once

#include "document/BookModel.h"
#include "sheets/SheetDays.h"

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QString>

#include <array>
#include <vector>

class QPaintDevice;
class QPainter;

// A week from Monday to Sunday, printed on one page in two columns (Monday to Thursday, then
// Friday to Sunday and a box for notes) or on two facing pages, a column each. Each day shows
// its date, its holiday, its heading, and its rows and memo lines as far as they fit, the last
// line telling how many were left out. Drawn onto any painter in a given rectangle, with sizes
// taken from the font as the painter's device measures it.
class WeekSheet {
public:
    enum class Part { Whole, Left, Right };
    struct Day {
        QDate date;
        QString holiday;
        QString heading;
        std::vector<SheetDays::Line> lines;
        bool hasText = false;
    };
    // The boxes of a week: the seven days, then the notes.
    static constexpr int kSlots = 8;

    // The week holding date: from the Monday on or before it.
    explicit WeekSheet(const QDate& date);

    // Takes the week's days from the book, and their holidays.
    void Fill(const CBookModel& book);

    QDate Monday() const { return m_days[0].date; }
    // Monday is 0, Sunday 6.
    const Day& DayAt(int index) const { return m_days[std::size_t(index)]; }

    // On small paper a line holds a row's time and plan only, not its detail.
    void SetSmall(bool small) { m_small = small; }

    void Draw(QPainter& painter, const QRectF& rect, const QFont& font, Part part) const;
    // The box of a day (0 to 6) or of the notes (7) when part is drawn in rect; empty when that
    // part does not hold it.
    QRectF SlotRect(const QRectF& rect, const QFont& font, int slot, Part part,
                    QPaintDevice* device = nullptr) const;
    // How many lines below its date a day's box holds when part is drawn in rect.
    int LinesPerSlot(const QRectF& rect, const QFont& font, Part part,
                     QPaintDevice* device = nullptr) const;

private:
    struct Layout;
    Layout Measure(const QRectF& rect, const QFont& font, Part part, QPaintDevice* device) const;
    void DrawDay(QPainter& painter, const Layout& layout, const Day& day, const QRectF& box,
                 bool first) const;
    void DrawNotes(QPainter& painter, const Layout& layout, const QRectF& box) const;

    std::array<Day, 7> m_days;
    bool m_small = false;
};
