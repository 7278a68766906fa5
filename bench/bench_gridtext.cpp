// A page of the list window's grid, 25 rows of 6 cells, drawn into the grid's image: by
// QPainter::drawText under a clip per column, against the grid's text painter writing glyph
// pixels straight into the image. The text painter should take well under a quarter of the time.

#include "BenchData.h"
#include "GridText.h"
#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>

#include <cstdio>
#include <map>

namespace {

constexpr int kRows = 25;
constexpr int kRowHeight = 16;

struct Column
{
    int field;
    int width;
    bool right;  // numbers are right-aligned
};

const Column kColumns[] = {{benchdata::kAgentRefField, 90, false}, {25, 70, false}, {0, 200, false},
                           {5, 200, false},                        {15, 110, false}, {26, 80, true}};

struct Page
{
    QFont font;
    QStringList texts;  // row by row
    QList<QRect> columns;
    int ascent = 0;
};

QFont gridFont(int pixelSize = 11)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixelSize);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    return f;
}

Page page(const QFont &font)
{
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    const auto rows = benchdata::pool();
    Page p;
    p.font = font;
    int x = 0;
    for (const Column &c : kColumns) {
        p.columns.append(QRect(x, 0, c.width, kRows * kRowHeight));
        x += c.width;
    }
    for (int r = 0; r < kRows; ++r) {
        QVector<px::Value> v = rows.at(r * 7);
        v[benchdata::kAgentRefField] = benchdata::agentRef(r, 1000);
        for (const Column &c : kColumns) {
            const px::Value &value = v.at(c.field);
            if (const auto *d = std::get_if<QDate>(&value))
                p.texts.append(d->toString(QStringLiteral("dd/MM/yyyy")));
            else if (const auto *n = std::get_if<double>(&value))
                p.texts.append(brazil.toString(*n, 'f', 3));
            else if (const auto *s = std::get_if<QString>(&value))
                p.texts.append(*s);
            else
                p.texts.append(QString());
        }
    }
    p.ascent = QFontMetrics(font).ascent();
    return p;
}

QRgb colourOf(int row)
{
    return row == 3 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);  // the selected row
}

void BM_QPainterPage(benchmark::State &state)
{
    const Page pg = page(gridFont());
    QImage img(750, 420, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QFontMetrics fm(pg.font);
    for (auto _ : state) {
        QPainter p(&img);
        p.setFont(pg.font);
        for (int c = 0; c < pg.columns.size(); ++c) {
            const QRect col = pg.columns.at(c);
            p.setClipRect(col);
            for (int r = 0; r < kRows; ++r) {
                const QString &t = pg.texts.at(r * pg.columns.size() + c);
                p.setPen(QColor(colourOf(r)));
                const int x = kColumns[c].right ? col.right() - 1 - fm.horizontalAdvance(t) : col.left() + 2;
                p.drawText(x, r * kRowHeight + 2 + pg.ascent, t);
            }
        }
    }
    state.counters["cells"] = double(pg.texts.size());
}

void drawPage(const Page &pg, const GridTextPainter &painter, QImage &img)
{
    for (int c = 0; c < pg.columns.size(); ++c) {
        const QRect col = pg.columns.at(c);
        for (int r = 0; r < kRows; ++r) {
            const QString &t = pg.texts.at(r * pg.columns.size() + c);
            const int x = kColumns[c].right ? col.right() - 1 - painter.width(t) : col.left() + 2;
            if (!painter.draw(img, x, r * kRowHeight + 2 + pg.ascent, t, colourOf(r), col))
                std::abort();  // the page is all Latin-1: the fast path must take it
        }
    }
}

void BM_GridTextPage(benchmark::State &state)
{
    const Page pg = page(gridFont());
    QImage img(750, 420, QImage::Format_RGB32);
    img.fill(Qt::white);
    const GridTextPainter painter(pg.font);
    // The same pixels as QPainter, or the comparison means nothing.
    QImage qt = img.copy();
    {
        QPainter p(&qt);
        p.setFont(pg.font);
        const QFontMetrics fm(pg.font);
        for (int c = 0; c < pg.columns.size(); ++c) {
            p.setClipRect(pg.columns.at(c));
            for (int r = 0; r < kRows; ++r) {
                const QString &t = pg.texts.at(r * pg.columns.size() + c);
                p.setPen(QColor(colourOf(r)));
                const QRect col = pg.columns.at(c);
                const int x = kColumns[c].right ? col.right() - 1 - fm.horizontalAdvance(t) : col.left() + 2;
                p.drawText(x, r * kRowHeight + 2 + pg.ascent, t);
            }
        }
    }
    drawPage(pg, painter, img);
    if (img != qt)
        state.SkipWithError("the text painter's page differs from QPainter's");
    for (auto _ : state)
        drawPage(pg, painter, img);
    state.counters["cells"] = double(pg.texts.size());
}

// The first page in a font: every glyph rendered and cut into runs. Pixel sizes cycle through
// more fonts than the registry keeps, so each one starts cold.
void BM_GridTextFirstPage(benchmark::State &state)
{
    std::vector<Page> pages;
    for (int size = 10; size < 20; ++size)
        pages.push_back(page(gridFont(size)));
    QImage img(750, 420, QImage::Format_RGB32);
    img.fill(Qt::white);
    size_t i = 0;
    for (auto _ : state) {
        const Page &pg = pages[i++ % pages.size()];
        drawPage(pg, GridTextPainter(pg.font), img);
    }
}

BENCHMARK(BM_QPainterPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GridTextPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GridTextFirstPage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto qt = reporter.seconds.find("BM_QPainterPage");
    const auto fast = reporter.seconds.find("BM_GridTextPage");
    if (qt != reporter.seconds.end() && fast != reporter.seconds.end() && qt->second > 0) {
        const double ratio = fast->second / qt->second;
        std::printf("\nGrid page by the text painter / by QPainter: %.3f (target under 0.25): %s\n", ratio,
                    ratio < 0.25 ? "met" : "NOT met");
    }
    return 0;
}
