// The runner in this process, as the planner will run it: from the event loop, with a book of
// its own. A change on the server between our listing and our write is fetched, merged and
// tried again, never overwritten.

#include "sync/SyncRunner.h"
#include "SyncToolTestSupport.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

// A book held in memory, as the planner holds one.
class MemoryBook : public SyncBook {
public:
    std::map<QDate, CYoteiDay> Days(const QDate& from, const QDate& to) {
        std::map<QDate, CYoteiDay> days;
        for (const auto& [date, day] : m_days) {
            if (date >= from && date <= to)
                days.emplace(date, day);
        }
        return days;
    }
    void DaysFor(const QDate& from, const QDate& to,
                 std::function<void(std::map<QDate, CYoteiDay>)> take) override {
        take(Days(from, to));
    }
    void Write(const std::map<QDate, CYoteiDay>& days,
               std::function<void(bool, const QString&)> done) override {
        for (const auto& [date, day] : days)
            m_days[date] = day;
        ++writes;
        // Later, from the event loop, as a planner's save would answer.
        QTimer::singleShot(0, [done] { done(true, QString()); });
    }
    std::map<QDate, CYoteiDay> m_days;
    int writes = 0;
};

class SyncRunnerTest : public SyncToolTest {
protected:
    // One runner for every sync of a test, as the planner keeps one: nothing may carry over
    // from one sync to the next, not even from one that failed part way.
    SyncResult Run(const std::function<void(int)>& observer = {}) {
        SyncOptions options;
        options.calendar = calendar;
        options.user = server->User();
        options.password = server->Password();
        options.from = day.addDays(-10);
        options.to = day.addDays(10);
        options.zone = QTimeZone("Asia/Tokyo");
        options.stateFile = home.Path("state.sqlite");
        runner.Client().SetAnswerObserver(observer);
        QEventLoop loop;
        SyncResult result;
        bool done = false;
        runner.Start(options, &book, [&](const SyncResult& r) {
            result = r;
            done = true;
            loop.quit();
        });
        if (!done)
            loop.exec();
        requests = runner.Client().RequestCount();
        return result;
    }

    SyncRunner runner;

    QDate day = QDate::currentDate().addDays(3);
    MemoryBook book;
    int requests = 0;
};

TEST_P(SyncRunnerTest, AChangeMadeMeanwhileIsFetchedMergedAndTriedAgain) {
    MakeIt();
    book.m_days[day].m_times[0] = "10";
    book.m_days[day].m_plans[0] = Q8(u8"会議");
    SyncResult r = Run();
    ASSERT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();

    // The book renames it; the phone adds an alarm after our listing, before our write.
    book.m_days[day].m_plans[0] = Q8(u8"会議（変更）");
    const int writesBefore = book.writes;
    r = Run([this](int n) {
        if (n == 2) {
            QJsonArray ops{QJsonObject{{"op", "edit"},
                                       {"summary", Q8(u8"会議")},
                                       {"change", QJsonObject{{"ADD_ALARM", true}}}}};
            PhoneOf().Batch(QJsonDocument(ops).toJson());
        }
    });
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    // PROPFIND, listing, PUT refused (412); then the listing of what changed, its text, the PUT
    // again, and the stored text.
    EXPECT_EQ(requests, 7);
    EXPECT_EQ(book.writes, writesBefore);
    const std::map<QString, QByteArray> texts = CalendarTexts(*server, calendar);
    ASSERT_EQ(texts.size(), 1u);
    const QByteArray& event = texts.begin()->second;
    EXPECT_EQ(Property(event, "SUMMARY"), Q8(u8"会議（変更）"));
    EXPECT_TRUE(event.contains("BEGIN:VALARM")) << event.toStdString();

    // Nothing changed since: the calendar's properties and the listing of what changed, and no
    // write to the book.
    r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(book.writes, writesBefore);
}

TEST_P(SyncRunnerTest, AnEditMadeMeanwhileOnTheServerIsAConflictNotAnOverwrite) {
    MakeIt();
    book.m_days[day].m_times[0] = "10";
    book.m_days[day].m_plans[0] = Q8(u8"会議");
    ASSERT_EQ(Run().exitCode, 0);
    book.m_days[day].m_plans[0] = Q8(u8"会議（本の変更）");
    const SyncResult r = Run([this](int n) {
        if (n == 2) {
            QJsonArray ops{
                QJsonObject{{"op", "edit"},
                            {"summary", Q8(u8"会議")},
                            {"change", QJsonObject{{"SUMMARY", Q8(u8"会議（電話の変更）")}}}}};
            PhoneOf().Batch(QJsonDocument(ops).toJson());
        }
    });
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].startsWith("conflict: ")) << r.err[0].toStdString();
    EXPECT_EQ(book.m_days[day].m_plans[0], Q8(u8"会議（電話の変更）"));
    EXPECT_EQ(book.m_days[day].m_plans[1], Q8(u8"【競合】会議（本の変更）"));
    EXPECT_EQ(Summaries(*server, calendar),
              (QStringList{Q8(u8"【競合】会議（本の変更）"), Q8(u8"会議（電話の変更）")}));
}

TEST_P(SyncRunnerTest, AServerGoneMidwayLeavesTheRestForTheNextSync) {
    MakeIt();
    for (int r = 0; r < 3; ++r)
        book.m_days[day].m_plans[r] = QStringLiteral("行%1").arg(r + 1);
    // The server goes after our listing, before the first write.
    SyncResult result = Run([this](int n) {
        if (n == 2)
            server->Stop();
    });
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.err.size(), 1) << result.err.join('\n').toStdString();
    EXPECT_TRUE(result.err[0].startsWith("could not reach " + calendar.toString()));
    EXPECT_TRUE(result.err[0].endsWith("3 changes to the calendar wait for the next sync"))
        << result.err[0].toStdString();
    ASSERT_TRUE(server->Start());
    result = Run();
    EXPECT_EQ(result.exitCode, 0) << result.err.join('\n').toStdString();
    EXPECT_EQ(Summaries(*server, calendar),
              (QStringList{QStringLiteral("行1"), QStringLiteral("行2"), QStringLiteral("行3")}));
}

SYNC_TEST_SERVERS(SyncRunnerTest);

} // namespace
