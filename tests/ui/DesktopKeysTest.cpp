// The planner on a Japanese desktop: Qt's own texts in Japanese, Ctrl+S and Ctrl+O beside the
// handheld's accelerators, F10 for the menu, and typing through an input method.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Every modal window shown while it lives, closed with Escape once active, by class name and
// (for message boxes) button texts without their mnemonics.
struct ModalRecorder {
    struct Seen {
        QString className;
        QStringList buttons;
    };
    std::vector<Seen> seen;
    PopupWatcher watcher{[this](QWidget* modal) {
        QStringList buttons;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            for (QAbstractButton* button : box->buttons())
                buttons << button->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
        }
        seen.push_back({QString::fromLatin1(modal->metaObject()->className()), buttons});
        QTest::keyClick(modal, Qt::Key_Escape);
    }};
};

void RunEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Compose(QWidget* field, const QString& preedit) {
    QInputMethodEvent event(preedit, {});
    QApplication::sendEvent(field, &event);
}

void Commit(QWidget* field, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

class DesktopKeysTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp(QStringList{QStringLiteral("tavrino")}));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
        frame = Frame();
        doc = Doc();
    }
    QAction* MenuItem(int id) const {
        for (QAction* action : frame->GetCommandBar()->GetMenu()->findChildren<QAction*>()) {
            if (action->property("commandId").toInt() == id)
                return action;
        }
        return nullptr;
    }

    CMainFrame* frame = nullptr;
    CTavrinoDoc* doc = nullptr;
};

// Qt's standard buttons come in Japanese whatever the locale, like the question's own text.
TEST_F(DesktopKeysTest, SaveQuestionButtonsAreJapaneseUnderTheCLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    Memo()->setFocus();
    TypeText(Memo(), QStringLiteral("a"));
    ASSERT_TRUE(doc->IsModified());
    ModalRecorder recorder;
    QTest::keyClick(Memo(), Qt::Key_N, Qt::ControlModifier);
    QLocale::setDefault(before);
    ASSERT_EQ(recorder.seen.size(), 1u);
    QStringList buttons = recorder.seen[0].buttons;
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい"),
                                    QStringLiteral("キャンセル")}));
    // Escape is キャンセル: the book stays.
    EXPECT_TRUE(doc->IsModified());
}

// The desktop's keys run their commands once from every control of the frame, and are shown
// beside the menu items whose texts stay as they are.
TEST_F(DesktopKeysTest, CtrlSAndCtrlORunTheirCommandsOnce) {
    QAction* save = MenuItem(ID_FILE_SAVE);
    QAction* open = MenuItem(ID_FILE_OPEN);
    ASSERT_TRUE(save && open);
    EXPECT_EQ(save->text(), QStringLiteral("保存"));
    EXPECT_EQ(open->text(), QStringLiteral("開く"));
    EXPECT_EQ(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    // Ctrl+O in the list: one open dialog.
    {
        ModalRecorder recorder;
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_O, Qt::ControlModifier);
        RunEventLoop(300);
        ASSERT_EQ(recorder.seen.size(), 1u);
        EXPECT_EQ(recorder.seen[0].className, QStringLiteral("QFileDialog"));
    }
    // Ctrl+S in the memo, where saving fails: one message, so one save.
    const QString blocker = m_profile.File(QStringLiteral("not-a-folder"));
    QFile(blocker).open(QIODevice::WriteOnly);
    m_app->SetDocumentsFolder(blocker + QStringLiteral("/sub"));
    Memo()->setFocus();
    TypeText(Memo(), QStringLiteral("a"));
    {
        ModalRecorder recorder;
        QTest::keyClick(Memo(), Qt::Key_S, Qt::ControlModifier);
        RunEventLoop(300);
        ASSERT_EQ(recorder.seen.size(), 1u);
        EXPECT_EQ(recorder.seen[0].className, QStringLiteral("QMessageBox"));
        EXPECT_TRUE(doc->IsModified());
    }
    // Where it can, Ctrl+S saves.
    m_app->SetDocumentsFolder(m_profile.DocumentsFolder());
    QTest::keyClick(Memo(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題.dat - Tavrino"));
}

// F10 opens the drop-down as desktop menu bars open; the arrows walk it and Enter runs an item.
TEST_F(DesktopKeysTest, F10OpensTheMenuAndTheArrowsWalkIt) {
    List()->setFocus();
    QStringList walked;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        EXPECT_EQ(menu, frame->GetCommandBar()->GetMenu());
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(menu, Qt::Key_Down);
        walked << (menu->activeAction() ? menu->activeAction()->text() : QString());
        QTest::keyClick(menu, Qt::Key_Right);
        QMenu* rows = menu->activeAction() ? menu->activeAction()->menu() : nullptr;
        ASSERT_NE(rows, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([rows] { return rows->isVisible(); }, 2000));
        QTest::keyClick(rows, Qt::Key_Down);
        walked << (rows->activeAction() ? rows->activeAction()->text() : QString());
        QTest::keyClick(rows, Qt::Key_Return);
    });
    timer->start();
    QTest::keyClick(List(), Qt::Key_F10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return walked.size() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->IsModified(); }, 2000));
    // データ挿入 > 時刻データ ran: the hours are in the time column and the day is stored.
    EXPECT_EQ(walked, (QStringList{QStringLiteral("データ挿入"), QStringLiteral("時刻データ")}));
    EXPECT_EQ(List()->GetItemText(1, 0), QStringLiteral("08"));
}

// Text being composed is the input method's: it is neither stored nor marked, the frame's keys
// leave it alone; the committed text is stored once.
TEST_F(DesktopKeysTest, CompositionInTheMemoIsStoredOnlyWhenCommitted) {
    CEdit* memo = Memo();
    memo->setFocus();
    QSignalSpy changes(memo, &CEdit::change);
    Compose(memo, QStringLiteral("にほん"));
    Compose(memo, QStringLiteral("日本"));
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->GetDays().empty());
    const QDate today = QDate::currentDate();
    QCalendarWidget* calendar = View()->m_datePicker->calendarWidget();
    EXPECT_NE(calendar->dateTextFormat(today).fontWeight(), QFont::Bold);

    Commit(memo, QStringLiteral("日本"));
    EXPECT_EQ(changes.count(), 1);
    ASSERT_EQ(doc->GetDays().size(), 1u);
    EXPECT_EQ(doc->GetDays()[0]->GetMemo(), QStringLiteral("日本"));
    EXPECT_EQ(calendar->dateTextFormat(today).fontWeight(), QFont::Bold);

    // Ctrl+N in the middle of a composition is the input method's key: no save question.
    ModalRecorder recorder;
    Compose(memo, QStringLiteral("ご"));
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    // Enter confirms the conversion only: no line break besides it.
    QTest::keyClick(memo, Qt::Key_Return);
    RunEventLoop(100);
    EXPECT_TRUE(recorder.seen.empty());
    Commit(memo, QStringLiteral("語"));
    EXPECT_EQ(memo->GetWindowText(), QStringLiteral("日本語"));
    // Once committed the accelerator is back.
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    RunEventLoop(100);
    EXPECT_EQ(recorder.seen.size(), 1u);
}

// In the entry dialog the Enter that confirms a conversion keeps the dialog open; the next one
// chooses OK.
TEST_F(DesktopKeysTest, EnterConfirmingAConversionDoesNotChooseOk) {
    List()->setFocus();
    List()->selectRow(1);
    bool ran = false;
    OnNextModal([&](QWidget* modal) {
        ran = true;
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* time = dialog->findChild<QLineEdit*>(QStringLiteral("ctrl%1").arg(IDC_TIME));
        auto* plan = dialog->findChild<QLineEdit*>(QStringLiteral("ctrl%1").arg(IDC_PLAN));
        ASSERT_TRUE(time && plan);
        for (auto [field, reading, text] :
             {std::tuple{time, QStringLiteral("じゅうじ"), QStringLiteral("十時")},
              std::tuple{plan, QStringLiteral("かいぎ"), QStringLiteral("会議")}}) {
            field->setFocus();
            Compose(field, reading);
            // An input method that passes the confirming Enter on, then commits.
            QTest::keyClick(field, Qt::Key_Return);
            Commit(field, text);
            EXPECT_TRUE(dialog->isVisible());
        }
        QTest::keyClick(plan, Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
        if (dialog->isVisible())
            dialog->reject();
    });
    ASSERT_TRUE(frame->OnCmdMsg(ID_ROW_EDIT, true));
    ASSERT_TRUE(ran);
    EXPECT_EQ(List()->GetItemText(1, 0), QStringLiteral("十時"));
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("会議"));
}

} // namespace
