#include "SyncTestSupport.h"

#include "sync/DavXml.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <sys/prctl.h>

namespace {

const char kPython[] = "/usr/bin/python3";

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

} // namespace

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

bool DavServer::WaitForPort(int ms) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (!Running())
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool DavServer::Running() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

bool DavServer::Start() {
    if (Running())
        return true;
    if (!m_root) {
        // In memory where the machine has a tmpfs: the servers flush every write, which on a
        // disk makes each request take a tenth of a second.
        const QString shm = QStringLiteral("/dev/shm");
        m_root = QFileInfo(shm).isWritable()
                     ? std::make_unique<QTemporaryDir>(shm + "/tavrino-sync-test-XXXXXX")
                     : std::make_unique<QTemporaryDir>();
        if (!m_root->isValid())
            return false;
    }
    const QString dir = m_root->path();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (m_port == 0 || attempt > 0)
            m_port = FreePort();
        QStringList args;
        QString program;
        if (m_kind == Kind::radicale) {
            WriteFile(dir + "/users", "alice:secret\n");
            WriteFile(dir + "/config", QStringLiteral("[server]\n"
                                                      "hosts = 127.0.0.1:%1\n"
                                                      "max_content_length = %2\n"
                                                      "[auth]\n"
                                                      "type = htpasswd\n"
                                                      "htpasswd_filename = %3/users\n"
                                                      "htpasswd_encryption = plain\n"
                                                      "delay = 0\n"
                                                      "[storage]\n"
                                                      "filesystem_folder = %3/collections\n"
                                                      "[rights]\n"
                                                      "type = owner_only\n"
                                                      "[logging]\n"
                                                      "level = warning\n")
                                           .arg(m_port)
                                           .arg(kMaxContentLength)
                                           .arg(dir)
                                           .toUtf8());
            program = kPython;
            args = {"-m", "radicale", "--config", dir + "/config"};
        } else {
            program = "/usr/bin/xandikos";
            args = {"--defaults", "-d", dir + "/data",          "-l",
                    "127.0.0.1",  "-p", QString::number(m_port)};
        }
        m_process = std::make_unique<QProcess>();
        // The server's log stays in its folder, for a failing test to be looked into.
        m_process->setStandardOutputFile(dir + "/server.log", QIODevice::Append);
        m_process->setStandardErrorFile(dir + "/server.log", QIODevice::Append);
        // The server goes when the test program goes, even when it crashes.
        m_process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process->start(program, args);
        if (m_process->waitForStarted(10000) && WaitForPort(20000))
            return true;
        Stop();
    }
    return false;
}

void DavServer::Stop() {
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        // SIGTERM to the server's own process id, then wait for it.
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

bool DavServer::Restart() {
    Stop();
    return Start();
}

QUrl DavServer::CalendarUrl(const QString& name) const {
    const QString path = m_kind == Kind::radicale ? "/alice/%1/" : "/user/calendars/%1/";
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path.arg(name));
}

QString DavServer::CollectionFolder(const QString& name) const {
    return m_root->path() + "/collections/collection-root/alice/" + name;
}

namespace {

std::unique_ptr<DavServer> g_radicale;
std::unique_ptr<DavServer> g_xandikos;

// Stops the servers when the tests are done, whatever their outcome.
class ServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        g_radicale.reset();
        g_xandikos.reset();
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

DavServer& Started(std::unique_ptr<DavServer>& slot, DavServer::Kind kind) {
    if (!slot)
        slot = std::make_unique<DavServer>(kind);
    if (!slot->Running()) {
        EXPECT_TRUE(slot->Start()) << "the server did not start";
    }
    return *slot;
}

} // namespace

DavServer& Radicale() {
    return Started(g_radicale, DavServer::Kind::radicale);
}

DavServer& Xandikos() {
    return Started(g_xandikos, DavServer::Kind::xandikos);
}

DavServer& ServerOf(DavServer::Kind kind) {
    return kind == DavServer::Kind::radicale ? Radicale() : Xandikos();
}

DavResponse Await(const std::function<void(CalDavClient::Done)>& start, int timeoutMs) {
    QEventLoop loop;
    DavResponse response;
    bool answered = false;
    start([&](const DavResponse& r) {
        response = r;
        answered = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!answered)
        loop.exec();
    EXPECT_TRUE(answered) << "no answer within " << timeoutMs << " ms";
    return response;
}

QUrl MakeCalendar(DavServer& server, const QString& name) {
    const QUrl url = server.CalendarUrl(name);
    CalDavClient client;
    client.SetCredentials(server.User(), server.Password());
    const DavResponse made = Await([&](CalDavClient::Done done) {
        client.MkCalendar(url, DavXml::MkCalendar(name), std::move(done));
    });
    EXPECT_EQ(made.status, 201) << made.body.toStdString();
    return url;
}

QByteArray Phone::Run(const QStringList& args, const QByteArray& input) const {
    QProcess p;
    const QString user = m_server.User().isEmpty() ? "-" : m_server.User();
    const QString password = m_server.Password().isEmpty() ? "-" : m_server.Password();
    p.start(kPython, QStringList{QStringLiteral(TAVRINO_SOURCE_DIR "/tests/sync/phone.py"),
                                 m_calendar.toString(), user, password} +
                         args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << "phone " << args.join(' ').toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

std::vector<PhoneEvent> Phone::List() const {
    std::vector<PhoneEvent> events;
    for (const QJsonValue& v : QJsonDocument::fromJson(Run({"list"}, {})).array()) {
        const QJsonObject o = v.toObject();
        events.push_back(
            {o["href"].toString(), o["uid"].toString(), o["data"].toString().toUtf8()});
    }
    return events;
}

void Phone::Add(const QByteArray& icalendar) const {
    Run({"add"}, icalendar);
}

void Phone::Edit(const QString& uid, const QByteArray& change) const {
    Run({"edit", uid}, change);
}

void Phone::Delete(const QString& uid) const {
    Run({"delete", uid}, {});
}

void Phone::Batch(const QByteArray& operations) const {
    Run({"batch"}, operations);
}

QStringList Phone::Occurrences(const QString& from, const QString& to) const {
    QStringList out;
    for (const QJsonValue& v :
         QJsonDocument::fromJson(Run({"occurrences", from, to}, {})).array()) {
        const QJsonObject o = v.toObject();
        out << o["start"].toString() + u' ' + o["summary"].toString() +
                   (o["override"].toBool() ? QStringLiteral(" (override)") : QString());
    }
    return out;
}

void Phone::EditOccurrence(const QString& uid, const QString& day, const QByteArray& change) const {
    Run({"edit-occurrence", uid, day}, change);
}

void Phone::DeleteOccurrence(const QString& uid, const QString& day) const {
    Run({"delete-occurrence", uid, day}, {});
}

QString Property(const QByteArray& icalendar, const QByteArray& name) {
    QByteArray text = icalendar;
    text.replace("\r\n ", "").replace("\n ", "").replace("\r\n\t", "").replace("\n\t", "");
    bool inEvent = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == "BEGIN:VEVENT")
            inEvent = true;
        else if (line == "END:VEVENT")
            inEvent = false;
        else if (inEvent && (line.startsWith(name + ':') || line.startsWith(name + ';'))) {
            QString value = QString::fromUtf8(line.mid(line.indexOf(':') + 1));
            value.replace("\\n", "\n").replace("\\N", "\n").replace("\\,", ",");
            value.replace("\\;", ";").replace("\\\\", "\\");
            return value;
        }
    }
    return QString();
}

ToolHome::ToolHome() {
    EXPECT_TRUE(m_dir.isValid());
}

ToolRun ToolHome::Run(const QStringList& args, const QStringList& env) const {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("TZ", "Asia/Tokyo");
    e.insert("XDG_DATA_HOME", m_dir.filePath("data"));
    e.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
    e.remove("TAVRINO_CALDAV_PASSWORD");
    e.remove("TAVRINO_SYNC_STOP_AFTER");
    for (const QString& pair : env)
        e.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    ToolRun run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

void ToolHome::Build(const QString& book, const QByteArray& json) const {
    WriteFile(Path("build.json"), json);
    const ToolRun built = Run({"build", Path("build.json"), Path(book)});
    EXPECT_EQ(built.exitCode, 0) << built.err.toStdString();
}

QByteArray ToolHome::Read(const QString& name) const {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void ToolHome::EditDay(const QString& book, const QString& date,
                       const std::function<void(QJsonObject& day)>& change) const {
    const ToolRun dump = Run({"dump", Path(book)});
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    QJsonObject whole = QJsonDocument::fromJson(dump.out.toUtf8()).object();
    QJsonArray days = whole["days"].toArray();
    bool found = false;
    for (qsizetype i = 0; i < days.size() && !found; ++i) {
        QJsonObject day = days[i].toObject();
        if (day["day"].toString() != date)
            continue;
        day.remove("date"); // the day gives the date
        change(day);
        days[i] = day;
        found = true;
    }
    if (!found) {
        QJsonObject day{{"day", date}};
        change(day);
        days.append(day);
    }
    whole["days"] = days;
    Build(book, QJsonDocument(whole).toJson(QJsonDocument::Compact));
}

std::map<QString, BookDay> BookDays(const ToolHome& home, const QString& book) {
    const ToolRun dump = home.Run({"dump", home.Path(book)});
    EXPECT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    std::map<QString, BookDay> days;
    for (const QJsonValue& v : QJsonDocument::fromJson(dump.out.toUtf8())["days"].toArray()) {
        const QJsonObject o = v.toObject();
        BookDay d;
        d.memo = o["memo"].toString();
        if (!o["heading"].toString().isEmpty() || !o["headingDetail"].toString().isEmpty())
            d.heading = o["heading"].toString() + u'|' + o["headingDetail"].toString();
        const QJsonArray rows = o["rows"].toArray();
        for (int r = 0; r < rows.size(); ++r) {
            const QJsonObject row = rows[r].toObject();
            const QString text = row["time"].toString() + u'|' + row["plan"].toString() + u'|' +
                                 row["detail"].toString();
            if (text != QLatin1String("||"))
                d.rows[r + 1] = text;
        }
        if (d == BookDay())
            continue;
        days[o["day"].toString()] = d;
    }
    return days;
}

QString Day(int n) {
    return QDate::currentDate().addDays(n).toString(Qt::ISODate);
}

std::map<QString, QByteArray> Etags(DavServer& server, const QUrl& calendar) {
    CalDavClient client;
    client.SetCredentials(server.User(), server.Password());
    const DavResponse listed = Await([&](CalDavClient::Done done) {
        client.Propfind(calendar, 1, DavXml::PropfindEtags(), std::move(done));
    });
    std::map<QString, QByteArray> etags;
    const QString self = DavXml::HrefKey(calendar, calendar.path());
    for (const DavXml::Entry& e : DavXml::Parse(listed.body).entries) {
        const QString key = DavXml::HrefKey(calendar, e.href);
        if (key != self && !e.collection)
            etags[key] = e.etag;
    }
    return etags;
}

std::map<QString, QByteArray> CalendarTexts(DavServer& server, const QUrl& calendar) {
    std::map<QString, QByteArray> texts;
    const std::map<QString, QByteArray> etags = Etags(server, calendar);
    if (etags.empty())
        return texts;
    QStringList hrefs;
    for (const auto& [key, etag] : etags)
        hrefs << DavXml::ItemUrl(calendar, key).path(QUrl::FullyEncoded);
    CalDavClient client;
    client.SetCredentials(server.User(), server.Password());
    const DavResponse got = Await([&](CalDavClient::Done done) {
        client.Report(calendar, 1, DavXml::CalendarMultiget(hrefs), std::move(done));
    });
    for (const DavXml::Entry& e : DavXml::Parse(got.body).entries)
        texts[DavXml::HrefKey(calendar, e.href)] = e.calendarData;
    return texts;
}

QStringList Summaries(DavServer& server, const QUrl& calendar) {
    QStringList summaries;
    for (const auto& [href, text] : CalendarTexts(server, calendar))
        summaries << Property(text, "SUMMARY");
    summaries.sort();
    return summaries;
}

QString InKeyringSession(const QString& then) {
    return QStringLiteral(
               "printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 "
               "&& for i in $(seq 100); do dbus-send --session --print-reply "
               "--dest=org.freedesktop.DBus /org/freedesktop/DBus "
               "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null "
               "| grep -q true && break; sleep 0.1; done && ") +
           then;
}
