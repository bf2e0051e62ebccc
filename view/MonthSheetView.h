#pragma once

#include "sheets/MonthSheet.h"

#include <QWidget>

class CTavrinoDoc;

// The month at a glance in place of the form: the month sheet of the book as it is when shown,
// with one day selected. Arrow keys move the day, Page Up and Page Down the month; Enter or a
// double click opens the selected day, Escape goes back.
class CMonthSheetView : public QWidget {
    Q_OBJECT
public:
    // Covers its parent whenever the parent is resized.
    explicit CMonthSheetView(QWidget* parent);

    // Shows the month of date, with date selected, drawn from the book's days as they are now.
    void ShowMonth(const CTavrinoDoc* doc, const QDate& date);
    QDate SelectedDate() const { return m_selected; }
    const MonthSheet& Sheet() const { return m_sheet; }
    // Where the sheet is drawn within the widget.
    QRectF SheetRect() const;
    // The whole of a day, as its tool tip shows it: what a narrow cell cuts short.
    QString DayText(const QDate& date) const;

signals:
    // Enter or a double click on a day.
    void dayOpened(const QDate& date);
    // Escape.
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Selects date, turning to its month when it is another; the book is read again then.
    void Select(const QDate& date);

    const CTavrinoDoc* m_doc = nullptr;
    MonthSheet m_sheet;
    QDate m_selected;
    // The day the last press chose: the first press of a double click.
    QDate m_pressDate;
};
