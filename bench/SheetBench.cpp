// What showing a month costs on a century-long book against a book of one day: reading the
// month's days out of the book and drawing the sheet onto an image of the planner's window.
// A third book holds only the days the month's grid shows, so that drawing the same busy month
// is also compared without the century around it.

#include "document/TavrinoDoc.h"
#include "sheets/MonthSheet.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

constexpr int kDays = 36525;
const QDate kMonth(2050, 6, 1);

// Busy days from 1 January 2000, as BookBench.cpp makes its century: a heading now and then,
// timed rows with plans and some details, and a memo.
void FillCentury(DayList& days) {
    const QStringList plans = {
        QStringLiteral("会議"),         QStringLiteral("打ち合わせ（第2会議室）"),
        QStringLiteral("歯医者 15:30"), QStringLiteral("朝礼"),
        QStringLiteral("資料作成"),     QStringLiteral("昼食"),
        QStringLiteral("電話：田中様"), QStringLiteral("移動"),
        QStringLiteral("来客対応"),     QStringLiteral("週報の提出")};
    const QStringList headings = {QStringLiteral("誕生日"), QStringLiteral("出張（大阪）"),
                                  QStringLiteral("締め切り日")};
    std::mt19937 rng(20000101);
    const double first = COleDateTime(2000, 1, 1, 0, 0, 0).m_dt;
    for (int i = 0; i < kDays; ++i) {
        auto day = std::make_unique<CYoteiDay>();
        day->m_dayDate = COleDateTime(first + i);
        if (rng() % 50 != 0) {
            if (rng() % 7 == 0)
                day->SetHeading(headings[int(rng() % headings.size())]);
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
}

DayList Copies(const DayList& days, const QDate& from, const QDate& to) {
    const double first = COleDateTime(from.year(), from.month(), from.day(), 0, 0, 0).m_dt;
    const double last = COleDateTime(to.year(), to.month(), to.day(), 0, 0, 0).m_dt;
    DayList copies;
    for (const auto& day : days) {
        if (day->m_dayDate.m_dt >= first && day->m_dayDate.m_dt <= last)
            copies.push_back(std::make_unique<CYoteiDay>(*day));
    }
    return copies;
}

// The books as the planner holds them: in the book model, with its date index.
struct Books {
    CBookModel century;
    CBookModel month; // the century's days on the month's grid
    CBookModel oneDay;
    Books() {
        DayList all;
        FillCentury(all);
        const MonthSheet grid(kMonth);
        month = Copies(all, grid.FirstDay(), grid.LastDay());
        oneDay = Copies(all, kMonth.addDays(14), kMonth.addDays(14));
        century = std::move(all);
    }
    const CBookModel& Get(int which) const {
        return which == 0 ? oneDay : which == 1 ? century : month;
    }
};

Books& TheBooks() {
    static Books books;
    return books;
}

const char* const kLabels[] = {"one day", "century", "month only"};

void BM_MonthSheet(benchmark::State& state) {
    const CBookModel& book = TheBooks().Get(int(state.range(0)));
    QImage image(480, 536, QImage::Format_ARGB32_Premultiplied);
    const QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    for (auto _ : state) {
        MonthSheet sheet(kMonth.addDays(14));
        sheet.Fill(book);
        sheet.SetToday(kMonth.addDays(3));
        sheet.SetSelected(kMonth.addDays(14));
        QPainter painter(&image);
        sheet.Draw(painter, QRectF(8, 4, 464, 524), font);
    }
    state.SetLabel(kLabels[state.range(0)]);
    state.counters["days"] = double(book.size());
}
BENCHMARK(BM_MonthSheet)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// A month that neither book reaches (the century ends with 2099): the same empty sheet drawn,
// so what differs is the pass over the book alone.
void BM_EmptyMonth(benchmark::State& state) {
    const CBookModel& book = TheBooks().Get(int(state.range(0)));
    QImage image(480, 536, QImage::Format_ARGB32_Premultiplied);
    const QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    const QDate month(2100, 3, 15);
    for (auto _ : state) {
        MonthSheet sheet(month);
        sheet.Fill(book);
        sheet.SetSelected(month);
        QPainter painter(&image);
        sheet.Draw(painter, QRectF(8, 4, 464, 524), font);
    }
    state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_EmptyMonth)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

// Reading the month's days alone: the part that could grow with the book.
void BM_MonthFill(benchmark::State& state) {
    const CBookModel& book = TheBooks().Get(int(state.range(0)));
    MonthSheet sheet(kMonth);
    for (auto _ : state) {
        sheet.Fill(book);
        benchmark::DoNotOptimize(sheet.DayOf(kMonth));
    }
    state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_MonthFill)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Prints the runs, then the century's cost as a multiple of the other books'.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void PrintRatios() const {
        for (const char* name : {"BM_MonthSheet", "BM_EmptyMonth", "BM_MonthFill"}) {
            const std::string base(name);
            const auto at = [&](int which) {
                const auto it = m_times.find(base + "/" + std::to_string(which));
                return it == m_times.end() ? 0.0 : it->second;
            };
            if (at(0) > 0 && at(2) > 0)
                std::printf("%s: century / one day %.2f, century / month only %.2f\n", name,
                            at(1) / at(0), at(1) / at(2));
            else if (at(0) > 0 && at(1) > 0)
                std::printf("%s: century / one day %.2f\n", name, at(1) / at(0));
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
