#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

// The WebDAV and CalDAV request bodies we send and the multistatus answers we read.
namespace DavXml {

// withSyncToken: also the calendar's sync token (which some servers work out over every item).
QByteArray PropfindCollection(bool withSyncToken = true);
QByteArray PropfindEtags();
// RFC 6578; an empty token asks for every member.
QByteArray SyncCollection(const QString& token);
QByteArray CalendarMultiget(const QStringList& hrefs);
QByteArray MkCalendar(const QString& displayName);
// What discovery asks of an address: what it is, whose it is, and where its calendars live.
QByteArray PropfindPrincipal();

// One response element of a multistatus.
struct Entry {
    QString href;   // as the server wrote it
    int status = 0; // the response's own status, else the first propstat's
    QByteArray etag;
    QByteArray calendarData;
    bool collection = false;
    bool calendar = false;
    QString displayName;
    QString syncToken;
    bool hasSyncToken = false;
    QString principal;    // current-user-principal's href
    QString calendarHome; // calendar-home-set's (first) href
};

struct Multistatus {
    bool ok = false;
    QString problem; // why the answer could not be read
    std::vector<Entry> entries;
    QString syncToken; // the sync-collection's new token
};

Multistatus Parse(const QByteArray& xml);

// An href as a key: resolved against the collection, the path alone, percent-decoded, so that
// "/a/x%40y.ics", "/a/x@y.ics" and "https://host/a/x%40y.ics" are one item.
QString HrefKey(const QUrl& collection, const QString& href);
// The URL of an item whose key is path.
QUrl ItemUrl(const QUrl& collection, const QString& path);
// The key under the collection for a resource name (a UID and ".ics").
QString MemberKey(const QUrl& collection, const QString& name);

} // namespace DavXml
