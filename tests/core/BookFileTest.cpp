#include "CoreTestSupport.h"
#include "document/TavrinoDoc.h"
#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Profile.h"
#include "resources/Resource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kUnexpected = QStringLiteral("予期しないファイル形式です。");
const QString kFailedToOpen = QStringLiteral("ドキュメントを開くことに失敗しました。");

class BookFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir(QStringLiteral("docs"));
        host.docs = dir.filePath(QStringLiteral("docs"));
        host.profile = std::make_unique<CProfile>(dir.filePath(QStringLiteral("profile.ini")));
        doc.SetHost(&host);
    }

    QString Put(const QString& name, const QByteArray& data) { return PutFile(dir, name, data); }
    static QByteArray Slurp(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString Recent() const {
        return host.profile->GetProfileString(QStringLiteral("Recent File List"),
                                              QStringLiteral("File_dat"), QStringLiteral("-"));
    }
    // Opens bytes as a file; returns the one message shown, or an empty text.
    QString OpenBytes(const QByteArray& data, bool expectOk) {
        host.messages.clear();
        EXPECT_EQ(doc.OnOpenDocument(Put(QStringLiteral("in.dat"), data)), expectOk);
        EXPECT_LE(host.messages.size(), 1);
        return host.messages.value(0);
    }
    // Writes the open book and returns what landed on disk.
    QByteArray SaveBytes() {
        const QString path = dir.filePath(QStringLiteral("out.dat"));
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return Slurp(path);
    }
    void AddDay(double date, const QString& memo) {
        doc.ResetCurrentDay(COleDateTime(date));
        doc.SetMemo(memo);
        doc.CommitCurrentDay();
    }
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    RecordingHost host;
    CTavrinoDoc doc;
};

TEST_F(BookFile, WorkedExampleByteForByte) {
    doc.ResetCurrentDay(COleDateTime(2009, 7, 7, 0, 0, 0));
    doc.SetTime(0, QStringLiteral("08"));
    doc.SetPlan(0, QStringLiteral("会議"));
    doc.CommitCurrentDay();
    const QByteArray written = SaveBytes();
    EXPECT_EQ(written.size(), 156);
    EXPECT_EQ(written.toHex(), WorkedExampleBook().toHex());
    EXPECT_FALSE(doc.IsModified());

    CTavrinoDoc back;
    back.SetHost(&host);
    back.SetModifiedFlag(true);
    ASSERT_TRUE(back.OnOpenDocument(dir.filePath(QStringLiteral("out.dat"))));
    EXPECT_FALSE(back.IsModified());
    ASSERT_EQ(back.GetDays().size(), 1u);
    EXPECT_EQ(*back.GetDays()[0], *doc.GetDays()[0]);
    back.SelectDay(COleDateTime(40001.0));
    EXPECT_EQ(back.GetTime(0), QStringLiteral("08"));
    EXPECT_EQ(back.GetPlan(0), QStringLiteral("会議"));
}

TEST_F(BookFile, PipeIsReadWholeNotTakenForAnEmptyFile) {
    AddDay(40001.0, QStringLiteral("メモ"));
    const QByteArray book = SaveBytes();
    const QString fifo = dir.filePath(QStringLiteral("pipe.dat"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&] {
        QFile out(fifo);
        if (out.open(QIODevice::WriteOnly))
            out.write(book);
    });
    CTavrinoDoc piped;
    piped.SetHost(&host);
    const bool opened = piped.OnOpenDocument(fifo);
    writer.join();
    ASSERT_TRUE(opened) << host.messages.value(0).toStdString();
    ASSERT_EQ(piped.GetDays().size(), 1u);
    EXPECT_EQ(*piped.GetDays()[0], *doc.GetDays()[0]);
}

TEST_F(BookFile, EmptyBookAndEmptyFile) {
    // A saved book is remembered as a read one is, so that a first save is not forgotten.
    EXPECT_EQ(SaveBytes().toHex(), QByteArray("00000000"));
    EXPECT_EQ(Recent(), dir.filePath(QStringLiteral("out.dat")));

    const QString path = Put(QStringLiteral("empty.dat"), QByteArray::fromHex("00000000"));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(Recent(), QFileInfo(path).absoluteFilePath());

    // A 0-byte file is an empty book: no message, nothing read, nothing remembered.
    host.profile->WriteProfileString(QStringLiteral("Recent File List"), QStringLiteral("File_dat"),
                                     QStringLiteral("before"));
    doc.SetModifiedFlag(true);
    EXPECT_EQ(OpenBytes(QByteArray(), true), QString());
    EXPECT_TRUE(doc.GetDays().empty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(Recent(), QStringLiteral("before"));
}

TEST_F(BookFile, StringLengthForms) {
    struct Case {
        int units;
        const char* prefix;
    };
    for (const Case& c : {Case{254, "FFFEFFFE"}, Case{255, "FFFEFFFFFF00"},
                          Case{65533, "FFFEFFFFFDFF"}, Case{65534, "FFFEFFFFFFFFFEFF0000"}}) {
        SCOPED_TRACE(c.units);
        QString memo(c.units, QChar(u'あ'));
        memo[c.units - 1] = QLatin1Char('z');
        doc.OnNewDocument();
        AddDay(40001.0, memo);
        const QByteArray written = SaveBytes();
        const QByteArray prefix = QByteArray::fromHex(c.prefix);
        const qsizetype memoAt = written.size() - c.units * 2 - prefix.size();
        EXPECT_EQ(written.mid(memoAt, prefix.size()).toHex(), prefix.toHex());
        EXPECT_EQ(written.right(2).toHex(), QByteArray("7a00"));

        EXPECT_EQ(OpenBytes(written, true), QString());
        ASSERT_EQ(doc.GetDays().size(), 1u);
        EXPECT_EQ(doc.GetDays()[0]->m_dayMemo, memo);
    }
}

// A text equal to the same field of the day before is held once; a changed one is its own.
TEST_F(BookFile, TextsRepeatedFromTheDayBeforeAreHeldOnce) {
    AddDay(40001.0, QStringLiteral("朝"));
    AddDay(40002.0, QStringLiteral("朝"));
    AddDay(40003.0, QStringLiteral("朝礼"));
    EXPECT_EQ(OpenBytes(SaveBytes(), true), QString());
    const auto& days = doc.GetDays();
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[1]->m_dayMemo, QStringLiteral("朝"));
    EXPECT_EQ(days[0]->m_dayMemo.constData(), days[1]->m_dayMemo.constData());
    EXPECT_EQ(days[2]->m_dayMemo, QStringLiteral("朝礼"));
    doc.SelectDay(COleDateTime(40002.0));
    doc.SetMemo(QStringLiteral("昼"));
    doc.CommitCurrentDay();
    EXPECT_EQ(days[0]->m_dayMemo, QStringLiteral("朝"));
}

TEST_F(BookFile, EightBitStringsAreCodePage932) {
    Bytes in;
    in.u32(1).date(40001.0).hex("03414243");
    for (int i = 0; i < 31; ++i)
        in.hex("00");
    in.hex("04 89EF 8B63");
    EXPECT_EQ(OpenBytes(in, true), QString());
    ASSERT_EQ(doc.GetDays().size(), 1u);
    EXPECT_EQ(doc.GetDays()[0]->m_heading, QStringLiteral("ABC"));
    EXPECT_EQ(doc.GetDays()[0]->m_dayMemo, QStringLiteral("会議"));

    // The 8-bit form with a 16-bit length.
    Bytes wide;
    wide.u32(1).date(40001.0).hex("FF0001").b += QByteArray(256, 'a');
    for (int i = 0; i < 32; ++i)
        wide.hex("00");
    EXPECT_EQ(OpenBytes(wide, true), QString());
    ASSERT_EQ(doc.GetDays().size(), 1u);
    EXPECT_EQ(doc.GetDays()[0]->m_heading, QString(256, QLatin1Char('a')));
}

TEST_F(BookFile, StoredDatesAndStatusesSurviveBitForBit) {
    const double fraction = 40001.123456789;
    const QByteArray in =
        Bytes().u32(3).record(fraction).record(40002.0, {}, 1).record(-1.75, {}, 2);
    EXPECT_EQ(OpenBytes(in, true), QString());
    ASSERT_EQ(doc.GetDays().size(), 3u);
    EXPECT_EQ(doc.GetDays()[1]->m_dayDate.GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(doc.GetDays()[2]->m_dayDate.GetStatus(), COleDateTime::null);
    EXPECT_EQ(SaveBytes().toHex(), in.toHex());
}

TEST_F(BookFile, TrailingBytesAreIgnoredAndDropped) {
    const QByteArray book = Bytes().u32(1).record(40001.0, QStringLiteral("m"));
    EXPECT_EQ(OpenBytes(book + QByteArray::fromHex("DEADBEEF00"), true), QString());
    ASSERT_EQ(doc.GetDays().size(), 1u);
    EXPECT_EQ(SaveBytes().toHex(), book.toHex());
}

// A file that is not a book (a Japanese text, a JPEG, a format starting with four zero bytes)
// is refused, so it never becomes the open book's file and its next save cannot replace it.
TEST_F(BookFile, ForeignFilesAreRefusedAndLeftAsTheyAre) {
    const QString book = Put(QStringLiteral("book.dat"), Bytes().u32(1).record(40001.0));
    ASSERT_TRUE(doc.OnOpenDocument(book));
    doc.SetPathName(book);
    const QString recent = Recent();
    const QByteArray foreign[] = {
        QStringLiteral("予定表\n八時 会議\n").toUtf8(),
        QByteArray::fromHex("975C92E8955C0D0A"), // the same words in code page 932
        QByteArray::fromHex("FFD8FFE000104A46494600010100000100010000"),
        QByteArray::fromHex("00000000504B0304"),
        Bytes().u32(0x80000001).record(40001.0),
        Bytes().u32(0xFFFFFFFF),
    };
    for (const QByteArray& bytes : foreign) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        doc.SetModifiedFlag(true);
        EXPECT_EQ(OpenBytes(bytes, false), kUnexpected);
        EXPECT_EQ(Dates(doc), (std::vector<double>{40001.0}));
        EXPECT_EQ(Recent(), recent);
        EXPECT_TRUE(doc.DoFileSave());
        EXPECT_EQ(doc.GetPathName(), QFileInfo(book).absoluteFilePath());
        EXPECT_EQ(Slurp(dir.filePath(QStringLiteral("in.dat"))), bytes);
    }
}

// Each kind of damage is named with the part of the book and the byte where the item starts.
TEST_F(BookFile, DamageIsNamedWithItsPlace) {
    // One whole record of empty strings (144 bytes), then the date of a second.
    const QByteArray two = Bytes().u32(2).record(40001.0).date(40002.0);
    const QByteArray rowOne = QByteArray(two) + QByteArray::fromHex("FFFEFF00 FFFEFF00 FFFEFF00");
    struct Case {
        QByteArray bytes;
        CArchiveException::Cause cause;
        const char* text;
    };
    const Case cases[] = {
        {QByteArray::fromHex("0100"), CArchiveException::endOfFile,
         "record count, byte 0: the file ends inside a 4-byte number, 2 bytes in"},
        {Bytes().u32(1).hex("0000000000000000 0000"), CArchiveException::endOfFile,
         "record 1, date, byte 4: the file ends inside a 12-byte date, 10 bytes in"},
        {two + QByteArray::fromHex("FFFE"), CArchiveException::endOfFile,
         "record 2, heading, byte 160: the file ends inside the string's marker and length, "
         "2 bytes in"},
        {rowOne + QByteArray::fromHex("FFFEFF05 4100"), CArchiveException::endOfFile,
         "record 2, row 1 plan, byte 172: string length 5 (10 bytes) runs past the end of the "
         "file, 2 bytes left"},
        {two + QByteArray::fromHex("FF FFFF 00000080"), CArchiveException::badIndex,
         "record 2, heading, byte 160: string length 2147483648 is 2^31 or more"},
        {Bytes().u32(0xFFFFFFFF), CArchiveException::badSchema,
         "record count, byte 0: 4294967295 (FFFFFFFF) is more days than a book can hold"},
        {Bytes().u32(0).hex("00"), CArchiveException::badSchema,
         "record count, byte 0: a count of 0 days followed by 1 more bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DayList days;
        CArchive ar(c.bytes, QString());
        try {
            ::BookFile::ReadDays(ar, CYoteiDay::kRows, days);
            ADD_FAILURE() << "read without damage";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, c.cause);
            EXPECT_EQ(e.Describe(), QString::fromUtf8(c.text));
        }
    }
}

TEST_F(BookFile, DamagedFilesReportTheRightText) {
    const QByteArray head = Bytes().u32(1).date(40001.0);
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        // Two whole records and part of a third.
        {Bytes().u32(3).record(1.0).record(2.0).date(3.0).str(QStringLiteral("ab")), kUnexpected},
        {Bytes().u32(2).hex("000000"), kUnexpected},
        {Bytes().u32(1).hex("0000"), kUnexpected},
        {QByteArray::fromHex("0100"), kUnexpected},
        {head + QByteArray::fromHex("FFFEFF05 4100"), kUnexpected},
        {head + QByteArray::fromHex("0541"), kUnexpected},
        {head + QByteArray::fromHex("FFFEFF FF FFFF 00000080"), kFailedToOpen},
        {head + QByteArray::fromHex("FFFEFF FF FFFF FFFFFFFF 0000008000000000"), kFailedToOpen},
        {head + QByteArray::fromHex("FF FFFF 00000080"), kFailedToOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(OpenBytes(c.bytes, false), c.text);
        EXPECT_EQ(Recent(), QStringLiteral("-"));
    }
}

TEST_F(BookFile, OpenFailuresNameTheFile) {
    const QString missing = dir.filePath(QStringLiteral("missing.dat"));
    EXPECT_FALSE(doc.OnOpenDocument(missing));
    const QString badPath = dir.filePath(QStringLiteral("nowhere/book.dat"));
    EXPECT_FALSE(doc.OnOpenDocument(badPath));
    EXPECT_FALSE(doc.OnOpenDocument(QString()));
    EXPECT_EQ(host.messages,
              (QStringList{missing + QStringLiteral(" が見つかりませんでした。"),
                           badPath + QStringLiteral(" に正しくないパスが含まれています。"),
                           QStringLiteral("無題のファイル が見つかりませんでした。")}));
    EXPECT_EQ(CFileException(CFileException::diskFull, QString()).GetErrorMessage(),
              QStringLiteral("無題のファイル へのアクセス中にディスクがいっぱいになりました。"));
    EXPECT_EQ(Recent(), QStringLiteral("-"));
}

// Opening replaces the book; nothing of the previous one is kept.
TEST_F(BookFile, OpeningReplacesTheBook) {
    const QString a = Put(QStringLiteral("a.dat"), Bytes().u32(2).record(1.0).record(3.0));
    const QString b = Put(QStringLiteral("b.dat"), Bytes().u32(1).record(2.0));
    ASSERT_TRUE(doc.OnOpenDocument(a));
    ASSERT_TRUE(doc.OnOpenDocument(b));
    EXPECT_EQ(Dates(doc), (std::vector<double>{2.0}));
    EXPECT_EQ(Recent(), QFileInfo(b).absoluteFilePath());
    doc.OnNewDocument();
    EXPECT_TRUE(doc.GetDays().empty());

    // Books written out of order or with a day twice are read as stored.
    const QByteArray odd = Bytes()
                               .u32(4)
                               .record(40010.0, QStringLiteral("ten"))
                               .record(40005.0, QStringLiteral("first"))
                               .record(40005.0, QStringLiteral("second"))
                               .record(40001.0, QStringLiteral("one"));
    EXPECT_EQ(OpenBytes(odd, true), QString());
    EXPECT_EQ(Dates(doc), (std::vector<double>{40010.0, 40005.0, 40005.0, 40001.0}));
    doc.SelectDay(COleDateTime(40005.0));
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("first"));
    doc.SelectDay(COleDateTime(40001.0));
    EXPECT_EQ(doc.GetMemo(), QStringLiteral("one"));
    EXPECT_EQ(SaveBytes().toHex(), odd.toHex());
}

TEST_F(BookFile, FailedReadLeavesTheOpenBookAsItWas) {
    const QString good = Put(QStringLiteral("good.dat"),
                             Bytes().u32(2).record(40001.0, QStringLiteral("a")).record(40002.0));
    ASSERT_TRUE(doc.OnOpenDocument(good));
    doc.SetPathName(good);
    AddDay(40003.0, QStringLiteral("unsaved"));
    const QByteArray before = SaveBytes();
    doc.SetModifiedFlag(true);
    const QString recent = Recent();

    for (const QByteArray& bad : {QByteArray(Bytes().u32(3).record(1.0).record(2.0).hex("00")),
                                  QByteArray(Bytes().u32(1).date(1.0).hex("FF FFFF 00000080"))}) {
        EXPECT_NE(OpenBytes(bad, false), QString());
        EXPECT_EQ(Dates(doc), (std::vector<double>{40001.0, 40002.0, 40003.0}));
        EXPECT_EQ(doc.GetPathName(), QFileInfo(good).absoluteFilePath());
        EXPECT_EQ(doc.GetTitle(), QStringLiteral("good.dat"));
        EXPECT_TRUE(doc.IsModified());
        EXPECT_EQ(Recent(), recent);
    }
    EXPECT_FALSE(doc.OnOpenDocument(dir.filePath(QStringLiteral("missing.dat"))));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(SaveBytes(), before);
}

// A length prefix is checked against the file before anything is allocated.
TEST_F(BookFile, HostileLengthAllocatesNothing) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    for (const char* prefix : {"FFFEFF FF FFFF FFFFFF7F", "FF FFFF FFFFFF7F",
                               "FFFEFF FF FFFF FFFFFFFF FFFFFF7F00000000"}) {
        SCOPED_TRACE(prefix);
        EXPECT_EQ(OpenBytes(Bytes().u32(1).date(1.0).hex(prefix), false), kUnexpected);
    }
    // A count of 2^31-1 records in a short file must not reserve room for them either.
    EXPECT_EQ(OpenBytes(Bytes().u32(0x7FFFFFFF).record(1.0), false), kUnexpected);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "peak grew by KiB";
}

// Caps the size of any file this process writes, so a save runs out of room part way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = m_old;
        capped.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

// Runs body as an ordinary user: root may write read-only files, so under root it runs in a
// child that gives up its rights. Returns body's result and the text it reported.
std::pair<int, QString> AsOrdinaryUser(const QString& folder,
                                       const std::function<int(QString&)>& body) {
    QString text;
    if (geteuid() != 0)
        return {body(text), text};
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    int fds[2];
    if (pipe(fds) != 0)
        return {-1, QStringLiteral("pipe")};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int r = 98;
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            r = body(text);
            const QByteArray out = text.toUtf8();
            if (write(fds[1], out.constData(), size_t(out.size())) != out.size())
                r = 97;
        }
        _exit(r);
    }
    close(fds[1]);
    QByteArray out;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, QString::fromUtf8(out)};
}

using BookSave = BookFile;

TEST_F(BookSave, ExistingFileIsWrittenInPlace) {
    const QString path = Put(QStringLiteral("book.dat"), "old");
    doc.SetPathName(path);
    AddDay(40001.0, QStringLiteral("m"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(Slurp(path).toHex(), QByteArray(Bytes().u32(1).record(40001.0, "m")).toHex());
    EXPECT_EQ(doc.GetPathName(), QFileInfo(path).absoluteFilePath());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("book.dat"), QStringLiteral("profile.ini")}));
    EXPECT_EQ(Recent(), doc.GetPathName());
    EXPECT_TRUE(host.messages.isEmpty());

    // Through a symbolic link the target is written and keeps its permissions.
    const QString link = dir.filePath(QStringLiteral("link.dat"));
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0640), 0);
    doc.SetPathName(link);
    AddDay(40002.0, QStringLiteral("l"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(Slurp(path), QByteArray(Bytes().u32(2).record(40001.0, "m").record(40002.0, "l")));
    EXPECT_EQ(QFile::permissions(path), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadUser | QFileDevice::WriteUser |
                                            QFileDevice::ReadGroup);
}

// Every save remembers its book as the one to reopen, over another planner's choice made
// meanwhile in the same profile; a save of the book the profile holds already does not rewrite
// the profile's file.
TEST_F(BookSave, EachSaveRemembersItsBookWithoutRewritingWhatIsThere) {
    const QString ini = dir.filePath(QStringLiteral("profile.ini"));
    const auto inode = [&] {
        struct stat st {};
        return stat(QFile::encodeName(ini).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    doc.SetPathName(Put(QStringLiteral("book.dat"), QByteArray()));
    AddDay(40001.0, QStringLiteral("m"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(Recent(), doc.GetPathName());
    const ino_t written = inode();
    ASSERT_NE(written, ino_t(0));
    AddDay(40002.0, QStringLiteral("n"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(inode(), written);

    // Another planner, a process of its own, remembers another book.
    const pid_t planner = fork();
    ASSERT_GE(planner, 0);
    if (planner == 0) {
        CProfile other(ini);
        _exit(other.WriteProfileString(QStringLiteral("Recent File List"),
                                       QStringLiteral("File_dat"),
                                       dir.filePath(QStringLiteral("other.dat")))
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(planner, &status, 0), planner);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_NE(inode(), written);
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(CProfile(ini).GetProfileString(QStringLiteral("Recent File List"),
                                             QStringLiteral("File_dat"), QString()),
              doc.GetPathName());
}

TEST_F(BookSave, UntitledBookGoesToTheDocumentsFolderUnderAFreeName) {
    for (const char* expected : {"無題.dat", "無題1.dat", "無題2.dat"}) {
        CTavrinoDoc untitled;
        untitled.SetHost(&host);
        untitled.CommitCurrentDay();
        ASSERT_TRUE(untitled.DoFileSave());
        const QString path = QDir(host.docs).filePath(QString::fromUtf8(expected));
        EXPECT_EQ(untitled.GetPathName(), path);
        EXPECT_EQ(untitled.GetTitle(), QString::fromUtf8(expected));
        EXPECT_FALSE(untitled.IsModified());
        EXPECT_EQ(Slurp(path).size(), 4 + 12 + 33 * 4);
    }
    doc.SetTitle(QStringLiteral("旅行"));
    ASSERT_TRUE(doc.DoFileSave());
    EXPECT_EQ(doc.GetPathName(), QDir(host.docs).filePath(QStringLiteral("旅行.dat")));
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("旅行.dat"));
    EXPECT_EQ(QDir(host.docs).entryList(QDir::Files).size(), 4);
}

TEST_F(BookSave, ReadOnlyFileIsRefused) {
    const QString path = Put(QStringLiteral("locked.dat"), "old");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    const auto [result, text] = AsOrdinaryUser(dir.path(), [&](QString& shown) {
        doc.SetPathName(path);
        doc.CommitCurrentDay();
        const bool saved = doc.DoFileSave();
        shown = host.messages.join(QLatin1Char('|'));
        return (saved ? 1 : 0) | (doc.IsModified() ? 2 : 0);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(text, QFileInfo(path).absoluteFilePath() +
                        QStringLiteral(" へのアクセスは拒否されました。"));
    EXPECT_EQ(Slurp(path), QByteArray("old"));
}

TEST_F(BookSave, SaveModifiedAsksOnlyOnTheDesktop) {
    EXPECT_TRUE(doc.SaveModified());
    EXPECT_TRUE(host.questions.isEmpty());

    const QString path = dir.filePath(QStringLiteral("book.dat"));
    doc.SetPathName(path);
    doc.CommitCurrentDay();
    const QString question = QStringLiteral("book.dat への変更を保存しますか?");

    host.answer = IDCANCEL;
    EXPECT_FALSE(doc.SaveModified());
    host.answer = IDNO;
    EXPECT_TRUE(doc.SaveModified());
    EXPECT_EQ(host.questions, (QStringList{question, question}));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(doc.IsModified());

    host.answer = IDYES;
    EXPECT_TRUE(doc.SaveModified());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(doc.IsModified());

    // A failed save after Yes keeps the document.
    doc.SetPathName(dir.filePath(QStringLiteral("nowhere/book.dat")));
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.SaveModified());
    EXPECT_EQ(host.messages.size(), 1);

    CTavrinoDoc untitled;
    untitled.SetHost(&host);
    untitled.CommitCurrentDay();
    host.questions.clear();
    host.answer = IDNO;
    EXPECT_TRUE(untitled.SaveModified());
    EXPECT_EQ(host.questions, (QStringList{QStringLiteral("無題 への変更を保存しますか?")}));
}

TEST_F(BookSave, SaveModifiedSavesWithoutAskingWhenNoQuestionMayBeAsked) {
    const QString path = dir.filePath(QStringLiteral("book.dat"));
    for (bool handheld : {true, false}) {
        host.kind = handheld ? PlatformKind::Handheld : PlatformKind::Desktop;
        host.canAsk = handheld;
        QFile::remove(path);
        doc.SetPathName(path);
        doc.CommitCurrentDay();
        EXPECT_TRUE(doc.SaveModified());
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_FALSE(doc.IsModified());
    }
    EXPECT_TRUE(host.questions.isEmpty());
}

// A save that fails part way keeps the previous file byte for byte.
TEST_F(BookSave, DiskFullKeepsThePreviousFile) {
    const QString path = Put(QStringLiteral("book.dat"), Bytes().u32(1).record(40001.0));
    const QByteArray old = Slurp(path);
    for (int i = 0; i < 400; ++i)
        AddDay(40001.0 + i, QString(500, QChar(u'予')));
    bool saved = true;
    {
        FileSizeLimit limit(16 * 1024);
        ASSERT_TRUE(limit.ok());
        saved = doc.OnSaveDocument(path);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(
        host.messages,
        (QStringList{path + QStringLiteral(" へのアクセス中にディスクがいっぱいになりました。")}));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("book.dat")}));

    // With room again the same book saves.
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_GT(Slurp(path).size(), 400 * 1000);
}

class ThrowingDoc : public CTavrinoDoc {
public:
    void Serialize(CArchive& ar) override {
        if (ar.IsLoading())
            return CTavrinoDoc::Serialize(ar);
        CTavrinoDoc::Serialize(ar);
        ar.Flush();
        throw CFileException(CFileException::hardIO, QString());
    }
};

TEST_F(BookSave, SerializeFailureKeepsThePreviousFile) {
    const QString path = Put(QStringLiteral("book.dat"), Bytes().u32(0));
    ThrowingDoc failing;
    failing.SetHost(&host);
    for (int i = 0; i < 100; ++i) {
        failing.ResetCurrentDay(COleDateTime(40001.0 + i));
        failing.SetMemo(QString(1000, QLatin1Char('x')));
        failing.CommitCurrentDay();
    }
    EXPECT_FALSE(failing.OnSaveDocument(path));
    EXPECT_EQ(Slurp(path).toHex(), QByteArray("00000000"));
    EXPECT_EQ(
        host.messages,
        (QStringList{
            path + QStringLiteral(" へのアクセス中にハードウェア I/O エラーが報告されました。")}));
    EXPECT_TRUE(failing.IsModified());
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("book.dat")}));
}

// QSaveFile reports a failed sync as success; here it is a failed save that keeps the old file
// and the previous backup.
TEST_F(BookSave, FailedSyncIsAFailedSave) {
    const QByteArray old = Bytes().u32(1).record(40001.0, QStringLiteral("old"));
    const QString path = Put(QStringLiteral("book.dat"), old);
    FaultyFileSystem fs;
    fs.Fail(FaultyFileSystem::Call::sync, EIO, QStringLiteral("/book.dat."), 0);
    host.fs = &fs;
    CTavrinoDoc failing;
    failing.SetHost(&host);
    failing.SetPathName(path);
    failing.CommitCurrentDay();
    EXPECT_FALSE(failing.DoFileSave());
    EXPECT_EQ(
        host.messages,
        (QStringList{
            path + QStringLiteral(" へのアクセス中にハードウェア I/O エラーが報告されました。")}));
    EXPECT_TRUE(failing.IsModified());
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(Entries(), (QStringList{QStringLiteral("book.dat")}));
    EXPECT_TRUE(QDir(host.dataDir.filePath(QStringLiteral("backups")))
                    .entryList(QDir::Files | QDir::Hidden)
                    .isEmpty());
    host.fs = nullptr;
}

// A writable book in a folder that refuses new files (read-only) or the rename (sticky, the
// book another user's) is written in place, its previous bytes kept as the backup; a failure
// writes them back, and a copy that cannot go beside the book goes to the documents folder.
TEST_F(BookSave, BookInAFolderThatRefusesNewFilesIsWrittenInPlace) {
    const QByteArray old = Bytes().u32(1).record(40001.0, QStringLiteral("old"));
    const QByteArray saved = Bytes().u32(1).record(40002.0, QStringLiteral("new"));
    const QString shared = dir.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkdir(shared));
    const QString path = Put(QStringLiteral("shared/book.dat"), old);
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0666), 0);
    ASSERT_EQ(chmod(QFile::encodeName(host.docs).constData(), 0777), 0);
    host.data = dir.filePath(QStringLiteral("data"));
    const QString backups = host.data + QStringLiteral("/backups");
    const auto stated = [](const QString& file) {
        struct stat st {};
        ::stat(QFile::encodeName(file).constData(), &st);
        return st;
    };
    const ino_t inode = stated(path).st_ino;

    // The sticky bit protects only another user's file: that case needs root to set it up.
    for (mode_t mode : {mode_t(01777), mode_t(0555)}) {
        if (mode == 01777 && geteuid() != 0)
            continue;
        SCOPED_TRACE(mode);
        Put(QStringLiteral("shared/book.dat"), old);
        ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), mode), 0);
        const auto [result, text] = AsOrdinaryUser(dir.path(), [&](QString& shown) {
            doc.SetPathName(path);
            doc.DeleteContents();
            AddDay(40002.0, QStringLiteral("new"));
            const bool ok = doc.DoFileSave();
            shown = host.messages.join(QLatin1Char('|'));
            return ok ? 0 : 1;
        });
        EXPECT_EQ(result, 0) << text.toStdString();
        EXPECT_EQ(Slurp(path), saved);
        EXPECT_EQ(stated(path).st_ino, inode);
        EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{QStringLiteral("book.dat")}));
        const QStringList kept = QDir(backups).entryList(QDir::Files);
        ASSERT_EQ(kept.size(), 1);
        EXPECT_TRUE(kept[0].startsWith(QStringLiteral("book-"))) << kept[0].toStdString();
        EXPECT_EQ(Slurp(backups + QLatin1Char('/') + kept[0]), old);
        EXPECT_EQ(stated(backups + QLatin1Char('/') + kept[0]).st_mode & 0777, 0600u);
        EXPECT_EQ(stated(backups).st_mode & 0777, 0700u);
    }

    // In place, a sync that fails is a failed save and the bytes before it are written back.
    const auto [failed, failText] = AsOrdinaryUser(dir.path(), [&](QString& shown) {
        FaultyFileSystem fs;
        fs.Fail(FaultyFileSystem::Call::sync, EIO, QStringLiteral("shared/book.dat"), 1);
        host.fs = &fs;
        CTavrinoDoc failing;
        failing.SetHost(&host);
        failing.SetPathName(path);
        failing.CommitCurrentDay();
        host.messages.clear();
        const bool ok = failing.DoFileSave();
        host.fs = nullptr;
        shown = host.messages.join(QLatin1Char('|'));
        return ok ? 1 : 0;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(failText,
              path + QStringLiteral(" へのアクセス中にハードウェア I/O エラーが報告されました。"));
    EXPECT_EQ(Slurp(path), saved);

    // Another program rewrote the book and no question may be asked: both versions are kept,
    // this one in the documents folder, since no file can be made beside the book.
    const QByteArray other = Bytes().u32(1).record(40009.0, QStringLiteral("other"));
    const auto [copied, copyText] = AsOrdinaryUser(dir.path(), [&](QString& shown) {
        host.kind = PlatformKind::Handheld;
        if (!doc.OnOpenDocument(path))
            return 1;
        doc.SetPathName(path);
        QFile rewrite(path);
        if (!rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            rewrite.write(other) != other.size())
            return 2;
        rewrite.close();
        AddDay(40003.0, QStringLiteral("mine"));
        const bool ok = doc.DoFileSave() && host.notices.size() == 1;
        shown = doc.GetPathName();
        return ok ? 0 : 3;
    });
    const QString copy = QDir(host.docs).filePath(QStringLiteral("book.dat"));
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(copyText, copy);
    EXPECT_EQ(Slurp(path), other);
    EXPECT_EQ(Slurp(copy), QByteArray(Bytes()
                                          .u32(2)
                                          .record(40002.0, QStringLiteral("new"))
                                          .record(40003.0, QStringLiteral("mine"))));
    chmod(QFile::encodeName(shared).constData(), 0755);
}

} // namespace
