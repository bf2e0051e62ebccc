// The main frame, its menu bar and buttons, command routing, the open dialog, 保存 and the
// accelerator keys, driven with real key and mouse events.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "platform/ui/View.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Runs the event loop as the program does, waiting for events.
void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class FrameTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp(QStringList{QStringLiteral("tavrino")}));
        frame = Frame();
        doc = Doc();
        view = View();
        bar = frame->GetCommandBar();
        ASSERT_NE(bar, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
        memo = qobject_cast<CEdit*>(view->GetDlgItem(IDC_MEMO));
        list = qobject_cast<CListCtrl*>(view->GetDlgItem(IDC_LIST));
        ASSERT_NE(memo, nullptr);
        ASSERT_NE(list, nullptr);
    }

    // Every item of the list as one text, to compare before and after.
    QString ListText() const {
        QStringList cells;
        for (int item = 0; item < list->GetItemCount(); ++item)
            for (int column = 0; column < 3; ++column)
                cells << list->GetItemText(item, column);
        return cells.join(QLatin1Char('|'));
    }

    CMainFrame* frame = nullptr;
    CTavrinoDoc* doc = nullptr;
    CFormView* view = nullptr;
    CCommandBar* bar = nullptr;
    CEdit* memo = nullptr;
    CListCtrl* list = nullptr;
    const COleDateTime july7 = Day(2009, 7, 7);
};

TEST_F(FrameTest, WindowTitleIconSizeAndLayout) {
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(view->size(), QSize(480, 536));
    EXPECT_EQ(frame->centralWidget(), view);
    // The menu bar stands below the form, across the window.
    const QRect barRect = bar->geometry();
    EXPECT_GE(barRect.top(), view->geometry().bottom());
    EXPECT_EQ(frame->toolBarArea(bar), Qt::BottomToolBarArea);
    EXPECT_LE(barRect.bottom(), frame->height() - 1);

    // Freely resizable, the form following.
    frame->resize(700, 420);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->size(), QSize(700, 420));
    EXPECT_EQ(view->width(), 700);
    EXPECT_GE(bar->geometry().top(), view->geometry().bottom());
    frame->resize(480, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->size(), QSize(480, 700));
    // Not below the size its controls need.
    frame->resize(300, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->size(), frame->minimumSize());
    EXPECT_GT(frame->minimumWidth(), 300);
}

TEST_F(FrameTest, MenuButtonOpensTheMenuTree) {
    QToolButton* menuButton = bar->GetMenuButton();
    ASSERT_NE(menuButton, nullptr);
    EXPECT_EQ(menuButton->text(), QStringLiteral("メニュー"));

    const QStringList expectedMenus = {QStringLiteral("ファイル"), QStringLiteral("編集"),
                                       QStringLiteral("行操作"),   QStringLiteral("データ挿入"),
                                       QStringLiteral("表示"),     QStringLiteral("ツール")};
    const QList<QList<std::pair<QString, int>>> expectedItems = {
        // 印刷... is the desktop's, beside the handheld's two items.
        {{QStringLiteral("保存"), 57603},
         {QStringLiteral("開く"), 57601},
         {QStringLiteral("印刷..."), 32860}},
        {{QStringLiteral("コピー"), 57634},
         {QStringLiteral("切り取り"), 57635},
         {QStringLiteral("貼り付け"), 57637}},
        {{QStringLiteral("編集"), 32778},
         {QStringLiteral("挿入"), 32779},
         {QStringLiteral("削除"), 32780}},
        {{QStringLiteral("標準データ"), 32781}, {QStringLiteral("時刻データ"), 32782}},
        {{QStringLiteral("日"), 32798}, {QStringLiteral("月"), 32799}},
        {{QStringLiteral("バージョン情報 Tavrino..."), 57664}, {QStringLiteral("同期..."), 32850}},
    };

    bool opened = false;
    QStringList menuTitles;
    QList<QList<std::tuple<QString, int, bool>>> items;
    OnNextPopup([&](QMenu* menu) {
        opened = true;
        EXPECT_EQ(menu, bar->GetMenu());
        if (const QString shot = ShotPath(QStringLiteral("menu.png")); !shot.isEmpty())
            menu->grab().save(shot);
        for (QAction* action : menu->actions()) {
            QMenu* sub = action->menu();
            menuTitles << action->text();
            if (!sub)
                continue;
            // Opening the sub-menu is what updates its items.
            for (QAction* item : sub->actions())
                item->setEnabled(!item->isEnabled());
            menu->setActiveAction(action);
            sub->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
            QList<std::tuple<QString, int, bool>> row;
            for (QAction* item : sub->actions())
                row.append({item->text(), item->property("commandId").toInt(), item->isEnabled()});
            items.append(row);
            const QString shot = ShotPath(QStringLiteral("menu-%1.png").arg(items.size()));
            if (!shot.isEmpty())
                sub->grab().save(shot);
            sub->hide();
        }
        QTest::keyClick(menu, Qt::Key_Escape);
        menu->close();
    });
    QTest::mouseClick(menuButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(opened, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!bar->GetMenu()->isVisible(), 3000);

    ASSERT_EQ(menuTitles, expectedMenus);
    ASSERT_EQ(items.size(), expectedItems.size());
    for (int m = 0; m < items.size(); ++m) {
        ASSERT_EQ(items[m].size(), expectedItems[m].size()) << m;
        for (int i = 0; i < items[m].size(); ++i) {
            const auto& [text, id, enabled] = items[m][i];
            SCOPED_TRACE(text.toStdString());
            EXPECT_EQ(text, expectedItems[m][i].first);
            EXPECT_EQ(id, expectedItems[m][i].second);
            const bool editItem = id == 57634 || id == 57635 || id == 57637;
            EXPECT_EQ(enabled, !editItem);
        }
    }
}

TEST_F(FrameTest, ImageButtonsCommandsSizesAndStates) {
    const QList<int> expected = {32778, 32806, 32807, 32779, 32780, 32798, 32799, 57664};
    ASSERT_EQ(bar->GetButtonCount(), expected.size());
    QCoreApplication::processEvents();
    QList<QWidget*> order;
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        QToolButton* button = bar->GetButton(i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->property("commandId").toInt(), expected[i]);
        EXPECT_EQ(button->size(), QSize(39, 39));
        EXPECT_EQ(button->iconSize(), QSize(32, 32));
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_EQ(button->isEnabled(), i != 1 && i != 2);
        order << button;
    }
    // Left to right after the menu button.
    EXPECT_LT(bar->GetMenuButton()->x(), order[0]->x());
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(order[i - 1]->x(), order[i]->x());

    // The states are pushed when they change: an idle program asks the routing nothing, and an
    // opening menu still does.
    int asked = 0;
    bar->SetRouter([&](int id, bool execute) {
        ++asked;
        return frame->OnCmdMsg(id, execute);
    });
    RunEventLoop(50);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(ClickMenu(bar, {QStringLiteral("表示"), QStringLiteral("日")}));
    EXPECT_GT(asked, 0);
    bar->SetRouter([this](int id, bool execute) { return frame->OnCmdMsg(id, execute); });

    // 日 does nothing on the day view; 月 shows the month sheet and 日 returns from it, with the
    // book and the day as they were.
    WriteBook(m_profile.File(QStringLiteral("b.dat")), july7, QStringLiteral("会議"));
    ASSERT_NE(m_app->OpenDocumentFile(m_profile.File(QStringLiteral("b.dat"))), nullptr);
    const QString listBefore = ListText();
    const QString memoBefore = memo->GetWindowText();
    QTest::mouseClick(bar->GetButton(5), Qt::LeftButton);
    EXPECT_FALSE(memo->isHidden());
    QTest::mouseClick(bar->GetButton(6), Qt::LeftButton);
    EXPECT_TRUE(memo->isHidden());
    QTest::mouseClick(bar->GetButton(5), Qt::LeftButton);
    EXPECT_FALSE(memo->isHidden());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(ListText(), listBefore);
    EXPECT_EQ(memo->GetWindowText(), memoBefore);
    EXPECT_EQ(doc->GetDays().size(), 1u);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("b.dat - Tavrino"));
}

TEST_F(FrameTest, EachCommandHasItsOwner) {
    CView* theView = frame->GetActiveView();
    for (int id : {32778, 32779, 32780, 32781, 32782, 32798, 32799}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(theView->OnCmdMsg(id, false));
        EXPECT_FALSE(doc->OnCmdMsg(id, false));
        EXPECT_FALSE(m_app->OnCmdMsg(id, false));
    }
    EXPECT_FALSE(theView->OnCmdMsg(57603, false));
    EXPECT_TRUE(doc->OnCmdMsg(57603, false));
    for (int id : {57600, 57601, 57664}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(theView->OnCmdMsg(id, false));
        EXPECT_FALSE(doc->OnCmdMsg(id, false));
        EXPECT_TRUE(m_app->OnCmdMsg(id, false));
        EXPECT_TRUE(frame->OnCmdMsg(id, false));
    }
    for (int id : {57634, 57635, 57637, 57643, 32806, 32807}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(frame->OnCmdMsg(id, false));
        EXPECT_FALSE(frame->OnCmdMsg(id, true));
    }
}

TEST_F(FrameTest, OpenDialogFiltersCancelAndChoice) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, july7, QStringLiteral("会議"));
    const QString other = m_profile.File(QStringLiteral("book.txt"));
    WriteBook(other, july7, QStringLiteral("別名"));

    // Cancel: nothing happens.
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
        seen = true;
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("開く"));
        EXPECT_EQ(dialog->nameFilters(), QStringList({QStringLiteral("Tavrino Files (*.dat)"),
                                                      QStringLiteral("すべてのファイル (*.*)")}));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        QTest::keyClick(dialog, Qt::Key_Escape);
        if (dialog->isVisible())
            dialog->reject();
    });
    ASSERT_TRUE(frame->OnCmdMsg(57601, true));
    EXPECT_TRUE(seen);
    EXPECT_TRUE(doc->GetDays().empty());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));

    // A typed file name and Enter opens it.
    const auto choose = [](const QString& path, const QString& filter) {
        OnNextModal([path, filter](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->selectNameFilter(filter);
            dialog->setDirectory(QFileInfo(path).absolutePath());
            auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(nameEdit, nullptr);
            nameEdit->setFocus();
            nameEdit->clear();
            QTest::keyClicks(nameEdit, QFileInfo(path).fileName());
            QTest::keyClick(nameEdit, Qt::Key_Return);
            if (dialog->isVisible())
                dialog->reject();
        });
    };
    choose(book, QStringLiteral("Tavrino Files (*.dat)"));
    ASSERT_TRUE(frame->OnCmdMsg(57601, true));
    EXPECT_EQ(doc->GetPathName(), book);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("会議"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("book.dat - Tavrino"));

    // Another extension under すべてのファイル is read as a book.
    choose(other, QStringLiteral("すべてのファイル (*.*)"));
    ASSERT_TRUE(frame->OnCmdMsg(57601, true));
    EXPECT_EQ(doc->GetPathName(), other);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("別名"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("book.txt - Tavrino"));
}

TEST_F(FrameTest, SaveCommandNamesUntitledBooksInTheDocumentsFolder) {
    doc->SelectDay(july7);
    doc->SetPlan(0, QStringLiteral("一"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(frame->OnCmdMsg(57603, true));
    const QString first = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    EXPECT_EQ(doc->GetPathName(), first);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題.dat - Tavrino"));

    // Saving again writes the same file.
    doc->SetPlan(0, QStringLiteral("二"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(frame->OnCmdMsg(57603, true));
    EXPECT_EQ(doc->GetPathName(), first);
    EXPECT_FALSE(QFileInfo::exists(m_profile.DocumentsFolder() + QStringLiteral("/無題1.dat")));

    // A new untitled book does not overwrite it.
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(doc->GetPathName().isEmpty());
    doc->SelectDay(july7);
    doc->SetPlan(0, QStringLiteral("三"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(frame->OnCmdMsg(57603, true));
    const QString second = m_profile.DocumentsFolder() + QStringLiteral("/無題1.dat");
    EXPECT_EQ(doc->GetPathName(), second);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題1.dat - Tavrino"));
    EXPECT_TRUE(QFileInfo(first).isFile());
    EXPECT_TRUE(QFileInfo(second).isFile());
}

// Copy, cut, paste and undo have no handler: the keys are taken and nothing happens, in the
// memo and in the list alike.
TEST_F(FrameTest, EditKeysDoNothingInTheMemoAndTheList) {
    QGuiApplication::clipboard()->setText(QStringLiteral("X"));
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(memo->GetWindowText(), QString());
    EXPECT_FALSE(doc->IsModified());

    // Typed text stays through cut, undo and copy.
    QTest::keyClicks(memo, QStringLiteral("abc"));
    ASSERT_EQ(memo->toPlainText(), QStringLiteral("abc"));
    doc->SetModifiedFlag(false);
    memo->selectAll();
    QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("abc"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("X"));
    EXPECT_FALSE(doc->IsModified());

    const QString before = ListText();
    list->setFocus();
    list->selectRow(1);
    for (Qt::Key key : {Qt::Key_C, Qt::Key_X, Qt::Key_V, Qt::Key_Z})
        QTest::keyClick(list, key, Qt::ControlModifier);
    EXPECT_EQ(ListText(), before);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("X"));
    EXPECT_FALSE(doc->IsModified());
}

// Inside the entry dialog the fields keep their editing keys: a text is copied from one field
// and pasted into another, cut and undone; Ctrl+N still runs nothing while the dialog is open.
TEST_F(FrameTest, EditingKeysMoveTextsBetweenTheEntryDialogsFields) {
    QGuiApplication::clipboard()->setText(QStringLiteral("X"));
    list->setFocus();
    list->selectRow(1);
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
        seen = true;
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* plan = dialog->findChild<QLineEdit*>(QStringLiteral("ctrl%1").arg(IDC_PLAN));
        auto* detail = qobject_cast<CEdit*>(
            dialog->findChild<QWidget*>(QStringLiteral("ctrl%1").arg(IDC_DETAIL)));
        ASSERT_NE(plan, nullptr);
        ASSERT_NE(detail, nullptr);
        EXPECT_TRUE(plan->hasFocus());
        QTest::keyClicks(plan, QStringLiteral("ab"));
        QTest::keyClick(plan, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(plan, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("ab"));
        QTest::keyClick(plan, Qt::Key_Tab);
        ASSERT_TRUE(detail->hasFocus());
        QTest::keyClick(detail, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(detail, Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(detail->toPlainText(), QStringLiteral("abab"));
        QTest::keyClick(detail, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(detail, Qt::Key_X, Qt::ControlModifier);
        EXPECT_EQ(detail->toPlainText(), QString());
        QTest::keyClick(detail, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(detail->toPlainText(), QStringLiteral("abab"));
        // Ctrl+N runs nothing here: the dialog stays and the book is not replaced.
        QTest::keyClick(detail, Qt::Key_N, Qt::ControlModifier);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(plan->text(), QStringLiteral("ab"));
        EXPECT_EQ(detail->toPlainText(), QStringLiteral("abab"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ctrl%1").arg(IDOK)),
                          Qt::LeftButton);
    });
    ASSERT_TRUE(frame->OnCmdMsg(32778, true));
    EXPECT_TRUE(seen);
    EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("ab"));
    EXPECT_EQ(list->GetItemText(1, 2), QStringLiteral("abab"));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(FrameTest, CtrlNWithAnUnmodifiedBookStartsNewAtOnce) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, july7, QStringLiteral("会議"));
    ASSERT_NE(m_app->OpenDocumentFile(book), nullptr);
    ASSERT_EQ(frame->windowTitle(), QStringLiteral("book.dat - Tavrino"));
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(frame->windowTitle().startsWith(QStringLiteral("無題")));
    EXPECT_TRUE(doc->GetDays().empty());
    EXPECT_TRUE(doc->GetPathName().isEmpty());
}

} // namespace
