// A user's session from start to file: today filled with the hour labels through the menu, two
// rows edited in the entry dialog by keyboard, one row deleted with its button, the book saved,
// and the saved file read back by the book tool.

#include "UiTestSupport.h"
#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "editing/YoteiIns.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The action for one entry dialog; any other modal window is a failure.
std::function<void(QWidget*)> AsEntryDialog(std::function<void(CYoteiIns*)> action) {
    return [action = std::move(action)](QWidget* modal) {
        auto* dialog = qobject_cast<CYoteiIns*>(modal);
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    };
}

using EditingEndToEndTest = PlannerAppTest;

TEST_F(EditingEndToEndTest, FilledEditedDeletedAndSavedDayReadsBackFromTheFile) {
    StartApp();
    CMainFrame* frame = Frame();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    CListCtrl* list = List();
    QToolButton* menuButton = frame->GetCommandBar()->GetMenuButton();
    ASSERT_EQ(menuButton->text(), QStringLiteral("メニュー"));

    const auto clickItem = [&](int item) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(item, 0)).center());
    };
    const auto runMenu = [&](const QStringList& path) {
        EXPECT_TRUE(ClickMenu(frame->GetCommandBar(), path));
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    };

    runMenu({QStringLiteral("データ挿入"), QStringLiteral("時刻データ")});
    ASSERT_EQ(list->GetItemText(1, 0), QStringLiteral("08"));

    // Item 3 (10 o'clock): type the plan, Tab to the detail, back to the plan and Enter.
    clickItem(3);
    {
        const auto type = [](CYoteiIns* dialog) {
            QWidget* plan = QApplication::focusWidget();
            EXPECT_EQ(plan, dialog->GetDlgItem(IDC_PLAN));
            TypeText(plan, QStringLiteral("会議"));
            QTest::keyClick(plan, Qt::Key_Tab);
            QWidget* detail = QApplication::focusWidget();
            EXPECT_EQ(detail, dialog->GetDlgItem(IDC_DETAIL));
            TypeText(detail, QStringLiteral("第一会議室"));
            QTest::keyClick(detail, Qt::Key_Backtab, Qt::ShiftModifier);
            EXPECT_EQ(QApplication::focusWidget(), plan);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        };
        PopupWatcher answer(AsEntryDialog(type));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(answer.Count(), 1);
    }
    // Item 6 (13 o'clock): typed the same way, closed with OK.
    clickItem(6);
    {
        const auto type = [](CYoteiIns* dialog) {
            TypeText(QApplication::focusWidget(), QStringLiteral("昼食会"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            TypeText(QApplication::focusWidget(), QStringLiteral("社員食堂"));
            QTest::mouseClick(qobject_cast<QPushButton*>(dialog->GetDlgItem(IDOK)), Qt::LeftButton);
        };
        PopupWatcher answer(AsEntryDialog(type));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(answer.Count(), 1);
    }
    // Item 2 (9 o'clock) goes with the fifth button.
    clickItem(2);
    QTest::mouseClick(frame->GetCommandBar()->GetButton(4), Qt::LeftButton);

    if (const QString shotDir = qEnvironmentVariable("TAVRINO_SHOT_DIR"); !shotDir.isEmpty())
        frame->grab().save(shotDir + QStringLiteral("/end-to-end.png"));

    runMenu({QStringLiteral("ファイル"), QStringLiteral("保存")});
    const QString saved = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    ASSERT_TRUE(QFileInfo::exists(saved));

    QJsonObject json;
    ASSERT_NO_FATAL_FAILURE(DumpBook(saved, &json));
    const QJsonArray days = json.value(QStringLiteral("days")).toArray();
    ASSERT_EQ(days.size(), 1);
    const QJsonObject day = days.at(0).toObject();
    EXPECT_EQ(day.value(QStringLiteral("status")).toInt(-1), 0);
    EXPECT_EQ(day.value(QStringLiteral("day")).toString(),
              QDate::currentDate().toString(Qt::ISODate));
    EXPECT_EQ(day.value(QStringLiteral("heading")).toString(QStringLiteral("?")), QString());
    EXPECT_EQ(day.value(QStringLiteral("headingDetail")).toString(QStringLiteral("?")), QString());
    EXPECT_EQ(day.value(QStringLiteral("memo")).toString(QStringLiteral("?")), QString());

    const QStringList times = {"08", "10", "11", "12", "13", "14", "15", "16", "17", ""};
    const QJsonArray rows = day.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 10);
    for (int row = 0; row < 10; ++row) {
        const QJsonObject cells = rows.at(row).toObject();
        const QString plan = row == 1   ? QStringLiteral("会議")
                             : row == 4 ? QStringLiteral("昼食会")
                                        : QString();
        const QString detail = row == 1   ? QStringLiteral("第一会議室")
                               : row == 4 ? QStringLiteral("社員食堂")
                                          : QString();
        EXPECT_EQ(cells.value(QStringLiteral("time")).toString(QStringLiteral("?")), times[row])
            << row;
        EXPECT_EQ(cells.value(QStringLiteral("plan")).toString(QStringLiteral("?")), plan) << row;
        EXPECT_EQ(cells.value(QStringLiteral("detail")).toString(QStringLiteral("?")), detail)
            << row;
    }
    EXPECT_FALSE(Doc()->IsModified());
}

} // namespace
