// The book tool's agenda, find and import commands run as a program on real files.

#include "../core/CoreTestSupport.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <map>

namespace {

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The tool in Tokyo time, so that the calendar's zones convert the same on every machine.
ToolResult Tool(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "Asia/Tokyo");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QByteArray U8(const char8_t* text) {
    return QByteArray(reinterpret_cast<const char*>(text));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A day as rows of "time|plan|detail" (empty rows left out, numbered from 1) and its memo.
struct Day {
    std::map<int, QString> rows;
    QString memo;
    QString heading;
};

std::map<QString, Day> Days(const QString& book) {
    const ToolResult dump = Tool({"dump", book});
    EXPECT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    std::map<QString, Day> days;
    for (const QJsonValue& v : QJsonDocument::fromJson(dump.out)["days"].toArray()) {
        const QJsonObject o = v.toObject();
        Day& d = days[o["day"].toString()];
        d.memo = o["memo"].toString();
        d.heading = o["heading"].toString();
        const QJsonArray rows = o["rows"].toArray();
        for (int r = 0; r < rows.size(); ++r) {
            const QJsonObject row = rows[r].toObject();
            const QString text = row["time"].toString() + u'|' + row["plan"].toString() + u'|' +
                                 row["detail"].toString();
            if (text != QLatin1String("||"))
                d.rows[r + 1] = text;
        }
    }
    return days;
}

class BookCalendarTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(BookCalendarTest, ThirdPartyCalendarLandsInRowsAndAgainAddsNothing) {
    const QString ics = QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/third-party.ics");
    // 20 May holds 時刻データ's hours, and row 3 ("10") is taken.
    QByteArray json = R"({"days":[{"day":"2025-05-20","rows":[)";
    for (int h = 8; h <= 17; ++h)
        json += QStringLiteral(R"(%1{"time":"%2"%3})")
                    .arg(h > 8 ? "," : "")
                    .arg(h, 2, 10, QLatin1Char('0'))
                    .arg(h == 10 ? QStringLiteral(R"(,"plan":"既存の予定")") : QString())
                    .toUtf8();
    json += "]}]}";
    WriteAll(Path("seed.json"), json);
    ASSERT_EQ(Tool({"build", Path("seed.json"), Path("book.dat")}).exitCode, 0);

    const QStringList import = {"import", "--format",   "ics", "--from",        "2025-03-01",
                                "--to",   "2025-06-30", ics,   Path("book.dat")};
    // A dry run names each addition and writes nothing.
    const QByteArray before = ReadAll(Path("book.dat"));
    const ToolResult dry = Tool(QStringList(import) << "--dry-run");
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_TRUE(dry.out.contains(U8(u8"2025-03-14 row 1: 18:00 ベルリン会議\n"
                                    u8"2025-03-14 row 2: 22:00 夜勤\n")));
    EXPECT_EQ(dry.out.count('\n'), 30);
    EXPECT_EQ(ReadAll(Path("book.dat")), before);

    const ToolResult run = Tool(import);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    // The zone nobody knows is taken as local time, the rule libical cannot expand is imported
    // once; each warning names the event's line.
    EXPECT_EQ(run.err, ics.toUtf8() +
                           U8(u8":99: warning: time zone \"Mars/Olympus\" is unknown; its times "
                              u8"are taken as local times\n") +
                           ics.toUtf8() +
                           U8(u8":112: warning: its RRULE cannot be expanded; only its first "
                              u8"occurrence is imported\n"));

    std::map<QString, Day> days = Days(Path("book.dat"));
    QStringList dates;
    for (const auto& [date, day] : days)
        dates << date;
    EXPECT_EQ(dates.join(' '), "2025-03-04 2025-03-05 2025-03-06 2025-03-10 2025-03-11 "
                               "2025-03-12 2025-03-14 2025-03-15 2025-03-18 2025-04-01 "
                               "2025-04-07 2025-04-08 2025-04-09 2025-04-22 2025-04-28 "
                               "2025-05-02 2025-05-20");
    using Rows = std::map<int, QString>;
    // Weekly with COUNT, in a zone of the file's own VTIMEZONE: 19:00 in New York is 09:00 in
    // Tokyo the next morning, and 08:00 once New York has gone over to summer time.
    EXPECT_EQ(days["2025-03-04"].rows, (Rows{{1, U8(u8"09:00|NY定例|Zoom")}}));
    EXPECT_EQ(days["2025-03-18"].rows, (Rows{{1, U8(u8"08:00|NY定例|Zoom")}}));
    // UTC; escaped comma and semicolon; a description folded inside a character and by a tab.
    EXPECT_EQ(days["2025-03-05"].rows,
              (Rows{{1, U8(u8"10:30|予算会議, 第2回; 資料持参|会議室A\r\n"
                           u8"来期の予算について話し合います。資料は前日までに共有フォルダへ置い"
                           u8"てください。\r\n当日は録画します。")}}));
    // All-day and multi-day all-day (DTEND exclusive); all-day comes first in a day.
    EXPECT_EQ(days["2025-03-06"].rows, (Rows{{1, U8(u8"|創立記念日|")}}));
    EXPECT_EQ(days["2025-03-12"].rows, (Rows{{1, U8(u8"|出張（大阪）|")}}));
    EXPECT_EQ(days["2025-03-11"].rows,
              (Rows{{1, U8(u8"|出張（大阪）|")}, {2, U8(u8"08:00|NY定例|Zoom")}}));
    // Berlin through the system's zone data runs past midnight in Tokyo; the night shift ends at
    // midnight and so stays on its day.
    EXPECT_EQ(days["2025-03-14"].rows,
              (Rows{{1, U8(u8"18:00|ベルリン会議|")}, {2, U8(u8"22:00|夜勤|")}}));
    EXPECT_EQ(days["2025-03-15"].rows, (Rows{{1, U8(u8"00:00|ベルリン会議|")}}));
    // Weekly until 28 April (included), less an EXDATE, one occurrence moved, one RDATE added.
    EXPECT_EQ(days["2025-04-07"].rows, (Rows{{1, U8(u8"09:30|週次MTG|")}}));
    EXPECT_EQ(days["2025-04-22"].rows, (Rows{{1, U8(u8"14:00|週次MTG（振替）|")}}));
    EXPECT_EQ(days["2025-04-28"].rows, (Rows{{1, U8(u8"09:30|週次MTG|")}}));
    EXPECT_EQ(days["2025-05-02"].rows, (Rows{{1, U8(u8"09:30|週次MTG|")}}));
    // Floating, unknown zone (as floating), the cancelled event left out.
    EXPECT_EQ(days["2025-04-08"].rows, (Rows{{1, U8(u8"07:00|朝会|")}}));
    EXPECT_EQ(days["2025-04-09"].rows, (Rows{{1, U8(u8"12:00|火星時間の会議|")}}));
    EXPECT_EQ(days["2025-04-01"].rows, (Rows{{1, U8(u8"10:00|年次点検|")}}));
    // Twelve events, in the file out of order, into a day of hours: each takes its hour's row,
    // the taken row is left alone, and what has no row goes into the memo.
    Rows busy;
    for (int h = 8; h <= 17; ++h)
        busy[h - 7] = h == 10 ? U8(u8"10|既存の予定|")
                              : QStringLiteral("%1:00|予定%2|").arg(h, 2, 10, QChar(u'0')).arg(h);
    EXPECT_EQ(days["2025-05-20"].rows, busy);
    EXPECT_EQ(days["2025-05-20"].memo, U8(u8"10:00 予定10\r\n18:00 予定18\r\n19:00 予定19"));

    // The same file again adds nothing: the book's bytes stay as they are.
    const QByteArray once = ReadAll(Path("book.dat"));
    const ToolResult again = Tool(import);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(ReadAll(Path("book.dat")), once);
    EXPECT_TRUE(Tool(QStringList(import) << "--dry-run").out.isEmpty());
}

TEST_F(BookCalendarTest, CsvComesBackAsExportedFromUtf8AndCodePage932) {
    QByteArray json =
        U8(u8R"({"days":[{"day":"2025-01-06","heading":"見出し","headingDetail":"詳細, \"引用\"",)"
           u8R"("rows":[{"time":"09","plan":"会議","detail":"二行\r\nの詳細"},{},{"plan":"昼食"}],)"
           u8R"("memo":"メモ\r\n二行目"},{"day":"2025-01-07","rows":[{},{},{},{},{},{},{},{},{},)"
           u8R"({"time":"17","plan":"最後の行"}]}]})");
    WriteAll(Path("source.json"), json);
    ASSERT_EQ(Tool({"build", Path("source.json"), Path("source.dat")}).exitCode, 0);
    const ToolResult csv = Tool({"export", "--format", "csv", Path("source.dat")});
    ASSERT_EQ(csv.exitCode, 0);
    // With a byte-order mark, as spreadsheets save UTF-8.
    WriteAll(Path("book.csv"), "\xEF\xBB\xBF" + csv.out);
    const ToolResult in = Tool({"import", "--format", "csv", Path("book.csv"), Path("new.dat")});
    ASSERT_EQ(in.exitCode, 0) << in.err.toStdString();
    EXPECT_EQ(ReadAll(Path("new.dat")), ReadAll(Path("source.dat")));

    // The same lines again change nothing; a line that differs is a conflict and nothing of
    // the file is written.
    EXPECT_EQ(Tool({"import", "--format", "csv", Path("book.csv"), Path("new.dat")}).exitCode, 0);
    WriteAll(Path("conflict.csv"), U8(u8"date,row,time,plan,detail\r\n"
                                      u8"2025-01-08,1,,新しい日,\r\n"
                                      u8"2025-01-06,1,09,別の会議,\r\n"));
    const ToolResult conflict =
        Tool({"import", "--format", "csv", Path("conflict.csv"), Path("new.dat")});
    EXPECT_EQ(conflict.exitCode, 1);
    EXPECT_TRUE(conflict.err.startsWith(Path("conflict.csv").toUtf8() +
                                        U8(u8":3: 2025-01-06 row 1 already holds \"09 会議 二行 "
                                           u8"の詳細\"\n")))
        << conflict.err.toStdString();
    EXPECT_EQ(ReadAll(Path("new.dat")), ReadAll(Path("source.dat")));

    // Code page 932: 会議, 本社, half-width ｶﾞ and ①.
    WriteAll(Path("sjis.csv"), QByteArray("date,row,time,plan,detail\r\n2025-02-03,2,10:00,") +
                                   QByteArray::fromHex("89ef8b63") + ',' +
                                   QByteArray::fromHex("967b8ed0b6de8740") + "\r\n");
    ASSERT_EQ(Tool({"import", "--format", "csv", Path("sjis.csv"), Path("sjis.dat")}).exitCode, 0);
    EXPECT_EQ(Days(Path("sjis.dat"))["2025-02-03"].rows,
              (std::map<int, QString>{{2, U8(u8"10:00|会議|本社ｶﾞ①")}}));
}

TEST_F(BookCalendarTest, DamagedInputsNameTheirLineAndLeaveTheBookAlone) {
    WriteAll(Path("book.dat"), WorkedExampleBook());
    const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:x\r\n";
    const QByteArray tail = "SUMMARY:x\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    struct Case {
        const char* format;
        QByteArray input;
        int line;
    } cases[] = {
        {"ics", head + "DTSTART:20250230T090000\r\n" + tail, 5}, // no such day
        {"ics", head + "DTSTART:garbage\r\n" + tail, 5},
        {"ics", head + "DTSTART:20250201T090000\r\nSUMMARY:\xff\xfe\r\n END:VEVENT\r\n", 6},
        {"ics", head + "DTSTART:20250201T090000\r\nEND:VTODO\r\n", 6},
        {"ics", head + "DTSTART:20250201T090000\r\n" + "SUMMARY:x\r\nEND:VEVENT\r\n", 7},
        {"ics", head + tail, 3}, // an event without DTSTART
        {"ics", "hello\r\n", 1},
        {"csv", "date,row,plan\r\n", 1},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,1,,ok,\r\n2025-1-2,1,,x,\r\n", 3},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,11,,x,\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,1,,x\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,memo,09,x,\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n\r\n2025-01-01,1,,\"open\r\nstill,\r\n", 3},
    };
    for (const Case& c : cases) {
        for (const QString& book : {Path("book.dat"), Path("missing.dat")}) {
            WriteAll(Path("in"), c.input);
            const ToolResult r = Tool({"import", "--format", c.format, Path("in"), book});
            EXPECT_EQ(r.exitCode, 1) << c.input.toStdString();
            EXPECT_TRUE(
                r.err.startsWith(QStringLiteral("%1:%2: ").arg(Path("in")).arg(c.line).toUtf8()))
                << c.input.toStdString() << " -> " << r.err.toStdString();
            EXPECT_TRUE(r.out.isEmpty());
        }
        EXPECT_EQ(ReadAll(Path("book.dat")), WorkedExampleBook());
        EXPECT_FALSE(QFile::exists(Path("missing.dat")));
    }
}

TEST_F(BookCalendarTest, AgendaAndFindReadTheBookAsAPersonDoes) {
    // Today as the tool sees it, in Tokyo.
    const QDate today = QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone("Asia/Tokyo")).date();
    const auto day = [](const QDate& d) { return d.toString(Qt::ISODate); };
    // The worked example's day, a day in the default week, one just after it and one without text.
    const QByteArray json =
        QStringLiteral(
            R"({"days":[{"day":"%1","heading":"ＡＢＣ商事","headingDetail":"訪問",)"
            R"("rows":[{},{"time":"10","plan":"ｶﾞｲﾀﾞﾝｽ","detail":"本館\r\n2階"}],"memo":"一行目\r\n二行目"},)"
            R"({"day":"%2","rows":[{"plan":"来週"}]},{"day":"%3"}]})")
            .arg(day(today.addDays(6)), day(today.addDays(7)), day(today))
            .toUtf8();
    WriteAll(Path("week.json"), json);
    ASSERT_EQ(Tool({"build", Path("week.json"), Path("week.dat")}).exitCode, 0);
    WriteAll(Path("example.dat"), WorkedExampleBook());

    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const ToolResult week = Tool({"agenda", Path("week.dat")});
    EXPECT_EQ(week.exitCode, 0);
    const QString expected = japanese.toString(today.addDays(6), QLocale::LongFormat) +
                             QStringLiteral("\n  ■ ＡＢＣ商事 訪問\n  10 ｶﾞｲﾀﾞﾝｽ 本館 2階\n"
                                            "    一行目\n    二行目\n");
    EXPECT_EQ(week.out.toStdString(), expected.toStdString());
    const ToolResult example =
        Tool({"agenda", "--from", "2009-07-01", "--to", "2009-07-31", Path("example.dat")});
    EXPECT_EQ(example.out, U8(u8"2009年7月7日火曜日\n  08 会議\n"));
    const ToolResult json1 = Tool({"agenda", "--json", "--from=2009-07-07", Path("example.dat")});
    EXPECT_EQ(json1.out, Tool({"dump", Path("example.dat")}).out);
    for (const char* bad : {"2009-7-7", "2009-02-29", "tomorrow"})
        EXPECT_EQ(Tool({"agenda", "--from", bad, Path("example.dat")}).exitCode, 2) << bad;
    EXPECT_EQ(Tool({"agenda", "--from", "2009-07-08", "--to", "2009-07-07", Path("example.dat")})
                  .exitCode,
              2);

    // Width and case do not matter, in either direction.
    const ToolResult abc = Tool({"find", "abc", Path("week.dat")});
    EXPECT_EQ(abc.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(abc.out),
              day(today.addDays(6)) + QStringLiteral(": ■ ＡＢＣ商事 訪問\n"));
    EXPECT_EQ(Tool({"find", "ガイ", Path("week.dat")}).out,
              (day(today.addDays(6)) + QStringLiteral(": 10 ｶﾞｲﾀﾞﾝｽ 本館 2階\n")).toUtf8());
    EXPECT_EQ(Tool({"find", "--count", "行", Path("week.dat")}).out, "1\n");
    EXPECT_EQ(Tool({"find", U8(u8"ＸＹＺ"), Path("example.dat")}).out, "");
    EXPECT_EQ(Tool({"find", U8(u8"会"), Path("example.dat")}).out, U8(u8"2009-07-07: 08 会議\n"));
    EXPECT_EQ(Tool({"find", "--json", U8(u8"会議"), Path("example.dat")}).out,
              Tool({"dump", Path("example.dat")}).out);
    EXPECT_EQ(Tool({"find", "", Path("example.dat")}).exitCode, 2);
    const ToolResult noPattern = Tool({"find", Path("example.dat")});
    EXPECT_EQ(noPattern.exitCode, 2);
    EXPECT_TRUE(noPattern.err.contains("find takes a pattern and a file name"))
        << noPattern.err.toStdString();
}

} // namespace
