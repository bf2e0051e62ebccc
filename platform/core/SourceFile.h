#pragma once

#include "platform/core/Exceptions.h"

#include <QByteArray>
#include <QString>
#include <functional>

class CArchive;
class QFile;

// Why path could not be opened, read or created, from errno right after the attempt and from
// what is on disk.
CFileException::Cause FileFailureCause(const QString& path, int error);

// Every byte of path, or of file when it is already open (standard input): a regular file in
// one read of the size it tells; a pipe, FIFO or terminal tells none and is read to its end.
// A failure raises CFileException naming path.
QByteArray ReadWholeFile(const QString& path);
QByteArray ReadWholeFile(QFile& file, const QString& path);

// Opens a book source: reads path whole and hands its bytes to parse through an archive, except
// a 0-byte file, which is an empty book of which nothing is read. Returns the bytes, so that
// nothing needs to read the file again. What parse raises passes through.
QByteArray OpenBookSource(const QString& path, const std::function<void(CArchive&)>& parse);
