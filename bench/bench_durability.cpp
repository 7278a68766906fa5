// What power safety costs a clerk: a flushed post into the register, a flushed delete in the
// middle of a full block, a flushed "Transfere para Arquivo" into a transfer file of 500 B/Ls
// (the duplicate check and the post, as the window does them), each with its flushes to the
// medium per call; and an unflushed append, the engine's bare write path. Built the same way
// against an older engine, the figures compare before and after on one machine.
//
// BL_BENCH_SYNC_RECORDS (default 200) sets the flushed calls of each run.

#include "BLRecord.h"
#include "BLTransfer.h"
#include "BenchData.h"
#include "PxFile.h"
#include "PxTable.h"
#include "Table.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

namespace {

QTemporaryDir *g_dir = nullptr;
int g_file = 0;

QString freshName(const char *what)
{
    return g_dir->filePath(QStringLiteral("%1%2.DB").arg(QLatin1String(what)).arg(++g_file));
}

// Counts the flushes (of files and folders) the engine asks for while it is installed.
struct FlushCounter
{
    long flushes = 0;
    FlushCounter()
    {
        px::io::setHook([this](const px::io::Event &e) {
            if (e.op == px::io::Op::Sync)
                ++flushes;
            return 0;
        });
    }
    ~FlushCounter() { px::io::setHook({}); }
};

void BM_FlushedPost(benchmark::State &state)
{
    const QString path = freshName("POST");
    benchdata::writeRegister(path, 200);
    px::Table t(path, px::Table::Mode::Shared);
    const auto pool = benchdata::pool();
    FlushCounter count;
    int i = 0;
    for (auto _ : state)
        t.append(pool[i++ % benchdata::kPoolSize]);
    state.counters["flushes/call"] = double(count.flushes) / double(state.iterations());
}

// Block k (15 records while full) loses its 8th record in call k: always the middle of a full block.
void BM_FlushedDeleteMiddle(benchmark::State &state)
{
    const int calls = int(state.max_iterations);
    const QString path = freshName("DEL");
    benchdata::writeRegister(path, 15 * (calls + 1));
    px::Table t(path, px::Table::Mode::Shared);
    const quint32 perBlock = t.info().blockSize > 0 ? quint32((t.info().blockSize - 6) / t.info().recordSize) : 15;
    FlushCounter count;
    quint32 k = 0;
    for (auto _ : state) {
        const auto pos = t.at(k * (perBlock - 1) + perBlock / 2);
        t.remove(*pos, t.readRaw(*pos));
        ++k;
    }
    state.counters["flushes/call"] = double(count.flushes) / double(state.iterations());
}

void BM_FlushedTransfer(benchmark::State &state)
{
    const int calls = int(state.max_iterations);
    const QString reg = freshName("REG");
    benchdata::writeRegister(reg, calls + 1);
    const QString file = freshName("BL");
    px::Table::create(file, blrecord::transferFields());
    {
        px::Table t(file, px::Table::Mode::Exclusive);
        t.setSyncWrites(false);
        const auto pool = benchdata::pool();
        const QVector<px::FieldDef> to = blrecord::transferFields();
        const QVector<px::FieldDef> from = blrecord::registerFields();
        for (int i = 0; i < 500; ++i) {
            QVector<px::Value> row(to.size());
            for (int f = 0; f < to.size(); ++f)
                for (int g = 0; g < from.size(); ++g)
                    if (blrecord::baseName(from[g].name).compare(blrecord::baseName(to[f].name), Qt::CaseInsensitive) == 0)
                        row[f] = pool[i % benchdata::kPoolSize][g];
            row[t.fieldIndex(u"Di_Agentref")] = QStringLiteral("HELD-%1").arg(i);
            t.append(row);
        }
    }
    Table local;
    local.setDirectory(QFileInfo(reg).absolutePath());
    local.setTableName(QFileInfo(reg).fileName());
    local.open();
    Table transfer;
    bltransfer::pointAt(transfer, file);
    transfer.open();
    FlushCounter count;
    for (auto _ : state) {
        const QString booking = local.fieldByName(u"Bl_AgentRef")->asString();
        if (!transfer.locate(u"Di_Agentref", booking))
            bltransfer::copyCurrent(local, transfer);
        local.next();
    }
    state.counters["flushes/call"] = double(count.flushes) / double(state.iterations());
}

void BM_UnflushedAppend(benchmark::State &state)
{
    const QString path = freshName("APP");
    px::Table::create(path, blrecord::registerFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    t.setSyncWrites(false);
    const auto pool = benchdata::pool();
    int i = 0;
    for (auto _ : state)
        t.append(pool[i++ % benchdata::kPoolSize]);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-durability-XXXXXX"));
    g_dir = &dir;
    const int calls = benchdata::envInt("BL_BENCH_SYNC_RECORDS", 200);
    benchmark::RegisterBenchmark("BM_FlushedPost", BM_FlushedPost)->Iterations(calls)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_FlushedDeleteMiddle", BM_FlushedDeleteMiddle)->Iterations(calls)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_FlushedTransfer", BM_FlushedTransfer)->Iterations(calls)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_UnflushedAppend", BM_UnflushedAppend)->Iterations(20 * calls)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
