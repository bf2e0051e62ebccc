#pragma once

#include "platform/core/CmdTarget.h"
#include "platform/core/Document.h"

#include <QObject>
#include <QStringList>
#include <memory>

class CFrameWnd;
class CProfile;
class CSingleDocTemplate;
class QSessionManager;
class QTranslator;

// What the process was started with, as far as start-up uses it.
class CCommandLineInfo {
public:
    enum ShellCommand { FileNew, FileOpen };
    ShellCommand m_nShellCommand = FileNew;
    QString m_strFileName;
};

// The application object: start-up, the profile, the one template and the application-level
// commands. It is also the document's host: messages, the save question, the profile.
class CWinApp : public QObject, public CCmdTarget, public CDocumentHost {
    Q_OBJECT
public:
    CWinApp();
    ~CWinApp() override;

    virtual bool InitInstance();
    // InitInstance, then the message loop; the process's exit code.
    int Run();

    void SetRegistryKey(const QString& company);
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);

    void AddDocTemplate(CSingleDocTemplate* docTemplate);
    CDocument* GetDocument() const;

    void SetArguments(const QStringList& arguments) { m_arguments = arguments; }
    void ParseCommandLine(CCommandLineInfo& info) const;
    bool ProcessShellCommand(const CCommandLineInfo& info);

    // Shows the main window where it was closed last time, or as created where that fits the
    // screen.
    void ShowMainWindow();

    // The open-path procedure; null when it failed.
    CDocument* OpenDocumentFile(const QString& path);
    // The new-document procedure (57600).
    void OnFileNew();
    // The file-open dialog, then the open-path procedure (57601).
    void OnFileOpen();

    void SetPlatformKind(PlatformKind kind) { m_platformKind = kind; }
    void SetDocumentsFolder(const QString& folder) { m_documentsFolder = folder; }
    void SetDataFolder(const QString& folder) { m_dataFolder = folder; }
    // The file-system calls of saves and of the journal; a test may put a faulty one in.
    void SetFileSystem(FileSystem* fs) { m_fileSystem = fs; }
    FileSystem& GetFileSystem() const override;
    // Tells the user something without taking the keys they are typing (AfxNotify).
    void Notify(const QString& text);
    void ShowPassiveMessage(const QString& text) override { Notify(text); }
    // Where the window's size and position are kept: its own file, apart from the profile.
    void SetConfigFolder(const QString& folder) { m_configFolder = folder; }
    QString GetConfigFolder() const;

    // Qt's own texts (standard buttons, the file dialog) in the given language, whatever the
    // locale; false when Qt's translations for it are not installed.
    bool LoadQtTranslations(const QString& language);

    PlatformKind GetPlatformKind() const override { return m_platformKind; }
    void ShowMessage(const QString& text) override;
    int AskSaveChanges(const QString& text) override;
    int AskOverwrite(const QString& text) override;
    // While the session ends the text is kept in the data folder and shown at the next start.
    void ShowNotice(const QString& text) override;
    // Shows the texts kept at the end of the last session, once.
    void ShowKeptNotices();
    bool CanAskUser() const override { return !m_sessionEnding; }
    CProfile* GetProfile() override { return m_profile.get(); }
    QString GetDocumentsFolder() const override;
    QString GetDataFolder() const override;

    // The desktop session is ending and no question may be asked: a modified book is saved.
    void OnSessionEnding();

    CFrameWnd* m_pMainWnd = nullptr;

private:
    void CommitData(QSessionManager& manager);

    std::unique_ptr<CProfile> m_profile;
    std::unique_ptr<CSingleDocTemplate> m_template;
    QStringList m_arguments;
    QString m_documentsFolder;
    QString m_dataFolder;
    QString m_configFolder;
    std::unique_ptr<QTranslator> m_qtTranslator;
    PlatformKind m_platformKind = PlatformKind::Desktop;
    bool m_sessionEnding = false;
    FileSystem* m_fileSystem = nullptr;
};
