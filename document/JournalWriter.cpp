#include "document/JournalWriter.h"

#include "platform/core/FileSync.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

JournalWriter::~JournalWriter() {
    Close();
}

bool JournalWriter::Create(const QString& path) {
    Close();
    m_fd = ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, S_IRUSR | S_IWUSR);
    m_size = 0;
    return m_fd >= 0;
}

bool JournalWriter::Append(const QByteArray& record) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    const char* data = record.constData();
    qint64 left = record.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = written == 0 ? ENOSPC : errno;
            // A part of the record may be in the file; cut it off.
            while (::ftruncate(m_fd, m_size) != 0 && errno == EINTR) {
            }
            errno = error;
            return false;
        }
        data += written;
        left -= written;
    }
    m_size += record.size();
    return true;
}

bool JournalWriter::Sync() {
    return m_fd >= 0 && FileSync::SyncData(m_fd);
}

void JournalWriter::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

void JournalWriter::Swap(JournalWriter& other) {
    std::swap(m_fd, other.m_fd);
    std::swap(m_size, other.m_size);
}
