// The B/L list window over a big register against the same over a small one: opening the
// window on the first record and going to the last with Ctrl+End, painted each time. The grid
// holds and reads only the page it shows, so both should take about as long. A register of 40 B/Ls
// fills the grid's page, where 10 leave most of it empty: it tells the cost of a full page
// apart from the cost of the register's size.
//
// Google Benchmark prints the figures of each size; the verdict comes from rounds that run
// every size once in turn (see pairedMedians).
//
// BL_BENCH_RECORDS (default 100000) sets the size of the big register, BL_BENCH_ROUNDS
// (default 200) the number of rounds.

#include "QtBench.h"
#include "BLRecord.h"
#include "BenchData.h"
#include "DBGrid.h"
#include "PxTable.h"
#include "U_DM_BL.h"
#include "U_Procura.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <QElapsedTimer>

#include <cstdio>
#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

QTemporaryDir *g_dir = nullptr;

QString registerName(int count)
{
    return QStringLiteral("REG%1.DB").arg(count);
}

void buildRegister(int count)
{
    benchdata::writeRegister(g_dir->filePath(registerName(count)), count);
}

// The register as the entry window leaves it: open, on its last record.
std::unique_ptr<TDM_BL> openRegister(int count)
{
    auto dm = std::make_unique<TDM_BL>();
    dm->Tbl_BLCliente->setDirectory(g_dir->path());
    dm->Tbl_BLCliente->setTableName(registerName(count));
    dm->Tbl_BLCliente->open();
    dm->Tbl_BLCliente->last();
    return dm;
}

// What is measured: the list window opened on the first record, painted, Ctrl+End, painted.
// Returns the rows the grid read, or -1 when Ctrl+End did not reach the last record.
int openAndGoToEnd(TDM_BL &dm, int count)
{
    auto *list = new TF_Procura;
    list->show();
    // The window paints once it is on the (offscreen) screen: its exposure is its first paint.
    while (!list->windowHandle() || !list->windowHandle()->isExposed())
        QCoreApplication::processEvents();
    QTest::keyClick(list->DBGrid1, Qt::Key_End, Qt::ControlModifier);
    list->DBGrid1->viewport()->repaint();
    const bool atEnd = dm.Tbl_BLCliente->recNo() == qint64(count) - 1;
    const int rowsRead = atEnd ? list->DBGrid1->gridModel()->rowsRead() : -1;
    list->close();
    delete list;
    return rowsRead;
}

void BM_ListOpenScrollToEnd(benchmark::State &state)
{
    const int count = int(state.range(0));
    const std::unique_ptr<TDM_BL> dm = openRegister(count);
    DM_BL = dm.get();
    int rowsRead = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dm->Tbl_BLCliente->first();
        state.ResumeTiming();
        rowsRead = openAndGoToEnd(*dm, count);
        if (rowsRead < 0) {
            state.SkipWithError("Ctrl+End did not reach the last record");
            break;
        }
    }
    state.counters["rows_read"] = rowsRead;
    state.counters["records"] = count;
}

// The verdict's figures: rounds in which every size runs once, in a shuffled order, so that
// load from elsewhere on the machine (it comes in bursts of seconds here) falls on all sizes
// alike; the medians of the single runs are compared. Milliseconds by size; empty when a run
// did not reach the last record.
std::map<int, double> pairedMedians(const std::vector<int> &sizes, int rounds)
{
    std::vector<std::unique_ptr<TDM_BL>> dms;
    for (int count : sizes)
        dms.push_back(openRegister(count));
    std::vector<std::vector<double>> times(sizes.size());
    std::vector<size_t> order(sizes.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::mt19937 random(20261208);
    QElapsedTimer timer;
    std::map<int, double> medians;
    for (int round = 0; round < rounds; ++round) {
        std::shuffle(order.begin(), order.end(), random);
        for (size_t i : order) {
            DM_BL = dms[i].get();
            dms[i]->Tbl_BLCliente->first();
            timer.start();
            if (openAndGoToEnd(*dms[i], sizes[i]) < 0)
                return medians;
            times[i].push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::vector<double> &t = times[i];
        std::nth_element(t.begin(), t.begin() + qsizetype(t.size() / 2), t.end());
        medians[sizes[i]] = t[t.size() / 2];
    }
    return medians;
}

} // namespace

int main(int argc, char **argv)
{
    benchdata::offscreenUnlessSet();
    // Interleaved repetitions unless the caller asks otherwise.
    std::vector<char *> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char repetitions[] = "--benchmark_repetitions=5";
    bool ownRepetitions = false;
    for (int i = 1; i < argc; ++i)
        ownRepetitions = ownRepetitions || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    args.push_back(interleave);
    if (!ownRepetitions)
        args.push_back(repetitions);
    args.push_back(nullptr);
    argc = int(args.size()) - 1;
    argv = args.data();
    QApplication app(argc, argv);
    if (!benchdata::startWindowedBenchmark(argc, argv))
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    g_dir = &dir;
    const int small = 10;
    const int page = 40;
    const int big = benchdata::envInt("BL_BENCH_RECORDS", 100000);
    try {
        buildRegister(small);
        buildRegister(page);
        buildRegister(big);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cannot build a register: %s\n", e.what());
        return 1;
    }

    benchmark::RegisterBenchmark("BM_ListOpenScrollToEnd", BM_ListOpenScrollToEnd)
        ->Arg(small)
        ->Arg(page)
        ->Arg(big)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

    benchmark::RunSpecifiedBenchmarks();

    const int rounds = benchdata::envInt("BL_BENCH_ROUNDS", 200);
    const std::map<int, double> m = pairedMedians({small, page, big}, rounds);
    if (m.empty()) {
        std::fprintf(stderr, "Ctrl+End did not reach the last record\n");
        return 1;
    }
    std::printf("\nlist window, open and Ctrl+End, %d rounds of every size in turn, medians: "
                "%d records %.2f ms, %d records %.2f ms, %d records %.2f ms\n",
                rounds, small, m.at(small), page, m.at(page), big, m.at(big));
    const double ratio = m.at(big) / m.at(small);
    std::printf("list window, open and Ctrl+End: %d records against %d  %6.2fx (target <= 1.20x)  %s\n", big,
                small, ratio, ratio <= 1.2 ? "met" : "MISSED");
    std::printf("list window, open and Ctrl+End: %d records against %d (a full page)  %6.2fx\n", big, page,
                m.at(big) / m.at(page));
    benchmark::Shutdown();
    g_dir = nullptr;
    return 0;
}
