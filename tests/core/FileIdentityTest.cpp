#include "platform/core/FileIdentity.h"
#include "platform/core/Crc32c.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

void SetModified(const QString& path, qint64 msecs) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC),
                              QFileDevice::FileModificationTime));
}

// Both forms, the processor's instruction where there is one and the tables: the known value,
// and every split of a text longer than the eight-byte stride gives the whole text's value.
TEST(Crc32c, KnownValueAndPiecewiseFeeding) {
    for (auto crc32c : {&Crc32c, &Crc32cPortable}) {
        const QByteArray check("123456789");
        EXPECT_EQ(crc32c(check.constData(), check.size(), 0), 0xE3069283u);
        EXPECT_EQ(crc32c(nullptr, 0, 0), 0u);
        const QByteArray text = QByteArray("the book of a hundred years, ").repeated(3);
        const quint32 whole = crc32c(text.constData(), text.size(), 0);
        for (int cut = 0; cut <= text.size(); ++cut)
            EXPECT_EQ(
                crc32c(text.constData() + cut, text.size() - cut, crc32c(text.constData(), cut, 0)),
                whole)
                << cut;
    }
}

TEST(FileIdentity, JudgesByBytesNotByTime) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.dat"));
    Write(path, "abcdefgh");
    SetModified(path, 1'700'000'000'000);
    const FileIdentity read = FileIdentity::OfFile(path);
    ASSERT_TRUE(read.exists);
    EXPECT_EQ(read, FileIdentity::OfBytes(path, "abcdefgh"));
    EXPECT_EQ(read.CompareWith(path), FileIdentity::Change::unchanged);

    // A touch, or a file system that rounds times, is no change.
    SetModified(path, 1'700'000'002'000);
    EXPECT_EQ(read.CompareWith(path), FileIdentity::Change::unchanged);

    // Other bytes of the same size are a change.
    Write(path, "abcdefgX");
    SetModified(path, 1'700'000'004'000);
    EXPECT_EQ(read.CompareWith(path), FileIdentity::Change::changed);

    QFile::remove(path);
    EXPECT_EQ(read.CompareWith(path), FileIdentity::Change::vanished);
    // Where there was no file, one appearing is a change and none is nothing.
    const FileIdentity none = FileIdentity::OfFile(path);
    EXPECT_FALSE(none.exists);
    EXPECT_EQ(none.CompareWith(path), FileIdentity::Change::unchanged);
    Write(path, "");
    EXPECT_EQ(none.CompareWith(path), FileIdentity::Change::changed);
}

} // namespace
