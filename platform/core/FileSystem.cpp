#include "platform/core/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

template <typename Call>
int Retried(Call call) {
    int result;
    do
        result = call();
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

FileStatus FileStatus::Failed(int error, const QString& path) {
    return {error ? error : EIO, path};
}

FileSystem& FileSystem::Default() {
    static FileSystem system;
    return system;
}

FileStatus FileSystem::Open(const QString& path, int flags, int mode, int& fd) {
    do
        fd = ::open(Native(path).constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? FileStatus::Failed(errno, path) : FileStatus::Ok();
}

void FileSystem::Close(int fd) {
    if (fd >= 0)
        ::close(fd);
}

FileStatus FileSystem::ReadAt(int fd, qint64 offset, char* data, qint64 size, qint64& got) {
    ssize_t n;
    do
        n = ::pread(fd, data, size_t(size), off_t(offset));
    while (n < 0 && errno == EINTR);
    got = n < 0 ? 0 : n;
    return n < 0 ? FileStatus::Failed(errno, QString()) : FileStatus::Ok();
}

FileStatus FileSystem::WriteAt(int fd, qint64 offset, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return FileStatus::Failed(n == 0 ? ENOSPC : errno, QString());
        data += n;
        offset += n;
        size -= n;
    }
    return FileStatus::Ok();
}

FileStatus FileSystem::Truncate(int fd, qint64 size) {
    return Retried([&] { return ::ftruncate(fd, off_t(size)); }) != 0
               ? FileStatus::Failed(errno, QString())
               : FileStatus::Ok();
}

FileStatus FileSystem::SyncData(int fd) {
    return Retried([&] { return ::fdatasync(fd); }) != 0 ? FileStatus::Failed(errno, QString())
                                                         : FileStatus::Ok();
}

FileStatus FileSystem::Stat(int fd, qint64& size, int& mode) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return FileStatus::Failed(errno, QString());
    size = st.st_size;
    mode = int(st.st_mode & 07777);
    return FileStatus::Ok();
}

FileStatus FileSystem::SetMode(int fd, int mode) {
    return ::fchmod(fd, mode_t(mode)) != 0 ? FileStatus::Failed(errno, QString())
                                           : FileStatus::Ok();
}

FileStatus FileSystem::Rename(const QString& from, const QString& to) {
    return std::rename(Native(from).constData(), Native(to).constData()) != 0
               ? FileStatus::Failed(errno, to)
               : FileStatus::Ok();
}

FileStatus FileSystem::RenameNoReplace(const QString& from, const QString& to) {
    return ::renameat2(AT_FDCWD, Native(from).constData(), AT_FDCWD, Native(to).constData(),
                       RENAME_NOREPLACE) != 0
               ? FileStatus::Failed(errno, to)
               : FileStatus::Ok();
}

FileStatus FileSystem::Link(const QString& from, const QString& to) {
    return ::link(Native(from).constData(), Native(to).constData()) != 0
               ? FileStatus::Failed(errno, to)
               : FileStatus::Ok();
}

FileStatus FileSystem::Remove(const QString& path) {
    return ::unlink(Native(path).constData()) != 0 ? FileStatus::Failed(errno, path)
                                                   : FileStatus::Ok();
}

FileStatus FileSystem::SyncFolder(const QString& folder) {
    int fd = -1;
    if (FileStatus opened = Open(folder, O_RDONLY | O_DIRECTORY, 0, fd); !opened.ok())
        return opened;
    const int result = Retried([&] { return ::fsync(fd); });
    const int error = errno;
    Close(fd);
    // Some file systems cannot sync a folder at all; that is no sign of lost data.
    if (result != 0 && error != EINVAL && error != ENOTSUP)
        return FileStatus::Failed(error, folder);
    return FileStatus::Ok();
}

FileStatus FileSystem::MakeFolder(const QString& folder, int mode) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return FileStatus::Ok();
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean) {
        if (FileStatus above = MakeFolder(parent, 0777); !above.ok())
            return above;
    }
    if (::mkdir(Native(clean).constData(), mode_t(mode)) != 0 && errno != EEXIST)
        return FileStatus::Failed(errno, clean);
    return FileStatus::Ok();
}

FileStatus FileSystem::ReadWhole(int fd, QByteArray& bytes) {
    qint64 size = 0;
    int mode = 0;
    if (FileStatus stated = Stat(fd, size, mode); !stated.ok())
        return stated;
    bytes.resize(size);
    qint64 done = 0;
    const auto fail = [&bytes](FileStatus status) {
        bytes.clear();
        return status;
    };
    while (done < bytes.size()) {
        qint64 got = 0;
        if (FileStatus read = ReadAt(fd, done, bytes.data() + done, bytes.size() - done, got);
            !read.ok())
            return fail(read);
        if (got == 0)
            break;
        done += got;
    }
    // A file that shrank since its size was taken reads as what it still holds; one that grew
    // is read to its end.
    bytes.resize(done);
    char more[4096];
    for (;;) {
        qint64 got = 0;
        if (FileStatus read = ReadAt(fd, done, more, sizeof more, got); !read.ok())
            return fail(read);
        if (got == 0)
            break;
        bytes.append(more, got);
        done += got;
    }
    return FileStatus::Ok();
}

FileStatus FileSystem::ReadWhole(const QString& path, QByteArray& bytes) {
    int fd = -1;
    if (FileStatus opened = Open(path, O_RDONLY, 0, fd); !opened.ok())
        return opened;
    FileStatus read = ReadWhole(fd, bytes);
    Close(fd);
    if (!read.ok())
        read.path = path;
    return read;
}
