// The book model's indexed answers against a walk from the head of the list, on lists that a
// file written elsewhere can hold: dates twice, out of order, with a time of day, invalid, null.

#include "document/BookModel.h"
#include "document/TavrinoDoc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

std::unique_ptr<CYoteiDay> Record(const COleDateTime& date, const QString& memo) {
    auto day = std::make_unique<CYoteiDay>();
    day->m_dayDate = date;
    day->m_dayMemo = memo;
    return day;
}

// The answers as a walk from the head gives them.
const CYoteiDay* WalkFind(const DayList& list, const COleDateTime& date) {
    const COleDateTime day = date.DatePart();
    for (const auto& stored : list) {
        if (stored->m_dayDate == day)
            return stored.get();
    }
    return nullptr;
}

CBookModel::Position WalkPosition(const DayList& list, const COleDateTime& date) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (date == list[i]->m_dayDate)
            return {CBookModel::Position::found, i};
        if (date < list[i]->m_dayDate)
            return {CBookModel::Position::insertBefore, i};
    }
    return {CBookModel::Position::append, list.size()};
}

void WalkCommit(DayList& list, const CYoteiDay& day) {
    auto copy = std::make_unique<CYoteiDay>(day);
    copy->m_dayDate = copy->m_dayDate.DatePart();
    const CBookModel::Position pos = WalkPosition(list, copy->m_dayDate);
    if (pos.kind == CBookModel::Position::found)
        list[pos.index] = std::move(copy);
    else
        list.insert(list.begin() + std::ptrdiff_t(pos.index), std::move(copy));
}

// Dates from a small pool, so that they meet: whole days, days with a time of day on either
// side of day zero (-0.75 and 0.75 are one instant), invalid, null and odd statuses, values
// that are no numbers, and -0.
COleDateTime PoolDate(std::mt19937& rng) {
    const double base = 45000;
    switch (rng() % 16) {
    case 0:
        return COleDateTime(base + rng() % 3 + 0.5);
    case 1:
        return COleDateTime(rng() % 2 ? -0.75 : 0.75);
    case 2:
        return COleDateTime(rng() % 2 ? -1.0 : -1.25);
    case 3:
        return COleDateTime(0.0, COleDateTime::invalid);
    case 4:
        return COleDateTime(base, COleDateTime::null);
    case 5:
        return COleDateTime(base + 1, COleDateTime::DateTimeStatus(7));
    case 6:
        return COleDateTime(std::numeric_limits<double>::quiet_NaN());
    case 7:
        return COleDateTime(rng() % 2 ? std::numeric_limits<double>::infinity()
                                      : -std::numeric_limits<double>::infinity());
    case 8:
        return COleDateTime(rng() % 2 ? -0.0 : 0.0);
    case 9:
        return COleDateTime(base + 1 - 1.0 / 86400 / 4); // rounds up into the next day
    default:
        return COleDateTime(base + double(rng() % 6));
    }
}

void ExpectSameAnswers(const CBookModel& book, const DayList& walk, std::mt19937& rng,
                       const std::string& where) {
    ASSERT_EQ(book.size(), walk.size()) << where;
    for (std::size_t i = 0; i < walk.size(); ++i)
        ASSERT_TRUE(*book[i] == *walk[i]) << where << " record " << i;
    for (int q = 0; q < 40; ++q) {
        const COleDateTime date = PoolDate(rng);
        const std::string what =
            where + " date " + std::to_string(date.m_dt) + "/" + std::to_string(date.m_status);
        EXPECT_EQ(book.Find(date), WalkFind(book.List(), date)) << what;
        const CBookModel::Position got = book.FindPosition(date);
        const CBookModel::Position want = WalkPosition(book.List(), date);
        EXPECT_EQ(got.kind, want.kind) << what;
        EXPECT_EQ(got.index, want.index) << what;
    }
    // A range: each calendar day's first record, and every record by day, then list order.
    const COleDateTime first(44999.0 + rng() % 3), last(first.m_dt + rng() % 6);
    std::vector<const CYoteiDay*> days;
    std::vector<std::size_t> positions;
    for (double d = first.m_dt; d <= last.m_dt; ++d) {
        if (const CYoteiDay* found = WalkFind(book.List(), COleDateTime(d)))
            days.push_back(found);
        for (std::size_t i = 0; i < walk.size(); ++i) {
            if (book[i]->m_dayDate.DatePart() == COleDateTime(d))
                positions.push_back(i);
        }
    }
    EXPECT_EQ(book.DaysBetween(first, last), days) << where;
    EXPECT_EQ(book.PositionsBetween(first, last), positions) << where;
}

TEST(BookModel, IndexedAnswersAreTheWalksOnOddListsThroughReadsAndCommits) {
    std::mt19937 rng(15);
    for (int round = 0; round < 200; ++round) {
        CBookModel book;
        DayList walk;
        // Some books are read in order, as the planner writes them; the rest are anything.
        const bool ordered = round % 3 == 0;
        const int records = int(rng() % 12);
        for (int i = 0; i < records; ++i) {
            const COleDateTime date = ordered ? COleDateTime(45000.0 + i * 2) : PoolDate(rng);
            book.push_back(Record(date, QString::number(i)));
            walk.push_back(Record(date, QString::number(i)));
        }
        const std::string where = "round " + std::to_string(round);
        ExpectSameAnswers(book, walk, rng, where);
        for (int step = 0; step < 8; ++step) {
            CYoteiDay day;
            day.m_dayDate = PoolDate(rng);
            day.m_dayMemo = QStringLiteral("step %1").arg(step);
            if (rng() % 4 == 0) {
                book.push_back(std::make_unique<CYoteiDay>(day));
                walk.push_back(std::make_unique<CYoteiDay>(day));
            } else {
                const CBookModel::Position want = WalkPosition(walk, day.m_dayDate.DatePart());
                const CBookModel::Position got = book.Commit(day);
                EXPECT_EQ(got.kind, want.kind) << where;
                EXPECT_EQ(got.index, want.index) << where;
                WalkCommit(walk, day);
            }
            ExpectSameAnswers(book, walk, rng, where + " step " + std::to_string(step));
        }
        // A list handed over whole is indexed from scratch, and handed back in its order.
        CBookModel again;
        again = DayList(std::move(book));
        EXPECT_TRUE(book.empty());
        ExpectSameAnswers(again, walk, rng, where + " again");
    }
}

TEST(BookModel, DaysOfARangeComeInDateOrderWithTheFirstRecordOfEachDay) {
    CBookModel book;
    for (double d : {45010.0, 45003.0, 45005.0, 45003.0, 45004.5, 44990.0})
        book.push_back(Record(COleDateTime(d), QString::number(book.size())));
    const auto days = book.DaysBetween(COleDateTime(45001.0), COleDateTime(45010.0));
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0]->m_dayMemo, QStringLiteral("1")); // 45003 held twice: the first
    EXPECT_EQ(days[1]->m_dayMemo, QStringLiteral("2"));
    EXPECT_EQ(days[2]->m_dayMemo, QStringLiteral("0"));
    // The time of day of the bounds does not matter; a record with one is never shown.
    EXPECT_EQ(book.DaysBetween(COleDateTime(45004.9), COleDateTime(45004.1)).size(), 0u);
    EXPECT_TRUE(
        book.DaysBetween(COleDateTime(0, COleDateTime::invalid), COleDateTime(45010.0)).empty());
}

TEST(BookModel, ACommitOfAGivenDayLeavesTheWorkingDayAloneAndMarksTheBook) {
    CTavrinoDoc doc;
    doc.ResetCurrentDay(COleDateTime(2025, 4, 1, 0, 0, 0));
    doc.SetMemo(QStringLiteral("typing"));
    CYoteiDay other;
    other.m_dayDate = COleDateTime(2025, 4, 2, 9, 30, 0);
    other.SetPlan(0, QStringLiteral("同期"));
    doc.CommitDay(other);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("typing"));
    EXPECT_EQ(doc.GetCurrentDay().m_dayDate, COleDateTime(2025, 4, 1, 0, 0, 0));
    ASSERT_EQ(doc.GetDays().size(), 1u);
    EXPECT_EQ(doc.GetDays()[0]->m_dayDate, COleDateTime(2025, 4, 2, 0, 0, 0));
    doc.SelectDay(COleDateTime(2025, 4, 2, 0, 0, 0));
    EXPECT_EQ(doc.GetPlan(0), QStringLiteral("同期"));
}

} // namespace
