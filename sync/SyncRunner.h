#pragma once

#include "document/YoteiDay.h"
#include "sync/CalDavClient.h"
#include "sync/SyncEngine.h"
#include "sync/SyncState.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <set>

// The side of a sync that holds the book: the tool's file, or the planner's open book.
class SyncBook {
public:
    virtual ~SyncBook() = default;
    // The record shown for each date from..to that the book holds, handed to take now or later
    // from the event loop: a book that lives on another thread than the sync answers when its
    // own thread gets to it.
    virtual void DaysFor(const QDate& from, const QDate& to,
                         std::function<void(std::map<QDate, CYoteiDay>)> take) = 0;
    // Writes the changed days (whole); done(true) once they are safely in the book. done may be
    // called later, from the event loop.
    virtual void Write(const std::map<QDate, CYoteiDay>& days,
                       std::function<void(bool ok, const QString& problem)> done) = 0;
    // The days of the last Write that are not yet safely in the book's file: held back while the
    // user edits them, or taken into the open book but not saved yet (the planner). Nothing
    // about them is settled by this sync: they are fetched again by the next one.
    virtual std::set<QDate> Unsettled() const { return {}; }
};

struct SyncOptions {
    QUrl calendar;
    QString user;
    QString password;
    QString displayName; // for a calendar made with create
    bool create = false;
    bool dryRun = false;
    bool force = false;
    QDate from;
    QDate to;
    QTimeZone zone;
    QString stateFile;
};

struct SyncResult {
    // 0 both sides agree; 1 done with conflicts, failures or edits not sent, or nothing done
    // (the server unreachable, the login refused, a stop); the book untouched in that case.
    int exitCode = 0;
    QStringList out;        // what changed (or would change) on each side
    QStringList err;        // conflicts, failures, the reason nothing was done
    bool connected = false; // the calendar was found (or made)
    // Days whose server changes wait (SyncBook::Unsettled), in date order.
    QList<QDate> waiting;
};

// Carries a sync out over the asynchronous client, step by step from the event loop: no step
// waits, so the planner can run it while the user types. The order of the records makes a sync
// killed at any point converge on the next run.
class SyncRunner : public QObject {
public:
    explicit SyncRunner(QObject* parent = nullptr);
    ~SyncRunner() override;

    void Start(const SyncOptions& options, SyncBook* book,
               std::function<void(const SyncResult&)> done);
    // Drops the sync in flight; done is not called, and answers for it that come later (from
    // the server or the book) are dropped.
    void Cancel();

    // The client, for its request count and answer observer, both counted per sync.
    CalDavClient& Client() { return *m_client; }

private:
    struct Listing;

    void Probe();
    void MakeCalendar();
    void List(bool full);
    void ListWithPropfind();
    void Fetch(std::shared_ptr<Listing> listing);
    void Plan(const std::shared_ptr<Listing>& listing);
    void PlanWith(const std::shared_ptr<Listing>& listing, std::map<QDate, CYoteiDay> days);
    void WriteBook();
    // Leaves out of this sync's records and uploads everything about days the book has not
    // settled, and keeps the token, so that the next sync fetches those changes again.
    void HoldBack(const std::set<QDate>& unsettled);
    void Upload(std::size_t index);
    void NoAnswer(std::size_t index, const DavResponse& failure);
    void Refetch();
    void RoundDone();
    void Finish();
    void Fail(const QString& why);
    bool Record(const std::function<bool()>& step);

    CalDavClient* m_client;
    SyncOptions m_options;
    SyncBook* m_book = nullptr;
    int m_run = 0; // counts the syncs started and dropped: the book's late answers are told apart
    std::function<void(const SyncResult&)> m_done;
    SyncState m_state;
    SyncResult m_result;
    SyncEngine::Plan m_plan;
    QString m_newToken;
    bool m_syncTokens = false;
    bool m_calendarMissing = false;
    int m_round = 0;
    bool m_anotherRound = false;
    std::vector<QString> m_uploaded; // hrefs whose stored text is fetched after the uploads
};
