// The book tool never writes a book behind a planner's back: not one a running planner holds, and
// not one that someone else wrote between the tool's read and its write.

#include "../core/CoreTestSupport.h"
#include "document/BookLock.h"
#include "tools/book/BookImport.h"
#include "tools/book/BookIo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const char kEvent[] = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
                      "BEGIN:VEVENT\r\nUID:a@test\r\nDTSTAMP:20260101T000000Z\r\n"
                      "DTSTART:20261208T090000\r\nDTEND:20261208T100000\r\nSUMMARY:会議\r\n"
                      "END:VEVENT\r\nEND:VCALENDAR\r\n";

class BookSaveGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The tool keeps its locks and backups in the planner's data folder: here, this one.
        QCoreApplication::setOrganizationName(QStringLiteral("VELKORAN"));
        QCoreApplication::setApplicationName(QStringLiteral("Tavrino"));
        m_oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        book = PutFile(dir, QStringLiteral("book.dat"), WorkedExampleBook());
        PutFile(dir, QStringLiteral("work.ics"), kEvent);
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_oldData); }
    QString DataFolder() const { return dir.filePath(QStringLiteral("data/VELKORAN/Tavrino")); }

    QTemporaryDir dir;
    QString book;
    QByteArray m_oldData;
};

// While a planner (here: this process) holds the book, build and import refuse it with the
// planner's text and leave it alone; reading it and a dry run go on.
TEST_F(BookSaveGuardTest, ABookAPlannerHoldsIsNotWritten) {
    BookLock planner(DataFolder(), book);
    ASSERT_TRUE(planner.TryLock());
    ASSERT_TRUE(planner.IsLocked());
    PutFile(dir, QStringLiteral("empty.json"), "{\"days\":[]}");
    const QString held =
        BookLock::CanonicalBookPath(book) + QStringLiteral(" は他の Tavrino で使用中です。");
    const QList<QStringList> writes = {
        {QStringLiteral("build"), dir.filePath(QStringLiteral("empty.json")), book},
        {QStringLiteral("import"), QStringLiteral("--format=ics"),
         QStringLiteral("--from=2026-01-01"), QStringLiteral("--to=2026-12-31"),
         dir.filePath(QStringLiteral("work.ics")), book}};
    for (const QStringList& args : writes) {
        SCOPED_TRACE(args[0].toStdString());
        QProcess tool;
        tool.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
        ASSERT_TRUE(tool.waitForFinished(30000));
        EXPECT_EQ(tool.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(tool.readAllStandardError()).trimmed(), held);
        EXPECT_EQ(ReadAll(book), WorkedExampleBook());
    }
    QProcess dryRun;
    dryRun.start(QStringLiteral(TAVRINO_BOOK_EXE),
                 {QStringLiteral("import"), QStringLiteral("--format=ics"),
                  QStringLiteral("--dry-run"), QStringLiteral("--from=2026-01-01"),
                  QStringLiteral("--to=2026-12-31"), dir.filePath(QStringLiteral("work.ics")),
                  book});
    ASSERT_TRUE(dryRun.waitForFinished(30000));
    EXPECT_EQ(dryRun.exitCode(), 0);
    EXPECT_TRUE(dryRun.readAllStandardOutput().contains("2026-12-08 row 1: 09:00"));

    // Once the planner lets go, the import goes through.
    planner.Unlock();
    QProcess import;
    import.start(QStringLiteral(TAVRINO_BOOK_EXE), writes[1]);
    ASSERT_TRUE(import.waitForFinished(30000));
    EXPECT_EQ(import.exitCode(), 0) << import.readAllStandardError().toStdString();
    EXPECT_NE(ReadAll(book), WorkedExampleBook());
}

// A planner saves the book while the import works on it: the import's write sees other bytes
// than it read and leaves the planner's book alone.
TEST_F(BookSaveGuardTest, ABookChangedSinceTheToolReadItIsNotOverwritten) {
    const QByteArray planners = Bytes().u32(1).record(40002.0, QStringLiteral("planner"));
    FaultyFileSystem fs;
    // The write's own read of the old bytes is the first the seam sees; just before it, the
    // planner's save lands.
    fs.Before(
        FaultyFileSystem::Call::open, [&] { PutFile(dir, QStringLiteral("book.dat"), planners); },
        QStringLiteral("/book.dat"));
    BookImport::Request rq;
    rq.format = QStringLiteral("ics");
    rq.inName = QStringLiteral("work.ics");
    rq.input = kEvent;
    rq.book = book;
    rq.from = QDate(2026, 1, 1);
    rq.to = QDate(2026, 12, 31);
    rq.fileSystem = &fs;
    const BookImport::Outcome outcome = BookImport::Run(rq);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.errors,
              QStringList{book + QStringLiteral(" は読み込んだ後に他のプログラムによって変更された"
                                                "ため、書き込みませんでした。")});
    EXPECT_EQ(ReadAll(book), planners);

    // build's guard is the same write: what OUT held when the tool began.
    const FileIdentity before = BookIo::Identify(book);
    PutFile(dir, QStringLiteral("book.dat"), WorkedExampleBook());
    const BookIo::WriteResult written = BookIo::Write(book, DayList(), before);
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(ReadAll(book), WorkedExampleBook());
    EXPECT_TRUE(BookIo::Write(book, DayList(), BookIo::Identify(book)).ok);
    EXPECT_EQ(ReadAll(book).toHex(), QByteArray("00000000"));
}

} // namespace
