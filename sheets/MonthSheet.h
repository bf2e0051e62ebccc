#pragma once

#include "document/BookFile.h"
#include "document/BookModel.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QRectF>
#include <QString>

#include <vector>

class QPaintDevice;
class QPainter;

// A month on one sheet, the weeks from Sunday to Saturday: each day with its date, its holiday,
// its heading and as many of its rows as fit. The same drawing serves the screen, a printer and
// a PDF: it draws onto any painter in a given rectangle, with sizes taken from the font as the
// painter's device measures it.
class MonthSheet {
public:
    // A row the sheet shows: its time and its plan (the detail where the plan is empty).
    struct Row {
        QString time;
        QString text;
    };
    struct Day {
        QDate date;
        QString holiday;
        QString heading;
        std::vector<Row> rows;
        bool hasText = false;
    };

    // The colours of paper, the same on the screen: Sundays and holidays red, Saturdays blue.
    static QColor HolidayColour();
    static QColor SaturdayColour();

    // The month holding date, empty; invalid dates give the month of today.
    explicit MonthSheet(const QDate& date = QDate());

    // Takes the days of the grid from the book: for each date the first record of that calendar
    // day, and the holidays of those days. From a book model through its date index; from a
    // plain list of days in one pass over it.
    void Fill(const CBookModel& book);
    void Fill(const DayList& days);

    int Year() const { return m_year; }
    int Month() const { return m_month; }
    // The grid: whole weeks from the Sunday on or before the first to the Saturday on or after
    // the last of the month.
    QDate FirstDay() const { return m_first; }
    QDate LastDay() const { return m_first.addDays(qint64(m_days.size()) - 1); }
    int Weeks() const { return int(m_days.size()) / 7; }
    // The day of the grid at that date; null outside it.
    const Day* DayOf(const QDate& date) const;

    // Today is marked; the selected day is framed. Either may be a date outside the grid.
    void SetToday(const QDate& today) { m_today = today; }
    void SetSelected(const QDate& selected) { m_selected = selected; }
    // Small paper: the rows without their times, and a holiday's name only where some of it
    // fits (the date is red all the same).
    void SetSmallPaper(bool small) { m_smallPaper = small; }

    // Draws the title, the weekdays and the weeks onto painter within rect. font sets the size
    // of the text; the painter's device gives the measures.
    void Draw(QPainter& painter, const QRectF& rect, const QFont& font) const;
    // The day whose cell holds point when drawn in rect; an invalid date outside the grid.
    QDate DateAt(const QRectF& rect, const QFont& font, const QPointF& point,
                 QPaintDevice* device = nullptr) const;
    // The cell of date when drawn in rect; empty outside the grid.
    QRectF CellRect(const QRectF& rect, const QFont& font, const QDate& date,
                    QPaintDevice* device = nullptr) const;

    // How many of a cell's rows show, and how many are left out (and marked "…" with their
    // number), in a cell with room for the given number of lines below its date.
    struct Fit {
        int heading; // 0 or 1
        int rows;
        int hidden;
    };
    static Fit FitRows(bool heading, int rows, int lines);

private:
    struct Layout;
    Layout Measure(const QRectF& rect, const QFont& font, QPaintDevice* device) const;
    void DrawDay(QPainter& painter, const Layout& layout, const Day& day, const QRectF& cell) const;
    // Empties the grid; the day count of its first day.
    double Clear();
    // A record of the book into its cell, unless the cell has its first record already.
    void Take(const CYoteiDay& stored, double from, std::vector<bool>& taken);
    void AddHolidays();

    int m_year;
    int m_month;
    QDate m_first;
    std::vector<Day> m_days;
    QDate m_today;
    QDate m_selected;
    bool m_smallPaper = false;
};
