#pragma once

#include <QString>

// Flushing to the disk, which Qt has no call for. Each returns false, with errno set, when the
// operating system reports that the data may not have reached the disk.
namespace FileSync {

// The file's data (not its times) on the open descriptor.
bool SyncData(int fd);
// The folder's entries, so that a file created or renamed in it survives a power cut.
bool SyncFolder(const QString& folder);

} // namespace FileSync
