// Unsaved changes brought back at start-up: a planner killed after typing, two planners on one
// profile, and the question's answers for a changed, an untitled and a vanished book.

#include "UiTestSupport.h"

#include "../core/CoreTestSupport.h"
#include "app/TavrinoApp.h"
#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "view/TavrinoView.h"

#include <QAbstractButton>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <gtest/gtest.h>

// The child side: the real application object on the folder's profile and data folder, the
// text typed into the memo key by key, then nothing until the kill.
int TypeAndWait(const QString& folder, const QString& text) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + "/config");
    CTavrinoApp app;
    app.SetArguments({QStringLiteral("tavrino")});
    app.SetDocumentsFolder(folder + "/documents");
    app.SetDataFolder(folder + "/data");
    if (!app.InitInstance())
        return 2;
    auto* view = qobject_cast<CTavrinoView*>(app.m_pMainWnd->GetActiveView());
    view->m_memoEdit->setFocus();
    TypeText(view->m_memoEdit, text);
    std::printf("typed\n");
    std::fflush(stdout);
    return QApplication::exec();
}

namespace {

// Answers the message boxes shown while it lives, in order; a box beyond the script gets its
// escape button (OK for a plain message).
class Answers {
public:
    explicit Answers(std::deque<QMessageBox::StandardButton> script)
        : m_script(std::move(script)), m_watcher([this](QWidget* modal) { Answer(modal); }) {}

    QStringList texts;
    QStringList captions;
    QList<QMessageBox::StandardButtons> buttons;
    QList<QMessageBox::StandardButton> defaults;

private:
    void Answer(QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << modal->metaObject()->className();
        texts << box->text();
        captions << box->windowTitle();
        buttons << box->standardButtons();
        defaults << (box->defaultButton() ? box->standardButton(box->defaultButton())
                                          : QMessageBox::NoButton);
        QAbstractButton* answer = box->escapeButton();
        if (!m_script.empty() && box->button(m_script.front()))
            answer = box->button(m_script.front());
        if (!m_script.empty())
            m_script.pop_front();
        if (!answer) // a box with one button names no escape button of its own
            answer = box->buttons().value(0);
        QTest::mouseClick(answer, Qt::LeftButton);
    }

    std::deque<QMessageBox::StandardButton> m_script;
    PopupWatcher m_watcher;
};

QString Question(const QString& name) {
    return QStringLiteral("保存されていない変更が見つかりました (%1)。復元しますか?").arg(name);
}

QStringList JournalsIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name);
}

class RecoveryTest : public PlannerAppTest {
protected:
    QString Recovery() const { return RecoveryFolder::Path(m_profile.DataFolder()); }

    // A journal left behind by a planner that never ended normally.
    void LeaveJournal(const QString& book, const FileIdentity& base, const COleDateTime& date,
                      const QString& memo) {
        CRecoveryJournal journal(Recovery(), nullptr);
        CYoteiDay day;
        day.m_dayDate = date;
        day.SetMemo(memo);
        journal.RecordDay(day, book, base);
        QThread::msleep(2); // the next journal begins later
    }

    QString MemoOn(const COleDateTime& date) const {
        for (const auto& day : Doc()->GetDays())
            if (day->m_dayDate == date)
                return day->GetMemo();
        return QStringLiteral("<no day>");
    }
};

// The whole road: typing in a planner that is then killed, a second planner on the same profile
// that leaves the live journal alone, the next start's question, Yes, the save, and the book
// tool reading the saved file back.
TEST_F(RecoveryTest, KilledPlannerIsRecoveredAtTheNextStart) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, Day(2009, 7, 7), QStringLiteral("会議"));
    m_profile.Remember(book);

    QProcess planner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    planner.setProcessEnvironment(env);
    planner.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--type-and-wait"), m_profile.Path(), QStringLiteral("牛乳を買う")});
    ASSERT_TRUE(planner.waitForStarted(10000));
    QByteArray out;
    while (!out.contains("typed\n") && planner.waitForReadyRead(30000))
        out += planner.readAllStandardOutput();
    ASSERT_TRUE(out.contains("typed\n")) << planner.readAllStandardError().toStdString();

    {
        // A second planner while the first still runs: its journal is not offered, and the
        // book it has open is said to be in use.
        Answers answers({QMessageBox::Ok});
        StartApp({{QStringLiteral("tavrino")}});
        EXPECT_EQ(answers.texts,
                  QStringList{book + QStringLiteral(" は他の Tavrino で使用中です。")});
        EXPECT_EQ(JournalsIn(Recovery()).size(), 1);
        m_app.reset();
    }

    planner.kill(); // SIGKILL: no save, no question, no normal end
    ASSERT_TRUE(planner.waitForFinished(10000));
    EXPECT_EQ(planner.exitStatus(), QProcess::CrashExit);

    Answers answers({QMessageBox::Yes});
    StartApp({{QStringLiteral("tavrino")}});
    ASSERT_EQ(answers.texts, QStringList{Question(QStringLiteral("book.dat"))});
    EXPECT_EQ(answers.captions[0], QStringLiteral("Tavrino"));
    EXPECT_EQ(answers.buttons[0], QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(answers.defaults[0], QMessageBox::Yes);
    EXPECT_EQ(Memo()->toPlainText(), QStringLiteral("牛乳を買う"));
    EXPECT_TRUE(Doc()->IsModified());

    ASSERT_TRUE(Doc()->DoFileSave());
    EXPECT_TRUE(JournalsIn(Recovery()).isEmpty());
    QJsonObject json;
    DumpBook(book, &json);
    const QJsonArray days = json[QStringLiteral("days")].toArray();
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days[0][QStringLiteral("rows")][0][QStringLiteral("plan")].toString(),
              QStringLiteral("会議"));
    EXPECT_EQ(days[1][QStringLiteral("memo")].toString(), QStringLiteral("牛乳を買う"));
    EXPECT_EQ(days[1][QStringLiteral("day")].toString(),
              QDate::currentDate().toString(Qt::ISODate));
}

// Oldest first: Yes puts a journal's days on the book's file as it is now, and the question says
// the file has changed; No keeps the untitled journal aside in declined/ and changes nothing.
TEST_F(RecoveryTest, ChangedBookGetsTheDaysAndNoKeepsTheJournalAside) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, Day(2009, 7, 7), QStringLiteral("会議"));
    LeaveJournal(book, FileIdentity::OfFile(book), Day(2009, 7, 8), QStringLiteral("A"));
    LeaveJournal(QString(), {}, Day(2009, 7, 9), QStringLiteral("B"));
    QThread::msleep(20); // a coarse file clock must see the change
    WriteBook(book, Day(2009, 7, 7), QStringLiteral("変更後"));
    m_profile.Remember(book);

    Answers answers({QMessageBox::Yes, QMessageBox::No});
    StartApp({{QStringLiteral("tavrino")}});
    EXPECT_EQ(answers.texts, QStringList({Question(QStringLiteral("book.dat")) +
                                              QStringLiteral("ファイルはその後変更されています。"),
                                          Question(QStringLiteral("無題"))}));
    EXPECT_EQ(Doc()->GetPathName(), book);
    EXPECT_EQ(StoredPlan(Doc(), Day(2009, 7, 7)), QStringLiteral("変更後"));
    EXPECT_EQ(MemoOn(Day(2009, 7, 8)), QStringLiteral("A"));
    EXPECT_EQ(MemoOn(Day(2009, 7, 9)), QStringLiteral("<no day>"));
    EXPECT_TRUE(Doc()->IsModified());
    // Only this planner's own journal, which now holds the recovered day.
    EXPECT_EQ(JournalsIn(Recovery()).size(), 1);
    EXPECT_EQ(JournalsIn(RecoveryFolder::DeclinedPath(Recovery())).size(), 1);
}

// A journal whose book file is gone: the open fails with its message and the days go onto an
// empty untitled book.
TEST_F(RecoveryTest, VanishedBookGivesItsDaysToAnUntitledBook) {
    const QString gone = m_profile.File(QStringLiteral("gone.dat"));
    WriteBook(gone, Day(2009, 7, 7), QStringLiteral("会議"));
    LeaveJournal(gone, FileIdentity::OfFile(gone), Day(2009, 7, 10), QStringLiteral("残す"));
    QFile::remove(gone);

    Answers answers({QMessageBox::Yes});
    StartApp({{QStringLiteral("tavrino")}});
    ASSERT_EQ(answers.texts.size(), 2);
    EXPECT_EQ(answers.texts[0], Question(QStringLiteral("gone.dat")) +
                                    QStringLiteral("ファイルはその後変更されています。"));
    EXPECT_EQ(answers.texts[1], QStringLiteral("%1 が見つかりませんでした。").arg(gone));
    EXPECT_TRUE(Doc()->GetPathName().isEmpty());
    EXPECT_EQ(MemoOn(Day(2009, 7, 10)), QStringLiteral("残す"));
    EXPECT_EQ(Doc()->GetDays().size(), 1u);
    EXPECT_TRUE(Doc()->IsModified());
}

// The program's normal end: closing with No to the save question removes the journal once the
// program has actually ended, and the book stays as it was; Cancel keeps both running.
TEST_F(RecoveryTest, NoAtTheEndLeavesNothingToRecover) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, Day(2009, 7, 7), QStringLiteral("会議"));
    m_profile.Remember(book);
    const QByteArray before = ReadBytes(book);
    StartApp({{QStringLiteral("tavrino")}});
    Memo()->setFocus();
    TypeText(Memo(), QStringLiteral("x"));
    ASSERT_EQ(JournalsIn(Recovery()).size(), 1);

    Answers answers({QMessageBox::Cancel, QMessageBox::No});
    EXPECT_FALSE(Frame()->close());
    EXPECT_EQ(JournalsIn(Recovery()).size(), 1);
    QTimer::singleShot(0, Frame(), [this] { Frame()->close(); });
    QTimer guard; // a close that fails must not hang the test
    guard.callOnTimeout(qApp, &QCoreApplication::quit);
    guard.start(20000);
    QApplication::exec();
    EXPECT_EQ(answers.texts, QStringList(2, QStringLiteral("book.dat への変更を保存しますか?")));
    EXPECT_TRUE(JournalsIn(Recovery()).isEmpty());
    EXPECT_TRUE(JournalsIn(RecoveryFolder::DeclinedPath(Recovery())).isEmpty());
    EXPECT_EQ(ReadBytes(book), before);
}

// Yes puts the days into this planner's own journal; the old journal goes only once they are on
// the disk there. When they cannot be (the new journal fails to sync), the old one stays to be
// offered again, and the failure is told without a question.
TEST_F(RecoveryTest, TheOldJournalStaysUntilTheRecoveredDaysAreOnTheDisk) {
    const QString book = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(book, Day(2009, 7, 7), QStringLiteral("会議"));
    LeaveJournal(book, FileIdentity::OfFile(book), Day(2009, 7, 8), QStringLiteral("残す"));
    const QStringList left = JournalsIn(Recovery());
    ASSERT_EQ(left.size(), 1);
    m_profile.Remember(book);
    FaultyFileSystem fs;
    fs.Fail(FaultyFileSystem::Call::sync, EIO, QStringLiteral(".journal"), 0);
    m_fileSystem = &fs;
    {
        Answers answers({QMessageBox::Yes});
        StartApp({{QStringLiteral("tavrino")}});
        ASSERT_EQ(answers.texts, QStringList{Question(QStringLiteral("book.dat"))});
        EXPECT_EQ(MemoOn(Day(2009, 7, 8)), QStringLiteral("残す"));
        const QStringList now = JournalsIn(Recovery());
        EXPECT_EQ(now.size(), 2);
        EXPECT_TRUE(now.contains(left[0]));
        m_app.reset();
    }
    ASSERT_EQ(JournalsIn(Recovery()).size(), 2);

    // With a disk that works, the next start offers it again, and then it goes.
    m_fileSystem = nullptr;
    Answers again({QMessageBox::Yes, QMessageBox::Yes});
    StartApp({{QStringLiteral("tavrino")}});
    EXPECT_EQ(again.texts, QStringList(2, Question(QStringLiteral("book.dat"))));
    EXPECT_FALSE(JournalsIn(Recovery()).contains(left[0]));
    EXPECT_EQ(MemoOn(Day(2009, 7, 8)), QStringLiteral("残す"));
}

// Run in a process of its own on a real X server (the test below): a journal that cannot be
// written (a full disk) is told in a box that takes no keys. What the user types after it
// appeared still reaches the memo, and the box names the real cause.
TEST_F(RecoveryTest, DISABLED_AJournalFailureIsToldWithoutTakingTheKeys) {
    FaultyFileSystem fs;
    fs.Fail(FaultyFileSystem::Call::makeFolder, ENOSPC, QStringLiteral("recovery"), 0);
    m_fileSystem = &fs;
    StartApp({{QStringLiteral("tavrino")}});
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    Memo()->setFocus();
    ASSERT_NE(QGuiApplication::focusWindow(), nullptr);
    const auto type = [](const char* text) {
        // Into whatever window has the keyboard now, as a real keyboard would.
        for (const char* c = text; *c; ++c) {
            QWindow* keyboard = QGuiApplication::focusWindow();
            ASSERT_NE(keyboard, nullptr);
            QTest::keyClick(keyboard, *c);
        }
    };
    type("a");
    QMessageBox* box = nullptr;
    for (int i = 0; i < 50 && !box; ++i) {
        QTest::qWait(20);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                box = b;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(
        box->text().endsWith(QStringLiteral("へのアクセス中にディスクがいっぱいになりました。")))
        << box->text().toStdString();
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    type("aaa ");
    QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Return);
    type("b");
    EXPECT_EQ(Memo()->toPlainText(), QStringLiteral("aaaa \nb"));
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(QGuiApplication::focusWindow(), Frame()->windowHandle());
    // Told once, however many keys meet the same failure.
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        boxes += qobject_cast<QMessageBox*>(w) && w->isVisible();
    EXPECT_EQ(boxes, 1);
    box->close();
}

// The offscreen platform activates every window it shows, whatever the window asks, so only a
// real X server with a window manager (which gives new windows the keys, as desktops do) can
// tell a box that takes the keys from one that does not.
TEST(RecoveryOnADisplay, AJournalFailureIsToldWithoutTakingTheKeys) {
    QProcess server;
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray display;
    while (!display.contains('\n') && server.waitForReadyRead(10000))
        display += server.readAllStandardOutput();
    ASSERT_TRUE(display.contains('\n')) << server.readAllStandardError().toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"),
               QLatin1Char(':') + QString::fromLatin1(display.trimmed()));
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    ASSERT_TRUE(manager.waitForStarted(10000));
    // Managing once it names itself on the root window.
    bool managing = false;
    for (int i = 0; i < 100 && !managing; ++i) {
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        probe.waitForFinished(5000);
        managing = probe.readAllStandardOutput().contains("window id");
        if (!managing)
            QThread::msleep(50);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    if (managing)
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"),
                     QStringLiteral("--gtest_filter=RecoveryTest.DISABLED_"
                                    "AJournalFailureIsToldWithoutTakingTheKeys")});
    const bool finished = managing && child.waitForFinished(60000);
    const QByteArray output = child.readAll();
    manager.terminate();
    manager.waitForFinished(10000);
    server.terminate();
    server.waitForFinished(10000);
    ASSERT_TRUE(managing);
    ASSERT_TRUE(finished) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

} // namespace
