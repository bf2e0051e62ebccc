#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>
#include <set>

class QNetworkAccessManager;
class QNetworkReply;

// What one request came back with.
struct DavResponse {
    int status = 0; // the HTTP status; 0 when no answer came
    QByteArray body;
    QByteArray etag; // the ETag header, quotes kept
    QUrl url;        // where the answer came from, after redirects
    // Why no usable answer came (network failure, a refused address, too many redirects).
    QString failure;

    bool ok() const { return failure.isEmpty() && status >= 200 && status < 300; }
    // Nothing is at the address: a 404, or the multistatus of one 404 that some servers give
    // for a PROPFIND of a missing collection.
    bool Missing() const;
    // Why the answer is not what was asked for, in a few words.
    QString StatusText() const;
};

// A CalDAV server over Qt Network, every request asynchronous: its handler runs from the event
// loop when the answer is in, so the planner never waits on the network.
class CalDavClient : public QObject {
public:
    using Done = std::function<void(const DavResponse&)>;
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    explicit CalDavClient(QObject* parent = nullptr);
    ~CalDavClient() override;

    // Basic credentials, sent with every request; an empty user sends none.
    void SetCredentials(const QString& user, const QString& password);

    // Why a URL may not be used: https, or http only to this machine when a password goes
    // with it; an empty string when it may.
    static QString UrlProblem(const QUrl& url, bool withPassword);
    static bool IsLoopback(const QUrl& url);

    void Send(const QByteArray& method, const QUrl& url, const QByteArray& body,
              const Headers& headers, Done done);

    void Propfind(const QUrl& url, int depth, const QByteArray& body, Done done);
    void Report(const QUrl& url, int depth, const QByteArray& body, Done done);
    void Get(const QUrl& url, Done done);
    // A conditional write: If-Match etag, or If-None-Match: * when etag is empty (a new item).
    void Put(const QUrl& url, const QByteArray& icalendar, const QByteArray& etag, Done done);
    void Delete(const QUrl& url, const QByteArray& etag, Done done);
    void MkCalendar(const QUrl& url, const QByteArray& body, Done done);

    // Requests answered since the count was last reset, redirects included.
    int RequestCount() const { return m_answered; }
    void ResetRequestCount() { m_answered = 0; }
    // Called with the running count when an answer is in, before its handler runs (a test hook
    // that stops a sync after its k-th request).
    void SetAnswerObserver(std::function<void(int)> observer) { m_observer = std::move(observer); }
    // Drops every request in flight; their handlers never run.
    void AbortAll();

private:
    void Start(const QByteArray& method, const QUrl& url, const QByteArray& body,
               const Headers& headers, Done done, int redirects);

    QNetworkAccessManager* m_network;
    QByteArray m_authorization;
    bool m_withPassword = false;
    int m_answered = 0;
    std::function<void(int)> m_observer;
    std::set<QNetworkReply*> m_inFlight;
};
