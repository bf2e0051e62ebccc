#pragma once

#include "platform/core/FileIdentity.h"
#include "platform/core/FileSystem.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Writes a book file so that no failure, interruption or second writer loses a version. One save
// runs in one order, top to bottom:
//   read the old bytes once -> judge them (the caller may ask the user) -> keep them aside as
//   the backup -> write the new file -> read it back -> commit point (the rename) -> promote the
//   backup, sync the folder -> the identity of what is now on the disk.
// Where the folder refuses a new file or the rename, the book is written in place instead, and
// only with a backup to fall back on. Every file-system call goes through a FileSystem, so that a
// test can fail any one of them.
class SafeWrite {
public:
    // What the caller makes of the file as it is now.
    enum class Verdict {
        write,    // replace it
        keep,     // leave it and the book as they are (No to the question)
        elsewhere // keep it and save the book under another name (the caller does that)
    };
    // current: the file's bytes, read just now; null when there is no file.
    using Judge = std::function<Verdict(const QByteArray* current)>;

    struct Outcome {
        enum Kind { saved, kept, elsewhere, failed };
        Kind kind = failed;
        // failed: the call that failed and the file it was about.
        FileStatus failure;
        // saved: where the book now is and what it holds.
        QString path;
        FileIdentity identity;
        // saved, with something to tell: no backup of the previous version could be kept, or
        // the folder's entry may not survive a power cut (failed calls, ok when all went well).
        FileStatus backupFailure;
        FileStatus folderSyncFailure;
        // failed in place, and the old bytes could not be put back either: the backup that holds
        // them (empty when none could be kept).
        bool rollbackFailed = false;
        QString backupPath;

        bool Saved() const { return kind == saved; }
    };

    // backupFolder: where the version a save replaces is kept, one file per book; empty to keep
    // none (a scratch copy, or a save that leaves the backup of the user's last own save as it
    // is). mayWriteInPlace: false refuses a folder that takes no new file rather than write the
    // book over itself.
    SafeWrite(FileSystem& fs, QString backupFolder, bool mayWriteInPlace = true);

    // Replaces the book at path (through a symbolic link, its target) by bytes, once judge has
    // seen the file as it is now.
    Outcome Replace(const QString& path, const QByteArray& bytes, const Judge& judge);
    // Saves bytes as a new file in folder, under base.dat, or base1.dat, base2.dat, ...: the first
    // name that nothing holds, claimed so that two planners saving at once never take the same
    // one. Never replaces a file.
    Outcome CreateNew(const QString& folder, const QString& base, const QByteArray& bytes);

    // The backup of the book at target: its name and a short code of its full path, so that
    // books of the same name in different folders keep a backup each.
    static QString BackupFileName(const QString& target);

private:
    struct Staged;

    bool StageBackup(const QString& target, const QByteArray& previous, Staged& staged,
                     Outcome& outcome);
    void PromoteBackup(Staged& staged, Outcome& outcome);
    void DropBackup(Staged& staged);
    // A new file in folder named after name, holding bytes, synced and read back; mode is set
    // exactly (-1: the usual mode for a new file). temp stays empty when the folder refused the
    // file itself, and names it (removed again) when writing it failed.
    FileStatus WriteTemporary(const QString& folder, const QString& name, int mode,
                              const QByteArray& bytes, QString& temp);
    FileStatus VerifyFile(int fd, const QByteArray& bytes);
    // Moves temp to name only if nothing holds name; EEXIST if something does.
    FileStatus Claim(const QString& temp, const QString& name);
    Outcome WriteInPlace(const QString& target, const QByteArray& previous, const QByteArray& bytes,
                         Staged& staged, Outcome outcome);
    // Writes bytes over the file itself through a descriptor of its own, synced and read back.
    FileStatus PutBytes(const QString& target, const QByteArray& bytes, bool cutFirst);
    void Finish(const QString& target, const QByteArray& bytes, Outcome& outcome);

    FileSystem& m_fs;
    QString m_backupFolder;
    bool m_mayWriteInPlace;
};
