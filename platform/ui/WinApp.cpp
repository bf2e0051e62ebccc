#include "platform/ui/WinApp.h"

#include "platform/core/FileSystem.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/Profile.h"
#include "platform/core/StringTable.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/FrameWnd.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/SingleDocTemplate.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLibraryInfo>
#include <QSaveFile>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTranslator>
#include <cstdio>

CWinApp::CWinApp() {
    OnCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, &CWinApp::CommitData,
                Qt::DirectConnection);
    }
}

CWinApp::~CWinApp() {
    if (m_qtTranslator)
        QCoreApplication::removeTranslator(m_qtTranslator.get());
    m_pMainWnd = nullptr;
    m_template.reset();
}

bool CWinApp::InitInstance() {
    return true;
}

int CWinApp::Run() {
    if (!InitInstance())
        return 1;
    return QApplication::exec();
}

bool CWinApp::LoadQtTranslations(const QString& language) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + language,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    if (m_qtTranslator)
        QCoreApplication::removeTranslator(m_qtTranslator.get());
    m_qtTranslator = std::move(translator);
    QCoreApplication::installTranslator(m_qtTranslator.get());
    return true;
}

QString CWinApp::GetConfigFolder() const {
    return m_configFolder.isEmpty()
               ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
               : m_configFolder;
}

void CWinApp::SetRegistryKey(const QString& company) {
    m_profile = std::make_unique<CProfile>(company, LoadString(AFX_IDS_APP_TITLE));
}

QString CWinApp::GetProfileString(const QString& section, const QString& entry,
                                  const QString& defaultValue) const {
    return m_profile ? m_profile->GetProfileString(section, entry, defaultValue) : defaultValue;
}

bool CWinApp::WriteProfileString(const QString& section, const QString& entry,
                                 const QString& value) {
    return m_profile && m_profile->WriteProfileString(section, entry, value);
}

void CWinApp::AddDocTemplate(CSingleDocTemplate* docTemplate) {
    m_template.reset(docTemplate);
}

CDocument* CWinApp::GetDocument() const {
    return m_template ? m_template->GetDocument() : nullptr;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) const {
    // Options are skipped; the first other argument is a file to open.
    for (qsizetype i = 1; i < m_arguments.size(); ++i) {
        const QString& arg = m_arguments[i];
        if (arg.startsWith(QLatin1Char('-')))
            continue;
        info.m_nShellCommand = CCommandLineInfo::FileOpen;
        info.m_strFileName = arg;
        break;
    }
}

bool CWinApp::ProcessShellCommand(const CCommandLineInfo& info) {
    if (info.m_nShellCommand == CCommandLineInfo::FileOpen)
        return OpenDocumentFile(info.m_strFileName) != nullptr;
    OnFileNew();
    return GetDocument() != nullptr;
}

void CWinApp::ShowMainWindow() {
    if (!m_pMainWnd)
        return;
    const QString stateFile = GetConfigFolder() + QStringLiteral("/window.ini");
    m_pMainWnd->RestoreWindowState(stateFile);
    m_pMainWnd->FitToScreen();
    m_pMainWnd->show();
    // Once shown its frame is known, and where the window was put is final.
    m_pMainWnd->FitToScreen();
}

CDocument* CWinApp::OpenDocumentFile(const QString& path) {
    if (!m_template)
        return nullptr;
    // Only the quotes a shell puts around a path go: white space may be part of a file's name.
    QString name = path;
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty())
        return nullptr;
    name = QDir::cleanPath(QFileInfo(name).absoluteFilePath());

    // The file already open is only brought to the front: not read again, nothing lost.
    CDocument* open = m_template->GetDocument();
    if (open && !open->GetPathName().isEmpty()) {
        const QFileInfo a(open->GetPathName()), b(name);
        const bool same = (a.exists() && b.exists())
                              ? a.canonicalFilePath() == b.canonicalFilePath()
                              : a.absoluteFilePath() == b.absoluteFilePath();
        if (same) {
            if (m_pMainWnd)
                m_pMainWnd->ActivateFrame();
            return open;
        }
    }
    CDocument* document = m_template->OpenDocumentFile(name, this);
    m_pMainWnd = m_template->GetFrame();
    return document;
}

void CWinApp::OnFileNew() {
    if (!m_template)
        return;
    m_template->OpenDocumentFile(QString(), this);
    m_pMainWnd = m_template->GetFrame();
}

void CWinApp::OnFileOpen() {
    // "Tavrino Files (*.dat)" and "すべてのファイル (*.*)": Qt reads the pattern in parentheses.
    QString filters = LoadString(AFX_IDS_ALLFILTER);
    if (m_template && !m_template->GetDocString(3).isEmpty())
        filters = m_template->GetDocString(3) + QStringLiteral(";;") + filters;
    const QString path = GetOpenFilePath(m_pMainWnd, LoadString(AFX_IDS_OPENFILE), filters);
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

void CWinApp::ShowMessage(const QString& text) {
    AfxMessageBox(text);
}

void CWinApp::Notify(const QString& text) {
    AfxNotify(text, m_pMainWnd);
}

FileSystem& CWinApp::GetFileSystem() const {
    return m_fileSystem ? *m_fileSystem : FileSystem::Default();
}

int CWinApp::AskSaveChanges(const QString& text) {
    return AfxMessageBox(text, MessageButtons::YesNoCancel);
}

int CWinApp::AskOverwrite(const QString& text) {
    return AfxMessageBox(text, MessageButtons::YesNo);
}

namespace {
// The texts that could not be shown when the last session ended, as a JSON array of strings.
QString KeptNoticesFile(const QString& dataFolder) {
    return dataFolder.isEmpty() ? QString()
                                : QDir(dataFolder).filePath(QStringLiteral("notices.json"));
}

QJsonArray ReadKeptNotices(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(in.readAll()).array();
}
} // namespace

void CWinApp::ShowNotice(const QString& text) {
    const QString file = KeptNoticesFile(GetDataFolder());
    if (CanAskUser() || file.isEmpty()) {
        ShowMessage(text);
        return;
    }
    QJsonArray notices = ReadKeptNotices(file);
    notices.append(text);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(QJsonDocument(notices).toJson(QJsonDocument::Compact)) < 0 || !out.commit()) {
        // Nobody can be told now; the terminal of the session is the last place left.
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

void CWinApp::ShowKeptNotices() {
    const QString file = KeptNoticesFile(GetDataFolder());
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    const QJsonArray notices = ReadKeptNotices(file);
    // Gone before the first box, so that a crash in between cannot show them twice.
    QFile::remove(file);
    for (const QJsonValue& notice : notices)
        ShowMessage(notice.toString());
}

QString CWinApp::GetDocumentsFolder() const {
    return m_documentsFolder.isEmpty() ? CDocumentHost::GetDocumentsFolder() : m_documentsFolder;
}

QString CWinApp::GetDataFolder() const {
    return m_dataFolder.isEmpty() ? CDocumentHost::GetDataFolder() : m_dataFolder;
}

void CWinApp::OnSessionEnding() {
    m_sessionEnding = true;
    if (CDocument* document = GetDocument())
        document->SaveModified();
}

void CWinApp::CommitData(QSessionManager& manager) {
    CDocument* document = GetDocument();
    if (!document || !document->IsModified())
        return;
    if (manager.allowsInteraction()) {
        // The session lets us ask: the usual question, and Cancel keeps the session alive.
        const bool replaceable = document->SaveModified();
        manager.release();
        if (!replaceable)
            manager.cancel();
        return;
    }
    OnSessionEnding();
}
