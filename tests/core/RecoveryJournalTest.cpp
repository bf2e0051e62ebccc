// The recovery journal: its framing against every kind of damage, putting its days back into a
// book, compaction, a full file system, locking between planners and its life with the book.

#include "CoreTestSupport.h"

#include "document/JournalFormat.h"
#include "document/JournalReader.h"
#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using JournalReader::Damage;

COleDateTime Date(int year, int month, int day) {
    return COleDateTime(year, month, day, 0, 0, 0);
}

CYoteiDay MakeDay(const COleDateTime& date, const QString& memo) {
    CYoteiDay day;
    day.m_dayDate = date;
    day.SetPlan(0, QStringLiteral("会議"));
    day.SetMemo(memo);
    return day;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Journals(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name);
}

class RecoveryJournalTest : public ::testing::Test {
protected:
    QString Folder() const { return RecoveryFolder::Path(m_dir.path()); }
    // A journal of book.dat that holds the given days, written by the real writer; the
    // offsets at which its records end come back in ends.
    QByteArray WriteJournal(const std::vector<CYoteiDay>& days, std::vector<qint64>* ends) {
        CRecoveryJournal journal(Folder(), [this](const QString& t) { m_reports << t; });
        for (const CYoteiDay& day : days) {
            journal.RecordDay(day, m_dir.filePath(QStringLiteral("book.dat")), {});
            if (ends->empty())
                ends->push_back(
                    JournalFormat::kFrameSize +
                    JournalFormat::HeaderPayload({m_dir.filePath("book.dat"), {}, 0}).size());
            ends->push_back(journal.FileSize());
        }
        const QByteArray bytes = ReadAll(journal.FilePath());
        journal.Discard();
        return bytes;
    }

    QTemporaryDir m_dir;
    QStringList m_reports;
};

// Cut anywhere, a journal gives back exactly its whole records, and names a torn tail.
TEST_F(RecoveryJournalTest, TornAtEveryByteKeepsEveryWholeRecord) {
    std::vector<qint64> ends;
    const QByteArray bytes = WriteJournal({MakeDay(Date(2026, 12, 1), QStringLiteral("一")),
                                           MakeDay(Date(2026, 12, 2), QStringLiteral("二")),
                                           MakeDay(Date(2026, 12, 1), QStringLiteral("一二"))},
                                          &ends);
    ASSERT_EQ(ends.back(), bytes.size());
    for (qint64 cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        const auto contents = JournalReader::Read(bytes.left(cut));
        const int whole =
            int(std::count_if(ends.begin(), ends.end(), [&](qint64 e) { return e <= cut; }));
        EXPECT_EQ(contents.wholeRecords, whole);
        EXPECT_EQ(contents.hasHeader, whole > 0);
        EXPECT_EQ(contents.days.size(), std::size_t(std::max(whole - 1, 0)));
        const bool boundary = cut == 0 || std::find(ends.begin(), ends.end(), cut) != ends.end();
        EXPECT_EQ(contents.damage, boundary ? Damage::none : Damage::tornTail);
    }
    const auto whole = JournalReader::Read(bytes);
    ASSERT_EQ(whole.days.size(), 3u);
    EXPECT_EQ(whole.days[2].GetMemo(), QStringLiteral("一二"));
    EXPECT_EQ(whole.header.bookPath, m_dir.filePath(QStringLiteral("book.dat")));
}

// A flipped bit anywhere in a record (checksum, length, kind or payload) costs that record only:
// the replay passes over it and goes on with the next whole one.
TEST_F(RecoveryJournalTest, FlippedBitInEachFieldCostsOnlyThatRecord) {
    std::vector<qint64> ends;
    const QByteArray bytes = WriteJournal({MakeDay(Date(2026, 12, 1), QStringLiteral("a")),
                                           MakeDay(Date(2026, 12, 2), QStringLiteral("b")),
                                           MakeDay(Date(2026, 12, 3), QStringLiteral("c"))},
                                          &ends);
    const qint64 begin = ends[1], end = ends[2]; // the second day's record
    for (qint64 at = begin; at < end; ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray damaged = bytes;
            damaged[at] = char(damaged[at] ^ (1 << bit));
            const auto contents = JournalReader::Read(damaged);
            SCOPED_TRACE(testing::Message() << "byte " << at - begin << " bit " << bit);
            ASSERT_EQ(contents.days.size(), 2u);
            EXPECT_EQ(contents.days[0].GetMemo(), QStringLiteral("a"));
            EXPECT_EQ(contents.days[1].GetMemo(), QStringLiteral("c"));
            EXPECT_TRUE(contents.hasHeader);
            EXPECT_EQ(contents.damageOffset, begin);
            EXPECT_TRUE(contents.IsDamaged());
            const qint64 field = at - begin;
            if (field < 4 || field >= 8)
                EXPECT_EQ(contents.damage, Damage::badChecksum); // the checksum covers the kind
            else
                EXPECT_TRUE(contents.damage == Damage::badChecksum ||
                            contents.damage == Damage::badLength)
                    << JournalReader::DamageName(contents.damage);
        }
    }
    // A flipped bit in the header keeps every day, without the book they belong to.
    for (qint64 at = 0; at < ends[0]; ++at) {
        QByteArray damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x10);
        const auto contents = JournalReader::Read(damaged);
        SCOPED_TRACE(at);
        EXPECT_FALSE(contents.hasHeader);
        EXPECT_EQ(contents.days.size(), 3u);
        EXPECT_EQ(contents.damageOffset, 0);
        EXPECT_TRUE(contents.IsDamaged());
    }
}

// Each verdict a journal can earn, with what stays readable before it.
TEST_F(RecoveryJournalTest, OtherDamageIsNamed) {
    using namespace JournalFormat;
    std::vector<qint64> ends;
    const QByteArray one = WriteJournal({MakeDay(Date(2026, 12, 1), QStringLiteral("a"))}, &ends);
    const QByteArray day = Record(kDayKind, DayPayload(MakeDay(Date(2026, 12, 5), "x")));
    const Header other{QStringLiteral("/elsewhere/other.dat"), {}, 0};
    const struct {
        const char* name;
        QByteArray bytes;
        Damage damage;
        std::size_t days;
    } cases[] = {
        {"empty journal", QByteArray(), Damage::none, 0},
        {"header of another book", one + Record(kHeaderKind, HeaderPayload(other)) + day,
         Damage::otherBook, 1},
        {"unknown kind", one + Record(Kind(7), "x") + day, Damage::unknownKind, 2},
        {"good checksum, not a day", one + Record(kDayKind, "not a day") + day, Damage::badRecord,
         2},
        {"length no record has", one + QByteArray::fromHex("00000000FFFFFFFF02"), Damage::badLength,
         1},
        {"zeros after a power cut", one + QByteArray(4096, '\0'), Damage::tornTail, 1},
        // A header after the days cannot vouch for them: they are kept without a book.
        {"day before any header", day + one, Damage::noHeader, 1},
        // Its first bytes read as a checksum and a length no record has.
        {"not a journal", QByteArray("some other file entirely"), Damage::badLength, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto contents = JournalReader::Read(c.bytes);
        EXPECT_EQ(contents.damage, c.damage) << JournalReader::DamageName(contents.damage);
        EXPECT_EQ(contents.days.size(), c.days);
    }
}

// Put back into a book, the days follow the commit rule: the last version of a date wins, new
// dates go in date order between the stored ones, other days are untouched.
TEST_F(RecoveryJournalTest, ReplayedDaysLandAsCommitsDo) {
    std::vector<qint64> ends;
    const QByteArray bytes = WriteJournal({MakeDay(Date(2026, 12, 3), QStringLiteral("早")),
                                           MakeDay(Date(2026, 12, 10), QStringLiteral("中")),
                                           MakeDay(Date(2026, 12, 3), QStringLiteral("遅"))},
                                          &ends);
    CTavrinoDoc doc;
    for (int d : {1, 3, 5, 20}) {
        doc.SelectDay(Date(2026, 12, d));
        doc.SetMemo(QStringLiteral("stored"));
        doc.CommitCurrentDay();
    }
    doc.SetModifiedFlag(false);
    for (const CYoteiDay& day : JournalReader::Read(bytes).days)
        doc.CommitDay(day);
    QStringList got;
    for (const auto& day : doc.GetDays()) {
        COleDateTime::Fields fields;
        day->m_dayDate.GetFields(fields);
        got << QStringLiteral("%1:%2").arg(fields.day).arg(day->GetMemo());
    }
    EXPECT_EQ(got, QStringList({"1:stored", "3:遅", "5:stored", "10:中", "20:stored"}));
    EXPECT_TRUE(doc.IsModified());
}

// A memo typed key by key rewrites its day at every key; compaction keeps the journal bounded
// and keeps the latest version of every day. An unchanged day is not written again.
TEST_F(RecoveryJournalTest, CompactionKeepsTheLatestVersionOfEveryDay) {
    CRecoveryJournal journal(Folder(), nullptr);
    const QString book = m_dir.filePath(QStringLiteral("book.dat"));
    QString memo(1000, QChar(u'あ'));
    for (int d = 1; d <= 5; ++d)
        journal.RecordDay(MakeDay(Date(2026, 11, d), QString::number(d)), book, {});
    const qint64 before = journal.FileSize();
    journal.RecordDay(MakeDay(Date(2026, 11, 5), QStringLiteral("5")), book, {});
    EXPECT_EQ(journal.FileSize(), before) << "an unchanged day was written again";

    qint64 largest = 0;
    for (int key = 0; key < 2000; ++key) {
        memo += QChar(u'a' + key % 26);
        journal.RecordDay(MakeDay(Date(2026, 11, 3), memo), book, {});
        if (key % 100 == 99)
            journal.Flush(); // what the timer does about once a second
        largest = std::max(largest, journal.FileSize());
    }
    journal.Flush();
    EXPECT_LT(largest, 2 * CRecoveryJournal::kCompactFloor);
    const auto contents = JournalReader::Read(ReadAll(journal.FilePath()));
    EXPECT_EQ(contents.damage, Damage::none);
    CTavrinoDoc doc;
    for (const CYoteiDay& day : contents.days)
        doc.CommitDay(day);
    ASSERT_EQ(doc.GetDays().size(), 5u);
    EXPECT_EQ(doc.GetDays()[2]->GetMemo(), memo);
    EXPECT_EQ(doc.GetDays()[4]->GetMemo(), QStringLiteral("5"));
    EXPECT_EQ(QFileInfo(journal.FilePath()).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              0);
}

// With no room left the failure is reported once, with the file-error text, and typing goes on;
// once there is room again the journal is written whole and nothing typed meanwhile is lost.
TEST_F(RecoveryJournalTest, FullFileSystemIsReportedOnceAndCaughtUpLater) {
    CRecoveryJournal journal(Folder(), [this](const QString& t) { m_reports << t; });
    const QString book = m_dir.filePath(QStringLiteral("book.dat"));
    journal.RecordDay(MakeDay(Date(2026, 10, 1), QStringLiteral("before")), book, {});
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit capped = old;
    capped.rlim_cur = rlim_t(journal.FileSize() + 100);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &capped), 0);
    QString memo;
    for (int key = 0; key < 20; ++key) {
        memo += QChar(u'x');
        journal.RecordDay(MakeDay(Date(2026, 10, 2), memo), book, {});
        journal.Flush();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_EQ(m_reports[0], QStringLiteral("%1 へのアクセス中にディスクがいっぱいになりました。")
                                .arg(journal.FilePath()));
    // What reached the file before the limit is still whole.
    EXPECT_EQ(JournalReader::Read(ReadAll(journal.FilePath())).damage, Damage::none);

    journal.RecordDay(MakeDay(Date(2026, 10, 3), QStringLiteral("after")), book, {});
    journal.Flush();
    const auto contents = JournalReader::Read(ReadAll(journal.FilePath()));
    EXPECT_EQ(contents.damage, Damage::none);
    QStringList memos;
    for (const CYoteiDay& day : contents.days)
        memos << day.GetMemo();
    memos.sort();
    EXPECT_EQ(memos, QStringList({"after", "before", memo}));
    EXPECT_EQ(m_reports.size(), 1);
}

// A live planner's journal is never offered; a dead one's is, and declining keeps the last ten.
TEST_F(RecoveryJournalTest, LiveJournalsAreNotOfferedAndDeclinedOnesAreKept) {
    const QString book = m_dir.filePath(QStringLiteral("book.dat"));
    QString path;
    {
        CRecoveryJournal live(Folder(), nullptr);
        live.RecordDay(MakeDay(Date(2026, 9, 1), QStringLiteral("live")), book, {});
        path = live.FilePath();
        EXPECT_TRUE(RecoveryFolder::Offers(Folder()).empty());
        // Its owner goes away without a normal end: the journal stays and is no longer held.
    }
    // A journal whose planner died before its first day gives nothing back and is removed.
    {
        QFile empty(QDir(Folder()).filePath(QStringLiteral("0-1.journal")));
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    }
    auto offers = RecoveryFolder::Offers(Folder());
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].path, path);
    EXPECT_EQ(offers[0].contents.days.at(0).GetMemo(), QStringLiteral("live"));
    EXPECT_EQ(Journals(Folder()), QStringList{QFileInfo(path).fileName()});
    // Held while it is being answered for.
    EXPECT_TRUE(RecoveryFolder::Offers(Folder()).empty());
    EXPECT_TRUE(RecoveryFolder::Decline(offers[0]));
    EXPECT_TRUE(Journals(Folder()).isEmpty());

    for (int n = 0; n < 12; ++n) {
        CRecoveryJournal journal(Folder(), nullptr);
        journal.RecordDay(MakeDay(Date(2026, 9, 2 + n), QString::number(n)), book, {});
        QThread::msleep(2); // names begin with the time of the first day
    }
    for (auto& offer : RecoveryFolder::Offers(Folder()))
        RecoveryFolder::Decline(offer);
    const QStringList kept = Journals(RecoveryFolder::DeclinedPath(Folder()));
    ASSERT_EQ(kept.size(), RecoveryFolder::kDeclinedKept);
    const auto newest = JournalReader::Read(
        ReadAll(QDir(RecoveryFolder::DeclinedPath(Folder())).filePath(kept.last())));
    EXPECT_EQ(newest.days.at(0).GetMemo(), QStringLiteral("11"));
}

// Damage never costs a journal: one whose header or first day is damaged is still offered with
// every whole day, and set aside in damaged/ whatever the answer, never deleted; one that holds
// nothing whole is set aside as well. A journal cut short at its end is an ordinary one.
TEST_F(RecoveryJournalTest, DamagedJournalsAreOfferedAndSetAsideNeverDeleted) {
    std::vector<qint64> ends;
    const QByteArray bytes = WriteJournal({MakeDay(Date(2026, 12, 1), QStringLiteral("a")),
                                           MakeDay(Date(2026, 12, 2), QStringLiteral("b"))},
                                          &ends);
    const auto put = [&](const QString& name, QByteArray data, qint64 flip) {
        data[flip] = char(data[flip] ^ 0x01);
        QFile file(QDir(Folder()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    };
    put(QStringLiteral("20261201-000000000-1.journal"), bytes, 20);           // the header
    put(QStringLiteral("20261202-000000000-2.journal"), bytes, ends[0] + 12); // the first day
    put(QStringLiteral("20261203-000000000-3.journal"), bytes.left(ends[1]), ends[0] + 12);
    auto offers = RecoveryFolder::Offers(Folder());
    ASSERT_EQ(offers.size(), 2u);
    EXPECT_FALSE(offers[0].contents.hasHeader);
    EXPECT_EQ(offers[0].contents.days.size(), 2u);
    EXPECT_TRUE(offers[1].contents.hasHeader);
    ASSERT_EQ(offers[1].contents.days.size(), 1u);
    EXPECT_EQ(offers[1].contents.days[0].GetMemo(), QStringLiteral("b"));
    RecoveryFolder::Remove(offers[0]);  // recovered
    RecoveryFolder::Decline(offers[1]); // declined
    EXPECT_TRUE(Journals(Folder()).isEmpty());
    EXPECT_TRUE(Journals(RecoveryFolder::DeclinedPath(Folder())).isEmpty());
    EXPECT_EQ(Journals(RecoveryFolder::DamagedPath(Folder())),
              (QStringList{QStringLiteral("20261201-000000000-1.journal"),
                           QStringLiteral("20261202-000000000-2.journal"),
                           QStringLiteral("20261203-000000000-3.journal")}));
}

// The journal begins with the first change, is gone after a save and after opening a book, and
// stays when the open fails; its header names the book as it is after a save.
TEST_F(RecoveryJournalTest, LifeWithTheBook) {
    CRecoveryJournal journal(Folder(), nullptr);
    RecordingHost host;
    CTavrinoDoc doc;
    doc.SetHost(&host);
    doc.SetJournal(&journal);
    const QString book = m_dir.filePath(QStringLiteral("book.dat"));
    EXPECT_TRUE(Journals(Folder()).isEmpty());
    doc.SetMemo(QStringLiteral("a"));
    doc.CommitCurrentDay();
    ASSERT_EQ(Journals(Folder()).size(), 1);
    EXPECT_TRUE(JournalReader::Read(ReadAll(journal.FilePath())).header.bookPath.isEmpty());

    ASSERT_TRUE(doc.DoSave(book));
    EXPECT_TRUE(Journals(Folder()).isEmpty());
    doc.SetMemo(QStringLiteral("ab"));
    doc.CommitCurrentDay();
    const auto contents = JournalReader::Read(ReadAll(journal.FilePath()));
    EXPECT_EQ(contents.header.bookPath, doc.GetPathName());
    EXPECT_TRUE(contents.header.base.exists);
    EXPECT_EQ(contents.header.base, FileIdentity::OfFile(book));

    EXPECT_FALSE(doc.OnOpenDocument(m_dir.filePath(QStringLiteral("missing.dat"))));
    EXPECT_EQ(Journals(Folder()).size(), 1);
    ASSERT_TRUE(doc.OnOpenDocument(book));
    EXPECT_TRUE(Journals(Folder()).isEmpty());
    doc.CommitCurrentDay();
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(Journals(Folder()).isEmpty());
}

// The program's own save writes on another thread while the user goes on. The file gets the book
// as it was when the save began; what the user changes meanwhile stays unsaved, flagged and in a
// journal against the file just written, so a crash right after loses none of it. The user's own
// save waits for it and is not taken for another program's change; a file another program did
// change is not written over without the question.
TEST_F(RecoveryJournalTest, ASaveInTheBackgroundKeepsWhatChangesMeanwhile) {
    int argc = 1;
    char name[] = "tavrino_core_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CRecoveryJournal journal(Folder(), nullptr);
    RecordingHost host;
    CTavrinoDoc doc;
    doc.SetHost(&host);
    doc.SetJournal(&journal);
    const QString book = m_dir.filePath(QStringLiteral("book.dat"));
    const COleDateTime mine(2026, 12, 9, 0, 0, 0), theirs(2026, 12, 1, 0, 0, 0);
    doc.SelectDay(mine);
    doc.SetMemo(QStringLiteral("a"));
    doc.CommitCurrentDay();
    ASSERT_TRUE(doc.DoSave(book));
    const auto wait = [&](const std::optional<bool>& outcome) {
        QElapsedTimer clock;
        clock.start();
        while (!outcome && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return outcome.value_or(false);
    };
    const auto memoInFile = [&](const COleDateTime& date) {
        CTavrinoDoc file;
        EXPECT_TRUE(file.OnOpenDocument(book));
        file.SelectDay(date);
        return file.GetMemo();
    };

    CYoteiDay fromServer;
    fromServer.m_dayDate = theirs;
    fromServer.SetMemo(QStringLiteral("同期"));
    doc.CommitDay(fromServer);
    std::optional<bool> first;
    doc.SaveInBackground([&](bool saved) { first = saved; });
    EXPECT_TRUE(doc.IsSavingInBackground());
    doc.SetMemo(QStringLiteral("ab"));
    doc.CommitCurrentDay();
    ASSERT_TRUE(wait(first));
    EXPECT_EQ(memoInFile(theirs), QStringLiteral("同期"));
    EXPECT_EQ(memoInFile(mine), QStringLiteral("a"));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.UnsavedDays(), std::vector<COleDateTime>{mine});
    const auto contents = JournalReader::Read(ReadAll(journal.FilePath()));
    EXPECT_EQ(contents.header.base, FileIdentity::OfFile(book));
    ASSERT_EQ(contents.days.size(), 1u);
    EXPECT_EQ(contents.days[0].GetMemo(), QStringLiteral("ab"));

    // 保存 while the program's save still writes: it waits, then writes over it unasked.
    fromServer.SetMemo(QStringLiteral("同期2"));
    doc.CommitDay(fromServer);
    std::optional<bool> second;
    doc.SaveInBackground([&](bool saved) { second = saved; });
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(second, std::optional<bool>(true));
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.UnsavedDays().empty());
    EXPECT_EQ(memoInFile(mine), QStringLiteral("ab"));
    EXPECT_EQ(memoInFile(theirs), QStringLiteral("同期2"));
    EXPECT_TRUE(Journals(Folder()).isEmpty());

    // Another program wrote the file: No at the question keeps its bytes.
    PutFile(m_dir, QStringLiteral("book.dat"), WorkedExampleBook());
    fromServer.SetMemo(QStringLiteral("同期3"));
    doc.CommitDay(fromServer);
    std::optional<bool> third;
    doc.SaveInBackground([&](bool saved) { third = saved; });
    EXPECT_FALSE(wait(third));
    EXPECT_TRUE(third.has_value());
    EXPECT_EQ(host.questions.size(), 1);
    EXPECT_EQ(ReadAll(book), WorkedExampleBook());
    EXPECT_TRUE(doc.IsDayUnsaved(theirs));
}

} // namespace
