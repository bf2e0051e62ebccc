#include "document/JournalWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

JournalWriter::~JournalWriter() {
    Close();
}

FileStatus JournalWriter::Create(const QString& path) {
    Close();
    m_size = 0;
    m_path = path;
    return m_fs->Open(path, O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR, m_fd);
}

FileStatus JournalWriter::Append(const QByteArray& record) {
    if (m_fd < 0)
        return FileStatus::Failed(EBADF, m_path);
    FileStatus status = m_fs->WriteAt(m_fd, m_size, record.constData(), record.size());
    if (!status.ok()) {
        // A part of the record may be in the file; cut it off.
        m_fs->Truncate(m_fd, m_size);
        status.path = m_path;
        return status;
    }
    m_size += record.size();
    return status;
}

FileStatus JournalWriter::Sync() {
    if (m_fd < 0)
        return FileStatus::Failed(EBADF, m_path);
    FileStatus status = m_fs->SyncData(m_fd);
    status.path = status.ok() ? QString() : m_path;
    return status;
}

void JournalWriter::Close() {
    if (m_fd >= 0)
        m_fs->Close(m_fd);
    m_fd = -1;
    m_size = 0;
}

void JournalWriter::Swap(JournalWriter& other) {
    std::swap(m_fs, other.m_fs);
    std::swap(m_fd, other.m_fd);
    std::swap(m_size, other.m_size);
    std::swap(m_path, other.m_path);
}
