#pragma once

#include <QByteArray>
#include <QString>

// The outcome of one file-system call: the operating system's error number, taken at the call
// itself, and the file it was about. Carried up as a value, so that nothing has to read errno
// after other calls may have changed it.
struct FileStatus {
    int error = 0; // 0: the call succeeded
    QString path;

    static FileStatus Ok() { return {}; }
    // A call that failed without telling why counts as an input/output error.
    static FileStatus Failed(int error, const QString& path);
    bool ok() const { return error == 0; }
};

// The file-system calls that saving a book and keeping its journal make, behind one seam so that
// a test can fail any single step of a save (a full disk on the third write, a rename the folder
// refuses, a sync that reports an error). The default is the operating system's own calls.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The process-wide default: the operating system's calls.
    static FileSystem& Default();

    // open(2); flags and mode as for it. The descriptor is closed on exec.
    virtual FileStatus Open(const QString& path, int flags, int mode, int& fd);
    virtual void Close(int fd);
    // Reads up to size bytes at offset; got is 0 at the end of the file.
    virtual FileStatus ReadAt(int fd, qint64 offset, char* data, qint64 size, qint64& got);
    // Writes all size bytes at offset, or fails (a short write without an error is a full disk).
    virtual FileStatus WriteAt(int fd, qint64 offset, const char* data, qint64 size);
    virtual FileStatus Truncate(int fd, qint64 size);
    // The file's data on the disk (fdatasync).
    virtual FileStatus SyncData(int fd);
    // The size and permission bits of an open file.
    virtual FileStatus Stat(int fd, qint64& size, int& mode);
    virtual FileStatus SetMode(int fd, int mode);

    // Replaces to by from (rename(2)).
    virtual FileStatus Rename(const QString& from, const QString& to);
    // Moves from to to only if nothing is called to; EEXIST if something is. EINVAL (or ENOSYS)
    // where the file system cannot do it in one step.
    virtual FileStatus RenameNoReplace(const QString& from, const QString& to);
    // A second name to for the file from; EEXIST if to is taken; EPERM where the file system
    // has no hard links (FAT).
    virtual FileStatus Link(const QString& from, const QString& to);
    virtual FileStatus Remove(const QString& path);
    // The folder's entries on the disk, so that a file created or renamed in it survives a
    // power cut. A file system that cannot sync a folder at all is no failure.
    virtual FileStatus SyncFolder(const QString& folder);
    // The folder and the missing folders above it; the last one made gets mode.
    virtual FileStatus MakeFolder(const QString& folder, int mode);

    // Reads the whole file: one read of the size it tells, then on to its end.
    FileStatus ReadWhole(int fd, QByteArray& bytes);
    FileStatus ReadWhole(const QString& path, QByteArray& bytes);
};
