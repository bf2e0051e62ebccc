#pragma once

#include "calendar/DayEvents.h"
#include "calendar/EventText.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>
#include <vector>

// What the book and one calendar last agreed on, item by item.
struct StateItem {
    QString href; // the item's path, percent-decoded: the key
    QString uid;
    QByteArray etag; // empty while a new item's PUT has no answer yet
    // A new item whose UID was recorded before its PUT: on the server or not, we cannot tell
    // until the next listing.
    bool pending = false;
    // Made after the sync token the state holds: an incremental listing names it while it
    // exists, and says nothing once it is deleted (it was not there at the token).
    bool newerThanToken = false;
    EventText::Use use = EventText::Use::placed;
    QByteArray base; // the server's stored text, which an upload patches
    // Its entries as both sides last agreed, where they are in the book.
    std::vector<DayEvents::Entry> entries;
};

// The sync state of one book and one calendar: an SQLite file through Qt SQL, so that each
// step's record is one transaction that a killed sync leaves either whole or absent.
class SyncState {
public:
    SyncState();
    ~SyncState();
    SyncState(const SyncState&) = delete;
    SyncState& operator=(const SyncState&) = delete;

    // Opens (and makes, readable by the user alone) the state file. A dry run makes nothing:
    // without a file it starts from an empty state in memory.
    bool Open(const QString& file, bool dryRun, QString& problem);
    bool IsOpen() const { return !m_connection.isEmpty(); }
    void Close();

    QString Meta(const QString& key) const;
    bool SetMeta(const QString& key, const QString& value);

    std::map<QString, StateItem> Items() const;
    // Records one item whole (its entries replaced), or forgets it.
    bool Put(const StateItem& item);
    bool Remove(const QString& href);
    // A new token is stored: every item now was there at it.
    bool ClearNewerThanToken();

    // A transaction of the caller's: whatever fails in it is rolled back whole.
    bool Begin();
    bool Commit();
    void Rollback();

    QString LastError() const { return m_error; }

private:
    bool Exec(const QString& sql);
    bool PutItem(const StateItem& item);

    QString m_connection;
    mutable QString m_error;
    // The statements of Put, prepared once per open state: preparing them for each item was
    // most of the time a sync's record of a busy year took.
    struct Statements;
    std::unique_ptr<Statements> m_put;
    bool m_inTransaction = false; // between a Begin and its Commit or Rollback
};
