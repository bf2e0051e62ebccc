#include "sync/CalDavDiscovery.h"

#include "sync/DavXml.h"

#include <QRegularExpression>
#include <QUuid>
#include <algorithm>

namespace {

// The response about the address asked (a depth-0 answer may also carry others).
const DavXml::Entry* Self(const DavXml::Multistatus& m, const QUrl& url) {
    if (m.entries.empty())
        return nullptr;
    const QString self = DavXml::HrefKey(url, url.path(QUrl::FullyEncoded));
    for (const DavXml::Entry& e : m.entries)
        if (DavXml::HrefKey(url, e.href) == self)
            return &e;
    return &m.entries[0];
}

QUrl Resolved(const QUrl& base, const QString& href) {
    return base.resolved(QUrl::fromEncoded(href.toUtf8(), QUrl::TolerantMode));
}

QString LastPart(const QUrl& url) {
    QString path = url.path(QUrl::FullyDecoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    return path.section(u'/', -1);
}

} // namespace

CalDavDiscovery::CalDavDiscovery(CalDavClient& client, QObject* parent)
    : QObject(parent), m_client(client) {}

void CalDavDiscovery::Find(const QUrl& address, bool wholeHome, Done done) {
    m_address = address;
    m_wholeHome = wholeHome;
    m_addressAsked = false;
    m_wellKnownAsked = false;
    m_result = DavDiscovery();
    m_done = std::move(done);
    // An address that names only the server is what the well-known address is for.
    if (address.path().isEmpty() || address.path() == QLatin1String("/"))
        AskWellKnown();
    else
        AskAddress();
}

void CalDavDiscovery::Fail(const QString& why, bool loginRefused) {
    m_result.failure = why;
    m_result.loginRefused = loginRefused;
    Finish();
}

void CalDavDiscovery::Finish() {
    std::sort(m_result.calendars.begin(), m_result.calendars.end(),
              [](const DavCalendar& a, const DavCalendar& b) {
                  return a.name != b.name ? a.name < b.name : a.url.path() < b.url.path();
              });
    if (auto done = std::move(m_done))
        done(m_result);
}

void CalDavDiscovery::AskAddress() {
    m_addressAsked = true;
    m_client.Propfind(m_address, 0, DavXml::PropfindPrincipal(), [this](const DavResponse& r) {
        if (r.status == 0)
            return Fail(
                QStringLiteral("could not reach %1: %2").arg(m_address.toString(), r.failure));
        if (r.status == 401)
            return Fail(QStringLiteral("%1 refused the login").arg(m_address.toString()), true);
        if (r.Missing()) {
            // A calendar still to be made there; a listing looks further.
            m_result.missing = true;
            m_result.url = m_address;
            if (m_wholeHome && !m_wellKnownAsked)
                return AskWellKnown();
            return Finish();
        }
        if (Follow(r))
            return;
        if (!m_wellKnownAsked)
            return AskWellKnown();
        Fail(QStringLiteral("no CalDAV calendars found at %1 (%2 to PROPFIND)")
                 .arg(m_address.toString(), r.StatusText()));
    });
}

void CalDavDiscovery::AskWellKnown() {
    m_wellKnownAsked = true;
    QUrl wellKnown = m_address;
    wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
    wellKnown.setQuery(QString());
    wellKnown.setFragment(QString());
    m_client.Propfind(wellKnown, 0, DavXml::PropfindPrincipal(), [this](const DavResponse& r) {
        if (r.status == 401)
            return Fail(QStringLiteral("%1 refused the login").arg(m_address.toString()), true);
        if (Follow(r))
            return;
        // A server without the well-known address may still answer at the one given.
        if (!m_addressAsked)
            return AskAddress();
        if (r.status == 0)
            return Fail(
                QStringLiteral("could not reach %1: %2").arg(m_address.toString(), r.failure));
        if (m_result.missing)
            return Finish();
        Fail(QStringLiteral("no CalDAV calendars found at %1").arg(m_address.toString()));
    });
}

bool CalDavDiscovery::Follow(const DavResponse& r) {
    if (r.status != 207)
        return false;
    const DavXml::Multistatus m = DavXml::Parse(r.body);
    const DavXml::Entry* self = m.ok ? Self(m, r.url) : nullptr;
    if (!self || self->status / 100 != 2)
        return false;
    if (self->calendar) {
        m_result.isCalendar = true;
        m_result.url = r.url;
        const QString name = self->displayName.isEmpty() ? LastPart(r.url) : self->displayName;
        m_result.calendars.push_back({name, r.url});
        if (m_wholeHome && !self->principal.isEmpty())
            AskPrincipal(Resolved(r.url, self->principal));
        else
            Finish();
        return true;
    }
    if (!self->calendarHome.isEmpty()) {
        AskHome(Resolved(r.url, self->calendarHome));
        return true;
    }
    if (!self->principal.isEmpty()) {
        AskPrincipal(Resolved(r.url, self->principal));
        return true;
    }
    return false;
}

void CalDavDiscovery::AskPrincipal(const QUrl& principal) {
    m_client.Propfind(principal, 0, DavXml::PropfindPrincipal(), [this](const DavResponse& r) {
        if (r.status == 401)
            return Fail(QStringLiteral("%1 refused the login").arg(r.url.toString()), true);
        const DavXml::Multistatus m = DavXml::Parse(r.body);
        const DavXml::Entry* self = r.status == 207 && m.ok ? Self(m, r.url) : nullptr;
        if (!self || self->calendarHome.isEmpty())
            return Fail(QStringLiteral("%1 names no calendar home (%2 to PROPFIND)")
                            .arg(r.url.toString(), r.StatusText()));
        AskHome(Resolved(r.url, self->calendarHome));
    });
}

void CalDavDiscovery::AskHome(const QUrl& home) {
    m_result.home = home;
    m_client.Propfind(home, 1, DavXml::PropfindCollection(), [this](const DavResponse& r) {
        if (r.status == 401)
            return Fail(QStringLiteral("%1 refused the login").arg(r.url.toString()), true);
        const DavXml::Multistatus m = DavXml::Parse(r.body);
        if (r.status != 207 || !m.ok)
            return Fail(QStringLiteral("%1: %2 to the listing of its calendars")
                            .arg(r.url.toString(), r.StatusText()));
        m_result.home = r.url;
        for (const DavXml::Entry& e : m.entries) {
            if (!e.calendar || e.status / 100 != 2)
                continue;
            const QUrl url = Resolved(r.url, e.href);
            const bool known = std::any_of(
                m_result.calendars.begin(), m_result.calendars.end(), [&](const DavCalendar& c) {
                    return DavXml::HrefKey(c.url, c.url.path(QUrl::FullyEncoded)) ==
                           DavXml::HrefKey(url, url.path(QUrl::FullyEncoded));
                });
            if (!known)
                m_result.calendars.push_back(
                    {e.displayName.isEmpty() ? LastPart(url) : e.displayName, url});
        }
        Finish();
    });
}

const DavCalendar* CalDavDiscovery::Named(const std::vector<DavCalendar>& calendars,
                                          const QString& name) {
    for (const DavCalendar& c : calendars)
        if (c.name == name)
            return &c;
    for (const DavCalendar& c : calendars)
        if (LastPart(c.url) == name)
            return &c;
    return nullptr;
}

QUrl CalDavDiscovery::NewCalendarUrl(const QUrl& home, const QString& name) {
    // A name every server takes in a path; any other book's calendar gets a code (its display
    // name is still the book's).
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]*$"));
    const QString part =
        plain.match(name).hasMatch() ? name : QUuid::createUuid().toString(QUuid::WithoutBraces);
    QUrl url = home;
    QString path = home.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + part + u'/');
    return url;
}
