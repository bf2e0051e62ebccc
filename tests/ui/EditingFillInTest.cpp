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

class EditingFillInTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_app.SetDocumentsFolder(m_profile.DocumentsFolder());
        ASSERT_TRUE(m_app.InitInstance());
        m_frame = static_cast<CMainFrame*>(m_app.m_pMainWnd);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame));
        m_view = static_cast<CTavrinoView*>(m_frame->GetActiveView());
        m_doc = static_cast<CTavrinoDoc*>(m_app.GetDocument());
        m_list = m_view->m_listCtrl;
    }
    void TearDown() override { m_doc->SetModifiedFlag(false); }

    // A day with plans, details, a heading detail and a memo, all of which the commands keep.
    void SeedDay() {
        m_doc->SetHeading(QStringLiteral("元の見出し"));
        m_doc->SetHeadingDetail(QStringLiteral("見出しの詳細"));
        for (int row = 0; row < 10; ++row) {
            m_doc->SetTime(row, QStringLiteral("t%1").arg(row));
            m_doc->SetPlan(row, QStringLiteral("P%1").arg(row));
            m_doc->SetDetail(row, QStringLiteral("D%1").arg(row));
        }
        m_doc->SetMemo(QStringLiteral("持ち物"));
        m_doc->CommitCurrentDay();
        m_view->ShowDay();
        m_doc->SetModifiedFlag(false);
    }

    void RunFromMenu(int command) {
        QAction* action = FindAction(m_frame->GetCommandBar()->GetMenu(), command);
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
        EXPECT_TRUE(m_list->GetItemText(0, 0).isEmpty());
        EXPECT_EQ(m_list->GetItemText(0, 1), heading);
        const CYoteiDay& day = *m_doc->GetDays().at(0);
        EXPECT_EQ(day.GetHeading(), heading);
        for (int row = 0; row < 10; ++row) {
            EXPECT_EQ(m_list->GetItemText(row + 1, 0), times[row]) << row;
            EXPECT_EQ(day.GetTime(row), times[row]) << row;
        }
        EXPECT_TRUE(m_doc->IsModified());
    }
    // Plans, details, the heading detail and the memo as SeedDay left them.
    void ExpectKept() {
        const CYoteiDay& day = *m_doc->GetDays().at(0);
        EXPECT_EQ(m_list->GetItemText(0, 2), QStringLiteral("見出しの詳細"));
        EXPECT_EQ(day.GetHeadingDetail(), QStringLiteral("見出しの詳細"));
        for (int row = 0; row < 10; ++row) {
            EXPECT_EQ(m_list->GetItemText(row + 1, 1), QStringLiteral("P%1").arg(row));
            EXPECT_EQ(m_list->GetItemText(row + 1, 2), QStringLiteral("D%1").arg(row));
            EXPECT_EQ(day.GetPlan(row), QStringLiteral("P%1").arg(row));
            EXPECT_EQ(day.GetDetail(row), QStringLiteral("D%1").arg(row));
        }
        EXPECT_EQ(day.GetMemo(), QStringLiteral("持ち物"));
        EXPECT_EQ(m_view->m_memoEdit->toPlainText(), QStringLiteral("持ち物"));
    }

    TestProfileFolder m_profile;
    CTavrinoApp m_app;
    CMainFrame* m_frame = nullptr;
    CTavrinoView* m_view = nullptr;
    CTavrinoDoc* m_doc = nullptr;
    CListCtrl* m_list = nullptr;
};

TEST_F(EditingFillInTest, StandardDataLabelsThePeriodsAndKeepsEverythingElse) {
    SeedDay();
    // A time left in the heading row by an edit goes; the selection stays as it was.
    m_view->SetCellText(0, 0, QStringLiteral("終日"));
    m_list->selectRow(4);
    RunFromMenu(ID_DATA_STANDARD);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
    EXPECT_TRUE(m_list->IsItemSelected(4));
    EXPECT_EQ(m_list->selectionModel()->selectedRows().size(), 1);

    // Twice is once.
    m_doc->SetModifiedFlag(false);
    RunFromMenu(ID_DATA_STANDARD);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
    EXPECT_EQ(m_doc->GetDays().size(), 1u);
}

TEST_F(EditingFillInTest, TimeDataLabelsTheHoursAndEmptiesTheHeading) {
    SeedDay();
    m_view->SetCellText(0, 0, QStringLiteral("終日"));
    m_list->selectRow(0);
    RunFromMenu(ID_DATA_TIME);
    ExpectFilled(QString(), kHours);
    ExpectKept();
    EXPECT_TRUE(m_list->IsItemSelected(0));

    m_doc->SetModifiedFlag(false);
    m_frame->OnCmdMsg(ID_DATA_TIME, true);
    ExpectFilled(QString(), kHours);
    ExpectKept();
}

// The later command wins entirely: the tenth time and the heading follow it too.
TEST_F(EditingFillInTest, TheLaterFillInReplacesTheEarlierOne) {
    SeedDay();
    m_frame->OnCmdMsg(ID_DATA_STANDARD, true);
    m_frame->OnCmdMsg(ID_DATA_TIME, true);
    ExpectFilled(QString(), kHours);
    m_frame->OnCmdMsg(ID_DATA_STANDARD, true);
    ExpectFilled(QStringLiteral("50分時程"), kPeriods);
    ExpectKept();
}

// On a day never stored, the command adds its record: the hours and nothing else.
TEST_F(EditingFillInTest, TimeDataOnANewDayAddsItsRecord) {
    ASSERT_TRUE(m_doc->GetDays().empty());
    ASSERT_FALSE(m_doc->IsModified());
    m_frame->OnCmdMsg(ID_DATA_TIME, true);
    ASSERT_EQ(m_doc->GetDays().size(), 1u);
    ExpectFilled(QString(), kHours);
    const CYoteiDay& day = *m_doc->GetDays().at(0);
    EXPECT_TRUE(day.m_dayDate == m_view->m_date.DatePart());
    for (int row = 0; row < 10; ++row) {
        EXPECT_TRUE(day.GetPlan(row).isEmpty());
        EXPECT_TRUE(day.GetDetail(row).isEmpty());
    }
    EXPECT_TRUE(day.GetHeadingDetail().isEmpty());
    EXPECT_TRUE(day.GetMemo().isEmpty());
}

} // namespace
