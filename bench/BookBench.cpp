// What a century of days costs: opening and saving the book, storing the working day (which
// every memo keystroke does) and selecting a day, each against a plain read of the same file.
// Peak memory of loading is measured in a fresh process started from this same binary.

#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"
#include "document/TavrinoDoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kDays = 36525;
constexpr const char* kLoadOnly = "--load-only";

// Ordinary plans, details, headings and memo lines; numbered ones get a number filled in so
// that no two days are quite alike.
const QStringList kPlans = {
    QStringLiteral("会議"),
    QStringLiteral("打ち合わせ（第%1会議室）"),
    QStringLiteral("歯医者 15:30"),
    QStringLiteral("買い物リスト…"),
    QStringLiteral("朝礼"),
    QStringLiteral("営業部と定例ミーティング"),
    QStringLiteral("資料作成（見積書 第%1版）"),
    QStringLiteral("昼食"),
    QStringLiteral("電話：田中様 折り返し"),
    QStringLiteral("移動"),
    QStringLiteral("研修 %1日目"),
    QStringLiteral("来客対応"),
    QStringLiteral("メール確認"),
    QStringLiteral("週報の提出"),
    QStringLiteral("銀行で振込"),
    QStringLiteral("子供の迎え"),
};
const QStringList kDetails = {
    QStringLiteral("本社3階"),
    QStringLiteral("持ち物：ノートPC、名刺"),
    QStringLiteral("予算の件を確認する"),
    QStringLiteral("担当：佐藤、鈴木"),
    QStringLiteral("オンライン"),
    QStringLiteral("延期の可能性あり"),
};
const QStringList kHeadings = {
    QStringLiteral("祝日"), QStringLiteral("誕生日"),     QStringLiteral("出張（大阪）"),
    QStringLiteral("有給"), QStringLiteral("締め切り日"), QStringLiteral("引っ越し"),
};
const QStringList kMemoLines = {
    QStringLiteral("牛乳、卵、パンを買う"),
    QStringLiteral("明日の会議資料を%1部印刷しておくこと"),
    QStringLiteral("雨の予報。傘を忘れずに。"),
    QStringLiteral("母に電話する"),
    QStringLiteral("請求書の控えをファイルに綴じる"),
    QStringLiteral("ジムは19時から"),
    QStringLiteral("駐車場の更新手続き（期限は今月末）"),
};

QString Pick(const QStringList& list, std::mt19937& rng) {
    const QString& text = list[int(rng() % list.size())];
    return text.contains(QStringLiteral("%1")) ? text.arg(rng() % 9 + 1) : text;
}

// Days from 1 January 2000, most of them busy, a few empty.
void FillBook(CTavrinoDoc& doc) {
    std::mt19937 rng(20000101);
    const double first = COleDateTime(2000, 1, 1, 0, 0, 0).m_dt;
    for (int i = 0; i < kDays; ++i) {
        auto day = std::make_unique<CYoteiDay>();
        day->m_dayDate = COleDateTime(first + i);
        if (rng() % 50 != 0) {
            if (rng() % 7 == 0)
                day->SetHeading(Pick(kHeadings, rng));
            if (rng() % 20 == 0)
                day->SetHeadingDetail(Pick(kDetails, rng));
            const bool timed = rng() % 10 != 0;
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                if (timed)
                    day->SetTime(r, QStringLiteral("%1").arg(8 + r, 2, 10, QLatin1Char('0')));
                if (rng() % 4 != 0)
                    day->SetPlan(r, Pick(kPlans, rng));
                if (rng() % 5 == 0)
                    day->SetDetail(r, Pick(kDetails, rng));
            }
            QStringList memo;
            for (int n = int(rng() % 3) + 1; n > 0; --n)
                memo << Pick(kMemoLines, rng);
            day->SetMemo(memo.join(QStringLiteral("\r\n")));
        }
        doc.m_days.push_back(std::move(day));
    }
}

// The generated book, written once into a temporary folder that also takes the saved copies.
struct Book {
    QTemporaryDir dir;
    QString path;
    QString savePath;
    qint64 size = 0;
    COleDateTime first, middle, last, absent;

    Book() {
        if (!dir.isValid()) {
            std::fprintf(stderr, "no temporary folder\n");
            std::exit(1);
        }
        path = dir.filePath(QStringLiteral("century.dat"));
        savePath = dir.filePath(QStringLiteral("saved.dat"));
        CTavrinoDoc doc;
        FillBook(doc);
        if (!doc.OnSaveDocument(path)) {
            std::fprintf(stderr, "could not write the book\n");
            std::exit(1);
        }
        size = QFileInfo(path).size();
        first = doc.m_days.front()->m_dayDate;
        middle = doc.m_days[doc.m_days.size() / 2]->m_dayDate;
        last = doc.m_days.back()->m_dayDate;
        absent = COleDateTime(2200, 1, 1, 0, 0, 0);
    }
};

Book& TheBook() {
    static Book book;
    return book;
}

void LoadOrDie(CTavrinoDoc& doc, const QString& path) {
    if (!doc.OnOpenDocument(path)) {
        std::fprintf(stderr, "could not read the book\n");
        std::exit(1);
    }
}

void BM_PlainRead(benchmark::State& state) {
    const Book& book = TheBook();
    for (auto _ : state) {
        QFile file(book.path);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot open the book");
            break;
        }
        QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * book.size);
    state.counters["file_bytes"] = double(book.size);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_Read(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    for (auto _ : state) {
        state.PauseTiming();
        doc.DeleteContents();
        state.ResumeTiming();
        LoadOrDie(doc, book.path);
    }
    state.SetBytesProcessed(state.iterations() * book.size);
    state.counters["days"] = double(doc.m_days.size());
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    LoadOrDie(doc, book.path);
    for (auto _ : state) {
        if (!doc.OnSaveDocument(book.savePath)) {
            state.SkipWithError("could not save the book");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * book.size);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

// Storing the working day alone: a copy of it replaces the stored day in the middle.
void BM_Commit(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    LoadOrDie(doc, book.path);
    doc.SelectDay(book.middle);
    for (auto _ : state)
        doc.CommitCurrentDay();
    state.counters["days"] = double(doc.m_days.size());
}
BENCHMARK(BM_Commit)->Unit(benchmark::kMicrosecond);

// One keystroke in the memo: the day is selected again, the 33 texts of the view are copied
// into the working day, and the day is stored. Two texts alternate, so that every keystroke
// really changes the day (the journal skips a day stored unchanged).
void MemoKeystrokes(benchmark::State& state, CRecoveryJournal* journal) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    doc.SetJournal(journal);
    LoadOrDie(doc, book.path);
    doc.SelectDay(book.middle);
    const CYoteiDay shown = doc.GetCurrentDay();
    const QString memos[2] = {shown.GetMemo() + QStringLiteral("あ"),
                              shown.GetMemo() + QStringLiteral("い")};
    std::size_t key = 0;
    for (auto _ : state) {
        doc.SelectDay(book.middle);
        doc.SetHeading(shown.m_heading);
        doc.SetHeadingDetail(shown.m_headingDetail);
        for (int r = 0; r < CYoteiDay::kRows; ++r) {
            doc.SetTime(r, shown.m_times[r]);
            doc.SetPlan(r, shown.m_plans[r]);
            doc.SetDetail(r, shown.m_details[r]);
        }
        doc.SetMemo(memos[++key % 2]);
        doc.CommitCurrentDay();
        // What the planner's timer does about once a second, off the keystroke's path: flush to
        // the disk and compact.
        if (journal && key % 256 == 0) {
            state.PauseTiming();
            journal->Flush();
            state.ResumeTiming();
        }
    }
}

void BM_MemoKeystroke(benchmark::State& state) {
    MemoKeystrokes(state, nullptr);
}
BENCHMARK(BM_MemoKeystroke)->Unit(benchmark::kMicrosecond);

// The same keystroke with the recovery journal: the day is also appended to the journal file.
void BM_MemoKeystrokeJournaled(benchmark::State& state) {
    const Book& book = TheBook();
    CRecoveryJournal journal(RecoveryFolder::Path(book.dir.path()), nullptr);
    MemoKeystrokes(state, &journal);
    state.counters["journal_bytes"] = double(journal.FileSize());
    journal.Discard();
}
BENCHMARK(BM_MemoKeystrokeJournaled)->Unit(benchmark::kMicrosecond);

void BM_SelectDay(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    LoadOrDie(doc, book.path);
    const COleDateTime dates[] = {book.first, book.middle, book.last, book.absent};
    const char* labels[] = {"first", "middle", "last", "absent"};
    const COleDateTime date = dates[state.range(0)];
    for (auto _ : state) {
        doc.SelectDay(date);
        benchmark::DoNotOptimize(doc.m_currentDay.m_dayMemo.constData());
    }
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_SelectDay)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// Runs this program again as a process that only loads the book (or, without a path, only
// starts) and returns its peak resident size in bytes, or -1.
qint64 PeakRssOfChild(const QString& path) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const std::string file = path.toStdString();
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        char* argv[] = {const_cast<char*>("tavrino_bench"), const_cast<char*>(kLoadOnly),
                        const_cast<char*>(file.c_str()), nullptr};
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    close(fds[1]);
    char text[64] = {};
    std::size_t got = 0;
    for (ssize_t n;
         got < sizeof text - 1 && (n = read(fds[0], text + got, sizeof text - 1 - got)) > 0;)
        got += std::size_t(n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::atoll(text);
}

// Peak memory of a fresh process that loads the book, as a multiple of the file's size; the
// growth over a process that starts the same way without loading is given as well.
void BM_PeakMemoryOfRead(benchmark::State& state) {
    const Book& book = TheBook();
    qint64 loaded = -1, idle = -1;
    for (auto _ : state) {
        loaded = PeakRssOfChild(book.path);
        idle = PeakRssOfChild(QString());
    }
    if (loaded < 0 || idle < 0) {
        state.SkipWithError("the loading process failed");
        return;
    }
    state.counters["file_bytes"] = double(book.size);
    state.counters["peak_rss_bytes"] = double(loaded);
    state.counters["peak_rss_over_file"] = double(loaded) / double(book.size);
    state.counters["rss_growth_over_file"] = double(loaded - idle) / double(book.size);
}
BENCHMARK(BM_PeakMemoryOfRead)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The child side: load (when given a path), then print the peak resident size in bytes. The
// peak is the new image's own high-water mark: ru_maxrss would keep the forking parent's.
int LoadOnly(int argc, char** argv) {
    CTavrinoDoc doc;
    if (argc > 2 && std::strlen(argv[2]) > 0)
        LoadOrDie(doc, QString::fromLocal8Bit(argv[2]));
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            const long long kib = line.mid(6).trimmed().split(' ').front().toLongLong();
            std::printf("%lld\n", kib * 1024);
            return 0;
        }
    }
    return 1;
}

// Prints the usual table and keeps each benchmark's time, so that the costs can be given as
// multiples of the plain read measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own reporter does by default.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            // With repetitions the median stands for the benchmark; otherwise the one run.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            seconds[name] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            for (const auto& [key, counter] : run.counters)
                counters[name + "." + key] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Written to the reporter's own stream so that it follows the table in a pipe as well.
    void PrintRatios() {
        std::ostream& out = GetOutputStream();
        char line[200];
        const auto plain = seconds.find("BM_PlainRead");
        if (plain == seconds.end() || plain->second <= 0)
            return;
        std::snprintf(line, sizeof line,
                      "\nTimes as multiples of a plain read of the same file (%.3f ms):\n",
                      plain->second * 1e3);
        out << line;
        const std::pair<const char*, const char*> rows[] = {
            {"BM_Read", "reading (open)"},
            {"BM_Write", "writing (save)"},
            {"BM_Commit", "commit (middle day)"},
            {"BM_MemoKeystroke", "memo keystroke"},
            {"BM_MemoKeystrokeJournaled", "keystroke + journal"},
            {"BM_SelectDay/0", "select first day"},
            {"BM_SelectDay/1", "select middle day"},
            {"BM_SelectDay/2", "select last day"},
            {"BM_SelectDay/3", "select absent day"},
        };
        for (const auto& [name, label] : rows) {
            const auto it = seconds.find(name);
            if (it == seconds.end())
                continue;
            std::snprintf(line, sizeof line, "  %-20s %12.6f x  (%.3f us)\n", label,
                          it->second / plain->second, it->second * 1e6);
            out << line;
        }
        const auto bare = seconds.find("BM_MemoKeystroke");
        const auto journaled = seconds.find("BM_MemoKeystrokeJournaled");
        if (bare != seconds.end() && journaled != seconds.end() && bare->second > 0) {
            std::snprintf(
                line, sizeof line,
                "Memo keystroke with the recovery journal: %.3f x the keystroke without\n",
                journaled->second / bare->second);
            out << line;
        }
        const auto size = counters.find("BM_PlainRead.file_bytes");
        if (size != counters.end()) {
            std::snprintf(line, sizeof line, "File size: %.0f bytes\n", size->second);
            out << line;
        }
        const auto peak = counters.find("BM_PeakMemoryOfRead.peak_rss_over_file");
        const auto growth = counters.find("BM_PeakMemoryOfRead.rss_growth_over_file");
        if (peak != counters.end() && growth != counters.end()) {
            std::snprintf(line, sizeof line,
                          "Peak memory of a process that loads it: %.2f x the file (%.2f x "
                          "above a process that does not load)\n",
                          peak->second, growth->second);
            out << line;
        }
        out.flush();
    }

private:
    std::map<std::string, double> seconds;
    std::map<std::string, double> counters;
};

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], kLoadOnly) == 0)
        return LoadOnly(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
