// A book entry as an event and back, and the server's text patched with the book's edit.

#include "SyncToolTestSupport.h"
#include "calendar/EventText.h"
#include "calendar/SyncProperties.h"

#include <gtest/gtest.h>

namespace {

using DayEvents::Entry;
using DayEvents::Fields;
using DayEvents::Slot;

const QTimeZone kTokyo("Asia/Tokyo");
const QDate kDay(2030, 1, 15);
const QDateTime kNow(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);

Entry Make(Slot slot, const Fields& fields, int row = -1) {
    Entry e;
    e.date = kDay;
    e.slot = slot;
    e.fields = fields;
    e.row = row;
    return e;
}

EventText::Event ReadBack(const QByteArray& text) {
    return EventText::Read(text, kDay.addDays(-10), kDay.addDays(10), kTokyo, "alice");
}

TEST(SyncMapping, ClockTimesAreReadLikeAPersonWritesThem) {
    const std::map<QString, int> clock{{"9", 540},
                                       {"09", 540},
                                       {"9:30", 570},
                                       {"09:30", 570},
                                       {" 9 ", 540},
                                       {"0", 0},
                                       {"23:59", 1439},
                                       {Q8(u8"９"), 540},
                                       {Q8(u8"０９：３０"), 570},
                                       {Q8(u8"　１０:05　"), 605}};
    for (const auto& [text, minutes] : clock)
        EXPECT_EQ(SyncProperties::ClockMinutes(text), minutes) << text.toStdString();
    for (const QString& label :
         {Q8(u8"朝"), Q8(u8"①"), QString("25:00"), QString("9:5"), QString("9:300"), QString("123"),
          Q8(u8"9時"), QString(), QString(":30"), QString("12:60")})
        EXPECT_FALSE(SyncProperties::ClockMinutes(label)) << label.toStdString();
}

TEST(SyncMapping, EveryKindOfEntryComesBackFieldForField) {
    const std::vector<Entry> entries{
        Make(Slot::row, {"9", Q8(u8"会議"), Q8(u8"一行目\n二行目")}, 0),
        Make(Slot::row, {Q8(u8"１０：３０"), Q8(u8"歯医者"), {}}, 1),
        Make(Slot::row, {Q8(u8"朝"), Q8(u8"体操"), {}}, 2),
        Make(Slot::row, {Q8(u8"朝"), {}, Q8(u8"詳細だけ")}, 3),
        Make(Slot::row, {{}, {}, Q8(u8"時刻も予定もなし")}, 4),
        Make(Slot::row, {{}, Q8(u8"朝 で始まる予定"), {}}, 5),
        Make(Slot::row, {Q8(u8"朝"), Q8(u8"朝 で始まる予定"), {}}, 6),
        Make(Slot::row, {"25:00", Q8(u8"深夜"), {}}, 7),
        Make(Slot::row, {"23:30", Q8(u8"終電; 注意, \\ 記号"), {}}, 9),
        Make(Slot::heading, {{}, Q8(u8"見出し"), Q8(u8"見出しの詳細")}),
        Make(Slot::memo, {{}, Q8(u8"メモ\n\n三行目\n"), {}}),
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.fields.time.toStdString() + "|" + e.fields.plan.toStdString());
        const QByteArray text = EventText::New("uid-1@tavrino", e, kTokyo, kNow);
        const EventText::Event read = ReadBack(text);
        EXPECT_EQ(read.use, EventText::Use::placed);
        EXPECT_EQ(read.preferred, e.slot);
        EXPECT_EQ(read.rowHint, e.row);
        ASSERT_EQ(read.entries.size(), 1u);
        EXPECT_EQ(read.entries[0].date, kDay);
        EXPECT_EQ(read.entries[0].fields, e.fields);
    }
    // A clock time is a timed hour in the zone we show, with its VTIMEZONE.
    const QByteArray timed = EventText::New("uid-2@tavrino", entries[0], kTokyo, kNow);
    EXPECT_TRUE(timed.contains("DTSTART;TZID=Asia/Tokyo:20300115T090000"));
    EXPECT_TRUE(timed.contains("DTEND;TZID=Asia/Tokyo:20300115T100000"));
    EXPECT_TRUE(timed.contains("BEGIN:VTIMEZONE\r\n"));
    EXPECT_TRUE(timed.contains("\r\nTZID:Asia/Tokyo\r\n"));
    // A label goes before an all-day event's summary.
    const QByteArray labelled = EventText::New("uid-3@tavrino", entries[2], kTokyo, kNow);
    EXPECT_EQ(Property(labelled, "SUMMARY"), Q8(u8"朝 体操"));
    EXPECT_TRUE(labelled.contains("DTSTART;VALUE=DATE:20300115"));
}

// The phone's event in Berlin time, with a place, an alarm, an attendee list and categories.
const QByteArray kBerlinEvent = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\n"
                                "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
                                "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
                                "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
                                "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
                                "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\n"
                                "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
                                "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\n"
                                "END:VTIMEZONE\r\n"
                                "BEGIN:VEVENT\r\nUID:berlin@phone\r\nDTSTAMP:20291201T000000Z\r\n"
                                "DTSTART;TZID=Europe/Berlin:20300115T100000\r\n"
                                "DTEND;TZID=Europe/Berlin:20300115T113000\r\n"
                                "SUMMARY:Projekt\r\nLOCATION:Raum 3\r\nDESCRIPTION:Agenda\r\n"
                                "CATEGORIES:Arbeit\r\n"
                                "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:bald\r\n"
                                "TRIGGER:-PT15M\r\nEND:VALARM\r\n"
                                "END:VEVENT\r\nEND:VCALENDAR\r\n";

TEST(SyncMapping, APatchChangesOnlyWhatTheBookChanged) {
    const EventText::Event read = ReadBack(kBerlinEvent);
    ASSERT_EQ(read.entries.size(), 1u);
    // 10:00 in Berlin is 18:00 in Tokyo; the place is 詳細's first line.
    const Fields before{"18:00", "Projekt", Q8(u8"Raum 3\nAgenda")};
    EXPECT_EQ(read.entries[0].fields, before);

    // Later by an hour and a half, and a line added below the place.
    Entry after = read.entries[0];
    after.fields = {"19:30", "Projekt", Q8(u8"Raum 3\nAgenda\n資料")};
    QString problem;
    const QByteArray patched = EventText::Patch(kBerlinEvent, before, after, kTokyo, kNow, problem);
    ASSERT_FALSE(patched.isEmpty()) << problem.toStdString();
    EXPECT_TRUE(patched.contains("DTSTART;TZID=Europe/Berlin:20300115T113000"))
        << patched.toStdString();
    EXPECT_TRUE(patched.contains("DTEND;TZID=Europe/Berlin:20300115T130000"));
    EXPECT_EQ(Property(patched, "LOCATION"), "Raum 3");
    EXPECT_EQ(Property(patched, "DESCRIPTION"), Q8(u8"Agenda\n資料"));
    EXPECT_EQ(Property(patched, "CATEGORIES"), "Arbeit");
    EXPECT_TRUE(patched.contains("BEGIN:VALARM"));
    EXPECT_TRUE(patched.contains("TZID:Europe/Berlin\r\n"));
    EXPECT_EQ(ReadBack(patched).entries.at(0).fields, after.fields);

    // A label instead of a clock time makes it an all-day event with the label in front.
    Entry labelled = after;
    labelled.fields.time = Q8(u8"朝");
    const QByteArray allDay =
        EventText::Patch(patched, after.fields, labelled, kTokyo, kNow, problem);
    EXPECT_TRUE(allDay.contains("DTSTART;VALUE=DATE:20300115"));
    EXPECT_TRUE(allDay.contains("DTEND;VALUE=DATE:20300116"));
    EXPECT_EQ(Property(allDay, "SUMMARY"), Q8(u8"朝 Projekt"));
    EXPECT_EQ(ReadBack(allDay).entries.at(0).fields, labelled.fields);
}

TEST(SyncMapping, WhatTheBookLeavesAloneIsSaidSo) {
    auto event = [](const QString& uid, const QString& lines) {
        return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:" + uid +
                "\r\nDTSTAMP:20291201T000000Z\r\n" + lines + "END:VEVENT\r\nEND:VCALENDAR\r\n")
            .toUtf8();
    };
    EXPECT_EQ(ReadBack(event("20300115@tavrino-book", "DTSTART;VALUE=DATE:20300115\r\n")).use,
              EventText::Use::listed);
    EXPECT_EQ(ReadBack("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTODO\r\nUID:t\r\n"
                       "DTSTAMP:20291201T000000Z\r\nEND:VTODO\r\nEND:VCALENDAR\r\n")
                  .use,
              EventText::Use::ignored);
    const EventText::Event cancelled =
        ReadBack(event("c", "DTSTART;VALUE=DATE:20300115\r\nSTATUS:CANCELLED\r\n"));
    EXPECT_EQ(cancelled.use, EventText::Use::placed);
    EXPECT_TRUE(cancelled.entries.empty());
    const EventText::Event own = ReadBack(event("o", "DTSTART;VALUE=DATE:20300115\r\n"
                                                     "ORGANIZER:mailto:alice@example.org\r\n"));
    EXPECT_EQ(own.use, EventText::Use::placed);
    const EventText::Event invited = ReadBack(event("i", "DTSTART;VALUE=DATE:20300115\r\n"
                                                         "ORGANIZER:mailto:bob@example.org\r\n"));
    EXPECT_EQ(invited.use, EventText::Use::followed);
    const EventText::Event trip = ReadBack(
        event("t", "DTSTART;VALUE=DATE:20300114\r\nDTEND;VALUE=DATE:20300117\r\nSUMMARY:旅\r\n"));
    EXPECT_EQ(trip.use, EventText::Use::followed);
    EXPECT_EQ(trip.entries.size(), 3u);
    // An event without any text is not placed: the time alone would be a label, not an event.
    const EventText::Event empty =
        ReadBack(event("e", "DTSTART;TZID=Asia/Tokyo:20300115T090000\r\nDURATION:PT1H\r\n"));
    EXPECT_EQ(empty.use, EventText::Use::placed);
    EXPECT_TRUE(empty.entries.empty());
    // A night shift ending at midnight stays on its day.
    const EventText::Event night = ReadBack(event(
        "n", "DTSTART;TZID=Asia/Tokyo:20300115T220000\r\nDTEND;TZID=Asia/Tokyo:20300116T000000\r\n"
             "SUMMARY:夜勤\r\n"));
    EXPECT_EQ(night.use, EventText::Use::placed);
    EXPECT_EQ(night.entries.size(), 1u);
}

// Zones are shared between items by their whole definition, not by their name: two servers'
// zones of one TZID that differ each keep their own offsets, however often each is read.
TEST(SyncMapping, AZoneIsKnownByItsDefinitionNotItsName) {
    const auto text = [](const char* uid, const char* offset) {
        return QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//EN\r\n"
                          "BEGIN:VTIMEZONE\r\nTZID:Office\r\nBEGIN:STANDARD\r\n"
                          "DTSTART:19700101T000000\r\nTZOFFSETFROM:") +
               offset + "\r\nTZOFFSETTO:" + offset +
               "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:" + uid +
               "\r\nDTSTAMP:20300101T000000Z\r\nDTSTART;TZID=Office:20300115T090000\r\n"
               "DTEND;TZID=Office:20300115T100000\r\nSUMMARY:x\r\nEND:VEVENT\r\n"
               "END:VCALENDAR\r\n";
    };
    for (int round = 0; round < 2; ++round) {
        const EventText::Event tokyo = ReadBack(text("a", "+0900"));
        ASSERT_EQ(tokyo.entries.size(), 1u);
        EXPECT_EQ(tokyo.entries[0].fields.time, "09:00");
        const EventText::Event berlin = ReadBack(text("b", "+0100"));
        ASSERT_EQ(berlin.entries.size(), 1u);
        EXPECT_EQ(berlin.entries[0].fields.time, "17:00");
    }
}

} // namespace
