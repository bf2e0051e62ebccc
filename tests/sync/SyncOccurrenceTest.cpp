// The occurrences of a repeating event written back without a server: an override or an EXDATE
// in the form the series writes its start, and every change of one series in one write.

#include "SyncTestSupport.h"
#include "calendar/SyncProperties.h"
#include "sync/SyncEngine.h"

#include <gtest/gtest.h>

namespace {

using DayEvents::Entry;
using DayEvents::Fields;

const QTimeZone kTokyo("Asia/Tokyo");
const QDate kFrom(2030, 1, 1);
const QDate kTo(2030, 2, 28);
const QDateTime kNow(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);

QByteArray Calendar(const QString& events) {
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n" + events + "END:VCALENDAR\r\n")
        .toUtf8();
}

QByteArray Series(const QString& uid, const QString& lines) {
    return Calendar("BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20291201T000000Z\r\n" + lines +
                    "END:VEVENT\r\n");
}

EventText::Event Read(const QByteArray& text) {
    return EventText::Read(text, kFrom, kTo, kTokyo, "alice");
}

// The entry of the occurrence on date.
Entry On(const EventText::Event& event, const QDate& date) {
    for (const Entry& e : event.entries) {
        if (e.date == date)
            return e;
    }
    ADD_FAILURE() << "no occurrence on " << date.toString(Qt::ISODate).toStdString();
    return Entry();
}

// The unfolded lines of the text that start with name (followed by ':' or ';').
QStringList LinesOf(const QByteArray& text, const QString& name) {
    QString unfolded = QString::fromUtf8(text);
    unfolded.replace("\r\n ", "");
    QStringList found;
    for (const QString& line : unfolded.split("\r\n")) {
        if (line.startsWith(name + ':') || line.startsWith(name + ';'))
            found << line;
    }
    return found;
}

// Edits the occurrence on one date and clears the one on another.
QByteArray EditAndClear(const QByteArray& text, const QDate& edited, const QDate& cleared,
                        const QString& plan) {
    const EventText::Event event = Read(text);
    std::vector<EventText::OccurrenceChange> changes;
    Entry after = On(event, edited);
    after.fields.plan = plan;
    changes.push_back({after.occurrence, On(event, edited).fields, after});
    changes.push_back({On(event, cleared).occurrence, On(event, cleared).fields, std::nullopt});
    QString problem;
    const QByteArray patched = EventText::PatchOccurrences(text, changes, kTokyo, kNow, problem);
    EXPECT_FALSE(patched.isEmpty()) << problem.toStdString();
    return patched;
}

TEST(SyncOccurrence, AnOccurrenceIsWrittenAsItsSeriesWritesItsStart) {
    struct Case {
        QString start;      // the series' DTSTART and DTEND lines
        QString occurrence; // how the third occurrence's start is written
        QDate day;          // its day in Tokyo
    };
    const std::vector<Case> cases{
        {"DTSTART:20300114T230000Z\r\nDTEND:20300115T000000Z\r\n", ":20300116T230000Z",
         QDate(2030, 1, 17)},
        {"DTSTART:20300115T090000\r\nDTEND:20300115T100000\r\n", ":20300117T090000",
         QDate(2030, 1, 17)},
        {"DTSTART;TZID=America/New_York:20300115T090000\r\n"
         "DTEND;TZID=America/New_York:20300115T100000\r\n",
         ";TZID=America/New_York:20300117T090000", QDate(2030, 1, 17)},
        {"DTSTART;VALUE=DATE:20300115\r\nDTEND;VALUE=DATE:20300116\r\n", ";VALUE=DATE:20300117",
         QDate(2030, 1, 17)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.toStdString());
        const QByteArray text =
            Series("s", c.start + "RRULE:FREQ=DAILY;COUNT=5\r\nSUMMARY:朝会\r\nCATEGORIES:仕事\r\n"
                                  "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
                                  "TRIGGER:-PT5M\r\nEND:VALARM\r\n");
        const QByteArray patched =
            EditAndClear(text, c.day.addDays(-1), c.day, QString::fromUtf8("朝会（延長）"));
        // The third occurrence leaves the series; the second is its override, at its own start
        // with the series' length, its other properties copied, no rule of its own.
        EXPECT_EQ(LinesOf(patched, "EXDATE"), QStringList{"EXDATE" + c.occurrence});
        EXPECT_EQ(LinesOf(patched, "RRULE"), QStringList{"RRULE:FREQ=DAILY;COUNT=5"});
        QString second = c.occurrence;
        second.replace("0117", "0116").replace("0116T23", "0115T23");
        EXPECT_EQ(LinesOf(patched, "RECURRENCE-ID"), QStringList{"RECURRENCE-ID" + second});
        EXPECT_EQ(LinesOf(patched, "CATEGORIES").size(), 2);
        EXPECT_EQ(patched.count("BEGIN:VALARM"), 2);
        EXPECT_EQ(LinesOf(patched, "SUMMARY"),
                  (QStringList{QString::fromUtf8("SUMMARY:朝会"),
                               QString::fromUtf8("SUMMARY:朝会（延長）")}));

        // Read back: the edit in place, the cleared one gone and named as left out, the rest
        // as they were.
        const EventText::Event back = Read(patched);
        ASSERT_EQ(back.entries.size(), 4u);
        EXPECT_EQ(On(back, c.day.addDays(-1)).fields.plan, QString::fromUtf8("朝会（延長）"));
        EXPECT_EQ(On(back, c.day.addDays(1)).fields.plan, QString::fromUtf8("朝会"));
        EXPECT_EQ(back.removed.size(), 1u);
        EXPECT_TRUE(back.fixed.empty());
    }
}

TEST(SyncOccurrence, AMovedOccurrenceClearedLeavesTheSeriesByItsOriginalStart) {
    // The phone moved the second occurrence a day later; the book clears it there.
    const QByteArray text = Calendar(
        "BEGIN:VEVENT\r\nUID:m\r\nDTSTAMP:20291201T000000Z\r\n"
        "DTSTART;TZID=Asia/Tokyo:20300115T100000\r\nDURATION:PT1H\r\n"
        "RRULE:FREQ=WEEKLY;COUNT=3\r\nSUMMARY:定例\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:m\r\nDTSTAMP:20291201T000000Z\r\n"
        "RECURRENCE-ID;TZID=Asia/Tokyo:20300122T100000\r\n"
        "DTSTART;TZID=Asia/Tokyo:20300123T100000\r\nDURATION:PT1H\r\nSUMMARY:定例（移動）\r\n"
        "END:VEVENT\r\n");
    const EventText::Event event = Read(text);
    const Entry moved = On(event, QDate(2030, 1, 23));
    EXPECT_EQ(moved.fields.plan, QString::fromUtf8("定例（移動）"));
    QString problem;
    const QByteArray patched = EventText::PatchOccurrences(
        text, {{moved.occurrence, moved.fields, std::nullopt}}, kTokyo, kNow, problem);
    EXPECT_EQ(patched.count("BEGIN:VEVENT"), 1) << patched.toStdString();
    EXPECT_EQ(LinesOf(patched, "EXDATE"), QStringList{"EXDATE;TZID=Asia/Tokyo:20300122T100000"});
    const EventText::Event back = Read(patched);
    EXPECT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries.at(1).date, QDate(2030, 1, 29));
}

class SyncOccurrenceEngine : public ::testing::Test {
protected:
    SyncOccurrenceEngine() {
        in.from = kFrom;
        in.to = kTo;
        in.zone = kTokyo;
        in.now = kNow;
        in.newUid = [this] { return QStringLiteral("new-%1").arg(++uids); };
        in.hrefFor = [](const QString& uid) { return "/cal/" + uid + ".ics"; };
    }

    // A series on the server, agreed with the book: each occurrence in row 0 of its day.
    void Agreed(const QString& uid, const QByteArray& text) {
        const QString href = "/cal/" + uid + ".ics";
        SyncEngine::ServerItem item;
        item.etag = "\"1\"";
        item.text = text;
        item.event = Read(text);
        StateItem state;
        state.href = href;
        state.uid = uid;
        state.etag = item.etag;
        state.base = text;
        for (Entry e : item.event.entries) {
            e.row = 0;
            state.entries.push_back(e);
            CYoteiDay& day = in.days[e.date];
            day.m_times[0] = SyncProperties::ToBookText(e.fields.time);
            day.m_plans[0] = SyncProperties::ToBookText(e.fields.plan);
            day.m_details[0] = SyncProperties::ToBookText(e.fields.detail);
        }
        in.server[href] = item;
        in.state[href] = state;
    }

    SyncEngine::Input in;
    int uids = 0;
};

TEST_F(SyncOccurrenceEngine, TheBooksEditsOfOneSeriesGoUpInOneWrite) {
    Agreed("daily", Series("daily", "DTSTART;TZID=Asia/Tokyo:20300115T090000\r\nDURATION:PT1H\r\n"
                                    "RRULE:FREQ=DAILY;COUNT=5\r\nSUMMARY:朝会\r\n"));
    in.days[QDate(2030, 1, 15)].m_plans[0] = QString::fromUtf8("朝会（一）");
    in.days[QDate(2030, 1, 17)].m_plans[0] = QString::fromUtf8("朝会（三）");
    in.days[QDate(2030, 1, 18)] = CYoteiDay();
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_TRUE(plan.stop.isEmpty()) << plan.stop.toStdString();
    EXPECT_TRUE(plan.days.empty());
    ASSERT_EQ(plan.uploads.size(), 1u);
    const SyncEngine::Upload& up = plan.uploads[0];
    EXPECT_EQ(up.kind, SyncEngine::Upload::Kind::update);
    EXPECT_EQ(up.body.count("RECURRENCE-ID"), 2);
    EXPECT_EQ(LinesOf(up.body, "EXDATE"), QStringList{"EXDATE;TZID=Asia/Tokyo:20300118T090000"});
    // Once the server has it, the state holds the four occurrences left, each named.
    ASSERT_EQ(up.record.entries.size(), 4u);
    for (const Entry& e : up.record.entries)
        EXPECT_FALSE(e.occurrence.isEmpty());
    EXPECT_EQ(plan.serverChanges.size(), 3);
}

TEST_F(SyncOccurrenceEngine, WhatCannotBeOneOccurrencesEditIsNotSent) {
    // Two days each: the book's edit of one day cannot be the occurrence's edit.
    Agreed("long", Series("long", "DTSTART;VALUE=DATE:20300115\r\nDTEND;VALUE=DATE:20300117\r\n"
                                  "RRULE:FREQ=WEEKLY;COUNT=2\r\nSUMMARY:合宿\r\n"));
    in.days[QDate(2030, 1, 16)].m_plans[0] = QString::fromUtf8("合宿（二日目）");
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_TRUE(plan.uploads.empty());
    ASSERT_EQ(plan.notSent.size(), 1);
    EXPECT_TRUE(plan.notSent[0].contains("an occurrence over several days"))
        << plan.notSent[0].toStdString();
}

TEST_F(SyncOccurrenceEngine, ABookEmptiedDoesNotTakeEveryOccurrenceOutOfItsSeries) {
    Agreed("daily", Series("daily", "DTSTART;VALUE=DATE:20300115\r\n"
                                    "RRULE:FREQ=DAILY;COUNT=20\r\nSUMMARY:日課\r\n"));
    for (auto& [date, day] : in.days)
        day = CYoteiDay();
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_FALSE(plan.stop.isEmpty());
}

} // namespace
