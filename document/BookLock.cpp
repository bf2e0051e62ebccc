#include "document/BookLock.h"

#include "platform/core/SafeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

BookLock::BookLock(const QString& dataFolder, const QString& bookPath)
    : m_bookPath(CanonicalBookPath(bookPath)) {
    if (!dataFolder.isEmpty()) {
        m_lock = std::make_unique<QLockFile>(LockFilePath(dataFolder, bookPath));
        // Held for as long as the book is open, however long that is; only a dead holder's lock
        // is taken over.
        m_lock->setStaleLockTime(0);
    }
}

BookLock::~BookLock() = default;

QString BookLock::CanonicalBookPath(const QString& bookPath) {
    const QFileInfo info(bookPath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString BookLock::LockFilePath(const QString& dataFolder, const QString& bookPath) {
    return QDir(dataFolder)
        .filePath(QStringLiteral("locks/") +
                  SafeWrite::BackupFileName(CanonicalBookPath(bookPath)) + QStringLiteral(".lock"));
}

bool BookLock::TryLock() {
    if (!m_lock)
        return true;
    if (m_lock->isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_lock->fileName()).absolutePath());
    if (m_lock->tryLock(0))
        return true;
    // A lock that cannot be made at all (a data folder that cannot be written) guards nothing,
    // but it is no other holder either: the book is not refused for it.
    return m_lock->error() != QLockFile::LockFailedError;
}

void BookLock::Unlock() {
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

bool BookLock::IsLocked() const {
    return m_lock && m_lock->isLocked();
}
