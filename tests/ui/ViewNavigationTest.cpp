// Moving between days with the picker and typing into the memo, in the running application:
// navigation shows days and stores nothing; every change in the memo stores the whole day.

#include "UiTestSupport.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "platform/ui/FrameWnd.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

COleDateTime Day(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

class ViewNavigationTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    }

    CDateTimeCtrl* Picker() const { return View()->m_datePicker; }

    // Stores a day straight into the book, as an earlier session would have, and leaves the
    // book unmodified and the working day on today.
    void StoreInBook(const QDate& date, const QString& plan, const QString& memo) {
        Doc()->SelectDay(Day(date));
        Doc()->SetPlan(0, plan);
        Doc()->SetMemo(memo);
        Doc()->CommitCurrentDay();
        Doc()->SetModifiedFlag(false);
        Doc()->SelectDay(Day(m_today));
    }

    // Moves the picker by one day with the arrow keys on its day field.
    void StepPickerDay(bool up) {
        Picker()->setFocus();
        Picker()->setCurrentSection(QDateTimeEdit::DaySection);
        QTest::keyClick(Picker(), up ? Qt::Key_Up : Qt::Key_Down);
    }

    // Selects the day-of-month field of the picker's text, as a click on it would.
    void SelectDayNumberField() {
        const QLineEdit* field = Picker()->findChild<QLineEdit*>();
        for (int index = 0; index < Picker()->sectionCount(); ++index) {
            if (Picker()->sectionAt(index) != QDateTimeEdit::DaySection)
                continue;
            Picker()->setCurrentSectionIndex(index);
            Picker()->setSelectedSection(QDateTimeEdit::DaySection);
            bool numeric = false;
            field->selectedText().toInt(&numeric);
            if (numeric)
                return;
        }
        ADD_FAILURE() << "no day number in " << Picker()->text().toStdString();
    }

    void TypeIntoMemo(const QString& text) {
        QTest::mouseClick(Memo()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        TypeText(Memo(), text);
    }

    const QDate m_today = QDate::currentDate();
    // A neighbouring day the arrow keys reach without leaving the month.
    const QDate m_other = m_today.day() > 1 ? m_today.addDays(-1) : m_today.addDays(1);
    const bool m_otherIsUp = m_today.day() == 1;
};

} // namespace

TEST_F(ViewNavigationTest, CalendarClickShowsTheDayAndStoresNothing) {
    // The day after (or before) today in the calendar's grid, whichever the grid row has.
    Picker()->setFocus();
    const QRect arrow(Picker()->width() - 10, 0, 10, Picker()->height());
    QTest::mouseClick(Picker(), Qt::LeftButton, {}, arrow.center());
    QCalendarWidget* calendar = Picker()->calendarWidget();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(calendar->window()));
    auto* grid = calendar->findChild<QTableView*>();
    ASSERT_NE(grid, nullptr);
    const QModelIndex current = grid->currentIndex();
    const bool lastColumn = current.column() == grid->model()->columnCount() - 1;
    const QModelIndex target =
        grid->model()->index(current.row(), current.column() + (lastColumn ? -1 : 1));
    const QDate picked = m_today.addDays(lastColumn ? -1 : 1);
    StoreInBook(picked, QStringLiteral("会議"), QStringLiteral("持ち物"));
    StoreInBook(m_today, QStringLiteral("today"), QString());

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(target).center());
    QTRY_VERIFY(!calendar->window()->isVisible());

    EXPECT_EQ(Picker()->date(), picked);
    EXPECT_EQ(Doc()->GetCurrentDay().m_dayDate, Day(picked));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("会議"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("持ち物"));
    EXPECT_FALSE(Doc()->IsModified());
    EXPECT_EQ(Doc()->GetDays().size(), 2u);
}

TEST_F(ViewNavigationTest, ArrowKeysAndTypingInThePickerSelectDays) {
    StoreInBook(m_other, QStringLiteral("隣の日"), QStringLiteral("隣のメモ"));
    const QDate fifteenth(m_today.year(), m_today.month(), 15);
    StoreInBook(fifteenth, QStringLiteral("十五日"), QString());

    StepPickerDay(m_otherIsUp);
    EXPECT_EQ(Picker()->date(), m_other);
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("隣の日"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("隣のメモ"));

    // Typing the day's number over its field, with the Japanese long date. (Where the weekday's
    // name comes first, as in English, Qt's date field loses the second digit when the name
    // changes length.)
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    Picker()->setLocale(japanese);
    Picker()->setDisplayFormat(japanese.dateFormat(QLocale::LongFormat));
    SelectDayNumberField();
    TypeText(Picker(), QStringLiteral("15"));
    EXPECT_EQ(Picker()->date(), fifteenth);
    EXPECT_EQ(Doc()->GetCurrentDay().m_dayDate, Day(fifteenth));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("十五日"));
    EXPECT_EQ(Memo()->GetWindowText(), QString());

    EXPECT_FALSE(Doc()->IsModified());
    EXPECT_EQ(Doc()->GetDays().size(), 2u);
}

TEST_F(ViewNavigationTest, GoingAwayAndBackStoresNothing) {
    StoreInBook(m_today, QStringLiteral("A"), QStringLiteral("Aのメモ"));
    View()->ShowDay();
    QSignalSpy memoChanges(Memo(), &CEdit::change);

    StepPickerDay(m_otherIsUp);
    EXPECT_EQ(Picker()->date(), m_other);
    for (int item = 0; item < 11; ++item) {
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(List()->GetItemText(item, column), QString()) << item << "," << column;
    }
    EXPECT_EQ(Memo()->GetWindowText(), QString());

    StepPickerDay(!m_otherIsUp);
    EXPECT_EQ(Picker()->date(), m_today);
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("A"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("Aのメモ"));

    EXPECT_EQ(memoChanges.count(), 0);
    EXPECT_FALSE(Doc()->IsModified());
    ASSERT_EQ(Doc()->GetDays().size(), 1u);
    EXPECT_EQ(Doc()->GetDays()[0]->m_dayDate, Day(m_today));
}

TEST_F(ViewNavigationTest, EveryMemoKeystrokeStoresTheWholeDay) {
    // An unstored day: one character makes its record.
    ASSERT_TRUE(Doc()->GetDays().empty());
    TypeIntoMemo(QStringLiteral("x"));
    ASSERT_EQ(Doc()->GetDays().size(), 1u);
    CYoteiDay expected;
    expected.m_dayDate = Day(m_today);
    expected.SetMemo(QStringLiteral("x"));
    EXPECT_EQ(*Doc()->GetDays()[0], expected);
    EXPECT_TRUE(Doc()->IsModified());

    // Deleting it leaves the record with an empty memo.
    Doc()->SetModifiedFlag(false);
    QTest::keyClick(Memo(), Qt::Key_Backspace);
    ASSERT_EQ(Doc()->GetDays().size(), 1u);
    expected.SetMemo(QString());
    EXPECT_EQ(*Doc()->GetDays()[0], expected);
    EXPECT_TRUE(Doc()->IsModified());

    // The list's cells go along with the memo.
    View()->SetCellText(2, 1, QStringLiteral("cell"));
    Doc()->SetModifiedFlag(false);
    TypeText(Memo(), QStringLiteral("メ"));
    EXPECT_EQ(Doc()->GetDays()[0]->GetPlan(1), QStringLiteral("cell"));
    EXPECT_EQ(Doc()->GetDays()[0]->GetMemo(), QStringLiteral("メ"));
    EXPECT_TRUE(Doc()->IsModified());
}

TEST_F(ViewNavigationTest, PastingIntoTheMemoStoresTheDay) {
    QApplication::clipboard()->setText(QStringLiteral("貼り付けた"));
    TypeIntoMemo(QStringLiteral("a"));
    Doc()->SetModifiedFlag(false);
    // Ctrl+V belongs to the frame's accelerators and does nothing; Shift+Insert still pastes.
    QTest::keyClick(Memo(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("a貼り付けた"));
    ASSERT_EQ(Doc()->GetDays().size(), 1u);
    EXPECT_EQ(Doc()->GetDays()[0]->GetMemo(), QStringLiteral("a貼り付けた"));
    EXPECT_TRUE(Doc()->IsModified());
}

TEST_F(ViewNavigationTest, SelectionStaysOnTheSameItemsAcrossDays) {
    const auto click = [this](int item, Qt::KeyboardModifiers modifiers) {
        const QRect cell = List()->visualRect(List()->model()->index(item, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, modifiers, cell.center());
    };
    click(2, {});
    click(9, Qt::ControlModifier);
    StepPickerDay(m_otherIsUp);
    ASSERT_EQ(Picker()->date(), m_other);
    for (int item = 0; item < 11; ++item)
        EXPECT_EQ(List()->IsItemSelected(item), item == 2 || item == 9) << item;
    EXPECT_EQ(View()->GetSelectedRow(), 2);
}

TEST_F(ViewNavigationTest, ViewDayAndAVisitToTheMonthChangeNothing) {
    StoreInBook(m_today, QStringLiteral("予定"), QStringLiteral("メモ"));
    View()->ShowDay();
    const QRect cell = List()->visualRect(List()->model()->index(1, 0));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, cell.center());
    const auto snapshot = [this] {
        QStringList state{
            Picker()->text(), Memo()->GetWindowText(), QString::number(View()->GetSelectedRow()),
            QString::number(Doc()->GetDays().size()), QString::number(Doc()->IsModified())};
        for (int item = 0; item < List()->GetItemCount(); ++item) {
            for (int column = 0; column < 3; ++column)
                state << List()->GetItemText(item, column);
        }
        return state;
    };
    const QStringList before = snapshot();
    // 日 on the day view changes nothing; 月 and then 日 leave the day as it was.
    for (int command : {ID_VIEW_DAY, ID_VIEW_MONTH, ID_VIEW_DAY}) {
        EXPECT_TRUE(Frame()->OnCmdMsg(command, false)) << command;
        EXPECT_TRUE(Frame()->OnCmdMsg(command, true)) << command;
        EXPECT_EQ(snapshot(), before) << command;
    }
    EXPECT_FALSE(View()->IsMonthSheetShown());
}

TEST_F(ViewNavigationTest, OpeningABookShowsItsToday) {
    // A book with today and yesterday, written by a document of its own.
    const QString path = m_profile.File(QStringLiteral("book.dat"));
    {
        CTavrinoDoc other;
        other.SelectDay(Day(m_today.addDays(-1)));
        other.SetMemo(QStringLiteral("昨日"));
        other.CommitCurrentDay();
        other.SelectDay(Day(m_today));
        other.SetHeading(QStringLiteral("今日の見出し"));
        other.SetMemo(QStringLiteral("今日"));
        other.CommitCurrentDay();
        ASSERT_TRUE(other.OnSaveDocument(path));
    }
    // The open book is looking at another day, with a selection.
    StepPickerDay(m_otherIsUp);
    ASSERT_EQ(Picker()->date(), m_other);

    ASSERT_NE(m_app->OpenDocumentFile(path), nullptr);
    EXPECT_EQ(Picker()->date(), m_today);
    EXPECT_EQ(Doc()->GetCurrentDay().m_dayDate, Day(m_today));
    EXPECT_EQ(List()->GetItemText(0, 1), QStringLiteral("今日の見出し"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("今日"));
    EXPECT_EQ(List()->GetItemCount(), 11);
    EXPECT_FALSE(Doc()->IsModified());
}
