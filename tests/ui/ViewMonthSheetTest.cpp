// The month sheet in the running planner: 表示 › 月 and the 7th button show it in place of the
// form, the keys and the mouse move on it and open a day, Escape and 表示 › 日 return, and the
// commands that act on the list are greyed while it is shown.

#include "UiTestSupport.h"

#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/MonthSheetView.h"
#include "view/TavrinoView.h"

#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

CYoteiDay& AddDay(CTavrinoDoc& book, const COleDateTime& date) {
    book.m_days.push_back(std::make_unique<CYoteiDay>());
    book.m_days.back()->m_dayDate = date;
    return *book.m_days.back();
}

class MonthSheetTest : public PlannerAppTest {
protected:
    void SetUp() override {
        // May 2019: the enthronement's ten days off, a trip, a full day and the month's edges.
        const QString path = m_profile.File(QStringLiteral("book.dat"));
        {
            CTavrinoDoc book;
            CYoteiDay& trip = AddDay(book, Day(2019, 5, 10));
            trip.SetHeading(QStringLiteral("出張（大阪）"));
            trip.SetTime(0, QStringLiteral("09:00"));
            trip.SetPlan(0, QStringLiteral("新幹線"));
            trip.SetTime(1, QStringLiteral("13:00"));
            trip.SetPlan(1, QStringLiteral("打ち合わせ"));
            CYoteiDay& full = AddDay(book, Day(2019, 5, 21));
            const QStringList plans = {QStringLiteral("朝礼"),     QStringLiteral("メール確認"),
                                       QStringLiteral("会議"),     QStringLiteral("昼食"),
                                       QStringLiteral("来客対応"), QStringLiteral("資料作成"),
                                       QStringLiteral("電話"),     QStringLiteral("移動"),
                                       QStringLiteral("研修"),     QStringLiteral("週報の提出")};
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                full.SetTime(r, QStringLiteral("%1").arg(8 + r, 2, 10, QLatin1Char('0')));
                full.SetPlan(r, plans[r]);
            }
            AddDay(book, Day(2019, 5, 3)).SetPlan(0, QStringLiteral("帰省"));
            AddDay(book, Day(2019, 5, 27)).SetHeading(QStringLiteral("締め切り日"));
            AddDay(book, Day(2019, 4, 30)).SetPlan(0, QStringLiteral("前月の予定"));
            AddDay(book, Day(2019, 6, 1)).SetPlan(0, QStringLiteral("翌月の予定"));
            ASSERT_TRUE(book.OnSaveDocument(path));
        }
        m_profile.Remember(path);
        ASSERT_NO_FATAL_FAILURE(StartApp());
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        // The day on show: 15 May 2019, picked as a user picks it.
        Picker()->setFocus();
        Picker()->setDate(QDate(2019, 5, 15));
        ASSERT_EQ(Doc()->GetCurrentDay().m_dayDate, Day(2019, 5, 15));
    }

    CDateTimeCtrl* Picker() const { return View()->m_datePicker; }
    CMonthSheetView* Sheet() const { return View()->GetMonthSheet(); }
    CCommandBar* Bar() const { return Frame()->GetCommandBar(); }
    bool SheetShown() const { return View()->IsMonthSheetShown(); }
    bool FormShown() const {
        return !Picker()->isHidden() && !List()->isHidden() && !Memo()->isHidden();
    }

    // The enabled state of every item of the 行操作, データ挿入 and 表示 menus, as the menu
    // shows it when it opens.
    QStringList MenuStates() {
        QStringList states;
        bool opened = false;
        OnNextPopup([&](QMenu* menu) {
            opened = true;
            for (QAction* action : menu->actions()) {
                QMenu* sub = action->menu();
                if (!sub)
                    continue;
                menu->setActiveAction(action);
                sub->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
                for (QAction* item : sub->actions())
                    states << action->text() + u'/' + item->text() +
                                  (item->isEnabled() ? QStringLiteral(" on")
                                                     : QStringLiteral(" off"));
                sub->hide();
            }
            menu->close();
        });
        QTest::mouseClick(Bar()->GetMenuButton(), Qt::LeftButton);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return opened && !Bar()->GetMenu()->isVisible(); }, 3000));
        return states;
    }

    QPoint CellCentre(const QDate& date) const {
        return Sheet()
            ->Sheet()
            .CellRect(Sheet()->SheetRect(), Sheet()->font(), date, Sheet())
            .center()
            .toPoint();
    }

    // What the day view shows: the picker, every cell and the memo.
    QStringList Snapshot() const {
        QStringList state{Picker()->text(), Memo()->GetWindowText(),
                          QString::number(Doc()->GetDays().size()),
                          QString::number(Doc()->IsModified())};
        for (int item = 0; item < List()->GetItemCount(); ++item) {
            for (int column = 0; column < 3; ++column)
                state << List()->GetItemText(item, column);
        }
        return state;
    }
};

TEST_F(MonthSheetTest, MonthButtonShowsTheMonthAndTheKeysMoveOnIt) {
    // A change made in the day view is on the sheet when it is next shown.
    QTest::mouseClick(Memo()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    TypeText(Memo(), QStringLiteral("買い物"));
    Doc()->SetModifiedFlag(false);
    const std::size_t stored = Doc()->GetDays().size();

    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    ASSERT_TRUE(SheetShown());
    EXPECT_TRUE(Sheet()->isVisible());
    EXPECT_TRUE(Picker()->isHidden());
    EXPECT_TRUE(List()->isHidden());
    EXPECT_TRUE(Memo()->isHidden());
    EXPECT_TRUE(Sheet()->hasFocus());
    EXPECT_EQ(Sheet()->geometry(), View()->rect());
    EXPECT_EQ(Sheet()->Sheet().Year(), 2019);
    EXPECT_EQ(Sheet()->Sheet().Month(), 5);
    EXPECT_EQ(Sheet()->SelectedDate(), QDate(2019, 5, 15));
    EXPECT_TRUE(Sheet()->Sheet().DayOf(QDate(2019, 5, 15))->hasText);
    EXPECT_EQ(Sheet()->Sheet().DayOf(QDate(2019, 5, 21))->rows.size(), 10u);
    EXPECT_EQ(Sheet()->Sheet().DayOf(QDate(2019, 5, 1))->holiday,
              QStringLiteral("休日（祝日扱い）"));
    // What a narrow cell cuts short, its tool tip holds whole.
    EXPECT_EQ(Sheet()->DayText(QDate(2019, 5, 10)),
              QStringLiteral("2019年5月10日金曜日\n■出張（大阪）\n09:00 新幹線\n13:00 打ち合わせ"));
    EXPECT_TRUE(Sheet()->DayText(QDate(2019, 5, 21)).endsWith(QStringLiteral("\n17 週報の提出")));
    if (const QString shot = ShotPath(QStringLiteral("month-sheet.png")); !shot.isEmpty())
        Frame()->grab().save(shot);

    // The commands that act on the list are greyed, 日 and 月 are not; so are their buttons.
    for (int index : {0, 3, 4})
        EXPECT_FALSE(Bar()->GetButton(index)->isEnabled()) << index;
    for (int index : {5, 6, 7})
        EXPECT_TRUE(Bar()->GetButton(index)->isEnabled()) << index;
    const QStringList greyed = {QStringLiteral("行操作/編集 off"),
                                QStringLiteral("行操作/挿入 off"),
                                QStringLiteral("行操作/削除 off"),
                                QStringLiteral("データ挿入/標準データ off"),
                                QStringLiteral("データ挿入/時刻データ off"),
                                QStringLiteral("表示/日 on"),
                                QStringLiteral("表示/月 on")};
    const QStringList states = MenuStates();
    for (const QString& state : greyed)
        EXPECT_TRUE(states.contains(state)) << state.toStdString();
    EXPECT_TRUE(states.contains(QStringLiteral("ファイル/保存 on")));
    // Not even a key reaches them: the list's Enter is nowhere, the command is refused.
    EXPECT_FALSE(Frame()->OnCmdMsg(ID_ROW_EDIT, false));

    // Arrows move the day, across the month's edges too; Page Up and Down the month.
    const auto key = [&](Qt::Key k) {
        QTest::keyClick(Sheet(), k);
        return Sheet()->SelectedDate();
    };
    EXPECT_EQ(key(Qt::Key_Right), QDate(2019, 5, 16));
    EXPECT_EQ(key(Qt::Key_Down), QDate(2019, 5, 23));
    EXPECT_EQ(key(Qt::Key_Left), QDate(2019, 5, 22));
    EXPECT_EQ(key(Qt::Key_Up), QDate(2019, 5, 15));
    EXPECT_EQ(key(Qt::Key_PageDown), QDate(2019, 6, 15));
    EXPECT_EQ(Sheet()->Sheet().Month(), 6);
    EXPECT_EQ(key(Qt::Key_PageUp), QDate(2019, 5, 15));
    EXPECT_EQ(key(Qt::Key_Home), QDate(2019, 5, 1));
    EXPECT_EQ(key(Qt::Key_Left), QDate(2019, 4, 30));
    EXPECT_EQ(Sheet()->Sheet().Month(), 4);
    // The month turned to is read from the book as well.
    EXPECT_TRUE(Sheet()->Sheet().DayOf(QDate(2019, 4, 30))->hasText);
    EXPECT_TRUE(SheetShown());
    EXPECT_FALSE(Doc()->IsModified());

    // Enter opens the day in the day view; the commands are back.
    QTest::keyClick(Sheet(), Qt::Key_Return);
    EXPECT_FALSE(SheetShown());
    EXPECT_TRUE(FormShown());
    EXPECT_EQ(Picker()->date(), QDate(2019, 4, 30));
    EXPECT_EQ(Doc()->GetCurrentDay().m_dayDate, Day(2019, 4, 30));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("前月の予定"));
    for (int index : {0, 3, 4, 5, 6})
        EXPECT_TRUE(Bar()->GetButton(index)->isEnabled()) << index;
    EXPECT_TRUE(MenuStates().contains(QStringLiteral("行操作/編集 on")));
    EXPECT_FALSE(Doc()->IsModified());
    EXPECT_EQ(Doc()->GetDays().size(), stored);
}

TEST_F(MonthSheetTest, DoubleClickOpensADayAndEscapeOrDayReturns) {
    const QStringList before = Snapshot();

    // Escape returns to the day on show, untouched, and gives the focus back.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualRect(List()->model()->index(2, 0)).center());
    ASSERT_TRUE(List()->hasFocus());
    ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("表示"), QStringLiteral("月")}));
    ASSERT_TRUE(SheetShown());
    QTest::keyClick(Sheet(), Qt::Key_Right);
    QTest::keyClick(Sheet(), Qt::Key_Escape);
    EXPECT_FALSE(SheetShown());
    EXPECT_TRUE(FormShown());
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_EQ(View()->GetSelectedRow(), 2);
    EXPECT_EQ(Snapshot(), before);

    // 表示 › 日 returns as well.
    ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("表示"), QStringLiteral("月")}));
    ASSERT_TRUE(SheetShown());
    ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("表示"), QStringLiteral("日")}));
    EXPECT_FALSE(SheetShown());
    EXPECT_EQ(Snapshot(), before);

    // A double click opens the day under it.
    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    ASSERT_TRUE(SheetShown());
    QTest::mouseDClick(Sheet(), Qt::LeftButton, {}, CellCentre(QDate(2019, 5, 10)));
    EXPECT_FALSE(SheetShown());
    EXPECT_EQ(Picker()->date(), QDate(2019, 5, 10));
    EXPECT_EQ(List()->GetItemText(0, 1), QStringLiteral("出張（大阪）"));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("新幹線"));

    // A click frames a day; a click on a grey day turns to its month, so the double click it
    // began opens the day it chose, not the one under the pointer in the month turned to.
    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    QTest::mouseClick(Sheet(), Qt::LeftButton, {}, CellCentre(QDate(2019, 5, 21)));
    EXPECT_EQ(Sheet()->SelectedDate(), QDate(2019, 5, 21));
    EXPECT_TRUE(SheetShown());
    const QPoint grey = CellCentre(QDate(2019, 6, 1));
    QTest::mousePress(Sheet(), Qt::LeftButton, {}, grey);
    QTest::mouseRelease(Sheet(), Qt::LeftButton, {}, grey);
    EXPECT_EQ(Sheet()->Sheet().Month(), 6);
    ASSERT_NE(CellCentre(QDate(2019, 6, 1)), grey);
    QTest::mouseDClick(Sheet(), Qt::LeftButton, {}, grey);
    EXPECT_FALSE(SheetShown());
    EXPECT_EQ(Picker()->date(), QDate(2019, 6, 1));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("翌月の予定"));
    EXPECT_FALSE(Doc()->IsModified());
}

TEST_F(MonthSheetTest, DayInTheDayViewStillDoesNothing) {
    const QStringList before = Snapshot();
    QTest::mouseClick(Bar()->GetButton(5), Qt::LeftButton);
    ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("表示"), QStringLiteral("日")}));
    EXPECT_FALSE(SheetShown());
    EXPECT_TRUE(FormShown());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(MonthSheetTest, AWindowResizedUnderTheSheetLaysOutTheDayViewForItsNewSize) {
    const QSize first = Frame()->size();
    Frame()->resize(820, 560);
    QCoreApplication::processEvents();
    const QRect listAtWide = List()->geometry();
    const int detailAtWide = List()->GetColumnWidth(2);
    Frame()->resize(first);
    QCoreApplication::processEvents();
    ASSERT_NE(List()->geometry(), listAtWide);

    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    Frame()->resize(820, 560);
    QCoreApplication::processEvents();
    EXPECT_EQ(Sheet()->geometry(), View()->rect());
    QTest::keyClick(Sheet(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(List()->geometry(), listAtWide);
    EXPECT_EQ(List()->GetColumnWidth(2), detailAtWide);
}

TEST_F(MonthSheetTest, MonthAgainReturnsToTheDayOnShowAndABookOpenedReturnsToTheDayView) {
    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    QTest::keyClick(Sheet(), Qt::Key_PageDown);
    ASSERT_EQ(Sheet()->SelectedDate(), QDate(2019, 6, 15));
    // 月 on the sheet shows the month of the day on show again.
    QTest::mouseClick(Bar()->GetButton(6), Qt::LeftButton);
    EXPECT_EQ(Sheet()->SelectedDate(), QDate(2019, 5, 15));
    EXPECT_EQ(Sheet()->Sheet().Month(), 5);

    // Opening a book starts on its today in the day view.
    const QString other = m_profile.File(QStringLiteral("other.dat"));
    WriteBook(other, Day(2020, 1, 1), QStringLiteral("元日の予定"));
    ASSERT_NE(m_app->OpenDocumentFile(other), nullptr);
    EXPECT_FALSE(SheetShown());
    EXPECT_TRUE(FormShown());
    EXPECT_EQ(Picker()->date(), QDate::currentDate());
    EXPECT_TRUE(Bar()->GetButton(0)->isEnabled());
}

} // namespace
