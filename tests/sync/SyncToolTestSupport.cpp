#include "SyncToolTestSupport.h"

#include <atomic>

void SyncToolTest::SetUp() {
    server = &ServerOf(GetParam());
    ASSERT_TRUE(server->Running());
    static std::atomic<int> counter{0};
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name = QStringLiteral("%1-%2")
               .arg(QString::fromLatin1(info->name()).section(u'/', 0, 0).toLower())
               .arg(++counter);
    calendar = server->CalendarUrl(name);
}

ToolRun SyncToolTest::Sync(const QString& book, const QStringList& extra,
                           const QStringList& env) const {
    QStringList args{"sync", "--url", calendar.toString()};
    if (!server->User().isEmpty())
        args << "--user" << server->User();
    args << extra << home.Path(book);
    QStringList environment = env;
    if (!server->Password().isEmpty())
        environment.prepend("TAVRINO_CALDAV_PASSWORD=" + server->Password());
    return home.Run(args, environment);
}

std::map<QString, PhoneEvent> SyncToolTest::PhoneBySummary() const {
    std::map<QString, PhoneEvent> events;
    for (const PhoneEvent& e : PhoneOf().List()) {
        const QString summary = Property(e.data, "SUMMARY");
        EXPECT_FALSE(events.count(summary) && !summary.isEmpty())
            << "twice on the calendar: " << summary.toStdString();
        events[summary] = e;
    }
    return events;
}

QByteArray PhoneEventText(const QString& uid, const QString& properties) {
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
            "\r\nDTSTAMP:20250101T000000Z\r\n" + properties + "END:VEVENT\r\nEND:VCALENDAR\r\n")
        .toUtf8();
}
