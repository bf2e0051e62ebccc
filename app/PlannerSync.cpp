#include "app/PlannerSync.h"

#include "app/PlannerBook.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/core/StringTable.h"
#include "platform/ui/FrameWnd.h"
#include "sync/SyncPassword.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <sys/resource.h>

namespace {

constexpr int kSyncNice = 10;

} // namespace

// The planner's book as the sync's thread sees it: each question goes to the window's thread
// and its answer comes back to the sync's. A question for a book that was replaced meanwhile is
// not answered: that sync has been dropped.
class CPlannerSync::ThreadBook : public SyncBook, public std::enable_shared_from_this<ThreadBook> {
public:
    ThreadBook(CPlannerSync* owner, int generation)
        : m_owner(owner), m_runner(owner->m_runner), m_generation(generation) {}

    void DaysFor(const QDate& from, const QDate& to,
                 std::function<void(std::map<QDate, CYoteiDay>)> take) override {
        QMetaObject::invokeMethod(
            m_owner, [this, self = shared_from_this(), from, to, take = std::move(take)] {
                if (!Current())
                    return;
                std::map<QDate, CYoteiDay> days = m_owner->m_book->Days(from, to);
                QMetaObject::invokeMethod(m_runner,
                                          [take, days = std::move(days)]() mutable { take(days); });
            });
    }

    void Write(const std::map<QDate, CYoteiDay>& days,
               std::function<void(bool, const QString&)> done) override {
        QMetaObject::invokeMethod(
            m_owner, [this, self = shared_from_this(), days, done = std::move(done)] {
                if (!Current())
                    return;
                m_owner->m_book->Write(days, [this, self, done](bool ok, const QString& problem) {
                    QMetaObject::invokeMethod(m_runner, [this, self, done, ok, problem,
                                                         unsettled = m_owner->m_book->Unsettled()] {
                        m_unsettled = unsettled;
                        done(ok, problem);
                    });
                });
            });
    }

    std::set<QDate> Unsettled() const override { return m_unsettled; }

private:
    bool Current() const { return m_generation == m_owner->m_generation && m_owner->m_book; }

    CPlannerSync* m_owner;
    SyncRunner* m_runner;
    const int m_generation;
    std::set<QDate> m_unsettled; // on the sync's thread
};

CPlannerSync::CPlannerSync(CTavrinoApp* app) : m_app(app), m_runner(new SyncRunner) {
    m_timer.setInterval(15 * 60 * 1000);
    m_timer.callOnTimeout(this, [this] { SyncNow(); });
    m_thread.setObjectName(QStringLiteral("sync"));
    m_runner->moveToThread(&m_thread);
    m_thread.start();
    // The sync gives way to the window when both want the processor: on Linux a thread has a
    // nice value of its own (Qt's thread priorities change nothing under the normal policy).
    QMetaObject::invokeMethod(m_runner, [] { setpriority(PRIO_PROCESS, 0, kSyncNice); });
}

CPlannerSync::~CPlannerSync() {
    // The runner ends on its own thread: its network and its records belong there.
    QMetaObject::invokeMethod(
        m_runner,
        [runner = m_runner] {
            runner->Cancel();
            delete runner;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void CPlannerSync::SetInterval(int ms) {
    m_timer.setInterval(ms);
}

void CPlannerSync::Attach(CTavrinoDoc* doc) {
    m_doc = doc;
    CPlannerBook::Hooks hooks;
    hooks.dialogOpen = [] { return QApplication::activeModalWidget() != nullptr; };
    hooks.composing = [this] { return m_app->m_pMainWnd && m_app->m_pMainWnd->IsComposing(); };
    hooks.refresh = [this](bool dayOnShowChanged) {
        if (auto* view = m_app->m_pMainWnd
                             ? qobject_cast<CTavrinoView*>(m_app->m_pMainWnd->GetActiveView())
                             : nullptr)
            view->RefreshFromBook(dayOnShowChanged);
    };
    m_book = std::make_unique<CPlannerBook>(doc, std::move(hooks));
    connect(doc, &CDocument::Replaced, this, &CPlannerSync::BookReplaced);
    connect(doc, &CDocument::Saved, this, &CPlannerSync::BookSaved);
}

std::optional<SyncAccount::Account> CPlannerSync::Account() const {
    if (!m_doc || m_doc->GetPathName().isEmpty())
        return std::nullopt;
    return SyncAccount::Load(m_doc->GetPathName());
}

QString CPlannerSync::KnownPassword(const SyncAccount::Account& account) const {
    const auto known = m_passwords.find(SyncPassword::Key(account.calendar, account.user));
    return known != m_passwords.end() ? known->second : QString();
}

void CPlannerSync::BookReplaced() {
    // A sync of the book that was there is dropped: its answers belong to another book.
    ++m_generation;
    QMetaObject::invokeMethod(m_runner, [runner = m_runner] { runner->Cancel(); });
    if (m_book)
        m_book->Cancel();
    m_running = false;
    m_again = false;
    m_create = false;
    m_waiting.clear();
    m_last = Last();
    m_failing = false;
    m_timer.stop();
    // Once the opening is through (the book's path is known only then) and the window shows
    // the book.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation != m_generation || !Account())
                return;
            m_timer.start();
            SyncNow();
        },
        Qt::QueuedConnection);
}

void CPlannerSync::BookSaved(SaveKind kind) {
    // The user's save is where their changes leave the machine; the program's own saves are
    // part of a sync already.
    if (kind == SaveKind::own && Account()) {
        m_timer.start();
        SyncNow();
    }
}

void CPlannerSync::SetUp(const SyncAccount::Account& account, const QString& password) {
    if (!m_doc || m_doc->GetPathName().isEmpty())
        return;
    QString problem;
    if (!SyncAccount::Save(m_doc->GetPathName(), account, problem)) {
        m_app->Notify(problem);
        return;
    }
    const QString key = SyncPassword::Key(account.calendar, account.user);
    if (!account.user.isEmpty()) {
        m_passwords[key] = password;
        SyncPassword::Write(account.calendar, account.user, password,
                            [this, generation = m_generation](const QString& why) {
                                // No keyring: the password is used for this run only.
                                if (!why.isEmpty() && generation == m_generation)
                                    m_app->Notify(LoadString(IDS_SYNC_NOT_KEPT));
                            });
    }
    m_create = true;
    m_timer.start();
    SyncNow();
}

void CPlannerSync::SyncNow() {
    const std::optional<SyncAccount::Account> account = Account();
    if (!account || !m_book)
        return;
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    const bool create = m_create;
    if (account->user.isEmpty()) {
        Begin(*account, QString(), create);
        return;
    }
    if (const QString known = KnownPassword(*account); !known.isEmpty()) {
        Begin(*account, known, create);
        return;
    }
    SyncPassword::Read(account->calendar, account->user,
                       [this, account = *account, create,
                        generation = m_generation](const QString& password, const QString&) {
                           if (generation != m_generation)
                               return;
                           QString found = password;
                           if (found.isEmpty())
                               found = AskPassword(account);
                           if (found.isEmpty()) {
                               m_running = false;
                               return;
                           }
                           m_passwords[SyncPassword::Key(account.calendar, account.user)] = found;
                           Begin(account, found, create);
                       });
}

QString CPlannerSync::AskPassword(const SyncAccount::Account& account) {
    const QString key = SyncPassword::Key(account.calendar, account.user);
    // Once per run: a user who declined is not asked again every fifteen minutes.
    if (m_asked.count(key))
        return QString();
    m_asked.insert(key);
    bool ok = false;
    const QString password = QInputDialog::getText(
        m_app->m_pMainWnd, LoadString(IDS_SYNC_CAPTION),
        LoadString(IDS_SYNC_ASK_PASSWORD).arg(account.user, account.calendar.host()),
        QLineEdit::Password, QString(), &ok);
    return ok ? password : QString();
}

void CPlannerSync::Begin(const SyncAccount::Account& account, const QString& password,
                         bool create) {
    SyncOptions options;
    options.calendar = account.calendar;
    options.user = account.user;
    options.password = password;
    options.create = create;
    options.displayName = QFileInfo(m_doc->GetPathName()).completeBaseName();
    const QDate today = QDate::currentDate();
    options.from = today.addYears(-1);
    options.to = today.addYears(2);
    options.zone = QTimeZone::systemTimeZone();
    options.stateFile =
        SyncAccount::StateFile(m_app->GetDataFolder(), m_doc->GetPathName(), account.calendar);
    // The book lives as long as the sync may ask it anything; the result comes back here.
    auto book = std::make_shared<ThreadBook>(this, m_generation);
    auto done = [this, book, generation = m_generation](const SyncResult& result) {
        QMetaObject::invokeMethod(this, [this, generation, result] {
            if (generation == m_generation)
                Done(result);
        });
    };
    QMetaObject::invokeMethod(m_runner, [runner = m_runner, options, book, done] {
        runner->Start(options, book.get(), done);
    });
}

void CPlannerSync::Done(const SyncResult& result) {
    m_running = false;
    // Days the sync took in but the user has not saved yet are in the book already; what waits
    // is what was held back.
    m_waiting.clear();
    if (m_book) {
        for (const QDate& day : m_book->HeldBack())
            m_waiting << day;
    }
    if (!result.connected) {
        // The calendar could not be reached, or refused the login: said once per outage.
        m_last.failure = result.err.value(0);
        if (!m_failing) {
            m_failing = true;
            const std::optional<SyncAccount::Account> account = Account();
            m_app->Notify(LoadString(IDP_SYNC_FAILED)
                              .arg(account ? account->calendar.host() : QString(),
                                   result.err.join(QLatin1Char(' '))));
        }
    } else {
        m_failing = false;
        m_create = false;
        m_last.when = QDateTime::currentDateTime();
        m_last.lines = result.out;
        m_last.changes = int(result.out.size());
        m_last.failure.clear();
        // The days that hold a conflict, each once: "conflict: 2026-12-08 row 3: ...".
        static const QRegularExpression conflict(
            QStringLiteral("^conflict: (\\d{4}-\\d\\d-\\d\\d)"));
        QStringList days;
        for (const QString& line : result.err) {
            const QRegularExpressionMatch match = conflict.match(line);
            if (!match.hasMatch())
                continue;
            const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
            const QString name =
                QLocale(QLocale::Japanese).toString(day, QStringLiteral("yyyy年M月d日"));
            if (!days.contains(name))
                days << name;
        }
        m_last.conflicts = days;
        if (!days.isEmpty())
            m_app->Notify(LoadString(IDP_SYNC_CONFLICTS).arg(days.join(QStringLiteral("、"))));
    }
    emit Finished();
    if (m_again) {
        m_again = false;
        SyncNow();
    }
}
