#pragma once

#include "sync/CalDavClient.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

// A calendar found in a user's calendar home.
struct DavCalendar {
    QString name; // its display name, else the last part of its address
    QUrl url;
};

// What discovery found at an address.
struct DavDiscovery {
    QString failure;           // why nothing was found; empty when found
    bool loginRefused = false; // the server refused the credentials (401)
    // The address is a calendar itself: url is where it answered (after redirects).
    bool isCalendar = false;
    // Nothing is at the address (404), so it may be the address of a calendar still to be made.
    bool missing = false;
    QUrl url;
    QUrl home;                          // the calendar home, when one was found
    std::vector<DavCalendar> calendars; // the calendars in the home, by name

    bool ok() const { return failure.isEmpty(); }
};

// Finds the calendars of the user behind an address (RFC 6764 and RFC 4791): the address itself
// when it is a calendar; else its current-user-principal (or that of /.well-known/caldav, tried
// first when the address names only the server), the principal's calendar-home-set, and the
// calendars in that home. Asynchronous over the caller's client, so its requests are counted with
// the caller's; redirects are followed by the client, keeping PROPFIND.
class CalDavDiscovery : public QObject {
public:
    using Done = std::function<void(const DavDiscovery&)>;

    explicit CalDavDiscovery(CalDavClient& client, QObject* parent = nullptr);

    // wholeHome: also list the home of an address that is a calendar itself (for --list); a
    // sync needs only the calendar.
    void Find(const QUrl& address, bool wholeHome, Done done);

    // The calendar named after a book: its display name, else the last part of its address;
    // null when none is.
    static const DavCalendar* Named(const std::vector<DavCalendar>& calendars, const QString& name);
    // Where a calendar named after a book is made in a home.
    static QUrl NewCalendarUrl(const QUrl& home, const QString& name);

private:
    void AskAddress();
    void AskWellKnown();
    void AskPrincipal(const QUrl& principal);
    void AskHome(const QUrl& home);
    // Handles the answer of an address or of the well-known one; false when it gave no lead.
    bool Follow(const DavResponse& r);
    void Fail(const QString& why, bool loginRefused = false);
    void Finish();

    CalDavClient& m_client;
    QUrl m_address;
    bool m_wholeHome = false;
    bool m_addressAsked = false;
    bool m_wellKnownAsked = false;
    DavDiscovery m_result;
    Done m_done;
};
