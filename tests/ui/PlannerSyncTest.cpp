// The planner kept in step with a real calendar (Radicale on 127.0.0.1) while the user works:
// what the phone writes comes in, what the user saves goes out, what the user is changing is
// never overwritten, and a server out of reach never stands in the way of typing.

#include "app/PlannerSync.h"
#include "../sync/SyncToolTestSupport.h"
#include "UiTestSupport.h"
#include "app/PlannerBook.h"
#include "app/SyncDlg.h"
#include "document/RecoveryJournal.h"
#include "document/TavrinoDoc.h"
#include "editing/YoteiIns.h"
#include "platform/core/StringTable.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "sync/SyncAccount.h"
#include "view/TavrinoView.h"

#include <QDirIterator>
#include <QInputDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <ctime>

namespace {

constexpr int kWait = 60000;

COleDateTime OleOf(const QDate& date) {
    return Day(date.year(), date.month(), date.day());
}

// A timed event of the phone's, in Tokyo time.
QByteArray TimedEvent(const QString& uid, const QDate& date, int hour, const QString& summary) {
    const auto at = [&](int h) {
        return QDateTime(date, QTime(h, 0)).toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
    };
    return PhoneEventText(uid, QStringLiteral("DTSTART;TZID=Asia/Tokyo:") + at(hour) +
                                   QStringLiteral("\r\nDTEND;TZID=Asia/Tokyo:") + at(hour + 1) +
                                   QStringLiteral("\r\nSUMMARY:") + summary +
                                   QStringLiteral("\r\n"));
}

class PlannerSyncTest : public PlannerAppTest {
protected:
    void SetUp() override {
        // The rows' hours are Tokyo's, as the phone's events are written.
        qputenv("TZ", "Asia/Tokyo");
        tzset();
        // No keyring unless a test runs in a session that has one.
        if (!qEnvironmentVariableIsSet("TAVRINO_TEST_KEYRING"))
            qputenv("DBUS_SESSION_BUS_ADDRESS",
                    QFile::encodeName(QStringLiteral("unix:path=") + m_profile.File("no-bus")));
        server = &Radicale();
        ASSERT_TRUE(server->Running());
        name = QStringLiteral("planner-%1").arg(QDateTime::currentMSecsSinceEpoch());
        calendar = server->CalendarUrl(name);
        bookPath = m_profile.File(QStringLiteral("予定.dat"));
    }

    // The book with one day of the user's, its account remembered, and the calendar made.
    void PrepareBook(bool makeCalendar = true) {
        WriteBook(bookPath, OleOf(today.addDays(1)), QStringLiteral("既存"));
        if (makeCalendar)
            MakeCalendar(*server, name);
        QString problem;
        ASSERT_TRUE(SyncAccount::Save(bookPath, {calendar, server->User()}, problem))
            << problem.toStdString();
    }

    // Starts the planner on the book; the password is typed when it is asked for.
    void Start() {
        passwordAsks = 0;
        modals = std::make_unique<PopupWatcher>([this](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            if (!input) {
                // Any other window is the test's to handle, once.
                ASSERT_TRUE(onModal) << modal->metaObject()->className();
                const auto action = std::exchange(onModal, nullptr);
                action(modal);
                return;
            }
            ++passwordAsks;
            QLineEdit* field = input->findChild<QLineEdit*>();
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(field->echoMode(), QLineEdit::Password);
            TypeText(field, server->Password());
            QTest::keyClick(field, Qt::Key_Return);
        });
        m_profile.Remember(bookPath);
        ASSERT_NO_FATAL_FAILURE(StartApp(QStringList{QStringLiteral("tavrino")}));
        ASSERT_EQ(Doc()->GetPathName(), bookPath);
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        finished = 0;
        QObject::connect(m_app->GetSync(), &CPlannerSync::Finished, [this] { ++finished; });
    }

    // Waits for the next sync to end.
    bool AwaitSync() {
        const int before = finished;
        return QTest::qWaitFor([&] { return finished > before; }, kWait);
    }
    bool SyncNow() {
        const int before = finished;
        m_app->GetSync()->SyncNow();
        return QTest::qWaitFor([&] { return finished > before; }, kWait);
    }

    Phone ThePhone() const { return Phone(*server, calendar); }
    QStringList PhoneSummaries() const { return Summaries(*server, calendar); }
    static QStringList Sorted(QStringList texts) {
        texts.sort();
        return texts;
    }

    // Every plan of a day in the open book, and its memo.
    QStringList Plans(const QDate& date) const {
        QStringList plans;
        if (const CYoteiDay* day = Doc()->m_days.Find(OleOf(date))) {
            for (const QString& plan : day->m_plans) {
                if (!plan.isEmpty())
                    plans << plan;
            }
        }
        return plans;
    }
    // The time of the row that holds a plan.
    QString TimeOf(const QDate& date, const QString& plan) const {
        if (const CYoteiDay* day = Doc()->m_days.Find(OleOf(date))) {
            for (std::size_t row = 0; row < day->m_plans.size(); ++row) {
                if (day->m_plans[row] == plan)
                    return day->m_times[row];
            }
        }
        return QString();
    }
    QString MemoOf(const QDate& date) const {
        const CYoteiDay* day = Doc()->m_days.Find(OleOf(date));
        return day ? day->m_dayMemo : QString();
    }
    // The book's file as the book tool dumps it.
    QString FileText() const {
        QJsonObject json;
        DumpBook(bookPath, &json);
        return QString::fromUtf8(QJsonDocument(json).toJson());
    }

    void ShowDay(const QDate& date) {
        View()->m_datePicker->setDate(date);
        ASSERT_EQ(Doc()->GetCurrentDay().m_dayDate.DatePart(), OleOf(date));
    }
    // Types a row's time and plan in the entry dialog, as the user does.
    void TypeRow(int item, const QString& time, const QString& plan) {
        CListCtrl* list = List();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(item, 0)).center());
        bool typed = false;
        onModal = [&](QWidget* modal) {
            auto* dialog = qobject_cast<CYoteiIns*>(modal);
            ASSERT_NE(dialog, nullptr);
            RetypeText(dialog->GetDlgItem(IDC_TIME), time);
            RetypeText(dialog->GetDlgItem(IDC_PLAN), plan);
            QTest::keyClick(dialog->GetDlgItem(IDC_PLAN), Qt::Key_Return);
            typed = true;
        };
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_TRUE(typed);
    }
    void TypeMemo(const QString& text) {
        CEdit* memo = Memo();
        QTest::mouseClick(memo->viewport(), Qt::LeftButton);
        TypeText(memo, text);
    }
    void PressSave() { QTest::keyClick(Frame(), Qt::Key_S, Qt::ControlModifier); }

    // The boxes the planner shows beside the window.
    static int Notices() {
        int shown = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            shown += qobject_cast<QMessageBox*>(widget) && widget->isVisible();
        return shown;
    }
    static void CloseNotices() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
        EXPECT_TRUE(QTest::qWaitFor([] { return Notices() == 0; }, 5000));
    }

    DavServer* server = nullptr;
    QString name;
    QUrl calendar;
    QString bookPath;
    const QDate today = QDate::currentDate();
    // The windows the planner opens while a test runs: the password is typed when it is asked
    // for; any other goes to onModal.
    std::unique_ptr<PopupWatcher> modals;
    std::function<void(QWidget*)> onModal;
    int passwordAsks = 0;
    int finished = 0;
};

TEST_F(PlannerSyncTest, WhatThePhoneWroteComesInAndWhatTheUserSavedGoesOut) {
    PrepareBook();
    const QDate dentist = today.addDays(3);
    ThePhone().Add(TimedEvent(QStringLiteral("dentist"), dentist, 10, QStringLiteral("歯医者")));
    ASSERT_NO_FATAL_FAILURE(Start());

    // On opening: no keyring here, so the password is asked for, once.
    ASSERT_TRUE(AwaitSync());
    EXPECT_EQ(passwordAsks, 1);
    EXPECT_EQ(Plans(dentist), QStringList{QStringLiteral("歯医者")});
    EXPECT_TRUE(TimeOf(dentist, QStringLiteral("歯医者")).startsWith(QStringLiteral("10")))
        << TimeOf(dentist, QStringLiteral("歯医者")).toStdString();
    EXPECT_EQ(PhoneSummaries(), Sorted({QStringLiteral("既存"), QStringLiteral("歯医者")}));
    // The book held nothing of the user's: the phone's event is in the file already.
    EXPECT_FALSE(Doc()->IsModified());
    EXPECT_TRUE(FileText().contains(QStringLiteral("歯医者")));
    EXPECT_TRUE(m_app->GetSync()->LastSync().failure.isEmpty());
    EXPECT_TRUE(m_app->GetSync()->LastSync().when.isValid());

    // A phone's event for the day on show appears in the list without a step of the user's.
    const QDate walk = today.addDays(7);
    ASSERT_NO_FATAL_FAILURE(ShowDay(walk));
    ThePhone().Add(TimedEvent(QStringLiteral("walk"), walk, 7, QStringLiteral("散歩")));
    ASSERT_TRUE(SyncNow());
    QStringList listed;
    for (int item = 0; item < List()->GetItemCount(); ++item)
        listed << List()->GetItemText(item, 1);
    EXPECT_TRUE(listed.contains(QStringLiteral("散歩"))) << listed.join(u',').toStdString();

    // A row typed on another day stays home until the user saves.
    const QDate meeting = today.addDays(5);
    ASSERT_NO_FATAL_FAILURE(ShowDay(meeting));
    TypeRow(3, QStringLiteral("15"), QStringLiteral("打ち合わせ"));
    ASSERT_EQ(Plans(meeting), QStringList{QStringLiteral("打ち合わせ")});
    ASSERT_TRUE(SyncNow());
    EXPECT_FALSE(PhoneSummaries().contains(QStringLiteral("打ち合わせ")));

    PressSave();
    EXPECT_FALSE(Doc()->IsModified());
    ASSERT_TRUE(AwaitSync());
    EXPECT_TRUE(PhoneSummaries().contains(QStringLiteral("打ち合わせ")));

    // The fifteen-minute round (made short here) goes on with the password of this run.
    m_app->GetSync()->SetInterval(50);
    ASSERT_TRUE(AwaitSync());
    ASSERT_TRUE(AwaitSync());
    EXPECT_EQ(passwordAsks, 1);
    EXPECT_EQ(PhoneSummaries(), Sorted({QStringLiteral("既存"), QStringLiteral("打ち合わせ"),
                                        QStringLiteral("散歩"), QStringLiteral("歯医者")}));
    EXPECT_EQ(Notices(), 0);
}

TEST_F(PlannerSyncTest, TheServersChangesWaitForTheUsersSaveAndNeverEnterAnOpenDialog) {
    PrepareBook();
    const QDate meeting = today.addDays(2);
    const QDate visit = today.addDays(4);
    const QDate dinner = today.addDays(6);
    ThePhone().Add(TimedEvent(QStringLiteral("meeting"), meeting, 10, QStringLiteral("会議")));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(AwaitSync());
    ASSERT_EQ(Plans(meeting), QStringList{QStringLiteral("会議")});
    const QByteArray syncedFile = ReadBytes(bookPath);

    // The user notes something on the meeting's day; the phone renames the meeting meanwhile
    // and adds a visit on a day the user did not touch.
    ASSERT_NO_FATAL_FAILURE(ShowDay(meeting));
    TypeMemo(QStringLiteral("持ち物"));
    ThePhone().Edit(QStringLiteral("meeting"),
                    QStringLiteral("{\"SUMMARY\": \"会議(変更)\"}").toUtf8());
    ThePhone().Add(TimedEvent(QStringLiteral("visit"), visit, 14, QStringLiteral("来客")));
    ASSERT_TRUE(SyncNow());
    EXPECT_EQ(Plans(meeting), QStringList{QStringLiteral("会議")});
    EXPECT_EQ(Plans(visit), QStringList{QStringLiteral("来客")});
    // The user's place in the memo stays put while other days come in.
    TypeText(Memo(), QStringLiteral("と傘"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("持ち物と傘"));
    EXPECT_EQ(m_app->GetSync()->Waiting(), QList<QDate>{meeting});
    // The visit is the user's to save with their own change.
    EXPECT_TRUE(Doc()->IsModified());
    EXPECT_EQ(ReadBytes(bookPath), syncedFile);

    // 同期... lists the waiting day; while it is open, nothing comes in.
    bool seen = false;
    onModal = ([&](QWidget* modal) {
        auto* dialog = qobject_cast<CSyncDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->AddressEdit()->text(), calendar.toString());
        EXPECT_EQ(dialog->UserEdit()->text(), server->User());
        ASSERT_EQ(dialog->WaitingList()->count(), 1);
        EXPECT_TRUE(
            dialog->WaitingList()->item(0)->text().contains(QString::number(meeting.day())));
        ThePhone().Add(TimedEvent(QStringLiteral("dinner"), dinner, 19, QStringLiteral("夕食")));
        EXPECT_TRUE(SyncNow());
        EXPECT_TRUE(Plans(dinner).isEmpty());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ASSERT_TRUE(
        ClickMenu(Frame()->GetCommandBar(), {QStringLiteral("ツール"), QStringLiteral("同期...")}));
    ASSERT_TRUE(seen);
    EXPECT_TRUE(m_app->GetSync()->Waiting().contains(dinner));

    // The user's save: their memo and the visit leave together, the backup is the file before
    // it, and the waiting changes come in and are saved at once.
    ASSERT_NO_FATAL_FAILURE(ShowDay(today));
    PressSave();
    const QString backups = m_profile.DataFolder() + QStringLiteral("/backups");
    const auto backupBytes = [&] {
        QByteArray all;
        for (QDirIterator it(backups, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            all += ReadBytes(it.next());
        return all;
    };
    const QByteArray backup = backupBytes();
    EXPECT_EQ(backup, syncedFile);
    ASSERT_TRUE(AwaitSync());
    EXPECT_EQ(Plans(meeting), QStringList{QStringLiteral("会議(変更)")});
    EXPECT_EQ(MemoOf(meeting), QStringLiteral("持ち物と傘"));
    EXPECT_EQ(Plans(dinner), QStringList{QStringLiteral("夕食")});
    EXPECT_TRUE(m_app->GetSync()->Waiting().isEmpty());
    EXPECT_FALSE(Doc()->IsModified());
    const QString file = FileText();
    for (const QString& text : {QStringLiteral("会議(変更)"), QStringLiteral("持ち物と傘"),
                                QStringLiteral("来客"), QStringLiteral("夕食")})
        EXPECT_TRUE(file.contains(text)) << text.toStdString();
    // The program's own save kept the backup of the user's.
    EXPECT_EQ(backupBytes(), backup);
    // The user's memo went out with the save; nothing else went back that the phone did not have.
    EXPECT_EQ(PhoneSummaries(), Sorted({QStringLiteral("会議(変更)"), QStringLiteral("夕食"),
                                        QStringLiteral("持ち物と傘"), QStringLiteral("既存"),
                                        QStringLiteral("来客")}));
}

TEST_F(PlannerSyncTest, ChangesTakenInButNotSavedAreFetchedAgainAfterNo) {
    PrepareBook();
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(AwaitSync());
    const QDate visit = today.addDays(4);
    ASSERT_NO_FATAL_FAILURE(ShowDay(today.addDays(1)));
    TypeMemo(QStringLiteral("下書き"));
    ThePhone().Add(TimedEvent(QStringLiteral("visit"), visit, 14, QStringLiteral("来客")));
    ASSERT_TRUE(SyncNow());
    ASSERT_EQ(Plans(visit), QStringList{QStringLiteral("来客")});

    // The user quits and answers いいえ: the book's file never had the visit.
    bool answered = false;
    onModal = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        answered = true;
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    };
    ASSERT_TRUE(Frame()->close());
    ASSERT_TRUE(answered);
    EXPECT_FALSE(FileText().contains(QStringLiteral("来客")));
    // The normal end of the program, which leaves no journal after いいえ.
    ASSERT_TRUE(Doc()->ChangesDeclined());
    m_app->GetJournal()->Discard();
    m_app.reset();

    // The next start fetches it again, into the file this time; the phone still has it once.
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(AwaitSync());
    EXPECT_EQ(Plans(visit), QStringList{QStringLiteral("来客")});
    EXPECT_TRUE(FileText().contains(QStringLiteral("来客")));
    EXPECT_FALSE(FileText().contains(QStringLiteral("下書き")));
    EXPECT_EQ(PhoneSummaries(), Sorted({QStringLiteral("既存"), QStringLiteral("来客")}));
}

// The sync plans from the book as it was when it looked, on its own thread. A day the user changed
// and saved before the plan came back is left as the user made it, and waits for the next sync;
// the rest goes in a little at a time, shown at once where it is the day on show, and is saved by
// the program without a question while the user types on.
TEST_F(PlannerSyncTest, ADayTheUserSavedWhileTheSyncPlannedIsLeftForTheNextSync) {
    WriteBook(bookPath, OleOf(today), QStringLiteral("既存"));
    ASSERT_NO_FATAL_FAILURE(Start());
    CTavrinoDoc* doc = Doc();
    int refreshed = 0;
    CPlannerBook::Hooks hooks;
    hooks.dialogOpen = [] { return false; };
    hooks.composing = [] { return false; };
    hooks.refresh = [&](bool dayOnShowChanged) {
        ++refreshed;
        View()->RefreshFromBook(dayOnShowChanged);
    };
    CPlannerBook book(doc, hooks);
    const std::map<QDate, CYoteiDay> seen = book.Days(today.addDays(-400), today.addDays(400));
    ASSERT_EQ(seen.size(), 1u);

    ASSERT_NO_FATAL_FAILURE(ShowDay(today));
    TypeMemo(QStringLiteral("持ち物"));
    PressSave();
    ASSERT_FALSE(doc->IsModified());

    // The plan: the server's version of today, and a year of the phone's days, one on show.
    std::map<QDate, CYoteiDay> plan;
    plan[today] = seen.at(today);
    plan[today].m_plans[0] = QStringLiteral("サーバー");
    for (int i = 1; i <= 365; ++i) {
        CYoteiDay day;
        day.m_plans[0] = QStringLiteral("電話%1").arg(i);
        plan[today.addDays(i)] = day;
    }
    ASSERT_NO_FATAL_FAILURE(ShowDay(today.addDays(3)));
    bool done = false;
    book.Write(plan, [&](bool ok, const QString&) { done = ok; });
    // Nothing happens inside the call: the caller's turn ends first.
    EXPECT_TRUE(Plans(today.addDays(3)).isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kWait));

    EXPECT_EQ(book.HeldBack(), std::set<QDate>{today});
    EXPECT_EQ(book.Unsettled(), std::set<QDate>{today});
    EXPECT_EQ(Plans(today), QStringList{QStringLiteral("既存")});
    EXPECT_EQ(MemoOf(today), QStringLiteral("持ち物"));
    EXPECT_EQ(Plans(today.addDays(365)), QStringList{QStringLiteral("電話365")});
    EXPECT_GE(refreshed, 1);
    EXPECT_FALSE(doc->IsModified());
    const QString file = FileText();
    EXPECT_TRUE(file.contains(QStringLiteral("電話365")));
    EXPECT_FALSE(file.contains(QStringLiteral("サーバー")));
    EXPECT_TRUE(file.contains(QStringLiteral("持ち物")));
    // The day on show took the phone's row; what the user types next goes into that day.
    EXPECT_EQ(List()->GetItemText(1, 1), QStringLiteral("電話3"));
    TypeMemo(QStringLiteral("メモ"));
    EXPECT_EQ(MemoOf(today.addDays(3)), QStringLiteral("メモ"));
    EXPECT_EQ(Plans(today.addDays(3)), QStringList{QStringLiteral("電話3")});
}

TEST_F(PlannerSyncTest, AServerOutOfReachIsToldOnceAndTypingGoesOn) {
    PrepareBook(false);
    QString problem;
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1/alice/cal/").arg(FreePort()));
    ASSERT_TRUE(SyncAccount::Save(bookPath, {nowhere, QString()}, problem));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(AwaitSync());
    ASSERT_TRUE(QTest::qWaitFor([] { return Notices() == 1; }, 5000));
    EXPECT_FALSE(m_app->GetSync()->LastSync().failure.isEmpty());

    // The box leaves the keys to the memo, and later failures of the same outage say nothing.
    TypeMemo(QStringLiteral("メモ"));
    ASSERT_TRUE(SyncNow());
    TypeMemo(QStringLiteral("続き"));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("メモ続き"));
    CloseNotices();
    ASSERT_TRUE(SyncNow());
    QTest::qWait(100);
    EXPECT_EQ(Notices(), 0);

    // The calendar back: the sync goes through; a new outage is told again.
    MakeCalendar(*server, name);
    ASSERT_TRUE(SyncAccount::Save(bookPath, {calendar, server->User()}, problem));
    ASSERT_TRUE(SyncNow());
    EXPECT_TRUE(m_app->GetSync()->LastSync().failure.isEmpty());
    ASSERT_TRUE(SyncAccount::Save(bookPath, {nowhere, QString()}, problem));
    ASSERT_TRUE(SyncNow());
    EXPECT_TRUE(QTest::qWaitFor([] { return Notices() == 1; }, 5000));
    EXPECT_EQ(Memo()->GetWindowText(), QStringLiteral("メモ続き"));
}

TEST_F(PlannerSyncTest, ASyncInFlightWhenTheBookIsReplacedIsDropped) {
    PrepareBook();
    const QDate visit = today.addDays(4);
    ThePhone().Add(TimedEvent(QStringLiteral("visit"), visit, 14, QStringLiteral("来客")));
    ASSERT_NO_FATAL_FAILURE(Start());
    // Ctrl+N while the first sync is under way: the new book gets nothing of the calendar's.
    QTest::keyClick(Frame(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(Doc()->GetPathName().isEmpty());
    QTest::qWait(1500);
    EXPECT_TRUE(Plans(visit).isEmpty());
    EXPECT_FALSE(Doc()->IsModified());
    EXPECT_EQ(ReadBytes(bookPath).contains("visit"), false);
}

TEST_F(PlannerSyncTest, SetUpFromTheServersAddressFindsOrMakesTheBooksCalendar) {
    WriteBook(bookPath, OleOf(today.addDays(1)), QStringLiteral("既存"));
    ASSERT_NO_FATAL_FAILURE(Start());
    const QString serverAddress = QStringLiteral("http://127.0.0.1:%1").arg(server->Port());
    bool seen = false;
    onModal = [&](QWidget* modal) {
        auto* dialog = qobject_cast<CSyncDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        RetypeText(dialog->AddressEdit(), serverAddress);
        RetypeText(dialog->UserEdit(), server->User());
        RetypeText(dialog->PasswordEdit(), QStringLiteral("wrong"));
        const auto tried = [&](const QString& text) {
            QTest::mouseClick(dialog->TryButton(), Qt::LeftButton);
            return QTest::qWaitFor([&] { return dialog->TryResult()->text() == text; }, kWait);
        };
        EXPECT_TRUE(tried(LoadString(IDP_SYNC_FAILED)
                              .arg(QStringLiteral("127.0.0.1"),
                                   LoadString(IDP_SYNC_LOGIN_REFUSED).arg(server->User()))))
            << dialog->TryResult()->text().toStdString();
        RetypeText(dialog->PasswordEdit(), server->Password());
        // No calendar of the book's name in the user's home yet: it will be made.
        EXPECT_TRUE(tried(LoadString(IDS_SYNC_WILL_MAKE).arg(QStringLiteral("予定"))))
            << dialog->TryResult()->text().toStdString();
        if (const QString shot = ShotPath(QStringLiteral("sync-dialog.png")); !shot.isEmpty())
            dialog->grab().save(shot);
        QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);
    };
    ASSERT_TRUE(
        ClickMenu(Frame()->GetCommandBar(), {QStringLiteral("ツール"), QStringLiteral("同期...")}));
    ASSERT_TRUE(seen);
    ASSERT_TRUE(AwaitSync());
    EXPECT_TRUE(m_app->GetSync()->LastSync().failure.isEmpty())
        << m_app->GetSync()->LastSync().failure.toStdString();
    // The account holds the calendar found, in the user's home, not the server's address.
    const std::optional<SyncAccount::Account> account = SyncAccount::Load(bookPath);
    ASSERT_TRUE(account);
    EXPECT_TRUE(account->calendar.path().startsWith(QStringLiteral("/alice/")))
        << account->calendar.toString().toStdString();
    calendar = account->calendar;
    EXPECT_EQ(PhoneSummaries(), QStringList{QStringLiteral("既存")});
    // Without a keyring the password is not kept, said once, and used for this run.
    EXPECT_EQ(Notices(), 1);
    CloseNotices();

    // A second set-up from the same address finds the calendar made.
    seen = false;
    onModal = [&](QWidget* modal) {
        auto* dialog = qobject_cast<CSyncDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->PasswordEdit()->text(), server->Password());
        RetypeText(dialog->AddressEdit(), serverAddress);
        QTest::mouseClick(dialog->TryButton(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return dialog->TryResult()->text() ==
                       LoadString(IDS_SYNC_FOUND).arg(QStringLiteral("予定"));
            },
            kWait))
            << dialog->TryResult()->text().toStdString();
        QTest::keyClick(dialog, Qt::Key_Escape);
    };
    ASSERT_TRUE(
        ClickMenu(Frame()->GetCommandBar(), {QStringLiteral("ツール"), QStringLiteral("同期...")}));
    ASSERT_TRUE(seen);
    EXPECT_EQ(passwordAsks, 0);
}

// Set up from 同期... in a desktop session with a keyring: the next start asks for nothing.
TEST_F(PlannerSyncTest, DISABLED_SetUpFromTheDialogKeepsThePasswordInTheKeyring) {
    WriteBook(bookPath, OleOf(today.addDays(1)), QStringLiteral("既存"));
    ASSERT_NO_FATAL_FAILURE(Start());
    bool seen = false;
    onModal = ([&](QWidget* modal) {
        auto* dialog = qobject_cast<CSyncDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        RetypeText(dialog->AddressEdit(), calendar.toString());
        RetypeText(dialog->UserEdit(), server->User());
        RetypeText(dialog->PasswordEdit(), server->Password());
        QTest::mouseClick(dialog->TryButton(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return dialog->TryResult()->text() ==
                       LoadString(IDS_SYNC_WILL_MAKE).arg(QStringLiteral("予定"));
            },
            kWait))
            << dialog->TryResult()->text().toStdString();
        QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);
    });
    ASSERT_TRUE(
        ClickMenu(Frame()->GetCommandBar(), {QStringLiteral("ツール"), QStringLiteral("同期...")}));
    ASSERT_TRUE(seen);
    ASSERT_TRUE(AwaitSync());
    EXPECT_TRUE(m_app->GetSync()->LastSync().failure.isEmpty());
    EXPECT_EQ(PhoneSummaries(), QStringList{QStringLiteral("既存")});
    m_app.reset();

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(AwaitSync());
    EXPECT_EQ(passwordAsks, 0);
    EXPECT_TRUE(m_app->GetSync()->LastSync().failure.isEmpty());
    // Never written to a file of ours.
    for (QDirIterator it(m_profile.Path(), QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        EXPECT_FALSE(ReadBytes(path).contains(server->Password().toUtf8())) << path.toStdString();
    }
}

TEST_F(PlannerSyncTest, ThePasswordIsKeptInTheDesktopsKeyring) {
    QTemporaryDir home;
    const QString script = InKeyringSession(QStringLiteral(
        "exec \"$0\" --gtest_also_run_disabled_tests "
        "--gtest_filter=PlannerSyncTest.DISABLED_SetUpFromTheDialogKeepsThePasswordInTheKeyring"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("TAVRINO_TEST_KEYRING", "1");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("dbus-run-session",
                {"--", "sh", "-c", script, QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(child.waitForFinished(180000));
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

} // namespace
