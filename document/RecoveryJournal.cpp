#include "document/RecoveryJournal.h"

#include "document/JournalFormat.h"
#include "platform/core/Exceptions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

quint64 DateKey(const CYoteiDay& day) {
    quint64 bits;
    std::memcpy(&bits, &day.m_dayDate.m_dt, sizeof bits);
    return bits;
}

} // namespace

CRecoveryJournal::CRecoveryJournal(QString folder, Reporter report, FileSystem& fs)
    : m_folder(std::move(folder)), m_report(std::move(report)), m_fs(fs), m_writer(fs) {
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(1000);
    m_syncTimer.callOnTimeout([this] { Flush(); });
}

// Left on disk: only a save, a replacement or a normal end removes a journal.
CRecoveryJournal::~CRecoveryJournal() = default;

QByteArray CRecoveryJournal::HeaderRecord() const {
    return JournalFormat::Record(JournalFormat::kHeaderKind,
                                 JournalFormat::HeaderPayload({m_bookPath, m_base, m_created}));
}

void CRecoveryJournal::RecordDay(const CYoteiDay& day, const QString& bookPath,
                                 const FileIdentity& base) {
    if (!IsActive()) {
        m_bookPath = bookPath;
        m_base = base;
        m_created = QDateTime::currentMSecsSinceEpoch();
    }
    QByteArray payload = m_encoder.Encode(day);
    QByteArray& latest = m_latest[DateKey(day)];
    // A cancelled command stores the day unchanged; the journal has it already.
    if (latest == payload && IsActive())
        return;
    m_liveBytes +=
        payload.size() - latest.size() + (latest.isEmpty() ? JournalFormat::kFrameSize : 0);
    latest = payload;

    if (!IsActive()) {
        if (FileStatus begun = Begin(); !begun.ok())
            Failed(begun);
    }
    if (m_broken) {
        // The next flush tries to write everything again.
        ScheduleFlush();
        return;
    }
    if (FileStatus appended =
            m_writer.Append(JournalFormat::Record(JournalFormat::kDayKind, payload));
        !appended.ok()) {
        Failed(appended);
        ScheduleFlush();
        return;
    }
    m_unsynced = true;
    ScheduleFlush();
    // Without an event loop nothing flushes by itself; keep the growth bounded all the same.
    if (m_writer.Size() > 4 * std::max(kCompactFloor, 8 * m_liveBytes))
        Flush();
}

FileStatus CRecoveryJournal::Claim() {
    if (m_path.isEmpty()) {
        // The folder's own error: a full disk is a full disk, not a refusal.
        if (FileStatus made = m_fs.MakeFolder(m_folder, 0700); !made.ok())
            return made;
        const QString stamp = QDateTime::fromMSecsSinceEpoch(m_created).toUTC().toString(
            QStringLiteral("yyyyMMdd-HHmmsszzz"));
        m_path = QDir(m_folder).filePath(
            QStringLiteral("%1-%2.journal").arg(stamp).arg(QCoreApplication::applicationPid()));
    }
    if (!m_lock) {
        auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
        // A live planner's journal is never taken over, however long it has been running.
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            return FileStatus::Failed(lock->error() == QLockFile::PermissionError ? EACCES : EEXIST,
                                      m_path);
        m_lock = std::move(lock);
    }
    return FileStatus::Ok();
}

FileStatus CRecoveryJournal::Begin() {
    if (FileStatus claimed = Claim(); !claimed.ok())
        return claimed;
    if (FileStatus created = m_writer.Create(m_path); !created.ok())
        return created;
    if (FileStatus header = m_writer.Append(HeaderRecord()); !header.ok()) {
        m_writer.Close();
        m_fs.Remove(m_path);
        return header;
    }
    m_folderUnsynced = true;
    return FileStatus::Ok();
}

FileStatus CRecoveryJournal::Rewrite() {
    if (FileStatus claimed = Claim(); !claimed.ok())
        return claimed;
    const QString fresh = m_path + QStringLiteral(".new");
    m_fs.Remove(fresh);
    JournalWriter writer(m_fs);
    if (FileStatus created = writer.Create(fresh); !created.ok())
        return created;
    QByteArray all = HeaderRecord();
    for (const auto& [key, payload] : m_latest)
        all += JournalFormat::Record(JournalFormat::kDayKind, payload);
    FileStatus status = writer.Append(all);
    if (status.ok())
        status = writer.Sync();
    if (status.ok())
        status = m_fs.Rename(fresh, m_path);
    if (!status.ok()) {
        writer.Close();
        m_fs.Remove(fresh);
        return status;
    }
    m_fs.SyncFolder(m_folder);
    m_writer.Swap(writer);
    m_unsynced = false;
    m_folderUnsynced = false;
    m_broken = false;
    m_reported = false;
    return FileStatus::Ok();
}

void CRecoveryJournal::Failed(const FileStatus& status) {
    m_broken = true;
    if (!m_reported) {
        m_reported = true;
        const QString name = !status.path.isEmpty() ? status.path
                             : m_path.isEmpty()     ? m_folder
                                                    : m_path;
        const CFileException e(CFileException::CauseFromErrno(status.error), name);
        if (m_report)
            m_report(e.GetErrorMessage());
    }
}

void CRecoveryJournal::ScheduleFlush() {
    // The timer needs the application's event loop; the book tool and benchmarks have none.
    if (QCoreApplication::instance() && !m_syncTimer.isActive())
        m_syncTimer.start();
}

bool CRecoveryJournal::Flush() {
    m_syncTimer.stop();
    if (m_broken) {
        const FileStatus rewritten = Rewrite();
        if (!rewritten.ok())
            Failed(rewritten);
        return rewritten.ok();
    }
    if (!m_writer.IsOpen())
        return true;
    if (m_writer.Size() > std::max(kCompactFloor, 8 * m_liveBytes) && Rewrite().ok())
        return true;
    if (m_unsynced) {
        m_unsynced = false;
        if (FileStatus synced = m_writer.Sync(); !synced.ok()) {
            Failed(synced);
            return false;
        }
    }
    if (m_folderUnsynced) {
        m_folderUnsynced = false;
        m_fs.SyncFolder(m_folder);
    }
    return true;
}

void CRecoveryJournal::Discard() {
    m_syncTimer.stop();
    m_writer.Close();
    if (!m_path.isEmpty()) {
        m_fs.Remove(m_path);
        m_fs.Remove(m_path + QStringLiteral(".new"));
    }
    m_lock.reset();
    m_path.clear();
    m_latest.clear();
    m_liveBytes = 0;
    m_unsynced = m_folderUnsynced = m_broken = m_reported = false;
}
