// The printed B/L: laying it out and writing it as PDF, against drawing the same text items
// straight onto a QPdfWriter, in one run. The engine's layout and its drawing through pages
// of items should cost at most 1.5 times the bare drawing.

#include "ReportOutput.h"
#include "U_BLPrint.h"
#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

namespace {

QTemporaryDir *g_dir = nullptr;

void fill(TF_BLPrint &form)
{
    const char *const lines[] = {"SERRA AZUL COMERCIAL EXPORTADORA LTDA.", "AV. DAS NAÇÕES UNIDAS, 12.551 - CJ. 804",
                                 "BROOKLIN NOVO - SÃO PAULO - SP", "CEP 04578-903 - BRASIL", "CNPJ 12.345.678/0001-90"};
    for (int i = 0; i < 15; ++i)
        form.label(17 + i)->setCaption(QString::fromUtf8(lines[i % 5]));
    for (int n = 32; n <= 39; ++n)
        form.label(n)->setCaption(QStringLiteral("VALUE-%1-ABCDEFG").arg(n));
    form.label(40)->setCaption(QStringLiteral("25.350,500"));
    form.label(41)->setCaption(QStringLiteral("KGS"));
    form.label(42)->setCaption(QStringLiteral("28,400"));
    form.label(43)->setCaption(QStringLiteral("CBM"));
    form.label(44)->setCaption(QStringLiteral("25.000,000"));
    form.label(45)->setCaption(QStringLiteral("KGS"));
    QStringList marks, goods;
    for (int i = 0; i < 12; ++i) {
        marks.append(QStringLiteral("MARK %1").arg(i));
        goods.append(QStringLiteral("%1 BAGS OF 50 KG - BRAZILIAN CRYSTAL SUGAR ICUMSA 150").arg(i * 10));
    }
    form.QRMemo1->setLines(marks);
    form.QRMemo2->setLines(goods);
}

void BM_ReportToPdf(benchmark::State &state)
{
    TF_BLPrint form;
    fill(form);
    const QString path = g_dir->filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        const report::ReportPages pages = form.QuickRep1->prepare();
        if (!report::writePdf(pages, path))
            state.SkipWithError("cannot write the PDF");
    }
}

// The same texts at the same places, drawn without the engine.
void BM_DirectPdf(benchmark::State &state)
{
    TF_BLPrint form;
    fill(form);
    struct Item
    {
        QFont font;
        QPointF at;  // tenths of a millimetre
        QString text;
    };
    QList<Item> items;
    const report::ReportPages laidOut = form.QuickRep1->prepare();
    for (const report::DrawItem &i : laidOut.pages.first().items)
        if (i.kind == report::DrawItem::Kind::Text)
            items.append({i.font.toQFont(), i.baseline, i.text});
    const QString path = g_dir->filePath(QStringLiteral("direct.pdf"));
    for (auto _ : state) {
        QPdfWriter writer(path);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        QPainter p(&writer);
        const double s = writer.logicalDpiX() / 254.0;
        for (const Item &i : items) {
            p.setFont(i.font);
            p.drawText(QPointF(i.at.x() * s, i.at.y() * s), i.text);
        }
        p.end();
    }
    state.counters["items"] = double(items.size());
}

BENCHMARK(BM_ReportToPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    g_dir = &dir;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto engine = reporter.seconds.find("BM_ReportToPdf");
    const auto direct = reporter.seconds.find("BM_DirectPdf");
    if (engine != reporter.seconds.end() && direct != reporter.seconds.end() && direct->second > 0) {
        const double ratio = engine->second / direct->second;
        std::printf("\nB/L through the engine / straight drawing: %.2fx (target within 1.5x): %s\n", ratio,
                    ratio <= 1.5 ? "met" : "NOT met");
    }
    return 0;
}
