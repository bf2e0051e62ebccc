#pragma once

#include "platform/core/CmdTarget.h"
#include "platform/core/FileIdentity.h"
#include "platform/core/PlatformKind.h"
#include "platform/core/SafeWrite.h"

#include <QObject>
#include <QString>

class CArchive;
class CException;
class CProfile;
class FileSystem;

// What was being done with a file when it failed: it picks the text for a failure that names no
// file error.
enum class FileOperation { open, save };

// Who saves: the user (保存, the save question), or the program on its own (the changes a sync
// brought in), which leaves the backup of the user's last own save as it is.
enum class SaveKind { own, automatic };

// What the document needs from the program around it: messages, the save question, the
// profile and where untitled books go. The application provides it; tools and tests give their own.
class CDocumentHost {
public:
    virtual ~CDocumentHost() = default;

    virtual PlatformKind GetPlatformKind() const = 0;
    // Shows a failure text in a message box with the exclamation icon.
    virtual void ShowMessage(const QString& text) = 0;
    // Asks the save question; returns IDYES, IDNO or IDCANCEL.
    virtual int AskSaveChanges(const QString& text) = 0;
    // Asks whether a file that another program changed may be overwritten; IDYES or IDNO.
    virtual int AskOverwrite(const QString& text);
    // Tells the user something that needs no answer. While no question may be asked, a host may
    // keep it and tell it at the next start instead.
    virtual void ShowNotice(const QString& text) { ShowMessage(text); }
    // Tells the user something while they may be typing (the program's own saves): without
    // taking their keys where the host can.
    virtual void ShowPassiveMessage(const QString& text) { ShowMessage(text); }
    // False while no question may be asked (the desktop session is ending).
    virtual bool CanAskUser() const { return true; }
    // The profile that remembers the file read last; null when nothing may be remembered.
    virtual CProfile* GetProfile() { return nullptr; }
    // The personal documents folder, where an untitled book is saved.
    virtual QString GetDocumentsFolder() const;
    static QString DefaultDocumentsFolder();
    // The per-user application data folder, where backups and recovery journals are kept.
    virtual QString GetDataFolder() const;
    static QString DefaultDataFolder();
    // The file-system calls that saves and the journal make; a test's host may fail them.
    virtual FileSystem& GetFileSystem() const;
};

// The document base: path, title, modified flag, opening, saving and the question before the
// document is replaced. It tells when its title or modified flag changes, wherever the change
// comes from (a command, a save at the end of the session), so windows need not keep asking.
class CDocument : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    CDocument();
    ~CDocument() override;

    void SetHost(CDocumentHost* host) { m_pHost = host; }
    CDocumentHost* GetHost() const { return m_pHost; }

    const QString& GetPathName() const { return m_strPathName; }
    // Sets the path; the title becomes the file's name with its extension.
    void SetPathName(const QString& path);
    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);

    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true);

    virtual void DeleteContents();
    virtual bool OnNewDocument();
    // Reads the file; on failure the message is shown and the document is left as it was.
    virtual bool OnOpenDocument(const QString& path);
    // Writes the file through the safe write, whatever the file holds now, keeping its previous
    // bytes as a backup in the data folder. On failure the message is shown and the old file
    // survives.
    virtual bool OnSaveDocument(const QString& path);
    virtual void Serialize(CArchive& ar) = 0;

    // 保存: the document's own path, or a free name in the documents folder for an untitled
    // book. A file another program changed is overwritten only after the question; where none
    // may be asked the book is written beside it under a free name instead.
    bool DoFileSave(SaveKind kind = SaveKind::own);
    // Writes the book under name and takes that name, or under a free name in the documents
    // folder when name is empty.
    bool DoSave(const QString& name);
    // May the document be replaced or closed? A modified one is saved first, after the
    // question on the desktop and without one on the handheld.
    virtual bool SaveModified();

    // The text shown for a failure while opening or saving the file at path.
    static QString SaveLoadExceptionText(const QString& path, const CException* e,
                                         FileOperation operation);

signals:
    void TitleChanged(const QString& title);
    void ModifiedChanged(bool modified);
    // The book was written to its file.
    void Saved(SaveKind kind);
    // Another book took this document's place: a new one, or one read from a file.
    void Replaced();

protected:
    // Called with the file's whole bytes after it was read, and with the identity of what a save
    // left in the file.
    virtual void OnFileRead(const QString& path, const QByteArray& bytes);
    virtual void OnFileWritten(const QString& path, const FileIdentity& identity);
    // Has another program changed the file at path since it was read or last saved here?
    // current: its bytes as a save has just read them; null when there is no file.
    virtual bool IsChangedOnDisk(const QString& path, const QByteArray* current) const;

    // An opening, a save or a replacing of the book is about to begin: a save still writing the
    // file on another thread must end (and be settled) first.
    virtual void BeforeFileWork() {}

    void ReportSaveLoadException(const QString& path, const CException* e, FileOperation operation);
    void ShowMessage(const QString& text);
    FileSystem& GetFileSystem() const;
    SafeWrite MakeWriter(SaveKind kind = SaveKind::own) const;
    // After a save: the flag, the identity, and what the user must be told.
    void AfterSave(const QString& path, const SafeWrite::Outcome& outcome,
                   SaveKind kind = SaveKind::own);
    void ReportSaveFailure(const QString& path, const SafeWrite::Outcome& outcome,
                           SaveKind kind = SaveKind::own);

private:
    // The whole book as the file will hold it; false after a failure, which is shown.
    bool SerializeToBytes(const QString& path, QByteArray& bytes);
    // Writes bytes over the book at path; judged: against what this document read or wrote.
    bool SaveBook(const QString& path, const QByteArray& bytes, bool judged,
                  SaveKind kind = SaveKind::own);
    bool SaveBesideChangedFile(const QByteArray& bytes);
    void Tell(const QString& text, SaveKind kind = SaveKind::own);

    CDocumentHost* m_pHost = nullptr;
    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    // No backup could be kept, and the user has been told: once, until a backup is kept again.
    bool m_backupFailureTold = false;
};
