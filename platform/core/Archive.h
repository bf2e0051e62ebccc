#pragma once

#include "platform/core/OleDateTime.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstring>

class QIODevice;

// Reads or writes the book's three encodings (32-bit number, automation date, string),
// little-endian. A loading archive reads bytes already in memory (a file is read whole first);
// a storing one writes to a device through a buffer. Lengths are checked against what is left
// before anything is allocated, so a hostile prefix cannot make the reader ask for gigabytes,
// and every kind of damage is raised with what it was and the byte where the item starts.
class CArchive {
public:
    enum Mode { load, store };

    // Reads bytes, which must outlive the archive.
    CArchive(QByteArrayView bytes, QString filePath);
    // Writes to an open device.
    CArchive(QIODevice* device, QString filePath);
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
    // A text equal to likely comes back as a copy of likely, sharing its characters: a book's
    // time labels repeat from one day to the next, and need not be held once per day.
    QString ReadString(const QString& likely = QString());

    // Bytes the reader has not yet consumed.
    qint64 BytesRemaining() const { return m_in.size() - m_pos; }

private:
    // Raises the end-of-data damage unless count bytes are left; item names what was being
    // read, which started at itemStart. Inline, with the raising out of line: a book has over a
    // million fields.
    void Require(qint64 count, qint64 itemStart, const char* item) const {
        if (count > BytesRemaining()) [[unlikely]]
            RaiseEndOfData(itemStart, item);
    }
    const char* Take(qint64 count, qint64 itemStart, const char* item) {
        Require(count, itemStart, item);
        const char* data = m_in.data() + m_pos;
        m_pos += count;
        return data;
    }
    [[noreturn]] void RaiseEndOfData(qint64 itemStart, const char* item) const;
    // Copies into a fixed buffer, written out when full: a book has over a million fields, and
    // growing a byte array at every one of them cost more than the rest of a save.
    void WriteRaw(const void* data, qint64 count) {
        if (count <= kChunk - m_stored) [[likely]] {
            std::memcpy(m_chunk + m_stored, data, size_t(count));
            m_stored += count;
        } else {
            WriteRawSlow(static_cast<const char*>(data), count);
        }
    }
    void WriteRawSlow(const char* data, qint64 count);

    QIODevice* m_device = nullptr;
    Mode m_mode;
    QString m_filePath;
    QByteArrayView m_in; // what a loading archive reads
    qint64 m_pos = 0;    // the next unread byte of m_in
    static constexpr qint64 kChunk = 16 * 1024;
    char m_chunk[kChunk]; // what a storing archive has not yet written
    qint64 m_stored = 0;  // bytes of m_chunk in use
};
