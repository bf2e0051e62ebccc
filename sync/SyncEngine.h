#pragma once

#include "calendar/DayEvents.h"
#include "calendar/EventText.h"
#include "document/YoteiDay.h"
#include "sync/SyncState.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <functional>
#include <map>
#include <vector>

// The decisions of a sync, as a pure function of the window's book days, the server's items and
// the last agreed state: no network, no files. The runner carries the plan out.
namespace SyncEngine {

// One item as the server holds it now.
struct ServerItem {
    QByteArray etag;
    QByteArray text;
    EventText::Event event; // the text read for the window
};

struct Input {
    QDate from; // the window, both ends included
    QDate to;
    QTimeZone zone;
    QDateTime now;
    // The book's days in the window (the record the planner shows for each date); a date that
    // is missing has no record.
    std::map<QDate, CYoteiDay> days;
    std::map<QString, StateItem> state;
    // Every item the server holds now, by href key.
    std::map<QString, ServerItem> server;
    std::function<QString()> newUid;
    std::function<QString(const QString& uid)> hrefFor;
};

// One write to the server.
struct Upload {
    enum class Kind { create, update, remove };
    Kind kind = Kind::create;
    QByteArray etag; // If-Match for update and remove
    QByteArray body;
    // What the state records once the server has answered (etag and base then filled in).
    StateItem record;
    QString what; // the line that names it
};

struct Plan {
    // The days that change, whole, as they are to be written.
    std::map<QDate, CYoteiDay> days;
    // State records to write once the book holds the changes, and items to forget then.
    std::vector<StateItem> agreed;
    QStringList forgotten;
    std::vector<Upload> uploads;

    QStringList bookChanges;   // what changes in the book, one line each
    QStringList serverChanges; // what changes on the server
    QStringList listed;        // events that are only named
    QStringList conflicts;
    QStringList notSent;  // the book's edits of events that only follow the server
    QStringList problems; // items that could not be handled

    // Why this sync should stop before changing anything (a side emptied, mass deletions).
    QString stop;
};

Plan Make(const Input& input);

// How a change is named: "2025-05-01 row 3: 10:00 会議 Room A".
QString Describe(const DayEvents::Entry& entry);

} // namespace SyncEngine
