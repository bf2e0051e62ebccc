#include "platform/core/SafeWrite.h"

#include "platform/core/Crc32c.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>

struct SafeWrite::Staged {
    QString temp;  // the previous version, written aside
    QString final; // where it goes once the new book is in place
};

namespace {

// A folder that refuses a new file or the rename (a shared folder, a mounted card, a sticky
// folder) may still let the book itself be written.
bool IsFolderRefusal(int error) {
    return error == EACCES || error == EPERM;
}

// The file system has no such call: renameat2 on an older kernel or file system, links on FAT.
bool IsUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP ||
           error == EPERM;
}

SafeWrite::Outcome Failed(const FileStatus& status, const QString& shownPath) {
    SafeWrite::Outcome outcome;
    outcome.kind = SafeWrite::Outcome::failed;
    outcome.failure = {status.error, shownPath};
    return outcome;
}

QString TemporaryName(const QString& folder, const QString& name) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return QDir(folder).filePath(name + QLatin1Char('.') + suffix);
}

} // namespace

SafeWrite::SafeWrite(FileSystem& fs, QString backupFolder, bool mayWriteInPlace)
    : m_fs(fs), m_backupFolder(std::move(backupFolder)), m_mayWriteInPlace(mayWriteInPlace) {}

QString SafeWrite::BackupFileName(const QString& target) {
    const QFileInfo info(target);
    const QByteArray key = QFile::encodeName(info.absoluteFilePath());
    QString name =
        info.completeBaseName() + QLatin1Char('-') +
        QStringLiteral("%1").arg(Crc32c(key.constData(), key.size()), 8, 16, QLatin1Char('0'));
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    return name;
}

SafeWrite::Outcome SafeWrite::Replace(const QString& path, const QByteArray& bytes,
                                      const Judge& judge) {
    const QFileInfo info(path);
    // A read-only book is refused as the file system would refuse it, although a rename could
    // replace it.
    if (info.isDir())
        return Failed(FileStatus::Failed(EISDIR, path), path);
    if (info.exists() && !info.isWritable())
        return Failed(FileStatus::Failed(EACCES, path), path);
    // A symbolic link is saved through to its target, which keeps its permissions.
    QString target = info.absoluteFilePath();
    if (info.exists())
        target = info.canonicalFilePath();
    else if (info.isSymLink())
        target = info.symLinkTarget();
    const QString folder = QFileInfo(target).absolutePath();
    const QString name = QFileInfo(target).fileName();

    // A file that appears after it was found missing is judged again rather than replaced.
    for (int attempt = 0;; ++attempt) {
        // 1. The old bytes, read once: what the judge sees, what the backup keeps and what a
        // failed write in place goes back to.
        QByteArray previous;
        bool hasPrevious = false;
        int mode = 0666;
        if (QFileInfo(target).isFile()) {
            int fd = -1;
            FileStatus read = m_fs.Open(target, O_RDONLY, 0, fd);
            qint64 size = 0;
            if (read.ok())
                read = m_fs.Stat(fd, size, mode);
            if (read.ok())
                read = m_fs.ReadWhole(fd, previous);
            m_fs.Close(fd);
            if (!read.ok())
                return Failed(read, path);
            hasPrevious = true;
        }

        // 2. The judge: has someone else written the file? The caller may ask the user.
        switch (judge ? judge(hasPrevious ? &previous : nullptr) : Verdict::write) {
        case Verdict::write:
            break;
        case Verdict::keep: {
            Outcome kept;
            kept.kind = Outcome::kept;
            return kept;
        }
        case Verdict::elsewhere: {
            Outcome elsewhere;
            elsewhere.kind = Outcome::elsewhere;
            return elsewhere;
        }
        }

        // 3. The backup, kept aside until the new book is in place, so that a failed save
        // leaves the previous generation as it was. Identical bytes need none.
        Outcome outcome;
        Staged staged;
        if (hasPrevious && previous != bytes)
            StageBackup(target, previous, staged, outcome);

        // 4. The new file beside the book, and 5. read back: a disk that reports success
        // without storing must not pass for a save.
        QString temp;
        const FileStatus written =
            WriteTemporary(folder, name, hasPrevious ? mode : -1, bytes, temp);
        if (!written.ok()) {
            if (m_mayWriteInPlace && hasPrevious && temp.isEmpty() &&
                IsFolderRefusal(written.error))
                return WriteInPlace(target, previous, bytes, staged, outcome);
            DropBackup(staged);
            return Failed(written, path);
        }

        // 6. The commit point. A name that was free is claimed, never replaced.
        const FileStatus committed = hasPrevious ? m_fs.Rename(temp, target) : Claim(temp, target);
        if (!committed.ok()) {
            m_fs.Remove(temp);
            if (m_mayWriteInPlace && hasPrevious && IsFolderRefusal(committed.error))
                return WriteInPlace(target, previous, bytes, staged, outcome);
            DropBackup(staged);
            if (!hasPrevious && committed.error == EEXIST && attempt < 3)
                continue;
            return Failed(committed, path);
        }

        // 7. The book is in place: its backup takes the previous generation's place, and the
        // folder's entry goes to the disk.
        PromoteBackup(staged, outcome);
        Finish(target, bytes, outcome);
        return outcome;
    }
}

SafeWrite::Outcome SafeWrite::CreateNew(const QString& folder, const QString& base,
                                        const QByteArray& bytes) {
    const QString suffix = QStringLiteral(".dat");
    const QString first = QDir(folder).filePath(base + suffix);
    if (FileStatus made = m_fs.MakeFolder(folder, 0777); !made.ok())
        return Failed(made, first);
    QString temp;
    if (FileStatus written = WriteTemporary(folder, base + suffix, -1, bytes, temp); !written.ok())
        return Failed(written, first);
    for (qint64 n = 0;; ++n) {
        const QString name =
            QDir(folder).filePath(base + (n ? QString::number(n) : QString()) + suffix);
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink())
            continue;
        const FileStatus claimed = Claim(temp, name);
        if (claimed.ok()) {
            Outcome outcome;
            Finish(name, bytes, outcome);
            return outcome;
        }
        // Taken since it was looked at: another planner saved at the same moment.
        if (claimed.error == EEXIST)
            continue;
        m_fs.Remove(temp);
        return Failed(claimed, name);
    }
}

bool SafeWrite::StageBackup(const QString& target, const QByteArray& previous, Staged& staged,
                            Outcome& outcome) {
    if (m_backupFolder.isEmpty())
        return true;
    const QString name = BackupFileName(target);
    const QString final = QDir(m_backupFolder).filePath(name);
    FileStatus status = m_fs.MakeFolder(m_backupFolder, 0700);
    // The backups are the user's alone, also when the folder was made by an older version.
    if (status.ok())
        QFile::setPermissions(m_backupFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
    QString temp;
    if (status.ok())
        status = WriteTemporary(m_backupFolder, name, 0600, previous, temp);
    if (!status.ok()) {
        outcome.backupFailure = {status.error, final};
        return false;
    }
    staged.temp = temp;
    staged.final = final;
    return true;
}

void SafeWrite::PromoteBackup(Staged& staged, Outcome& outcome) {
    if (staged.temp.isEmpty())
        return;
    if (FileStatus moved = m_fs.Rename(staged.temp, staged.final); !moved.ok()) {
        m_fs.Remove(staged.temp);
        outcome.backupFailure = {moved.error, staged.final};
        staged = {};
        return;
    }
    m_fs.SyncFolder(m_backupFolder);
    outcome.backupPath = staged.final;
    staged.temp.clear();
}

void SafeWrite::DropBackup(Staged& staged) {
    if (!staged.temp.isEmpty())
        m_fs.Remove(staged.temp);
    staged = {};
}

FileStatus SafeWrite::WriteTemporary(const QString& folder, const QString& name, int mode,
                                     const QByteArray& bytes, QString& temp) {
    temp.clear();
    int fd = -1;
    QString candidate;
    for (int tries = 0;; ++tries) {
        candidate = TemporaryName(folder, name);
        const FileStatus opened =
            m_fs.Open(candidate, O_RDWR | O_CREAT | O_EXCL, mode >= 0 ? mode : 0666, fd);
        if (opened.ok())
            break;
        if (opened.error != EEXIST || tries == 100)
            return {opened.error, candidate};
    }
    temp = candidate;
    // The replaced file's own permissions, whatever the umask makes of them.
    FileStatus status = mode >= 0 ? m_fs.SetMode(fd, mode) : FileStatus::Ok();
    if (status.ok())
        status = m_fs.WriteAt(fd, 0, bytes.constData(), bytes.size());
    if (status.ok())
        status = m_fs.SyncData(fd);
    if (status.ok())
        status = VerifyFile(fd, bytes);
    m_fs.Close(fd);
    if (!status.ok()) {
        m_fs.Remove(temp);
        status.path = temp;
    }
    return status;
}

FileStatus SafeWrite::VerifyFile(int fd, const QByteArray& bytes) {
    QByteArray back;
    if (FileStatus read = m_fs.ReadWhole(fd, back); !read.ok())
        return read;
    return back == bytes ? FileStatus::Ok() : FileStatus::Failed(EIO, QString());
}

FileStatus SafeWrite::Claim(const QString& temp, const QString& name) {
    FileStatus status = m_fs.RenameNoReplace(temp, name);
    if (status.ok() || !IsUnsupported(status.error))
        return status;
    // No rename that refuses to replace: a second name is just as exclusive.
    status = m_fs.Link(temp, name);
    if (status.ok()) {
        m_fs.Remove(temp);
        return status;
    }
    if (!IsUnsupported(status.error))
        return status;
    // No hard links either (FAT): an empty file that only one creator can make claims the name,
    // and the book then takes that file's place.
    int fd = -1;
    status = m_fs.Open(name, O_WRONLY | O_CREAT | O_EXCL, 0666, fd);
    if (!status.ok())
        return status;
    m_fs.Close(fd);
    status = m_fs.Rename(temp, name);
    if (!status.ok())
        m_fs.Remove(name);
    return status;
}

SafeWrite::Outcome SafeWrite::WriteInPlace(const QString& target, const QByteArray& previous,
                                           const QByteArray& bytes, Staged& staged,
                                           Outcome outcome) {
    // Written in place, a book has no way back if the planner dies half way: not without the
    // previous version kept, and kept in its final place before the book is touched.
    PromoteBackup(staged, outcome);
    if (!outcome.backupFailure.ok()) {
        Outcome refused = Failed(outcome.backupFailure, outcome.backupFailure.path);
        refused.backupFailure = outcome.backupFailure;
        return refused;
    }
    const FileStatus put = PutBytes(target, bytes, false);
    if (put.ok()) {
        outcome.kind = Outcome::saved;
        outcome.path = target;
        outcome.identity = FileIdentity::OfBytes(target, bytes);
        return outcome;
    }
    // The old bytes go back through a fresh descriptor, cut to their size first: what the
    // failure left in the first one cannot block them, and the old book fits where it was.
    Outcome failed = Failed(put, target);
    failed.backupPath = outcome.backupPath;
    failed.rollbackFailed = !PutBytes(target, previous, true).ok();
    return failed;
}

FileStatus SafeWrite::PutBytes(const QString& target, const QByteArray& bytes, bool cutFirst) {
    int fd = -1;
    FileStatus status = m_fs.Open(target, O_RDWR, 0, fd);
    if (!status.ok())
        return status;
    // Never cut a book before the new bytes are written: a full disk half way would leave
    // neither version. Putting the old bytes back, cutting first frees the room they need.
    if (cutFirst)
        status = m_fs.Truncate(fd, bytes.size());
    if (status.ok())
        status = m_fs.WriteAt(fd, 0, bytes.constData(), bytes.size());
    if (status.ok())
        status = m_fs.Truncate(fd, bytes.size());
    if (status.ok())
        status = m_fs.SyncData(fd);
    if (status.ok())
        status = VerifyFile(fd, bytes);
    m_fs.Close(fd);
    return status;
}

void SafeWrite::Finish(const QString& target, const QByteArray& bytes, Outcome& outcome) {
    // After the rename the file is the new book, whatever follows: a folder that cannot be
    // synced only means the rename might not survive a power cut.
    if (FileStatus synced = m_fs.SyncFolder(QFileInfo(target).absolutePath()); !synced.ok())
        outcome.folderSyncFailure = {synced.error, target};
    outcome.kind = Outcome::saved;
    outcome.path = target;
    outcome.identity = FileIdentity::OfBytes(target, bytes);
}
