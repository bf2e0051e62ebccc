#include "platform/core/Archive.h"

#include "platform/core/CodePage932.h"
#include "platform/core/Exceptions.h"

#include <QIODevice>
#include <QtEndian>
#include <cerrno>
#include <cstring>

namespace {
constexpr qint64 kChunk = 64 * 1024;
constexpr quint64 kMaxLength = 0x7FFFFFFF;
} // namespace

CArchive::CArchive(QByteArrayView bytes, QString filePath)
    : m_mode(load), m_filePath(std::move(filePath)), m_in(bytes) {}

CArchive::CArchive(QIODevice* device, QString filePath)
    : m_device(device), m_mode(store), m_filePath(std::move(filePath)) {
    m_buffer.reserve(kChunk);
}

CArchive::~CArchive() = default;

void CArchive::Flush() {
    if (m_mode != store || m_buffer.isEmpty())
        return;
    errno = 0;
    const qint64 written = m_device->write(m_buffer);
    const int error = errno;
    if (written != m_buffer.size())
        throw CFileException(CFileException::CauseFromErrno(error ? error : ENOSPC), m_filePath);
    m_buffer.clear();
}

void CArchive::WriteRaw(const void* data, qint64 count) {
    m_buffer.append(static_cast<const char*>(data), count);
    if (m_buffer.size() >= kChunk)
        Flush();
}

void CArchive::WriteUInt32(quint32 value) {
    const quint32 le = qToLittleEndian(value);
    WriteRaw(&le, 4);
}

void CArchive::WriteDate(const COleDateTime& date) {
    WriteUInt32(date.m_status);
    quint64 bits;
    std::memcpy(&bits, &date.m_dt, 8);
    bits = qToLittleEndian(bits);
    WriteRaw(&bits, 8);
}

void CArchive::WriteString(const QString& text) {
    // Always the UTF-16 form: the marker FF FE FF, then the length in code units.
    static const char marker[3] = {'\xFF', '\xFE', '\xFF'};
    WriteRaw(marker, 3);
    const quint64 n = quint64(text.size());
    if (n < 0xFF) {
        const quint8 b = quint8(n);
        WriteRaw(&b, 1);
    } else if (n < 0xFFFE) {
        const quint8 b = 0xFF;
        const quint16 w = qToLittleEndian(quint16(n));
        WriteRaw(&b, 1);
        WriteRaw(&w, 2);
    } else if (n < 0xFFFFFFFF) {
        static const char prefix[3] = {'\xFF', '\xFF', '\xFF'};
        const quint32 d = qToLittleEndian(quint32(n));
        WriteRaw(prefix, 3);
        WriteRaw(&d, 4);
    } else {
        static const char prefix[7] = {'\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF'};
        const quint64 q = qToLittleEndian(n);
        WriteRaw(prefix, 7);
        WriteRaw(&q, 8);
    }
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        WriteRaw(text.constData(), qint64(n) * 2);
    } else {
        for (QChar c : text) {
            const quint16 u = qToLittleEndian(c.unicode());
            WriteRaw(&u, 2);
        }
    }
}

void CArchive::Require(qint64 count, qint64 itemStart, const char* item) const {
    // The writer may have died half way through a record: running out is a format error.
    if (count > BytesRemaining()) {
        const qint64 present = m_pos - itemStart + BytesRemaining();
        throw CArchiveException(
            CArchiveException::endOfFile,
            present == 0 ? QStringLiteral("the file ends before %1").arg(QLatin1StringView(item))
                         : QStringLiteral("the file ends inside %1, %2 byte%3 in")
                               .arg(QLatin1StringView(item))
                               .arg(present)
                               .arg(QLatin1StringView(present == 1 ? "" : "s")),
            itemStart);
    }
}

const char* CArchive::Take(qint64 count, qint64 itemStart, const char* item) {
    Require(count, itemStart, item);
    const char* data = m_in.data() + m_pos;
    m_pos += count;
    return data;
}

quint32 CArchive::ReadUInt32() {
    return qFromLittleEndian<quint32>(Take(4, m_pos, "a 4-byte number"));
}

void CArchive::ReadDate(COleDateTime& date) {
    // Kept exactly as stored: no cut to the calendar day, no check of the status.
    const qint64 start = m_pos;
    Require(12, start, "a 12-byte date");
    const quint32 status = qFromLittleEndian<quint32>(Take(4, start, "a 12-byte date"));
    const quint64 bits = qFromLittleEndian<quint64>(Take(8, start, "a 12-byte date"));
    std::memcpy(&date.m_dt, &bits, 8);
    date.m_status = static_cast<COleDateTime::DateTimeStatus>(status);
}

QString CArchive::ReadString() {
    const qint64 start = m_pos;
    const char* const prefix = "the string's marker and length";
    int unitSize = 1;
    quint64 length;
    const quint8 b = quint8(*Take(1, start, prefix));
    if (b < 0xFF) {
        length = b;
    } else {
        quint16 w = qFromLittleEndian<quint16>(Take(2, start, prefix));
        bool done = false;
        if (w == 0xFFFE) {
            unitSize = 2;
            const quint8 b2 = quint8(*Take(1, start, prefix));
            if (b2 < 0xFF) {
                length = b2;
                done = true;
            } else {
                w = qFromLittleEndian<quint16>(Take(2, start, prefix));
            }
        }
        if (!done) {
            if (w < 0xFFFF) {
                length = w;
            } else {
                const quint32 d = qFromLittleEndian<quint32>(Take(4, start, prefix));
                length = d < 0xFFFFFFFF ? d : qFromLittleEndian<quint64>(Take(8, start, prefix));
                if (length > kMaxLength)
                    throw CArchiveException(
                        CArchiveException::badIndex,
                        QStringLiteral("string length %1 is 2^31 or more").arg(length), start);
            }
        }
    }
    // Checked before anything is allocated: a length that runs past the end is damage.
    const qint64 bytes = qint64(length) * unitSize;
    if (bytes > BytesRemaining())
        throw CArchiveException(CArchiveException::endOfFile,
                                QStringLiteral("string length %1 (%2 bytes) runs past the end "
                                               "of the file, %3 bytes left")
                                    .arg(length)
                                    .arg(bytes)
                                    .arg(BytesRemaining()),
                                start);
    const char* data = Take(bytes, start, prefix);
    if (unitSize == 1)
        return DecodeCodePage932(QByteArrayView(data, bytes));
    QString text(qsizetype(length), Qt::Uninitialized);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        std::memcpy(text.data(), data, size_t(bytes));
    } else {
        for (qsizetype i = 0; i < qsizetype(length); ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(data + 2 * i));
    }
    return text;
}
