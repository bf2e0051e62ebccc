// Recording what a first sync of a busy year agreed on (2,000 items, each with its stored text
// and its entry) in the sync state, in the one transaction a sync's record is, against reading
// the same state back: the record runs between two of the user's keys.

#include "sync/SyncState.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kItems = 2000;

std::vector<StateItem> AYear() {
    std::vector<StateItem> items;
    const QDate first(2026, 1, 1);
    for (int i = 0; i < kItems; ++i) {
        StateItem item;
        item.href = QStringLiteral("/alice/book/item-%1.ics").arg(i);
        item.uid = QStringLiteral("item-%1@tavrino").arg(i);
        item.etag = QByteArray("\"etag-") + QByteArray::number(i) + '"';
        item.base = QByteArray(600, 'x');
        DayEvents::Entry entry;
        entry.date = first.addDays(i / 6);
        entry.row = i % 6;
        entry.fields = {QStringLiteral("10"), QStringLiteral("会議 %1").arg(i), QString()};
        item.entries.push_back(entry);
        items.push_back(std::move(item));
    }
    return items;
}

void BM_RecordAYear(benchmark::State& state) {
    const std::vector<StateItem> items = AYear();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        SyncState sync;
        QString problem;
        if (!sync.Open(dir.filePath(QStringLiteral("state.sqlite")), false, problem))
            state.SkipWithError(problem.toUtf8().constData());
        state.ResumeTiming();
        bool fine = sync.Begin();
        for (const StateItem& item : items)
            fine = fine && sync.Put(item);
        fine = fine && sync.Commit();
        if (!fine)
            state.SkipWithError("the record failed");
    }
}
BENCHMARK(BM_RecordAYear)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ReadAYear(benchmark::State& state) {
    const std::vector<StateItem> items = AYear();
    QTemporaryDir dir;
    SyncState sync;
    QString problem;
    sync.Open(dir.filePath(QStringLiteral("state.sqlite")), false, problem);
    sync.Begin();
    for (const StateItem& item : items)
        sync.Put(item);
    sync.Commit();
    for (auto _ : state)
        benchmark::DoNotOptimize(sync.Items());
}
BENCHMARK(BM_ReadAYear)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
