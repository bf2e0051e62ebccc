#include "platform/core/Archive.h"

#include "platform/core/CodePage932.h"
#include "platform/core/Exceptions.h"

#include <QIODevice>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr quint64 kMaxLength = 0x7FFFFFFF;
} // namespace

CArchive::CArchive(QByteArrayView bytes, QString filePath)
    : m_mode(load), m_filePath(std::move(filePath)), m_in(bytes) {}

CArchive::CArchive(QIODevice* device, QString filePath)
    : m_device(device), m_mode(store), m_filePath(std::move(filePath)) {}

CArchive::~CArchive() = default;

void CArchive::Flush() {
    if (m_mode != store || m_stored == 0)
        return;
    errno = 0;
    const qint64 written = m_device->write(m_chunk, m_stored);
    const int error = errno;
    if (written != m_stored)
        throw CFileException(CFileException::CauseFromErrno(error ? error : ENOSPC), m_filePath);
    m_stored = 0;
}

void CArchive::WriteRawSlow(const char* data, qint64 count) {
    while (count > 0) {
        if (m_stored == kChunk)
            Flush();
        const qint64 n = std::min(count, kChunk - m_stored);
        std::memcpy(m_chunk + m_stored, data, size_t(n));
        m_stored += n;
        data += n;
        count -= n;
    }
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
    // Always the UTF-16 form: the marker FF FE FF, then the length in code units, put together
    // first and written in one piece.
    char prefix[18] = {'\xFF', '\xFE', '\xFF'};
    qsizetype size = 3;
    const auto put = [&](auto value) {
        value = qToLittleEndian(value);
        std::memcpy(prefix + size, &value, sizeof value);
        size += sizeof value;
    };
    const quint64 n = quint64(text.size());
    if (n < 0xFF) {
        put(quint8(n));
    } else if (n < 0xFFFE) {
        put(quint8(0xFF));
        put(quint16(n));
    } else if (n < 0xFFFFFFFF) {
        put(quint8(0xFF));
        put(quint16(0xFFFF));
        put(quint32(n));
    } else {
        put(quint8(0xFF));
        put(quint16(0xFFFF));
        put(quint32(0xFFFFFFFF));
        put(n);
    }
    WriteRaw(prefix, size);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        WriteRaw(text.constData(), qint64(n) * 2);
    } else {
        for (QChar c : text) {
            const quint16 u = qToLittleEndian(c.unicode());
            WriteRaw(&u, 2);
        }
    }
}

void CArchive::RaiseEndOfData(qint64 itemStart, const char* item) const {
    // The writer may have died half way through a record: running out is a format error.
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

QString CArchive::ReadString(const QString& likely) {
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
    if (unitSize == 1) {
        QString text = DecodeCodePage932(QByteArrayView(data, bytes));
        return text == likely ? likely : text;
    }
    // Most texts are empty: they share the one empty string and need no copy. A text equal to
    // likely is known before anything is allocated.
    if (length == 0)
        return QString(0, Qt::Uninitialized);
    if (qsizetype(length) == likely.size() && Q_BYTE_ORDER == Q_LITTLE_ENDIAN &&
        std::memcmp(data, likely.constData(), size_t(bytes)) == 0)
        return likely;
    QString text(qsizetype(length), Qt::Uninitialized);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        std::memcpy(text.data(), data, size_t(bytes));
    } else {
        for (qsizetype i = 0; i < qsizetype(length); ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(data + 2 * i));
    }
    return text;
}
