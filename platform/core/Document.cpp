#include "platform/core/Document.h"

#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FileSystem.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <new>

QString CDocumentHost::GetDocumentsFolder() const {
    return DefaultDocumentsFolder();
}

QString CDocumentHost::DefaultDocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

int CDocumentHost::AskOverwrite(const QString&) {
    return IDNO;
}

QString CDocumentHost::GetDataFolder() const {
    return DefaultDataFolder();
}

QString CDocumentHost::DefaultDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

FileSystem& CDocumentHost::GetFileSystem() const {
    return FileSystem::Default();
}

CDocument::CDocument() {
    OnCommand(ID_FILE_SAVE, [this] { DoFileSave(); });
}

CDocument::~CDocument() = default;

void CDocument::SetPathName(const QString& path) {
    const QFileInfo info(path);
    m_strPathName = QDir::cleanPath(info.absoluteFilePath());
    SetTitle(info.fileName());
}

void CDocument::SetTitle(const QString& title) {
    if (title == m_strTitle)
        return;
    m_strTitle = title;
    emit TitleChanged(m_strTitle);
}

void CDocument::SetModifiedFlag(bool modified) {
    if (modified == m_bModified)
        return;
    m_bModified = modified;
    emit ModifiedChanged(m_bModified);
}

void CDocument::DeleteContents() {}

bool CDocument::OnNewDocument() {
    BeforeFileWork();
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    emit Replaced();
    return true;
}

void CDocument::ShowMessage(const QString& text) {
    if (m_pHost)
        m_pHost->ShowMessage(text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString CDocument::SaveLoadExceptionText(const QString& path, const CException* e,
                                         FileOperation operation) {
    if (const auto* fe = dynamic_cast<const CFileException*>(e)) {
        CFileException named = *fe;
        if (named.m_strFileName.isEmpty())
            named.m_strFileName = path;
        return named.GetErrorMessage();
    }
    if (const auto* ae = dynamic_cast<const CArchiveException*>(e);
        ae && operation == FileOperation::open &&
        (ae->m_cause == CArchiveException::endOfFile ||
         ae->m_cause == CArchiveException::badSchema))
        return LoadString(AFX_IDP_FILE_UNEXPECTED_FORMAT);
    return LoadString(operation == FileOperation::open ? AFX_IDP_FAILED_TO_OPEN_DOC
                                                       : AFX_IDP_FAILED_TO_SAVE_DOC);
}

void CDocument::ReportSaveLoadException(const QString& path, const CException* e,
                                        FileOperation operation) {
    ShowMessage(SaveLoadExceptionText(path, e, operation));
}

bool CDocument::OnOpenDocument(const QString& path) {
    BeforeFileWork();
    // The file is read once, whole; its bytes are also what a later save compares it with.
    QByteArray bytes;
    try {
        bytes = OpenBookSource(path, [this](CArchive& ar) { Serialize(ar); });
        // An empty file is an empty book; nothing is read and the profile is not written.
        if (bytes.isEmpty())
            DeleteContents();
    } catch (const CException& e) {
        ReportSaveLoadException(path, &e, FileOperation::open);
        return false;
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        ReportSaveLoadException(path, &e, FileOperation::open);
        return false;
    }
    SetModifiedFlag(false);
    OnFileRead(path, bytes);
    emit Replaced();
    return true;
}

bool CDocument::OnSaveDocument(const QString& path) {
    BeforeFileWork();
    QByteArray bytes;
    return SerializeToBytes(path, bytes) && SaveBook(path, bytes, false);
}

bool CDocument::DoFileSave(SaveKind kind) {
    BeforeFileWork();
    // The program saves on its own only a book that has its file.
    if (m_strPathName.isEmpty())
        return kind == SaveKind::own && DoSave(QString());
    QByteArray bytes;
    return SerializeToBytes(m_strPathName, bytes) && SaveBook(m_strPathName, bytes, true, kind);
}

bool CDocument::DoSave(const QString& name) {
    BeforeFileWork();
    QByteArray bytes;
    if (!SerializeToBytes(name, bytes))
        return false;
    if (!name.isEmpty()) {
        if (!SaveBook(name, bytes, false))
            return false;
        SetPathName(name);
        return true;
    }
    // An untitled book goes to the documents folder without a dialog, under a name that no
    // other planner saving at the same moment can take as well.
    const QString folder =
        m_pHost ? m_pHost->GetDocumentsFolder() : CDocumentHost::DefaultDocumentsFolder();
    const QString title = m_strTitle.isEmpty() ? LoadString(AFX_IDS_UNTITLED) : m_strTitle;
    const SafeWrite::Outcome outcome = MakeWriter().CreateNew(folder, title, bytes);
    if (!outcome.Saved()) {
        ReportSaveFailure(outcome.failure.path, outcome);
        return false;
    }
    SetPathName(outcome.path);
    AfterSave(outcome.path, outcome);
    return true;
}

bool CDocument::SerializeToBytes(const QString& path, QByteArray& bytes) {
    const QFileInfo info(path);
    try {
        // A save mostly writes about what the file holds; growing a 10 MB array step by step
        // copies it several times over.
        if (info.isFile())
            bytes.reserve(info.size() + info.size() / 16);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        CArchive ar(&buffer, path.isEmpty() ? QString() : info.absoluteFilePath());
        Serialize(ar);
        ar.Flush();
        return true;
    } catch (const CException& e) {
        ReportSaveLoadException(path, &e, FileOperation::save);
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        ReportSaveLoadException(path, &e, FileOperation::save);
    }
    return false;
}

SafeWrite CDocument::MakeWriter(SaveKind kind) const {
    // A document without a host is a scratch copy; it keeps no backups. A save of the program's
    // own keeps the backup of the user's last save, and so has no way back from a write in place.
    const QString dataFolder = m_pHost ? m_pHost->GetDataFolder() : QString();
    if (kind == SaveKind::automatic)
        return SafeWrite(GetFileSystem(), QString(), false);
    return SafeWrite(GetFileSystem(), dataFolder.isEmpty()
                                          ? QString()
                                          : QDir(dataFolder).filePath(QStringLiteral("backups")));
}

FileSystem& CDocument::GetFileSystem() const {
    return m_pHost ? m_pHost->GetFileSystem() : FileSystem::Default();
}

bool CDocument::SaveBook(const QString& path, const QByteArray& bytes, bool judged, SaveKind kind) {
    const bool mayAsk =
        m_pHost && m_pHost->GetPlatformKind() == PlatformKind::Desktop && m_pHost->CanAskUser();
    // Judged against the bytes the save has just read, not a second look at the file.
    const auto judge = [&](const QByteArray* current) {
        if (!judged || !IsChangedOnDisk(path, current))
            return SafeWrite::Verdict::write;
        if (!mayAsk)
            return SafeWrite::Verdict::elsewhere;
        // No keeps the other program's file and the book unsaved.
        return m_pHost->AskOverwrite(LoadString(IDP_FILE_CHANGED_ON_DISK).arg(path)) == IDYES
                   ? SafeWrite::Verdict::write
                   : SafeWrite::Verdict::keep;
    };
    const SafeWrite::Outcome outcome = MakeWriter(kind).Replace(path, bytes, judge);
    switch (outcome.kind) {
    case SafeWrite::Outcome::saved:
        AfterSave(path, outcome, kind);
        return true;
    case SafeWrite::Outcome::kept:
        return false;
    case SafeWrite::Outcome::elsewhere:
        return SaveBesideChangedFile(bytes);
    case SafeWrite::Outcome::failed:
        break;
    }
    ReportSaveFailure(path, outcome, kind);
    return false;
}

bool CDocument::SaveBesideChangedFile(const QByteArray& bytes) {
    // Both versions are kept: the book goes under the next free name beside the file, or into
    // the documents folder when that folder cannot be written, and carries that name from now on.
    const QFileInfo info(m_strPathName);
    const QString base = info.completeBaseName();
    SafeWrite writer = MakeWriter();
    SafeWrite::Outcome outcome = writer.CreateNew(info.absolutePath(), base, bytes);
    if (!outcome.Saved()) {
        const QString folder =
            m_pHost ? m_pHost->GetDocumentsFolder() : CDocumentHost::DefaultDocumentsFolder();
        outcome = writer.CreateNew(folder, base, bytes);
    }
    if (!outcome.Saved()) {
        ReportSaveFailure(outcome.failure.path, outcome);
        return false;
    }
    const QString original = m_strPathName;
    SetPathName(outcome.path);
    AfterSave(outcome.path, outcome);
    Tell(LoadString(IDP_SAVED_BESIDE_CHANGED_FILE).arg(original, m_strPathName));
    return true;
}

void CDocument::AfterSave(const QString& path, const SafeWrite::Outcome& outcome, SaveKind kind) {
    SetModifiedFlag(false);
    OnFileWritten(path, outcome.identity);
    emit Saved(kind);
    const auto causeText = [](const FileStatus& status) {
        return CFileException(CFileException::CauseFromErrno(status.error), status.path)
            .GetErrorMessage();
    };
    if (!outcome.backupFailure.ok()) {
        if (!m_backupFailureTold)
            Tell(LoadString(IDP_NO_BACKUP_KEPT).arg(path, causeText(outcome.backupFailure)), kind);
        m_backupFailureTold = true;
    } else if (!outcome.backupPath.isEmpty()) {
        m_backupFailureTold = false;
    }
    if (!outcome.folderSyncFailure.ok())
        Tell(LoadString(IDP_SAVED_FOLDER_NOT_SYNCED).arg(path), kind);
}

void CDocument::ReportSaveFailure(const QString& path, const SafeWrite::Outcome& outcome,
                                  SaveKind kind) {
    const FileStatus& failure = outcome.failure;
    const QString name = failure.path.isEmpty() ? path : failure.path;
    // A missing folder is a bad path, whatever the call said.
    const CFileException::Cause cause = name == path
                                            ? FileFailureCause(path, failure.error)
                                            : CFileException::CauseFromErrno(failure.error);
    QString text = CFileException(cause, name).GetErrorMessage();
    if (outcome.rollbackFailed)
        text += QLatin1Char('\n') +
                (outcome.backupPath.isEmpty()
                     ? LoadString(IDP_ROLLBACK_FAILED_NO_BACKUP).arg(path)
                     : LoadString(IDP_ROLLBACK_FAILED).arg(path, outcome.backupPath));
    if (kind == SaveKind::automatic && m_pHost)
        m_pHost->ShowPassiveMessage(text);
    else
        ShowMessage(text);
}

void CDocument::Tell(const QString& text, SaveKind kind) {
    if (m_pHost && kind == SaveKind::automatic && m_pHost->CanAskUser())
        m_pHost->ShowPassiveMessage(text);
    else if (m_pHost)
        m_pHost->ShowNotice(text);
    else
        ShowMessage(text);
}

void CDocument::OnFileRead(const QString&, const QByteArray&) {}

void CDocument::OnFileWritten(const QString&, const FileIdentity&) {}

bool CDocument::IsChangedOnDisk(const QString&, const QByteArray*) const {
    return false;
}

bool CDocument::SaveModified() {
    BeforeFileWork();
    if (!IsModified())
        return true;
    const bool ask =
        m_pHost && m_pHost->GetPlatformKind() == PlatformKind::Desktop && m_pHost->CanAskUser();
    if (!ask)
        return DoFileSave();
    QString name = m_strPathName.isEmpty() ? m_strTitle : QFileInfo(m_strPathName).fileName();
    if (name.isEmpty())
        name = LoadString(AFX_IDS_UNTITLED);
    switch (m_pHost->AskSaveChanges(LoadString(AFX_IDP_ASK_TO_SAVE).arg(name))) {
    case IDYES:
        return DoFileSave();
    case IDNO:
        return true;
    default:
        return false;
    }
}
