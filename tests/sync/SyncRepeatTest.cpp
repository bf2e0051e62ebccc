// Repeating events written back: an occurrence edited in the book becomes its override on the
// server, one cleared an EXDATE of its series, and the phone sees exactly that; both sides
// changing one occurrence follow the conflict rule for that occurrence alone.

#include "SyncToolTestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>

namespace {

using Rows = std::map<int, QString>;

const QString kBerlinZone =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
    "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
    "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";

QString Compact(const QDate& d) {
    return d.toString("yyyyMMdd");
}

QString Iso(const QDate& d) {
    return d.toString(Qt::ISODate);
}

// The VEVENTs of an item's text, each as its unfolded content lines.
std::vector<QStringList> Vevents(const QByteArray& text) {
    QString unfolded = QString::fromUtf8(text);
    unfolded.replace("\r\n ", "").replace("\r\n\t", "").replace("\n ", "");
    std::vector<QStringList> events;
    bool in = false;
    for (QString line : unfolded.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == "BEGIN:VEVENT") {
            in = true;
            events.emplace_back();
        } else if (line == "END:VEVENT") {
            in = false;
        } else if (in) {
            events.back() << line;
        }
    }
    return events;
}

// The lines of a property, its parameters sorted so that a server's order does not matter.
QStringList Lines(const QStringList& event, const QString& name) {
    QStringList found;
    for (const QString& line : event) {
        if (!line.startsWith(name + ':') && !line.startsWith(name + ';'))
            continue;
        const qsizetype colon = line.indexOf(':');
        QStringList params = line.left(colon).split(';');
        params.removeFirst();
        params.sort();
        found << (QStringList{name} + params).join(';') + line.mid(colon);
    }
    return found;
}

bool IsOverride(const QStringList& event) {
    return !Lines(event, "RECURRENCE-ID").isEmpty();
}

class SyncRepeatTest : public SyncToolTest {
protected:
    void SetUp() override {
        SyncToolTest::SetUp();
        first = QDate::currentDate().addDays(7);
        while (first.dayOfWeek() != Qt::Monday)
            first = first.addDays(1);
    }

    // Weekly at 09:00 to 10:00 in Berlin from first, count times.
    QByteArray BerlinSeries(const QString& uid, int count, const QString& summary) const {
        return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n" + kBerlinZone +
                "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20250101T000000Z\r\n" +
                "DTSTART;TZID=Europe/Berlin:" + Compact(first) + "T090000\r\n" +
                "DTEND;TZID=Europe/Berlin:" + Compact(first) + "T100000\r\n" +
                QStringLiteral("RRULE:FREQ=WEEKLY;COUNT=%1\r\n").arg(count) + "SUMMARY:" + summary +
                "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
            .toUtf8();
    }
    // The k-th Berlin occurrence in Tokyo: its day and its "HH:mm".
    std::pair<QString, QString> Tokyo(int k, int berlinHour = 9) const {
        const QDateTime local =
            QDateTime(first.addDays(7 * k), QTime(berlinHour, 0), QTimeZone("Europe/Berlin"))
                .toTimeZone(QTimeZone("Asia/Tokyo"));
        return {Iso(local.date()), local.time().toString("HH:mm")};
    }
    // The k-th Berlin occurrence's start in Tokyo, where the book's own events are.
    QString TokyoStart(int k) const {
        return QDateTime(first.addDays(7 * k), QTime(9, 0), QTimeZone("Europe/Berlin"))
            .toTimeZone(QTimeZone("Asia/Tokyo"))
            .toString(Qt::ISODate);
    }
    // The k-th Berlin occurrence as the phone's expansion writes its start.
    QString BerlinStart(int k, int hour = 9) const {
        return QDateTime(first.addDays(7 * k), QTime(hour, 0), QTimeZone("Europe/Berlin"))
            .toString(Qt::ISODate);
    }
    // The item on the calendar whose text holds uid.
    QByteArray ItemOf(const QString& uid) const {
        for (const auto& [href, text] : CalendarTexts(*server, calendar)) {
            if (text.contains(("UID:" + uid).toUtf8()))
                return text;
        }
        return QByteArray();
    }
    void SetPlan(const QString& book, const QString& day, int row, const QString& plan,
                 const QString& time = QString()) {
        home.EditDay(book, day, [&](QJsonObject& o) {
            QJsonArray rows = o["rows"].toArray();
            QJsonObject r = rows[row].toObject();
            r["plan"] = plan;
            if (!time.isEmpty())
                r["time"] = time;
            rows[row] = r;
            o["rows"] = rows;
        });
    }
    void ClearRow(const QString& book, const QString& day, int row) {
        home.EditDay(book, day, [&](QJsonObject& o) {
            QJsonArray rows = o["rows"].toArray();
            rows[row] = QJsonObject();
            o["rows"] = rows;
        });
    }
    // A second sync changes nothing on either side.
    void Settled(const QString& book) {
        const QByteArray bytes = home.Read(book);
        const std::map<QString, QByteArray> etags = CalendarEtags();
        const ToolRun again = Sync(book);
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_EQ(again.out, QString());
        EXPECT_EQ(home.Read(book), bytes);
        EXPECT_EQ(CalendarEtags(), etags);
    }

    QDate first;
};

TEST_P(SyncRepeatTest, AnOccurrenceEditedAndOneClearedAreAnOverrideAndAnExdateOnThePhone) {
    MakeIt();
    // A Berlin series seen from Tokyo, and an all-day one on the Tuesdays.
    const QDate tuesday = first.addDays(1);
    PhoneOf().Add(
        BerlinSeries("weekly-berlin", 6, Q8(u8"週次")) +
        PhoneEventText("weekly-day", "DTSTART;VALUE=DATE:" + Compact(tuesday) +
                                         "\r\nDTEND;VALUE=DATE:" + Compact(tuesday.addDays(1)) +
                                         "\r\nRRULE:FREQ=WEEKLY;COUNT=6\r\n"
                                         "SUMMARY:当番\r\nDESCRIPTION:ゴミ出し\r\n"));
    ToolRun run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, BookDay> days = Days("book.dat");
    for (int k = 0; k < 6; ++k) {
        const auto [day, time] = Tokyo(k);
        EXPECT_EQ(days[day].rows, (Rows{{1, time + Q8(u8"|週次|")}})) << day.toStdString();
        EXPECT_EQ(days[Iso(tuesday.addDays(7 * k))].rows, (Rows{{1, Q8(u8"|当番|ゴミ出し")}}));
    }
    const QByteArray berlinBefore = ItemOf("weekly-berlin");
    const QStringList ruleBefore = Lines(Vevents(berlinBefore).at(0), "RRULE");

    // The book renames the second Berlin occurrence and clears the third; renames the first
    // Tuesday and clears the fourth.
    SetPlan("book.dat", Tokyo(1).first, 0, Q8(u8"週次（会議室B）"));
    ClearRow("book.dat", Tokyo(2).first, 0);
    SetPlan("book.dat", Iso(tuesday), 0, Q8(u8"当番（交代）"));
    ClearRow("book.dat", Iso(tuesday.addDays(21)), 0);
    run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "calendar: " + Iso(tuesday) +
                           Q8(u8" row 1: 当番（交代） ゴミ出し (changed)\n") +
                           "calendar: " + Tokyo(1).first + " row 1: " + Tokyo(1).second +
                           Q8(u8" 週次（会議室B） (changed)\n") + "calendar: " + Tokyo(2).first +
                           " row 1: " + Tokyo(2).second + Q8(u8" 週次 (removed)\n") + "calendar: " +
                           Iso(tuesday.addDays(21)) + Q8(u8" row 1: 当番 ゴミ出し (removed)\n"));

    // The Berlin series: its rule as it was, an EXDATE in its own zone, and one override of
    // the second occurrence at its own time, without a rule or an exception of its own.
    std::vector<QStringList> berlin = Vevents(ItemOf("weekly-berlin"));
    ASSERT_EQ(berlin.size(), 2u);
    if (IsOverride(berlin[0]))
        std::swap(berlin[0], berlin[1]);
    EXPECT_EQ(Lines(berlin[0], "RRULE"), ruleBefore);
    EXPECT_EQ(Lines(berlin[0], "EXDATE"),
              QStringList{"EXDATE;TZID=Europe/Berlin:" + Compact(first.addDays(14)) + "T090000"});
    EXPECT_EQ(Lines(berlin[0], "SUMMARY"), QStringList{Q8(u8"SUMMARY:週次")});
    EXPECT_EQ(
        Lines(berlin[1], "RECURRENCE-ID"),
        QStringList{"RECURRENCE-ID;TZID=Europe/Berlin:" + Compact(first.addDays(7)) + "T090000"});
    EXPECT_EQ(Lines(berlin[1], "DTSTART"),
              QStringList{"DTSTART;TZID=Europe/Berlin:" + Compact(first.addDays(7)) + "T090000"});
    EXPECT_EQ(Lines(berlin[1], "DTEND"),
              QStringList{"DTEND;TZID=Europe/Berlin:" + Compact(first.addDays(7)) + "T100000"});
    EXPECT_EQ(Lines(berlin[1], "SUMMARY"), QStringList{Q8(u8"SUMMARY:週次（会議室B）")});
    for (const char* name : {"RRULE", "RDATE", "EXDATE", "EXRULE"})
        EXPECT_TRUE(Lines(berlin[1], name).isEmpty()) << name;

    // The all-day series: an EXDATE that is a date, an override of the first Tuesday.
    std::vector<QStringList> daily = Vevents(ItemOf("weekly-day"));
    ASSERT_EQ(daily.size(), 2u);
    if (IsOverride(daily[0]))
        std::swap(daily[0], daily[1]);
    EXPECT_EQ(Lines(daily[0], "RRULE"), QStringList{"RRULE:FREQ=WEEKLY;COUNT=6"});
    EXPECT_EQ(Lines(daily[0], "EXDATE"),
              QStringList{"EXDATE;VALUE=DATE:" + Compact(tuesday.addDays(21))});
    EXPECT_EQ(Lines(daily[1], "RECURRENCE-ID"),
              QStringList{"RECURRENCE-ID;VALUE=DATE:" + Compact(tuesday)});
    EXPECT_EQ(Lines(daily[1], "DESCRIPTION"), QStringList{Q8(u8"DESCRIPTION:ゴミ出し")});
    for (const char* name : {"RRULE", "RDATE", "EXDATE", "EXRULE"})
        EXPECT_TRUE(Lines(daily[1], name).isEmpty()) << name;

    // What the phone shows: the edited occurrence renamed, the cleared ones gone, every later
    // one as it was.
    QStringList expected;
    for (int k = 0; k < 6; ++k) {
        if (k != 2)
            expected << BerlinStart(k) +
                            (k == 1 ? Q8(u8" 週次（会議室B） (override)") : Q8(u8" 週次"));
        if (k != 3)
            expected << Iso(tuesday.addDays(7 * k)) +
                            (k == 0 ? Q8(u8" 当番（交代） (override)") : Q8(u8" 当番"));
    }
    EXPECT_EQ(PhoneOf().Occurrences(Iso(first), Iso(first.addDays(60))), expected);
    days = Days("book.dat");
    EXPECT_FALSE(days.count(Tokyo(2).first));
    EXPECT_FALSE(days.count(Iso(tuesday.addDays(21))));
    Settled("book.dat");

    // The overridden occurrence edited again, two hours later in Tokyo: the same override moves
    // within Berlin's clock, its end with it.
    const auto [day1, time1] = Tokyo(1);
    const QString later = Tokyo(1, 11).second;
    SetPlan("book.dat", day1, 0, Q8(u8"週次（会議室B）"), later);
    run = Sync("book.dat");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    berlin = Vevents(ItemOf("weekly-berlin"));
    ASSERT_EQ(berlin.size(), 2u);
    if (IsOverride(berlin[0]))
        std::swap(berlin[0], berlin[1]);
    EXPECT_EQ(Lines(berlin[1], "DTSTART"),
              QStringList{"DTSTART;TZID=Europe/Berlin:" + Compact(first.addDays(7)) + "T110000"});
    EXPECT_EQ(Lines(berlin[1], "DTEND"),
              QStringList{"DTEND;TZID=Europe/Berlin:" + Compact(first.addDays(7)) + "T120000"});
    EXPECT_EQ(Lines(berlin[0], "RRULE"), ruleBefore);
    EXPECT_TRUE(PhoneOf()
                    .Occurrences(Iso(first), Iso(first.addDays(60)))
                    .contains(BerlinStart(1, 11) + Q8(u8" 週次（会議室B） (override)")));
    EXPECT_EQ(Days("book.dat")[day1].rows, (Rows{{1, later + Q8(u8"|週次（会議室B）|")}}));
    Settled("book.dat");
}

TEST_P(SyncRepeatTest, BothSidesChangingOneOccurrenceFollowTheConflictRuleForIt) {
    MakeIt();
    PhoneOf().Add(BerlinSeries("weekly-both", 6, Q8(u8"週次")));
    ASSERT_EQ(Sync("book.dat").exitCode, 0);

    // The phone renames occurrence 1 and leaves out 2 and 3; the book renames 1 and 2.
    PhoneOf().EditOccurrence(
        "weekly-both", Iso(first.addDays(7)),
        QJsonDocument(QJsonObject{{"SUMMARY", Q8(u8"週次（電話）")}}).toJson());
    PhoneOf().DeleteOccurrence("weekly-both", Iso(first.addDays(14)));
    PhoneOf().DeleteOccurrence("weekly-both", Iso(first.addDays(21)));
    SetPlan("book.dat", Tokyo(1).first, 0, Q8(u8"週次（本）"));
    SetPlan("book.dat", Tokyo(2).first, 0, Q8(u8"週次（本の2）"));
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count("conflict: "), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("conflict: " + Tokyo(1).first)) << run.err.toStdString();

    // Occurrence 1: the phone's version in the row, the book's beside it as a new event.
    // Occurrence 2: the book's edit beats the phone's deletion and goes up as an event of its
    // own. Occurrence 3, unchanged in the book, goes from it.
    const std::map<QString, BookDay> days = Days("book.dat");
    const QString t = Tokyo(0).second;
    EXPECT_EQ(days.at(Tokyo(1).first).rows,
              (Rows{{1, t + Q8(u8"|週次（電話）|")}, {2, t + Q8(u8"|【競合】週次（本）|")}}));
    EXPECT_EQ(days.at(Tokyo(2).first).rows, (Rows{{1, t + Q8(u8"|週次（本の2）|")}}));
    EXPECT_FALSE(days.count(Tokyo(3).first));
    for (int k : {0, 4, 5})
        EXPECT_EQ(days.at(Tokyo(k).first).rows, (Rows{{1, t + Q8(u8"|週次|")}}));
    EXPECT_EQ(PhoneOf().Occurrences(Iso(first), Iso(first.addDays(60))),
              (QStringList{BerlinStart(0) + Q8(u8" 週次"),
                           BerlinStart(1) + Q8(u8" 週次（電話） (override)"),
                           TokyoStart(1) + Q8(u8" 【競合】週次（本）"),
                           TokyoStart(2) + Q8(u8" 週次（本の2）"), BerlinStart(4) + Q8(u8" 週次"),
                           BerlinStart(5) + Q8(u8" 週次")}));
    Settled("book.dat");
}

TEST_P(SyncRepeatTest, AStateThatDoesNotNameOccurrencesIsTakenOverWithoutAChange) {
    MakeIt();
    PhoneOf().Add(BerlinSeries("weekly-old", 4, Q8(u8"週次")));
    ASSERT_EQ(Sync("book.dat").exitCode, 0);
    // The state as the first version of sync left it: entries without occurrences.
    QString stateFile;
    QDirIterator it(home.Path("data"), {"*.sqlite"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        stateFile = it.next();
    ASSERT_FALSE(stateFile.isEmpty());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old-state");
        db.setDatabaseName(stateFile);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("ALTER TABLE entries DROP COLUMN occurrence"));
        ASSERT_TRUE(q.exec("UPDATE meta SET value = '1' WHERE key = 'schema'"));
        db.close();
    }
    QSqlDatabase::removeDatabase("old-state");
    Settled("book.dat");

    // Its occurrences are named now: an edit of one goes up as its override.
    SetPlan("book.dat", Tokyo(2).first, 0, Q8(u8"週次（変更）"));
    const ToolRun run = Sync("book.dat");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::vector<QStringList> events = Vevents(ItemOf("weekly-old"));
    ASSERT_EQ(events.size(), 2u);
    if (IsOverride(events[0]))
        std::swap(events[0], events[1]);
    EXPECT_EQ(
        Lines(events[1], "RECURRENCE-ID"),
        QStringList{"RECURRENCE-ID;TZID=Europe/Berlin:" + Compact(first.addDays(14)) + "T090000"});
}

SYNC_TEST_SERVERS(SyncRepeatTest);

} // namespace
