// The book tool run as a program on real files, and its JSON and export pieces on their own.

#include "../core/CoreTestSupport.h"
#include "document/BookFile.h"
#include "platform/core/Archive.h"
#include "tools/book/BookExport.h"
#include "tools/book/BookIcal.h"
#include "tools/book/BookJson.h"

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun RunTool(const QStringList& args, const QProcessEnvironment& env = {},
                const QString& input = {}) {
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!input.isEmpty())
        p.setStandardInputFile(input);
    p.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    ToolRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray U8(const char8_t* text) {
    return QByteArray(reinterpret_cast<const char*>(text));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The book file the core's own writer makes of these days.
QByteArray BookBytes(const DayList& days) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, QString());
    BookFile::WriteDays(ar, CYoteiDay::kRows, days);
    ar.Flush();
    return buffer.data();
}

std::unique_ptr<CYoteiDay> Day(double value, quint32 status = 0) {
    auto day = std::make_unique<CYoteiDay>();
    day->m_dayDate.m_dt = value;
    day->m_dayDate.m_status = static_cast<COleDateTime::DateTimeStatus>(status);
    return day;
}

double FromBits(quint64 bits) {
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

class BookToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

TEST_F(BookToolTest, WorkedExampleDumpsExactlyAndBuildsBackByteForByte) {
    const QByteArray bytes = WorkedExampleBook();
    ASSERT_EQ(bytes.size(), 156);
    WriteAll(Path("book.dat"), bytes);

    QByteArray expected = U8(u8R"({"days":[{"status":0,"date":40001,"day":"2009-07-07",)"
                             u8R"("heading":"","headingDetail":"","rows":[)"
                             u8R"({"time":"08","plan":"会議","detail":""})");
    for (int i = 1; i < 10; ++i)
        expected += R"(,{"time":"","plan":"","detail":""})";
    expected += "],\"memo\":\"\"}]}\n";

    const ToolRun dump = RunTool({"dump", Path("book.dat")});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.out, expected);
    EXPECT_TRUE(dump.err.isEmpty());

    WriteAll(Path("book.json"), dump.out);
    const ToolRun build = RunTool({"build", Path("book.json"), Path("again.dat")});
    EXPECT_EQ(build.exitCode, 0) << build.err.toStdString();
    EXPECT_EQ(ReadAll(Path("again.dat")), bytes);

    // The short form: the day instead of the date, and defaults for everything missing.
    WriteAll(Path("short.json"),
             U8(u8R"({"days":[{"day":"2009-07-07","rows":[{"time":"08","plan":"会議"}]}]})"));
    EXPECT_EQ(RunTool({"build", Path("short.json"), Path("short.dat")}).exitCode, 0);
    EXPECT_EQ(ReadAll(Path("short.dat")), bytes);
}

TEST_F(BookToolTest, HostileValuesAndTextsSurviveDumpAndBuild) {
    DayList days;
    auto day = Day(40001.25);
    day->m_heading = QStringLiteral("定例会議, \"第3回\"; 予算\\案");
    day->m_headingDetail = QString(300, QChar(u'長')); // the two-byte length form
    day->m_times[0] = QStringLiteral("09:30");
    day->m_plans[0] = QString(QChar(0xD800)) + QStringLiteral("孤"); // lone high surrogate
    day->m_details[0] = QStringLiteral("末") + QChar(0xDC00);        // lone low surrogate
    day->m_plans[9] = QString(QChar(0xDC00)) + QChar(0xD800);        // a pair in the wrong order
    day->m_details[9] = QString::fromUtf8(U8(u8"絵文字 😀"));         // a proper pair
    day->m_dayMemo = QStringLiteral("一行目\r\n二行目\t\x01\x1f");
    days.push_back(std::move(day));
    days.push_back(Day(40002, 1));
    days.push_back(Day(40003, 2));
    days.push_back(Day(-1.25));
    days.push_back(Day(-0.0));
    days.push_back(Day(std::numeric_limits<double>::quiet_NaN()));
    days.push_back(Day(FromBits(0xFFF0000000000123ull))); // a NaN with payload and sign
    days.push_back(Day(std::numeric_limits<double>::infinity(), 0xFFFFFFFFu));
    days.push_back(Day(-std::numeric_limits<double>::infinity()));
    days.push_back(Day(std::numeric_limits<double>::denorm_min()));
    days.push_back(Day(0.1 + 0.2));
    days.push_back(Day(1e300));
    const QByteArray bytes = BookBytes(days);
    WriteAll(Path("book.dat"), bytes);

    const ToolRun dump = RunTool({"dump", Path("book.dat")});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.contains(R"("plan":"\ud800)" + U8(u8"孤")));
    EXPECT_TRUE(dump.out.contains(U8(u8"末") + R"(\udc00")"));
    EXPECT_TRUE(dump.out.contains(R"("plan":"\udc00\ud800")"));
    EXPECT_TRUE(dump.out.contains(U8(u8"絵文字 😀")));
    EXPECT_TRUE(dump.out.contains(R"(\r\n)" + U8(u8"二行目") + R"(\t\u0001\u001f")"));
    EXPECT_TRUE(dump.out.contains(R"("status":0,"date":40001.25,"day":"2009-07-07")"));
    EXPECT_TRUE(dump.out.contains(R"("status":1,"date":40002,"day":null)"));
    EXPECT_TRUE(dump.out.contains(R"("status":0,"date":-1.25,"day":"1899-12-29")"));
    EXPECT_TRUE(dump.out.contains(R"("date":"NaN","day":null)"));
    EXPECT_TRUE(dump.out.contains(R"("date":"0xfff0000000000123")"));
    EXPECT_TRUE(dump.out.contains(R"("status":4294967295,"date":"Infinity")"));
    EXPECT_TRUE(dump.out.contains(R"("date":"-Infinity")"));
    EXPECT_TRUE(dump.out.contains(R"("date":0.30000000000000004,)"));

    WriteAll(Path("book.json"), dump.out);
    const ToolRun build = RunTool({"build", Path("book.json"), Path("again.dat")});
    ASSERT_EQ(build.exitCode, 0) << build.err.toStdString();
    EXPECT_EQ(ReadAll(Path("again.dat")), bytes);
    // And the output is stable: the rebuilt book dumps to the same text.
    EXPECT_EQ(RunTool({"dump", Path("again.dat")}).out, dump.out);
}

TEST_F(BookToolTest, EmptyFileIsAnEmptyBook) {
    WriteAll(Path("empty.dat"), QByteArray());
    const ToolRun dump = RunTool({"dump", Path("empty.dat")});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.out, "{\"days\":[]}\n");
    WriteAll(Path("empty.json"), dump.out);
    EXPECT_EQ(RunTool({"build", Path("empty.json"), Path("zero.dat")}).exitCode, 0);
    EXPECT_EQ(ReadAll(Path("zero.dat")), QByteArray(4, '\0'));
}

TEST_F(BookToolTest, DamagedFilesGiveThePlannersTextsAndTheWholeDaysBeforeTheDamage) {
    DayList days;
    for (int i = 0; i < 3; ++i) {
        days.push_back(Day(40001 + i));
        days.back()->m_plans[0] = QStringLiteral("予定%1").arg(i);
    }
    const QByteArray whole = BookBytes(days);
    WriteAll(Path("cut.dat"), whole.left(whole.size() - 20));

    const ToolRun dump = RunTool({"dump", Path("cut.dat")});
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_TRUE(dump.out.isEmpty());
    EXPECT_EQ(dump.err, U8(u8"予期しないファイル形式です。\n"));

    const ToolRun salvage = RunTool({"dump", "--salvage", Path("cut.dat")});
    EXPECT_EQ(salvage.exitCode, 1);
    EXPECT_EQ(salvage.err, dump.err);
    days.pop_back();
    EXPECT_EQ(salvage.out, BookJson::Write(days));

    const ToolRun check = RunTool({"check", Path("cut.dat")});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.out.isEmpty());
    // After the planner's text, what is damaged and where.
    EXPECT_EQ(check.err, U8(u8"予期しないファイル形式です。\n"
                            u8"record 3, row 9 detail, byte 434: the file ends before the "
                            u8"string's marker and length\n"
                            u8"whole days before the damage: 2\n"));

    // A pipe is read whole first, so its damage is found and worded the same way.
    const ToolRun piped = RunTool({"dump", "--salvage", "/dev/stdin"}, {}, Path("cut.dat"));
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_EQ(piped.out, salvage.out);
    EXPECT_EQ(piped.err, dump.err);

    // A string length of 2^31 is the other text.
    QByteArray huge = QByteArray::fromHex("01000000"
                                          "00000000"
                                          "0000000000000000");
    huge += QByteArray::fromHex("FFFFFF00000080");
    WriteAll(Path("huge.dat"), huge);
    const ToolRun big = RunTool({"export", "--format", "csv", Path("huge.dat")});
    EXPECT_EQ(big.exitCode, 1);
    EXPECT_TRUE(big.out.isEmpty());
    EXPECT_EQ(big.err, U8(u8"ドキュメントを開くことに失敗しました。\n"));
    EXPECT_EQ(RunTool({"dump", "/dev/stdin"}, {}, Path("huge.dat")).err, big.err);

    // Open failures name the file as the planner does.
    const QString missing = Path("missing.dat");
    const ToolRun none = RunTool({"check", missing});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(none.err),
              missing +
                  QStringLiteral(" が見つかりませんでした。\nwhole days before the damage: 0\n"));
    const QString badPath = Path("no-such-folder/book.dat");
    EXPECT_EQ(QString::fromUtf8(RunTool({"dump", badPath}).err),
              badPath + QStringLiteral(" に正しくないパスが含まれています。\n"));
}

TEST_F(BookToolTest, CheckSummarisesOddities) {
    DayList days;
    days.push_back(Day(40003));
    days.push_back(Day(40001.5)); // out of order, with a time of day
    days.push_back(Day(40001));   // the same calendar day again
    days.push_back(Day(40005, 1));
    QByteArray bytes = BookBytes(days) + QByteArray("xyz");
    WriteAll(Path("odd.dat"), bytes);

    const ToolRun check = RunTool({"check", Path("odd.dat")});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_EQ(check.out, "days: 4\n"
                         "first date: 2009-07-07 (40001)\n"
                         "last date: 2009-07-09 (40003)\n"
                         "dates held twice: 1\n"
                         "  2009-07-07: records 2, 3\n"
                         "records out of order: 2\n"
                         "  record 2: 2009-07-07 (40001.5) after 2009-07-09 (40003)\n"
                         "  record 3: 2009-07-07 (40001) after 2009-07-07 (40001.5)\n"
                         "dates with a time of day: 1\n"
                         "  record 2: 2009-07-07 12:00:00 (40001.5)\n"
                         "records without a calendar day: 1\n"
                         "  record 4: no calendar day (status 1, value 40005)\n"
                         "trailing bytes: 3\n");

    // What no writer makes is no book: counts from 80000001 on (as the fourth byte of a Japanese
    // text or a JPEG makes them), and a count of 0 with more bytes after it.
    QByteArray negative = bytes;
    negative.replace(0, 4, QByteArray::fromHex("01000080"));
    const QByteArray foreign[] = {negative, U8(u8"予定表\n八時 会議\n"),
                                  QByteArray::fromHex("FFD8FFE000104A464946"),
                                  QByteArray::fromHex("00000000504B0304")};
    for (const QByteArray& bytes : foreign) {
        WriteAll(Path("foreign.dat"), bytes);
        const ToolRun n = RunTool({"check", Path("foreign.dat")});
        EXPECT_EQ(n.exitCode, 1) << bytes.toHex().toStdString();
        EXPECT_TRUE(n.out.isEmpty());
        EXPECT_TRUE(n.err.startsWith(U8(u8"予期しないファイル形式です。\nrecord count, byte 0: ")))
            << n.err.toStdString();
    }
}

TEST_F(BookToolTest, BuildRejectsBadInputWithLineAndColumnAndLeavesTheBookAlone) {
    WriteAll(Path("book.dat"), WorkedExampleBook());
    struct Case {
        const char* json;
        const char* where;
    } cases[] = {
        {"{\"days\":[\n  {\"date\": 1,}\n]}", ":2:14: "},            // trailing comma
        {"{\"days\":[{\"date\":01}]}", ":1:19: "},                   // leading zero
        {"{\"days\":[{\"date\":1e999}]}", ":1:18: "},                // out of range
        {"{\"days\":[{\"day\":\"2009-02-30\"}]}", ":1:17: "},        // no such day
        {"{\"days\":[{\"heading\":\"x\"}]}", ":1:10: "},             // no date at all
        {"{\"days\":[{\"date\":1,\"colour\":2}]}", ":1:29: "},       // unknown member
        {"{\"days\":[{\"date\":1,\"status\":-1}]}", ":1:29: "},      // negative status
        {"{\"days\":[{\"date\":1,\"memo\":\"\\ud8\"}]}", ":1:32: "}, // short escape
        {"{\"days\":[{\"date\":\"1\"}]}", ":1:18: "},                // a number in a string
        {"{\"days\":[]} x", ":1:13: "},
    };
    for (const Case& c : cases) {
        WriteAll(Path("bad.json"), c.json);
        const ToolRun r = RunTool({"build", Path("bad.json"), Path("book.dat")});
        EXPECT_EQ(r.exitCode, 1) << c.json;
        EXPECT_TRUE(r.err.startsWith(Path("bad.json").toUtf8() + c.where))
            << c.json << " -> " << r.err.toStdString();
        EXPECT_EQ(ReadAll(Path("book.dat")), WorkedExampleBook()) << c.json;
    }

    // More than ten rows, pointing at the eleventh.
    QByteArray rows = "{\"days\":[{\"date\":1,\"rows\":[";
    for (int i = 0; i < 11; ++i)
        rows += i ? ",{}" : "{}";
    rows += "]}]}";
    DayList days;
    BookJson::ParseError error;
    EXPECT_FALSE(BookJson::Read(rows, days, error));
    EXPECT_EQ(error.column, 58);
    EXPECT_TRUE(error.message.contains(QStringLiteral("at most 10 rows")));

    // Invalid UTF-8 and a UTF-8-encoded surrogate are refused; columns count characters.
    EXPECT_FALSE(BookJson::Read(
        U8(u8"{\"days\":[{\"date\":1,\"memo\":\"日本") + "\xED\xA0\x80\"}]}", days, error));
    EXPECT_EQ(error.column, 30);
    EXPECT_FALSE(BookJson::Read("{\"days\":[{\"date\":1,\"memo\":\"\xC0\xAF\"}]}", days, error));

    // A file the planner cannot write: its text, nothing left behind.
    WriteAll(Path("good.json"), "{\"days\":[]}");
    const QString target = Path("no-such-folder/book.dat");
    const ToolRun r = RunTool({"build", Path("good.json"), target});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(r.err),
              target + QStringLiteral(" に正しくないパスが含まれています。\n"));
}

// The tool never writes the profile; a build over a book keeps the book it replaces in the
// planner's backups folder, as the planner's own save does.
TEST_F(BookToolTest, NeverTouchesTheProfileAndBuildKeepsABackup) {
    WriteAll(Path("book.dat"), WorkedExampleBook());
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    for (const char* command : {"dump", "check"})
        EXPECT_EQ(RunTool({command, Path("book.dat")}, env).exitCode, 0);
    EXPECT_EQ(RunTool({"export", "--format=ics", Path("book.dat")}, env).exitCode, 0);
    EXPECT_TRUE(QDir(home.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());

    WriteAll(Path("empty.json"), "{\"days\":[]}");
    EXPECT_EQ(RunTool({"build", Path("empty.json"), Path("book.dat")}, env).exitCode, 0);
    EXPECT_EQ(ReadAll(Path("book.dat")).toHex(), QByteArray("00000000"));
    const QDir backups(home.filePath("data/VELKORAN/Tavrino/backups"));
    const QStringList kept = backups.entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(ReadAll(backups.filePath(kept[0])), WorkedExampleBook());
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"data"});
}

TEST_F(BookToolTest, BadUsageExitsWithTwo) {
    const QList<QStringList> bad = {{},
                                    {"frobnicate", "x"},
                                    {"dump"},
                                    {"dump", "a", "b"},
                                    {"build", "a.json"},
                                    {"export", "book.dat"},
                                    {"export", "--format", "pdf", "book.dat"},
                                    {"check", "--salvage", "book.dat"}};
    for (const QStringList& args : bad) {
        const ToolRun r = RunTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"dump FILE", "--salvage", "build JSON OUT", "check FILE",
                             "export --format ics|csv", "profile", "\"NaN\""})
        EXPECT_TRUE(help.out.contains(word)) << word;
}

// ---- Export ----

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

QString DateText(icaltimetype t) {
    return QString::asprintf("%04d-%02d-%02d%s", t.year, t.month, t.day, t.is_date ? "" : "T");
}

TEST(BookExportTest, IcsReadsBackAsTheDaysWithTheirTexts) {
    DayList days;
    auto day = Day(40025); // 31 July 2009: the event ends on 1 August
    const QString plan = QStringLiteral("打ち合わせ; 資料, 予算\\見積");
    day->m_times[2] = QStringLiteral("10");
    day->m_plans[2] = plan;
    day->m_details[2] = QString(60, QChar(u'詳')) + QStringLiteral("a😀b");
    day->m_dayMemo = QStringLiteral("メモ一行目\r\nメモ二行目\x07");
    days.push_back(std::move(day));
    days.push_back(Day(40026));    // no text: no event
    days.push_back(Day(40027, 1)); // no calendar day: no event
    days.push_back(Day(40025.5));  // the same day again: its own UID
    days.back()->m_heading = QStringLiteral("見出し");
    days.push_back(Day(2958465)); // 9999-12-31: no DATE for the day after
    days.back()->m_dayMemo = QStringLiteral("最後の日");

    const QByteArray ics =
        BookIcal::Export(days, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
    std::unique_ptr<icalcomponent, ComponentFree> cal(icalparser_parse_string(ics.constData()));
    ASSERT_TRUE(cal);
    ASSERT_EQ(icalcomponent_isa(cal.get()), ICAL_VCALENDAR_COMPONENT);
    ASSERT_EQ(icalcomponent_count_errors(cal.get()), 0);
    struct Event {
        QString uid, stamp, start, end, summary, description;
        int durationDays;
    };
    std::vector<Event> events;
    for (icalcomponent* e = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        Event ev;
        ev.uid = QString::fromUtf8(icalcomponent_get_uid(e));
        ev.stamp = QString::fromUtf8(icaltime_as_ical_string(icalcomponent_get_dtstamp(e)));
        ev.start = DateText(icalcomponent_get_dtstart(e));
        icalproperty* dtend = icalcomponent_get_first_property(e, ICAL_DTEND_PROPERTY);
        ev.end = dtend ? DateText(icalproperty_get_dtend(dtend)) : QString();
        icalproperty* duration = icalcomponent_get_first_property(e, ICAL_DURATION_PROPERTY);
        ev.durationDays = duration ? icalproperty_get_duration(duration).days : 0;
        ev.summary = QString::fromUtf8(icalcomponent_get_summary(e));
        ev.description = QString::fromUtf8(icalcomponent_get_description(e));
        events.push_back(ev);
    }
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].uid, QStringLiteral("20090731@tavrino-book"));
    EXPECT_EQ(events[1].uid, QStringLiteral("20090731-2@tavrino-book"));
    EXPECT_EQ(events[0].stamp, QStringLiteral("20200102T030405Z"));
    EXPECT_EQ(events[0].start, QStringLiteral("2009-07-31"));
    EXPECT_EQ(events[0].end, QStringLiteral("2009-08-01"));
    EXPECT_EQ(events[0].summary, plan);
    EXPECT_EQ(events[0].description, QStringLiteral("10 ") + plan + u' ' +
                                         QString(60, QChar(u'詳')) +
                                         QStringLiteral("a😀b\n\nメモ一行目\nメモ二行目"));
    EXPECT_EQ(events[1].summary, QStringLiteral("見出し"));
    EXPECT_EQ(events[2].start, QStringLiteral("9999-12-31"));
    EXPECT_TRUE(events[2].end.isEmpty());
    EXPECT_EQ(events[2].durationDays, 1);
    EXPECT_EQ(events[2].summary, QStringLiteral("最後の日"));
}

TEST(BookExportTest, IcsLinesAreShortCrlfAndNeverSplitACharacter) {
    // Texts of every length around the fold, in one-, three- and four-octet characters, so that
    // each fold position and the line end's own octets are met.
    DayList days;
    for (const QString& unit : {QStringLiteral("a"), QStringLiteral("あ"), QStringLiteral("😀")}) {
        for (int prefix = 0; prefix < 4; ++prefix) {
            for (int n = 1; n < 90; ++n) {
                days.push_back(Day(40001 + double(days.size())));
                days.back()->m_heading = QString(prefix, u'x') + unit.repeated(n);
            }
        }
    }
    const QByteArray ics = BookIcal::Export(days, QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(ics.endsWith("END:VCALENDAR\r\n"));
    QList<QByteArray> lines = ics.split('\n');
    ASSERT_TRUE(lines.takeLast().isEmpty());
    int folds = 0;
    for (const QByteArray& line : lines) {
        ASSERT_TRUE(line.endsWith('\r')) << "bare LF";
        const QByteArray body = line.chopped(1);
        ASSERT_LE(body.size(), 75);
        ASSERT_FALSE(body.contains('\r')) << "stray CR";
        // Every physical line is valid UTF-8 on its own.
        ASSERT_EQ(QString::fromUtf8(body).toUtf8(), body) << body.toStdString();
        folds += body.startsWith(' ');
    }
    EXPECT_GT(folds, 500);
    std::unique_ptr<icalcomponent, ComponentFree> cal(icalparser_parse_string(ics.constData()));
    ASSERT_TRUE(cal);
    EXPECT_EQ(icalcomponent_count_components(cal.get(), ICAL_VEVENT_COMPONENT), int(days.size()));
    EXPECT_EQ(QString::fromUtf8(icalcomponent_get_summary(
                  icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT))),
              QStringLiteral("a"));
}

TEST(BookExportTest, CsvQuotesWhatNeedsItAndSkipsEmptyRows) {
    DayList days;
    auto day = Day(40001.75);
    day->m_heading = QStringLiteral("見出し");
    day->m_times[0] = QStringLiteral("08");
    day->m_plans[0] = QStringLiteral("会議, \"重要\"");
    day->m_details[4] = QStringLiteral("二行\r\nの詳細");
    day->m_plans[9] = QString(QChar(0xD800)); // cannot be UTF-8
    day->m_dayMemo = QStringLiteral("メモ");
    days.push_back(std::move(day));
    days.push_back(Day(40002, 2));
    days.back()->m_plans[0] = QStringLiteral("見えない");

    EXPECT_EQ(BookExport::Csv(days), U8(u8"date,row,time,plan,detail\r\n"
                                        u8"2009-07-07,heading,,見出し,\r\n"
                                        u8"2009-07-07,1,08,\"会議, \"\"重要\"\"\",\r\n"
                                        u8"2009-07-07,5,,,\"二行\r\nの詳細\"\r\n"
                                        u8"2009-07-07,10,,\uFFFD,\r\n"
                                        u8"2009-07-07,memo,,メモ,\r\n"));
}

} // namespace
