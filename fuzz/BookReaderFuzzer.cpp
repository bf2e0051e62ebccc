// Feeds arbitrary bytes to the book reader, both directly and through the document, and holds
// the reader to what it promises: damage is reported, never crashed on; a failed load leaves
// the open book alone; what loads, saves and loads again to the very same book.

#include "document/BookFile.h"
#include "document/TavrinoDoc.h"
#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdio>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

void Check(bool ok, const char* what) {
    if (!ok)
        Fail(what);
}

bool SameDays(const DayList& a, const DayList& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!(*a[i] == *b[i]))
            return false;
    }
    return true;
}

// What a load came to: success or the kind of damage.
enum class Verdict { ok, endOfFile, badIndex, badSchema, otherArchive, file, memory, other };

Verdict VerdictOf(const CException& e) {
    if (const auto* ae = dynamic_cast<const CArchiveException*>(&e)) {
        switch (ae->m_cause) {
        case CArchiveException::endOfFile:
            return Verdict::endOfFile;
        case CArchiveException::badIndex:
            return Verdict::badIndex;
        case CArchiveException::badSchema:
            return Verdict::badSchema;
        default:
            return Verdict::otherArchive;
        }
    }
    if (dynamic_cast<const CFileException*>(&e))
        return Verdict::file;
    if (dynamic_cast<const CMemoryException*>(&e))
        return Verdict::memory;
    return Verdict::other;
}

Verdict LoadDocument(CTavrinoDoc& doc, const QByteArray& bytes, qint64* leftOver = nullptr) {
    // The archive reads the fuzzer's own bytes, not a copy, so reading past the end is caught.
    try {
        CArchive ar(bytes, QStringLiteral("fuzz.dat"));
        doc.Serialize(ar);
        if (leftOver)
            *leftOver = ar.BytesRemaining();
        return Verdict::ok;
    } catch (const CException& e) {
        return VerdictOf(e);
    }
}

QByteArray SaveDocument(CTavrinoDoc& doc) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    try {
        CArchive ar(&out, QStringLiteral("fuzz.dat"));
        doc.Serialize(ar);
        ar.Flush();
    } catch (const CException&) {
        Fail("writing a loaded book into memory failed");
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* chars = reinterpret_cast<const char*>(data);

    // The reader on its own.
    DayList direct;
    Verdict directVerdict = Verdict::ok;
    {
        try {
            CArchive ar(QByteArrayView(chars, qsizetype(size)), QStringLiteral("fuzz.dat"));
            BookFile::ReadDays(ar, CYoteiDay::kRows, direct);
        } catch (const CException& e) {
            directVerdict = VerdictOf(e);
        }
    }

    // The document, with a book already open that a failed load must not touch.
    CTavrinoDoc doc;
    auto sentinel = std::make_unique<CYoteiDay>();
    sentinel->m_dayDate = COleDateTime(2009, 7, 7, 0, 0, 0);
    sentinel->SetPlan(0, QStringLiteral("会議"));
    const CYoteiDay sentinelCopy = *sentinel;
    doc.m_days.push_back(std::move(sentinel));

    const QByteArray input = QByteArray::fromRawData(chars, qsizetype(size));
    const Verdict docVerdict = LoadDocument(doc, input);
    Check(docVerdict == directVerdict, "the document and the reader disagree on the verdict");
    if (docVerdict != Verdict::ok) {
        Check(doc.m_days.size() == 1 && *doc.m_days[0] == sentinelCopy,
              "a failed load changed the open book");
        return 0;
    }
    Check(SameDays(doc.GetDays(), direct), "the document read other days than the reader");

    // Save and load again: the same book, and the saved form is stable.
    const QByteArray saved = SaveDocument(doc);
    CTavrinoDoc again;
    qint64 leftOver = -1;
    Check(LoadDocument(again, saved, &leftOver) == Verdict::ok, "a saved book does not load");
    Check(leftOver == 0, "a saved book has bytes the reader does not take");
    Check(SameDays(again.GetDays(), doc.GetDays()), "a saved book loads as another book");
    Check(SaveDocument(again) == saved, "saving a reloaded book gives other bytes");

    // What the view does next with whatever dates the file held.
    if (!doc.m_days.empty()) {
        const COleDateTime first = doc.m_days.front()->m_dayDate;
        const COleDateTime last = doc.m_days.back()->m_dayDate;
        doc.SelectDay(first);
        doc.CommitCurrentDay();
        doc.SelectDay(last);
        doc.SetMemo(doc.GetMemo() + QStringLiteral("追記"));
        doc.CommitCurrentDay();
        (void)doc.FindDayPosition(first);
    }
    return 0;
}
