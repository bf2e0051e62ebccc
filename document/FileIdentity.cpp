#include "document/FileIdentity.h"

#include "platform/core/Crc32c.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace {

qint64 ModifiedMsecs(const QFileInfo& info) {
    return info.lastModified().toMSecsSinceEpoch();
}

} // namespace

FileIdentity FileIdentity::OfBytes(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    FileIdentity id;
    id.exists = info.exists();
    id.size = bytes.size();
    id.modifiedMsecs = id.exists ? ModifiedMsecs(info) : 0;
    id.crc = Crc32c(bytes.constData(), bytes.size());
    return id;
}

FileIdentity FileIdentity::OfFile(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return OfBytes(path, file.readAll());
}

FileIdentity::Change FileIdentity::CompareWith(const QString& path) const {
    const QFileInfo info(path);
    if (!info.exists())
        return exists ? Change::vanished : Change::unchanged;
    if (!exists)
        return Change::changed;
    if (info.size() == size && ModifiedMsecs(info) == modifiedMsecs)
        return Change::unchanged;
    const FileIdentity now = OfFile(path);
    return now.exists && now.size == size && now.crc == crc ? Change::unchanged : Change::changed;
}
