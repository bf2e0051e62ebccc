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

// The archive met data it cannot take.
class CArchiveException : public CException {
public:
    enum Cause {
        genericException,
        endOfFile, // the data ends before a count, a record or a string is complete
        badIndex   // a string length of 2^31 or more
    };

    explicit CArchiveException(Cause cause) : m_cause(cause) {}

    Cause m_cause;
};

class CMemoryException : public CException {};

// A row outside 0 to 9 in an accessor or mutator.
class CInvalidArgException : public CException {};
