#include "platform/core/FileIdentity.h"

#include "platform/core/Crc32c.h"
#include "platform/core/FileSystem.h"

#include <QDateTime>
#include <QFileInfo>

FileIdentity FileIdentity::OfBytes(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    FileIdentity id;
    id.exists = true;
    id.size = bytes.size();
    id.modifiedMsecs = info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0;
    id.crc = Crc32c(bytes.constData(), bytes.size());
    return id;
}

FileIdentity FileIdentity::OfFile(const QString& path) {
    QByteArray bytes;
    if (!QFileInfo(path).isFile() || !FileSystem::Default().ReadWhole(path, bytes).ok())
        return {};
    return OfBytes(path, bytes);
}

bool FileIdentity::Matches(const QByteArray* bytes) const {
    if (!bytes)
        return !exists;
    return exists && size == bytes->size() && crc == Crc32c(bytes->constData(), bytes->size());
}

FileIdentity::Change FileIdentity::CompareWith(const QString& path) const {
    if (!QFileInfo::exists(path))
        return exists ? Change::vanished : Change::unchanged;
    QByteArray bytes;
    // A file that is there but cannot be read is not the one this names.
    if (!FileSystem::Default().ReadWhole(path, bytes).ok())
        return Change::changed;
    return Matches(&bytes) ? Change::unchanged : Change::changed;
}
