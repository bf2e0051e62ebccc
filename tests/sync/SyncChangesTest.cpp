// Changes after the first sync: edits, deletions, an edit against a deletion, rows moved by
// 挿入, a conflict, a day moved on the phone, the stop before mass deletions and --dry-run.

#include "SyncToolTestSupport.h"

namespace {

using Rows = std::map<int, QString>;

class SyncChangesTest : public SyncToolTest {
protected:
    // A book of one day, n days from today, with the given rows (JSON objects), synced up.
    void StartWith(int n, const QString& rows, const QString& extra = QString()) {
        day = Day(n);
        home.Build("book.dat", QStringLiteral(R"({"days":[{"day":"%1","rows":[%2]%3}]})")
                                   .arg(day, rows, extra)
                                   .toUtf8());
        const ToolRun up = Sync("book.dat", {"--create"});
        ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    }
    // Rewrites the book's day.
    void BookNow(const QString& rows, const QString& extra = QString()) {
        const QByteArray json = QStringLiteral(R"({"days":[{"day":"%1","rows":[%2]%3}]})")
                                    .arg(day, rows, extra)
                                    .toUtf8();
        home.Build("book.dat", json);
    }
    // A second sync that changes nothing on either side.
    void ExpectSettled() {
        const QByteArray bytes = home.Read("book.dat");
        const std::map<QString, QByteArray> etags = CalendarEtags();
        const ToolRun again = Sync("book.dat");
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_EQ(again.out, QString());
        EXPECT_EQ(home.Read("book.dat"), bytes);
        EXPECT_EQ(CalendarEtags(), etags);
    }
    QString UidOf(const QString& summary) const { return PhoneBySummary().at(summary).uid; }

    QString day;
};

TEST_P(SyncChangesTest, EditsGoBothWaysAndOnlyWhatChanged) {
    StartWith(4, R"({"time":"10:00","plan":"会議","detail":"議題"},{"time":"朝","plan":"体操"})");
    const Phone phone = PhoneOf();
    // The phone adds an alarm: no text of the book changes, and the alarm stays.
    phone.Edit(UidOf(Q8(u8"会議")), R"({"ADD_ALARM":true})");
    ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());

    // The book moves the meeting and renames it; the event is patched, its alarm kept, its
    // hour long and in its zone.
    BookNow(R"({"time":"11:30","plan":"定例会議","detail":"議題"},{"time":"朝","plan":"体操"})");
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, Q8(u8"calendar: ") + day + Q8(u8" row 1: 11:30 定例会議 議題 (changed)\n"));
    const QByteArray meeting = PhoneBySummary().at(Q8(u8"定例会議")).data;
    const QByteArray d = day.toLatin1().replace("-", "");
    EXPECT_TRUE(meeting.contains("DTSTART;TZID=Asia/Tokyo:" + d + "T113000"))
        << meeting.toStdString();
    EXPECT_TRUE(meeting.contains("DTEND;TZID=Asia/Tokyo:" + d + "T123000"));
    EXPECT_TRUE(meeting.contains("BEGIN:VALARM"));
    EXPECT_EQ(Property(meeting, "X-TAVRINO-TIME"), "11:30");

    // The phone renames the exercise, keeping its label.
    phone.Edit(UidOf(Q8(u8"朝 体操")), U8(u8R"({"SUMMARY":"朝 ラジオ体操"})"));
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Days("book.dat")[day].rows,
              (Rows{{1, Q8(u8"11:30|定例会議|議題")}, {2, Q8(u8"朝|ラジオ体操|")}}));
    ExpectSettled();
}

TEST_P(SyncChangesTest, APlaceTheBookShowsComesBackUnchanged) {
    MakeIt();
    const QString d = Day(6).remove('-');
    PhoneOf().Add(PhoneEventText("place-1", "DTSTART;TZID=Asia/Tokyo:" + d +
                                                "T150000\r\nDTEND;TZID=Asia/Tokyo:" + d +
                                                "T160000\r\nSUMMARY:打合せ\r\nLOCATION:本社 3F\r\n"
                                                "DESCRIPTION:資料あり\r\nCATEGORIES:仕事\r\n"));
    ASSERT_EQ(Sync("book.dat").exitCode, 0);
    day = Day(6);
    EXPECT_EQ(Days("book.dat")[day].rows, (Rows{{1, Q8(u8"15:00|打合せ|本社 3F\r\n資料あり")}}));
    // 詳細's first line is the place: an edit below it leaves the place as it was.
    BookNow(U8(u8R"({"time":"15:00","plan":"打合せ","detail":"本社 3F\r\n資料と名刺"})"));
    ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QByteArray event = PhoneOf().List().at(0).data;
    EXPECT_EQ(Property(event, "LOCATION"), Q8(u8"本社 3F"));
    EXPECT_EQ(Property(event, "DESCRIPTION"), Q8(u8"資料と名刺"));
    EXPECT_EQ(Property(event, "CATEGORIES"), Q8(u8"仕事"));
    EXPECT_TRUE(event.contains("DTEND;TZID=Asia/Tokyo:" + d.toLatin1() + "T160000"));
    // An edit of the first line moves the place.
    BookNow(U8(u8R"({"time":"15:00","plan":"打合せ","detail":"支社\r\n資料と名刺"})"));
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    event = PhoneOf().List().at(0).data;
    EXPECT_EQ(Property(event, "LOCATION"), Q8(u8"支社"));
    EXPECT_EQ(Property(event, "DESCRIPTION"), Q8(u8"資料と名刺"));
    ExpectSettled();
}

TEST_P(SyncChangesTest, DeletionsGoBothWays) {
    StartWith(8, R"({"time":"9","plan":"朝会"},{"time":"13","plan":"昼の予定"},)"
                 R"({"time":"15","plan":"午後の予定"})");
    // The book clears a row; the phone deletes another event.
    BookNow(R"({"time":"9","plan":"朝会"},{},{"time":"15","plan":"午後の予定"})");
    PhoneOf().Delete(UidOf(Q8(u8"午後の予定")));
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(Q8(u8"calendar: ") + day + Q8(u8" row 2: 13 昼の予定 (removed)")));
    EXPECT_TRUE(run.out.contains(Q8(u8"book: ") + day + Q8(u8" row 3: 15 午後の予定 (removed)")));
    EXPECT_EQ(Days("book.dat")[day].rows, (Rows{{1, Q8(u8"9|朝会|")}}));
    const std::map<QString, PhoneEvent> events = PhoneBySummary();
    EXPECT_EQ(events.size(), 1u);
    EXPECT_TRUE(events.count(Q8(u8"朝会")));
    ExpectSettled();
}

TEST_P(SyncChangesTest, AnEditBeatsADeletionBothWays) {
    StartWith(9, R"({"time":"9","plan":"朝会"},{"time":"13","plan":"昼の予定"})");
    const Phone phone = PhoneOf();
    // Cleared in the book, changed on the phone: the row is filled again.
    BookNow(R"({},{"time":"13","plan":"昼の予定（変更）"})");
    phone.Edit(UidOf(Q8(u8"朝会")), U8(u8R"({"SUMMARY":"朝会（延長）"})"));
    // Deleted on the phone, changed in the book: it goes up again.
    phone.Delete(UidOf(Q8(u8"昼の予定")));
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Days("book.dat")[day].rows,
              (Rows{{1, Q8(u8"9|朝会（延長）|")}, {2, Q8(u8"13|昼の予定（変更）|")}}));
    const std::map<QString, PhoneEvent> events = PhoneBySummary();
    EXPECT_EQ(events.size(), 2u);
    EXPECT_TRUE(events.count(Q8(u8"昼の予定（変更）")));
    ExpectSettled();
}

TEST_P(SyncChangesTest, RowsMovedByInsertUploadNothingButTheNewRow) {
    StartWith(10,
              R"({"time":"9","plan":"一"},{"time":"10","plan":"二"},{"time":"11","plan":"三"})");
    const std::map<QString, QByteArray> before = CalendarEtags();
    // 挿入 at the first row: every row moves down one, the new one is empty, then filled.
    BookNow(R"({"time":"8","plan":"新しい行"},{"time":"9","plan":"一"},{"time":"10","plan":"二"},)"
            R"({"time":"11","plan":"三"})");
    ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, Q8(u8"calendar: ") + day + Q8(u8" row 1: 8 新しい行 (added)\n"));
    std::map<QString, QByteArray> after = CalendarEtags();
    EXPECT_EQ(after.size(), 4u);
    for (const auto& [href, etag] : before)
        EXPECT_EQ(after[href], etag) << "uploaded again: " << href.toStdString();
    // 削除 of the second row moves the rest up: only the deleted one goes.
    BookNow(
        R"({"time":"8","plan":"新しい行"},{"time":"10","plan":"二"},{"time":"11","plan":"三"})");
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, Q8(u8"calendar: ") + day + Q8(u8" row 2: 9 一 (removed)\n"));
    // And a phone edit still finds its row where it went.
    PhoneOf().Edit(UidOf(Q8(u8"三")), U8(u8R"({"SUMMARY":"三（変更）"})"));
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Days("book.dat")[day].rows,
              (Rows{{1, Q8(u8"8|新しい行|")}, {2, Q8(u8"10|二|")}, {3, Q8(u8"11|三（変更）|")}}));
    ExpectSettled();
}

TEST_P(SyncChangesTest, BothSidesChangedKeepBothVersions) {
    StartWith(11, R"({"time":"14","plan":"打合せ","detail":"A社"})");
    PhoneOf().Edit(UidOf(Q8(u8"打合せ")), U8(u8R"({"SUMMARY":"打合せ（電話）"})"));
    BookNow(R"({"time":"14","plan":"打合せ","detail":"B社"})");
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("conflict: " + day)) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1);
    // The calendar's text takes the row; the book's goes beside it, marked, and up.
    EXPECT_EQ(Days("book.dat")[day].rows,
              (Rows{{1, Q8(u8"14|打合せ（電話）|A社")}, {2, Q8(u8"14|【競合】打合せ|B社")}}));
    const std::map<QString, PhoneEvent> events = PhoneBySummary();
    EXPECT_EQ(events.size(), 2u);
    EXPECT_TRUE(events.count(Q8(u8"【競合】打合せ")));
    ExpectSettled();
}

TEST_P(SyncChangesTest, ADayMovedOnThePhoneMovesItsRow) {
    StartWith(12, R"({"time":"朝","plan":"体操"},{"time":"10","plan":"移る予定","detail":"x"})");
    PhoneOf().Edit(UidOf(Q8(u8"移る予定")),
                   QStringLiteral(R"({"DATE":"%1"})").arg(Day(14)).toUtf8());
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    EXPECT_EQ(days[day].rows, (Rows{{1, Q8(u8"朝|体操|")}}));
    EXPECT_EQ(days[Day(14)].rows, (Rows{{2, Q8(u8"10|移る予定|x")}}));
    ExpectSettled();
}

TEST_P(SyncChangesTest, MassDeletionsStopUnlessForced) {
    QString rows;
    for (int h = 8; h < 18; ++h)
        rows += QStringLiteral(R"(%1{"time":"%2","plan":"予定%2"})").arg(h > 8 ? "," : "").arg(h);
    StartWith(15, rows, R"(,"heading":"見出し","memo":"メモ")");
    ASSERT_EQ(CalendarEtags().size(), 12u);
    // The book emptied (a wrong file, a mistake): nothing happens without --force.
    BookNow(QString());
    const QByteArray emptied = home.Read("book.dat");
    ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("--force")) << run.err.toStdString();
    EXPECT_EQ(CalendarEtags().size(), 12u);
    // Most of it gone, and more than ten: the same.
    BookNow(R"({"time":"8","plan":"予定8"})");
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("11 of the calendar's 12")) << run.err.toStdString();
    EXPECT_EQ(CalendarEtags().size(), 12u);
    run = Sync("book.dat", {"--force"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(CalendarEtags().size(), 1u);

    // The calendar emptied on the server: the book is not emptied without --force.
    PhoneOf().Delete(UidOf(Q8(u8"予定8")));
    const QByteArray bytes = home.Read("book.dat");
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("the calendar is empty")) << run.err.toStdString();
    EXPECT_EQ(home.Read("book.dat"), bytes);
    run = Sync("book.dat", {"--force"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(Days("book.dat").empty());
    (void)emptied;
}

TEST_P(SyncChangesTest, ADryRunNamesBothSidesAndChangesNothing) {
    StartWith(16, R"({"time":"9","plan":"朝会"},{"time":"13","plan":"昼の予定"})");
    PhoneOf().Edit(UidOf(Q8(u8"朝会")), U8(u8R"({"SUMMARY":"朝会（変更）"})"));
    BookNow(R"({"time":"9","plan":"朝会"},{"time":"13","plan":"昼の予定"},{"plan":"新しい行"})");
    const QByteArray bytes = home.Read("book.dat");
    const std::map<QString, QByteArray> etags = CalendarEtags();
    const ToolRun dry = Sync("book.dat", {"--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    const QString expected = Q8(u8"book: ") + day + Q8(u8" row 1: 9 朝会（変更） (changed)\n") +
                             Q8(u8"calendar: ") + day + Q8(u8" row 3: 新しい行 (added)\n");
    EXPECT_EQ(dry.out, expected);
    EXPECT_EQ(home.Read("book.dat"), bytes);
    EXPECT_EQ(CalendarEtags(), etags);
    // The sync that follows does what the dry run named.
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, expected);
    ExpectSettled();
}

TEST_P(SyncChangesTest, DaysOutsideTheWindowAreLeftAloneOnBothSides) {
    MakeIt();
    home.Build("book.dat", QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"内の本"}]},)"
                                          R"({"day":"%2","rows":[{"plan":"外の本"}]}]})")
                               .arg(Day(3), Day(50))
                               .toUtf8());
    PhoneOf().Add(PhoneEventText("inside", "DTSTART;VALUE=DATE:" + Day(4).remove('-') +
                                               "\r\nSUMMARY:内の電話\r\n") +
                  PhoneEventText("outside", "DTSTART;VALUE=DATE:" + Day(60).remove('-') +
                                                "\r\nSUMMARY:外の電話\r\n"));
    ToolRun run = Sync("book.dat", {"--from", Day(0), "--to", Day(30)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    EXPECT_EQ(days.size(), 3u);
    EXPECT_EQ(days[Day(4)].rows, (Rows{{1, Q8(u8"|内の電話|")}}));
    EXPECT_FALSE(days.count(Day(60)));
    EXPECT_EQ(Summaries(*server, calendar),
              (QStringList{Q8(u8"内の本"), Q8(u8"内の電話"), Q8(u8"外の電話")}));
    // The default window takes both in, each once.
    run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    days = Days("book.dat");
    EXPECT_EQ(days[Day(60)].rows, (Rows{{1, Q8(u8"|外の電話|")}}));
    EXPECT_EQ(Summaries(*server, calendar),
              (QStringList{Q8(u8"内の本"), Q8(u8"内の電話"), Q8(u8"外の本"), Q8(u8"外の電話")}));
}

SYNC_TEST_SERVERS(SyncChangesTest);

} // namespace
