// Typing in the memo while the planner syncs a busy year with a local Radicale, against the same
// typing on the same book with no sync running. Each keystroke is a real key event on the memo,
// timed from sending it to the end of the events it queued; a zero-interval timer measures the
// longest time the event loop did not turn, which is the longest a key would have waited.
//
// The calendar (about 2,000 events in a year) is uploaded once by `tavrino-book sync --create`.
// Every planner start has a profile of its own: the first sync takes an empty book with the
// account, so every event comes in and the automatic save runs; the no-change sync takes a book
// the book tool has synced already; the baseline takes a copy of that book without an account.

#include "app/MainFrame.h"
#include "app/PlannerSync.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "sync/SyncAccount.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <vector>

namespace {

// At least this many keys in every run, and the typist's pauses after a letter and after the
// Backspace that takes it away again (so the memo's text is mostly as saved, and the sync's
// automatic save is not held back by it).
constexpr int kKeys = 400;
constexpr int kPauseAfterLetterMs = 5;
constexpr int kPauseAfterBackspaceMs = 40;
constexpr int kSyncWaitMs = 300000;

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

// Radicale on a free port of 127.0.0.1, anyone allowed in (the planner then never asks for a
// password), stopped by its process id.
class Server {
public:
    bool Start() {
        const QString shm = QStringLiteral("/dev/shm");
        m_root = QFileInfo(shm).isWritable()
                     ? std::make_unique<QTemporaryDir>(shm + "/tavrino-typing-bench-XXXXXX")
                     : std::make_unique<QTemporaryDir>();
        if (!m_root->isValid())
            return false;
        m_port = FreePort();
        const QString dir = m_root->path();
        // The home the calendar is made in: with nobody logged in, no principal's home is made.
        QDir().mkpath(dir + "/collections/collection-root/bench");
        WriteFile(dir + "/config", QStringLiteral("[server]\n"
                                                  "hosts = 127.0.0.1:%1\n"
                                                  "max_content_length = 100000000\n"
                                                  "[auth]\n"
                                                  "type = none\n"
                                                  "[rights]\n"
                                                  "type = authenticated\n"
                                                  "[storage]\n"
                                                  "filesystem_folder = %2/collections\n"
                                                  "[logging]\n"
                                                  "level = warning\n")
                                       .arg(m_port)
                                       .arg(dir)
                                       .toUtf8());
        m_process.setStandardOutputFile(dir + "/server.log");
        m_process.setStandardErrorFile(dir + "/server.log");
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {"-m", "radicale", "--config", dir + "/config"});
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 30000 && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~Server() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate(); // SIGTERM to the server's own process id
            if (!m_process.waitForFinished(10000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }
    QUrl Calendar(const QString& name) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/bench/%2/").arg(m_port).arg(name));
    }

private:
    std::unique_ptr<QTemporaryDir> m_root;
    quint16 m_port = 0;
    QProcess m_process;
};

// A profile, data folder and configuration folder of one planner start's own (the accounts and
// sync states live there, for the book tool run from here too).
class Profile {
public:
    Profile() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Config());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Config());
        qputenv("XDG_DATA_HOME", QFile::encodeName(Data()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Config()));
    }
    QString Config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString Data() const { return m_dir.path() + QStringLiteral("/data"); }
    QString Documents() const { return m_dir.path() + QStringLiteral("/documents"); }
    QString File(const QString& name) const { return m_dir.filePath(name); }
    void Remember(const QString& book) const {
        QSettings settings(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
        settings.setValue(QStringLiteral("Recent File List/File_dat"), book);
    }

private:
    QTemporaryDir m_dir;
};

bool RunTool(const QStringList& args, QString* why) {
    QProcess tool;
    tool.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
    if (!tool.waitForFinished(kSyncWaitMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        *why = QStringLiteral("tavrino-book %1: %2")
                   .arg(args.join(QLatin1Char(' ')),
                        QString::fromUtf8(tool.readAllStandardError().right(2000)));
        return false;
    }
    return true;
}

// A busy year from today: five to seven rows a day, a heading on Sundays, a memo on the first of
// each month (about 2,000 events), in the book tool's dump form.
QByteArray BusyYear() {
    QJsonArray days;
    const QDate first = QDate::currentDate();
    for (int n = 0; n < 365; ++n) {
        const QDate day = first.addDays(n);
        const auto row = [](const QString& time, const QString& plan, const QString& detail = {}) {
            QJsonObject r{{"time", time}, {"plan", plan}};
            if (!detail.isEmpty())
                r.insert("detail", detail);
            return r;
        };
        QJsonArray rows{row("9", QStringLiteral("朝会 %1").arg(n)),
                        row("10:30", QStringLiteral("打ち合わせ %1").arg(n),
                            QStringLiteral("会議室B\r\n資料を持参")),
                        row("12", QStringLiteral("昼食")),
                        row("14", QStringLiteral("作業 %1").arg(n))};
        if (n % 2 == 0)
            rows.append(
                row("16", QStringLiteral("来客 %1").arg(n), QStringLiteral("受付で名前を")));
        if (n % 3 == 0)
            rows.append(row(QStringLiteral("朝"), QStringLiteral("ジョギング")));
        if (day.dayOfWeek() <= 5)
            rows.append(row("18:30", QStringLiteral("帰宅")));
        QJsonObject entry{{"day", day.toString(Qt::ISODate)}, {"rows", rows}};
        if (day.dayOfWeek() == 7)
            entry.insert("heading", QStringLiteral("日曜 %1").arg(n));
        if (day.day() == 1)
            entry.insert("memo", QStringLiteral("%1月の目標\r\n早寝早起き\r\n").arg(day.month()));
        days.append(entry);
    }
    return QJsonDocument(QJsonObject{{"days", days}}).toJson(QJsonDocument::Compact);
}

// The server and its calendar of a busy year, made on first use and kept for the whole run.
struct Calendar {
    Server server;
    QUrl url;
    QString problem;
    QTemporaryDir work;

    Calendar() {
        if (!server.Start()) {
            problem = QStringLiteral("Radicale did not start");
            return;
        }
        url = server.Calendar(QStringLiteral("year"));
        Profile profile;
        const QString json = work.filePath(QStringLiteral("year.json"));
        const QString book = work.filePath(QStringLiteral("year.dat"));
        WriteFile(json, BusyYear());
        if (!RunTool({QStringLiteral("build"), json, book}, &problem))
            return;
        RunTool({QStringLiteral("sync"), QStringLiteral("--url"), url.toString(),
                 QStringLiteral("--create"), book},
                &problem);
    }
};

std::unique_ptr<Calendar> g_calendar;

Calendar& TheCalendar() {
    if (!g_calendar)
        g_calendar = std::make_unique<Calendar>();
    return *g_calendar;
}

enum class Variant { noSync, firstSync, noChangeSync };

// The longest time between two turns of the event loop while it runs.
class LoopMeter {
public:
    LoopMeter() {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const double gap = double(now - m_last) / 1e6;
            m_last = now;
            m_worst = std::max(m_worst, gap);
            m_over16 += gap > 16.0;
        });
    }
    void Start() {
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    double Worst() const { return m_worst; }
    int Over16() const { return m_over16; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
    int m_over16 = 0;
};

struct Typed {
    std::vector<double> keys; // ms, each
    double worstStall = 0;
    int stallsOver16 = 0;
    double syncMs = 0;
    int changes = 0;
    bool autoSaved = false;
    QString problem;
};

// Lets the event loop run for ms.
void Pause(int ms) {
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

Typed TypeOnce(Variant variant) {
    Typed run;
    Calendar& calendar = TheCalendar();
    Profile profile;
    const QString book = profile.File(QStringLiteral("予定.dat"));
    // An empty book with the account: a first sync takes every event of the year in.
    const QString synced =
        variant == Variant::noSync ? profile.File(QStringLiteral("synced.dat")) : book;
    CTavrinoDoc empty;
    QString problem;
    if (!empty.OnSaveDocument(synced) ||
        !SyncAccount::Save(synced, {calendar.url, QString()}, problem)) {
        run.problem = QStringLiteral("the empty book could not be written: ") + problem;
        return run;
    }
    // Synced by the book tool first, the planner's sync finds nothing changed; a copy without
    // the account is not synced at all.
    if (variant != Variant::firstSync && !RunTool({QStringLiteral("sync"), synced}, &run.problem))
        return run;
    if (variant == Variant::noSync && !QFile::copy(synced, book)) {
        run.problem = QStringLiteral("the book could not be copied");
        return run;
    }
    const qint64 sizeBefore = QFileInfo(book).size();

    profile.Remember(book);
    auto app = std::make_unique<CTavrinoApp>();
    app->SetDocumentsFolder(profile.Documents());
    // The data and configuration folders are the planner's own below the profile's, where the
    // book tool keeps its sync states too.
    app->SetArguments({QStringLiteral("tavrino")});
    if (!app->InitInstance()) {
        run.problem = QStringLiteral("the planner did not start");
        return run;
    }
    auto* frame = qobject_cast<CMainFrame*>(app->m_pMainWnd);
    auto* view = frame ? qobject_cast<CTavrinoView*>(frame->GetActiveView()) : nullptr;
    if (!view) {
        run.problem = QStringLiteral("no window");
        return run;
    }
    int finished = 0;
    QElapsedTimer syncClock;
    QObject::connect(app->GetSync(), &CPlannerSync::Finished, [&] {
        ++finished;
        run.syncMs = double(syncClock.nsecsElapsed()) / 1e6;
    });
    syncClock.start();
    frame->activateWindow();
    QWidget* memo = view->m_memoEdit;
    memo->setFocus(Qt::MouseFocusReason);
    // The window shown and drawn before the typing starts (the sync's first requests go out
    // meanwhile): that is the same with and without a sync, and no key waits for it.
    if (!QTest::qWaitForWindowExposed(frame)) {
        run.problem = QStringLiteral("the window was not shown");
        return run;
    }
    Pause(50);

    LoopMeter meter;
    meter.Start();
    QElapsedTimer keyClock;
    const auto key = [&](Qt::Key which) {
        keyClock.start();
        QTest::keyClick(memo, which, Qt::NoModifier);
        QCoreApplication::processEvents();
        run.keys.push_back(double(keyClock.nsecsElapsed()) / 1e6);
    };
    const bool syncs = variant != Variant::noSync;
    QElapsedTimer waited;
    waited.start();
    while ((int(run.keys.size()) < kKeys || (syncs && finished == 0)) &&
           waited.elapsed() < kSyncWaitMs) {
        key(Qt::Key_X);
        Pause(kPauseAfterLetterMs);
        key(Qt::Key_Backspace);
        Pause(kPauseAfterBackspaceMs);
    }
    meter.Stop();
    run.worstStall = meter.Worst();
    run.stallsOver16 = meter.Over16();
    if (syncs) {
        const CPlannerSync::Last& last = app->GetSync()->LastSync();
        if (finished == 0)
            run.problem = QStringLiteral("the sync did not end");
        else if (!last.failure.isEmpty())
            run.problem = QStringLiteral("the sync failed: ") + last.failure;
        run.changes = last.changes;
        run.autoSaved = QFileInfo(book).size() > sizeBefore;
    }
    app.reset();
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Typing(benchmark::State& state, Variant variant) {
    if (!TheCalendar().problem.isEmpty()) {
        state.SkipWithError(TheCalendar().problem.toStdString().c_str());
        return;
    }
    std::vector<double> keys;
    double worstStall = 0;
    double syncMs = 0;
    int stalls = 0;
    int changes = 0;
    int autoSaved = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const Typed run = TypeOnce(variant);
        if (!run.problem.isEmpty()) {
            state.SkipWithError(run.problem.toStdString().c_str());
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        keys.insert(keys.end(), run.keys.begin(), run.keys.end());
        worstStall = std::max(worstStall, run.worstStall);
        stalls += run.stallsOver16;
        syncMs = std::max(syncMs, run.syncMs);
        changes = run.changes;
        autoSaved += run.autoSaved;
    }
    state.counters["worst_key_ms"] = keys.empty() ? 0 : *std::max_element(keys.begin(), keys.end());
    state.counters["median_key_ms"] = Median(keys);
    state.counters["worst_stall_ms"] = worstStall;
    state.counters["stalls_over_16ms"] = stalls;
    state.counters["keys"] = double(keys.size());
    if (variant != Variant::noSync) {
        state.counters["sync_ms"] = syncMs;
        state.counters["changes"] = changes;
        state.counters["auto_saved_runs"] = autoSaved;
    }
}

void BM_TypingWithoutSync(benchmark::State& state) {
    Typing(state, Variant::noSync);
}
void BM_TypingDuringFirstSync(benchmark::State& state) {
    Typing(state, Variant::firstSync);
}
void BM_TypingDuringNoChangeSync(benchmark::State& state) {
    Typing(state, Variant::noChangeSync);
}
BENCHMARK(BM_TypingWithoutSync)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingDuringFirstSync)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingDuringNoChangeSync)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Prints the runs, then each sync's worst and median as multiples of typing with no sync.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            for (const auto& [name, counter] : run.counters)
                m_counters[run.benchmark_name()][name] = counter.value;
        }
    }
    void PrintRatios() const {
        const auto base = m_counters.find("BM_TypingWithoutSync/iterations:3/manual_time");
        if (base == m_counters.end())
            return;
        for (const char* name : {"BM_TypingDuringFirstSync", "BM_TypingDuringNoChangeSync"}) {
            const auto with = m_counters.find(std::string(name) + "/iterations:3/manual_time");
            if (with == m_counters.end())
                continue;
            const auto ratio = [&](const char* counter) {
                const double b = base->second.at(counter);
                return b > 0 ? with->second.at(counter) / b : 0.0;
            };
            std::printf("%s / without sync (goal: worst <= 1.5): worst key %.2f, median key "
                        "%.2f, worst event-loop stall %.2f\n",
                        name, ratio("worst_key_ms"), ratio("median_key_ms"),
                        ratio("worst_stall_ms"));
        }
    }

private:
    std::map<std::string, std::map<std::string, double>> m_counters;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The rows' hours are Tokyo's; no keyring is asked (the server lets anyone in).
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavrino-typing-bench");
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    // As the planner and the book tool name themselves: the accounts are shared by that name.
    QApplication::setOrganizationName(QStringLiteral("VELKORAN"));
    QApplication::setApplicationName(QStringLiteral("Tavrino"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    g_calendar.reset(); // the server stopped while Qt is still there
    benchmark::Shutdown();
    return 0;
}
