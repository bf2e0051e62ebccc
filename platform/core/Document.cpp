#include "platform/core/Document.h"

#include "platform/core/Archive.h"
#include "platform/core/Crc32c.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FileSync.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <functional>
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

namespace {

CFileException::Cause CauseOf(int error, CFileException::Cause unknown) {
    return error ? CFileException::CauseFromErrno(error) : unknown;
}

using SyncFunction = std::function<bool(int fd)>;

// A folder that refuses the new file or the rename; the caller may still write in place.
struct FolderRefusal {
    int error;
};

// Replaces target through a new file and a rename, so that an interrupted save leaves the old
// file whole. The data is synced before the rename and the folder after it: QSaveFile ignores
// its own sync's result, and a card that fails to sync must not be taken for saved.
// beforeRename runs once the new file is safely on the disk.
void ReplaceAtomically(const QString& target, const QByteArray& bytes, const QString& shownPath,
                       const SyncFunction& sync, bool ownerOnly,
                       const std::function<void()>& beforeRename = {}) {
    QSaveFile file(target);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throw FolderRefusal{errno};
    if (ownerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw CFileException(CauseOf(errno, CFileException::genericException), shownPath);
    errno = 0;
    if (!sync(file.handle()))
        throw CFileException(CauseOf(errno, CFileException::hardIO), shownPath);
    if (beforeRename)
        beforeRename();
    errno = 0;
    if (!file.commit())
        throw FolderRefusal{errno};
    errno = 0;
    if (!FileSync::SyncFolder(QFileInfo(target).absolutePath()))
        throw CFileException(CauseOf(errno, CFileException::hardIO), shownPath);
}

// Writes bytes over target itself, for a folder that refuses new files or the rename. The new
// bytes are complete in memory and the old ones kept as a backup before the file is touched;
// on any failure the old bytes are written back. Never truncate first: a full disk half way
// would leave neither version.
void WriteInPlace(const QString& target, const QByteArray& previous, const QByteArray& bytes,
                  const QString& shownPath, const SyncFunction& sync) {
    QFile file(target);
    errno = 0;
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        throw CFileException(FileFailureCause(target, errno), shownPath);
    const auto put = [&](const QByteArray& content) {
        return file.seek(0) && file.write(content) == content.size() && file.flush() &&
               file.resize(content.size()) && sync(file.handle());
    };
    errno = 0;
    bool ok = put(bytes);
    int error = ok ? 0 : errno;
    // Read back what landed: a write that went astray must not pass for a save.
    if (ok && (!file.seek(0) || file.readAll() != bytes)) {
        ok = false;
        error = EIO;
    }
    if (!ok) {
        put(previous);
        throw CFileException(CauseOf(error, CFileException::hardIO), shownPath);
    }
}

// The backup of the book at target: its name and a short hash of its full path, so that books
// of the same name in different folders keep a backup each.
QString BackupFileName(const QString& target) {
    const QFileInfo info(target);
    const QByteArray key = QFile::encodeName(info.absoluteFilePath());
    QString name =
        info.completeBaseName() + QLatin1Char('-') +
        QStringLiteral("%1").arg(Crc32c(key.constData(), key.size()), 8, 16, QLatin1Char('0'));
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    return name;
}

} // namespace

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
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
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
    return true;
}

bool CDocument::OnSaveDocument(const QString& path) {
    return SaveFile(path, true);
}

bool CDocument::SaveFile(const QString& path, bool report) {
    try {
        WriteFile(path);
    } catch (const CException& e) {
        if (report)
            ReportSaveLoadException(path, &e, FileOperation::save);
        return false;
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        if (report)
            ReportSaveLoadException(path, &e, FileOperation::save);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CDocument::WriteFile(const QString& path) {
    const QFileInfo info(path);
    // A read-only file is refused as the file system would refuse it, although a rename could
    // replace it.
    if (info.isDir() || (info.exists() && !info.isWritable()))
        throw CFileException(CFileException::accessDenied, path);

    // The whole new book in memory first: a failure here has touched no file.
    QByteArray bytes;
    // A save mostly writes about what the file holds; growing a 10 MB array step by step copies
    // it several times over.
    if (info.isFile())
        bytes.reserve(info.size() + info.size() / 16);
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        CArchive ar(&buffer, info.absoluteFilePath());
        Serialize(ar);
        ar.Flush();
    }

    // A symbolic link is saved through to its target, which keeps its permissions.
    QString target = info.absoluteFilePath();
    if (info.exists())
        target = info.canonicalFilePath();
    else if (info.isSymLink())
        target = info.symLinkTarget();

    QByteArray previous;
    const bool replacing = QFileInfo(target).isFile();
    if (replacing) {
        QFile current(target);
        errno = 0;
        if (!current.open(QIODevice::ReadOnly))
            throw CFileException(FileFailureCause(target, errno), path);
        previous = ReadWholeFile(current, path);
    }
    // The backup is taken only once the new bytes are safely on the disk, so that a failed save
    // does not push out the previous generation. Identical bytes need none.
    bool backedUp = !replacing || previous == bytes;
    const auto backUp = [&] {
        if (!backedUp)
            KeepBackup(target, previous);
        backedUp = true;
    };

    const SyncFunction sync = [this](int fd) { return SyncData(fd); };
    try {
        ReplaceAtomically(target, bytes, path, sync, false, backUp);
    } catch (const FolderRefusal& refusal) {
        // The folder refuses the new file or the rename (a shared folder, a mounted card, a
        // sticky folder), but a writable file may still be written in place.
        if (!replacing)
            throw CFileException(FileFailureCause(path, refusal.error), path);
        backUp();
        WriteInPlace(target, previous, bytes, path, sync);
    }
    OnFileWritten(path, bytes);
}

void CDocument::KeepBackup(const QString& target, const QByteArray& previous) {
    // A document without a host is a scratch copy; it keeps no backups.
    const QString dataFolder = m_pHost ? m_pHost->GetDataFolder() : QString();
    if (dataFolder.isEmpty())
        return;
    const QString folder = QDir(dataFolder).filePath(QStringLiteral("backups"));
    const QString backup = QDir(folder).filePath(BackupFileName(target));
    if (!QDir().mkpath(folder))
        throw CFileException(CFileException::accessDenied, backup);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    try {
        ReplaceAtomically(
            backup, previous, backup, [this](int fd) { return SyncData(fd); }, true);
    } catch (const FolderRefusal& refusal) {
        throw CFileException(CauseOf(refusal.error, CFileException::accessDenied), backup);
    }
}

void CDocument::OnFileRead(const QString&, const QByteArray&) {}

void CDocument::OnFileWritten(const QString&, const QByteArray&) {}

bool CDocument::IsChangedOnDisk(const QString&) const {
    return false;
}

bool CDocument::SyncData(int fd) {
    return FileSync::SyncData(fd);
}

QString CDocument::FreeNameInFolder(const QString& folder, const QString& title) {
    const QDir dir(folder);
    QString name = dir.filePath(title + QStringLiteral(".dat"));
    for (qint64 n = 1; QFileInfo::exists(name); ++n)
        name = dir.filePath(title + QString::number(n) + QStringLiteral(".dat"));
    return name;
}

bool CDocument::DoFileSave() {
    const QFileInfo info(m_strPathName);
    if (!m_strPathName.isEmpty() && info.isFile() && info.isWritable()) {
        if (IsChangedOnDisk(m_strPathName))
            return SaveOverChangedFile();
        return OnSaveDocument(m_strPathName);
    }
    return DoSave(m_strPathName);
}

bool CDocument::SaveOverChangedFile() {
    const bool mayAsk =
        m_pHost && m_pHost->GetPlatformKind() == PlatformKind::Desktop && m_pHost->CanAskUser();
    if (!mayAsk)
        return SaveBesideChangedFile();
    // No keeps the other program's file and the book unsaved.
    if (m_pHost->AskOverwrite(LoadString(IDP_FILE_CHANGED_ON_DISK).arg(m_strPathName)) != IDYES)
        return false;
    return OnSaveDocument(m_strPathName);
}

bool CDocument::SaveBesideChangedFile() {
    // Both versions are kept: the book goes under the next free name beside the file, or into
    // the documents folder when that folder cannot be written, and carries that name from now on.
    const QFileInfo info(m_strPathName);
    const QString base = info.completeBaseName();
    QString copy = FreeNameInFolder(info.absolutePath(), base);
    if (!SaveFile(copy, false)) {
        const QString folder =
            m_pHost ? m_pHost->GetDocumentsFolder() : CDocumentHost::DefaultDocumentsFolder();
        QDir().mkpath(folder);
        copy = FreeNameInFolder(folder, base);
        if (!SaveFile(copy, true))
            return false;
    }
    const QString original = m_strPathName;
    SetPathName(copy);
    const QString notice = LoadString(IDP_SAVED_BESIDE_CHANGED_FILE).arg(original, m_strPathName);
    if (m_pHost)
        m_pHost->ShowNotice(notice);
    else
        ShowMessage(notice);
    return true;
}

bool CDocument::DoSave(const QString& name) {
    QString target = name;
    if (target.isEmpty()) {
        // An untitled book goes to the documents folder without a dialog.
        const QString folder =
            m_pHost ? m_pHost->GetDocumentsFolder() : CDocumentHost::DefaultDocumentsFolder();
        QDir().mkpath(folder);
        const QString title = m_strTitle.isEmpty() ? LoadString(AFX_IDS_UNTITLED) : m_strTitle;
        target = FreeNameInFolder(folder, title);
    }
    if (!OnSaveDocument(target))
        return false;
    SetPathName(target);
    return true;
}

bool CDocument::SaveModified() {
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
