// Unsaved changes brought back at start-up: a planner killed after typing, two planners on one
// profile, and the question's answers for a changed, an untitled and a vanished book.

#include "UiTestSupport.h"

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

} // namespace
