// What printing costs on a century-long book against a book of only the days printed: a week on
// two facing pages and a day page, read out of the book through its date index and drawn into a
// PDF as the print dialog and the book tool draw them.

#include "document/BookModel.h"
#include "sheets/Paper.h"
#include "sheets/SheetPrint.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

constexpr int kDays = 36525;
const QDate kDay(2050, 6, 15);

// Busy days from 1 January 2000, as the other benchmarks make their century.
DayList Century() {
    const QStringList plans = {
        QStringLiteral("会議"),         QStringLiteral("打ち合わせ（第2会議室）"),
        QStringLiteral("歯医者 15:30"), QStringLiteral("朝礼"),
        QStringLiteral("資料作成"),     QStringLiteral("昼食"),
        QStringLiteral("電話：田中様"), QStringLiteral("移動"),
        QStringLiteral("来客対応"),     QStringLiteral("週報の提出")};
    std::mt19937 rng(20000101);
    const double first = COleDateTime(2000, 1, 1, 0, 0, 0).m_dt;
    DayList days;
    for (int i = 0; i < kDays; ++i) {
        auto day = std::make_unique<CYoteiDay>();
        day->m_dayDate = COleDateTime(first + i);
        if (rng() % 50 != 0) {
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                day->SetTime(r, QStringLiteral("%1").arg(8 + r, 2, 10, QLatin1Char('0')));
                if (rng() % 4 != 0)
                    day->SetPlan(r, plans[int(rng() % plans.size())]);
                if (rng() % 5 == 0)
                    day->SetDetail(r, QStringLiteral("本社3階"));
            }
            day->SetMemo(QStringLiteral("牛乳、卵、パンを買う"));
        }
        days.push_back(std::move(day));
    }
    return days;
}

struct Books {
    CBookModel century;
    CBookModel week; // the century's days of kDay's week, the same busy days printed
    Books() {
        DayList days = Century();
        DayList copies;
        const QDate monday = kDay.addDays(1 - kDay.dayOfWeek());
        const double first =
            COleDateTime(monday.year(), monday.month(), monday.day(), 0, 0, 0).m_dt;
        for (const auto& day : days) {
            if (day->m_dayDate.m_dt >= first && day->m_dayDate.m_dt < first + 7)
                copies.push_back(std::make_unique<CYoteiDay>(*day));
        }
        century = std::move(days);
        week = std::move(copies);
    }
};

Books& TheBooks() {
    static Books books;
    return books;
}

void Print(benchmark::State& state, SheetPrint::Layout layout, bool facing) {
    const CBookModel& book = state.range(0) == 0 ? TheBooks().week : TheBooks().century;
    SheetPrint::Request request;
    request.layout = layout;
    request.from = kDay;
    request.to = kDay;
    request.facing = facing;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(Paper::PageLayout(*Paper::Find(QStringLiteral("a5"))));
        int pages = 0;
        SheetPrint::Print(writer, book, request, &pages);
        benchmark::DoNotOptimize(pages);
    }
    state.SetLabel(state.range(0) == 0 ? "week only" : "century");
    state.counters["days"] = double(book.size());
}

void BM_PrintWeek(benchmark::State& state) {
    Print(state, SheetPrint::Layout::Week, true);
}
BENCHMARK(BM_PrintWeek)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void BM_PrintDay(benchmark::State& state) {
    Print(state, SheetPrint::Layout::Day, false);
}
BENCHMARK(BM_PrintDay)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Prints the runs, then the century's cost as a multiple of the week's alone.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void PrintRatios() const {
        for (const char* name : {"BM_PrintWeek", "BM_PrintDay"}) {
            const auto one = m_times.find(std::string(name) + "/0");
            const auto century = m_times.find(std::string(name) + "/1");
            if (one != m_times.end() && century != m_times.end() && one->second > 0)
                std::printf("%s: century / week only %.2f\n", name, century->second / one->second);
        }
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
