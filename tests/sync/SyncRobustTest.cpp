// A sync that is killed part way, sync tokens the server forgot, an item the server refuses, a
// refused login and a server that is down, and a whole book up and down again.

#include "SyncToolTestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

using Rows = std::map<int, QString>;

class SyncRobustTest : public SyncToolTest {
protected:
    // A calendar and a book of one day that both changed since their first sync: the phone
    // edited A, deleted B and added D; the book edited A too (a conflict), edited C and added
    // E. Returns the book's name.
    QString ChangedOnBothSides(int k) {
        name = QStringLiteral("killed-%1-%2").arg(k).arg(server->Name().toLower());
        calendar = server->CalendarUrl(name);
        const QString book = QStringLiteral("book-%1.dat").arg(k);
        day = Day(20);
        home.Build(book, QStringLiteral(R"({"days":[{"day":"%1","rows":[{"time":"9","plan":"A"},)"
                                        R"({"time":"10","plan":"B"},{"time":"11","plan":"C"}]}]})")
                             .arg(day)
                             .toUtf8());
        const ToolRun up = Sync(book, {"--create"});
        EXPECT_EQ(up.exitCode, 0) << up.err.toStdString();
        const QString d = day;
        QJsonArray ops;
        ops.append(QJsonObject{
            {"op", "edit"}, {"summary", "A"}, {"change", QJsonObject{{"SUMMARY", "A phone"}}}});
        ops.append(QJsonObject{{"op", "delete"}, {"summary", "B"}});
        ops.append(
            QJsonObject{{"op", "add"},
                        {"ics", QString::fromUtf8(PhoneEventText(
                                    "phone-d", "DTSTART;VALUE=DATE:" + QString(d).remove('-') +
                                                   "\r\nSUMMARY:D\r\n"))}});
        PhoneOf().Batch(QJsonDocument(ops).toJson());
        home.Build(book,
                   QStringLiteral(R"({"days":[{"day":"%1","rows":[{"time":"9","plan":"A book"},)"
                                  R"({"time":"10","plan":"B"},{"time":"11","plan":"C book"},)"
                                  R"({"time":"12","plan":"E"}]}]})")
                       .arg(day)
                       .toUtf8());
        return book;
    }

    QString day;
};

TEST_P(SyncRobustTest, ASyncKilledAfterAnyRequestConvergesOnTheNextRun) {
    const Rows expected{{1, "9|A phone|"},
                        {2, "|D|"},
                        {3, "11|C book|"},
                        {4, "12|E|"},
                        {5, Q8(u8"9|【競合】A book|")}};
    const QStringList onCalendar{"A phone", "C book", "D", "E", Q8(u8"【競合】A book")};
    bool ranToTheEnd = false;
    for (int k = 1; k < 30 && !ranToTheEnd; ++k) {
        SCOPED_TRACE(k);
        const QString book = ChangedOnBothSides(k);
        const ToolRun killed =
            Sync(book, {}, {QStringLiteral("TAVRINO_SYNC_STOP_AFTER=%1").arg(k)});
        ranToTheEnd = killed.exitCode != 75;
        const ToolRun again = Sync(book);
        // Killed before the conflict was resolved, the next run finds it; after, it is done.
        EXPECT_TRUE(again.exitCode == 0 || again.exitCode == 1) << again.err.toStdString();
        EXPECT_FALSE(again.err.contains("failed")) << again.err.toStdString();
        EXPECT_EQ(Days(book)[day].rows, expected);
        EXPECT_EQ(Summaries(*server, calendar), onCalendar);
        const ToolRun settled = Sync(book);
        EXPECT_EQ(settled.exitCode, 0) << settled.err.toStdString();
        EXPECT_EQ(settled.out, QString());
    }
    EXPECT_TRUE(ranToTheEnd) << "the sync never ran to its end";
}

TEST_P(SyncRobustTest, AWholeBookGoesUpAndComesBack) {
    // Two dozen days across the window, every kind of entry, texts with the characters a
    // calendar escapes, and a long memo.
    QString json = R"({"days":[)";
    for (int i = 0; i < 24; ++i) {
        const int n = -300 + i * 37;
        json += QStringLiteral(
                    R"(%1{"day":"%2","heading":"見出し%3","headingDetail":"詳細; %3, \\ 終",)"
                    R"("rows":[{"time":"%4","plan":"予定%3","detail":"一行目\r\n二行目"},)"
                    R"({"time":"朝","plan":"ラベル%3"},{},{"time":"１２：３０","plan":"昼%3"},)"
                    R"({"detail":"詳細のみ%3"},{"time":"13"}],"memo":"%5"})")
                    .arg(i ? "," : "")
                    .arg(Day(n))
                    .arg(i)
                    .arg(i % 24)
                    .arg(QString("メモ %1\\r\\n").arg(i).repeated(i % 5 + 1));
    }
    json += "]}";
    home.Build("book.dat", json.toUtf8());
    const ToolRun up = Sync("book.dat", {"--create"});
    ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    EXPECT_EQ(CalendarEtags().size(), 144u);
    const ToolRun down = Sync("copy.dat");
    ASSERT_EQ(down.exitCode, 0) << down.err.toStdString();
    std::map<QString, BookDay> expected = Days("book.dat");
    for (auto& [date, d] : expected)
        d.rows.erase(6); // a time alone is a label, and no event
    EXPECT_EQ(Days("copy.dat"), expected);
}

SYNC_TEST_SERVERS(SyncRobustTest);

// Radicale's own cases: its tokens voided by hand, its limit on a request's size, its login.
class SyncRadicaleTest : public SyncToolTest {};

TEST_P(SyncRadicaleTest, VoidedTokensGiveAFullListingWithoutDoubles) {
    home.Build("book.dat",
               QStringLiteral(R"({"days":[{"day":"%1","rows":[{"time":"9","plan":"一"},)"
                              R"({"time":"10","plan":"二"}]}]})")
                   .arg(Day(25))
                   .toUtf8());
    ASSERT_EQ(Sync("book.dat", {"--create"}).exitCode, 0);
    PhoneOf().Add(PhoneEventText("phone-3", "DTSTART;VALUE=DATE:" + Day(25).remove('-') +
                                                "\r\nSUMMARY:三\r\n"));
    // What administrators do to repair a server: every token is forgotten.
    ASSERT_TRUE(QDir(server->CollectionFolder(name) + "/.Radicale.cache").removeRecursively());
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "book: " + Day(25) + Q8(u8" row 3: 三 (added)\n"));
    EXPECT_EQ(Summaries(*server, calendar), (QStringList{Q8(u8"一"), Q8(u8"三"), Q8(u8"二")}));
    const ToolRun again = Sync("book.dat");
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, QString());
}

TEST_P(SyncRadicaleTest, AnItemTheServerRefusesFailsAloneAndTheRestGoOn) {
    const QString memo = QString(u8"長いメモ").repeated(DavServer::kMaxContentLength / 4);
    home.Build("book.dat",
               QStringLiteral(R"({"days":[{"day":"%1","rows":[{"time":"9","plan":"一"},)"
                              R"({"time":"10","plan":"二"}],"memo":"%2"}]})")
                   .arg(Day(26), memo)
                   .toUtf8());
    const QByteArray bytes = home.Read("book.dat");
    ToolRun run = Sync("book.dat", {"--create"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("failed: calendar: " + Day(26) + " memo:"))
        << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1);
    EXPECT_EQ(Summaries(*server, calendar), (QStringList{Q8(u8"一"), Q8(u8"二")}));
    EXPECT_EQ(home.Read("book.dat"), bytes);
    // The next sync offers it again, and only it.
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.startsWith("calendar: " + Day(26) + Q8(u8" memo: 長いメモ長いメモ")));
    EXPECT_TRUE(run.out.endsWith(Q8(u8"… (added)\n"))) << run.out.toStdString();
    EXPECT_EQ(Summaries(*server, calendar).size(), 2);
}

TEST_P(SyncRadicaleTest, AWrongPasswordOrAServerThatIsDownLeavesTheBookAlone) {
    home.Build(
        "book.dat",
        QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"一"}]}]})").arg(Day(27)).toUtf8());
    const QByteArray bytes = home.Read("book.dat");
    ToolRun run = Sync("book.dat", {"--create"}, {"TAVRINO_CALDAV_PASSWORD=wrong"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, calendar.toString() + " refused the login of alice\n");
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(home.Read("book.dat"), bytes);

    QFile passwordFile(home.Path("password"));
    ASSERT_TRUE(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("secret\n");
    passwordFile.close();
    const QUrl down(QStringLiteral("http://127.0.0.1:%1/alice/%2/").arg(FreePort()).arg(name));
    run = home.Run({"sync", "--url", down.toString(), "--user", "alice", "--password-file",
                    home.Path("password"), home.Path("book.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("could not reach " + down.toString() + ": "))
        << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1);
    EXPECT_EQ(home.Read("book.dat"), bytes);

    // With the right password from the file, and the account remembered for the next time.
    run = home.Run({"sync", "--url", calendar.toString(), "--user", "alice", "--password-file",
                    home.Path("password"), "--create", home.Path("book.dat")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = home.Run({"sync", "--password-file", home.Path("password"), home.Path("book.dat")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
    const QFileInfo accounts(home.Path("config/VELKORAN/Tavrino/sync-accounts.ini"));
    EXPECT_EQ(accounts.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                        QFileDevice::ReadOther | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    QFile saved(accounts.filePath());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_FALSE(saved.readAll().contains("secret"));
}

TEST_P(SyncRadicaleTest, ThePasswordComesFromThePlannersKeyring) {
    home.Build(
        "book.dat",
        QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"一"}]}]})").arg(Day(28)).toUtf8());
    // A session of its own with a keyring holding the planner's entry for this account.
    const QString key = "alice@" + calendar.toString(QUrl::FullyEncoded);
    const QString script =
        InKeyringSession(QStringLiteral("printf secret | secret-tool store --label=Tavrino "
                                        "user '%1' server Tavrino type plaintext && "
                                        "'%2' sync --url '%3' --user alice --create '%4'"))
            .arg(key, QStringLiteral(TAVRINO_BOOK_EXE), calendar.toString(), home.Path("book.dat"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.Path("keyring-home"));
    env.insert("XDG_DATA_HOME", home.Path("data"));
    env.insert("XDG_CONFIG_HOME", home.Path("config"));
    env.insert("TZ", "Asia/Tokyo");
    env.remove("TAVRINO_CALDAV_PASSWORD");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    p.setProcessEnvironment(env);
    QDir().mkpath(home.Path("keyring-home"));
    p.start("dbus-run-session", {"--", "sh", "-c", script});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString() << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(Q8(u8"row 1: 一 (added)"))) << out.toStdString();
    EXPECT_EQ(Summaries(*server, calendar), QStringList{Q8(u8"一")});

    // Without a keyring, the tool says where a password can come from.
    const ToolRun none =
        home.Run({"sync", "--url", calendar.toString(), "--user", "alice", home.Path("book.dat")},
                 {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.Path("no-bus")});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.contains("TAVRINO_CALDAV_PASSWORD")) << none.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncRadicaleTest, ::testing::Values(DavServer::Kind::radicale),
                         [](const auto&) { return std::string("Radicale"); });

} // namespace
