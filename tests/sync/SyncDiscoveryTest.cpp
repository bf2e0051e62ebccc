// The calendar found from a server's address: the well-known address (answered with a redirect
// by both servers), the user's principal and calendar home, a calendar named after the book
// used or made, and the listing of the calendars found.

#include "SyncToolTestSupport.h"

#include "sync/CalDavDiscovery.h"

#include <QEventLoop>

namespace {

class SyncDiscoveryTest : public SyncToolTest {
protected:
    QUrl Root() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server->Port())); }
    // The home the servers keep a user's calendars in.
    QUrl Home() const {
        return server->kind() == DavServer::Kind::radicale
                   ? Root().resolved(QUrl("/alice/"))
                   : Root().resolved(QUrl("/user/calendars/"));
    }

    DavDiscovery Find(const QUrl& address, bool wholeHome) {
        CalDavClient client;
        client.SetCredentials(server->User(), server->Password());
        CalDavDiscovery discovery(client);
        DavDiscovery found;
        bool finished = false;
        QEventLoop loop;
        discovery.Find(address, wholeHome, [&](const DavDiscovery& d) {
            found = d;
            finished = true;
            loop.quit();
        });
        if (!finished)
            loop.exec();
        requests = client.RequestCount();
        return found;
    }

    // tavrino-book sync with URL as given (no calendar of the fixture's).
    ToolRun SyncAt(const QString& url, const QStringList& extra) const {
        QStringList args{"sync", "--url", url};
        if (!server->User().isEmpty())
            args << "--user" << server->User();
        args << extra;
        return home.Run(args, server->Password().isEmpty()
                                  ? QStringList()
                                  : QStringList{"TAVRINO_CALDAV_PASSWORD=" + server->Password()});
    }

    int requests = 0;
};

TEST_P(SyncDiscoveryTest, TheServersAddressLeadsThroughTheWellKnownAddressToTheHome) {
    MakeIt();
    const DavDiscovery found = Find(Root(), true);
    ASSERT_TRUE(found.ok()) << found.failure.toStdString();
    EXPECT_FALSE(found.isCalendar);
    EXPECT_EQ(found.home, Home());
    const DavCalendar* ours = CalDavDiscovery::Named(found.calendars, name);
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(ours->url, calendar);
    // The well-known address and its redirect, kept a PROPFIND, then the principal and the
    // home: a redirect followed as a GET would cost the root's PROPFIND as well.
    EXPECT_EQ(requests, 4);

    // A calendar's own address is the calendar; a listing also finds the rest of its home.
    DavDiscovery direct = Find(calendar, false);
    ASSERT_TRUE(direct.ok()) << direct.failure.toStdString();
    EXPECT_TRUE(direct.isCalendar);
    EXPECT_EQ(direct.url, calendar);
    EXPECT_EQ(requests, 1);
    direct = Find(calendar, true);
    EXPECT_EQ(direct.calendars.size(), found.calendars.size());

    // The address of a calendar not made yet is kept for --create to make.
    const DavDiscovery missing = Find(server->CalendarUrl(name + "-not-yet"), false);
    ASSERT_TRUE(missing.ok()) << missing.failure.toStdString();
    EXPECT_TRUE(missing.missing);
    EXPECT_EQ(missing.url, server->CalendarUrl(name + "-not-yet"));
}

TEST_P(SyncDiscoveryTest, ABookSyncsWithTheCalendarNamedAfterItFoundFromTheServer) {
    MakeIt();
    const QString book = name + ".dat";
    home.Build(book,
               QStringLiteral(R"({"days":[{"day":"%1","rows":[{"time":"9","plan":"会議"}]}]})")
                   .arg(Day(5))
                   .toUtf8());
    const ToolRun up = SyncAt(Root().toString(), {home.Path(book)});
    ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    EXPECT_EQ(PhoneOf().List().size(), 1u);

    // The calendar found is remembered: the next sync goes straight to it and finds nothing
    // changed.
    const ToolRun again =
        home.Run({"sync", home.Path(book)},
                 server->Password().isEmpty()
                     ? QStringList()
                     : QStringList{"TAVRINO_CALDAV_PASSWORD=" + server->Password()});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, QString());
    EXPECT_EQ(PhoneOf().List().size(), 1u);
}

TEST_P(SyncDiscoveryTest, ACalendarNamedAfterTheBookIsMadeOnlyWithCreateAndThenListed) {
    const QString book = name + ".dat";
    home.Build(book, QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"記念日"}]}]})")
                         .arg(Day(2))
                         .toUtf8());
    const ToolRun refused = SyncAt(Root().toString(), {home.Path(book)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "no calendar named " + name + " at " + Root().toString() +
                               " (--create makes one; --list shows the calendars there)\n");
    ASSERT_FALSE(CalDavDiscovery::Named(Find(Root(), true).calendars, name));

    const ToolRun made = SyncAt(Root().toString(), {"--create", home.Path(book)});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(made.out.startsWith("calendar: " + calendar.toString() + " (made)\n"))
        << made.out.toStdString();
    EXPECT_EQ(Summaries(*server, calendar), QStringList{Q8(u8"記念日")});

    // The listing, from the server's address and from the calendar home, names it with its URL.
    for (const QString& from : {Root().toString(), Home().toString()}) {
        const ToolRun listed = SyncAt(from, {"--list"});
        EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
        EXPECT_TRUE(listed.out.split(u'\n').contains(name + u'\t' + calendar.toString()))
            << listed.out.toStdString();
    }
    // A book's name that is no plain path part still names the calendar, made at a code.
    const QString japanese = Q8(u8"家族の予定");
    const ToolRun other = SyncAt(Root().toString(), {"--list"});
    EXPECT_FALSE(other.out.contains(japanese));
    home.Build(japanese + ".dat",
               QStringLiteral(R"({"days":[{"day":"%1","rows":[{"plan":"運動会"}]}]})")
                   .arg(Day(3))
                   .toUtf8());
    const ToolRun family = SyncAt(Root().toString(), {"--create", home.Path(japanese + ".dat")});
    ASSERT_EQ(family.exitCode, 0) << family.err.toStdString();
    const DavDiscovery all = Find(Root(), true);
    const DavCalendar* found = CalDavDiscovery::Named(all.calendars, japanese);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Summaries(*server, found->url), QStringList{Q8(u8"運動会")});
}

TEST_P(SyncDiscoveryTest, AWrongPasswordOrAServerThatIsDownIsSaidInOneLine) {
    const QUrl down(QStringLiteral("http://127.0.0.1:%1/").arg(FreePort()));
    const ToolRun nothing = home.Run({"sync", "--list", "--url", down.toString()});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_TRUE(nothing.err.startsWith("could not reach " + down.toString() + ": "))
        << nothing.err.toStdString();
    EXPECT_EQ(nothing.err.count(u'\n'), 1);
    if (server->User().isEmpty())
        return; // Xandikos asks for no password
    home.Build("book.dat", "{\"days\":[]}");
    const ToolRun refused =
        home.Run({"sync", "--url", Root().toString(), "--user", "alice", home.Path("book.dat")},
                 {"TAVRINO_CALDAV_PASSWORD=wrong"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, Root().toString() + " refused the login of alice\n");
}

SYNC_TEST_SERVERS(SyncDiscoveryTest);

// Without a server: which calendar a book's name picks, and where one is made.
TEST(SyncDiscoveryNames, TheDisplayNameComesBeforeTheAddressAndOddNamesGetACode) {
    const std::vector<DavCalendar> calendars{
        {"work", QUrl("http://h/home/personal/")},
        {Q8(u8"仕事"), QUrl("http://h/home/work/")},
    };
    ASSERT_NE(CalDavDiscovery::Named(calendars, "work"), nullptr);
    EXPECT_EQ(CalDavDiscovery::Named(calendars, "work")->url, QUrl("http://h/home/personal/"));
    ASSERT_NE(CalDavDiscovery::Named(calendars, "personal"), nullptr);
    EXPECT_EQ(CalDavDiscovery::Named(calendars, "personal")->name, "work");
    EXPECT_EQ(CalDavDiscovery::Named(calendars, "home"), nullptr);

    EXPECT_EQ(CalDavDiscovery::NewCalendarUrl(QUrl("http://h/home"), "Work-2.x"),
              QUrl("http://h/home/Work-2.x/"));
    const QUrl coded = CalDavDiscovery::NewCalendarUrl(QUrl("http://h/home/"), Q8(u8"家族"));
    EXPECT_TRUE(coded.path().startsWith("/home/"));
    EXPECT_EQ(coded.path().size(), QString("/home/").size() + 36 + 1) << coded.path().toStdString();
    EXPECT_NE(CalDavDiscovery::NewCalendarUrl(QUrl("http://h/"), ".."), QUrl("http://h/../"));
}

} // namespace
