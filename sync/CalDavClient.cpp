#include "sync/CalDavClient.h"

#include "sync/DavXml.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

constexpr int kMostRedirects = 5;
constexpr int kTransferTimeoutMs = 60000;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

CalDavClient::CalDavClient(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)) {
    // Redirects are followed by hand: Qt's own policy turns a PROPFIND into a GET.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

CalDavClient::~CalDavClient() {
    AbortAll();
}

void CalDavClient::SetCredentials(const QString& user, const QString& password) {
    m_authorization.clear();
    m_withPassword = !user.isEmpty();
    if (m_withPassword)
        m_authorization = "Basic " + (user + u':' + password).toUtf8().toBase64();
}

bool CalDavClient::IsLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString CalDavClient::UrlProblem(const QUrl& url, bool withPassword) {
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("not a URL: %1").arg(url.toString());
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return QString();
    if (scheme != QLatin1String("http"))
        return QStringLiteral("not an http or https URL: %1").arg(url.toString());
    if (withPassword && !IsLoopback(url))
        return QStringLiteral("a password is sent over https only (http only to this machine): %1")
            .arg(url.toString());
    return QString();
}

void CalDavClient::Send(const QByteArray& method, const QUrl& url, const QByteArray& body,
                        const Headers& headers, Done done) {
    Start(method, url, body, headers, std::move(done), 0);
}

void CalDavClient::Start(const QByteArray& method, const QUrl& url, const QByteArray& body,
                         const Headers& headers, Done done, int redirects) {
    if (const QString problem = UrlProblem(url, m_withPassword); !problem.isEmpty()) {
        DavResponse refused;
        refused.url = url;
        refused.failure = problem;
        // Always from the event loop, so a handler never runs inside the call that asked.
        QMetaObject::invokeMethod(
            this, [done = std::move(done), refused] { done(refused); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    if (!m_authorization.isEmpty())
        request.setRawHeader("Authorization", m_authorization);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_network->sendCustomRequest(request, method, body);
    m_inFlight.insert(reply);
    connect(
        reply, &QNetworkReply::finished, this,
        [this, reply, method, body, headers, done = std::move(done), redirects]() mutable {
            m_inFlight.erase(reply);
            reply->deleteLater();
            ++m_answered;
            if (m_observer)
                m_observer(m_answered);
            DavResponse response;
            response.url = reply->url();
            response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            response.body = reply->readAll();
            response.etag = reply->rawHeader("ETag");
            if (response.status == 0)
                response.failure = reply->errorString();
            if (IsRedirect(response.status)) {
                const QUrl target = reply->url().resolved(
                    QUrl::fromEncoded(reply->rawHeader("Location"), QUrl::StrictMode));
                if (redirects >= kMostRedirects || !target.isValid()) {
                    response.failure =
                        QStringLiteral("too many redirects from %1").arg(reply->url().toString());
                    done(response);
                    return;
                }
                // The same method and body at the new address: a PROPFIND stays a PROPFIND.
                Start(method, target, body, headers, std::move(done), redirects + 1);
                return;
            }
            done(response);
        });
}

void CalDavClient::AbortAll() {
    const std::set<QNetworkReply*> replies = std::move(m_inFlight);
    m_inFlight.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

namespace {

const QByteArray kXml = "application/xml; charset=utf-8";

} // namespace

void CalDavClient::Propfind(const QUrl& url, int depth, const QByteArray& body, Done done) {
    Send("PROPFIND", url, body, {{"Depth", QByteArray::number(depth)}, {"Content-Type", kXml}},
         std::move(done));
}

void CalDavClient::Report(const QUrl& url, int depth, const QByteArray& body, Done done) {
    Send("REPORT", url, body, {{"Depth", QByteArray::number(depth)}, {"Content-Type", kXml}},
         std::move(done));
}

void CalDavClient::Get(const QUrl& url, Done done) {
    Send("GET", url, QByteArray(), {}, std::move(done));
}

void CalDavClient::Put(const QUrl& url, const QByteArray& icalendar, const QByteArray& etag,
                       Done done) {
    Headers headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    if (etag.isEmpty())
        headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
    else
        headers.append(qMakePair(QByteArray("If-Match"), etag));
    Send("PUT", url, icalendar, headers, std::move(done));
}

void CalDavClient::Delete(const QUrl& url, const QByteArray& etag, Done done) {
    Headers headers;
    if (!etag.isEmpty())
        headers.append(qMakePair(QByteArray("If-Match"), etag));
    Send("DELETE", url, QByteArray(), headers, std::move(done));
}

void CalDavClient::MkCalendar(const QUrl& url, const QByteArray& body, Done done) {
    Send("MKCALENDAR", url, body, {{"Content-Type", kXml}}, std::move(done));
}

bool DavResponse::Missing() const {
    if (status == 404)
        return true;
    if (status != 207)
        return false;
    const DavXml::Multistatus m = DavXml::Parse(body);
    return m.ok && m.entries.size() == 1 && m.entries[0].status == 404;
}

QString DavResponse::StatusText() const {
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("the server answered %1").arg(status);
}
