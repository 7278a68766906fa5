// The transfer window's two costs that the clerk feels:
//  - "Transfere para Arquivo" into a transfer file that already holds 500 B/Ls, flushed to
//    the medium as the window does, against one flushed append of the same record through
//    the engine alone (target: within 1.3x);
//  - opening the transfer window over a register of 100,000 B/Ls against the same over 10
//    (target: within 1.2x). The grids read only the page they show.
//
// The ratios come from rounds that run both sides once in turn and compare medians, so the
// machine's bursts of load fall on both alike. BL_BENCH_RECORDS (default 100000) sets the big
// register, BL_BENCH_ROUNDS (default 100) the rounds.

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
#include <memory>
#include <vector>

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

QTemporaryDir *g_dir = nullptr;
constexpr int kHeld = 500;      // B/Ls already in the transfer file
constexpr int kLocal = 4000;    // distinct B/Ls to transfer, one per measured click

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

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    g_dir = &dir;
    const int small = 10;
    const int big = envInt("BL_BENCH_RECORDS", 100000);
    const int rounds = std::min(envInt("BL_BENCH_ROUNDS", 100), kLocal);
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

    // Transfer: each round clicks once for a new B/L, then appends the same record through
    // the engine alone, both flushed per post.
    std::vector<double> click, engine;
    {
        std::unique_ptr<TDM_BL> dm = openRegister(kLocal);
        DM_BL = dm.get();
        openTransfer(*dm, QStringLiteral("CLICK.DB"));
        auto *w = new TF_Disquete;
        w->setFileName(g_dir->filePath(QStringLiteral("CLICK")));
        w->show();
        px::Table plain(g_dir->filePath(QStringLiteral("ENGINE.DB")), px::Table::Mode::Exclusive);
        px::Table source(g_dir->filePath(registerName(kLocal)), px::Table::Mode::ReadOnly);
        QElapsedTimer timer;
        for (int i = 0; i < rounds; ++i) {
            dm->Tbl_BLCliente->moveTo(quint32(i));
            const quint32 before = dm->Tbl_BLDisquete->recordCount();
            timer.start();
            w->SB_Transf->click();
            click.push_back(double(timer.nsecsElapsed()) / 1e3);
            if (dm->Tbl_BLDisquete->recordCount() != before + 1) {
                std::fprintf(stderr, "the transfer did not add the record\n");
                return 1;
            }
            const QVector<px::Value> row = asTransferRow(source.readValues(*source.at(quint32(i))));
            timer.start();
            plain.append(row);
            engine.push_back(double(timer.nsecsElapsed()) / 1e3);
        }
        w->close();
        delete w;
        DM_BL = nullptr;
    }

    // Opening the window: both register sizes in turn, every round.
    std::vector<double> openSmall, openBig;
    {
        std::unique_ptr<TDM_BL> dmSmall = openRegister(small);
        std::unique_ptr<TDM_BL> dmBig = openRegister(big);
        QElapsedTimer timer;
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
    }

    const double c = median(click), e = median(engine);
    std::printf("machine: %d cores\n", QThread::idealThreadCount());
    std::printf("transfer into a file of %d B/Ls, flushed, %d rounds, medians: window %.0f us, engine append %.0f us\n",
                kHeld, rounds, c, e);
    std::printf("transfer against engine append  %6.2fx (target <= 1.30x)  %s\n", c / e, c / e <= 1.3 ? "met" : "MISSED");
    const double s = median(openSmall), b = median(openBig);
    std::printf("transfer window open, %d rounds, medians: %d records %.2f ms, %d records %.2f ms\n", rounds, small, s,
                big, b);
    std::printf("transfer window open: %d records against %d  %6.2fx (target <= 1.20x)  %s\n", big, small, b / s,
                b / s <= 1.2 ? "met" : "MISSED");
    benchmark::Shutdown();
    g_dir = nullptr;
    return 0;
}
