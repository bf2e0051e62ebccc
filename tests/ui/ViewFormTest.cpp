// The form on real widgets: its three controls, the tab order, the initial update and the
// layout of the list and the memo for portrait, landscape and degenerate client areas.

#include "UiTestSupport.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

void ResizeClient(QWidget& view, int width, int height) {
    view.resize(width, height);
    QCoreApplication::processEvents();
    ASSERT_EQ(view.size(), QSize(width, height));
}

// A document and the view on it, shown at the handheld's portrait size, before any initial
// update.
struct Form {
    CTavrinoDoc doc;
    CTavrinoView view;
    Form(int width = 480, int height = 536) {
        view.SetDocument(&doc);
        view.resize(width, height);
        view.show();
        QCoreApplication::processEvents();
    }
    CListCtrl* List() const { return qobject_cast<CListCtrl*>(view.GetDlgItem(IDC_LIST)); }
    CEdit* Memo() const { return qobject_cast<CEdit*>(view.GetDlgItem(IDC_MEMO)); }
    CDateTimeCtrl* Picker() const {
        return qobject_cast<CDateTimeCtrl*>(view.GetDlgItem(IDC_DATETIMEPICKER));
    }
};

QDate Today() {
    return QDate::currentDate();
}

} // namespace

TEST(ViewFormTest, ControlsAreTheTemplatesThreeWithTheirStyles) {
    Form form;
    form.view.OnInitialUpdate();
    ASSERT_NE(form.Picker(), nullptr);
    ASSERT_NE(form.List(), nullptr);
    ASSERT_NE(form.Memo(), nullptr);
    EXPECT_EQ(form.view.m_datePicker, form.Picker());
    EXPECT_EQ(form.view.m_listCtrl, form.List());
    EXPECT_EQ(form.view.m_memoEdit, form.Memo());

    // The picker: the locale's long date with a calendar popup.
    CDateTimeCtrl* picker = form.Picker();
    EXPECT_TRUE(picker->calendarPopup());
    EXPECT_EQ(picker->displayFormat(), QLocale::system().dateFormat(QLocale::LongFormat));
    EXPECT_EQ(picker->text(), QLocale::system().toString(Today(), picker->displayFormat()));

    // The list: no header, grid lines, whole rows selected.
    CListCtrl* list = form.List();
    EXPECT_FALSE(list->horizontalHeader()->isVisible());
    EXPECT_FALSE(list->verticalHeader()->isVisible());
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    // The memo: several lines, a vertical scroll bar, no wrapping.
    CEdit* memo = form.Memo();
    EXPECT_TRUE(memo->verticalScrollBar()->isVisible());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST(ViewFormTest, ClickingSelectsWholeRowsAndSeveralOfThem) {
    Form form;
    form.view.OnInitialUpdate();
    CListCtrl* list = form.List();
    const QRect cell7 = list->visualRect(list->model()->index(7, 2));
    const QRect cell3 = list->visualRect(list->model()->index(3, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell7.center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, cell3.center());
    for (int item = 0; item < list->GetItemCount(); ++item)
        EXPECT_EQ(list->IsItemSelected(item), item == 3 || item == 7) << item;
    for (int column = 0; column < 3; ++column) {
        EXPECT_TRUE(list->selectionModel()->isSelected(list->model()->index(7, column)));
        EXPECT_TRUE(list->selectionModel()->isSelected(list->model()->index(3, column)));
    }
    // The first selected item by position, not the first clicked.
    EXPECT_EQ(form.view.GetSelectedRow(), 3);
}

TEST(ViewFormTest, MemoTakesEnterAsANewLineAndDoesNotWrap) {
    Form form;
    form.view.OnInitialUpdate();
    CEdit* memo = form.Memo();
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("ab"));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("cd"));
    EXPECT_EQ(memo->GetWindowText(), QStringLiteral("ab\r\ncd"));
    EXPECT_EQ(QApplication::focusWidget(), memo);

    memo->SetWindowText(QString(400, QLatin1Char('x')));
    const QTextBlock block = memo->document()->firstBlock();
    ASSERT_NE(block.layout(), nullptr);
    EXPECT_EQ(block.layout()->lineCount(), 1);
    EXPECT_GT(memo->horizontalScrollBar()->maximum(), 0);
}

TEST(ViewFormTest, TabGoesFromPickerToListToMemo) {
    Form form;
    form.view.OnInitialUpdate();
    form.view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.view));
    form.Picker()->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), form.Picker());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.List());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.Memo());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), form.List());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), form.Picker());
}

TEST(ViewFormTest, InitialUpdateMakesThreeColumnsElevenItemsAndShowsToday) {
    Form form;
    form.view.OnInitialUpdate();
    CListCtrl* list = form.List();
    ASSERT_EQ(list->GetColumnCount(), 3);
    const int outerWidth = list->frameGeometry().width();
    EXPECT_EQ(outerWidth, 450);
    EXPECT_EQ(list->GetColumnWidth(0), 60);
    EXPECT_EQ(list->GetColumnWidth(1), 150);
    EXPECT_EQ(list->GetColumnWidth(2), outerWidth - 218);
    EXPECT_EQ(list->GetItemCount(), 11);
    EXPECT_EQ(form.doc.GetCurrentDay().m_dayDate, COleDateTime::GetCurrentTime().DatePart());
    EXPECT_EQ(form.Picker()->date(), Today());
    EXPECT_EQ(form.view.m_date, COleDateTime::GetCurrentTime().DatePart());
    // Showing today stores nothing.
    EXPECT_TRUE(form.doc.GetDays().empty());
    EXPECT_FALSE(form.doc.IsModified());
}

TEST(ViewFormTest, SecondInitialUpdateRebuildsColumnsItemsAndDate) {
    Form form;
    form.view.OnInitialUpdate();
    CListCtrl* list = form.List();
    form.view.InsertRow(4);
    form.view.SetCellText(0, 1, QStringLiteral("見出し"));
    form.Picker()->setDate(Today().addDays(-40));
    ASSERT_EQ(list->GetItemCount(), 12);

    ResizeClient(form.view, 640, 376);
    form.view.OnInitialUpdate();
    ASSERT_EQ(list->GetColumnCount(), 3);
    EXPECT_EQ(list->GetColumnWidth(0), 60);
    EXPECT_EQ(list->GetColumnWidth(1), 150);
    EXPECT_EQ(list->GetColumnWidth(2), 396 - 218);
    EXPECT_EQ(list->GetItemCount(), 11);
    EXPECT_EQ(list->GetItemText(0, 1), QString());
    EXPECT_EQ(form.Picker()->date(), Today());
    EXPECT_EQ(form.doc.GetCurrentDay().m_dayDate, COleDateTime::GetCurrentTime().DatePart());
}

struct LayoutCase {
    int width, height;
    QRect list, memo;
};

class ViewFormLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ViewFormLayoutTest, PlacesListAndMemoForTheClientSize) {
    const LayoutCase& c = GetParam();
    Form form;
    form.view.OnInitialUpdate();
    const QRect pickerBefore = form.Picker()->geometry();
    ResizeClient(form.view, c.width, c.height);
    EXPECT_EQ(form.List()->geometry(), c.list);
    EXPECT_EQ(form.Memo()->geometry(), c.memo);
    EXPECT_EQ(form.Picker()->geometry(), pickerBefore);
    // The detail column takes the rest of the list as the initial update gave it, at any size.
    EXPECT_EQ(form.List()->GetColumnWidth(0), 60);
    EXPECT_EQ(form.List()->GetColumnWidth(1), 150);
    EXPECT_EQ(form.List()->GetColumnWidth(2), std::max(0, c.list.width() - 218));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewFormLayoutTest,
                         ::testing::Values(
                             // The handheld's portrait screen.
                             LayoutCase{480, 536, Ltrb(15, 60, 465, 350), Ltrb(15, 365, 465, 496)},
                             // Landscape: the memo takes the last third beside the list.
                             LayoutCase{640, 376, Ltrb(15, 60, 411, 350), Ltrb(426, 60, 625, 350)},
                             // A square area is laid out as landscape: S = 2 * (500 / 3) = 332.
                             LayoutCase{500, 500, QRect(15, 60, 302, 290),
                                        QRect(332, 60, 153, 290)},
                             // One pixel short of square is portrait.
                             LayoutCase{499, 500, QRect(15, 60, 469, 290), QRect(15, 365, 469, 95)},
                             // A portrait area too low for the memo: its height is applied as zero.
                             LayoutCase{300, 400, QRect(15, 60, 270, 290), QRect(15, 365, 270, 0)},
                             // Too narrow for anything: widths are applied as zero.
                             LayoutCase{20, 600, QRect(15, 60, 0, 290), QRect(15, 365, 0, 195)},
                             LayoutCase{40, 30, QRect(15, 60, 0, 290), QRect(26, 60, 0, 290)}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST(ViewFormTest, SizeChangesBeforeTheFirstInitialUpdateMoveNothing) {
    Form form;
    const QRect list = form.List()->geometry();
    const QRect memo = form.Memo()->geometry();
    const QRect picker = form.Picker()->geometry();
    ResizeClient(form.view, 640, 376);
    ResizeClient(form.view, 300, 700);
    EXPECT_EQ(form.List()->geometry(), list);
    EXPECT_EQ(form.Memo()->geometry(), memo);
    EXPECT_EQ(form.Picker()->geometry(), picker);
    // The first initial update then lays out for the size of that moment.
    form.view.OnInitialUpdate();
    EXPECT_EQ(form.List()->geometry(), QRect(15, 60, 270, 290));
    EXPECT_EQ(form.Memo()->geometry(), QRect(15, 365, 270, 295));
    EXPECT_EQ(form.List()->GetColumnWidth(2), 270 - 218);
}

TEST(ViewFormTest, CalendarHangsFromThePickersRightEdgeButStaysOnTheScreen) {
    Form form;
    form.view.OnInitialUpdate();
    CDateTimeCtrl* picker = form.Picker();
    QWidget* popup = picker->calendarWidget()->window();
    const QRect screen = picker->screen()->availableGeometry();
    const auto open = [&] {
        QTest::mouseClick(picker, Qt::LeftButton, {},
                          QPoint(picker->width() - 5, picker->height() / 2));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(popup));
        QCoreApplication::processEvents();
    };
    const auto close = [&] {
        QTest::keyClick(picker->calendarWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!popup->isVisible());
    };

    // With room on the left the popup's right edge is the picker's (the offscreen platform
    // may shift a window by its 2-pixel frame).
    form.view.move(screen.left() + 300, screen.top() + 50);
    QCoreApplication::processEvents();
    open();
    const int pickerRight = picker->mapToGlobal(QPoint(picker->width(), 0)).x();
    EXPECT_NEAR(popup->geometry().x() + popup->width(), pickerRight, 2);
    close();

    // Near the screen's left edge it is kept on the screen: its month arrows stay reachable.
    form.view.move(screen.topLeft());
    QCoreApplication::processEvents();
    ASSERT_GT(popup->width(), picker->mapToGlobal(QPoint(picker->width(), 0)).x() - screen.left());
    open();
    EXPECT_GE(popup->geometry().left(), screen.left());
    close();
}
