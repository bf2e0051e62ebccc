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

CArchive::CArchive(QIODevice* device, Mode mode, QString filePath)
    : m_device(device), m_mode(mode), m_filePath(std::move(filePath)) {
    if (m_mode == load) {
        // A sequential device tells only what it has at hand; a file tells its whole size.
        m_deviceRemaining = m_device->isSequential() ? m_device->bytesAvailable()
                                                     : m_device->size() - m_device->pos();
    } else {
        m_buffer.reserve(kChunk);
    }
}

CArchive::~CArchive() = default;

void CArchive::ThrowFileError(int error) const {
    throw CFileException(error ? CFileException::CauseFromErrno(error)
                               : CFileException::genericException,
                         m_filePath);
}

void CArchive::Flush() {
    if (m_mode != store || m_buffer.isEmpty())
        return;
    errno = 0;
    const qint64 written = m_device->write(m_buffer);
    const int error = errno;
    if (written != m_buffer.size())
        ThrowFileError(error ? error : ENOSPC);
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

qint64 CArchive::BytesRemaining() const {
    return (m_buffer.size() - m_bufferPos) + m_deviceRemaining;
}

void CArchive::Require(qint64 count) {
    // The writer may have died half way through a record: running out is a format error.
    if (count > BytesRemaining())
        throw CArchiveException(CArchiveException::endOfFile);
    if (m_buffer.size() - m_bufferPos >= count)
        return;
    m_buffer.remove(0, m_bufferPos);
    m_bufferPos = 0;
    const qint64 want = std::min(m_deviceRemaining, std::max(count - m_buffer.size(), kChunk));
    const qint64 oldSize = m_buffer.size();
    m_buffer.resize(oldSize + want);
    errno = 0;
    const qint64 got = m_device->read(m_buffer.data() + oldSize, want);
    const int error = errno;
    if (got < 0) {
        m_buffer.resize(oldSize);
        ThrowFileError(error ? error : EIO);
    }
    m_buffer.resize(oldSize + got);
    m_deviceRemaining -= got;
    if (got < want && m_buffer.size() < count) {
        // The file shrank under us.
        m_deviceRemaining = 0;
        throw CArchiveException(CArchiveException::endOfFile);
    }
}

void CArchive::ReadRaw(void* out, qint64 count) {
    Require(count);
    std::memcpy(out, m_buffer.constData() + m_bufferPos, size_t(count));
    m_bufferPos += count;
}

quint8 CArchive::ReadUInt8() {
    quint8 v;
    ReadRaw(&v, 1);
    return v;
}

quint16 CArchive::ReadUInt16() {
    quint16 v;
    ReadRaw(&v, 2);
    return qFromLittleEndian(v);
}

quint32 CArchive::ReadUInt32() {
    quint32 v;
    ReadRaw(&v, 4);
    return qFromLittleEndian(v);
}

quint64 CArchive::ReadUInt64() {
    quint64 v;
    ReadRaw(&v, 8);
    return qFromLittleEndian(v);
}

void CArchive::ReadDate(COleDateTime& date) {
    // Kept exactly as stored: no cut to the calendar day, no check of the status.
    const quint32 status = ReadUInt32();
    const quint64 bits = ReadUInt64();
    std::memcpy(&date.m_dt, &bits, 8);
    date.m_status = static_cast<COleDateTime::DateTimeStatus>(status);
}

QString CArchive::ReadString() {
    int unitSize = 1;
    quint64 length;
    const quint8 b = ReadUInt8();
    if (b < 0xFF) {
        length = b;
    } else {
        quint16 w = ReadUInt16();
        bool done = false;
        if (w == 0xFFFE) {
            unitSize = 2;
            const quint8 b2 = ReadUInt8();
            if (b2 < 0xFF) {
                length = b2;
                done = true;
            } else {
                w = ReadUInt16();
            }
        }
        if (!done) {
            if (w < 0xFFFF) {
                length = w;
            } else {
                const quint32 d = ReadUInt32();
                length = d < 0xFFFFFFFF ? d : ReadUInt64();
                if (length > kMaxLength)
                    throw CArchiveException(CArchiveException::badIndex);
            }
        }
    }
    // Checked before anything is allocated: a length that runs past the end is damage.
    const qint64 bytes = qint64(length) * unitSize;
    Require(bytes);
    const char* data = m_buffer.constData() + m_bufferPos;
    m_bufferPos += bytes;
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
