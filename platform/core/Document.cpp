#include "platform/core/Document.h"

#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <new>

QString CDocumentHost::GetDocumentsFolder() const {
    return DefaultDocumentsFolder();
}

QString CDocumentHost::DefaultDocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString CDocumentHost::GetDataFolder() const {
    return DefaultDataFolder();
}

QString CDocumentHost::DefaultDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

namespace {

// Why a file could not be opened, from errno right after the attempt and from what is on disk.
CFileException::Cause OpenFailureCause(const QString& path, int error) {
    const QFileInfo info(path);
    if (info.isDir())
        return CFileException::accessDenied;
    if (!info.exists() && !info.absoluteDir().exists())
        return CFileException::badPath;
    if (error)
        return CFileException::CauseFromErrno(error);
    return info.exists() ? CFileException::accessDenied : CFileException::fileNotFound;
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

QString CDocument::SaveLoadExceptionText(const QString& path, const CException* e, bool saving,
                                         int defaultId) {
    if (const auto* fe = dynamic_cast<const CFileException*>(e)) {
        CFileException named = *fe;
        if (named.m_strFileName.isEmpty())
            named.m_strFileName = path;
        return named.GetErrorMessage();
    }
    if (const auto* ae = dynamic_cast<const CArchiveException*>(e);
        ae && !saving && ae->m_cause == CArchiveException::endOfFile)
        return LoadString(AFX_IDP_FILE_UNEXPECTED_FORMAT);
    return LoadString(defaultId);
}

void CDocument::ReportSaveLoadException(const QString& path, const CException* e, bool saving,
                                        int defaultId) {
    ShowMessage(SaveLoadExceptionText(path, e, saving, defaultId));
}

bool CDocument::OnOpenDocument(const QString& path) {
    if (QFileInfo(path).isDir()) {
        const CFileException e(CFileException::accessDenied, path);
        ReportSaveLoadException(path, &e, false, AFX_IDP_FAILED_TO_OPEN_DOC);
        return false;
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const CFileException e(OpenFailureCause(path, errno), path);
        ReportSaveLoadException(path, &e, false, AFX_IDP_FAILED_TO_OPEN_DOC);
        return false;
    }
    // A pipe tells no size: take what it holds first, so that it is not taken for an empty file.
    QByteArray piped;
    QBuffer pipedBuffer(&piped);
    QIODevice* source = &file;
    if (file.isSequential()) {
        piped = file.readAll();
        pipedBuffer.open(QIODevice::ReadOnly);
        source = &pipedBuffer;
    }
    // An empty file is an empty book; nothing is read and nothing is remembered.
    if (source->size() == 0) {
        DeleteContents();
        SetModifiedFlag(false);
        return true;
    }
    try {
        CArchive ar(source, CArchive::load, QFileInfo(path).absoluteFilePath());
        Serialize(ar);
    } catch (const CException& e) {
        ReportSaveLoadException(path, &e, false, AFX_IDP_FAILED_TO_OPEN_DOC);
        return false;
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        ReportSaveLoadException(path, &e, false, AFX_IDP_FAILED_TO_OPEN_DOC);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path) {
    const QFileInfo info(path);
    try {
        // Replacing goes through a new file and a rename, which would also replace a
        // read-only file: refuse that as the file system would.
        if (info.isDir() || (info.exists() && !info.isWritable()))
            throw CFileException(CFileException::accessDenied, path);
        QSaveFile file(path);
        errno = 0;
        if (!file.open(QIODevice::WriteOnly))
            throw CFileException(OpenFailureCause(path, errno), path);
        try {
            CArchive ar(&file, CArchive::store, info.absoluteFilePath());
            Serialize(ar);
            ar.Flush();
        } catch (...) {
            file.cancelWriting();
            throw;
        }
        errno = 0;
        if (!file.commit()) {
            const int error = errno;
            throw CFileException(error ? CFileException::CauseFromErrno(error)
                                       : CFileException::genericException,
                                 path);
        }
    } catch (const CException& e) {
        ReportSaveLoadException(path, &e, true, AFX_IDP_FAILED_TO_SAVE_DOC);
        return false;
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        ReportSaveLoadException(path, &e, true, AFX_IDP_FAILED_TO_SAVE_DOC);
        return false;
    }
    SetModifiedFlag(false);
    return true;
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
    if (!m_strPathName.isEmpty() && info.isFile() && info.isWritable())
        return OnSaveDocument(m_strPathName);
    return DoSave(m_strPathName);
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
