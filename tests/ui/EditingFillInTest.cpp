// The fill-in commands on the running application: the period labels of a 50-minute day and the
// hour labels, reached through the menu's actions and the command routing.

#include "UiTestSupport.h"
#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QStringList kPeriods = {"朝", "①", "②", "③", "④", "昼", "⑤", "⑥", "放", ""};
const QStringList kHours = {"08", "09", "10", "11", "12", "13", "14", "15", "16", "17"};

QAction* FindAction(QMenu* menu, int command) {
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            if (QAction* found = FindAction(action->menu(), command))
                return found;
        } else if (action->property("commandId").toInt() == command) {
            return action;
        }
    }
    return nullptr;
}

class EditingFillInTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    }
    void TearDown() override { Doc()->SetModifiedFlag(false); }

    // A day with plans, details, a heading detail and a memo, all of which the commands keep.
    void SeedDay() {
        Doc()->SetHeading(QStringLiteral("元の見出し"));
        Doc()->SetHeadingDetail(QStringLiteral("見出しの詳細"));
        for (int row = 0; row < 10; ++row) {
            Doc()->SetTime(row, QStringLiteral("t%1").arg(row));
            Doc()->SetPlan(row, QStringLiteral("P%1").arg(row));
            Doc()->SetDetail(row, QStringLiteral("D%1").arg(row));
        }
        Doc()->SetMemo(QStringLiteral("持ち物"));
        Doc()->CommitCurrentDay();
        View()->ShowDay();
        Doc()->SetModifiedFlag(false);
    }

    void RunFromMenu(int command) {
        QAction* action = FindAction(Frame()->GetCommandBar()->GetMenu(), command);
        ASSERT_NE(action, nullptr);
        // Opening the menu enables its items by the routing.
        auto* menu = qobject_cast<QMenu*>(action->parent());
        ASSERT_NE(menu, nullptr);
        emit menu->aboutToShow();
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
    }

    // The list's time column, the heading and the stored day must agree with the labels.
    void ExpectFilled(const QString& heading, const QStringList& times) {
        EXPECT_TRUE(List()->GetItemText(0, 0).isEmpty());
        EXPECT_EQ(List()->GetItemText(0, 1), heading);
        const CYoteiDay& day = *Doc()->GetDays().at(0);
        EXPECT_EQ(day.GetHeading(), heading);
        for (int row = 0; row < 10; ++row) {
            EXPECT_EQ(List()->GetItemText(row + 1, 0), times[row]) << row;
            EXPECT_EQ(day.GetTime(row), times[row]) << row;
        }
        EXPECT_TRUE(Doc()->IsModified());
    }
    // Plans, details, the heading detail and the memo as SeedDay left them.
    void ExpectKept() {
        const CYoteiDay& day = *Doc()->GetDays().at(0);
        EXPECT_EQ(List()->GetItemText(0, 2), QStringLiteral("見出しの詳細"));
        EXPECT_EQ(day.GetHeadingDetail(), QStringLiteral("見出しの詳細"));
        for (int row = 0; row < 10; ++row) {
            EXPECT_EQ(List()->GetItemText(row + 1, 1), QStringLiteral("P%1").arg(row));
            EXPECT_EQ(List()->GetItemText(row + 1, 2), QStringLiteral("D%1").arg(row));
            EXPECT_EQ(day.GetPlan(row), QStringLiteral("P%1").arg(row));
            EXPECT_EQ(day.GetDetail(row), QStringLiteral("D%1").arg(row));
        }
        EXPECT_EQ(day.GetMemo(), QStringLiteral("持ち物"));
        EXPECT_EQ(View()->m_memoEdit->toPlainText(), QStringLiteral("持ち物"));
    }
};

TEST_F(EditingFillInTest, StandardDataLabelsThePeriodsAndKeepsEverythingElse) {
    SeedDay();
    // A time left in the heading row by an edit goes; the selection stays as it was.
    View()->SetCellText(0, 0, QStringLiteral("終日"));
    List()->selectRow(4);
    RunFromMenu(ID_DATA_STANDARD);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
    EXPECT_TRUE(List()->IsItemSelected(4));
    EXPECT_EQ(List()->selectionModel()->selectedRows().size(), 1);

    // Twice is once.
    Doc()->SetModifiedFlag(false);
    RunFromMenu(ID_DATA_STANDARD);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
    EXPECT_EQ(Doc()->GetDays().size(), 1u);
}

TEST_F(EditingFillInTest, TimeDataLabelsTheHoursAndEmptiesTheHeading) {
    SeedDay();
    View()->SetCellText(0, 0, QStringLiteral("終日"));
    List()->selectRow(0);
    RunFromMenu(ID_DATA_TIME);
    ExpectFilled(QString(), kHours);
    ExpectKept();
    EXPECT_TRUE(List()->IsItemSelected(0));

    Doc()->SetModifiedFlag(false);
    Frame()->OnCmdMsg(ID_DATA_TIME, true);
    ExpectFilled(QString(), kHours);
    ExpectKept();
}

// The later command wins entirely: the tenth time and the heading follow it too.
TEST_F(EditingFillInTest, TheLaterFillInReplacesTheEarlierOne) {
    SeedDay();
    Frame()->OnCmdMsg(ID_DATA_STANDARD, true);
    Frame()->OnCmdMsg(ID_DATA_TIME, true);
    ExpectFilled(QString(), kHours);
    Frame()->OnCmdMsg(ID_DATA_STANDARD, true);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
}

// On a day never stored, the command adds its record: the hours and nothing else.
TEST_F(EditingFillInTest, TimeDataOnANewDayAddsItsRecord) {
    ASSERT_TRUE(Doc()->GetDays().empty());
    ASSERT_FALSE(Doc()->IsModified());
    Frame()->OnCmdMsg(ID_DATA_TIME, true);
    ASSERT_EQ(Doc()->GetDays().size(), 1u);
    ExpectFilled(QString(), kHours);
    const CYoteiDay& day = *Doc()->GetDays().at(0);
    EXPECT_TRUE(day.m_dayDate == View()->m_date.DatePart());
    for (int row = 0; row < 10; ++row) {
        EXPECT_TRUE(day.GetPlan(row).isEmpty());
        EXPECT_TRUE(day.GetDetail(row).isEmpty());
    }
    EXPECT_TRUE(day.GetHeadingDetail().isEmpty());
    EXPECT_TRUE(day.GetMemo().isEmpty());
}

} // namespace
