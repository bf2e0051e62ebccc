#include "tools/book/BookSync.h"

#include "document/BookModel.h"
#include "platform/core/Document.h"
#include "sync/CalDavClient.h"
#include "sync/CalDavDiscovery.h"
#include "sync/SyncAccount.h"
#include "sync/SyncPassword.h"
#include "sync/SyncRunner.h"
#include "tools/book/BookIo.h"
#include "tools/book/BookText.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cstdio>
#include <unistd.h>

namespace BookSync {

namespace {

enum ExitCode { kAgreed = 0, kNotAgreed = 1, kBadUsage = 2 };

void PrintLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = BookText::ToUtf8(text) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int Usage(const QString& problem) {
    PrintLine(stderr, QStringLiteral("tavrino-book: %1\nTry 'tavrino-book --help'.").arg(problem));
    return kBadUsage;
}

COleDateTime DateOf(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

// The book file as sync sees it: the days it holds, changed in memory and written through the
// planner's save.
class FileBook : public SyncBook {
public:
    FileBook(const QString& path, DayList days, const FileIdentity& identity, bool exists)
        : m_path(path), m_identity(identity), m_exists(exists) {
        m_book = std::move(days);
    }

    std::map<QDate, CYoteiDay> Days(const QDate& from, const QDate& to) {
        // The record the planner shows for each date, found through the book's date index.
        std::map<QDate, CYoteiDay> days;
        for (const CYoteiDay* day : m_book.DaysBetween(DateOf(from), DateOf(to))) {
            COleDateTime::Fields f;
            if (day->m_dayDate.GetFields(f))
                days.emplace(QDate(f.year, f.month, f.day), *day);
        }
        return days;
    }
    void DaysFor(const QDate& from, const QDate& to,
                 std::function<void(std::map<QDate, CYoteiDay>)> take) override {
        take(Days(from, to));
    }

    void Write(const std::map<QDate, CYoteiDay>& days,
               std::function<void(bool, const QString&)> done) override {
        for (const auto& [date, day] : days) {
            CYoteiDay copy = day;
            copy.m_dayDate = DateOf(date);
            m_book.Commit(copy);
        }
        done(WriteFile(), m_problem);
    }

    // A book that was missing is made, even when the calendar gave it nothing.
    bool MakeIfMissing() { return m_exists || WriteFile(); }
    const QString& Problem() const { return m_problem; }
    const QStringList& Warnings() const { return m_warnings; }

private:
    // Through the planner's safe write, which refuses a book someone else wrote meanwhile.
    bool WriteFile() {
        const BookIo::WriteResult written = BookIo::Write(m_path, m_book.List(), m_identity);
        m_warnings << written.warnings;
        if (!written.ok) {
            m_problem = written.message;
            return false;
        }
        // The lock is ours: the file is the one just written.
        m_identity = BookIo::Identify(m_path);
        m_exists = true;
        return true;
    }

    QString m_path;
    FileIdentity m_identity;
    QStringList m_warnings;
    bool m_exists;
    CBookModel m_book;
    QString m_problem;
};

// The password: the first line of --password-file, else TAVRINO_CALDAV_PASSWORD (else the
// keyring, looked up by the caller).
bool Password(const Request& rq, QString& password, QString& problem) {
    if (!rq.passwordFile.isEmpty()) {
        QFile file(rq.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            problem = QStringLiteral("%1: %2").arg(rq.passwordFile, file.errorString());
            return false;
        }
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        password = QString::fromUtf8(line);
        return true;
    }
    password = qEnvironmentVariable("TAVRINO_CALDAV_PASSWORD");
    return true;
}

// Finds what an address holds, waiting in an event loop of its own.
DavDiscovery Discover(const SyncOptions& options, bool wholeHome) {
    CalDavClient client;
    client.SetCredentials(options.user, options.password);
    CalDavDiscovery discovery(client);
    DavDiscovery found;
    bool finished = false;
    QEventLoop wait;
    discovery.Find(options.calendar, wholeHome, [&](const DavDiscovery& d) {
        found = d;
        finished = true;
        wait.quit();
    });
    if (!finished)
        wait.exec();
    return found;
}

// Why discovery found nothing, said as the sync says it.
void PrintFailure(const SyncOptions& options, const DavDiscovery& found) {
    if (found.loginRefused)
        PrintLine(stderr, QStringLiteral("%1 refused the login of %2")
                              .arg(options.calendar.toString(),
                                   options.user.isEmpty() ? QStringLiteral("an anonymous user")
                                                          : options.user));
    else
        PrintLine(stderr, found.failure);
}

// The calendars found from an address, one a line: "NAME<TAB>URL".
int List(const SyncOptions& options) {
    const DavDiscovery found = Discover(options, true);
    if (!found.ok()) {
        PrintFailure(options, found);
        return kNotAgreed;
    }
    for (const DavCalendar& c : found.calendars)
        PrintLine(stdout, c.name + u'\t' + c.url.toString(QUrl::FullyEncoded));
    if (found.calendars.empty())
        PrintLine(stderr,
                  QStringLiteral("no calendars at %1")
                      .arg((found.home.isValid() ? found.home : options.calendar).toString()));
    return kAgreed;
}

// The calendar named after the book at the address the user gave, when that is not a calendar
// itself: a server's address, or a calendar home. False (said why) when none is there.
bool FindCalendar(SyncOptions& options, bool create, const QString& bookName) {
    const DavDiscovery found = Discover(options, false);
    if (!found.ok()) {
        PrintFailure(options, found);
        return false;
    }
    if (found.isCalendar) {
        options.calendar = found.url;
    } else if (found.missing) {
        // The address of a calendar still to be made: --create makes it there.
    } else if (const DavCalendar* named = CalDavDiscovery::Named(found.calendars, bookName)) {
        options.calendar = named->url;
    } else if (create) {
        options.calendar = CalDavDiscovery::NewCalendarUrl(found.home, bookName);
    } else {
        PrintLine(stderr, QStringLiteral("no calendar named %1 at %2 (--create makes one; "
                                         "--list shows the calendars there)")
                              .arg(bookName, options.calendar.toString()));
        return false;
    }
    return true;
}

} // namespace

int Run(const Request& rq) {
    const std::optional<SyncAccount::Account> remembered =
        rq.book.isEmpty() ? std::nullopt : SyncAccount::Load(rq.book);
    SyncOptions options;
    if (!rq.url.isEmpty()) {
        options.calendar = QUrl::fromUserInput(rq.url);
        if (!rq.url.contains(QLatin1String("://")))
            return Usage(
                QStringLiteral("--url needs an https:// or http:// address, not '%1'").arg(rq.url));
    } else if (remembered) {
        options.calendar = remembered->calendar;
    } else if (rq.book.isEmpty()) {
        return Usage(QStringLiteral("--list needs --url or a book synced before"));
    } else {
        return Usage(QStringLiteral("no calendar is known for %1 yet: give --url").arg(rq.book));
    }
    // A calendar is a collection: its address ends with a slash.
    if (!options.calendar.path().endsWith(u'/'))
        options.calendar.setPath(options.calendar.path() + u'/');
    options.user = rq.userGiven ? rq.user : remembered ? remembered->user : QString();
    if (const QString problem = CalDavClient::UrlProblem(options.calendar, !options.user.isEmpty());
        !problem.isEmpty())
        return Usage(problem);
    int argc = 1;
    char name[] = "tavrino-book";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    QString problem;
    if (!Password(rq, options.password, problem)) {
        PrintLine(stderr, problem);
        return kNotAgreed;
    }
    if (!options.user.isEmpty() && options.password.isEmpty()) {
        // The planner keeps the password in the desktop's keyring.
        QEventLoop wait;
        SyncPassword::Read(options.calendar, options.user,
                           [&](const QString& password, const QString& why) {
                               options.password = password;
                               problem = why;
                               wait.quit();
                           });
        wait.exec();
        if (options.password.isEmpty())
            return Usage(QStringLiteral("no password for %1: give --password-file FILE, set "
                                        "TAVRINO_CALDAV_PASSWORD, or let the planner keep it in "
                                        "the keyring (%2)")
                             .arg(options.user, problem));
    }

    if (rq.list)
        return List(options);
    // A server's address or a calendar home leads to the calendar named after the book; the
    // calendar remembered from an earlier sync is used as it is, without asking again.
    const QString bookName = QFileInfo(rq.book).completeBaseName();
    if (!rq.url.isEmpty() && !(remembered && remembered->calendar == options.calendar) &&
        !FindCalendar(options, rq.create, bookName))
        return kNotAgreed;

    const QDate today = QDate::currentDate();
    options.from = rq.from.isValid() ? rq.from : today.addYears(-1);
    options.to = rq.to.isValid() ? rq.to : today.addYears(2);
    if (options.to < options.from)
        return Usage(QStringLiteral("--to is before --from"));
    options.zone = QTimeZone::systemTimeZone();
    options.create = rq.create;
    options.dryRun = rq.dryRun;
    options.force = rq.force;
    options.displayName = bookName;
    options.stateFile =
        SyncAccount::StateFile(CDocumentHost::DefaultDataFolder(), rq.book, options.calendar);

    // A book open in a planner is the planner's to sync: it would overwrite what we write.
    QString held;
    const std::unique_ptr<BookLock> lock = rq.dryRun ? nullptr : BookIo::Hold(rq.book, held);
    if (!rq.dryRun && !lock) {
        PrintLine(stderr, held);
        return kNotAgreed;
    }
    const bool exists = QFileInfo::exists(rq.book);
    DayList days;
    FileIdentity identity;
    if (exists) {
        BookIo::ReadResult read = BookIo::Read(rq.book);
        if (!read.ok) {
            PrintLine(stderr, read.message);
            return kNotAgreed;
        }
        days = std::move(read.days);
        identity = read.identity;
    }
    FileBook book(rq.book, std::move(days), identity, exists);

    SyncRunner runner;
    // A test hook: the process ends at once after its k-th answered request, as a killed sync
    // would, so that the next run can be checked to converge.
    if (const int stopAfter = qEnvironmentVariableIntValue("TAVRINO_SYNC_STOP_AFTER");
        stopAfter > 0)
        runner.Client().SetAnswerObserver([stopAfter](int n) {
            if (n == stopAfter)
                ::_exit(75);
        });
    SyncResult result;
    runner.Start(options, &book, [&](const SyncResult& r) {
        result = r;
        app.exit(0);
    });
    app.exec();

    for (const QString& line : result.out)
        PrintLine(stdout, line);
    for (const QString& line : result.err)
        PrintLine(stderr, line);
    if (result.connected && !rq.dryRun) {
        const bool made = book.MakeIfMissing();
        for (const QString& warning : book.Warnings())
            PrintLine(stderr, warning);
        if (!made) {
            PrintLine(stderr, book.Problem());
            return kNotAgreed;
        }
        if (!remembered || remembered->calendar != options.calendar ||
            remembered->user != options.user) {
            QString why;
            if (!SyncAccount::Save(rq.book, {options.calendar, options.user}, why)) {
                PrintLine(stderr, why);
                return kNotAgreed;
            }
        }
    }
    return result.exitCode;
}

} // namespace BookSync
