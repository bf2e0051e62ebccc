#pragma once

#include <QString>

// Failures raised inside the program and caught where a command or a file operation ends.
class CException {
public:
    virtual ~CException() = default;
};

// A file could not be opened, read or written. The cause picks the message text.
class CFileException : public CException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    CFileException(Cause cause, QString fileName)
        : m_cause(cause), m_strFileName(std::move(fileName)) {}

    // Maps an operating-system error number onto a cause.
    static Cause CauseFromErrno(int error);
    // The cause's text with the file name for %1, "無題のファイル" when there is none.
    QString GetErrorMessage() const;

    Cause m_cause;
    QString m_strFileName;
};

// The archive met data it cannot take. Besides the cause, which picks the message the user
// sees, it names the damage for whoever inspects the file: what was wrong, at which byte, and
// in which part of the book.
class CArchiveException : public CException {
public:
    enum Cause {
        genericException,
        endOfFile, // the data ends before a count, a record or a string is complete
        badIndex,  // a string length of 2^31 or more
        badSchema  // the data cannot be a book: a record count no writer makes
    };

    explicit CArchiveException(Cause cause, QString what = QString(), qint64 offset = -1)
        : m_cause(cause), m_strWhat(std::move(what)), m_offset(offset) {}

    // "record 3, row 2 plan, byte 1234: string length 300 runs past the end of the file".
    QString Describe() const;

    Cause m_cause;
    QString m_strWhat;  // what was wrong
    qint64 m_offset;    // where the damaged item starts in the file, -1 when unknown
    QString m_strWhere; // which part of the book, added by the reader of the book
};

class CMemoryException : public CException {};

// A row outside 0 to 9 in an accessor or mutator.
class CInvalidArgException : public CException {};
