#pragma once

#include <QString>
#include <memory>

class QLockFile;

// A hold on a book file while a planner has it open, or while the book tool writes it, so that
// neither writes the book behind the other's back. One lock file per book, named after the
// book's canonical path, in the per-user data folder; a lock whose process is gone (a crash, a
// kill) is taken over.
class BookLock {
public:
    BookLock(const QString& dataFolder, const QString& bookPath);
    ~BookLock();
    BookLock(const BookLock&) = delete;
    BookLock& operator=(const BookLock&) = delete;

    // False when another running process holds the book. True also when no lock could be made
    // at all (IsLocked tells): that is nobody's hold.
    bool TryLock();
    void Unlock();
    bool IsLocked() const;
    // The book this lock is about, as its canonical path (or absolute, while it does not exist).
    const QString& BookPath() const { return m_bookPath; }

    static QString LockFilePath(const QString& dataFolder, const QString& bookPath);
    static QString CanonicalBookPath(const QString& bookPath);

private:
    QString m_bookPath;
    std::unique_ptr<QLockFile> m_lock;
};
