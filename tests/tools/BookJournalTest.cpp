// tavrino-book journal on a journal the planner's own writer wrote, torn at its end.

#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(BookJournal, PrintsHeaderAndWholeDaysAndReportsATornTail) {
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("予定.dat"));
    CRecoveryJournal journal(RecoveryFolder::Path(dir.path()), nullptr);
    CYoteiDay day;
    day.m_dayDate = COleDateTime(2026, 12, 8, 0, 0, 0);
    for (const QString& memo :
         {QStringLiteral("牛"), QStringLiteral("牛乳"), QStringLiteral("牛乳を")}) {
        day.SetMemo(memo);
        journal.RecordDay(day, book, FileIdentity{true, 156, 1700000000000, 0xDEADBEEF});
    }
    {
        QFile file(journal.FilePath());
        ASSERT_TRUE(file.resize(file.size() - 3)); // the last record torn
    }
    QProcess tool;
    tool.start(QStringLiteral(TAVRINO_BOOK_EXE), {QStringLiteral("journal"), journal.FilePath()});
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0);
    const QByteArray out = tool.readAllStandardOutput();
    EXPECT_TRUE(out.startsWith("{\"book\":")) << out.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(json["book"].toString(), book);
    EXPECT_EQ(json["base"]["size"].toInt(), 156);
    EXPECT_EQ(json["base"]["crc"].toDouble(), double(0xDEADBEEF));
    const QJsonArray days = json["days"].toArray();
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days[1]["memo"].toString(), QStringLiteral("牛乳"));
    EXPECT_EQ(days[1]["day"].toString(), QStringLiteral("2026-12-08"));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("torn last record"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("whole records before it: 3"))) << err.toStdString();

    // A flipped bit in the header hides none of the days: they are printed without a book, and
    // the damage is named.
    {
        QFile file(journal.FilePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[12] = char(bytes[12] ^ 0x04);
        file.seek(0);
        file.write(bytes);
    }
    QProcess damaged;
    damaged.start(QStringLiteral(TAVRINO_BOOK_EXE),
                  {QStringLiteral("journal"), journal.FilePath()});
    ASSERT_TRUE(damaged.waitForFinished(30000));
    EXPECT_EQ(damaged.exitCode(), 0);
    const QJsonObject headless = QJsonDocument::fromJson(damaged.readAllStandardOutput()).object();
    EXPECT_TRUE(headless["book"].isNull());
    EXPECT_EQ(headless["days"].toArray().size(), 2);
    const QString named = QString::fromUtf8(damaged.readAllStandardError());
    EXPECT_TRUE(named.contains(QStringLiteral("bad checksum at byte 0; passed over")))
        << named.toStdString();

    QProcess help;
    help.start(QStringLiteral(TAVRINO_BOOK_EXE), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(30000));
    EXPECT_TRUE(help.readAllStandardOutput().contains("  journal FILE"));
}

} // namespace
