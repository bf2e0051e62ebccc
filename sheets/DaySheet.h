#pragma once

#include "document/BookModel.h"

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class QPaintDevice;
class QPainter;

// A day on paper: its date and holiday, the heading row and the ten rows as the planner's list
// shows them (time, plan, detail), then the memo on ruled lines. Nothing is cut short: a long
// text wraps within its column, and what does not fit on the page continues on the next, under
// the date again. The lines left on the last page stay ruled for writing by hand.
//
// Qt's text layout breaks the lines; the pages are our own, because each one repeats the day's
// date and a row of the table moves whole to the next page where it can.
class DaySheet {
public:
    explicit DaySheet(const QDate& date);

    // Takes the day from the book: the record the planner shows for it, and its holiday.
    void Fill(const CBookModel& book);
    QDate Date() const { return m_date; }
    // On small paper a row is as tall as its text, so that the rows leave room for the memo.
    void SetSmall(bool small) { m_small = small; }

    // Lays the day out on pages of rect, measured on device; returns how many it takes.
    int Paginate(const QRectF& rect, const QFont& font, QPaintDevice* device);
    int Pages() const { return int(m_pages.size()); }
    // Draws one of the pages Paginate laid out.
    void DrawPage(QPainter& painter, int page) const;

private:
    // A column's text broken into the lines that fit its width.
    struct Row {
        QStringList time, plan, detail;
        int lines = 1;
    };
    struct Piece {
        enum Kind { TableRow, MemoLabel, MemoLine, Ruled } kind;
        int row = 0;   // -1 for the heading row, else 0 to 9
        int first = 0; // a table row's first line on this page
        int count = 0; // and how many of its lines
        QString text;  // a memo line
        double top = 0;
        double height = 0;
    };
    struct Page {
        std::vector<Piece> pieces;
    };

    const Row& RowAt(int row) const { return m_rows[std::size_t(row + 1)]; }

    QDate m_date;
    QString m_holiday;
    QString m_heading, m_headingDetail;
    std::array<QString, 10> m_times, m_plans, m_details;
    QString m_memo;
    bool m_small = false;

    // The layout Paginate made.
    QRectF m_rect;
    QFont m_font;
    double m_titleHeight = 0;
    double m_line = 0;
    double m_memoLine = 0;
    double m_pad = 0;
    double m_rule = 1;
    double m_timeWidth = 0;
    double m_planWidth = 0;
    std::array<Row, 11> m_rows;
    std::vector<Page> m_pages;
};
