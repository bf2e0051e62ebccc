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
ToolResult Tool(const QStringList& args, const QString& zone = QStringLiteral("Asia/Tokyo")) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", zone);
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
    // A calendar is refused for these only when read strictly; the forgiving reading is below.
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
        // The smallest int, which less one is no int (the sanitizer build stops at it).
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,-2147483648,,x,\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,1,,x\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n2025-01-01,memo,09,x,\r\n", 2},
        {"csv", "date,row,time,plan,detail\r\n\r\n2025-01-01,1,,\"open\r\nstill,\r\n", 3},
    };
    for (const Case& c : cases) {
        for (const QString& book : {Path("book.dat"), Path("missing.dat")}) {
            WriteAll(Path("in"), c.input);
            QStringList args = {"import", "--format", c.format, Path("in"), book};
            if (QByteArray(c.format) == "ics")
                args.insert(1, "--strict");
            const ToolResult r = Tool(args);
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

// What the reading forgives: each line it cannot read is left out with its line, each event
// without a start too, a missing or stray END is mended; only what is no calendar is refused.
TEST_F(BookCalendarTest, DamagedCalendarsAreReadAsFarAsTheyCanBe) {
    const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:x\r\n";
    const QByteArray tail = "SUMMARY:x\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const QString noStart = QStringLiteral(":3: warning: an event without DTSTART is left out\n");
    const QString start = QStringLiteral("DTSTART:20250201T090000\r\n");
    struct Case {
        QByteArray input;
        QString err; // each line after the input's name
        QByteArray out;
    } cases[] = {
        {head + "DTSTART:20250230T090000\r\n" + tail,
         noStart + ":5: warning: the line is left out: not a calendar date or time: "
                   "DTSTART:20250230T090000\n",
         ""},
        {head + "DTSTART:garbage\r\n" + tail,
         noStart + ":5: warning: the line is left out: Can't parse as DATE-TIME value in "
                   "DTSTART property. Removing entire property: garbage\n",
         ""},
        {head + start.toLatin1() + "SUMMARY:\xff\xfe\r\n END:VEVENT\r\n",
         ":6: warning: the line is left out: not UTF-8 text\n"
         ":7: warning: the file ends before END:VEVENT; taken as closed there\n",
         "2025-02-01 row 1: 09:00\n"},
        {head + start.toLatin1() + "END:VTODO\r\n",
         ":6: warning: the line is left out: END:VEVENT expected\n"
         ":6: warning: the file ends before END:VEVENT; taken as closed there\n",
         "2025-02-01 row 1: 09:00\n"},
        {head + start.toLatin1() + "SUMMARY:x\r\nEND:VEVENT\r\nSTRAY\r\n",
         ":8: warning: the line is left out: Got a data line, but could not find a property "
         "name or component begin tag: STRAY\n"
         ":8: warning: the file ends before END:VCALENDAR; taken as closed there\n",
         "2025-02-01 row 1: 09:00 x\n"},
        {head + tail, noStart, ""},
    };
    WriteAll(Path("book.dat"), WorkedExampleBook());
    for (const Case& c : cases) {
        WriteAll(Path("in.ics"), c.input);
        const ToolResult r = Tool({"import", "--format", "ics", "--from", "2025-01-01", "--to",
                                   "2025-12-31", "--dry-run", Path("in.ics"), Path("book.dat")});
        EXPECT_EQ(r.exitCode, 0) << c.input.toStdString();
        QString err = c.err;
        err.replace(QStringLiteral("\n:"), QStringLiteral("\n") + Path("in.ics") + u':');
        EXPECT_EQ(r.err.toStdString(), (Path("in.ics") + err).toStdString())
            << c.input.toStdString();
        EXPECT_EQ(r.out, c.out) << c.input.toStdString();
    }
    // What is left is imported for real; what is no calendar is still refused.
    WriteAll(Path("in.ics"), cases[4].input);
    ASSERT_EQ(Tool({"import", "--format", "ics", "--from", "2025-02-01", "--to", "2025-02-28",
                    Path("in.ics"), Path("book.dat")})
                  .exitCode,
              0);
    EXPECT_EQ(Days(Path("book.dat"))["2025-02-01"].rows,
              (std::map<int, QString>{{1, QStringLiteral("09:00|x|")}}));
    const QByteArray imported = ReadAll(Path("book.dat"));
    for (const QByteArray& input : {QByteArray("hello\r\n"), QByteArray(""),
                                    QByteArray("\r\n\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\n")}) {
        WriteAll(Path("in.ics"), input);
        const ToolResult r = Tool({"import", "--format", "ics", Path("in.ics"), Path("book.dat")});
        EXPECT_EQ(r.exitCode, 1) << input.toStdString();
        EXPECT_TRUE(r.err.startsWith(Path("in.ics").toUtf8() + ':')) << r.err.toStdString();
        EXPECT_EQ(ReadAll(Path("book.dat")), imported);
    }
}

// Calendars as their programs write them: properties the import never reads, X-LIC-ERROR lines,
// properties a reader may not know, one value libical cannot read, a reply's event without a
// start. Each is read; --strict refuses each, as the reading did before it forgave them.
TEST_F(BookCalendarTest, CalendarsAsTheirProgramsWriteThemAreRead) {
    struct Case {
        const char* file;
        const char8_t* out;
        const char8_t* warnings; // each line after the file's name
        int strictLine;
    } cases[] = {
        // A bad date in CREATED, which the import never reads.
        {"google-export.ics", u8"2025-04-15 row 1: 10:00 歯医者\n2025-04-29 row 1: 昭和の日\n",
         u8"", 23},
        // libical's own error lines, left in the file by the program that wrote it.
        {"thunderbird.ics", u8"2025-02-12 row 1: 15:00 部内会議\n", u8"", 23},
        // Registered and not yet registered properties (RFC 9253's LINK), a new VALUE type.
        {"confluence.ics", u8"2025-03-07 row 1: 13:00 リリース判定\n", u8"", 17},
        // RDATE with a UTC mark on a date: only that line goes; the yearly rule stays.
        {"google-birthdays.ics",
         u8"2025-12-10 row 1: 鈴木 花子さんの誕生日 鈴木 花子さんの誕生日です\n",
         u8":13: warning: the line is left out: Can't parse as DATE-TIME value in RDATE "
         u8"property. Removing entire property: 20131210Z\n",
         13},
        // An iTIP reply: its first event has no DTSTART, the other one is imported.
        {"itip-reply.ics", u8"2025-03-10 row 1: 10:00 承諾: 予算の打ち合わせ\n",
         u8":5: warning: an event without DTSTART is left out\n", 5},
    };
    for (const Case& c : cases) {
        const QString ics = QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/") + c.file;
        const QStringList args = {"import", "--format",   "ics", "--from",        "2025-01-01",
                                  "--to",   "2025-12-31", ics,   Path("book.dat")};
        const ToolResult dry = Tool(QStringList(args) << "--dry-run");
        EXPECT_EQ(dry.exitCode, 0) << c.file << ": " << dry.err.toStdString();
        EXPECT_EQ(dry.out, U8(c.out)) << c.file;
        QString warnings = QString::fromUtf8(reinterpret_cast<const char*>(c.warnings));
        if (!warnings.isEmpty())
            warnings.prepend(ics);
        EXPECT_EQ(dry.err.toStdString(), warnings.toStdString()) << c.file;

        const ToolResult strict = Tool(QStringList(args) << "--strict");
        EXPECT_EQ(strict.exitCode, 1) << c.file;
        EXPECT_TRUE(
            strict.err.startsWith(QStringLiteral("%1:%2: ").arg(ics).arg(c.strictLine).toUtf8()))
            << c.file << ": " << strict.err.toStdString();
        EXPECT_TRUE(strict.out.isEmpty());
        EXPECT_FALSE(QFile::exists(Path("book.dat")));
    }
}

// An all-day event with only a place or a description, and two events at one time under one
// title in two rooms: each takes its own row, and a second import adds nothing.
TEST_F(BookCalendarTest, EveryEventTakesItsRowEvenWithoutATitleOrInAnotherRoom) {
    const QString data = QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/");
    for (const char* file : {"apple-allday.ics", "outlook-rooms.ics"}) {
        const ToolResult r = Tool({"import", "--format", "ics", "--from", "2025-04-01", "--to",
                                   "2025-05-31", data + file, Path("book.dat")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    std::map<QString, Day> days = Days(Path("book.dat"));
    using Rows = std::map<int, QString>;
    EXPECT_EQ(days["2025-04-10"].rows,
              (Rows{{1, U8(u8"||渋谷区役所")}, {2, U8(u8"||粗大ごみの受付番号 1234")}}));
    EXPECT_EQ(days["2025-05-12"].rows,
              (Rows{{1, U8(u8"10:00|会議|会議室A")}, {2, U8(u8"10:00|会議|会議室B")}}));
    const QByteArray once = ReadAll(Path("book.dat"));
    for (const char* file : {"apple-allday.ics", "outlook-rooms.ics"}) {
        const QStringList again = {"import",     "--format",   "ics",
                                   "--from",     "2025-04-01", "--to",
                                   "2025-05-31", data + file,  Path("book.dat")};
        EXPECT_TRUE(Tool(QStringList(again) << "--dry-run").out.isEmpty()) << file;
        EXPECT_EQ(Tool(again).exitCode, 0);
    }
    EXPECT_EQ(ReadAll(Path("book.dat")), once);
}

// RECURRENCE-ID;RANGE=THISANDFUTURE: the named occurrence and every later one take the
// override's title, place and length, and move as its start moved (Monday 10:00 to Tuesday
// 14:00).
TEST_F(BookCalendarTest, ThisAndFutureChangesTheOccurrenceAndEveryLaterOne) {
    const ToolResult r =
        Tool({"import", "--format", "ics", "--from", "2025-03-01", "--to", "2025-04-30",
              QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/sabredav-thisandfuture.ics"),
              Path("book.dat")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList got;
    for (const auto& [date, day] : Days(Path("book.dat"))) {
        for (const auto& [row, text] : day.rows)
            got << date + u' ' + text;
    }
    EXPECT_EQ(got, QStringList({U8(u8"2025-03-03 10:00|定例会|"), U8(u8"2025-03-10 10:00|定例会|"),
                                U8(u8"2025-03-18 14:00|定例会（火曜）|第2会議室"),
                                U8(u8"2025-03-25 14:00|定例会（火曜）|第2会議室"),
                                U8(u8"2025-04-01 14:00|定例会（火曜）|第2会議室"),
                                U8(u8"2025-04-08 14:00|定例会（火曜）|第2会議室")}));
}

// In Santiago the clock goes from 00:00 to 01:00 on 8 September 2024: an event from 23:00 to
// 01:00 lasts one hour and still ends on the 8th, and so covers it.
TEST_F(BookCalendarTest, AnEventOverADaylightSavingJumpCoversTheDayItEndsOn) {
    const ToolResult r =
        Tool({"import", "--format", "ics", "--from", "2024-09-01", "--to", "2024-09-30",
              QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/zimbra-santiago.ics"),
              Path("book.dat")},
             QStringLiteral("America/Santiago"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::map<QString, Day> days = Days(Path("book.dat"));
    using Rows = std::map<int, QString>;
    EXPECT_EQ(days["2024-09-07"].rows, (Rows{{1, U8(u8"23:00|夜間メンテナンス|サーバー室")}}));
    EXPECT_EQ(days["2024-09-08"].rows, (Rows{{1, U8(u8"00:00|夜間メンテナンス|サーバー室")}}));
    EXPECT_EQ(days.size(), 2u);
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
