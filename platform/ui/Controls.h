#pragma once

#include "platform/core/OleDateTime.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSet>
#include <QTableWidget>
#include <QTime>

// Virtual-key code of the Enter key, as the key-down notifications report it.
constexpr int VK_RETURN = 13;

// Report-mode list: items (rows) with three text cells, no header, several rows selectable.
class CListCtrl : public QTableWidget {
    Q_OBJECT
public:
    static constexpr unsigned LVS_EX_GRIDLINES = 0x01;
    static constexpr unsigned LVS_EX_FULLROWSELECT = 0x20;
    static constexpr int LVCFMT_LEFT = 0;

    explicit CListCtrl(QWidget* parent = nullptr);

    void SetExtendedStyle(unsigned style);
    int InsertColumn(int position, const QString& heading, int format, int width);
    bool DeleteColumn(int position);
    int GetColumnCount() const { return columnCount(); }
    int GetColumnWidth(int column) const { return columnWidth(column); }
    // A width below zero is applied as zero.
    void SetColumnWidth(int column, int width);
    // The width the columns can take before the list scrolls sideways: inside its frame, less
    // the vertical scroll bar when the items need one.
    int GetColumnRoom() const;

    int GetItemCount() const { return rowCount(); }
    // Inserts an item with the given text in column 0; an index past the end appends.
    int InsertItem(int index, const QString& text);
    bool DeleteItem(int index);
    bool DeleteAllItems();
    bool SetItemText(int item, int subItem, const QString& text);
    QString GetItemText(int item, int subItem) const;
    bool IsItemSelected(int item) const;

signals:
    // LVN_KEYDOWN: a key went down in the list; the virtual-key code.
    void keyDown(int virtualKey);
    // NM_DBLCLK.
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Date picker in the locale's long date format with a calendar popup. Keeps the time of day of
// the date it was given, as the platform's picker does. Only the user's changes are reported.
class CDateTimeCtrl : public QDateEdit {
    Q_OBJECT
public:
    explicit CDateTimeCtrl(QWidget* parent = nullptr, bool alignPopupRight = true);

    void SetTime(const COleDateTime& time);
    COleDateTime GetTime() const;

    // Days shown in bold in the calendar: the month at a glance.
    void SetDayMarked(const QDate& day, bool marked);
    // Holidays shown in the colour of Sundays; a marked holiday keeps both.
    void SetHoliday(const QDate& day, bool holiday);
    // Clears both kinds of marks.
    void ClearDayMarks();
    // The colours of Sundays and holidays, and of Saturdays.
    void SetDayColours(const QColor& sundayAndHolidays, const QColor& saturday);
    // The first and last day the calendar's month page can show, neighbouring months included.
    QDate FirstShownDay() const;
    QDate LastShownDay() const;

signals:
    // DTN_DATETIMECHANGE, for changes made by the user.
    void dateTimeChange();
    // DTN_WMKEYDOWN: a key went down in the picker; the virtual-key code.
    void wmKeyDown(int virtualKey);
    // The calendar turned to another month.
    void shownMonthChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void ApplyDayFormat(const QDate& day);

    QTime m_timeOfDay;
    bool m_alignPopupRight;
    QSet<QDate> m_markedDays;
    QSet<QDate> m_holidays;
    QColor m_holidayColour = Qt::red;
};

// Multi-line edit. Line breaks read back as CR LF, as the platform's edit gives them; a text that
// the user did not change reads back exactly as it was set. Only the user's changes are reported.
class CEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CEdit(QWidget* parent = nullptr);

    void SetWindowText(const QString& text);
    QString GetWindowText() const;
    // The height that shows the given number of lines (a line wider than the edit brings a
    // horizontal scroll bar over about one of them).
    int MinimumHeightForLines(int lines) const;

signals:
    // EN_CHANGE, for changes made by the user.
    void change();

protected:
    void inputMethodEvent(QInputMethodEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_composing = false;   // an input method's uncommitted text is shown
    bool m_preeditOnly = false; // the event being handled changes the uncommitted text only
    QString m_setText;          // the text as last set
    QString m_shownText;        // how the editor holds it
    bool m_setting = false;
};

// Single-line edit that holds any text of any length, line breaks included.
class CLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CLineEdit(QWidget* parent = nullptr);

    void SetWindowText(const QString& text);
    QString GetWindowText() const { return text(); }

protected:
    // The Enter that confirms an input method's conversion confirms the text only; it does not
    // choose the dialog's default button.
    void inputMethodEvent(QInputMethodEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_composing = false;
};
