#pragma once

#include "document/JournalFormat.h"
#include "document/JournalWriter.h"
#include "document/YoteiDay.h"
#include "platform/core/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class QLockFile;

// The running planner's journal of unsaved changes: every stored day is appended the moment it
// is stored, so that a crash, a kill or a power cut loses nothing that was typed. One journal
// per planner, in the recovery folder, locked for as long as it exists so that no other planner
// offers or removes it. It begins with the first change after the book was opened, made new or
// saved, and is discarded when that book is saved or replaced.
class CRecoveryJournal {
public:
    using Reporter = std::function<void(const QString& text)>;

    // folder: the recovery folder. report: shows a failure text to the user.
    CRecoveryJournal(QString folder, Reporter report, FileSystem& fs = FileSystem::Default());
    ~CRecoveryJournal();
    CRecoveryJournal(const CRecoveryJournal&) = delete;
    CRecoveryJournal& operator=(const CRecoveryJournal&) = delete;

    // Appends the day, beginning the journal first when there is none. bookPath and base name
    // the book (empty path: untitled) and its file as read or last saved. A day identical to its
    // last journaled version is not written again. A failure is reported once and the planner
    // goes on; the days are written again as soon as the journal can be written.
    void RecordDay(const CYoteiDay& day, const QString& bookPath, const FileIdentity& base);
    // Removes the journal: its book was saved or replaced, or the program ends normally.
    void Discard();
    // Flushes to the disk what was written, and compacts the journal when it has grown past
    // its bound. Runs by itself about a second after a write when an event loop runs. True when
    // every day recorded so far is on the disk.
    bool Flush();

    bool IsActive() const { return m_writer.IsOpen() || m_broken; }
    QString FilePath() const { return m_path; }
    qint64 FileSize() const { return m_writer.Size(); }
    // Bytes of the latest version of each day held.
    qint64 LiveBytes() const { return m_liveBytes; }

    // A journal larger than this and eight times its live bytes is compacted.
    static constexpr qint64 kCompactFloor = 1 << 20;

private:
    // Names the journal and locks it.
    FileStatus Claim();
    // Creates the journal and writes its header.
    FileStatus Begin();
    // Writes the header and the latest version of every day into a new file and puts it in
    // the journal's place, atomically and synced.
    FileStatus Rewrite();
    void Failed(const FileStatus& status);
    void ScheduleFlush();
    QByteArray HeaderRecord() const;

    QString m_folder;
    Reporter m_report;
    FileSystem& m_fs;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    JournalWriter m_writer;
    JournalFormat::DayEncoder m_encoder;
    QString m_bookPath;
    FileIdentity m_base;
    qint64 m_created = 0;
    // The latest journaled payload of each date, keyed by the date's bits: what a compaction
    // keeps, and what tells an unchanged day.
    std::map<quint64, QByteArray> m_latest;
    qint64 m_liveBytes = 0;
    bool m_unsynced = false;
    bool m_folderUnsynced = false;
    bool m_broken = false;   // the last write failed; the next flush writes everything again
    bool m_reported = false; // the failure has been shown since the journal last worked
    QTimer m_syncTimer;
};
