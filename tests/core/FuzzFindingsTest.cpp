// Damaged and unusual book files met while fuzzing the reader, with what opening them must give:
// the message shown (or success), the open book untouched on failure, and no crash.

#include "CoreTestSupport.h"
#include "document/TavrinoDoc.h"
#include "platform/core/Document.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

namespace {

const QString kUnexpectedFormat = QStringLiteral("予期しないファイル形式です。");
const QString kFailedToOpen = QStringLiteral("ドキュメントを開くことに失敗しました。");

QByteArray U32(quint32 v) {
    return Bytes().u32(v);
}

QByteArray U64(quint64 v) {
    return Bytes().le(v);
}

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

const QByteArray kEmptyWide = Hex("fffeff00");

// A one-record book whose heading is the given string encoding and whose other 32 strings are
// empty: what the hostile lengths below are wrapped in.
QByteArray BookWithHeading(const QByteArray& heading) {
    QByteArray b = U32(1) + U32(0) + U64(0x40E3882000000000ull) + heading;
    for (int i = 0; i < 32; ++i)
        b += kEmptyWide;
    return b;
}

struct Outcome {
    bool ok = false;
    QStringList messages;
    std::size_t days = 0;
    bool untouched = false; // the book open before is still there, still modified
};

class FuzzFindings : public ::testing::Test {
protected:
    Outcome Open(const QByteArray& bytes) {
        const QString path = PutFile(dir, QStringLiteral("book.dat"), bytes);

        RecordingHost host;
        CTavrinoDoc doc;
        doc.SetHost(&host);
        doc.ResetCurrentDay(COleDateTime(2020, 2, 29, 0, 0, 0));
        doc.SetMemo(QStringLiteral("開いていた帳"));
        doc.CommitCurrentDay();
        const CYoteiDay before = *doc.m_days.front();

        Outcome out;
        out.ok = doc.OnOpenDocument(path);
        out.messages = host.messages;
        out.days = doc.m_days.size();
        out.untouched = doc.m_days.size() == 1 && *doc.m_days.front() == before && doc.IsModified();
        if (out.ok)
            loaded = std::move(doc.m_days);
        return out;
    }

    void ExpectFailure(const QByteArray& bytes, const QString& message) {
        const Outcome out = Open(bytes);
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.messages, QStringList{message});
        EXPECT_TRUE(out.untouched);
    }

    // Saves what was loaded last and loads it again: the same days must come back.
    void ExpectRoundTrip() {
        CTavrinoDoc doc;
        RecordingHost host;
        doc.SetHost(&host);
        for (const auto& day : loaded)
            doc.m_days.push_back(std::make_unique<CYoteiDay>(*day));
        const QString path = dir.filePath(QStringLiteral("saved.dat"));
        ASSERT_TRUE(doc.OnSaveDocument(path));
        CTavrinoDoc again;
        again.SetHost(&host);
        ASSERT_TRUE(again.OnOpenDocument(path));
        ASSERT_EQ(again.m_days.size(), loaded.size());
        for (std::size_t i = 0; i < loaded.size(); ++i)
            EXPECT_TRUE(*again.m_days[i] == *loaded[i]) << "day " << i;
        EXPECT_TRUE(host.messages.isEmpty());
    }

    QTemporaryDir dir;
    DayList loaded;
};

TEST_F(FuzzFindings, LengthsOfTwoGigabytesOrMoreFailToOpenBeforeTheEndIsChecked) {
    // Found by the fuzzer: an 8-bit heading whose 32-bit length is FEFF00FF, with 3 bytes
    // left. The length itself is refused, not the missing bytes.
    ExpectFailure(Hex("2eff0060feff00fffeff00fffeff00ffffffffff00fffe"), kFailedToOpen);
    ExpectFailure(BookWithHeading(Hex("fffeff ffffff") + U32(0x80000000)), kFailedToOpen);
    ExpectFailure(BookWithHeading(Hex("fffeff ffffff ffffffff") + U64(~0ull)), kFailedToOpen);
    ExpectFailure(BookWithHeading(Hex("ffffff ffffffff") + U64(1ull << 63)), kFailedToOpen);
    ExpectFailure(BookWithHeading(Hex("ffffff ffffffff") + U64(0x80000000)), kFailedToOpen);
}

TEST_F(FuzzFindings, LengthsJustBelowTwoGigabytesThatRunPastTheEndAreUnexpectedFormat) {
    ExpectFailure(BookWithHeading(Hex("fffeff ffffff") + U32(0x7FFFFFFF)), kUnexpectedFormat);
    ExpectFailure(BookWithHeading(Hex("ffffff") + U32(0x7FFFFFFF)), kUnexpectedFormat);
    ExpectFailure(BookWithHeading(Hex("fffeff ffffff ffffffff") + U64(0x7FFFFFFF)),
                  kUnexpectedFormat);
    // 300 units announced in the 16-bit form, 2 present.
    ExpectFailure(BookWithHeading(Hex("fffeff ff2c01 41004200")), kUnexpectedFormat);
}

TEST_F(FuzzFindings, EveryCutOfAGoodFileIsUnexpectedFormatAndAnEmptyFileIsAnEmptyBook) {
    const QByteArray full = WorkedExampleBook();
    ASSERT_EQ(full.size(), 156);
    for (int length = 1; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        ExpectFailure(full.left(length), kUnexpectedFormat);
    }
    const Outcome empty = Open(QByteArray());
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.messages.isEmpty());
    EXPECT_EQ(empty.days, 0u);

    const Outcome whole = Open(full);
    ASSERT_TRUE(whole.ok);
    ASSERT_EQ(whole.days, 1u);
    EXPECT_EQ(loaded[0]->GetTime(0), QStringLiteral("08"));
    EXPECT_EQ(loaded[0]->GetPlan(0), QStringLiteral("会議"));
    ExpectRoundTrip();
}

TEST_F(FuzzFindings, RecordCountsNoWriterMakesAreUnexpectedFormat) {
    // Counts from 80000001 on, and a count of 0 with more bytes after it, are no book.
    for (quint32 count : {0x80000001u, 0xC0000000u, 0xFFFFFFFFu, 0u}) {
        SCOPED_TRACE(count);
        ExpectFailure(U32(count) + Hex("deadbeef ffffff"), kUnexpectedFormat);
    }
    // 80000000 is the last count that is read: the one record present is not enough.
    ExpectFailure(U32(0x80000000u) + WorkedExampleBook().mid(4), kUnexpectedFormat);
    ExpectFailure(U32(0x7FFFFFFFu) + WorkedExampleBook().mid(4), kUnexpectedFormat);
    // Two records announced, one present, then stray bytes: nothing of it is taken.
    ExpectFailure(U32(2) + WorkedExampleBook().mid(4) + Hex("0000"), kUnexpectedFormat);
}

TEST_F(FuzzFindings, OddStatusesAndTinyDatesOfNarrowRecordsSurviveARoundTrip) {
    // Found by the fuzzer: nine records of one-byte empty 8-bit strings, the first with status
    // 01007474, the second with a denormal date, and a stray byte at the end.
    QByteArray bytes = U32(9);
    for (int i = 0; i < 9; ++i)
        bytes += QByteArray(45, '\0');
    bytes += '\0';
    bytes[4] = '\x74';
    bytes[5] = '\x74';
    bytes[7] = '\x01';
    bytes[55] = '\x24';
    ASSERT_EQ(bytes.size(), 410);

    const Outcome out = Open(bytes);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(out.messages.isEmpty());
    ASSERT_EQ(out.days, 9u);
    EXPECT_EQ(quint32(loaded[0]->m_dayDate.m_status), 0x01007474u);
    EXPECT_EQ(loaded[1]->m_dayDate.m_status, COleDateTime::valid);
    quint64 bits = 0;
    std::memcpy(&bits, &loaded[1]->m_dayDate.m_dt, 8);
    EXPECT_EQ(bits, 0x240000ull);
    EXPECT_TRUE(loaded[8]->GetMemo().isEmpty());
    ExpectRoundTrip();
}

TEST_F(FuzzFindings, EightBitTextInEveryLengthFormDecodesAsCodePage932) {
    // 七夕 in the byte form, the 32-bit form and the 64-bit form, and a lone lead byte at the
    // end of the text.
    const Outcome a = Open(BookWithHeading(Hex("04 8eb5975b")));
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(loaded[0]->GetHeading(), QStringLiteral("七夕"));
    const Outcome b = Open(BookWithHeading(Hex("ffffff 04000000 8eb5975b")));
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(loaded[0]->GetHeading(), QStringLiteral("七夕"));
    const Outcome c = Open(BookWithHeading(Hex("ffffff ffffffff 0300000000000000 8eb581")));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(loaded[0]->GetHeading(), QStringLiteral("七・"));
    ExpectRoundTrip();
}

} // namespace
