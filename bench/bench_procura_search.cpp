// The list window's booking-number search over a big register against the engine's plain
// locate of the same value: both read every record's booking number once when only the last
// record matches. The search folds case and accents on the way; target: within 50 ms over
// 100,000 B/Ls.
//
// BL_BENCH_RECORDS (default 100000) sets the size of the register.

#include "BLRecord.h"
#include "BenchData.h"
#include "BookingSearch.h"
#include "PxTable.h"
#include "RatioReporter.h"
#include "U_DM_BL.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

QTemporaryDir *g_dir = nullptr;
int g_count = 0;
std::unique_ptr<TDM_BL> g_dm;

void buildRegister(int count)
{
    benchdata::writeRegister(g_dir->filePath(QStringLiteral("BlCorvane.DB")), count);
}

// Typed as a clerk might: lower case, found in the last record only.
void BM_SearchLastBooking(benchmark::State &state)
{
    Table *t = g_dm->Tbl_BLCliente;
    const QString typed = benchdata::agentRef(g_count - 1, g_count).toLower();
    procura::BookingSearch search(t);
    qint64 now = 0;
    for (auto _ : state) {
        t->first();
        search.clear();
        search.type(typed, now += 10000);
        if (search.failed() || t->recNo() != g_count - 1) {
            state.SkipWithError("the search did not reach the last record");
            break;
        }
    }
}

void BM_LocateLastBooking(benchmark::State &state)
{
    Table *t = g_dm->Tbl_BLCliente;
    const QString value = benchdata::agentRef(g_count - 1, g_count);
    for (auto _ : state) {
        t->first();
        if (!t->locate(u"Bl_AgentRef", value) || t->recNo() != g_count - 1) {
            state.SkipWithError("locate did not reach the last record");
            break;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    g_dir = &dir;
    bool ok = false;
    g_count = qEnvironmentVariableIntValue("BL_BENCH_RECORDS", &ok);
    if (!ok || g_count < 2)
        g_count = 100000;
    try {
        buildRegister(g_count);
        g_dm = std::make_unique<TDM_BL>();
        g_dm->Tbl_BLCliente->setDirectory(dir.path());
        g_dm->Tbl_BLCliente->open();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cannot build the register: %s\n", e.what());
        return 1;
    }
    benchmark::RegisterBenchmark("BM_SearchLastBooking", BM_SearchLastBooking)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LocateLastBooking", BM_LocateLastBooking)->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double search = reporter.seconds["BM_SearchLastBooking"] * 1e3;
    const double locate = reporter.seconds["BM_LocateLastBooking"] * 1e3;
    if (search > 0 && locate > 0)
        std::printf("\nsearch %.1f ms, locate %.1f ms (%.2fx) over %d B/Ls; target: search within 50 ms: %s\n",
                    search, locate, search / locate, g_count, search <= 50.0 ? "met" : "NOT MET");
    g_dm.reset();
    benchmark::Shutdown();
    return 0;
}
