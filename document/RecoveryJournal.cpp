#include "document/RecoveryJournal.h"

#include "document/JournalFormat.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FileSync.h"

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

CRecoveryJournal::CRecoveryJournal(QString folder, Reporter report)
    : m_folder(std::move(folder)), m_report(std::move(report)) {
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

    if (!IsActive() && !Begin())
        Failed(errno);
    if (m_broken) {
        // The next flush tries to write everything again.
        ScheduleFlush();
        return;
    }
    if (!m_writer.Append(JournalFormat::Record(JournalFormat::kDayKind, payload))) {
        Failed(errno);
        ScheduleFlush();
        return;
    }
    m_unsynced = true;
    ScheduleFlush();
    // Without an event loop nothing flushes by itself; keep the growth bounded all the same.
    if (m_writer.Size() > 4 * std::max(kCompactFloor, 8 * m_liveBytes))
        Flush();
}

bool CRecoveryJournal::Claim() {
    if (m_path.isEmpty()) {
        if (!QDir().mkpath(m_folder)) {
            errno = EACCES;
            return false;
        }
        const QString stamp = QDateTime::fromMSecsSinceEpoch(m_created).toUTC().toString(
            QStringLiteral("yyyyMMdd-HHmmsszzz"));
        m_path = QDir(m_folder).filePath(
            QStringLiteral("%1-%2.journal").arg(stamp).arg(QCoreApplication::applicationPid()));
    }
    if (!m_lock) {
        auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
        // A live planner's journal is never taken over, however long it has been running.
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) {
            errno = lock->error() == QLockFile::PermissionError ? EACCES : EEXIST;
            return false;
        }
        m_lock = std::move(lock);
    }
    return true;
}

bool CRecoveryJournal::Begin() {
    if (!Claim() || !m_writer.Create(m_path))
        return false;
    if (!m_writer.Append(HeaderRecord())) {
        const int error = errno;
        m_writer.Close();
        QFile::remove(m_path);
        errno = error;
        return false;
    }
    m_folderUnsynced = true;
    return true;
}

bool CRecoveryJournal::Rewrite() {
    if (!Claim())
        return false;
    const QString fresh = m_path + QStringLiteral(".new");
    QFile::remove(fresh);
    JournalWriter writer;
    if (!writer.Create(fresh))
        return false;
    QByteArray all = HeaderRecord();
    for (const auto& [key, payload] : m_latest)
        all += JournalFormat::Record(JournalFormat::kDayKind, payload);
    if (!writer.Append(all) || !writer.Sync() ||
        std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(m_path).constData()) !=
            0) {
        const int error = errno;
        writer.Close();
        QFile::remove(fresh);
        errno = error;
        return false;
    }
    FileSync::SyncFolder(m_folder);
    m_writer.Swap(writer);
    m_unsynced = false;
    m_folderUnsynced = false;
    m_broken = false;
    m_reported = false;
    return true;
}

void CRecoveryJournal::Failed(int error) {
    m_broken = true;
    if (!m_reported) {
        m_reported = true;
        const QString name = m_path.isEmpty() ? m_folder : m_path;
        const CFileException e(
            error ? CFileException::CauseFromErrno(error) : CFileException::genericException, name);
        if (m_report)
            m_report(e.GetErrorMessage());
    }
}

void CRecoveryJournal::ScheduleFlush() {
    // The timer needs the application's event loop; the book tool and benchmarks have none.
    if (QCoreApplication::instance() && !m_syncTimer.isActive())
        m_syncTimer.start();
}

void CRecoveryJournal::Flush() {
    m_syncTimer.stop();
    if (m_broken) {
        if (!Rewrite())
            Failed(errno);
        return;
    }
    if (!m_writer.IsOpen())
        return;
    if (m_writer.Size() > std::max(kCompactFloor, 8 * m_liveBytes) && Rewrite())
        return;
    if (m_unsynced) {
        m_unsynced = false;
        if (!m_writer.Sync()) {
            Failed(errno);
            return;
        }
    }
    if (m_folderUnsynced) {
        m_folderUnsynced = false;
        FileSync::SyncFolder(m_folder);
    }
}

void CRecoveryJournal::Discard() {
    m_syncTimer.stop();
    m_writer.Close();
    if (!m_path.isEmpty()) {
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral(".new"));
    }
    m_lock.reset();
    m_path.clear();
    m_latest.clear();
    m_liveBytes = 0;
    m_unsynced = m_folderUnsynced = m_broken = m_reported = false;
}
