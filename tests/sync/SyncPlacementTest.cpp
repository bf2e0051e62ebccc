// Events that find no row go into the memo, marked, and never back up as the memo's text;
// events the book only follows (invitations, several days) keep the book's edits at home.

#include "SyncToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace {

using Rows = std::map<int, QString>;

class SyncPlacementTest : public SyncToolTest {
protected:
    void Settled(const QString& book) {
        const QByteArray bytes = home.Read(book);
        const std::map<QString, QByteArray> etags = CalendarEtags();
        const ToolRun again = Sync(book);
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_EQ(again.out, QString());
        EXPECT_EQ(home.Read(book), bytes);
        EXPECT_EQ(CalendarEtags(), etags);
    }
};

QString HoursDay(const QString& day, const QString& memo) {
    QString rows;
    for (int h = 8; h <= 17; ++h)
        rows += QStringLiteral(R"(%1{"time":"%2"%3})")
                    .arg(h > 8 ? "," : "")
                    .arg(h, 2, 10, QLatin1Char('0'))
                    .arg(h == 10 ? Q8(u8R"(,"plan":"既存")") : QString());
    return QStringLiteral(R"({"days":[{"day":"%1","rows":[%2],"memo":"%3"}]})")
        .arg(day, rows, memo);
}

TEST_P(SyncPlacementTest, EventsWithoutARowLiveInTheMemoMarked) {
    const QString day = Day(30);
    home.Build("book.dat", HoursDay(day, QString()).toUtf8());
    ASSERT_EQ(Sync("book.dat", {"--create"}).exitCode, 0);
    QByteArray events;
    for (int h = 8; h <= 19; ++h)
        events += PhoneEventText(
            QStringLiteral("hour-%1").arg(h),
            "DTSTART;TZID=Asia/Tokyo:" + QString(day).remove('-') + "T" +
                QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')) +
                "0000\r\nDURATION:PT30M\r\nSUMMARY:" + QStringLiteral("予定%1").arg(h) + "\r\n");
    PhoneOf().Add(events);
    ToolRun run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    // Each event takes its hour's row; the taken row and the hours past the rows go to the
    // memo, marked as the calendar's.
    Rows rows;
    for (int h = 8; h <= 17; ++h)
        rows[h - 7] = h == 10 ? Q8(u8"10|既存|")
                              : QStringLiteral("%1:00|予定%2|").arg(h, 2, 10, QChar(u'0')).arg(h);
    EXPECT_EQ(days[day].rows, rows);
    const QString marked = Q8(u8"⇄ 10:00 予定10\r\n⇄ 18:00 予定18\r\n⇄ 19:00 予定19");
    EXPECT_EQ(days[day].memo, marked);
    // The memo's own text is empty: no memo event went up.
    EXPECT_EQ(CalendarEtags().size(), 13u);
    Settled("book.dat");

    // The user writes in the memo: only their own text goes up as the memo.
    home.EditDay("book.dat", day,
                 [&](QJsonObject& d) { d["memo"] = Q8(u8"自分のメモ\r\n") + marked; });
    run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "calendar: " + day + Q8(u8" memo: 自分のメモ (added)\n"));
    QByteArray memoEvent;
    for (const auto& [href, text] : CalendarTexts(*server, calendar)) {
        if (Property(text, "X-TAVRINO-KIND") == "memo")
            memoEvent = text;
    }
    EXPECT_EQ(Property(memoEvent, "DESCRIPTION"), Q8(u8"自分のメモ"));

    // The phone deletes one of them and renames another: their lines follow; the memo's own
    // text and its event stay as they were.
    QJsonArray ops;
    ops.append(QJsonObject{{"op", "delete"}, {"summary", Q8(u8"予定18")}});
    ops.append(QJsonObject{{"op", "edit"},
                           {"summary", Q8(u8"予定19")},
                           {"change", QJsonObject{{"SUMMARY", Q8(u8"予定19（変更）")}}}});
    PhoneOf().Batch(QJsonDocument(ops).toJson());
    const std::map<QString, QByteArray> before = CalendarEtags();
    run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    days = Days("book.dat");
    EXPECT_EQ(days[day].memo, Q8(u8"自分のメモ\r\n⇄ 10:00 予定10\r\n⇄ 19:00 予定19（変更）"));
    EXPECT_EQ(days[day].rows, rows);
    const std::map<QString, QByteArray> after = CalendarEtags();
    EXPECT_EQ(after.size(), 13u);

    // A marked line the user removes is an event deleted.
    home.EditDay("book.dat", day,
                 [&](QJsonObject& d) { d["memo"] = Q8(u8"自分のメモ\r\n⇄ 19:00 予定19（変更）"); });
    run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "calendar: " + day + Q8(u8" memo: 10:00 予定10 (removed)\n"));
    QStringList expected;
    for (int h = 8; h <= 17; ++h) {
        if (h != 10)
            expected << QStringLiteral("予定%1").arg(h);
    }
    expected << Q8(u8"予定19（変更）") << Q8(u8"既存") << Q8(u8"自分のメモ");
    expected.sort();
    EXPECT_EQ(Summaries(*server, calendar), expected);
    Settled("book.dat");
}

TEST_P(SyncPlacementTest, EventsTheBookOnlyFollowsKeepTheBooksEditsAtHome) {
    MakeIt();
    const QString day = Day(31);
    const QString d = QString(day).remove('-');
    const QString next = QString(Day(34)).remove('-');
    PhoneOf().Add(
        PhoneEventText("invite-1", "DTSTART;TZID=Asia/Tokyo:" + d +
                                       "T130000\r\nDURATION:PT1H\r\n"
                                       "SUMMARY:招待された会議\r\n"
                                       "ORGANIZER:mailto:boss@example.com\r\n"
                                       "ATTENDEE;PARTSTAT=ACCEPTED:mailto:alice@example.com\r\n") +
        PhoneEventText("trip-1", "DTSTART;VALUE=DATE:" + d + "\r\nDTEND;VALUE=DATE:" + next +
                                     "\r\nSUMMARY:出張\r\n"));
    ToolRun run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    EXPECT_EQ(days[day].rows, (Rows{{1, Q8(u8"|出張|")}, {2, Q8(u8"13:00|招待された会議|")}}));
    EXPECT_EQ(days[Day(32)].rows, (Rows{{1, Q8(u8"|出張|")}}));
    EXPECT_EQ(days[Day(33)].rows, (Rows{{1, Q8(u8"|出張|")}}));
    EXPECT_EQ(days.size(), 3u);
    const std::map<QString, QByteArray> etags = CalendarEtags();

    // The book renames the invitation and clears a day of the trip: neither is sent.
    home.EditDay("book.dat", day, [](QJsonObject& o) {
        QJsonArray rows = o["rows"].toArray();
        QJsonObject row = rows[1].toObject();
        row["plan"] = Q8(u8"会議（欠席）");
        rows[1] = row;
        o["rows"] = rows;
    });
    home.EditDay("book.dat", Day(32), [](QJsonObject& o) { o["rows"] = QJsonArray(); });
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QString());
    EXPECT_TRUE(
        run.err.contains("not sent: " + day +
                         Q8(u8" row 2: 13:00 会議（欠席） (an invitation from boss@example.com")))
        << run.err.toStdString();
    EXPECT_TRUE(
        run.err.contains("not sent: " + Day(32) + Q8(u8" row 1: 出張 (an event over several days")))
        << run.err.toStdString();
    EXPECT_EQ(CalendarEtags(), etags);
    days = Days("book.dat");
    EXPECT_EQ(days[day].rows, (Rows{{1, Q8(u8"|出張|")}, {2, Q8(u8"13:00|会議（欠席）|")}}));
    EXPECT_FALSE(days.count(Day(32)));
}

TEST_P(SyncPlacementTest, ABerlinWeeklyEventLandsOnTheRightRowsInTokyo) {
    MakeIt();
    // Weekly at 09:00 in Berlin from a Monday a week or two away, six times: the third taken out
    // by an EXDATE, the fourth moved to 11:00 under another title.
    QDate first = QDate::currentDate().addDays(7);
    while (first.dayOfWeek() != Qt::Monday)
        first = first.addDays(1);
    const QTimeZone berlin("Europe/Berlin");
    auto stamp = [&](const QDate& d, int hour) {
        return d.toString("yyyyMMdd") + QStringLiteral("T%1").arg(hour, 2, 10, QChar(u'0')) +
               "0000";
    };
    const QString zone =
        "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
        "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
        "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
        "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
        "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";
    const QString series = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n" + zone +
                           "BEGIN:VEVENT\r\nUID:weekly-1\r\nDTSTAMP:20250101T000000Z\r\n"
                           "DTSTART;TZID=Europe/Berlin:" +
                           stamp(first, 9) +
                           "\r\nDURATION:PT1H\r\n"
                           "RRULE:FREQ=WEEKLY;COUNT=6\r\n"
                           "EXDATE;TZID=Europe/Berlin:" +
                           stamp(first.addDays(14), 9) +
                           "\r\n"
                           "SUMMARY:週次\r\nEND:VEVENT\r\n"
                           "BEGIN:VEVENT\r\nUID:weekly-1\r\nDTSTAMP:20250101T000000Z\r\n"
                           "RECURRENCE-ID;TZID=Europe/Berlin:" +
                           stamp(first.addDays(21), 9) +
                           "\r\n"
                           "DTSTART;TZID=Europe/Berlin:" +
                           stamp(first.addDays(21), 11) +
                           "\r\nDURATION:PT1H\r\n"
                           "SUMMARY:週次（振替）\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    PhoneOf().Add(series.toUtf8());
    ToolRun run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Where each occurrence lands in Tokyo time, from Berlin's own rules, summer time included.
    std::map<QString, BookDay> expected;
    for (int k = 0; k < 6; ++k) {
        if (k == 2)
            continue;
        const QDate day = first.addDays(7 * k);
        const QDateTime local =
            QDateTime(day, QTime(k == 3 ? 11 : 9, 0), berlin).toTimeZone(QTimeZone("Asia/Tokyo"));
        expected[local.date().toString(Qt::ISODate)].rows[1] =
            local.time().toString("HH:mm") + (k == 3 ? Q8(u8"|週次（振替）|") : Q8(u8"|週次|"));
    }
    std::map<QString, BookDay> days = Days("book.dat");
    EXPECT_EQ(days, expected);
    Settled("book.dat");

    // An occurrence edited in the book goes up as an override beside the phone's own; the
    // phone's exception and EXDATE stay as they were.
    const QString edited = expected.begin()->first;
    home.EditDay("book.dat", edited, [](QJsonObject& o) {
        QJsonArray rows = o["rows"].toArray();
        QJsonObject row = rows[0].toObject();
        row["plan"] = Q8(u8"週次（欠席）");
        rows[0] = row;
        o["rows"] = rows;
    });
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray text = CalendarTexts(*server, calendar).begin()->second;
    EXPECT_EQ(text.count("BEGIN:VEVENT"), 3) << text.toStdString();
    EXPECT_EQ(text.count("RECURRENCE-ID"), 2) << text.toStdString();
    EXPECT_EQ(text.count("EXDATE"), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(("SUMMARY:週次（振替）"))) << text.toStdString();
    expected[edited].rows[1].replace(Q8(u8"週次"), Q8(u8"週次（欠席）"));
    EXPECT_EQ(Days("book.dat"), expected);
    Settled("book.dat");
}

SYNC_TEST_SERVERS(SyncPlacementTest);

} // namespace
