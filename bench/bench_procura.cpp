// The B/L list window over a big register against the same over a small one: opening the
// window on the first record and going to the last with Ctrl+End, painted each time. The grid
// holds and reads only the page it shows, so both should take about as long. A register of 40 B/Ls
// fills the grid's page, where 10 leave most of it empty: it tells the cost of a full page
// apart from the cost of the register's size.
//
// BL_BENCH_RECORDS (default 100000) sets the size of the big register.

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

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

QTemporaryDir *g_dir = nullptr;

QString registerName(int count)
{
    return QStringLiteral("REG%1.DB").arg(count);
}

void buildRegister(int count)
{
    const QVector<QVector<px::Value>> pool = benchdata::pool();
    const QString path = g_dir->filePath(registerName(count));
    px::Table::create(path, blrecord::registerFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    t.setSyncWrites(false);
    for (int i = 0; i < count; ++i) {
        QVector<px::Value> row = pool[i % benchdata::kPoolSize];
        row[benchdata::kAgentRefField] = benchdata::agentRef(i, count);
        t.append(row);
    }
}

void BM_ListOpenScrollToEnd(benchmark::State &state)
{
    const int count = int(state.range(0));
    // The register as the entry window leaves it: open, on its last record.
    TDM_BL dm;
    dm.Tbl_BLCliente->setDirectory(g_dir->path());
    dm.Tbl_BLCliente->setTableName(registerName(count));
    dm.Tbl_BLCliente->open();
    dm.Tbl_BLCliente->last();
    int rowsRead = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dm.Tbl_BLCliente->first();
        state.ResumeTiming();

        auto *list = new TF_Procura;
        list->show();
        // The window paints once it is on the (offscreen) screen: its exposure is its first paint.
        while (!list->windowHandle() || !list->windowHandle()->isExposed())
            QCoreApplication::processEvents();
        QTest::keyClick(list->DBGrid1, Qt::Key_End, Qt::ControlModifier);
        list->DBGrid1->viewport()->repaint();
        if (dm.Tbl_BLCliente->recNo() != qint64(count) - 1) {
            state.SkipWithError("Ctrl+End did not reach the last record");
            delete list;
            break;
        }
        rowsRead = list->DBGrid1->gridModel()->rowsRead();
        list->close();
        delete list;
    }
    state.counters["rows_read"] = rowsRead;
    state.counters["records"] = count;
}

// Prints the console figures and keeps the best time per iteration of each size for the
// verdict: the sizes run interleaved and repeated, so load from elsewhere on the machine
// falls on all of them alike and the best run of each is compared.
class Reporter : public benchmark::ConsoleReporter
{
public:
    std::map<long long, double> seconds;  // by register size

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            const auto it = r.counters.find("records");
            if (it == r.counters.end())
                continue;
            const long long size = static_cast<long long>(double(it->second));
            const double t = r.real_accumulated_time / double(r.iterations ? r.iterations : 1);
            if (!seconds.count(size) || t < seconds[size])
                seconds[size] = t;
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    g_dir = &dir;
    const int small = 10;
    const int page = 40;
    const int big = envInt("BL_BENCH_RECORDS", 100000);
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

    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.seconds.count(small) && reporter.seconds.count(big)) {
        const double ratio = reporter.seconds[big] / reporter.seconds[small];
        std::printf("\nlist window, open and Ctrl+End: %d records against %d  %6.2fx (target <= 1.20x)  %s\n",
                    big, small, ratio, ratio <= 1.2 ? "met" : "MISSED");
    }
    if (reporter.seconds.count(page) && reporter.seconds.count(big))
        std::printf("list window, open and Ctrl+End: %d records against %d (a full page)  %6.2fx\n", big, page,
                    reporter.seconds[big] / reporter.seconds[page]);
    benchmark::Shutdown();
    g_dir = nullptr;
    return 0;
}
