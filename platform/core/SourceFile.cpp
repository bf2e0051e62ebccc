#include "platform/core/SourceFile.h"

#include "platform/core/Archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

CFileException::Cause FileFailureCause(const QString& path, int error) {
    const QFileInfo info(path);
    if (info.isDir())
        return CFileException::accessDenied;
    if (!info.exists() && !info.absoluteDir().exists())
        return CFileException::badPath;
    if (error)
        return CFileException::CauseFromErrno(error);
    return info.exists() ? CFileException::accessDenied : CFileException::fileNotFound;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw CFileException(FileFailureCause(path, errno), path);
    return ReadWholeFile(file, path);
}

QByteArray ReadWholeFile(QFile& file, const QString& path) {
    QByteArray bytes;
    errno = 0;
    if (file.isSequential()) {
        bytes = file.readAll();
    } else {
        bytes.resize(file.size() - file.pos());
        // A file that shrank since its size was taken reads as what it still holds.
        const qint64 got = file.read(bytes.data(), bytes.size());
        bytes.resize(std::max<qint64>(got, 0));
    }
    const int error = errno;
    if (file.error() != QFileDevice::NoError)
        throw CFileException(error ? CFileException::CauseFromErrno(error) : CFileException::hardIO,
                             path);
    return bytes;
}

QByteArray OpenBookSource(const QString& path, const std::function<void(CArchive&)>& parse) {
    QByteArray bytes = ReadWholeFile(path);
    if (!bytes.isEmpty()) {
        CArchive ar(bytes, QFileInfo(path).absoluteFilePath());
        parse(ar);
    }
    return bytes;
}
