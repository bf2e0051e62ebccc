#include "platform/core/Exceptions.h"

#include "platform/core/StringTable.h"

#include <QStringList>
#include <cerrno>

CFileException::Cause CFileException::CauseFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return diskFull;
    case EIO:
        return hardIO;
    case EBUSY:
    case ETXTBSY:
        return sharingViolation;
    case EDEADLK:
    case ENOLCK:
        return lockViolation;
    case ESPIPE:
        return badSeek;
    default:
        return genericException;
    }
}

QString CFileException::GetErrorMessage() const {
    const int id = m_cause <= genericException
                       ? AFX_IDP_FILE_GENERIC
                       : AFX_IDP_FILE_GENERIC + (m_cause - genericException);
    const QString name = m_strFileName.isEmpty() ? LoadString(AFX_IDS_UNNAMED_FILE) : m_strFileName;
    return LoadString(id).arg(name);
}

QString CArchiveException::Describe() const {
    QStringList parts;
    if (!m_strWhere.isEmpty())
        parts << m_strWhere;
    if (m_offset >= 0)
        parts << QStringLiteral("byte %1").arg(m_offset);
    const QString what = m_strWhat.isEmpty() ? QStringLiteral("damaged data") : m_strWhat;
    return parts.isEmpty() ? what : parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + what;
}
