#pragma once

// Real CalDAV servers on 127.0.0.1 for the sync tests, "the phone" (python3-caldav) beside our
// client, and small helpers to wait for an answer without the code under test ever waiting.

#include "sync/CalDavClient.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

// One server process, started on a free port on first use and stopped by its process id when
// the test program ends (also when a test failed; the child dies with us if we crash).
class DavServer {
public:
    enum class Kind { radicale, xandikos };

    explicit DavServer(Kind kind) : m_kind(kind) {}
    ~DavServer() { Stop(); }

    Kind kind() const { return m_kind; }
    QString Name() const { return m_kind == Kind::radicale ? "Radicale" : "Xandikos"; }
    bool Start();
    void Stop();
    bool Running() const;
    // Stops and starts again on the same port with the same collections.
    bool Restart();

    quint16 Port() const { return m_port; }
    QString User() const { return m_kind == Kind::radicale ? "alice" : QString(); }
    QString Password() const { return m_kind == Kind::radicale ? "secret" : QString(); }
    // A new calendar's URL under the user's home (not made).
    QUrl CalendarUrl(const QString& name) const;
    // The folder that holds a Radicale calendar's items.
    QString CollectionFolder(const QString& name) const;
    // Radicale refuses request bodies larger than this.
    static constexpr int kMaxContentLength = 200000;

private:
    bool WaitForPort(int ms) const;

    Kind m_kind;
    quint16 m_port = 0;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QProcess> m_process;
};

// Started once per test program.
DavServer& Radicale();
DavServer& Xandikos();
DavServer& ServerOf(DavServer::Kind kind);
// A free TCP port on 127.0.0.1 that nothing listens on (for "the server is down").
quint16 FreePort();

// Runs start with a handler and waits in a local event loop for its answer.
DavResponse Await(const std::function<void(CalDavClient::Done)>& start, int timeoutMs = 30000);

// Makes a calendar with MKCALENDAR; its URL.
QUrl MakeCalendar(DavServer& server, const QString& name);

// The phone: tests/sync/phone.py on the same calendar.
struct PhoneEvent {
    QString href;
    QString uid;
    QByteArray data;
};

class Phone {
public:
    Phone(DavServer& server, const QUrl& calendar) : m_server(server), m_calendar(calendar) {}

    std::vector<PhoneEvent> List() const;
    void Add(const QByteArray& icalendar) const;
    // change is the JSON object phone.py's edit reads.
    void Edit(const QString& uid, const QByteArray& change) const;
    void Delete(const QString& uid) const;
    // Several changes in one go (phone.py batch): a JSON list of operations.
    void Batch(const QByteArray& operations) const;
    // Every occurrence from..to (to excluded) as the phone expands them, "START SUMMARY" with
    // " (override)" after one an override shows, in time order.
    QStringList Occurrences(const QString& from, const QString& to) const;
    // One occurrence of a series, named by its day, changed (its override) or left out (EXDATE).
    void EditOccurrence(const QString& uid, const QString& day, const QByteArray& change) const;
    void DeleteOccurrence(const QString& uid, const QString& day) const;

private:
    QByteArray Run(const QStringList& args, const QByteArray& input) const;

    DavServer& m_server;
    QUrl m_calendar;
};

// A shell command for `dbus-run-session -- sh -c`: a keyring unlocked with the password "test",
// ready on the session bus before then runs (the daemon registers there only after it returns,
// and a client that came first would have the bus start a second daemon, locked).
QString InKeyringSession(const QString& then);

// A property's value (unfolded, unescaped only for \n \, \; \\) of the first VEVENT with it.
QString Property(const QByteArray& icalendar, const QByteArray& name);

// The book tool's sync run as a program, in a home folder of the test's own (its accounts, its
// sync states and its backups there), in Tokyo time.
struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class ToolHome {
public:
    ToolHome();
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    // Runs tavrino-book with args; env adds to the environment.
    ToolRun Run(const QStringList& args, const QStringList& env = {}) const;
    // Writes a book from the dump form's JSON.
    void Build(const QString& book, const QByteArray& json) const;
    QByteArray Read(const QString& name) const;
    // Changes one day of a book as the planner would: dumped, changed, built again. A day the
    // book does not hold is made.
    void EditDay(const QString& book, const QString& date,
                 const std::function<void(QJsonObject& day)>& change) const;

private:
    QTemporaryDir m_dir;
};

// A day of a book as rows "time|plan|detail" (numbered from 1, empty rows left out), heading
// "heading|detail" and memo.
struct BookDay {
    std::map<int, QString> rows;
    QString heading;
    QString memo;
    bool operator==(const BookDay&) const = default;
};
std::map<QString, BookDay> BookDays(const ToolHome& home, const QString& book);

// Today plus n days, as YYYY-MM-DD (the tests stay inside the default window).
QString Day(int n);

// Every item of a calendar with its ETag, by href path.
std::map<QString, QByteArray> Etags(DavServer& server, const QUrl& calendar);

// Every item's text on a calendar, by href path, read with our own client (quick, for checks).
std::map<QString, QByteArray> CalendarTexts(DavServer& server, const QUrl& calendar);
// The SUMMARY of every event on a calendar, sorted: doubles show as doubles.
QStringList Summaries(DavServer& server, const QUrl& calendar);
