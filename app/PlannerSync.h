#pragma once

#include "platform/core/Document.h"
#include "sync/SyncAccount.h"
#include "sync/SyncRunner.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

class CPlannerBook;
class CTavrinoApp;
class CTavrinoDoc;

// The open book kept in step with the calendar of its account while the user works: when the
// book is opened, after each of the user's saves and every fifteen minutes. The sync runs on a
// thread of its own (the network, reading the server's items, planning, its records); only the
// book's part runs on the window's thread, a little at a time, so the user is never kept waiting;
// what they must know (conflicts, a sync that failed) is told without taking their keys, a failure
// once for as long as it lasts.
class CPlannerSync : public QObject {
    Q_OBJECT
public:
    struct Last {
        QDateTime when;        // the end of the last sync that reached the calendar; null: none
        int changes = 0;       // what changed on either side
        QStringList lines;     // those changes, one line each
        QStringList conflicts; // the days that hold both versions of an item
        QString failure;       // why the last sync failed; empty after a success
    };

    explicit CPlannerSync(CTavrinoApp* app);
    ~CPlannerSync() override;

    // The document whose book is synced; its openings and saves start syncs.
    void Attach(CTavrinoDoc* doc);
    // Starts a sync of the open book now, unless it has no account; one already running is
    // followed by another.
    void SyncNow();
    bool IsRunning() const { return m_running; }

    // The open book's account; none for an untitled book or one never set up.
    std::optional<SyncAccount::Account> Account() const;
    // Remembers the account for the open book (as the book tool does) and its password: in the
    // keyring where one runs, otherwise for this run only. A first sync follows, which makes the
    // calendar when it is missing. done gets an empty text or why the account was not kept.
    void SetUp(const SyncAccount::Account& account, const QString& password);
    // The password this run holds for an account, if any.
    QString KnownPassword(const SyncAccount::Account& account) const;

    const Last& LastSync() const { return m_last; }
    // The days whose server changes wait for the user's save.
    QList<QDate> Waiting() const { return m_waiting; }

    void SetInterval(int ms);

signals:
    // A sync ended, however it went.
    void Finished();

private:
    class ThreadBook;

    void BookReplaced();
    void BookSaved(SaveKind kind);
    void Begin(const SyncAccount::Account& account, const QString& password, bool create);
    void Done(const SyncResult& result);
    // Asks the user for the password, once per run and account; empty when they declined.
    QString AskPassword(const SyncAccount::Account& account);

    CTavrinoApp* m_app;
    CTavrinoDoc* m_doc = nullptr;
    QThread m_thread;
    SyncRunner* m_runner; // lives on m_thread
    std::unique_ptr<CPlannerBook> m_book;
    QTimer m_timer;
    bool m_running = false;
    bool m_again = false;
    bool m_create = false;  // the next sync may make the calendar (set up from 同期...)
    int m_generation = 0;   // counts the books opened: an answer for another book is dropped
    bool m_failing = false; // a failure has been told and no sync succeeded since
    Last m_last;
    QList<QDate> m_waiting;
    std::map<QString, QString> m_passwords; // this run's, by keyring key
    std::set<QString> m_asked;
};
