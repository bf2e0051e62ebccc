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

} // namespace

Contents Read(const QByteArray& bytes) {
    using namespace JournalFormat;
    Contents contents;
    const qint64 total = bytes.size();
    qint64 offset = 0;
    auto stop = [&](Damage damage) {
        contents.damage = damage;
        contents.damageOffset = offset;
        return contents;
    };
    while (offset < total) {
        if (OnlyZerosFrom(bytes, offset))
            return stop(Damage::tornTail);
        // The writer may have died half way through the frame itself.
        if (total - offset < kFrameSize)
            return stop(Damage::tornTail);
        const char* frame = bytes.constData() + offset;
        const quint32 crc = qFromLittleEndian<quint32>(frame);
        const quint32 length = qFromLittleEndian<quint32>(frame + 4);
        const quint8 kind = quint8(frame[8]);
        if (length > kMaxPayload)
            return stop(Damage::badLength);
        // ... or half way through the payload.
        if (qint64(length) > total - offset - kFrameSize)
            return stop(Damage::tornTail);
        const QByteArray payload = bytes.mid(offset + kFrameSize, length);
        if (Crc32c(payload.constData(), payload.size(), Crc32c(&kind, 1)) != crc)
            return stop(Damage::badChecksum);

        if (kind == kHeaderKind) {
            Header header;
            if (!ReadHeaderPayload(payload, header))
                return stop(contents.hasHeader ? Damage::badRecord : Damage::noHeader);
            if (contents.hasHeader) {
                // Two planners never share a journal, so a second header is foreign matter; one
                // that names the same book adds nothing and is passed over.
                if (header.bookPath != contents.header.bookPath)
                    return stop(Damage::otherBook);
            } else {
                contents.hasHeader = true;
                contents.header = header;
            }
        } else if (!contents.hasHeader) {
            return stop(Damage::noHeader);
        } else if (kind == kDayKind) {
            CYoteiDay day;
            if (!ReadDayPayload(payload, day))
                return stop(Damage::badRecord);
            contents.days.push_back(std::move(day));
        } else {
            return stop(Damage::unknownKind);
        }
        ++contents.wholeRecords;
        offset += kFrameSize + length;
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
