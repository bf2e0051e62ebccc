// First syncs: a book up to an empty calendar and down into an empty book, a calendar made on
// the phone coming down, and a book and a calendar that already hold the same events.

#include "SyncToolTestSupport.h"

namespace {

using Rows = std::map<int, QString>;

class SyncFirstTest : public SyncToolTest {};

// A day with every kind of entry: a heading, clock times (full-width too), a label, a row with
// only a detail, a time alone (a label that stays in the book) and a memo.
QByteArray BusyDay(int n, const QString& tag) {
    return QStringLiteral(
               R"({"day":"%1","heading":"見出し","headingDetail":"見出しの詳細",)"
               R"("rows":[{"time":"9","plan":"会議","detail":"資料\r\n持参"},)"
               R"({"time":"朝","plan":"体操"},{"time":"１０：３０","plan":"歯医者"},)"
               R"({"time":"11"},{"detail":"詳細だけ"},{"time":"14:05","plan":"","detail":"時刻と詳細"},)"
               R"({},{},{},{"time":"①","plan":"最後の行","detail":"x"}],)"
               R"("memo":"メモ一行目\r\nメモ二行目\r\n"})")
        .arg(Day(n))
        .replace(Q8(u8"会議"), Q8(u8"会議") + tag)
        .replace(Q8(u8"見出し"), Q8(u8"見出し") + tag)
        .replace(Q8(u8"体操"), Q8(u8"体操") + tag)
        .replace(Q8(u8"歯医者"), Q8(u8"歯医者") + tag)
        .replace(Q8(u8"最後の行"), Q8(u8"最後の行") + tag)
        .replace(Q8(u8"メモ一行目"), Q8(u8"メモ一行目") + tag)
        .toUtf8();
}

TEST_P(SyncFirstTest, ABookGoesUpAndComesDownIntoAnEmptyBookFieldForField) {
    home.Build("book.dat", "{\"days\":[" + BusyDay(3, QString()) + "," + BusyDay(40, "2") + "]}");
    const ToolRun up = Sync("book.dat", {"--create"});
    ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    EXPECT_TRUE(up.out.contains("(made)"));
    // Each row with text, the heading and the memo of each day: 8 events a day.
    EXPECT_EQ(CalendarEtags().size(), 16u);

    // What the phone sees: a timed event in Tokyo time with its zone, a label before the summary
    // of an all-day event.
    const std::map<QString, PhoneEvent> events = PhoneBySummary();
    ASSERT_TRUE(events.count(Q8(u8"会議")));
    const QByteArray meeting = events.at(Q8(u8"会議")).data;
    EXPECT_TRUE(
        meeting.contains("DTSTART;TZID=Asia/Tokyo:" + Day(3).remove('-').toLatin1() + "T090000"))
        << meeting.toStdString();
    EXPECT_TRUE(meeting.contains("BEGIN:VTIMEZONE"));
    EXPECT_EQ(Property(meeting, "DESCRIPTION"), Q8(u8"資料\n持参"));
    EXPECT_TRUE(events.count(Q8(u8"朝 体操")));
    EXPECT_TRUE(events.at(Q8(u8"歯医者")).data.contains("T103000"));

    // A second sync changes nothing on either side.
    const QByteArray bytes = home.Read("book.dat");
    const std::map<QString, QByteArray> etags = CalendarEtags();
    const ToolRun again = Sync("book.dat");
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, QString());
    EXPECT_EQ(home.Read("book.dat"), bytes);
    EXPECT_EQ(CalendarEtags(), etags);

    // Down into an empty book: every entry with text, in its place.
    const ToolRun down = Sync("copy.dat");
    ASSERT_EQ(down.exitCode, 0) << down.err.toStdString();
    std::map<QString, BookDay> expected = Days("book.dat");
    for (auto& [date, day] : expected)
        day.rows.erase(4); // a time alone is a label, and no event
    EXPECT_EQ(Days("copy.dat"), expected);
    EXPECT_EQ(CalendarEtags(), etags);
    const QByteArray copy = home.Read("copy.dat");
    const ToolRun still = Sync("copy.dat");
    EXPECT_EQ(still.exitCode, 0) << still.err.toStdString();
    EXPECT_EQ(still.out, QString());
    EXPECT_EQ(home.Read("copy.dat"), copy);
}

TEST_P(SyncFirstTest, ThePhonesEventsComeDownAsImportPlacesThem) {
    MakeIt();
    const Phone phone = PhoneOf();
    const QString d = Day(5).remove('-');
    // 18:00 in Berlin is 02:00 the next morning in Tokyo; a place goes before the description.
    QByteArray events;
    events += (PhoneEventText("berlin-1", "DTSTART;TZID=Europe/Berlin:" + d +
                                              "T180000\r\nDTEND;TZID=Europe/Berlin:" + d +
                                              "T190000\r\nSUMMARY:ベルリン会議\r\n"
                                              "LOCATION:Raum 3\r\nDESCRIPTION:議題\\nあり\r\n"));
    events += (PhoneEventText("allday-1", "DTSTART;VALUE=DATE:" + d + "\r\nSUMMARY:休日\r\n"));
    events += (PhoneEventText("utc-1", "DTSTART:" + d +
                                           "T000000Z\r\nDURATION:PT30M\r\n"
                                           "SUMMARY:朝の電話\r\n"));
    // An event with nothing to show: not placed (a time alone would be a label), and so never
    // taken for one the book deleted.
    events += PhoneEventText("empty-1", "DTSTART;TZID=Asia/Tokyo:" + d +
                                            "T150000\r\n"
                                            "DURATION:PT1H\r\n");
    events += (PhoneEventText("gone-1", "DTSTART;VALUE=DATE:" + d +
                                            "\r\nSUMMARY:中止\r\nSTATUS:CANCELLED\r\n"));
    events += (PhoneEventText("20250101@tavrino-book",
                              "DTSTART;VALUE=DATE:" + d + "\r\nSUMMARY:昔のエクスポート\r\n"));
    const QString tasks = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n"
                          "BEGIN:VTODO\r\nUID:todo-1\r\nDTSTAMP:20250101T000000Z\r\n"
                          "SUMMARY:買い物\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
    phone.Add(events + tasks.toUtf8());

    const ToolRun down = Sync("book.dat");
    ASSERT_EQ(down.exitCode, 0) << down.err.toStdString();
    EXPECT_TRUE(down.out.contains(Q8(u8"not placed: ") + Day(5) + Q8(u8" 昔のエクスポート")))
        << down.out.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    EXPECT_EQ(days[Day(5)].rows, (Rows{{1, Q8(u8"|休日|")}, {2, Q8(u8"09:00|朝の電話|")}}));
    EXPECT_EQ(days[Day(6)].rows, (Rows{{1, Q8(u8"02:00|ベルリン会議|Raum 3\r\n議題\r\nあり")}}));
    EXPECT_EQ(days.size(), 2u);

    // Nothing changes on a second sync, and the export is not named again.
    const QByteArray bytes = home.Read("book.dat");
    const std::map<QString, QByteArray> etags = CalendarEtags();
    const ToolRun again = Sync("book.dat");
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, QString());
    EXPECT_EQ(home.Read("book.dat"), bytes);
    EXPECT_EQ(CalendarEtags(), etags);
    EXPECT_EQ(etags.size(), 7u);
}

TEST_P(SyncFirstTest, WhatBothSidesHoldAlreadyIsLinkedNotDoubled) {
    MakeIt();
    const Phone phone = PhoneOf();
    const QString d = Day(7).remove('-');
    // The book imported the phone's calendar once; now both hold the same events.
    phone.Add(PhoneEventText("meeting-1", "DTSTART;TZID=Asia/Tokyo:" + d +
                                              "T100000\r\nDTEND;TZID=Asia/Tokyo:" + d +
                                              "T110000\r\nSUMMARY:会議\r\nLOCATION:A室\r\n"));
    phone.Add(PhoneEventText("holiday-1", "DTSTART;VALUE=DATE:" + d + "\r\nSUMMARY:記念日\r\n"));
    home.Build("book.dat", QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"記念日"},)"
                                          R"({"time":"10:00","plan":"会議","detail":"A室"},)"
                                          R"({"time":"12","plan":"昼食"}]}]})")
                               .arg(Day(7))
                               .toUtf8());
    const QByteArray bytes = home.Read("book.dat");
    const std::map<QString, QByteArray> before = CalendarEtags();

    const ToolRun first = Sync("book.dat");
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    // Only the lunch, which the phone did not have, goes up; the book is not touched.
    EXPECT_EQ(first.out.count('\n'), 1) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(Q8(u8"calendar: ") + Day(7) + Q8(u8" row 3: 12 昼食 (added)")));
    EXPECT_EQ(home.Read("book.dat"), bytes);
    const std::map<QString, QByteArray> after = CalendarEtags();
    EXPECT_EQ(after.size(), 3u);
    for (const auto& [href, etag] : before)
        EXPECT_EQ(after.at(href), etag) << href.toStdString();
}

SYNC_TEST_SERVERS(SyncFirstTest);

} // namespace
