// Every way a save could lose a version, made real: another planner at the same moment, a change
// within one tick of a coarse clock, a full disk half way through a write in place, a backup
// that cannot be kept, a folder that cannot be synced, a disk that stores nothing, a rename that
// fails. Faults come through the file-system seam or a limit on the file size, never through
// permissions (the tests may run as root, where permissions refuse nothing).

#include "CoreTestSupport.h"

#include "platform/core/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Call = FaultyFileSystem::Call;

const QString kDiskFull = QStringLiteral(" へのアクセス中にディスクがいっぱいになりました。");
const QString kHardIO =
    QStringLiteral(" へのアクセス中にハードウェア I/O エラーが報告されました。");

QByteArray Slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir(QStringLiteral("docs"));
        host.docs = dir.filePath(QStringLiteral("docs"));
        host.fs = &fs;
        doc.SetHost(&host);
    }

    QString Put(const QString& name, const QByteArray& data) { return PutFile(dir, name, data); }
    QString Backups() const { return host.dataDir.filePath(QStringLiteral("backups")); }
    QStringList BackupFiles() const {
        return QDir(Backups()).entryList(QDir::Files | QDir::Hidden);
    }
    QStringList Entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // The book of one day whose memo is given.
    static QByteArray Book(double date, const QString& memo) {
        return Bytes().u32(1).record(date, memo);
    }
    void Change(double date, const QString& memo) {
        doc.ResetCurrentDay(COleDateTime(date));
        doc.SetMemo(memo);
        doc.CommitCurrentDay();
    }

    QTemporaryDir dir;
    FaultyFileSystem fs;
    RecordingHost host;
    CTavrinoDoc doc;
};

// Two planners saving untitled books at the same moment each keep theirs: the second finds the
// name taken at the very last step and takes the next one. Where the file system can neither
// rename without replacing nor link (FAT), an empty file made exclusively claims the name.
TEST_F(SafeWriteTest, AnUntitledBookNeverReplacesOneSavedAtTheSameMoment) {
    const QString first = QDir(host.docs).filePath(QStringLiteral("無題.dat"));
    const QByteArray other = Book(40009.0, QStringLiteral("the other planner's"));
    for (bool fat : {false, true}) {
        SCOPED_TRACE(fat ? "FAT" : "ext4");
        for (const QString& name : Entries(host.docs))
            QFile::remove(QDir(host.docs).filePath(name));
        fs.Clear();
        if (fat) {
            fs.Fail(Call::renameNoReplace, EINVAL, QString(), 0);
            fs.Fail(Call::link, EPERM, QString(), 0);
        }
        // The other planner saves between our choice of the name and our claim on it.
        // On FAT the second open of that name is the claim; the first made the new file.
        fs.Before(
            fat ? Call::open : Call::renameNoReplace,
            [&] { PutFile(dir, QStringLiteral("docs/無題.dat"), other); },
            fat ? QStringLiteral("docs/無題.dat") : QString(), fat ? 2 : 1);
        CTavrinoDoc untitled;
        untitled.SetHost(&host);
        untitled.SetMemo(QStringLiteral("mine"));
        untitled.CommitCurrentDay();
        ASSERT_TRUE(untitled.DoFileSave());
        EXPECT_EQ(Slurp(first), other);
        EXPECT_EQ(untitled.GetPathName(), QDir(host.docs).filePath(QStringLiteral("無題1.dat")));
        EXPECT_EQ(Entries(host.docs),
                  (QStringList{QStringLiteral("無題.dat"), QStringLiteral("無題1.dat")}));
    }
}

// The same race with two real processes, released together.
TEST_F(SafeWriteTest, TwoProcessesSavingUntitledBooksKeepBoth) {
    host.fs = nullptr;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        for (const QString& name : Entries(host.docs))
            QFile::remove(QDir(host.docs).filePath(name));
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            children[c] = fork();
            if (children[c] == 0) {
                close(gate[1]);
                CTavrinoDoc untitled;
                untitled.SetHost(&host);
                untitled.SetMemo(QString::number(c));
                untitled.CommitCurrentDay();
                char go;
                const bool released = read(gate[0], &go, 1) == 0;
                _exit(released && untitled.DoFileSave() ? 0 : 1);
            }
        }
        close(gate[0]);
        close(gate[1]); // both children see the end of the pipe at once
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const QStringList saved = Entries(host.docs);
        ASSERT_EQ(saved, (QStringList{QStringLiteral("無題.dat"), QStringLiteral("無題1.dat")}));
        EXPECT_NE(Slurp(QDir(host.docs).filePath(saved[0])),
                  Slurp(QDir(host.docs).filePath(saved[1])));
    }
}

// Another planner changes "09" to "10" within the same tick of a FAT card's clock: same size,
// same modification time. The save reads the bytes anyway, and they decide.
TEST_F(SafeWriteTest, ASameSizeChangeWithinOneClockTickIsSeen) {
    const QString path = Put(QStringLiteral("book.dat"), Book(40001.0, QStringLiteral("09")));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    Change(40002.0, QStringLiteral("mine"));
    struct stat before {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
    const QByteArray theirs = Book(40001.0, QStringLiteral("10"));
    PutFile(dir, QStringLiteral("book.dat"), theirs);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);

    host.overwrite = IDNO;
    EXPECT_FALSE(doc.DoFileSave());
    EXPECT_EQ(host.questions,
              QStringList{path + QStringLiteral(" は他のプログラムによって変更されています。上書き"
                                                "しますか?")});
    EXPECT_EQ(Slurp(path), theirs);
    EXPECT_TRUE(doc.IsModified());
}

// A write in place (the folder refuses new files) that runs out of room half way puts the old
// bytes back through a fresh descriptor; the book is readable and as it was.
TEST_F(SafeWriteTest, AWriteInPlaceThatRunsOutOfRoomPutsTheOldBookBack) {
    const QByteArray old = Book(40001.0, QString(200, QChar(u'古')));
    const QString path = Put(QStringLiteral("book.dat"), old);
    fs.Fail(Call::open, EACCES, QStringLiteral("/book.dat."), 0); // no new file beside it
    doc.SetPathName(path);
    for (int i = 0; i < 50; ++i)
        Change(40002.0 + i, QString(300, QChar(u'新')));
    bool saved = true;
    {
        // Room for the backup and for the old book, not for the new one.
        rlimit old_limit{};
        getrlimit(RLIMIT_FSIZE, &old_limit);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = old_limit;
        capped.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &capped), 0);
        saved = doc.DoFileSave();
        setrlimit(RLIMIT_FSIZE, &old_limit);
        std::signal(SIGXFSZ, handler);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(host.messages, QStringList{path + kDiskFull});
    EXPECT_TRUE(doc.IsModified());

    // When even that fails, the message says so and names the backup that holds the old book.
    host.messages.clear();
    fs.Fail(Call::write, ENOSPC, QStringLiteral("/book.dat"), 0);
    EXPECT_FALSE(doc.DoFileSave());
    ASSERT_EQ(BackupFiles().size(), 1);
    const QString backup = QDir(Backups()).filePath(BackupFiles()[0]);
    EXPECT_EQ(host.messages,
              QStringList{path + kDiskFull + u'\n' + path +
                          QStringLiteral(" を元に戻せませんでした。保存する前の内容は ") + backup +
                          QStringLiteral(" にあります。")});
    EXPECT_EQ(Slurp(backup), old);
}

// No backup can be kept (the data folder is full): the book is saved all the same through the
// new file and the rename, and the user is told once, with the reason. A write in place, which
// has no way back without a backup, still refuses.
TEST_F(SafeWriteTest, ABackupThatCannotBeKeptIsToldOnceAndBlocksOnlyAWriteInPlace) {
    const QString path = Put(QStringLiteral("book.dat"), Book(40001.0, QStringLiteral("old")));
    doc.SetPathName(path);
    fs.Fail(Call::open, ENOSPC, QStringLiteral("/backups/"), 0);
    for (const char* memo : {"one", "two"}) {
        Change(40002.0, QString::fromLatin1(memo));
        ASSERT_TRUE(doc.DoFileSave());
        EXPECT_FALSE(doc.IsModified());
    }
    EXPECT_EQ(Slurp(path), Book(40002.0, QStringLiteral("two")));
    ASSERT_EQ(host.notices.size(), 1);
    EXPECT_TRUE(host.notices[0].startsWith(
        path + QStringLiteral(" を保存しましたが、以前の内容のバックアップを残せませんでした。")))
        << host.notices[0].toStdString();
    EXPECT_TRUE(host.notices[0].endsWith(kDiskFull)) << host.notices[0].toStdString();
    EXPECT_TRUE(host.notices[0].contains(QStringLiteral("/backups/book-")));
    EXPECT_TRUE(host.messages.isEmpty());

    const QByteArray before = Slurp(path);
    fs.Fail(Call::open, EACCES, QStringLiteral("/book.dat."), 0);
    Change(40003.0, QStringLiteral("three"));
    EXPECT_FALSE(doc.DoFileSave());
    EXPECT_EQ(Slurp(path), before);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].endsWith(kDiskFull)) << host.messages[0].toStdString();
    EXPECT_TRUE(doc.IsModified());
}

// After the rename the file is the new book, whatever follows: a folder that cannot be synced is
// a warning, the book is saved and its identity recorded, and the next save asks nothing.
TEST_F(SafeWriteTest, AFolderSyncFailureAfterTheRenameIsAWarningNotAFailure) {
    const QString path = Put(QStringLiteral("book.dat"), Book(40001.0, QStringLiteral("old")));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    fs.Fail(Call::syncFolder, EIO, dir.path(), 1);
    Change(40002.0, QStringLiteral("new"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(host.notices,
              QStringList{path +
                          QStringLiteral(" を保存しましたが、フォルダーの更新をディスクに書き込めま"
                                         "せんでした。停電などがあると、この保存が失われることがあ"
                                         "ります。")});
    EXPECT_EQ(doc.GetFileIdentity(), FileIdentity::OfFile(path));
    Change(40003.0, QStringLiteral("more"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_TRUE(host.questions.isEmpty());
}

// A save that fails at its last step keeps the previous backup generation: the backup of the
// book as it was before the last good save.
TEST_F(SafeWriteTest, AFailedSaveKeepsThePreviousBackupGeneration) {
    const QByteArray first = Book(40001.0, QStringLiteral("first"));
    const QString path = Put(QStringLiteral("book.dat"), first);
    ASSERT_TRUE(doc.OnOpenDocument(path));
    doc.SetPathName(path);
    Change(40001.0, QStringLiteral("second"));
    ASSERT_TRUE(doc.DoFileSave());
    ASSERT_EQ(BackupFiles().size(), 1);
    const QString backup = QDir(Backups()).filePath(BackupFiles()[0]);
    ASSERT_EQ(Slurp(backup), first);
    const QByteArray second = Slurp(path);

    fs.Fail(Call::rename, EIO, path, 1);
    Change(40001.0, QStringLiteral("third"));
    EXPECT_FALSE(doc.DoFileSave());
    EXPECT_EQ(host.messages, QStringList{path + kHardIO});
    EXPECT_EQ(Slurp(path), second);
    EXPECT_EQ(BackupFiles(), QStringList{QFileInfo(backup).fileName()});
    EXPECT_EQ(Slurp(backup), first);
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("book.dat")});
}

// A disk that reports success without storing anything: the new file is read back before the
// rename, so the book is left whole and the save fails.
TEST_F(SafeWriteTest, AWriteThatStoresNothingIsCaughtBeforeTheRename) {
    const QByteArray old = Book(40001.0, QStringLiteral("old"));
    const QString path = Put(QStringLiteral("book.dat"), old);
    doc.SetPathName(path);
    fs.LoseWrites(QStringLiteral("/book.dat."));
    Change(40002.0, QStringLiteral("new"));
    EXPECT_FALSE(doc.DoFileSave());
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(host.messages, QStringList{path + kHardIO});
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("book.dat")});
}

// The unit alone: a file that appears where none was while the judge looked is judged again, not
// replaced; one read of the old bytes serves the judge and the backup.
TEST_F(SafeWriteTest, AFileThatAppearsAfterItWasFoundMissingIsJudgedAgain) {
    const QString path = dir.filePath(QStringLiteral("book.dat"));
    SafeWrite writer(fs, Backups());
    QList<QByteArray> seen;
    const auto judge = [&](const QByteArray* current) {
        seen << (current ? *current : QByteArray("<none>"));
        if (seen.size() == 1)
            PutFile(dir, QStringLiteral("book.dat"), "theirs");
        return current ? SafeWrite::Verdict::keep : SafeWrite::Verdict::write;
    };
    const SafeWrite::Outcome outcome = writer.Replace(path, "mine", judge);
    EXPECT_EQ(outcome.kind, SafeWrite::Outcome::kept);
    EXPECT_EQ(seen, (QList<QByteArray>{"<none>", "theirs"}));
    EXPECT_EQ(Slurp(path), QByteArray("theirs"));
}

} // namespace
