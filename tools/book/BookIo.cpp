#include "tools/book/BookIo.h"

#include "platform/core/Archive.h"
#include "platform/core/Document.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FileSystem.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/SafeWrite.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <new>

namespace BookIo {

ReadResult Read(const QString& path) {
    ReadResult result;
    try {
        const QByteArray bytes = OpenBookSource(path, [&result](CArchive& ar) {
            BookFile::ReadDays(ar, CYoteiDay::kRows, result.days);
            result.trailingBytes = ar.BytesRemaining();
        });
        result.identity = FileIdentity::OfBytes(path, bytes);
        result.ok = true;
    } catch (const CException& e) {
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::open);
        if (const auto* damage = dynamic_cast<const CArchiveException*>(&e))
            result.damage = damage->Describe();
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::open);
    }
    return result;
}

FileIdentity Identify(const QString& path) {
    return FileIdentity::OfFile(path);
}

WriteResult Write(const QString& path, const DayList& days, const FileIdentity& expected,
                  FileSystem* fs) {
    WriteResult result;
    QByteArray bytes;
    try {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        CArchive ar(&buffer, QFileInfo(path).absoluteFilePath());
        BookFile::WriteDays(ar, CYoteiDay::kRows, days);
        ar.Flush();
    } catch (const CException& e) {
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::save);
        return result;
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::save);
        return result;
    }

    const QString backups =
        QDir(CDocumentHost::DefaultDataFolder()).filePath(QStringLiteral("backups"));
    SafeWrite writer(fs ? *fs : FileSystem::Default(), backups);
    bool changed = false;
    const SafeWrite::Outcome outcome = writer.Replace(path, bytes, [&](const QByteArray* current) {
        changed = !expected.Matches(current);
        return changed ? SafeWrite::Verdict::keep : SafeWrite::Verdict::write;
    });
    const auto text = [&](const FileStatus& status, const QString& name) {
        return CFileException(name == path ? FileFailureCause(path, status.error)
                                           : CFileException::CauseFromErrno(status.error),
                              name)
            .GetErrorMessage();
    };
    switch (outcome.kind) {
    case SafeWrite::Outcome::saved:
        result.ok = true;
        if (!outcome.backupFailure.ok())
            result.warnings << LoadString(IDP_NO_BACKUP_KEPT)
                                   .arg(path,
                                        text(outcome.backupFailure, outcome.backupFailure.path));
        if (!outcome.folderSyncFailure.ok())
            result.warnings << LoadString(IDP_SAVED_FOLDER_NOT_SYNCED).arg(path);
        return result;
    case SafeWrite::Outcome::kept:
    case SafeWrite::Outcome::elsewhere:
        result.message = LoadString(IDP_BOOK_CHANGED_SINCE_READ).arg(path);
        return result;
    case SafeWrite::Outcome::failed:
        break;
    }
    const QString name = outcome.failure.path.isEmpty() ? path : outcome.failure.path;
    result.message = text(outcome.failure, name);
    if (outcome.rollbackFailed)
        result.message +=
            u'\n' + (outcome.backupPath.isEmpty()
                         ? LoadString(IDP_ROLLBACK_FAILED_NO_BACKUP).arg(path)
                         : LoadString(IDP_ROLLBACK_FAILED).arg(path, outcome.backupPath));
    return result;
}

std::unique_ptr<BookLock> Hold(const QString& path, QString& message) {
    auto lock = std::make_unique<BookLock>(CDocumentHost::DefaultDataFolder(), path);
    if (lock->TryLock())
        return lock;
    message = LoadString(IDP_BOOK_IN_USE).arg(lock->BookPath());
    return nullptr;
}

} // namespace BookIo
