#pragma once

#include "platform/core/OleDateTime.h"
#include "platform/ui/View.h"

#include <QPointer>

#include <memory>

class CDateTimeCtrl;
class CEdit;
class CListCtrl;
class CMonthSheetView;
class CTavrinoDoc;
class QPrinter;

// The program's only view: the date picker, the day list (the heading row and the ten rows)
// and the day's memo. The list cells and m_memo are the working copy the user edits; every
// change is stored into the document at once through StoreDay.
class CTavrinoView : public CFormView {
    Q_OBJECT
public:
    CTavrinoView();
    ~CTavrinoView() override;

    CTavrinoDoc* GetDocument() const;

    void OnInitialUpdate() override;
    // The smallest form on which every control is usable in the layout OnSize gives it.
    QSize minimumSizeHint() const override;

    // Fills the list and the memo from the document's working day. Never touches the
    // selection, the focus or the scroll position.
    void ShowDay();
    // Copies the list and the memo into the working day and commits it.
    void StoreDay();
    // Days were committed from outside the view (a sync): the day on show is read again from
    // the book, and the calendar's marks and the month sheet follow.
    void RefreshFromBook(bool dayOnShowChanged);
    // The first selected item, or the item count when none is.
    int GetSelectedRow() const;
    void InsertRow(int index);
    void SetCellText(int item, int column, const QString& text);

    // Notifications and commands.
    void OnDateTimeChange();
    void OnMemoChange();
    void OnListKeyDown(int virtualKey);
    void OnListDblClk();
    void OnDateKeyDown(int virtualKey);
    void OnRowEdit();
    void OnRowInsert();
    void OnRowDelete();
    void OnStandardData();
    void OnTimeData();
    void OnViewDay();
    void OnViewMonth();
    // 印刷...: the print preview of the day on show (of the month, on the month sheet).
    void OnFilePrint();

    // While the month sheet is shown, the commands that act on the list are not handled.
    bool OnCmdMsg(int nID, bool execute) override;
    bool IsMonthSheetShown() const;
    CMonthSheetView* GetMonthSheet() const { return m_monthSheet; }

    COleDateTime m_date;
    CListCtrl* m_listCtrl = nullptr;
    CEdit* m_memoEdit = nullptr;
    QString m_memo;
    CDateTimeCtrl* m_datePicker = nullptr;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSize(int type, int cx, int cy) override;

private:
    // Bold days in the date picker's calendar: every shown day whose text is not empty.
    void MarkShownDays();
    void MarkDay(const COleDateTime& date);
    // The detail column takes the rest of the list's width.
    void FitDetailColumn();

    // The closing step of every row command: the members into the controls, then the whole day
    // into the document.
    void EndRowCommand();
    QString PushedOffRowLine(int item) const;

    // The month sheet in place of the form's controls, and back; a day opened on the sheet
    // becomes the day on show.
    void ShowMonthSheet();
    void ShowDayView();
    void OpenDay(const QDate& date);

    CMonthSheetView* m_monthSheet = nullptr;
    QPointer<QWidget> m_focusBeforeSheet;

    // What the last 印刷... chose (the paper, facing pages, and the layout chosen from the day
    // view) and the printer with the platform dialogs' settings, kept while the planner runs.
    std::unique_ptr<QPrinter> m_printer;
    int m_printLayout = -1;
    QString m_printPaper;
    bool m_printFacing = false;
};
