#pragma once

#include <QByteArray>
#include <QString>

// What a book file was when it was read or last saved, so that a later save can tell whether
// another program has written it since. The bytes decide: their size and checksum. A
// modification time cannot tell a change made within one tick of a coarse clock (two seconds on
// a FAT card) from none, so it is kept for the record only and never judged by.
struct FileIdentity {
    enum class Change { unchanged, changed, vanished };

    bool exists = false;      // false: no file was there (an untitled book, a vanished file)
    qint64 size = 0;          // bytes
    qint64 modifiedMsecs = 0; // modification time, milliseconds since the epoch (UTC); a record
    quint32 crc = 0;          // CRC-32C of the bytes

    // The identity of the file at path whose bytes are known (just read or just written).
    static FileIdentity OfBytes(const QString& path, const QByteArray& bytes);
    // The identity of the file at path as it is now, reading it; no file gives exists false.
    static FileIdentity OfFile(const QString& path);

    // Do these bytes, read from the file (null: there was no file), hold what this names?
    bool Matches(const QByteArray* bytes) const;
    // How the file at path stands against this identity, reading it whole. A file that is gone
    // where one was is vanished; one that appeared where none was is changed.
    Change CompareWith(const QString& path) const;

    bool operator==(const FileIdentity&) const = default;
};
