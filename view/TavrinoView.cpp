#include "view/TavrinoView.h"

#include "document/JapaneseHolidays.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DataExchange.h"
#include "resources/Resource.h"
#include "resources/Templates.h"
#include "sheets/MonthSheet.h"
#include "view/MonthSheetView.h"
#include "view/PrintDlg.h"

#include <QApplication>
#include <QPrinter>

#include <QScrollBar>
#include <algorithm>

namespace {
constexpr int kItemCount = 11; // the heading row and the ten rows
constexpr int kTimeColumnWidth = 60;
constexpr int kPlanColumnWidth = 150;
constexpr int kDetailColumnMargin = 218;
// The layout's fixed numbers: its margin, the list's top and height, and the room it leaves
// below the memo when the memo is under the list.
constexpr int kMargin = 15;
constexpr int kListTop = 60;
constexpr int kListHeight = 290;
constexpr int kMemoBottomMargin = 40;
} // namespace

CTavrinoView::CTavrinoView()
    : CFormView(Resources::FormTemplate()), m_date(COleDateTime::GetCurrentTime()) {
    setObjectName(QStringLiteral("tavrinoView"));

    // The message map: notifications of the three controls, then the view's commands.
    auto* picker = qobject_cast<CDateTimeCtrl*>(GetDlgItem(IDC_DATETIMEPICKER));
    auto* list = qobject_cast<CListCtrl*>(GetDlgItem(IDC_LIST));
    auto* memo = qobject_cast<CEdit*>(GetDlgItem(IDC_MEMO));
    connect(picker, &CDateTimeCtrl::dateTimeChange, this, &CTavrinoView::OnDateTimeChange);
    connect(list, &CListCtrl::keyDown, this, &CTavrinoView::OnListKeyDown);
    connect(list, &CListCtrl::doubleClicked, this, &CTavrinoView::OnListDblClk);
    connect(memo, &CEdit::change, this, &CTavrinoView::OnMemoChange);
    connect(picker, &CDateTimeCtrl::wmKeyDown, this, &CTavrinoView::OnDateKeyDown);
    // Only the month on show is marked, so turning a page costs one pass over the book.
    connect(picker, &CDateTimeCtrl::shownMonthChanged, this, &CTavrinoView::MarkShownDays);
    // What a screen reader announces.
    picker->setAccessibleName(QStringLiteral("日付"));
    picker->setAccessibleDescription(
        QStringLiteral("表示する日を選びます。予定やメモのある日はカレンダーで太字になります"));
    list->setAccessibleName(QStringLiteral("予定の一覧"));
    list->setAccessibleDescription(QStringLiteral(
        "見出し行と10行の予定 (時間、予定、詳細)。Enter またはダブルクリックで行を編集します"));
    memo->setAccessibleName(QStringLiteral("メモ"));
    memo->setAccessibleDescription(QStringLiteral("この日のメモ"));

    OnCommand(ID_ROW_DELETE, [this] { OnRowDelete(); });
    OnCommand(ID_ROW_EDIT, [this] { OnRowEdit(); });
    OnCommand(ID_ROW_INSERT, [this] { OnRowInsert(); });
    OnCommand(ID_DATA_TIME, [this] { OnTimeData(); });
    OnCommand(ID_DATA_STANDARD, [this] { OnStandardData(); });
    OnCommand(ID_VIEW_DAY, [this] { OnViewDay(); });
    OnCommand(ID_VIEW_MONTH, [this] { OnViewMonth(); });
    OnCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });

    picker->SetDayColours(MonthSheet::HolidayColour(), MonthSheet::SaturdayColour());
    m_monthSheet = new CMonthSheetView(this);
    connect(m_monthSheet, &CMonthSheetView::dayOpened, this, &CTavrinoView::OpenDay);
    connect(m_monthSheet, &CMonthSheetView::closeRequested, this, &CTavrinoView::ShowDayView);
}

CTavrinoView::~CTavrinoView() = default;

CTavrinoDoc* CTavrinoView::GetDocument() const {
    return static_cast<CTavrinoDoc*>(CFormView::GetDocument());
}

void CTavrinoView::DoDataExchange(CDataExchange* pDX) {
    CFormView::DoDataExchange(pDX);
    DDX_DateTimeCtrl(pDX, IDC_DATETIMEPICKER, m_date);
    DDX_Control(pDX, IDC_LIST, m_listCtrl);
    DDX_Control(pDX, IDC_MEMO, m_memoEdit);
    DDX_Text(pDX, IDC_MEMO, m_memo);
    DDX_Control(pDX, IDC_DATETIMEPICKER, m_datePicker);
}

void CTavrinoView::OnInitialUpdate() {
    // A new or opened book starts on the day view, as the program does.
    ShowDayView();
    CFormView::OnInitialUpdate();
    OnSize(0, width(), height());

    m_listCtrl->SetExtendedStyle(CListCtrl::LVS_EX_GRIDLINES | CListCtrl::LVS_EX_FULLROWSELECT);
    const int listWidth = m_listCtrl->frameGeometry().width();
    // Each new column pushes the old ones right; the old one reaching position 3 goes, so a
    // repeated initial update ends with exactly the three new columns.
    const int widths[3] = {kTimeColumnWidth, kPlanColumnWidth, listWidth - kDetailColumnMargin};
    for (int column = 0; column < 3; ++column) {
        m_listCtrl->InsertColumn(column, QString(), CListCtrl::LVCFMT_LEFT, widths[column]);
        m_listCtrl->DeleteColumn(3);
    }
    if (m_listCtrl->GetItemCount() > 0)
        m_listCtrl->DeleteAllItems();
    for (int item = 0; item < kItemCount; ++item)
        m_listCtrl->InsertItem(m_listCtrl->GetItemCount(), QString());

    m_date = COleDateTime::GetCurrentTime().DatePart();
    GetDocument()->SelectDay(m_date);
    ShowDay();
    UpdateData(false);
    MarkShownDays();
}

void CTavrinoView::OnSize(int type, int cx, int cy) {
    CFormView::OnSize(type, cx, cy);
    // Before the first initial update the controls are not attached: nothing moves.
    if (!m_listCtrl)
        return;
    const int right = width();
    const int bottom = height();
    if (right < bottom) {
        MoveWindow(m_listCtrl, 15, 60, right - 30, 290);
        MoveWindow(m_memoEdit, 15, 365, right - 30, bottom - 405);
    } else {
        const int split = 2 * (right / 3);
        MoveWindow(m_listCtrl, 15, 60, split - 30, 290);
        MoveWindow(m_memoEdit, split, 60, right - 15 - split, 290);
    }
    FitDetailColumn();
    UpdateData(false);
}

void CTavrinoView::FitDetailColumn() {
    if (m_listCtrl->GetColumnCount() != 3)
        return;
    // The initial update's rule at every size, so that the handheld's size keeps its first
    // widths; never wider than the list shows, so that it does not scroll sideways.
    const int rest = m_listCtrl->frameGeometry().width() - kDetailColumnMargin;
    const int room =
        m_listCtrl->GetColumnRoom() - m_listCtrl->GetColumnWidth(0) - m_listCtrl->GetColumnWidth(1);
    m_listCtrl->SetColumnWidth(2, std::min(rest, room));
}

QSize CTavrinoView::minimumSizeHint() const {
    const auto* list = qobject_cast<const CListCtrl*>(GetDlgItem(IDC_LIST));
    const auto* memo = qobject_cast<const CEdit*>(GetDlgItem(IDC_MEMO));
    const QWidget* picker = GetDlgItem(IDC_DATETIMEPICKER);
    if (!list || !memo || !picker)
        return CFormView::minimumSizeHint();
    const int em = list->fontMetrics().horizontalAdvance(QChar(0x3042));
    // The list: its first two columns and some of the detail.
    const int listWidth = kDetailColumnMargin + 4 * em;
    // The memo: three lines, and a few characters beside its scroll bar.
    const int memoHeight = memo->MinimumHeightForLines(3);
    const int memoWidth = 6 * em + memo->verticalScrollBar()->sizeHint().width();

    // Narrower than tall, the memo sits under the list and needs this height. Taken as the
    // least width, it makes every form narrower than tall at least this high, and leaves lower
    // forms (the handheld turned, 640 x 376) to the memo beside the list.
    const int portraitHeight = kListTop + kListHeight + kMargin + memoHeight + kMemoBottomMargin;
    // Beside the list the memo takes the last third.
    const int third = std::max((listWidth + 2 * kMargin + 1) / 2, memoWidth + kMargin);
    const int width = std::max({portraitHeight, 3 * third, listWidth + 2 * kMargin,
                                picker->geometry().right() + 1 + picker->x()});
    // The list's eleven rows with the margin below them.
    const int height = kListTop + kListHeight + kMargin;
    return QSize(width, height);
}

void CTavrinoView::ShowDay() {
    CTavrinoDoc* doc = GetDocument();
    SetCellText(0, 0, QString());
    SetCellText(0, 1, doc->GetHeading());
    SetCellText(0, 2, doc->GetHeadingDetail());
    for (int row = 0; row < CYoteiDay::kRows; ++row) {
        SetCellText(row + 1, 0, doc->GetTime(row));
        SetCellText(row + 1, 1, doc->GetPlan(row));
        SetCellText(row + 1, 2, doc->GetDetail(row));
    }
    m_memo = doc->GetMemo();
    UpdateData(false);
}

void CTavrinoView::StoreDay() {
    UpdateData(true);
    CTavrinoDoc* doc = GetDocument();
    // Column 0 of the heading row is never stored.
    doc->SetHeading(m_listCtrl->GetItemText(0, 1));
    doc->SetHeadingDetail(m_listCtrl->GetItemText(0, 2));
    for (int row = 0; row < CYoteiDay::kRows; ++row) {
        doc->SetTime(row, m_listCtrl->GetItemText(row + 1, 0));
        doc->SetPlan(row, m_listCtrl->GetItemText(row + 1, 1));
        doc->SetDetail(row, m_listCtrl->GetItemText(row + 1, 2));
    }
    doc->SetMemo(m_memo);
    doc->CommitCurrentDay();
    MarkDay(doc->GetCurrentDay().m_dayDate);
}

namespace {
QDate ToQDate(const COleDateTime& date) {
    COleDateTime::Fields f;
    return date.GetFields(f) ? QDate(f.year, f.month, f.day) : QDate();
}

COleDateTime FromQDate(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}
} // namespace

void CTavrinoView::RefreshFromBook(bool dayOnShowChanged) {
    CTavrinoDoc* doc = GetDocument();
    if (!doc || !m_listCtrl)
        return;
    if (dayOnShowChanged) {
        doc->SelectDay(doc->GetCurrentDay().m_dayDate);
        ShowDay();
    }
    MarkShownDays();
    if (IsMonthSheetShown())
        m_monthSheet->ShowMonth(doc, m_monthSheet->SelectedDate());
}

void CTavrinoView::MarkShownDays() {
    if (!m_datePicker || !GetDocument())
        return;
    m_datePicker->ClearDayMarks();
    for (const JapaneseHolidays::Holiday& holiday :
         JapaneseHolidays::Between(m_datePicker->FirstShownDay(), m_datePicker->LastShownDay()))
        m_datePicker->SetHoliday(holiday.date, true);
    const auto marked = GetDocument()->DaysWithText(FromQDate(m_datePicker->FirstShownDay()),
                                                    FromQDate(m_datePicker->LastShownDay()));
    for (const COleDateTime& day : marked)
        m_datePicker->SetDayMarked(ToQDate(day), true);
}

void CTavrinoView::MarkDay(const COleDateTime& date) {
    if (m_datePicker)
        m_datePicker->SetDayMarked(ToQDate(date), GetDocument()->DayHasText(date));
}

int CTavrinoView::GetSelectedRow() const {
    const int count = m_listCtrl->GetItemCount();
    for (int item = 0; item < count; ++item) {
        if (m_listCtrl->IsItemSelected(item))
            return item;
    }
    return count;
}

void CTavrinoView::InsertRow(int index) {
    m_listCtrl->InsertItem(index, QString());
}

void CTavrinoView::SetCellText(int item, int column, const QString& text) {
    m_listCtrl->SetItemText(item, column, text);
}

void CTavrinoView::OnDateTimeChange() {
    // Nothing is stored here: every change to the day being left was stored when it was made.
    UpdateData(true);
    GetDocument()->SelectDay(m_date);
    ShowDay();
}

void CTavrinoView::OnMemoChange() {
    UpdateData(true);
    StoreDay();
}

void CTavrinoView::OnViewDay() {
    // On the day view there is nothing to return from.
    ShowDayView();
}

void CTavrinoView::OnViewMonth() {
    ShowMonthSheet();
}

void CTavrinoView::OnFilePrint() {
    const bool sheet = IsMonthSheetShown();
    QDate day =
        sheet ? m_monthSheet->SelectedDate() : ToQDate(GetDocument()->GetCurrentDay().m_dayDate);
    if (!day.isValid())
        day = QDate::currentDate();
    CPrintDlg::Options options;
    // The month on the sheet; from the day view, the day, or what was chosen there last.
    options.request.layout =
        sheet ? SheetPrint::Layout::Month
              : (m_printLayout >= 0 ? SheetPrint::Layout(m_printLayout) : SheetPrint::Layout::Day);
    options.request.from = day;
    options.request.to = day;
    options.request.facing = m_printFacing;
    if (!m_printPaper.isEmpty())
        options.paper = m_printPaper;
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setDocName(GetDocument()->GetTitle());
    }

    CPrintDlg dialog(GetDocument()->m_days, options, m_printer.get(), window());
    const bool printed = dialog.exec() == QDialog::Accepted && !dialog.PrintFailed();
    const CPrintDlg::Options chosen = dialog.GetOptions();
    if (!sheet)
        m_printLayout = int(chosen.request.layout);
    m_printPaper = chosen.paper;
    m_printFacing = chosen.request.facing;
    if (printed && m_printer->outputFormat() == QPrinter::PdfFormat &&
        !m_printer->outputFileName().isEmpty())
        CPrintDlg::MendPdfFile(m_printer->outputFileName(), window());
}

bool CTavrinoView::IsMonthSheetShown() const {
    return m_monthSheet && !m_monthSheet->isHidden();
}

bool CTavrinoView::OnCmdMsg(int nID, bool execute) {
    // The sheet hides the list: its row and fill-in commands would act on a day not in sight.
    if (IsMonthSheetShown() &&
        (nID == ID_ROW_EDIT || nID == ID_ROW_INSERT || nID == ID_ROW_DELETE ||
         nID == ID_DATA_STANDARD || nID == ID_DATA_TIME))
        return false;
    return CFormView::OnCmdMsg(nID, execute);
}

void CTavrinoView::ShowMonthSheet() {
    QDate shown = ToQDate(GetDocument()->GetCurrentDay().m_dayDate);
    if (!shown.isValid())
        shown = QDate::currentDate();
    if (!IsMonthSheetShown()) {
        QWidget* focus = QApplication::focusWidget();
        m_focusBeforeSheet = focus && isAncestorOf(focus) ? focus : nullptr;
    }
    // Drawn from the book as it is now: what the day view changed shows.
    m_monthSheet->ShowMonth(GetDocument(), shown);
    for (QWidget* control :
         {GetDlgItem(IDC_DATETIMEPICKER), GetDlgItem(IDC_LIST), GetDlgItem(IDC_MEMO)})
        control->hide();
    m_monthSheet->show();
    m_monthSheet->raise();
    m_monthSheet->setFocus();
    NotifyCommandStateChanged();
}

void CTavrinoView::ShowDayView() {
    if (!IsMonthSheetShown())
        return;
    for (QWidget* control :
         {GetDlgItem(IDC_DATETIMEPICKER), GetDlgItem(IDC_LIST), GetDlgItem(IDC_MEMO)})
        control->show();
    m_monthSheet->hide();
    QWidget* focus = m_focusBeforeSheet ? m_focusBeforeSheet.data() : GetDlgItem(IDC_LIST);
    m_focusBeforeSheet = nullptr;
    focus->setFocus();
    NotifyCommandStateChanged();
}

void CTavrinoView::OpenDay(const QDate& date) {
    // As a date picked in the picker: the day becomes the working day and shows.
    m_date = COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
    GetDocument()->SelectDay(m_date);
    ShowDay();
    ShowDayView();
}
