#pragma once

#include <QDate>
#include <QString>

// tavrino-book sync: a book and a CalDAV calendar brought into agreement, both ways.
namespace BookSync {

struct Request {
    QString book; // may be empty with list
    QString url;  // a calendar, or a server's address; empty: the remembered calendar
    QString user; // with userGiven: the account's user, empty for none
    bool userGiven = false;
    QString passwordFile;
    bool create = false;
    bool dryRun = false;
    bool force = false;
    bool list = false; // list the calendars found from url, sync nothing
    QDate from;        // invalid: a year before today
    QDate to;          // invalid: two years after today
};

// Runs the sync in an event loop of its own; prints what changed on stdout, conflicts and
// failures on stderr, and returns the exit status (0 agreed, 1 not all agreed or nothing done,
// 2 bad usage).
int Run(const Request& request);

} // namespace BookSync
