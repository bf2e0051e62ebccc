// The holidays of Japan where no independent list reaches: the years 1955 to 1969 and the law's
// first year, written out from the law's history, and the days where its rules changed or a
// law of its own made a rest day. Every year from 1970 to 2030 is compared with an independent
// list in the book tool's tests.

#include "document/JapaneseHolidays.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

using JapaneseHolidays::Holiday;

QStringList Lines(const std::vector<Holiday>& holidays) {
    QStringList lines;
    for (const Holiday& h : holidays)
        lines << h.date.toString(Qt::ISODate) + u' ' + h.name;
    return lines;
}

QString Name(int year, int month, int day) {
    return JapaneseHolidays::NameOf(QDate(year, month, day));
}

TEST(JapaneseHolidays, From1955To1969AsTheLawThenStood) {
    // The equinox days of those years, by the sun's longitude in Japan's time.
    struct Equinoxes {
        int year, march, september;
    };
    const Equinoxes equinoxes[] = {
        {1955, 21, 24}, {1956, 21, 23}, {1957, 21, 23}, {1958, 21, 23}, {1959, 21, 24},
        {1960, 20, 23}, {1961, 21, 23}, {1962, 21, 23}, {1963, 21, 24}, {1964, 20, 23},
        {1965, 21, 23}, {1966, 21, 23}, {1967, 21, 24}, {1968, 20, 23}, {1969, 21, 23},
    };
    for (const Equinoxes& e : equinoxes) {
        const QString y = QString::number(e.year);
        QStringList expected = {
            y + QStringLiteral("-01-01 元日"),
            y + QStringLiteral("-01-15 成人の日"),
        };
        // 建国記念の日 was first kept in 1967; 敬老の日 and 体育の日 came in 1966.
        if (e.year >= 1967)
            expected << y + QStringLiteral("-02-11 建国記念の日");
        expected << y + QStringLiteral("-03-%1 春分の日").arg(e.march);
        if (e.year == 1959)
            expected << QStringLiteral("1959-04-10 結婚の儀");
        expected << y + QStringLiteral("-04-29 天皇誕生日")
                 << y + QStringLiteral("-05-03 憲法記念日")
                 << y + QStringLiteral("-05-05 こどもの日");
        if (e.year >= 1966)
            expected << y + QStringLiteral("-09-15 敬老の日");
        expected << y + QStringLiteral("-09-%1 秋分の日").arg(e.september);
        if (e.year >= 1966)
            expected << y + QStringLiteral("-10-10 体育の日");
        expected << y + QStringLiteral("-11-03 文化の日")
                 << y + QStringLiteral("-11-23 勤労感謝の日");
        // No substitute holidays yet: a Sunday holiday (5 May 1957, 3 Nov 1963) stayed a Sunday.
        EXPECT_EQ(Lines(JapaneseHolidays::OfYear(e.year)), expected) << e.year;
    }
}

TEST(JapaneseHolidays, TheLawsFirstYearBeginsOnTheDayItCameIntoForce) {
    EXPECT_EQ(
        Lines(JapaneseHolidays::OfYear(1948)),
        (QStringList{QStringLiteral("1948-09-23 秋分の日"), QStringLiteral("1948-11-03 文化の日"),
                     QStringLiteral("1948-11-23 勤労感謝の日")}));
    EXPECT_TRUE(JapaneseHolidays::OfYear(1947).empty());
    EXPECT_EQ(Name(1949, 1, 1), QStringLiteral("元日"));
    // Beyond the formula's years nothing is made up.
    EXPECT_FALSE(JapaneseHolidays::OfYear(2150).empty());
    EXPECT_TRUE(JapaneseHolidays::OfYear(2151).empty());
    EXPECT_EQ(JapaneseHolidays::VernalEquinoxDay(2151), 0);
}

TEST(JapaneseHolidays, OneOffDaysOfTheirOwnLaws) {
    EXPECT_EQ(Name(1959, 4, 10), QStringLiteral("結婚の儀"));
    EXPECT_EQ(Name(1989, 2, 24), QStringLiteral("大喪の礼"));
    EXPECT_EQ(Name(1990, 11, 12), QStringLiteral("即位礼正殿の儀"));
    EXPECT_EQ(Name(1993, 6, 9), QStringLiteral("結婚の儀"));
    // The enthronement of 2019 counts as national holidays, so the days between them and their
    // neighbours are citizens' holidays: ten days off from 27 April.
    const auto week = JapaneseHolidays::Between(QDate(2019, 4, 27), QDate(2019, 5, 6));
    EXPECT_EQ(Lines(week),
              (QStringList{
                  QStringLiteral("2019-04-29 昭和の日"), QStringLiteral("2019-04-30 休日"),
                  QStringLiteral("2019-05-01 休日（祝日扱い）"), QStringLiteral("2019-05-02 休日"),
                  QStringLiteral("2019-05-03 憲法記念日"), QStringLiteral("2019-05-04 みどりの日"),
                  QStringLiteral("2019-05-05 こどもの日"), QStringLiteral("2019-05-06 休日")}));
    EXPECT_EQ(Name(2019, 10, 22), QStringLiteral("休日（祝日扱い）"));
    // The one-off days outside their years are ordinary days.
    EXPECT_EQ(Name(1960, 4, 10), QString());
    EXPECT_EQ(Name(2020, 10, 22), QString());
}

TEST(JapaneseHolidays, SubstituteAndCitizensHolidaysAsTheRulesChanged) {
    // Substitutes from 12 April 1973: that year's 11 February (a Sunday) had none, 29 April had.
    EXPECT_EQ(Name(1973, 2, 12), QString());
    EXPECT_EQ(Name(1973, 4, 30), QStringLiteral("休日"));
    // Citizens' holidays from the end of 1985: 4 May 1988 was the first weekday between two.
    EXPECT_EQ(Name(1985, 5, 4), QString());
    EXPECT_EQ(Name(1986, 5, 4), QString()); // a Sunday
    EXPECT_EQ(Name(1988, 5, 4), QStringLiteral("休日"));
    // Until 2006 a Sunday holiday's substitute was the Monday; from 2007 the first day after it
    // that is no holiday, so 3 May on a Sunday moves to 6 May.
    EXPECT_EQ(Name(1998, 5, 4), QStringLiteral("休日"));
    EXPECT_EQ(Name(1998, 5, 6), QString());
    EXPECT_EQ(Name(2009, 5, 6), QStringLiteral("休日"));
    EXPECT_EQ(Name(2008, 5, 6), QStringLiteral("休日")); // みどりの日 on a Sunday
    // From 2007 the day between 敬老の日 and 秋分の日.
    EXPECT_EQ(Name(2009, 9, 22), QStringLiteral("休日"));
    EXPECT_EQ(Name(2015, 9, 22), QStringLiteral("休日"));
    EXPECT_EQ(Name(2026, 9, 22), QStringLiteral("休日"));
    EXPECT_EQ(Name(2026, 9, 23), QStringLiteral("秋分の日"));
}

TEST(JapaneseHolidays, HolidaysMovedAndRenamedOverTheYears) {
    // 天皇誕生日: 29 April until 1988, 23 December 1989 to 2018, none in 2019, 23 February on.
    EXPECT_EQ(Name(1988, 4, 29), QStringLiteral("天皇誕生日"));
    EXPECT_EQ(Name(1989, 4, 29), QStringLiteral("みどりの日"));
    EXPECT_EQ(Name(2007, 4, 29), QStringLiteral("昭和の日"));
    EXPECT_EQ(Name(2007, 5, 4), QStringLiteral("みどりの日"));
    EXPECT_EQ(Name(2018, 12, 23), QStringLiteral("天皇誕生日"));
    EXPECT_EQ(Name(2019, 12, 23), QString());
    EXPECT_EQ(Name(2019, 2, 23), QString());
    EXPECT_EQ(Name(2020, 2, 23), QStringLiteral("天皇誕生日"));
    EXPECT_EQ(Name(2020, 2, 24), QStringLiteral("休日"));
    // The Monday holidays from 2000 and 2003.
    EXPECT_EQ(Name(1999, 1, 15), QStringLiteral("成人の日"));
    EXPECT_EQ(Name(2000, 1, 10), QStringLiteral("成人の日"));
    EXPECT_EQ(Name(2002, 7, 20), QStringLiteral("海の日"));
    EXPECT_EQ(Name(2003, 7, 21), QStringLiteral("海の日"));
    EXPECT_EQ(Name(2002, 9, 15), QStringLiteral("敬老の日"));
    EXPECT_EQ(Name(2003, 9, 15), QStringLiteral("敬老の日")); // the third Monday
    EXPECT_EQ(Name(2004, 9, 20), QStringLiteral("敬老の日"));
    // 体育の日 until 2019, スポーツの日 from 2020; the Olympic years moved three days.
    EXPECT_EQ(Name(1999, 10, 10), QStringLiteral("体育の日"));
    EXPECT_EQ(Name(1999, 10, 11), QStringLiteral("休日")); // 10 October was a Sunday
    EXPECT_EQ(Name(2000, 10, 9), QStringLiteral("体育の日"));
    EXPECT_EQ(Name(2000, 10, 10), QString());
    EXPECT_EQ(Name(2019, 10, 14), QStringLiteral("体育の日"));
    EXPECT_EQ(Name(2020, 10, 12), QString());
    EXPECT_EQ(Name(2020, 7, 23), QStringLiteral("海の日"));
    EXPECT_EQ(Name(2020, 7, 24), QStringLiteral("スポーツの日"));
    EXPECT_EQ(Name(2020, 8, 10), QStringLiteral("山の日"));
    EXPECT_EQ(Name(2020, 8, 11), QString());
    EXPECT_EQ(Name(2021, 7, 22), QStringLiteral("海の日"));
    EXPECT_EQ(Name(2021, 7, 23), QStringLiteral("スポーツの日"));
    EXPECT_EQ(Name(2021, 8, 8), QStringLiteral("山の日"));
    EXPECT_EQ(Name(2021, 8, 9), QStringLiteral("休日"));
    EXPECT_EQ(Name(2021, 10, 11), QString());
    EXPECT_EQ(Name(2022, 10, 10), QStringLiteral("スポーツの日"));
    EXPECT_EQ(Name(2015, 8, 11), QString());
    EXPECT_EQ(Name(2016, 8, 11), QStringLiteral("山の日"));
    EXPECT_EQ(Name(1995, 7, 20), QString());
    EXPECT_EQ(Name(1996, 7, 20), QStringLiteral("海の日"));
}

TEST(JapaneseHolidays, ARangeAcrossTheYearsEnd) {
    EXPECT_EQ(
        Lines(JapaneseHolidays::Between(QDate(2026, 12, 27), QDate(2027, 1, 16))),
        (QStringList{QStringLiteral("2027-01-01 元日"), QStringLiteral("2027-01-11 成人の日")}));
    EXPECT_TRUE(JapaneseHolidays::Between(QDate(2027, 1, 2), QDate(2027, 1, 1)).empty());
    EXPECT_TRUE(JapaneseHolidays::Between(QDate(), QDate(2027, 1, 1)).empty());
}

} // namespace
