#include "document/JournalFormat.h"

#include "document/BookFile.h"
#include "platform/core/Archive.h"
#include "platform/core/Crc32c.h"
#include "platform/core/Exceptions.h"

#include <QBuffer>
#include <QtEndian>
#include <new>

namespace JournalFormat {

namespace {

void WriteUInt64(CArchive& ar, quint64 value) {
    ar.WriteUInt32(quint32(value));
    ar.WriteUInt32(quint32(value >> 32));
}

quint64 ReadUInt64(CArchive& ar) {
    const quint64 low = ar.ReadUInt32();
    return low | (quint64(ar.ReadUInt32()) << 32);
}

// Runs body over an archive that stores into the returned bytes.
template <typename Body>
QByteArray Store(Body body) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, QString());
    body(ar);
    ar.Flush();
    return bytes;
}

// Runs body over an archive that loads payload; false when it ran out of bytes, met a bad
// length or left bytes unread (a payload is exactly one header or one day).
template <typename Body>
bool Load(const QByteArray& payload, Body body) {
    try {
        CArchive ar{QByteArrayView(payload), QString()};
        body(ar);
        return ar.BytesRemaining() == 0;
    } catch (const CException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

QByteArray Record(Kind kind, const QByteArray& payload) {
    QByteArray record(kFrameSize, Qt::Uninitialized);
    const quint8 kindByte = kind;
    const quint32 crc = Crc32c(payload.constData(), payload.size(), Crc32c(&kindByte, 1));
    qToLittleEndian<quint32>(crc, record.data());
    qToLittleEndian<quint32>(quint32(payload.size()), record.data() + 4);
    record[8] = char(kindByte);
    record += payload;
    return record;
}

QByteArray HeaderPayload(const Header& header) {
    return Store([&](CArchive& ar) {
        ar.WriteUInt32(kMagic);
        ar.WriteUInt32(kVersion);
        WriteUInt64(ar, quint64(header.createdMsecs));
        ar.WriteString(header.bookPath);
        ar.WriteUInt32(header.base.exists ? 1 : 0);
        WriteUInt64(ar, quint64(header.base.size));
        WriteUInt64(ar, quint64(header.base.modifiedMsecs));
        ar.WriteUInt32(header.base.crc);
    });
}

QByteArray DayPayload(const CYoteiDay& day) {
    return Store([&](CArchive& ar) { BookFile::WriteDayRecord(ar, CYoteiDay::kRows, day); });
}

DayEncoder::DayEncoder()
    : m_device(std::make_unique<QBuffer>(&m_bytes)),
      m_archive((m_device->open(QIODevice::WriteOnly),
                 std::make_unique<CArchive>(m_device.get(), QString()))) {}

DayEncoder::~DayEncoder() = default;

QByteArray DayEncoder::Encode(const CYoteiDay& day) {
    m_device->seek(0);
    BookFile::WriteDayRecord(*m_archive, CYoteiDay::kRows, day);
    m_archive->Flush();
    QByteArray payload = m_bytes.left(m_device->pos());
    return payload;
}

bool ReadHeaderPayload(const QByteArray& payload, Header& header) {
    Header read;
    bool known = false;
    const bool whole = Load(payload, [&](CArchive& ar) {
        known = ar.ReadUInt32() == kMagic && ar.ReadUInt32() == kVersion;
        if (!known)
            return;
        read.createdMsecs = qint64(ReadUInt64(ar));
        read.bookPath = ar.ReadString();
        const quint32 exists = ar.ReadUInt32();
        known = exists <= 1;
        read.base.exists = exists == 1;
        read.base.size = qint64(ReadUInt64(ar));
        read.base.modifiedMsecs = qint64(ReadUInt64(ar));
        read.base.crc = ar.ReadUInt32();
    });
    if (!whole || !known)
        return false;
    header = read;
    return true;
}

bool ReadDayPayload(const QByteArray& payload, CYoteiDay& day) {
    CYoteiDay read;
    if (!Load(payload, [&](CArchive& ar) { BookFile::ReadDayRecord(ar, CYoteiDay::kRows, read); }))
        return false;
    day = read;
    return true;
}

} // namespace JournalFormat
