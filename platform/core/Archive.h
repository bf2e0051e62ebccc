#pragma once

#include "platform/core/OleDateTime.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// Reads or writes the book's three encodings (32-bit number, automation date, string) over an
// open device, little-endian, buffered. Lengths are checked against what the device still holds
// before anything is allocated, so a hostile prefix cannot make the reader ask for gigabytes.
class CArchive {
public:
    enum Mode { load, store };

    CArchive(QIODevice* device, Mode mode, QString filePath);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    const QString& GetFilePath() const { return m_filePath; }

    // Writes out what is buffered; a failure raises CFileException.
    void Flush();

    void WriteUInt32(quint32 value);
    void WriteDate(const COleDateTime& date);
    void WriteString(const QString& text);

    quint32 ReadUInt32();
    void ReadDate(COleDateTime& date);
    QString ReadString();

    // Bytes not yet consumed by the reader.
    qint64 BytesRemaining() const;

private:
    void Require(qint64 count);
    void ReadRaw(void* out, qint64 count);
    void WriteRaw(const void* data, qint64 count);
    quint8 ReadUInt8();
    quint16 ReadUInt16();
    quint64 ReadUInt64();
    void ThrowFileError(int error) const;

    QIODevice* m_device;
    Mode m_mode;
    QString m_filePath;
    QByteArray m_buffer;
    qint64 m_bufferPos = 0;       // next unread byte of m_buffer when loading
    qint64 m_deviceRemaining = 0; // bytes the device still holds beyond m_buffer
};
