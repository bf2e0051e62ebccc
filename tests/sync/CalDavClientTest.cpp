// The CalDAV client against real servers: conditional writes, the two listings, multiget,
// redirects that keep their method, and the addresses a password may go to.

#include "sync/CalDavClient.h"
#include "SyncTestSupport.h"
#include "sync/DavXml.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

namespace {

QByteArray Event(const QByteArray& uid, const QByteArray& summary) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20250101T000000Z\r\nDTSTART;VALUE=DATE:20250501\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

class CalDavClientTest : public ::testing::TestWithParam<DavServer::Kind> {
protected:
    void SetUp() override {
        server = &ServerOf(GetParam());
        ASSERT_TRUE(server->Running());
        client.SetCredentials(server->User(), server->Password());
    }

    DavResponse Propfind(const QUrl& url) {
        return Await([&](CalDavClient::Done done) {
            client.Propfind(url, 0, DavXml::PropfindCollection(), std::move(done));
        });
    }
    DavResponse Put(const QUrl& url, const QByteArray& body, const QByteArray& etag) {
        return Await(
            [&](CalDavClient::Done done) { client.Put(url, body, etag, std::move(done)); });
    }
    DavResponse Sync(const QUrl& url, const QString& token) {
        return Await([&](CalDavClient::Done done) {
            client.Report(url, 1, DavXml::SyncCollection(token), std::move(done));
        });
    }

    DavServer* server = nullptr;
    CalDavClient client;
};

TEST_P(CalDavClientTest, WritesAreConditionalAndListingsFindThem) {
    const QUrl calendar = MakeCalendar(*server, "client-writes");

    // The collection answers as a calendar with a sync token.
    const DavXml::Multistatus found = DavXml::Parse(Propfind(calendar).body);
    ASSERT_TRUE(found.ok) << found.problem.toStdString();
    ASSERT_EQ(found.entries.size(), 1u);
    EXPECT_TRUE(found.entries[0].calendar);
    EXPECT_TRUE(found.entries[0].hasSyncToken);

    // A UID with characters an href must encode; the server's href decodes to the same key.
    const QString name = QStringLiteral("a b@c+d.ics");
    const QString key = DavXml::MemberKey(calendar, name);
    const QUrl item = DavXml::ItemUrl(calendar, key);
    const DavResponse created = Put(item, Event("a b@c+d", "first"), {});
    ASSERT_TRUE(created.ok()) << created.status;
    // A second "new" item at the same place is refused, as is a write with a stale ETag.
    EXPECT_EQ(Put(item, Event("a b@c+d", "again"), {}).status, 412);
    EXPECT_EQ(Put(item, Event("a b@c+d", "stale"), "\"not-the-etag\"").status, 412);

    const DavXml::Multistatus listed = DavXml::Parse(Sync(calendar, QString()).body);
    ASSERT_TRUE(listed.ok);
    ASSERT_FALSE(listed.syncToken.isEmpty());
    QByteArray etag;
    for (const DavXml::Entry& e : listed.entries) {
        if (DavXml::HrefKey(calendar, e.href) == key)
            etag = e.etag;
    }
    ASSERT_FALSE(etag.isEmpty()) << "the new item is not listed under its decoded href";

    const DavResponse updated = Put(item, Event("a b@c+d", "second"), etag);
    ASSERT_TRUE(updated.ok()) << updated.status;

    // The old token lists what changed since; multiget fetches the stored text.
    const DavXml::Multistatus changes = DavXml::Parse(Sync(calendar, listed.syncToken).body);
    ASSERT_TRUE(changes.ok);
    ASSERT_EQ(changes.entries.size(), 1u);
    EXPECT_EQ(DavXml::HrefKey(calendar, changes.entries[0].href), key);
    const QByteArray newEtag = changes.entries[0].etag;
    EXPECT_NE(newEtag, etag);
    const DavResponse got = Await([&](CalDavClient::Done done) {
        client.Report(calendar, 1,
                      DavXml::CalendarMultiget(
                          {item.path(QUrl::FullyEncoded), calendar.path() + "missing.ics"}),
                      std::move(done));
    });
    const DavXml::Multistatus fetched = DavXml::Parse(got.body);
    ASSERT_TRUE(fetched.ok);
    ASSERT_EQ(fetched.entries.size(), 2u);
    for (const DavXml::Entry& e : fetched.entries) {
        if (DavXml::HrefKey(calendar, e.href) == key) {
            EXPECT_EQ(e.status, 200);
            EXPECT_EQ(e.etag, newEtag);
            EXPECT_TRUE(e.calendarData.contains("SUMMARY:second"));
        } else {
            EXPECT_EQ(e.status, 404);
        }
    }

    // A delete with a stale ETag is refused; with the right one it goes, and the token since
    // the update lists the item as gone.
    const DavResponse staleDelete =
        Await([&](CalDavClient::Done done) { client.Delete(item, etag, std::move(done)); });
    EXPECT_EQ(staleDelete.status, 412);
    const DavResponse deleted =
        Await([&](CalDavClient::Done done) { client.Delete(item, newEtag, std::move(done)); });
    EXPECT_TRUE(deleted.ok()) << deleted.status;
    const DavXml::Multistatus gone = DavXml::Parse(Sync(calendar, changes.syncToken).body);
    ASSERT_TRUE(gone.ok);
    ASSERT_EQ(gone.entries.size(), 1u);
    EXPECT_EQ(gone.entries[0].status, 404);
    EXPECT_EQ(client.RequestCount(), 11);
}

TEST_P(CalDavClientTest, AMissingCalendarIsNotACalendar) {
    const DavResponse missing = Propfind(server->CalendarUrl("no-such-calendar"));
    // Radicale answers 404; Xandikos a multistatus whose one response is 404.
    if (missing.status == 207) {
        const DavXml::Multistatus m = DavXml::Parse(missing.body);
        ASSERT_EQ(m.entries.size(), 1u);
        EXPECT_EQ(m.entries[0].status, 404);
    } else {
        EXPECT_EQ(missing.status, 404);
    }
}

// A server that sends every request elsewhere with 301 and remembers what it was asked.
class Redirector : public QTcpServer {
public:
    explicit Redirector(const QUrl& target) : m_target(target) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request = socket->readAll();
                methods << request.left(request.indexOf(' '));
                socket->write(
                    "HTTP/1.1 301 Moved Permanently\r\nLocation: " + m_target.toEncoded() +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QUrl Url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/old/").arg(serverPort())); }
    QByteArrayList methods;

private:
    QUrl m_target;
};

TEST_P(CalDavClientTest, ARedirectKeepsThePropfind) {
    const QUrl calendar = MakeCalendar(*server, "client-redirect");
    Redirector redirector(calendar);
    const DavResponse answer = Propfind(redirector.Url());
    EXPECT_EQ(redirector.methods, QByteArrayList{"PROPFIND"});
    EXPECT_EQ(answer.status, 207);
    EXPECT_EQ(answer.url, calendar);
    const DavXml::Multistatus m = DavXml::Parse(answer.body);
    ASSERT_EQ(m.entries.size(), 1u);
    EXPECT_TRUE(m.entries[0].calendar);
}

INSTANTIATE_TEST_SUITE_P(Servers, CalDavClientTest,
                         ::testing::Values(DavServer::Kind::radicale, DavServer::Kind::xandikos),
                         [](const auto& info) {
                             return info.param == DavServer::Kind::radicale
                                        ? std::string("Radicale")
                                        : std::string("Xandikos");
                         });

TEST(CalDavClientRadicale, AWrongPasswordIsRefused) {
    DavServer& server = Radicale();
    CalDavClient client;
    client.SetCredentials(server.User(), "wrong");
    const DavResponse answer = Await([&](CalDavClient::Done done) {
        client.Propfind(server.CalendarUrl(""), 0, DavXml::PropfindCollection(), std::move(done));
    });
    EXPECT_EQ(answer.status, 401);
    EXPECT_FALSE(answer.ok());
}

TEST(CalDavClientAddresses, APasswordGoesOverHttpOnlyToThisMachine) {
    EXPECT_TRUE(CalDavClient::UrlProblem(QUrl("https://dav.example.org/cal/"), true).isEmpty());
    EXPECT_TRUE(CalDavClient::UrlProblem(QUrl("http://127.0.0.1:5232/cal/"), true).isEmpty());
    EXPECT_TRUE(CalDavClient::UrlProblem(QUrl("http://[::1]:5232/cal/"), true).isEmpty());
    EXPECT_TRUE(CalDavClient::UrlProblem(QUrl("http://localhost/cal/"), true).isEmpty());
    EXPECT_FALSE(CalDavClient::UrlProblem(QUrl("http://dav.example.org/cal/"), true).isEmpty());
    EXPECT_FALSE(CalDavClient::UrlProblem(QUrl("http://192.168.1.2/cal/"), true).isEmpty());
    EXPECT_TRUE(CalDavClient::UrlProblem(QUrl("http://dav.example.org/cal/"), false).isEmpty());
    EXPECT_FALSE(CalDavClient::UrlProblem(QUrl("ftp://dav.example.org/cal/"), false).isEmpty());
    EXPECT_FALSE(CalDavClient::UrlProblem(QUrl("dav.example.org/cal/"), false).isEmpty());

    // Refused before anything is sent: the request never reaches the network.
    CalDavClient client;
    client.SetCredentials("alice", "secret");
    const DavResponse answer = Await([&](CalDavClient::Done done) {
        client.Get(QUrl("http://dav.example.org/cal/x.ics"), std::move(done));
    });
    EXPECT_EQ(answer.status, 0);
    EXPECT_FALSE(answer.failure.isEmpty());
    EXPECT_EQ(client.RequestCount(), 0);
}

TEST(CalDavClientAddresses, AServerThatIsDownGivesAFailure) {
    CalDavClient client;
    const DavResponse answer = Await([&](CalDavClient::Done done) {
        client.Get(QUrl(QStringLiteral("http://127.0.0.1:%1/cal/").arg(FreePort())),
                   std::move(done));
    });
    EXPECT_EQ(answer.status, 0);
    EXPECT_FALSE(answer.failure.isEmpty());
}

} // namespace
