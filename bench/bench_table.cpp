// The table engine against pxlib on the same work, with the raw read of the same bytes as
// the physical limit. The data files are built once per run in a temporary folder.
//
// BL_BENCH_RECORDS (default 100000) sets the size of the big register, BL_BENCH_SYNC_RECORDS
// (default 1000) the number of flushed posts.

#include "BLRecord.h"
#include "BenchData.h"
#include "PxCodePage.h"
#include "PxTable.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <paradox.h>
}

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Files
{
    QTemporaryDir dir;
    int bigCount = 100000;
    int syncCount = 1000;
    QVector<int> sizes;          // register sizes for open-and-last
    std::map<int, QString> db;   // register path by record count
    bool bigBuilt = false;
    QString bigMbForPxlib;       // the big memo file plus one byte (pxlib aborts otherwise)
    qint64 bigDbBytes = 0;
    qint64 bigMbBytes = 0;
    QVector<QVector<px::Value>> pool;
    QVector<QString> refs;       // booking numbers of the big register
    QString lastRef;
};

Files *g_files = nullptr;
Files &files() { return *g_files; }

QString memoOf(const QString &db) { return db.left(db.size() - 3) + QStringLiteral(".MB"); }

// Our engine posts count records into a new register at path.
void appendRegister(const QString &path, int count, bool sync)
{
    Files &f = files();
    px::Table::create(path, blrecord::registerFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    t.setSyncWrites(sync);
    for (int i = 0; i < count; ++i) {
        QVector<px::Value> &row = f.pool[i % benchdata::kPoolSize];
        row[benchdata::kAgentRefField] = benchdata::agentRef(i, count);
        t.append(row);
    }
}

void removePair(const QString &db)
{
    QFile::remove(db);
    QFile::remove(memoOf(db));
}

qint64 fileSize(const QString &p) { return QFileInfo(p).size(); }

QString bigPath() { return files().dir.filePath(QStringLiteral("REG%1.DB").arg(files().bigCount)); }

// Called once the big register is complete: sizes, and the copy pxlib can safely be given.
void bigRegisterBuilt()
{
    Files &f = files();
    const QString big = bigPath();
    f.db[f.bigCount] = big;
    f.bigDbBytes = fileSize(big);
    f.bigMbBytes = fileSize(memoOf(big));
    f.bigMbForPxlib = f.dir.filePath(QStringLiteral("pxlib-copy.MB"));
    QFile::remove(f.bigMbForPxlib);
    QFile::copy(memoOf(big), f.bigMbForPxlib);
    QFile mb(f.bigMbForPxlib);
    if (mb.open(QIODevice::Append))
        mb.write("\0", 1);
    f.bigBuilt = true;
    std::fprintf(stderr, "big register: %d records, %lld bytes .DB, %lld bytes .MB\n", f.bigCount,
                 static_cast<long long>(f.bigDbBytes), static_cast<long long>(f.bigMbBytes));
}

// The big register, built by the first benchmark that needs it (the unflushed append builds
// it as its measured work, so a full run builds it only once).
const QString &bigRegister()
{
    Files &f = files();
    if (!f.bigBuilt) {
        removePair(bigPath());
        appendRegister(bigPath(), f.bigCount, false);
        bigRegisterBuilt();
    }
    return f.db[f.bigCount];
}

// pxlib's side of the append: the same records, text already in windows-1252.
struct PxlibRows
{
    std::vector<std::vector<QByteArray>> text;  // per pool row, per field
    std::vector<QByteArray> refs;
};

const PxlibRows &pxlibRows()
{
    static PxlibRows r = [] {
        PxlibRows out;
        const auto fields = blrecord::registerFields();
        for (const auto &row : files().pool) {
            std::vector<QByteArray> t(size_t(fields.size()));
            for (int i = 0; i < fields.size(); ++i)
                if (const QString *s = std::get_if<QString>(&row[i]))
                    px::codepage::encode(1252, *s, t[size_t(i)]);
            out.text.push_back(std::move(t));
        }
        return out;
    }();
    return r;
}

void quietPxlib(pxdoc_t *, int, const char *, void *) {}

bool pxlibAppend(const QString &dbPath, int count)
{
    const auto fields = blrecord::registerFields();
    const PxlibRows &rows = pxlibRows();
    pxdoc_t *px = PX_new2(quietPxlib, nullptr, nullptr, nullptr);
    auto *pf = static_cast<pxfield_t *>(px->malloc(px, sizeof(pxfield_t) * size_t(fields.size()), "fields"));
    std::vector<int> len;
    for (int i = 0; i < fields.size(); ++i) {
        const px::FieldDef &fd = fields[i];
        pf[i].px_fname = PX_strdup(px, fd.name.toLatin1().constData());
        pf[i].px_ftype = char(fd.type);
        pf[i].px_flen = fd.storageSize();
        pf[i].px_fdc = 0;
        len.push_back(fd.storageSize());
    }
    const QByteArray db = QFile::encodeName(dbPath);
    const QByteArray mb = QFile::encodeName(memoOf(dbPath));
    if (PX_create_file(px, pf, int(fields.size()), db.constData(), pxfFileTypNonIndexDB) < 0
        || PX_set_blob_file(px, mb.constData()) < 0) {
        PX_delete(px);
        return false;
    }
    std::vector<char> rec(static_cast<size_t>(PX_get_recordsize(px)));
    for (int r = 0; r < count; ++r) {
        const int k = r % benchdata::kPoolSize;
        const QVector<px::Value> &row = files().pool[k];
        const std::vector<QByteArray> &txt = rows.text[size_t(k)];
        std::fill(rec.begin(), rec.end(), 0);
        int off = 0;
        for (int i = 0; i < fields.size(); ++i) {
            char *p = rec.data() + off;
            off += len[size_t(i)];
            switch (fields[i].type) {
            case px::FieldType::Alpha: {
                QByteArray b = i == benchdata::kAgentRefField ? files().refs[r].toLatin1() : txt[size_t(i)];
                if (!b.isEmpty())
                    PX_put_data_alpha(px, p, len[size_t(i)], b.data());
                break;
            }
            case px::FieldType::Memo: {
                QByteArray b = txt[size_t(i)];
                if (!b.isEmpty())
                    PX_put_data_blob(px, p, len[size_t(i)], b.data(), int(b.size()));
                break;
            }
            case px::FieldType::Date:
                if (const QDate *d = std::get_if<QDate>(&row[i]))
                    PX_put_data_long(px, p, 4, int(d->toJulianDay() - 1721425));
                break;
            case px::FieldType::Number:
                if (const double *d = std::get_if<double>(&row[i]))
                    PX_put_data_double(px, p, 8, *d);
                break;
            default:
                break;
            }
        }
        PX_put_record(px, rec.data());
    }
    PX_close(px);
    PX_delete(px);
    return true;
}

// ---------------------------------------------------------------------------------------------

void BM_AppendOurs(benchmark::State &state)
{
    const int count = int(state.range(0));
    const bool sync = state.range(1) != 0;
    const bool makesBig = count == files().bigCount && !sync;
    const QString path = makesBig ? bigPath() : files().dir.filePath(QStringLiteral("append-ours.DB"));
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removePair(path);
        files().bigBuilt = files().bigBuilt && !makesBig;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        appendRegister(path, count, sync);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (makesBig)
        bigRegisterBuilt();
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["us_per_record"] = seconds * 1e6 / (double(count) * double(state.iterations()));
    state.SetLabel(sync ? "flushed per post" : "no flush");
    if (!makesBig)
        removePair(path);
}

void BM_AppendPxlib(benchmark::State &state)
{
    const int count = int(state.range(0));
    const QString path = files().dir.filePath(QStringLiteral("append-pxlib.DB"));
    pxlibRows();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removePair(path);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!pxlibAppend(path, count)) {
            state.SkipWithError("pxlib cannot create the table");
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["us_per_record"] = seconds * 1e6 / (double(count) * double(state.iterations()));
    state.SetLabel("pxlib has no flush to the medium");
    removePair(path);
}

void BM_ScanOurs(benchmark::State &state)
{
    Files &f = files();
    px::Table t(bigRegister(), px::Table::Mode::ReadOnly);
    const int nf = int(t.fields().size());
    const bool wholeRow = state.range(1) != 0;
    state.SetLabel(wholeRow ? "decodeRow" : "decode per field");
    QVector<px::Value> row;
    qint64 records = 0;
    for (auto _ : state) {
        t.scan([&](px::RecordPos, const char *raw) {
            if (wholeRow) {
                t.decodeRow(raw, row);
                benchmark::DoNotOptimize(row.data());
            } else {
                for (int i = 0; i < nf; ++i) {
                    px::Value v = t.decode(raw, i);
                    benchmark::DoNotOptimize(v);
                }
            }
            ++records;
            return true;
        });
    }
    state.SetItemsProcessed(records);
    state.SetBytesProcessed(state.iterations() * (f.bigDbBytes + f.bigMbBytes));
}

void BM_ScanPxlib(benchmark::State &state)
{
    Files &f = files();
    pxdoc_t *px = PX_new2(quietPxlib, nullptr, nullptr, nullptr);
    if (PX_open_file(px, QFile::encodeName(bigRegister()).constData()) < 0
        || PX_set_blob_file(px, QFile::encodeName(f.bigMbForPxlib).constData()) < 0) {
        state.SkipWithError("pxlib cannot open the register");
        PX_delete(px);
        return;
    }
    // with recoding pxlib hands out UTF-8 text as we hand out QStrings; without it, raw bytes
    const bool recode = state.range(1) != 0;
    if (recode)
        PX_set_parameter(px, "targetencoding", "UTF-8");
    state.SetLabel(recode ? "text recoded to UTF-8" : "raw windows-1252 bytes");
    const int n = PX_get_num_records(px);
    const int nf = PX_get_num_fields(px);
    pxfield_t *fs = PX_get_fields(px);
    qint64 records = 0;
    for (auto _ : state) {
        for (int r = 0; r < n; ++r) {
            pxval_t **v = PX_retrieve_record(px, r);
            if (!v)
                continue;
            for (int i = 0; i < nf; ++i) {
                if (!v[i]->isnull && (fs[i].px_ftype == pxfAlpha || fs[i].px_ftype == pxfMemoBLOb))
                    px->free(px, v[i]->value.str.val);
                px->free(px, v[i]);
            }
            px->free(px, v);
            ++records;
        }
    }
    PX_close(px);
    PX_delete(px);
    state.SetItemsProcessed(records);
    state.SetBytesProcessed(state.iterations() * (f.bigDbBytes + f.bigMbBytes));
}

qint64 readWhole(const QString &path, char *buf, size_t bufSize)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return -1;
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf, bufSize);
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

// The physical limit: the same bytes read from the page cache, nothing decoded.
void BM_RawRead(benchmark::State &state)
{
    Files &f = files();
    std::vector<char> buf(1 << 20);
    const QString db = bigRegister();
    const QString mb = memoOf(db);
    for (auto _ : state) {
        qint64 n = readWhole(db, buf.data(), buf.size()) + readWhole(mb, buf.data(), buf.size());
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * f.bigCount);
    state.SetBytesProcessed(state.iterations() * (f.bigDbBytes + f.bigMbBytes));
}

// Locating the booking number that only the last record holds, the way a cursor's locate
// does it: decode the field of each record and compare the text.
void BM_LocateOurs(benchmark::State &state)
{
    Files &f = files();
    px::Table t(bigRegister(), px::Table::Mode::Shared);
    const int field = t.fieldIndex(u"Bl_AgentRef");
    const px::Value target = f.lastRef;
    qint64 found = 0;
    for (auto _ : state) {
        t.scan([&](px::RecordPos, const char *raw) {
            if (t.decode(raw, field) == target) {
                ++found;
                return false;
            }
            return true;
        });
    }
    if (found != state.iterations())
        state.SkipWithError("the last booking number was not found");
    state.SetItemsProcessed(state.iterations() * f.bigCount);
    state.SetBytesProcessed(state.iterations() * f.bigDbBytes);
}

// The same walk comparing the stored bytes of the field: what scan() itself costs.
void BM_LocateOursRawCompare(benchmark::State &state)
{
    Files &f = files();
    px::Table t(bigRegister(), px::Table::Mode::Shared);
    const int field = t.fieldIndex(u"Bl_AgentRef");
    int offset = 0;
    for (int i = 0; i < field; ++i)
        offset += t.fields()[i].storageSize();
    const int width = t.fields()[field].storageSize();
    QByteArray target = f.lastRef.toLatin1();
    target.resize(width, '\0');
    qint64 found = 0;
    for (auto _ : state) {
        t.scan([&](px::RecordPos, const char *raw) {
            if (std::memcmp(raw + offset, target.constData(), size_t(width)) == 0) {
                ++found;
                return false;
            }
            return true;
        });
    }
    if (found != state.iterations())
        state.SkipWithError("the last booking number was not found");
    state.SetItemsProcessed(state.iterations() * f.bigCount);
    state.SetBytesProcessed(state.iterations() * f.bigDbBytes);
}

// A plain byte search: read the .DB into memory and memmem for the booking number.
void BM_LocateReadMemmem(benchmark::State &state)
{
    Files &f = files();
    const QString db = bigRegister();
    std::vector<char> buf(size_t(f.bigDbBytes));
    const QByteArray needle = f.lastRef.toLatin1();
    qint64 found = 0;
    for (auto _ : state) {
        const int fd = ::open(QFile::encodeName(db).constData(), O_RDONLY);
        size_t got = 0;
        for (ssize_t n; got < buf.size() && (n = ::read(fd, buf.data() + got, buf.size() - got)) > 0;)
            got += size_t(n);
        ::close(fd);
        if (memmem(buf.data(), got, needle.constData(), size_t(needle.size())))
            ++found;
    }
    if (found != state.iterations())
        state.SkipWithError("the last booking number was not found");
    state.SetItemsProcessed(state.iterations() * f.bigCount);
    state.SetBytesProcessed(state.iterations() * f.bigDbBytes);
}

void BM_LocateMemmemInMemory(benchmark::State &state)
{
    Files &f = files();
    QFile file(bigRegister());
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the register");
        return;
    }
    const QByteArray bytes = file.readAll();
    const QByteArray needle = f.lastRef.toLatin1();
    qint64 found = 0;
    for (auto _ : state) {
        // memmem is pure: without this the search would be hoisted out of the loop
        const char *p = bytes.constData();
        benchmark::DoNotOptimize(p);
        if (memmem(p, size_t(bytes.size()), needle.constData(), size_t(needle.size())))
            ++found;
        benchmark::ClobberMemory();
    }
    if (found != state.iterations())
        state.SkipWithError("the last booking number was not found");
    state.SetItemsProcessed(state.iterations() * f.bigCount);
    state.SetBytesProcessed(state.iterations() * f.bigDbBytes);
}

// What the entry window does when it is first shown.
void BM_OpenLast(benchmark::State &state)
{
    Files &f = files();
    const int count = int(state.range(0));
    const QString path = count == f.bigCount ? bigRegister() : f.db[count];
    const px::Value expected = benchdata::agentRef(count - 1, count);
    bool right = true;
    const auto mode = state.range(1) ? px::Table::Mode::ReadOnly : px::Table::Mode::Shared;
    for (auto _ : state) {
        px::Table t(path, mode);
        const auto pos = t.last();
        QVector<px::Value> v = t.readValues(*pos);
        right = right && v.value(benchdata::kAgentRefField) == expected;
        benchmark::DoNotOptimize(v);
    }
    if (!right)
        state.SkipWithError("last() did not give the last record");
}

// An engine error ends the benchmark with its message instead of ending the program.
template<void (*Fn)(benchmark::State &)>
void guarded(benchmark::State &state)
{
    try {
        Fn(state);
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

// ---------------------------------------------------------------------------------------------
// The speed targets, checked on the figures of this run.

class TargetReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                m_runs[r.benchmark_name()] = r;
        ConsoleReporter::ReportRuns(runs);
    }

    void printTargets(int bigCount)
    {
        std::printf("\nTargets (%d records):\n", bigCount);
        const std::string n = std::to_string(bigCount);
        const Run *scanOurs = find("ScanOurs/" + n + "/1");
        // against the faster of pxlib's two ways
        const Run *scanPx = find("ScanPxlib/" + n + "/1");
        const Run *scanPxRaw = find("ScanPxlib/" + n + "/0");
        if (!scanPx || (scanPxRaw && rate(*scanPxRaw, "items_per_second") > rate(*scanPx, "items_per_second")))
            scanPx = scanPxRaw;
        const Run *raw = find("RawRead/" + n);
        if (scanOurs && scanPx)
            verdict("full scan, records/s, ours vs pxlib", rate(*scanOurs, "items_per_second"),
                    rate(*scanPx, "items_per_second"), ">=", 5.0);
        if (scanOurs && raw)
            verdict("full scan, bytes/s, ours vs raw read", rate(*scanOurs, "bytes_per_second"),
                    rate(*raw, "bytes_per_second"), ">=", 0.25);
        const Run *locate = find("LocateOurs/" + n);
        const Run *memmem = find("LocateReadMemmem/" + n);
        if (locate && memmem)
            verdict("locate last booking number, time, ours vs read+memmem", seconds(*locate), seconds(*memmem),
                    "<=", 3.0);
        for (const char *mode : {"0", "1"}) {
            const Run *small = find("OpenLast/10/" + std::string(mode));
            const Run *big = find("OpenLast/" + n + "/" + mode);
            if (small && big)
                verdict(std::string(*mode == '1' ? "read-only " : "") + "open and last, time, " + n + " vs 10 records",
                        seconds(*big), seconds(*small), "<=", 2.0);
        }
        std::fflush(stdout);
    }

private:
    const Run *find(const std::string &prefix) const
    {
        const std::string full = "BM_" + prefix;
        for (const auto &[name, run] : m_runs)
            if (name == full || name.rfind(full + "/", 0) == 0)
                return &run;
        return nullptr;
    }
    static double rate(const Run &r, const char *counter)
    {
        const auto it = r.counters.find(counter);
        return it == r.counters.end() ? 0.0 : double(it->second);
    }
    static double seconds(const Run &r)
    {
        return r.real_accumulated_time / double(r.iterations ? r.iterations : 1);
    }
    static void verdict(const std::string &what, double ours, double other, const char *op, double target)
    {
        const double ratio = other > 0 ? ours / other : 0.0;
        const bool ok = op[0] == '>' ? ratio >= target : ratio <= target;
        std::printf("  %-58s %8.2fx (target %s %.2fx)  %s\n", what.c_str(), ratio, op, target, ok ? "met" : "MISSED");
    }

    std::map<std::string, Run> m_runs;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    PX_boot();

    Files f;
    if (!f.dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    g_files = &f;
    f.bigCount = benchdata::envInt("BL_BENCH_RECORDS", 100000);
    f.syncCount = benchdata::envInt("BL_BENCH_SYNC_RECORDS", 1000);
    f.pool = benchdata::pool();
    for (int i = 0; i < f.bigCount; ++i)
        f.refs.append(benchdata::agentRef(i, f.bigCount));
    f.lastRef = f.refs.last();
    f.sizes = {10, 1000, f.bigCount};
    std::sort(f.sizes.begin(), f.sizes.end());
    f.sizes.erase(std::unique(f.sizes.begin(), f.sizes.end()), f.sizes.end());

    for (int n : f.sizes) {
        if (n == f.bigCount)
            continue;
        const QString path = f.dir.filePath(QStringLiteral("REG%1.DB").arg(n));
        try {
            appendRegister(path, n, false);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "cannot build a register: %s\n", e.what());
            return 1;
        }
        f.db[n] = path;
    }

    const auto ms = benchmark::kMillisecond;
    const long long big64 = f.bigCount;
    benchmark::RegisterBenchmark("BM_AppendOurs", guarded<BM_AppendOurs>)->Args({big64, 0})->Iterations(1)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_AppendOurs", guarded<BM_AppendOurs>)
        ->Args({f.syncCount, 1})->Iterations(1)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_AppendPxlib", guarded<BM_AppendPxlib>)->Arg(big64)->Iterations(1)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ScanOurs", guarded<BM_ScanOurs>)->Args({big64, 1})->Args({big64, 0})->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ScanPxlib", guarded<BM_ScanPxlib>)->Args({big64, 1})->Args({big64, 0})->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_RawRead", guarded<BM_RawRead>)->Arg(big64)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_LocateOurs", guarded<BM_LocateOurs>)->Arg(big64)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_LocateOursRawCompare", guarded<BM_LocateOursRawCompare>)->Arg(big64)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_LocateReadMemmem", guarded<BM_LocateReadMemmem>)->Arg(big64)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("BM_LocateMemmemInMemory", guarded<BM_LocateMemmemInMemory>)->Arg(big64)->Unit(ms)->UseRealTime();
    auto *open = benchmark::RegisterBenchmark("BM_OpenLast", guarded<BM_OpenLast>);
    for (int readOnly : {0, 1})
        for (int n : f.sizes)
            open->Args({n, readOnly});
    open->Unit(benchmark::kMicrosecond)->UseRealTime();

    TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printTargets(f.bigCount);
    benchmark::Shutdown();
    g_files = nullptr;
    return 0;
}
