#include "document/TavrinoDoc.h"
#include "CoreTestSupport.h"
#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

#include <QDate>

namespace {

COleDateTime Day(int y, int mo, int d, int h = 0, int mi = 0) {
    return COleDateTime(y, mo, d, h, mi, 0);
}

// Stores a day the way a file would hand it over, date bits untouched.
void Store(CTavrinoDoc& doc, double date, const QString& memo = QString()) {
    auto day = std::make_unique<CYoteiDay>();
    day->m_dayDate = COleDateTime(date);
    day->m_dayMemo = memo;
    doc.m_days.push_back(std::move(day));
}

bool IsEmptyDay(const CYoteiDay& d) {
    CYoteiDay empty;
    empty.m_dayDate = d.m_dayDate;
    return d == empty;
}

TEST(TavrinoDoc, StartsEmptyOnTodayAtMidnight) {
    const CTavrinoDoc doc;
    EXPECT_TRUE(doc.GetDays().empty());
    EXPECT_EQ(doc.m_nRowCount, 10);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(IsEmptyDay(doc.GetCurrentDay()));
    const COleDateTime& date = doc.GetCurrentDay().m_dayDate;
    ASSERT_EQ(date.GetStatus(), COleDateTime::valid);
    COleDateTime::Fields f;
    date.GetFields(f);
    EXPECT_EQ(QDate(f.year, f.month, f.day), QDate::currentDate());
    EXPECT_EQ(date.GetValue(), date.DatePart().GetValue());
}

TEST(TavrinoDoc, WorkingDayAccessorsCheckRowsAndTouchNothingElse) {
    CTavrinoDoc doc;
    Store(doc, 40001.0, QStringLiteral("stored"));
    doc.SetHeading(QStringLiteral("見出し"));
    doc.SetHeadingDetail(QStringLiteral("詳細"));
    doc.SetMemo(QStringLiteral("メモ"));
    for (int r = 0; r < 10; ++r) {
        doc.SetTime(r, QString::number(r));
        doc.SetPlan(r, QStringLiteral("plan%1").arg(r));
        doc.SetDetail(r, QStringLiteral("detail%1").arg(r));
    }
    EXPECT_EQ(doc.GetHeading(), QStringLiteral("見出し"));
    EXPECT_EQ(doc.GetHeadingDetail(), QStringLiteral("詳細"));
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("メモ"));
    for (int r = 0; r < 10; ++r) {
        EXPECT_EQ(doc.GetTime(r), QString::number(r));
        EXPECT_EQ(doc.GetPlan(r), QStringLiteral("plan%1").arg(r));
        EXPECT_EQ(doc.GetDetail(r), QStringLiteral("detail%1").arg(r));
    }
    for (int row : {-1, 10}) {
        EXPECT_THROW(doc.GetTime(row), CInvalidArgException);
        EXPECT_THROW(doc.GetPlan(row), CInvalidArgException);
        EXPECT_THROW(doc.GetDetail(row), CInvalidArgException);
        EXPECT_THROW(doc.SetTime(row, QStringLiteral("x")), CInvalidArgException);
        EXPECT_THROW(doc.SetPlan(row, QStringLiteral("x")), CInvalidArgException);
        EXPECT_THROW(doc.SetDetail(row, QStringLiteral("x")), CInvalidArgException);
    }
    EXPECT_FALSE(doc.IsModified());
    ASSERT_EQ(doc.GetDays().size(), 1u);
    EXPECT_TRUE(doc.GetDays()[0]->m_heading.isEmpty());
    EXPECT_EQ(doc.GetDays()[0]->m_dayMemo, QStringLiteral("stored"));
}

TEST(TavrinoDoc, SelectDayCopiesTheStoredDayOrStartsAnEmptyOne) {
    CTavrinoDoc doc;
    doc.ResetCurrentDay(Day(2009, 7, 7));
    doc.SetPlan(3, QStringLiteral("会議"));
    doc.SetMemo(QStringLiteral("memo"));
    doc.CommitCurrentDay();
    doc.SetModifiedFlag(false);

    // Editing the working day after the commit must not reach the stored copy.
    doc.SetPlan(3, QStringLiteral("changed"));
    EXPECT_EQ(doc.GetDays()[0]->m_plans[3], QStringLiteral("会議"));

    doc.SelectDay(Day(2009, 7, 8, 10, 30));
    EXPECT_TRUE(IsEmptyDay(doc.GetCurrentDay()));
    EXPECT_EQ(doc.GetCurrentDay().m_dayDate.GetValue(), 40002.0);

    doc.SelectDay(Day(2009, 7, 7, 10, 30));
    EXPECT_EQ(doc.GetCurrentDay().m_dayDate.GetValue(), 40001.0);
    EXPECT_EQ(doc.GetPlan(3), QStringLiteral("会議"));
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("memo"));

    doc.ResetCurrentDay(Day(2010, 1, 1, 23, 59));
    EXPECT_TRUE(IsEmptyDay(doc.GetCurrentDay()));
    EXPECT_EQ(doc.GetCurrentDay().m_dayDate, Day(2010, 1, 1));

    EXPECT_EQ(doc.GetDays().size(), 1u);
    EXPECT_FALSE(doc.IsModified());
}

TEST(TavrinoDoc, CommitKeepsOneRecordPerDayInDateOrder) {
    CTavrinoDoc doc;
    for (int d : {5, 3, 9}) {
        doc.ResetCurrentDay(Day(2024, 5, d, 8, 0));
        doc.SetHeading(QString::number(d));
        doc.CommitCurrentDay();
    }
    EXPECT_EQ(Dates(doc),
              (std::vector<double>{Day(2024, 5, 3).GetValue(), Day(2024, 5, 5).GetValue(),
                                   Day(2024, 5, 9).GetValue()}));
    EXPECT_EQ(doc.GetDays()[0]->m_heading, QStringLiteral("3"));

    doc.SelectDay(Day(2024, 5, 5));
    doc.SetHeading(QStringLiteral("second"));
    doc.CommitCurrentDay();
    ASSERT_EQ(doc.GetDays().size(), 3u);
    EXPECT_EQ(doc.GetDays()[1]->m_heading, QStringLiteral("second"));

    // A day with nothing written on it is still stored.
    doc.ResetCurrentDay(Day(2024, 6, 1));
    doc.CommitCurrentDay();
    ASSERT_EQ(doc.GetDays().size(), 4u);
    EXPECT_TRUE(IsEmptyDay(*doc.GetDays()[3]));
}

TEST(TavrinoDoc, StoredDateWithTimeOfDayIsNeverMatched) {
    CTavrinoDoc doc;
    Store(doc, 40000.0);
    Store(doc, 40001.5, QStringLiteral("noon"));
    doc.SelectDay(COleDateTime(40001.5));
    EXPECT_TRUE(IsEmptyDay(doc.GetCurrentDay()));
    doc.SetMemo(QStringLiteral("midnight"));
    doc.CommitCurrentDay();
    EXPECT_EQ(Dates(doc), (std::vector<double>{40000.0, 40001.0, 40001.5}));
    EXPECT_EQ(doc.GetDays()[1]->m_dayMemo, QStringLiteral("midnight"));
    EXPECT_EQ(doc.GetDays()[2]->m_dayMemo, QStringLiteral("noon"));
}

TEST(TavrinoDoc, DuplicatedAndUnorderedDaysActOnTheFirstMatch) {
    CTavrinoDoc doc;
    Store(doc, 40010.0, QStringLiteral("ten"));
    Store(doc, 40005.0, QStringLiteral("first"));
    Store(doc, 40005.0, QStringLiteral("second"));
    doc.SelectDay(COleDateTime(40005.0));
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("first"));

    CTavrinoDoc dup;
    Store(dup, 40005.0, QStringLiteral("first"));
    Store(dup, 40005.0, QStringLiteral("second"));
    dup.SelectDay(COleDateTime(40005.0));
    dup.SetMemo(QStringLiteral("new"));
    dup.CommitCurrentDay();
    ASSERT_EQ(dup.GetDays().size(), 2u);
    EXPECT_EQ(dup.GetDays()[0]->m_dayMemo, QStringLiteral("new"));
    EXPECT_EQ(dup.GetDays()[1]->m_dayMemo, QStringLiteral("second"));
}

TEST(TavrinoDoc, FindDayPosition) {
    using P = CTavrinoDoc::Position;
    CTavrinoDoc doc;
    EXPECT_EQ(doc.FindDayPosition(COleDateTime(40001.0)).kind, P::append);
    Store(doc, 40001.0);
    Store(doc, 40003.0);
    const P found = doc.FindDayPosition(COleDateTime(40003.0));
    EXPECT_EQ(found.kind, P::found);
    EXPECT_EQ(found.index, 1u);
    const P before = doc.FindDayPosition(COleDateTime(40002.0));
    EXPECT_EQ(before.kind, P::insertBefore);
    EXPECT_EQ(before.index, 1u);
    EXPECT_EQ(doc.FindDayPosition(COleDateTime(40000.0)).index, 0u);
    EXPECT_EQ(doc.FindDayPosition(COleDateTime(40004.0)).kind, P::append);
}

TEST(TavrinoDoc, ModifiedFlagIsSetByCommitAndClearedByNewDocument) {
    CTavrinoDoc doc;
    doc.CommitCurrentDay();
    EXPECT_TRUE(doc.IsModified());
    doc.SelectDay(Day(2001, 1, 1));
    doc.ResetCurrentDay(Day(2001, 1, 2));
    doc.SetMemo(QStringLiteral("x"));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.GetDays().empty());
}

} // namespace

namespace {

// What has not been saved is judged by the texts: a change, then its undoing, leaves nothing
// unsaved although the flag stays set; a save or a read settles every day; a day the file did not
// hold is unsaved once it holds text.
TEST(TavrinoDoc, UnsavedDaysAreJudgedByTheirTexts) {
    QTemporaryDir dir;
    RecordingHost host;
    CTavrinoDoc doc;
    doc.SetHost(&host);
    const QString path = PutFile(dir, QStringLiteral("book.dat"), WorkedExampleBook());
    ASSERT_TRUE(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    const COleDateTime held(2009, 7, 7, 0, 0, 0), fresh(2009, 7, 8, 0, 0, 0);
    EXPECT_TRUE(doc.UnsavedDays().empty());

    doc.SelectDay(held);
    doc.CommitCurrentDay(); // a cancelled command: stored unchanged
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.IsDayUnsaved(held));
    doc.SetPlan(0, QStringLiteral("会議室へ"));
    doc.CommitCurrentDay();
    EXPECT_TRUE(doc.IsDayUnsaved(held));
    doc.SetPlan(0, QStringLiteral("会議"));
    doc.CommitCurrentDay();
    EXPECT_FALSE(doc.IsDayUnsaved(held));

    doc.SelectDay(fresh);
    doc.CommitCurrentDay(); // an empty record where none was is no change of content
    EXPECT_FALSE(doc.IsDayUnsaved(fresh));
    doc.SetMemo(QStringLiteral("牛乳"));
    doc.CommitCurrentDay();
    EXPECT_EQ(doc.UnsavedDays(), std::vector<COleDateTime>{fresh});
    // A day committed from elsewhere (recovery, sync) counts the same way.
    CYoteiDay other;
    other.m_dayDate = held;
    other.SetMemo(QStringLiteral("同期"));
    doc.CommitDay(other);
    EXPECT_EQ(doc.UnsavedDays(), (std::vector<COleDateTime>{held, fresh}));

    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_TRUE(doc.UnsavedDays().empty());
    doc.SelectDay(fresh);
    doc.SetMemo(QString());
    doc.CommitCurrentDay();
    EXPECT_TRUE(doc.IsDayUnsaved(fresh));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_TRUE(doc.UnsavedDays().empty());
}

} // namespace
