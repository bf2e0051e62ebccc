#pragma once

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "platform/core/OleDateTime.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

class CCommandBar;
class FileSystem;
class CEdit;
class CListCtrl;
class CTavrinoDoc;
class CTavrinoView;
class QMenu;

// Watches for pop-up windows while it lives and hands each one to action once it is ready: a
// modal window (message box, dialog) once it is shown and active, since the input focus is
// settled only then; a menu once it has popped up. Pop-ups raised while an action runs (a box
// shown by the button it clicked) are handed on as well. The action must close a modal window,
// or the code under test never returns: one left open is a failure and is closed.
class PopupWatcher {
public:
    enum class Kind { Modal, Menu };

    // limit: how many pop-ups to hand on before it stops; 0 for every one while it lives.
    explicit PopupWatcher(std::function<void(QWidget*)> action, Kind kind = Kind::Modal,
                          int limit = 0);
    ~PopupWatcher();
    PopupWatcher(const PopupWatcher&) = delete;
    PopupWatcher& operator=(const PopupWatcher&) = delete;

    int Count() const { return m_count; }
    // Stops watching after timeoutMs; menus still open are closed then, so that the click that
    // opened them returns.
    void SetTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    // The watcher deletes itself once it has handed on its limit, or at its timeout.
    void DeleteWhenDone() { m_ownsItself = true; }

private:
    void Poll();
    void Stop();

    std::function<void(QWidget*)> m_action;
    Kind m_kind;
    int m_limit;
    int m_count = 0;
    int m_elapsed = 0;
    int m_timeoutMs = 0;
    bool m_ownsItself = false;
    QTimer m_timer;
    // Pop-ups whose action is running (it may run nested event loops), and the last one handed
    // on while it stays open (a menu walk leaves it open while its sub-menu pops up).
    QList<QWidget*> m_inHand;
    QPointer<QWidget> m_last;
};

// Runs action on the next modal window (a message box or a dialog), within timeoutMs.
void OnNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

// Runs action on the next menu that pops up (a tool button's menu runs its own loop).
void OnNextPopup(std::function<void(QMenu*)> action, int timeoutMs = 5000);

// A profile, a documents folder and a data folder of the test's own, in a temporary folder: the
// real profile code reads and writes <dir>/config/VELKORAN/Tavrino.conf, and the per-user data
// (backups) goes below <dir>/data, for the programs the test starts too.
class TestProfileFolder {
public:
    TestProfileFolder()
        : m_hadDataHome(qEnvironmentVariableIsSet("XDG_DATA_HOME")),
          m_oldDataHome(qgetenv("XDG_DATA_HOME")),
          m_hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")),
          m_oldConfigHome(qgetenv("XDG_CONFIG_HOME")) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ConfigFolder());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ConfigFolder());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/data")));
        // The sync accounts are kept in the per-user configuration folder.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(ConfigFolder()));
    }
    ~TestProfileFolder() {
        if (!m_hadDataHome)
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_oldDataHome);
        if (!m_hadConfigHome)
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    }
    QString Path() const { return m_dir.path(); }
    QString ConfigFolder() const { return m_dir.path() + QStringLiteral("/config"); }
    QString DocumentsFolder() const { return m_dir.path() + QStringLiteral("/documents"); }
    // The per-user data folder, where the recovery journals are kept.
    QString DataFolder() const { return m_dir.path() + QStringLiteral("/data"); }
    QString File(const QString& name) const { return m_dir.filePath(name); }
    // The remembered path, read through a fresh QSettings as the next start would.
    QString Remembered() const {
        QSettings settings(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
        return settings.value(QStringLiteral("Recent File List/File_dat")).toString();
    }
    void Remember(const QString& path) const {
        QSettings settings(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
        settings.setValue(QStringLiteral("Recent File List/File_dat"), path);
    }

private:
    QTemporaryDir m_dir;
    bool m_hadDataHome;
    QByteArray m_oldDataHome;
    bool m_hadConfigHome;
    QByteArray m_oldConfigHome;
};

// The planner started on a TestProfileFolder of the test's own, with its main parts at hand.
class PlannerAppTest : public ::testing::Test {
protected:
    // Starts a new application object. The command line and the platform kind are set only when
    // given; otherwise the application keeps its own.
    void StartApp(const std::optional<QStringList>& arguments = std::nullopt,
                  std::optional<PlatformKind> kind = std::nullopt);

    CMainFrame* Frame() const;
    CTavrinoView* View() const;
    CTavrinoDoc* Doc() const;
    CListCtrl* List() const;
    CEdit* Memo() const;

    TestProfileFolder m_profile;
    std::unique_ptr<CTavrinoApp> m_app;
    // The file-system calls the next StartApp gives the planner; null for the real ones.
    FileSystem* m_fileSystem = nullptr;
};

// Types text as key presses; characters without a key of their own come as the text of a key
// press, as an input method commits them.
void TypeText(QWidget* field, const QString& text);

// Replaces a field's text the way a user does: select everything, then type.
void RetypeText(QWidget* field, const QString& text);

// Opens the command bar's menu with a click and walks path through it, e.g. {"データ挿入",
// "時刻データ"}; true when every item was clicked.
bool ClickMenu(CCommandBar* bar, const QStringList& path);

// Left, top, right and bottom in the platform's inclusive-exclusive form.
QRect Ltrb(int left, int top, int right, int bottom);

// Where pictures of the windows go when someone wants to look at them (TAVRINO_SCREENSHOT_DIR);
// empty when nobody does.
QString ShotPath(const QString& name);

// Books on disk, written and read by the core.
COleDateTime Day(int year, int month, int day);
// A book with one day whose first plan is the given text.
void WriteBook(const QString& path, const COleDateTime& date, const QString& plan);
QByteArray ReadBytes(const QString& path);
// The plan of row 0 stored for the date, or a marker when the day is not in the book.
QString StoredPlan(const CTavrinoDoc* doc, const COleDateTime& date);

// The book tool's JSON dump of a book file, from a process of its own.
void DumpBook(const QString& path, QJsonObject* json);
