// What the register's daily safety copy costs the clerk, over a register of 100,000 B/Ls
// (109 MB + 62 MB):
//  - the day's first post, which copies the register first (read under the engine's lock,
//    flushed, validated, renamed), against a plain copy of the same two files flushed to the
//    medium, as `cp` followed by `sync` would leave them (target: within 1.5x);
//  - every later post of the day through the data module, against the same post through a
//    table without the copy (target: within 1.05x).
// Both sides run in turn in each round and are compared by median, so the machine's bursts
// of load fall on both alike; the validator's share of the first post is timed apart. BL_BENCH_RECORDS (default 100000) sets the register,
// BL_BENCH_ROUNDS (default 7) the first-post rounds, BL_BENCH_POSTS (default 300) the later
// posts.

#include "BenchData.h"
#include "PxFile.h"
#include "SafetyCopy.h"
#include "U_DM_BL.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// read(2)/write(2) in 1 MiB pieces into a new file, then fdatasync.
bool plainCopy(const QString &from, const QString &to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    std::vector<char> buf(1 << 20);
    while (ok) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = ::write(out, buf.data(), size_t(n)) == n;
    }
    ok = ok && ::fdatasync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok;
}

void syncDir(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void post(Table *t, int n)
{
    t->insert();
    t->fieldByName(u"Bl_AgentRef")->setAsString(QStringLiteral("BENCH-%1").arg(n));
    t->fieldByName(u"Bl_Shipper1")->setAsString(QStringLiteral("EXPORTADORA DE CAFÉ SANTOS LTDA"));
    t->post();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = benchdata::envInt("BL_BENCH_RECORDS", 100000);
    const int rounds = benchdata::envInt("BL_BENCH_ROUNDS", 7);
    const int posts = benchdata::envInt("BL_BENCH_POSTS", 300);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString reg = dir.filePath(QStringLiteral("BlCorvane.DB"));
    try {
        benchdata::writeRegister(reg, count);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cannot build the register: %s\n", e.what());
        return 1;
    }
    const QString mb = dir.filePath(QStringLiteral("BlCorvane.MB"));
    // The posts without the copy go to a twin of the register: two writers on one file would
    // each find the other's header changed and validate the pair again before every post.
    const QString twin = dir.filePath(QStringLiteral("Twin.DB"));
    if (!plainCopy(reg, twin) || !plainCopy(mb, dir.filePath(QStringLiteral("Twin.MB")))) {
        std::fprintf(stderr, "cannot copy the register\n");
        return 1;
    }
    std::printf("register: %d B/Ls, %.1f MB + %.1f MB\n", count, double(QFileInfo(reg).size()) / 1e6,
                double(QFileInfo(mb).size()) / 1e6);

    QDir::setCurrent(dir.path());
    TDM_BL dm;
    QDate today(2027, 3, 1);
    dm.safetyCopy().setClock([&] { return today; });
    QString told;
    dm.safetyCopy().setNotice([&](const QString &m) { told = m; });
    Table *withCopy = dm.Tbl_BLCliente;
    Table plain;  // the same register's twin, without the copy
    plain.setTableName(QStringLiteral("Twin.DB"));
    int n = 0;
    try {
        withCopy->open();
        plain.open();
        // Both tables have written once (the engine validates before its first write).
        post(withCopy, n++);
        post(&plain, n++);

        // The day's first post against a plain flushed copy of the same bytes.
        const QString plainDir = dir.filePath(QStringLiteral("plain"));
        QDir().mkpath(plainDir);
        std::vector<double> first, copy, check;
        QElapsedTimer timer;
        for (int r = 0; r < rounds; ++r) {
            timer.start();
            const bool ok = plainCopy(reg, plainDir + QStringLiteral("/c.DB")) && plainCopy(mb, plainDir + QStringLiteral("/c.MB"));
            syncDir(plainDir);
            copy.push_back(double(timer.nsecsElapsed()) / 1e6);
            QFile::remove(plainDir + QStringLiteral("/c.DB"));
            QFile::remove(plainDir + QStringLiteral("/c.MB"));
            if (!ok) {
                std::fprintf(stderr, "the plain copy failed\n");
                return 1;
            }

            today = today.addDays(1);
            timer.start();
            post(withCopy, n++);
            first.push_back(double(timer.nsecsElapsed()) / 1e6);
            const safetycopy::Outcome &o = dm.safetyCopy().lastOutcome();
            if (o.result != safetycopy::Outcome::Result::Made) {
                std::fprintf(stderr, "no copy was made: %s\n", qPrintable(told));
                return 1;
            }
            timer.start();
            if (!safetycopy::checkCopy(o.copyDb).sound)
                return 1;
            check.push_back(double(timer.nsecsElapsed()) / 1e6);
            QFile::remove(o.copyDb);
            QFile::remove(safetycopy::memoOf(o.copyDb));
        }
        const double f = benchdata::median(first), c = benchdata::median(copy);
        std::printf("first post of the day: %.1f ms; plain flushed copy of the same files: %.1f ms (%d rounds)\n", f, c,
                    rounds);
        std::printf("ratio %.2fx (target within 1.5x): %s\n", f / c, f <= 1.5 * c ? "met" : "MISSED");
        std::printf("the validator's whole check of such a copy, for comparison (not part of the post): %.1f ms\n", benchdata::median(check));

        // Later posts of the day, flushed as the program posts.
        std::vector<double> later, without;
        for (int i = 0; i < posts; ++i) {
            timer.start();
            post(withCopy, n++);
            later.push_back(double(timer.nsecsElapsed()) / 1e3);
            timer.start();
            post(&plain, n++);
            without.push_back(double(timer.nsecsElapsed()) / 1e3);
        }
        const double l = benchdata::median(later), w = benchdata::median(without);
        std::printf("later post of the day: %.1f us; the same post without the copy: %.1f us (%d each)\n", l, w, posts);
        std::printf("ratio %.3fx (target within 1.05x): %s\n", l / w, l <= 1.05 * w ? "met" : "MISSED");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
