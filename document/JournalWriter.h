#pragma once

#include "platform/core/FileSystem.h"

#include <QByteArray>
#include <QString>

// Appends whole records to one journal file through a raw descriptor: each record goes to the
// operating system in one write, so a killed process leaves every record it returned from.
// Qt's files buffer and have no call to flush to the disk, hence the descriptor.
class JournalWriter {
public:
    explicit JournalWriter(FileSystem& fs = FileSystem::Default()) : m_fs(&fs) {}
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Creates path (which must not exist) for appending, readable by its owner only.
    FileStatus Create(const QString& path);
    bool IsOpen() const { return m_fd >= 0; }
    // Appends the record. On failure the file is cut back to its last whole record, so that a
    // later record does not follow a torn one.
    FileStatus Append(const QByteArray& record);
    // Flushes the data written so far to the disk.
    FileStatus Sync();
    void Close();
    qint64 Size() const { return m_size; }
    // Takes the other's file and gives it this one's.
    void Swap(JournalWriter& other);

private:
    FileSystem* m_fs;
    int m_fd = -1;
    qint64 m_size = 0;
    QString m_path;
};
