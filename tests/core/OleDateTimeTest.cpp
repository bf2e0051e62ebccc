#include "platform/core/OleDateTime.h"

#include <gtest/gtest.h>

#include <QDate>

namespace {

COleDateTime Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return COleDateTime(y, mo, d, h, mi, s);
}

bool Valid(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    COleDateTime t;
    const bool ok = t.SetDateTime(y, mo, d, h, mi, s);
    EXPECT_EQ(ok, t.GetStatus() == COleDateTime::valid);
    return ok;
}

TEST(OleDateTime, FieldsMustSurviveTheRoundTrip) {
    EXPECT_FALSE(Valid(2024, 2, 30));
    EXPECT_TRUE(Valid(2024, 2, 29));
    EXPECT_FALSE(Valid(2023, 2, 29));
    EXPECT_FALSE(Valid(2023, 4, 31));
    EXPECT_FALSE(Valid(2023, 13, 1));
    EXPECT_FALSE(Valid(2023, 0, 1));
    EXPECT_FALSE(Valid(2023, 1, 0));
    EXPECT_FALSE(Valid(2023, 5, 1, 24, 0, 0));
    EXPECT_FALSE(Valid(2023, 5, 1, 23, 60, 0));
    EXPECT_FALSE(Valid(2023, 5, 1, 23, 59, 60));
    EXPECT_FALSE(Valid(2023, 5, 1, -1, 0, 0));
    EXPECT_TRUE(Valid(2023, 5, 1, 23, 59, 59));
    EXPECT_FALSE(Valid(99, 12, 31));
    EXPECT_FALSE(Valid(10000, 1, 1));
    EXPECT_TRUE(Valid(100, 1, 1));
    EXPECT_TRUE(Valid(100, 1, 1, 6, 0, 0)); // the first day is valid all day long
    EXPECT_FALSE(Valid(99, 12, 31, 23, 59, 59));
    EXPECT_TRUE(Valid(9999, 12, 31));
    EXPECT_TRUE(Valid(9999, 12, 31, 23, 59, 59));
    EXPECT_TRUE(Valid(1900, 2, 28));
    EXPECT_FALSE(Valid(1900, 2, 29)); // not a leap year: a century not divisible by 400
    EXPECT_TRUE(Valid(2000, 2, 29));

    // A failed build leaves an invalid date even where a valid one was before.
    COleDateTime t = Make(2009, 7, 7);
    EXPECT_FALSE(t.SetDateTime(2009, 2, 30, 0, 0, 0));
    EXPECT_EQ(t.GetStatus(), COleDateTime::invalid);
}

TEST(OleDateTime, KnownDayCountsAndFields) {
    EXPECT_EQ(Make(2009, 7, 7).GetValue(), 40001.0);
    EXPECT_EQ(Make(1900, 1, 1).GetValue(), 2.0);
    EXPECT_EQ(Make(1899, 12, 30).GetValue(), 0.0);
    EXPECT_EQ(Make(1899, 12, 29, 6, 0, 0).GetValue(), -1.25);
    EXPECT_EQ(Make(1899, 12, 29, 18, 0, 0).GetValue(), -1.75);
    EXPECT_EQ(Make(2009, 7, 7, 12, 0, 0).GetValue(), 40001.5);
    EXPECT_EQ(Make(100, 1, 1).GetValue(), -657434.0);
    EXPECT_EQ(Make(9999, 12, 31).GetValue(), 2958465.0);

    COleDateTime::Fields f;
    EXPECT_TRUE(Make(2009, 7, 7, 10, 30, 15).GetFields(f));
    EXPECT_EQ(f, (COleDateTime::Fields{2009, 7, 7, 10, 30, 15}));
    EXPECT_TRUE(COleDateTime(-1.25).GetFields(f));
    EXPECT_EQ(f, (COleDateTime::Fields{1899, 12, 29, 6, 0, 0}));
    EXPECT_TRUE(COleDateTime(-657434.5).GetFields(f));
    EXPECT_EQ(f, (COleDateTime::Fields{100, 1, 1, 12, 0, 0}));
    EXPECT_TRUE(COleDateTime(2958465.5).GetFields(f));
    EXPECT_EQ(f, (COleDateTime::Fields{9999, 12, 31, 12, 0, 0}));
    EXPECT_FALSE(COleDateTime(-657435.0).GetFields(f));
    EXPECT_FALSE(COleDateTime(2958466.0).GetFields(f));
    EXPECT_FALSE(COleDateTime(40001.0, COleDateTime::invalid).GetFields(f));
    EXPECT_EQ(f, (COleDateTime::Fields{-1, -1, -1, -1, -1, -1}));
    EXPECT_FALSE(COleDateTime(0.0, COleDateTime::null).GetFields(f));
}

TEST(OleDateTime, DatePartCutsTheTimeOfDay) {
    const COleDateTime morning = Make(2009, 7, 7, 10, 30, 0).DatePart();
    EXPECT_EQ(morning.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(morning.GetValue(), 40001.0);

    // Before day zero the fraction counts forward from midnight, so the day is -1, not -2.
    const COleDateTime early = COleDateTime(-1.25).DatePart();
    EXPECT_EQ(early.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(early.GetValue(), -1.0);
    EXPECT_EQ(COleDateTime(-1.75).DatePart().GetValue(), -1.0);

    EXPECT_EQ(COleDateTime(40001.0, COleDateTime::invalid).DatePart().GetStatus(),
              COleDateTime::invalid);
}

TEST(OleDateTime, Equality) {
    const COleDateTime null1(0.0, COleDateTime::null), null2(5.0, COleDateTime::null);
    const COleDateTime bad(40001.0, COleDateTime::invalid);
    EXPECT_TRUE(null1 == null2);
    EXPECT_FALSE(bad == bad);
    EXPECT_TRUE(bad != bad);
    EXPECT_FALSE(bad == COleDateTime(40001.0));
    EXPECT_FALSE(COleDateTime(40001.0) == bad);
    EXPECT_FALSE(null1 == COleDateTime(0.0));
    EXPECT_TRUE(COleDateTime(40001.5) == Make(2009, 7, 7, 12, 0, 0));
    EXPECT_FALSE(COleDateTime(40001.5) == COleDateTime(40001.0));
}

TEST(OleDateTime, LessThanFollowsTheTimeLine) {
    // 29 December 06:00 (-1.25) comes before 29 December 18:00 (-1.75).
    EXPECT_TRUE(COleDateTime(-1.25) < COleDateTime(-1.75));
    EXPECT_FALSE(COleDateTime(-1.75) < COleDateTime(-1.25));
    EXPECT_TRUE(COleDateTime(-1.75) < COleDateTime(0.0));
    EXPECT_TRUE(COleDateTime(-2.0) < COleDateTime(-1.0));
    EXPECT_TRUE(COleDateTime(-1.0) < COleDateTime(3.0));
    EXPECT_TRUE(COleDateTime(40001.0) < COleDateTime(40001.5));
    EXPECT_FALSE(COleDateTime(40001.0) < COleDateTime(40001.0));

    const COleDateTime bad(1.0, COleDateTime::invalid), null(1.0, COleDateTime::null);
    for (const COleDateTime& other : {bad, null}) {
        EXPECT_FALSE(other < COleDateTime(2.0));
        EXPECT_FALSE(COleDateTime(0.0) < other);
    }
}

TEST(OleDateTime, CurrentTimeIsLocalToday) {
    const QDate before = QDate::currentDate();
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const QDate after = QDate::currentDate();
    ASSERT_EQ(now.GetStatus(), COleDateTime::valid);
    COleDateTime::Fields f;
    now.GetFields(f);
    const QDate got(f.year, f.month, f.day);
    EXPECT_TRUE(got == before || got == after) << got.toString().toStdString();
}

} // namespace
