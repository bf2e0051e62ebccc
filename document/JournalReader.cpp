#include "document/JournalReader.h"

#include "platform/core/Crc32c.h"

#include <QtEndian>
#include <algorithm>

namespace JournalReader {

namespace {

// A power cut can leave the end of a file allocated but never written, which reads as zeros.
bool OnlyZerosFrom(const QByteArray& bytes, qint64 offset) {
    return std::all_of(bytes.cbegin() + offset, bytes.cend(), [](char c) { return c == 0; });
}

struct Frame {
    quint8 kind = 0;
    quint32 length = 0;
};

// Whether a whole, undamaged record starts at offset.
Damage CheckFrame(const QByteArray& bytes, qint64 offset, Frame& frame) {
    using namespace JournalFormat;
    const qint64 left = bytes.size() - offset;
    // The writer may have died half way through the frame itself ...
    if (left < kFrameSize)
        return Damage::tornTail;
    const char* at = bytes.constData() + offset;
    const quint32 crc = qFromLittleEndian<quint32>(at);
    frame.length = qFromLittleEndian<quint32>(at + 4);
    frame.kind = quint8(at[8]);
    if (frame.length > kMaxPayload)
        return Damage::badLength;
    // ... or half way through the payload.
    if (qint64(frame.length) > left - kFrameSize)
        return Damage::tornTail;
    if (Crc32c(at + kFrameSize, frame.length, Crc32c(&frame.kind, 1)) != crc)
        return Damage::badChecksum;
    return Damage::none;
}

// The next offset after from where a whole record of a known kind starts; -1 when none does.
qint64 NextWholeRecord(const QByteArray& bytes, qint64 from) {
    using namespace JournalFormat;
    for (qint64 offset = from; offset + kFrameSize <= bytes.size(); ++offset) {
        const quint8 kind = quint8(bytes[offset + 8]);
        Frame frame;
        if ((kind == kHeaderKind || kind == kDayKind) &&
            CheckFrame(bytes, offset, frame) == Damage::none)
            return offset;
    }
    return -1;
}

} // namespace

bool Contents::IsDamaged() const {
    return std::any_of(damages.begin(), damages.end(),
                       [](const auto& d) { return d.first != Damage::tornTail; });
}

Contents Read(const QByteArray& bytes) {
    using namespace JournalFormat;
    Contents contents;
    const qint64 total = bytes.size();
    qint64 offset = 0;
    const auto note = [&](Damage damage, qint64 at) {
        if (contents.damage == Damage::none) {
            contents.damage = damage;
            contents.damageOffset = at;
        }
        contents.damages.emplace_back(damage, at);
    };
    while (offset < total) {
        if (OnlyZerosFrom(bytes, offset)) {
            note(Damage::tornTail, offset);
            break;
        }
        Frame frame;
        if (const Damage damage = CheckFrame(bytes, offset, frame); damage != Damage::none) {
            // A damaged record hides nothing after it: reading goes on at the next whole one.
            // Where none follows, a short record is simply the torn end.
            const qint64 next = NextWholeRecord(bytes, offset + 1);
            if (next < 0) {
                note(damage, offset);
                break;
            }
            note(damage == Damage::tornTail ? Damage::badLength : damage, offset);
            offset = next;
            continue;
        }
        const QByteArray payload = bytes.mid(offset + kFrameSize, frame.length);
        const qint64 recordEnd = offset + kFrameSize + frame.length;
        if (frame.kind == kHeaderKind) {
            Header header;
            if (!ReadHeaderPayload(payload, header)) {
                note(Damage::badRecord, offset);
                offset = recordEnd;
                continue;
            }
            if (contents.hasHeader || !contents.days.empty()) {
                // Two planners never share a journal, so a header naming another book is foreign
                // matter, and nothing after it belongs to this book. One that names the same
                // book adds nothing and is passed over.
                if (contents.hasHeader && header.bookPath != contents.header.bookPath) {
                    note(Damage::otherBook, offset);
                    break;
                }
                if (!contents.hasHeader) {
                    // Days came first: this header is not theirs to vouch for.
                    note(Damage::otherBook, offset);
                    break;
                }
            } else {
                contents.hasHeader = true;
                contents.header = header;
            }
        } else if (frame.kind == kDayKind) {
            CYoteiDay day;
            if (!ReadDayPayload(payload, day)) {
                note(Damage::badRecord, offset);
                offset = recordEnd;
                continue;
            }
            // A day with no header before it: the header is damaged, and the days are kept
            // without the book they belong to.
            if (!contents.hasHeader && contents.days.empty())
                note(Damage::noHeader, offset);
            contents.days.push_back(std::move(day));
        } else {
            note(Damage::unknownKind, offset);
            offset = recordEnd;
            continue;
        }
        ++contents.wholeRecords;
        offset = recordEnd;
    }
    return contents;
}

const char* DamageName(Damage damage) {
    switch (damage) {
    case Damage::none:
        return "none";
    case Damage::tornTail:
        return "torn last record (the writer stopped half way)";
    case Damage::badChecksum:
        return "bad checksum";
    case Damage::badLength:
        return "bad record length";
    case Damage::unknownKind:
        return "unknown record kind";
    case Damage::badRecord:
        return "record that is not a day or a header";
    case Damage::noHeader:
        return "no journal header";
    case Damage::otherBook:
        return "header of another book";
    }
    return "unknown";
}

} // namespace JournalReader
