// What a century of days costs: opening and saving the book, storing the working day (which
// every memo keystroke does) and selecting a day, each against a plain read of the same file;
// the keystroke also against the same keystroke on a book of that one day, and the book tool's
// import of 30000 days against 3000. Peak memory of loading is measured in a fresh process
// started from this same binary.

#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"
#include "document/TavrinoDoc.h"
#include "platform/core/FileSync.h"
#include "platform/core/FileSystem.h"
#include "tools/book/BookImport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kDays = 36525;
constexpr const char* kLoadOnly = "--load-only";
constexpr const char* kWriteBook = "--write-book";

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
        // Each read starts as in a fresh process: the freed book's memory goes back to the
        // system, rather than being found already merged and paged in.
        malloc_trim(0);
        state.ResumeTiming();
        LoadOrDie(doc, book.path);
    }
    state.SetBytesProcessed(state.iterations() * book.size);
    state.counters["days"] = double(doc.m_days.size());
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

// The floor of the day model itself: the same days with every text the loaded book owns made
// at its length, and every text it shares with the day before shared the same way, without a
// file. What a read costs beyond this is the reading and decoding; the rest is the allocator and
// the fresh pages that the days and texts need.
void BM_ModelFloor(benchmark::State& state) {
    const Book& book = TheBook();
    std::vector<qsizetype> lengths; // -1: the same field of the day before
    std::size_t count = 0;
    {
        CTavrinoDoc loaded;
        LoadOrDie(loaded, book.path);
        count = loaded.m_days.size();
        const CYoteiDay none;
        const CYoteiDay* before = &none;
        const auto note = [&](const QString& text, const QString& previous) {
            const bool shared = !text.isEmpty() && text.constData() == previous.constData();
            lengths.push_back(shared ? -1 : text.size());
        };
        for (const auto& day : loaded.m_days) {
            note(day->m_heading, before->m_heading);
            note(day->m_headingDetail, before->m_headingDetail);
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                note(day->m_times[r], before->m_times[r]);
                note(day->m_plans[r], before->m_plans[r]);
                note(day->m_details[r], before->m_details[r]);
            }
            note(day->m_dayMemo, before->m_dayMemo);
            before = day.get();
        }
    }
    DayList days;
    for (auto _ : state) {
        state.PauseTiming();
        days = DayList();
        malloc_trim(0); // as for BM_Read
        state.ResumeTiming();
        days.reserve(count);
        auto length = lengths.cbegin();
        const auto text = [&](const QString& previous) {
            const qsizetype n = *length++;
            return n < 0 ? previous : QString(n, QChar(u'x'));
        };
        const CYoteiDay none;
        const CYoteiDay* before = &none;
        for (std::size_t i = 0; i < count; ++i) {
            auto day = std::make_unique<CYoteiDay>();
            day->m_heading = text(before->m_heading);
            day->m_headingDetail = text(before->m_headingDetail);
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                day->m_times[r] = text(before->m_times[r]);
                day->m_plans[r] = text(before->m_plans[r]);
                day->m_details[r] = text(before->m_details[r]);
            }
            day->m_dayMemo = text(before->m_dayMemo);
            before = day.get();
            days.push_back(std::move(day));
        }
        benchmark::DoNotOptimize(days.data());
    }
}
BENCHMARK(BM_ModelFloor)->Unit(benchmark::kMillisecond);

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

// What a save adds to make sure its write stored the book: the new file read back whole, from
// the page cache, and compared with the bytes that were written.
void BM_ReadBack(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    LoadOrDie(doc, book.path);
    QFile source(book.path);
    if (!doc.OnSaveDocument(book.savePath) || !source.open(QIODevice::ReadOnly)) {
        state.SkipWithError("could not save the book");
        return;
    }
    const QByteArray written = source.readAll();
    int fd = -1;
    if (!FileSystem::Default().Open(book.savePath, O_RDONLY, 0, fd).ok()) {
        state.SkipWithError("could not open the saved book");
        return;
    }
    for (auto _ : state) {
        QByteArray back;
        if (!FileSystem::Default().ReadWhole(fd, back).ok() || back != written) {
            state.SkipWithError("the book did not read back");
            break;
        }
    }
    FileSystem::Default().Close(fd);
    state.SetBytesProcessed(state.iterations() * book.size);
}
BENCHMARK(BM_ReadBack)->Unit(benchmark::kMillisecond);

// The floor of a safe save: the same bytes in one write to a new file, its data synced, the
// rename over the old name and the folder synced.
void BM_WriteFloor(benchmark::State& state) {
    const Book& book = TheBook();
    QFile source(book.path);
    if (!source.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot open the book");
        return;
    }
    const QByteArray bytes = source.readAll();
    const QByteArray next = QFile::encodeName(book.savePath + QStringLiteral(".new"));
    const QByteArray target = QFile::encodeName(book.savePath);
    const QString folder = QFileInfo(book.savePath).absolutePath();
    for (auto _ : state) {
        const int fd = ::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok =
            fd >= 0 &&
            ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size()) &&
            FileSync::SyncData(fd);
        if (fd >= 0)
            ::close(fd);
        if (!ok || ::rename(next.constData(), target.constData()) != 0 ||
            !FileSync::SyncFolder(folder)) {
            state.SkipWithError("could not write the floor copy");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * book.size);
}
BENCHMARK(BM_WriteFloor)->Unit(benchmark::kMillisecond);

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
void MemoKeystrokes(benchmark::State& state, CTavrinoDoc& doc, const COleDateTime& date,
                    CRecoveryJournal* journal) {
    doc.SetJournal(journal);
    doc.SelectDay(date);
    const CYoteiDay shown = doc.GetCurrentDay();
    const QString memos[2] = {shown.GetMemo() + QStringLiteral("あ"),
                              shown.GetMemo() + QStringLiteral("い")};
    std::size_t key = 0;
    for (auto _ : state) {
        doc.SelectDay(date);
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
    doc.SetJournal(nullptr);
}

// One loaded century for both keystroke forms: a keystroke's cost may depend on where the days
// lie in memory, and only the journal is to differ between the two.
CTavrinoDoc& CenturyDoc() {
    static CTavrinoDoc doc;
    if (doc.GetDays().empty())
        LoadOrDie(doc, TheBook().path);
    return doc;
}

void BM_MemoKeystroke(benchmark::State& state) {
    MemoKeystrokes(state, CenturyDoc(), TheBook().middle, nullptr);
}
BENCHMARK(BM_MemoKeystroke)->Unit(benchmark::kMicrosecond);

// The same keystroke on a book that holds only that day: what a keystroke costs without the
// rest of the century.
void BM_MemoKeystrokeOneDay(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc century;
    LoadOrDie(century, book.path);
    century.SelectDay(book.middle);
    CTavrinoDoc doc;
    doc.m_days.push_back(std::make_unique<CYoteiDay>(century.GetCurrentDay()));
    MemoKeystrokes(state, doc, book.middle, nullptr);
}
BENCHMARK(BM_MemoKeystrokeOneDay)->Unit(benchmark::kMicrosecond);

// The same keystroke with the recovery journal: the day is also appended to the journal file.
void BM_MemoKeystrokeJournaled(benchmark::State& state) {
    const Book& book = TheBook();
    CRecoveryJournal journal(RecoveryFolder::Path(book.dir.path()), nullptr);
    MemoKeystrokes(state, CenturyDoc(), book.middle, &journal);
    state.counters["journal_bytes"] = double(journal.FileSize());
    journal.Discard();
}
BENCHMARK(BM_MemoKeystrokeJournaled)->Unit(benchmark::kMicrosecond);

// Importing a calendar whose one event repeats daily, into a book that does not exist yet, as
// a dry run: reading, expanding and placing each day and storing it, without the file write.
// Ten times the days should cost about ten times as much.
void BM_ImportDaily(benchmark::State& state) {
    const int days = int(state.range(0));
    BookImport::Request rq;
    rq.format = QStringLiteral("ics");
    rq.inName = QStringLiteral("daily.ics");
    rq.input = QByteArrayLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n"
                                 "BEGIN:VEVENT\r\nUID:daily@bench\r\n"
                                 "DTSTAMP:20000101T000000Z\r\nDTSTART:20000101T090000\r\n"
                                 "DTEND:20000101T093000\r\nRRULE:FREQ=DAILY;COUNT=") +
               QByteArray::number(days) +
               QByteArrayLiteral("\r\nSUMMARY:朝会\r\nLOCATION:第1会議室\r\nEND:VEVENT\r\n"
                                 "END:VCALENDAR\r\n");
    rq.book = TheBook().dir.filePath(QStringLiteral("import-%1.dat").arg(days));
    rq.from = QDate(2000, 1, 1);
    rq.to = rq.from.addDays(days - 1);
    rq.dryRun = true;
    for (auto _ : state) {
        const BookImport::Outcome outcome = BookImport::Run(rq);
        if (!outcome.ok || outcome.out.count(u'\n') != days) {
            state.SkipWithError("the import did not place every day");
            break;
        }
    }
    state.counters["days"] = double(days);
}
BENCHMARK(BM_ImportDaily)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

// The journal's own part of a keystroke, alone: the day encoded, compared with its last version
// and appended in one write. A keystroke's walk to its day varies from run to run by more than
// this whole part, so the two keystrokes above are compared through it as well.
void BM_JournalRecord(benchmark::State& state) {
    const Book& book = TheBook();
    CTavrinoDoc doc;
    LoadOrDie(doc, book.path);
    doc.SelectDay(book.middle);
    CYoteiDay day = doc.GetCurrentDay();
    const QString memos[2] = {day.GetMemo() + QStringLiteral("あ"),
                              day.GetMemo() + QStringLiteral("い")};
    CRecoveryJournal journal(RecoveryFolder::Path(book.dir.path()), nullptr);
    std::size_t key = 0;
    for (auto _ : state) {
        day.SetMemo(memos[++key % 2]);
        journal.RecordDay(day, book.path, FileIdentity());
        if (key % 256 == 0) {
            state.PauseTiming();
            journal.Flush();
            state.ResumeTiming();
        }
    }
    journal.Discard();
}
BENCHMARK(BM_JournalRecord)->Unit(benchmark::kMicrosecond);

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

// What a process that loaded the book holds, in bytes, as its heap allocations count them
// (each with the allocator's 8-byte header), and its peak resident size.
struct Composition {
    double peak = -1;     // VmHWM
    double heap = 0;      // heap in use after loading
    double days = 0;      // the CYoteiDay objects, 33 string headers each
    double list = 0;      // the list of pointers to them and its date index
    double texts = 0;     // the text allocations, each shared one counted once
    double textCount = 0; // texts that own an allocation
    double strings = 0;   // all strings of the stored days
};

double Allocation(const void* p) {
    return p ? double(malloc_usable_size(const_cast<void*>(p)) + sizeof(size_t)) : 0;
}

Composition Compose(const CTavrinoDoc& doc) {
    Composition c;
    // Before the counting below allocates its own set.
    c.heap = double(mallinfo2().uordblks);
    std::set<const void*> seen;
    const auto text = [&](const QString& s) {
        ++c.strings;
        const void* d = const_cast<QString&>(s).data_ptr().d_ptr();
        if (d && seen.insert(d).second) {
            c.texts += Allocation(d);
            ++c.textCount;
        }
    };
    c.list = double(doc.m_days.List().capacity() * sizeof(void*) + doc.m_days.IndexBytes());
    for (const auto& day : doc.m_days) {
        c.days += Allocation(day.get());
        text(day->m_heading);
        text(day->m_headingDetail);
        for (int r = 0; r < CYoteiDay::kRows; ++r) {
            text(day->m_times[r]);
            text(day->m_plans[r]);
            text(day->m_details[r]);
        }
        text(day->m_dayMemo);
    }
    return c;
}

// Runs this program again as a process that only loads the book (or, without a path, only
// starts) and returns what it reports; peak is -1 when it failed.
Composition CompositionOfChild(const QString& path) {
    Composition c;
    int fds[2];
    if (pipe(fds) != 0)
        return c;
    const std::string file = path.toStdString();
    const pid_t pid = fork();
    if (pid < 0)
        return c;
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
    char text[256] = {};
    std::size_t got = 0;
    for (ssize_t n;
         got < sizeof text - 1 && (n = read(fds[0], text + got, sizeof text - 1 - got)) > 0;)
        got += std::size_t(n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return c;
    Composition r;
    if (std::sscanf(text, "%lf %lf %lf %lf %lf %lf %lf", &r.peak, &r.heap, &r.days, &r.list,
                    &r.texts, &r.textCount, &r.strings) != 7)
        return c;
    return r;
}

// Peak memory of a fresh process that loads the book, as a multiple of the file's size; the
// growth over a process that starts the same way without loading is given as well, with what
// the loaded book is made of.
void BM_PeakMemoryOfRead(benchmark::State& state) {
    const Book& book = TheBook();
    Composition loaded, idle;
    for (auto _ : state) {
        loaded = CompositionOfChild(book.path);
        idle = CompositionOfChild(QString());
    }
    if (loaded.peak < 0 || idle.peak < 0) {
        state.SkipWithError("the loading process failed");
        return;
    }
    const double mib = 1024.0 * 1024.0;
    state.counters["file_bytes"] = double(book.size);
    state.counters["peak_rss_bytes"] = loaded.peak;
    state.counters["idle_peak_rss_bytes"] = idle.peak;
    state.counters["peak_rss_over_file"] = loaded.peak / double(book.size);
    state.counters["rss_growth_over_file"] = (loaded.peak - idle.peak) / double(book.size);
    state.counters["days_MiB"] = loaded.days / mib;
    state.counters["list_MiB"] = loaded.list / mib;
    state.counters["texts_MiB"] = loaded.texts / mib;
    state.counters["texts_allocated"] = loaded.textCount;
    state.counters["strings"] = loaded.strings;
    state.counters["heap_held_MiB"] = (loaded.heap - idle.heap) / mib;
    // What the peak holds beyond the process without the book and the book's own heap: the
    // reading's buffers and the allocator's unreturned pages.
    state.counters["transient_MiB"] = (loaded.peak - idle.peak - (loaded.heap - idle.heap)) / mib;
}
BENCHMARK(BM_PeakMemoryOfRead)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The child side: load (when given a path), then print the peak resident size and what the
// book is made of, in the order CompositionOfChild reads. The peak is the new image's own
// high-water mark: ru_maxrss would keep the forking parent's.
int LoadOnly(int argc, char** argv) {
    CTavrinoDoc doc;
    if (argc > 2 && std::strlen(argv[2]) > 0)
        LoadOrDie(doc, QString::fromLocal8Bit(argv[2]));
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            const double peak = line.mid(6).trimmed().split(' ').front().toDouble() * 1024;
            const Composition c = Compose(doc);
            std::printf("%.0f %.0f %.0f %.0f %.0f %.0f %.0f\n", peak, c.heap, c.days, c.list,
                        c.texts, c.textCount, c.strings);
            return 0;
        }
    }
    return 1;
}

// Writes the generated book to a file, for the measurements that run whole programs.
int WriteBook(const char* path) {
    CTavrinoDoc doc;
    FillBook(doc);
    return doc.OnSaveDocument(QString::fromLocal8Bit(path)) ? 0 : 1;
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
            {"BM_ModelFloor", "days made, no file"},
            {"BM_Write", "writing (save)"},
            {"BM_Commit", "commit (middle day)"},
            {"BM_MemoKeystroke", "memo keystroke"},
            {"BM_MemoKeystrokeOneDay", "keystroke, one day"},
            {"BM_MemoKeystrokeJournaled", "keystroke + journal"},
            {"BM_JournalRecord", "journal part alone"},
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
        const auto record = seconds.find("BM_JournalRecord");
        if (bare != seconds.end() && journaled != seconds.end() && bare->second > 0) {
            std::snprintf(
                line, sizeof line,
                "Memo keystroke with the recovery journal: %.3f x the keystroke without\n",
                journaled->second / bare->second);
            out << line;
        }
        if (bare != seconds.end() && record != seconds.end() && bare->second > 0) {
            std::snprintf(line, sizeof line,
                          "  the same from the journal's own part: %.3f x (%.1f us of %.1f us)\n",
                          (bare->second + record->second) / bare->second, record->second * 1e6,
                          bare->second * 1e6);
            out << line;
        }
        const auto oneDay = seconds.find("BM_MemoKeystrokeOneDay");
        if (bare != seconds.end() && oneDay != seconds.end() && oneDay->second > 0) {
            std::snprintf(line, sizeof line,
                          "Memo keystroke on the century as a multiple of the same keystroke on a "
                          "book of that one day: %.2f x\n",
                          bare->second / oneDay->second);
            out << line;
        }
        const auto small = seconds.find("BM_ImportDaily/3000");
        const auto large = seconds.find("BM_ImportDaily/30000");
        if (small != seconds.end() && large != seconds.end() && small->second > 0) {
            std::snprintf(line, sizeof line,
                          "Importing 30000 days as a multiple of importing 3000: %.2f x (%.1f / "
                          "%.1f ms)\n",
                          large->second / small->second, large->second * 1e3, small->second * 1e3);
            out << line;
        }
        const auto read = seconds.find("BM_Read");
        const auto model = seconds.find("BM_ModelFloor");
        if (read != seconds.end() && model != seconds.end() && model->second > 0) {
            std::snprintf(line, sizeof line,
                          "Reading as a multiple of making the same days without a file: %.2f x\n",
                          read->second / model->second);
            out << line;
        }
        const auto save = seconds.find("BM_Write");
        const auto floor = seconds.find("BM_WriteFloor");
        if (save != seconds.end() && floor != seconds.end() && floor->second > 0) {
            std::snprintf(line, sizeof line,
                          "Saving as a multiple of one safe write of the same bytes: %.2f x\n",
                          save->second / floor->second);
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
        const auto value = [this](const char* key) {
            const auto it = counters.find(std::string("BM_PeakMemoryOfRead.") + key);
            return it == counters.end() ? 0.0 : it->second;
        };
        if (peak != counters.end()) {
            std::snprintf(
                line, sizeof line,
                "Made of (MiB): day objects %.1f, day list and index %.1f, texts %.1f (%.0f of "
                "%.0f strings own one), other heap %.1f, buffers and free pages %.1f, "
                "the process without the book %.1f\n",
                value("days_MiB"), value("list_MiB"), value("texts_MiB"), value("texts_allocated"),
                value("strings"),
                value("heap_held_MiB") - value("days_MiB") - value("list_MiB") - value("texts_MiB"),
                value("transient_MiB"), value("idle_peak_rss_bytes") / 1048576.0);
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
    if (argc > 2 && std::strcmp(argv[1], kWriteBook) == 0)
        return WriteBook(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
