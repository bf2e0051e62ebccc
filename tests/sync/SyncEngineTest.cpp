// The engine's decisions without a server: a pure function of the book's days, the server's
// items and the agreed state.

#include "sync/SyncEngine.h"
#include "SyncTestSupport.h"
#include "calendar/SyncProperties.h"

#include <gtest/gtest.h>

namespace {

using DayEvents::Entry;
using DayEvents::Fields;
using DayEvents::Slot;

const QDate kDay(2030, 5, 14);
const QTimeZone kTokyo("Asia/Tokyo");

Entry RowEntry(int row, const QString& time, const QString& plan, const QString& detail = {}) {
    Entry e;
    e.date = kDay;
    e.slot = Slot::row;
    e.row = row;
    e.fields = {time, plan, detail};
    return e;
}

class SyncEngineTest : public ::testing::Test {
protected:
    SyncEngineTest() {
        in.from = kDay.addDays(-30);
        in.to = kDay.addDays(30);
        in.zone = kTokyo;
        in.now = QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC);
        in.newUid = [this] { return QStringLiteral("new-%1").arg(++uids); };
        in.hrefFor = [](const QString& uid) { return "/cal/" + uid + ".ics"; };
    }

    // An item both sides agreed on: our own event for entry, on the server and in the state.
    void Agreed(const QString& uid, const Entry& entry) {
        const QString href = "/cal/" + uid + ".ics";
        SyncEngine::ServerItem item;
        item.etag = "\"" + uid.toLatin1() + "\"";
        item.text = EventText::New(uid, entry, kTokyo, in.now);
        item.event = EventText::Read(item.text, in.from, in.to, kTokyo, QString());
        in.server[href] = item;
        StateItem state;
        state.href = href;
        state.uid = uid;
        state.etag = item.etag;
        state.base = item.text;
        state.entries = {entry};
        in.state[href] = state;
    }
    // The server's item changed to entry.
    void ServerNow(const QString& uid, const Entry& entry) {
        SyncEngine::ServerItem& item = in.server["/cal/" + uid + ".ics"];
        item.etag += "2";
        item.text = EventText::New(uid, entry, kTokyo, in.now);
        item.event = EventText::Read(item.text, in.from, in.to, kTokyo, QString());
    }
    // The book's day with these rows.
    void BookRows(const std::vector<Entry>& rows) {
        CYoteiDay day;
        for (const Entry& e : rows) {
            day.m_times[e.row] = e.fields.time;
            day.m_plans[e.row] = e.fields.plan;
            day.m_details[e.row] = e.fields.detail;
        }
        in.days[kDay] = day;
    }

    SyncEngine::Input in;
    int uids = 0;
};

TEST_F(SyncEngineTest, RowsAreFoundByContentThenByPlace) {
    Agreed("a", RowEntry(0, "9", "一"));
    Agreed("b", RowEntry(1, "10", "二", "詳細"));
    Agreed("c", RowEntry(2, "11", "三"));
    Agreed("d", RowEntry(3, "12", "四"));
    // 挿入 above everything moved every row down one; then a stayed as it was, b's time
    // changed (found by plan and detail), c's plan changed (found by its place, which moved
    // with its neighbours), d stayed.
    BookRows({RowEntry(0, "8", "新"), RowEntry(1, "9", "一"), RowEntry(2, "10:30", "二", "詳細"),
              RowEntry(3, "11", "三（改）"), RowEntry(4, "12", "四")});
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_TRUE(plan.days.empty());
    EXPECT_TRUE(plan.stop.isEmpty());
    std::map<QString, SyncEngine::Upload::Kind> kinds;
    for (const SyncEngine::Upload& up : plan.uploads)
        kinds[up.record.uid] = up.kind;
    EXPECT_EQ(kinds, (std::map<QString, SyncEngine::Upload::Kind>{
                         {"new-1", SyncEngine::Upload::Kind::create},
                         {"b", SyncEngine::Upload::Kind::update},
                         {"c", SyncEngine::Upload::Kind::update}}));
    // The unchanged ones are agreed where the book has them now.
    std::map<QString, int> rows;
    for (const StateItem& item : plan.agreed)
        rows[item.uid] = item.entries.at(0).row;
    EXPECT_EQ(rows["a"], 1);
    EXPECT_EQ(rows["d"], 4);
}

TEST_F(SyncEngineTest, TheSameChangeOnBothSidesIsAgreementAndDifferentOnesConflict) {
    Agreed("same", RowEntry(0, "9", "朝会"));
    Agreed("both", RowEntry(1, "10", "打合せ"));
    ServerNow("same", RowEntry(0, "9", "朝会（延長）"));
    ServerNow("both", RowEntry(1, "10", "打合せ（電話）"));
    BookRows({RowEntry(0, "9", "朝会（延長）"), RowEntry(1, "10", "打合せ（対面）")});
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_EQ(plan.conflicts.size(), 1);
    ASSERT_EQ(plan.uploads.size(), 1u);
    EXPECT_EQ(plan.uploads[0].kind, SyncEngine::Upload::Kind::create);
    EXPECT_EQ(plan.uploads[0].record.entries.at(0).fields.plan,
              SyncProperties::kConflictMark + QStringLiteral("打合せ（対面）"));
    const CYoteiDay& day = plan.days.at(kDay);
    EXPECT_EQ(day.m_plans[1], QStringLiteral("打合せ（電話）"));
    EXPECT_EQ(day.m_plans[2], SyncProperties::kConflictMark + QStringLiteral("打合せ（対面）"));
    EXPECT_EQ(day.m_times[2], "10");
}

TEST_F(SyncEngineTest, ANewItemWhosePutGotNoAnswerIsLinkedOrSentAgain) {
    // Two PUTs were on their way when the sync was killed; the server took the first only.
    for (const QString& uid : {QStringLiteral("took"), QStringLiteral("lost")}) {
        StateItem pending;
        pending.href = "/cal/" + uid + ".ics";
        pending.uid = uid;
        pending.pending = true;
        pending.entries = {RowEntry(uid == "took" ? 0 : 1, "9", uid)};
        in.state[pending.href] = pending;
    }
    SyncEngine::ServerItem took;
    took.etag = "\"1\"";
    took.text = EventText::New("took", RowEntry(0, "9", "took"), kTokyo, in.now);
    took.event = EventText::Read(took.text, in.from, in.to, kTokyo, QString());
    in.server["/cal/took.ics"] = took;
    BookRows({RowEntry(0, "9", "took"), RowEntry(1, "9", "lost")});
    const SyncEngine::Plan plan = SyncEngine::Make(in);
    ASSERT_EQ(plan.uploads.size(), 1u);
    EXPECT_EQ(plan.uploads[0].kind, SyncEngine::Upload::Kind::create);
    EXPECT_EQ(plan.uploads[0].record.entries.at(0).fields.plan, "lost");
    EXPECT_EQ(plan.forgotten, QStringList{"/cal/lost.ics"});
    ASSERT_EQ(plan.agreed.size(), 1u);
    EXPECT_EQ(plan.agreed[0].uid, "took");
    EXPECT_FALSE(plan.agreed[0].pending);
    EXPECT_TRUE(plan.days.empty());
}

TEST_F(SyncEngineTest, MassDeletionsStopAboveHalfAndAboveTen) {
    auto removals = [this](int agreed, int kept) {
        in.state.clear();
        in.server.clear();
        in.days.clear();
        std::vector<Entry> rows;
        for (int i = 0; i < agreed; ++i) {
            Entry e = RowEntry(i % 10, "9", QStringLiteral("予定%1").arg(i));
            e.date = kDay.addDays(i / 10);
            Agreed(QStringLiteral("u%1").arg(i), e);
            if (i < kept) {
                CYoteiDay& day = in.days[e.date];
                day.m_times[e.row] = "9";
                day.m_plans[e.row] = e.fields.plan;
            }
        }
        return SyncEngine::Make(in).stop;
    };
    EXPECT_TRUE(removals(12, 2).isEmpty());   // ten removed: not more than ten
    EXPECT_FALSE(removals(12, 1).isEmpty());  // eleven of twelve
    EXPECT_TRUE(removals(30, 19).isEmpty());  // eleven of thirty: not more than half
    EXPECT_FALSE(removals(30, 14).isEmpty()); // sixteen of thirty
    EXPECT_FALSE(removals(3, 0).isEmpty());   // the book emptied
}

TEST_F(SyncEngineTest, DaysOutsideTheWindowAreNotTouched) {
    Entry outside = RowEntry(0, "9", "窓の外");
    outside.date = in.to.addDays(1);
    Agreed("out", outside);
    // Neither in the book (the day is outside) nor changed: nothing happens, and its agreed
    // entry is kept for when the window reaches it.
    in.days.clear();
    SyncEngine::Plan plan = SyncEngine::Make(in);
    EXPECT_TRUE(plan.uploads.empty());
    EXPECT_TRUE(plan.days.empty());
    EXPECT_TRUE(plan.agreed.empty());
    EXPECT_TRUE(plan.forgotten.isEmpty());
    // Changed on the server, it is recorded with its old entry still agreed for that day.
    Entry moved = outside;
    moved.fields.plan = QStringLiteral("窓の外（変更）");
    ServerNow("out", moved);
    plan = SyncEngine::Make(in);
    EXPECT_TRUE(plan.days.empty());
    ASSERT_EQ(plan.agreed.size(), 1u);
    ASSERT_EQ(plan.agreed[0].entries.size(), 1u);
    EXPECT_EQ(plan.agreed[0].entries[0].fields.plan, QStringLiteral("窓の外"));
}

} // namespace
