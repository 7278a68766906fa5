// The transfer window's two costs that the clerk feels:
//  - "Transfere para Arquivo" into a transfer file that already holds 500 B/Ls, flushed to
//    the medium as the window does, against one flushed append of the same record through
//    the engine alone (target: within 1.3x);
//  - opening the transfer window over a register of 100,000 B/Ls against the same over 10
//    (target: within 1.2x). The grids read only the page they show.
//
// Google Benchmark prints its figures for each first; the ratios come from rounds that run both sides once in turn and compare medians, so the
// machine's bursts of load fall on both alike. BL_BENCH_RECORDS (default 100000) sets the big
// register, BL_BENCH_ROUNDS (default 100) the rounds, BL_BENCH_ITERATIONS (default 50) the
// iterations of each Google Benchmark run.

#include "QtBench.h"
#include "BLRecord.h"
#include "BenchData.h"
#include "PxTable.h"
#include "U_DM_BL.h"
#include "U_Disquete.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

QTemporaryDir *g_dir = nullptr;
constexpr int kHeld = 500;      // B/Ls already in the transfer file
constexpr int kLocal = 4000;    // distinct B/Ls to transfer, one per measured click

QString registerName(int count)
{
    return QStringLiteral("REG%1.DB").arg(count);
}

void buildRegister(int count)
{
    benchdata::writeRegister(g_dir->filePath(registerName(count)), count);
}

// The register's record i as the transfer table holds it: fields paired by base name.
QVector<px::Value> asTransferRow(const QVector<px::Value> &local)
{
    const QVector<px::FieldDef> from = blrecord::registerFields();
    const QVector<px::FieldDef> to = blrecord::transferFields();
    QVector<px::Value> row(to.size());
    for (int i = 0; i < to.size(); ++i)
        for (int j = 0; j < from.size(); ++j)
            if (blrecord::baseName(from[j].name).compare(blrecord::baseName(to[i].name), Qt::CaseInsensitive) == 0)
                row[i] = local[j];
    return row;
}

// A transfer file holding kHeld B/Ls whose booking numbers the register does not use.
QString buildTransfer(const QString &name)
{
    const QString path = g_dir->filePath(name);
    px::Table::create(path, blrecord::transferFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    t.setSyncWrites(false);
    const QVector<QVector<px::Value>> pool = benchdata::pool();
    for (int i = 0; i < kHeld; ++i) {
        QVector<px::Value> row = asTransferRow(pool[i % benchdata::kPoolSize]);
        for (int f = 0; f < row.size(); ++f)
            if (blrecord::transferFields()[f].name == QLatin1String("Di_Agentref"))
                row[f] = QStringLiteral("HELD-%1").arg(i);
        t.append(row);
    }
    return path;
}

std::unique_ptr<TDM_BL> openRegister(int count)
{
    auto dm = std::make_unique<TDM_BL>();
    dm->Tbl_BLCliente->setDirectory(g_dir->path());
    dm->Tbl_BLCliente->setTableName(registerName(count));
    dm->Tbl_BLCliente->open();
    dm->Tbl_BLCliente->last();
    return dm;
}

void openTransfer(TDM_BL &dm, const QString &name)
{
    Table *t = dm.Tbl_BLDisquete;
    t->close();
    t->setDirectory(g_dir->path());
    t->setTableName(name);
    t->setTableType(Table::TableType::Paradox);
    t->setExclusive(true);
    t->open();
}

// The window shown and painted, then closed (which closes the transfer table).
void openWindowAndClose(TDM_BL &dm, const QString &transferName)
{
    openTransfer(dm, transferName);
    auto *w = new TF_Disquete;
    w->setFileName(g_dir->filePath(transferName));
    w->show();
    while (!w->windowHandle() || !w->windowHandle()->isExposed())
        QCoreApplication::processEvents();
    w->repaint();
    w->close();
    delete w;
}

// The window over the kLocal register and the CLICK transfer file, kept for the click
// benchmarks; each click transfers the next B/L, never one already there.
struct ClickSetup
{
    std::unique_ptr<TDM_BL> dm;
    TF_Disquete *window = nullptr;
    std::unique_ptr<px::Table> plain;   // the ENGINE transfer file, appended to directly
    std::unique_ptr<px::Table> source;  // the register, to read the same records
    int next = 0;
};
ClickSetup *g_click = nullptr;

// One click for the next B/L; false when it did not add a record.
bool clickNext(double *micros = nullptr)
{
    ClickSetup &c = *g_click;
    // Past the register's end a click would meet a booking number already there.
    if (c.next >= kLocal)
        return false;
    c.dm->Tbl_BLCliente->moveTo(quint32(c.next++));
    const quint32 before = c.dm->Tbl_BLDisquete->recordCount();
    QElapsedTimer timer;
    timer.start();
    c.window->SB_Transf->click();
    if (micros)
        *micros = double(timer.nsecsElapsed()) / 1e3;
    return c.dm->Tbl_BLDisquete->recordCount() == before + 1;
}

QVector<px::Value> engineRow()
{
    ClickSetup &c = *g_click;
    return asTransferRow(c.source->readValues(*c.source->at(quint32(c.next % kLocal))));
}

void BM_TransferClick(benchmark::State &state)
{
    for (auto _ : state)
        if (!clickNext()) {
            state.SkipWithError("the transfer did not add the record");
            break;
        }
    state.counters["held"] = kHeld;
}

void BM_EngineAppendFlushed(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const QVector<px::Value> row = engineRow();
        state.ResumeTiming();
        g_click->plain->append(row);
    }
    state.counters["held"] = kHeld;
}

std::map<int, TDM_BL *> g_registers;

void BM_OpenTransferWindow(benchmark::State &state)
{
    TDM_BL *dm = g_registers.at(int(state.range(0)));
    DM_BL = dm;
    for (auto _ : state)
        openWindowAndClose(*dm, QStringLiteral("WINDOW.DB"));
    state.counters["records"] = double(state.range(0));
}

} // namespace

int main(int argc, char **argv)
{
    benchdata::offscreenUnlessSet();
    QApplication app(argc, argv);
    if (!benchdata::startWindowedBenchmark(argc, argv))
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    g_dir = &dir;
    const int small = 10;
    const int big = benchdata::envInt("BL_BENCH_RECORDS", 100000);
    const int rounds = std::min(benchdata::envInt("BL_BENCH_ROUNDS", 100), kLocal);
    try {
        buildRegister(small);
        buildRegister(big);
        buildRegister(kLocal);
        buildTransfer(QStringLiteral("WINDOW.DB"));
        buildTransfer(QStringLiteral("CLICK.DB"));
        buildTransfer(QStringLiteral("ENGINE.DB"));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cannot build the tables: %s\n", e.what());
        return 1;
    }

    // Google Benchmark's figures first, then the verdicts from paired rounds.
    ClickSetup click;
    click.dm = openRegister(kLocal);
    DM_BL = click.dm.get();
    openTransfer(*click.dm, QStringLiteral("CLICK.DB"));
    click.window = new TF_Disquete;
    click.window->setFileName(g_dir->filePath(QStringLiteral("CLICK")));
    click.window->show();
    click.plain = std::make_unique<px::Table>(g_dir->filePath(QStringLiteral("ENGINE.DB")), px::Table::Mode::Exclusive);
    click.source = std::make_unique<px::Table>(g_dir->filePath(registerName(kLocal)), px::Table::Mode::ReadOnly);
    g_click = &click;
    std::unique_ptr<TDM_BL> dmSmall = openRegister(small);
    std::unique_ptr<TDM_BL> dmBig = openRegister(big);
    g_registers = {{small, dmSmall.get()}, {big, dmBig.get()}};

    const int iterations = std::min(benchdata::envInt("BL_BENCH_ITERATIONS", 50), kLocal / 4);
    benchmark::RegisterBenchmark("BM_TransferClick", BM_TransferClick)
        ->Iterations(iterations)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_EngineAppendFlushed", BM_EngineAppendFlushed)
        ->Iterations(iterations)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_OpenTransferWindow", BM_OpenTransferWindow)
        ->Arg(small)
        ->Arg(big)
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    DM_BL = click.dm.get();
    benchmark::RunSpecifiedBenchmarks();

    // Transfer: each round clicks once for a new B/L, then appends the same record through
    // the engine alone, both flushed per post.
    std::vector<double> clicks, engine;
    DM_BL = click.dm.get();
    QElapsedTimer timer;
    for (int i = 0; i < rounds && click.next < kLocal; ++i) {
        double us = 0;
        const QVector<px::Value> row = engineRow();
        if (!clickNext(&us)) {
            std::fprintf(stderr, "the transfer did not add the record\n");
            return 1;
        }
        clicks.push_back(us);
        timer.start();
        click.plain->append(row);
        engine.push_back(double(timer.nsecsElapsed()) / 1e3);
    }
    click.window->close();
    delete click.window;

    // Opening the window: both register sizes in turn, every round.
    std::vector<double> openSmall, openBig;
    for (int i = 0; i < rounds; ++i) {
        for (int which = (i % 2); which < (i % 2) + 2; ++which) {
            TDM_BL &dm = (which % 2) ? *dmBig : *dmSmall;
            DM_BL = &dm;
            timer.start();
            openWindowAndClose(dm, QStringLiteral("WINDOW.DB"));
            ((which % 2) ? openBig : openSmall).push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    DM_BL = nullptr;
    g_click = nullptr;

    const double c = benchdata::median(clicks), e = benchdata::median(engine);
    std::printf("machine: %d cores\n", QThread::idealThreadCount());
    std::printf("transfer into a file of %d B/Ls, flushed, %d rounds, medians: window %.0f us, engine append %.0f us\n",
                kHeld, rounds, c, e);
    std::printf("transfer against engine append  %6.2fx (target <= 1.30x)  %s\n", c / e, c / e <= 1.3 ? "met" : "MISSED");
    const double s = benchdata::median(openSmall), b = benchdata::median(openBig);
    std::printf("transfer window open, %d rounds, medians: %d records %.2f ms, %d records %.2f ms\n", rounds, small, s,
                big, b);
    std::printf("transfer window open: %d records against %d  %6.2fx (target <= 1.20x)  %s\n", big, small, b / s,
                b / s <= 1.2 ? "met" : "MISSED");
    benchmark::Shutdown();
    g_dir = nullptr;
    return 0;
}
