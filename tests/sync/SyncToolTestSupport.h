#pragma once

// A fixture for `tavrino-book sync` against each server: a home of its own, a calendar of its
// own, the phone on that calendar, and books built from the dump form.

#include "SyncTestSupport.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QUrl>

inline QByteArray U8(const char8_t* text) {
    return QByteArray(reinterpret_cast<const char*>(text));
}
inline QString Q8(const char8_t* text) {
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

class SyncToolTest : public ::testing::TestWithParam<DavServer::Kind> {
protected:
    void SetUp() override;

    // tavrino-book sync --url CALENDAR [--user USER] extra BOOK, with the password in the
    // environment.
    ToolRun Sync(const QString& book, const QStringList& extra = {},
                 const QStringList& env = {}) const;
    // The calendar made (an empty one) for the phone to fill first.
    void MakeIt() { MakeCalendar(*server, name); }
    Phone PhoneOf() const { return Phone(*server, calendar); }
    std::map<QString, QByteArray> CalendarEtags() const { return Etags(*server, calendar); }
    std::map<QString, BookDay> Days(const QString& book) const { return BookDays(home, book); }
    // The phone's events by summary.
    std::map<QString, PhoneEvent> PhoneBySummary() const;

    DavServer* server = nullptr;
    QString name;
    QUrl calendar;
    ToolHome home;
};

// Runs a test against both servers, named after them.
#define SYNC_TEST_SERVERS(Suite)                                                                   \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Servers, Suite, ::testing::Values(DavServer::Kind::radicale, DavServer::Kind::xandikos),   \
        [](const auto& info) {                                                                     \
            return info.param == DavServer::Kind::radicale ? std::string("Radicale")               \
                                                           : std::string("Xandikos");              \
        })

// An iCalendar event as the phone stores it.
QByteArray PhoneEventText(const QString& uid, const QString& properties);
