// The report engine: wrapping and sizing, band layout and pagination, data sources, the
// saved-report file, the print path over PDF printers, the progress window and the preview.

#include "ModalHelper.h"
#include "PrinterServices.h"
#include "QRPreview.h"
#include "ReportOutput.h"

#include <QFileDialog>
#include <QProgressBar>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using namespace report;

namespace {

class Records : public ReportDataSource
{
public:
    explicit Records(QStringList rows) : rows(std::move(rows)) {}
    int recordCount() const override { return int(rows.size()); }
    void first() override { at = 0; }
    void next() override { ++at; }
    bool eof() const override { return at >= rows.size(); }
    QString current() const { return rows.value(at); }
    QStringList rows;
    qsizetype at = 0;
};

QStringList texts(const ReportPage &page)
{
    QStringList out;
    for (const DrawItem &i : page.items)
        if (i.kind == DrawItem::Kind::Text)
            out.append(i.text);
    return out;
}

const DrawItem *textItem(const ReportPages &pages, const QString &text, int *pageNo = nullptr)
{
    for (qsizetype p = 0; p < pages.pages.size(); ++p)
        for (const DrawItem &i : pages.pages.at(p).items)
            if (i.kind == DrawItem::Kind::Text && i.text == text) {
                if (pageNo)
                    *pageNo = int(p);
                return &i;
            }
    return nullptr;
}

int pdfPages(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(30000);
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// A small report: title, column header, detail over a data source, summary.
struct ListReport
{
    explicit ListReport(Records *source = nullptr)
    {
        rep.dataSource = source;
        auto *title = new TQRBand(&rep, QStringLiteral("Title"), BandKind::Title, 200);
        new TQRLabel(title, QStringLiteral("TitleLabel"), QStringLiteral("TITLE"));
        auto *header = new TQRBand(&rep, QStringLiteral("Header"), BandKind::ColumnHeader, 100);
        new TQRLabel(header, QStringLiteral("HeaderLabel"), QStringLiteral("HEADER"));
        detail = new TQRBand(&rep, QStringLiteral("Detail"), BandKind::Detail, 100);
        value = new TQRLabel(detail, QStringLiteral("Value"));
        if (source)
            detail->beforePrint = [this, source](TQRBand *) { value->setCaption(source->current()); };
        else
            value->setCaption(QStringLiteral("ONCE"));
        auto *summary = new TQRBand(&rep, QStringLiteral("Summary"), BandKind::Summary, 100);
        new TQRLabel(summary, QStringLiteral("SummaryLabel"), QStringLiteral("SUMMARY"));
    }
    TQuickRep rep{nullptr};
    TQRBand *detail = nullptr;
    TQRLabel *value = nullptr;
};

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void wrapsAtWordsAndBreaksLongWords()
    {
        const TextMeasure m(FontSpec{});
        const double w = std::max(m.width(QStringLiteral("alpha beta")), m.width(QStringLiteral("gamma delta")));
        QCOMPARE(wrapParagraph(QStringLiteral("alpha beta gamma delta"), m, w),
                 QStringList({QStringLiteral("alpha beta"), QStringLiteral("gamma delta")}));
        // Several blanks at a break go with it; blanks inside a line stay.
        QCOMPARE(wrapParagraph(QStringLiteral("alpha  beta    gamma"), m, m.width(QStringLiteral("alpha  beta"))),
                 QStringList({QStringLiteral("alpha  beta"), QStringLiteral("gamma")}));
        // A word wider than the width is cut between characters, every piece within it.
        const QString word = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        const QStringList pieces = wrapParagraph(word, m, m.width(QStringLiteral("ABCDEFG")));
        QVERIFY(pieces.size() >= 3);
        QCOMPARE(pieces.join(QString()), word);
        for (const QString &p : pieces)
            QVERIFY(m.width(p) <= m.width(QStringLiteral("ABCDEFG")) + 1e-9);
        QCOMPARE(wrapParagraph(QString(), m, 10), QStringList({QString()}));
    }

    void autoSizeKeepsTheEdgeOfItsAlignment()
    {
        TQuickRep rep(nullptr);
        auto *band = new TQRBand(&rep, QStringLiteral("B"), BandKind::Title, 100);
        const double shortW = TextMeasure(rep.font).width(QStringLiteral("ab"));
        const double longW = TextMeasure(rep.font).width(QStringLiteral("abcdefgh"));
        struct Case { Alignment a; double left, right, centre; };
        for (Alignment a : {Alignment::Left, Alignment::Right, Alignment::Center}) {
            auto *l = new TQRLabel(band, QStringLiteral("L"));
            l->alignment = a;
            l->left = 500;
            l->width = 0;
            l->setCaption(QStringLiteral("ab"));
            const double left0 = l->left, right0 = l->left + l->width, centre0 = l->left + l->width / 2;
            QVERIFY(std::abs(l->width - shortW) < 1e-6);
            l->setCaption(QStringLiteral("abcdefgh"));
            QVERIFY(std::abs(l->width - longW) < 1e-6);
            if (a == Alignment::Left)
                QVERIFY(std::abs(l->left - left0) < 1e-6);
            else if (a == Alignment::Right)
                QVERIFY(std::abs(l->left + l->width - right0) < 1e-6);
            else
                QVERIFY(std::abs(l->left + l->width / 2 - centre0) < 1e-6);
            delete l;
        }
    }

    // A one-line text that runs into the next text of its line gives way: condensed across to
    // end 1 mm before it, taking its opaque ground along; the text it ran into, and texts that
    // stand apart, print as laid out.
    void textsOnALineKeepApart()
    {
        TQuickRep rep(nullptr);
        auto *band = new TQRBand(&rep, QStringLiteral("B"), BandKind::Title, 300);
        auto label = [&](const QString &text, Alignment a, double edge, double top) {
            auto *l = new TQRLabel(band, text.left(8));
            l->alignment = a;
            l->left = edge;
            l->width = 0;
            l->top = top;
            l->height = 45;
            l->setCaption(text);
            return l;
        };
        const QString value = QString(60, QLatin1Char('W'));
        const QString number = QString(120, QLatin1Char('9'));
        TQRLabel *heading = label(QStringLiteral("HEADING:"), Alignment::Right, 1400, 0);
        label(value, Alignment::Left, 300, 10);  // a value growing right into the heading
        TQRLabel *before = label(QStringLiteral("LEFT TEXT"), Alignment::Left, 100, 100);
        label(number, Alignment::Right, 1800, 100);  // a number growing left into a text
        label(QStringLiteral("ALONE"), Alignment::Left, 300, 200);
        label(QStringLiteral("APART"), Alignment::Right, 1800, 200);

        const ReportPages pages = rep.prepare();
        const double dx = rep.leftMargin;
        const DrawItem *h = textItem(pages, QStringLiteral("HEADING:"));
        const DrawItem *v = textItem(pages, value);
        const DrawItem *b = textItem(pages, QStringLiteral("LEFT TEXT"));
        const DrawItem *n = textItem(pages, number);
        QVERIFY(h && v && b && n);
        QCOMPARE(h->scaleX, 1.0);
        QCOMPARE(b->scaleX, 1.0);
        QVERIFY(std::abs(v->rect.left() - (300 + dx)) < 1e-6);
        QVERIFY(std::abs(v->rect.right() - (heading->left + dx - 10)) < 1e-6);
        QVERIFY(v->scaleX < 1.0 && std::abs(v->scaleX - v->rect.width() / TextMeasure(rep.font).width(value)) < 1e-9);
        QVERIFY(std::abs(n->rect.right() - (1800 + dx)) < 1e-6);
        QVERIFY(std::abs(n->rect.left() - (before->left + before->width + dx + 10)) < 1e-6);
        QVERIFY(std::abs(n->baseline.x() - n->rect.left()) < 1e-6);
        for (const QString &t : {QStringLiteral("ALONE"), QStringLiteral("APART")})
            QCOMPARE(textItem(pages, t)->scaleX, 1.0);
        // No ground reaches over another control's text.
        for (const DrawItem &fill : pages.pages.first().items) {
            if (fill.kind != DrawItem::Kind::Fill)
                continue;
            for (const DrawItem *t : {h, b})
                QVERIFY(!fill.rect.intersects(t->rect) || fill.rect.contains(t->rect.center()));
        }
    }

    void labelLineBreaks()
    {
        TQuickRep rep(nullptr);
        auto *band = new TQRBand(&rep, QStringLiteral("B"), BandKind::Title, 100);
        auto *l = new TQRLabel(band, QStringLiteral("L"));
        l->setCaption(QStringLiteral("one\r\ntwo\nthree\rfour"));
        // Carriage returns start lines; line feeds are dropped.
        QCOMPARE(l->printLines(), QStringList({QStringLiteral("one"), QStringLiteral("twothree"), QStringLiteral("four")}));
        const TextMeasure m(rep.font);
        QVERIFY(l->height >= 3 * m.lineHeight() - 1e-6);
        const ReportPages pages = rep.prepare();
        const DrawItem *one = textItem(pages, QStringLiteral("one"));
        const DrawItem *four = textItem(pages, QStringLiteral("four"));
        QVERIFY(one && four);
        QVERIFY(std::abs((four->rect.top() - one->rect.top()) - 2 * m.lineSpacing()) < 1e-6);
    }

    void stretchPushesTheRestOfTheBandDown()
    {
        TQuickRep rep(nullptr);
        auto *band = new TQRBand(&rep, QStringLiteral("Detail"), BandKind::Detail, 300);
        auto *list = new TQRLabel(band, QStringLiteral("List"));
        list->autoSize = false;
        list->wordWrap = true;
        list->autoStretch = true;
        list->left = 0;
        list->top = 0;
        list->width = 300;
        list->height = 50;
        auto *below = new TQRLabel(band, QStringLiteral("Below"), QStringLiteral("BELOW"));
        below->top = 100;
        auto *after = new TQRBand(&rep, QStringLiteral("Summary"), BandKind::Summary, 50);
        new TQRLabel(after, QStringLiteral("After"), QStringLiteral("AFTER"));

        QStringList refs;
        for (int i = 0; i < 30; ++i)
            refs.append(QStringLiteral("REF%1").arg(i, 3, 10, QLatin1Char('0')));
        list->setCaption(refs.join(QLatin1Char(' ')));
        const int lines = int(list->printLines().size());
        QVERIFY(lines > 3);
        const ReportPages pages = rep.prepare();
        QCOMPARE(pages.pages.size(), 1);
        const double grow = lines * TextMeasure(rep.font).lineSpacing() - 50;
        const DrawItem *b = textItem(pages, QStringLiteral("BELOW"));
        const DrawItem *a = textItem(pages, QStringLiteral("AFTER"));
        QVERIFY(b && a);
        QVERIFY(std::abs(b->rect.top() - (100 + 100 + grow)) < 1e-6);
        QVERIFY(std::abs(a->rect.top() - (100 + 300 + grow)) < 1e-6);
        // Every reference is printed once.
        QString all;
        for (const QString &t : texts(pages.pages.first()))
            all += t;
        for (const QString &r : refs)
            QCOMPARE(all.count(r), 1);
    }

    void detailRepeatsPerRecordAndPagesCarryTheHeader()
    {
        QStringList rows;
        for (int i = 0; i < 40; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        QList<int> progress;
        const ReportPages pages = r.rep.prepare([&](int p) {
            progress.append(p);
            return true;
        });
        // 2970 - 200 margins: title 200 + header 100, then 100 per row.
        QVERIFY(pages.pages.size() >= 2);
        int titleCount = 0, headerCount = 0, summaryPage = -1;
        QStringList printed;
        for (qsizetype p = 0; p < pages.pages.size(); ++p) {
            const QStringList t = texts(pages.pages.at(p));
            titleCount += int(t.count(QStringLiteral("TITLE")));
            headerCount += int(t.count(QStringLiteral("HEADER")));
            QVERIFY(t.contains(QStringLiteral("HEADER")));
            for (const QString &s : t)
                if (s.startsWith(QLatin1String("ROW")))
                    printed.append(s);
            if (t.contains(QStringLiteral("SUMMARY")))
                summaryPage = int(p);
            for (const DrawItem &i : pages.pages.at(p).items)
                QVERIFY(i.rect.bottom() <= 2870 + 1e-6);
        }
        QCOMPARE(titleCount, 1);
        QCOMPARE(headerCount, int(pages.pages.size()));
        QCOMPARE(printed, rows);
        QCOMPARE(summaryPage, int(pages.pages.size()) - 1);
        QCOMPARE(progress.last(), 100);
        for (int p : progress)
            QCOMPARE(p % 5, 0);
        // On the first page the header follows the title.
        const DrawItem *h = textItem(pages, QStringLiteral("HEADER"));
        QVERIFY(std::abs(h->rect.top() - 300) < 1e-6);
    }

    void stretchedColumnHeaderRunsOnOnceAndTheSummaryFollowsWhole()
    {
        // A list in the column header, as on the delivery receipt: it stretches its band, goes on
        // over the next page without repeating, and the summary after it is never cut.
        auto build = [](TQuickRep &rep, int count) {
            new TQRBand(&rep, QStringLiteral("Title"), BandKind::Title, 800);
            auto *header = new TQRBand(&rep, QStringLiteral("Header"), BandKind::ColumnHeader, 85);
            new TQRLabel(header, QStringLiteral("Caption"), QStringLiteral("REFS:"));
            auto *list = new TQRLabel(header, QStringLiteral("List"));
            list->autoSize = false;
            list->wordWrap = true;
            list->autoStretch = true;
            list->left = 360;
            list->top = 21;
            list->width = 1420;
            list->height = 45;
            QStringList refs;
            for (int i = 0; i < count; ++i)
                refs.append(QStringLiteral("K%1").arg(i, 4, 10, QLatin1Char('0')));
            list->setCaption(refs.join(QStringLiteral("  -  ")));
            auto *summary = new TQRBand(&rep, QStringLiteral("Summary"), BandKind::Summary, 825);
            new TQRLabel(summary, QStringLiteral("First"), QStringLiteral("SUMFIRST"));
            auto *last = new TQRLabel(summary, QStringLiteral("Last"), QStringLiteral("SUMLAST"));
            last->top = 740;
            return refs;
        };
        for (int count : {30, 300, 600}) {
            TQuickRep rep(nullptr);
            const QStringList refs = build(rep, count);
            const ReportPages pages = rep.prepare();
            QStringList printed;
            int captions = 0, firstPage = -1, lastPage = -1, lastListPage = 0;
            double lastListBottom = 0;
            for (qsizetype p = 0; p < pages.pages.size(); ++p) {
                for (const DrawItem &i : pages.pages.at(p).items) {
                    QVERIFY(i.rect.bottom() <= 2870 + 1e-6);
                    if (i.kind != DrawItem::Kind::Text)
                        continue;
                    if (i.text.startsWith(QLatin1Char('K'))) {
                        for (const QString &r : i.text.split(QLatin1Char('-'), Qt::SkipEmptyParts))
                            if (!r.trimmed().isEmpty())
                                printed.append(r.trimmed());
                        lastListPage = int(p);
                        lastListBottom = i.rect.bottom();
                    }
                    captions += i.text == QLatin1String("REFS:");
                    if (i.text == QLatin1String("SUMFIRST"))
                        firstPage = int(p);
                    if (i.text == QLatin1String("SUMLAST"))
                        lastPage = int(p);
                }
            }
            QCOMPARE(printed, refs);  // every number once, in order
            QCOMPARE(captions, 1);    // the stretched header is not repeated
            QCOMPARE(firstPage, lastPage);
            QCOMPARE(lastPage, int(pages.pages.size()) - 1);
            const DrawItem *sum = textItem(pages, QStringLiteral("SUMFIRST"));
            if (lastPage == lastListPage)
                QVERIFY(sum->rect.top() > lastListBottom);
            else
                QVERIFY(std::abs(sum->rect.top() - 100) < 1e-6);  // whole, at the next page's top
            // 30 fit one page; 300 fill the first, and the summary moves on; 600 run on.
            QCOMPARE(pages.pages.size(), count == 30 ? 1 : 2);
            QCOMPARE(lastListPage, count == 600 ? 1 : 0);
        }
    }

    void printIfEmptyAndReportsWithoutDetail()
    {
        {
            ListReport r;  // no data source
            QCOMPARE(texts(r.rep.prepare().pages.first()),
                     QStringList({QStringLiteral("TITLE"), QStringLiteral("HEADER"), QStringLiteral("ONCE"),
                                  QStringLiteral("SUMMARY")}));
            r.rep.printIfEmpty = false;
            QVERIFY(!texts(r.rep.prepare().pages.first()).contains(QStringLiteral("ONCE")));
        }
        {
            Records empty({});
            ListReport r(&empty);
            r.value->setCaption(QStringLiteral("EMPTY"));
            r.detail->beforePrint = nullptr;
            QVERIFY(texts(r.rep.prepare().pages.first()).contains(QStringLiteral("EMPTY")));
        }
        {
            // Records but no detail band: title, header and summary once.
            Records three({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
            ListReport r(&three);
            delete r.detail;
            const ReportPages pages = r.rep.prepare();
            QCOMPARE(pages.pages.size(), 1);
            QCOMPARE(texts(pages.pages.first()),
                     QStringList({QStringLiteral("TITLE"), QStringLiteral("HEADER"), QStringLiteral("SUMMARY")}));
        }
    }

    void savedReportRoundTripAndBadFiles()
    {
        QTemporaryDir dir;
        QStringList rows;
        for (int i = 0; i < 40; ++i)
            rows.append(QStringLiteral("Linha ção %1").arg(i));
        Records source(rows);
        ListReport r(&source);
        const ReportPages pages = r.rep.prepare();
        const QString path = dir.filePath(QStringLiteral("r.qrp"));
        QVERIFY(saveReport(pages, path));
        QString error;
        const auto back = loadReport(path, &error);
        QVERIFY2(back.has_value(), qPrintable(error));
        QCOMPARE(*back, pages);

        QVERIFY(!loadReport(dir.filePath(QStringLiteral("missing.qrp")), &error));
        QCOMPARE(error, QStringLiteral("File does not exist"));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        f.close();
        for (const QByteArray &bad : {bytes.left(bytes.size() / 2), QByteArray("not a report at all"),
                                      bytes.left(7) + QByteArray(8, '\xff') + bytes.mid(15)}) {
            QFile w(dir.filePath(QStringLiteral("bad.qrp")));
            QVERIFY(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
            w.write(bad);
            w.close();
            QVERIFY(!loadReport(w.fileName(), &error));
            QVERIFY(!error.isEmpty());
        }
    }

    void printsOneJobWithTheReportSettings()
    {
        QTemporaryDir dir;
        PdfPrinterServices services(dir.path(), {QStringLiteral("Default"), QStringLiteral("Plain")});
        services.noCopySupport = {QStringLiteral("Plain")};
        setPrinterServices(&services);
        QStringList rows;
        for (int i = 0; i < 40; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        r.rep.showProgress = false;
        r.rep.copies = 3;
        QCOMPARE(r.rep.print(), PrintOutcome::Printed);
        r.rep.printerIndex = 1;  // a driver that makes no copies: one copy
        QCOMPARE(r.rep.print(), PrintOutcome::Printed);
        r.rep.printerIndex = -1;
        r.rep.copies = 1;
        r.rep.firstPage = 2;
        r.rep.lastPage = 2;
        QCOMPARE(r.rep.print(), PrintOutcome::Printed);
        QCOMPARE(services.jobs.size(), 3);
        QCOMPARE(services.jobs[0].printer, QStringLiteral("Default"));
        QCOMPARE(services.jobs[0].copies, 3);
        QCOMPARE(services.jobs[1].printer, QStringLiteral("Plain"));
        QCOMPARE(services.jobs[1].copies, 1);
        const int all = int(r.rep.prepare().pages.size());
        QCOMPARE(pdfPages(services.jobs[0].file), all);
        QCOMPARE(pdfPages(services.jobs[2].file), 1);
        setPrinterServices(nullptr);
    }

    void noPrinterPrintsNothing()
    {
        QTemporaryDir dir;
        PdfPrinterServices none(dir.path(), {});
        setPrinterServices(&none);
        ListReport r;
        QCOMPARE(r.rep.print(), PrintOutcome::NoPrinter);
        QVERIFY(none.jobs.isEmpty());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        setPrinterServices(nullptr);
    }

    void progressWindowCancelAbortsTheJob()
    {
        QTemporaryDir dir;
        PdfPrinterServices services(dir.path(), {QStringLiteral("P")});
        setPrinterServices(&services);
        QStringList rows;
        for (int i = 0; i < 200; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        QString caption;
        bool onTop = false;
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *p = qobject_cast<TQRProgressForm *>(w); p && p->isVisible()) {
                    caption = p->windowTitle();
                    onTop = p->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                    QCOMPARE(p->CancelButton->text(), QStringLiteral("Cancel"));
                    p->CancelButton->click();
                }
            }
        });
        QCOMPARE(r.rep.print(), PrintOutcome::Cancelled);
        QCOMPARE(caption, QStringLiteral("Printing progress"));
        QVERIFY(onTop);
        QCOMPARE(services.jobs.size(), 1);
        QVERIFY(services.jobs[0].aborted);
        QVERIFY(!services.jobs[0].finished);
        QVERIFY(!QFile::exists(services.jobs[0].file));
        setPrinterServices(nullptr);

        TQRProgressForm form;
        form.setProgress(37);
        QCOMPARE(form.Gauge->value(), 35);
        QCOMPARE(form.Info->text(), QStringLiteral("35%"));
    }

    void previewZoomAndPageKeys()
    {
        QCOMPARE(clampZoom(1), MinZoom);
        QCOMPARE(clampZoom(5000), MaxZoom);
        QCOMPARE(fitZoom({800, 1000}, {400, 1000}), 47);  // 95 per cent of the narrower side
        QCOMPARE(widthZoom({800, 1000}, {400, 300}), 45);
        QCOMPARE(widthZoom({10, 10}, {100000, 10}), MaxZoom);

        QStringList rows;
        for (int i = 0; i < 90; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        TQRPreview preview(&r.rep);
        preview.resize(800, 600);
        preview.show();
        QTRY_VERIFY(preview.pageCount() > 2);
        const int n = preview.pageCount();
        QCOMPARE(preview.PageLabel->text(), QStringLiteral("Página 1 de %1").arg(n));
        QVERIFY(preview.Print->isEnabled() && preview.PrinterSetup->isEnabled());
        preview.setZoom(1);
        QCOMPARE(preview.zoom(), MinZoom);
        preview.setZoom(99999);
        QCOMPARE(preview.zoom(), MaxZoom);
        preview.Zoom100->click();
        QCOMPARE(preview.zoom(), 100);
        QTest::keyClick(&preview, Qt::Key_PageDown);
        QCOMPARE(preview.pageIndex(), 1);
        QTest::keyClick(&preview, Qt::Key_End);
        QCOMPARE(preview.pageIndex(), n - 1);
        QCOMPARE(preview.PageLabel->text(), QStringLiteral("Página %1 de %1").arg(n));
        QTest::keyClick(&preview, Qt::Key_PageDown);  // stays on the last page
        QCOMPARE(preview.pageIndex(), n - 1);
        QTest::keyClick(&preview, Qt::Key_PageUp);
        QCOMPARE(preview.pageIndex(), n - 2);
        QTest::keyClick(&preview, Qt::Key_Home);
        QCOMPARE(preview.pageIndex(), 0);
        QTest::keyClick(&preview, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(preview.pageIndex(), n - 1);
        QTest::keyClick(&preview, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(preview.pageIndex(), 0);
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible());
    }

    // The keys reach the window's focused part, the scrolled page, which would otherwise
    // spend them on scrolling inside a page taller than the window.
    void previewPageKeysTurnPagesInEveryZoom()
    {
        QStringList rows;
        for (int i = 0; i < 90; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        TQRPreview preview(&r.rep);
        preview.resize(800, 600);
        preview.show();
        QTRY_VERIFY(preview.pageCount() > 2);
        preview.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&preview));
        preview.ScrollBox->setFocus();
        for (QToolButton *zoom : {preview.ZoomToFit, preview.Zoom100, preview.ZoomToWidth}) {
            zoom->click();
            QWidget *focused = QApplication::focusWidget();
            QVERIFY(focused);
            preview.showPage(0);
            QTest::keyClick(focused, Qt::Key_PageDown);
            QCOMPARE(preview.pageIndex(), 1);
            QTest::keyClick(focused, Qt::Key_PageDown);
            QCOMPARE(preview.pageIndex(), 2);
            QTest::keyClick(focused, Qt::Key_PageUp);
            QCOMPARE(preview.pageIndex(), 1);
            QTest::keyClick(focused, Qt::Key_End);
            QCOMPARE(preview.pageIndex(), preview.pageCount() - 1);
        }
        // The arrow keys still scroll inside the page at 100 %.
        preview.Zoom100->click();
        preview.showPage(0);
        QScrollBar *bar = preview.ScrollBox->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        QTest::keyClick(preview.ScrollBox, Qt::Key_Down);
        QVERIFY(bar->value() > 0);
        QCOMPARE(preview.pageIndex(), 0);
    }

    void previewOpensMaximisedZoomedToWidth()
    {
        ListReport r;
        QString caption, closeText;
        QStringList order;
        bool maximised = false;
        int zoom = 0, expected = -1;
        auto watch = modaltest::whenModal([&](QWidget *w) {
            auto *p = qobject_cast<TQRPreview *>(w);
            QVERIFY(p);
            caption = p->windowTitle();
            maximised = p->windowState().testFlag(Qt::WindowMaximized);
            QTRY_VERIFY_WITH_TIMEOUT(p->pageCount() == 1, 5000);
            zoom = p->zoom();
            p->zoomToWidth();
            expected = p->zoom();
            for (QToolButton *b : p->findChildren<QToolButton *>())
                if (!b->objectName().startsWith(QLatin1String("qt_")))
                    order.append(b->objectName());
            closeText = p->CloseButton->text();
            p->CloseButton->click();
        });
        r.rep.preview();
        QVERIFY(watch->acted);
        QCOMPARE(caption, QStringLiteral("Print Preview"));
        QVERIFY(maximised);
        QCOMPARE(zoom, expected);
        QCOMPARE(order, QStringList({QStringLiteral("ZoomToFit"), QStringLiteral("Zoom100"),
                                     QStringLiteral("ZoomToWidth"), QStringLiteral("FirstPage"),
                                     QStringLiteral("PrevPage"), QStringLiteral("NextPage"),
                                     QStringLiteral("LastPage"), QStringLiteral("PrinterSetup"),
                                     QStringLiteral("Print"), QStringLiteral("SaveReport"),
                                     QStringLiteral("LoadReport"), QStringLiteral("CloseButton")}));
        QCOMPARE(closeText, QStringLiteral("&Close"));

        r.rep.reportTitle = QStringLiteral("Recibo");
        auto second = modaltest::whenModal([&](QWidget *w) {
            caption = w->windowTitle();
            w->close();
        });
        r.rep.preview();
        QVERIFY(second->acted);
        QCOMPARE(caption, QStringLiteral("Recibo"));
    }

    void previewSavesLoadsAndPrintsLoadedPages()
    {
        QTemporaryDir dir;
        PdfPrinterServices services(dir.path(), {QStringLiteral("P")});
        setPrinterServices(&services);
        QStringList rows;
        for (int i = 0; i < 60; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        r.rep.showProgress = false;
        TQRPreview preview(&r.rep);
        preview.show();
        QTRY_VERIFY(preview.pageCount() > 1);
        const ReportPages shown = preview.pages();

        // Save through the dialog titled "Save report", which offers PDF as well.
        const QString saved = dir.filePath(QStringLiteral("saved.qrp"));
        QString title;
        QStringList filters;
        auto watch = modaltest::whenModal([&](QWidget *w) {
            auto *d = qobject_cast<QFileDialog *>(w);
            title = d->windowTitle();
            filters = d->nameFilters();
            d->selectFile(saved);
            QMetaObject::invokeMethod(d, "accept");
        });
        preview.SaveReport->click();
        QVERIFY(watch->acted);
        QCOMPARE(title, QStringLiteral("Save report"));
        QVERIFY(filters.join(QLatin1Char(' ')).contains(QLatin1String("*.pdf")));
        QVERIFY(QFile::exists(saved));
        QVERIFY(preview.saveTo(dir.filePath(QStringLiteral("saved.pdf"))));
        QCOMPARE(pdfPages(dir.filePath(QStringLiteral("saved.pdf"))), int(shown.pages.size()));

        // A missing file: the message, and the preview keeps what it showed.
        QString message;
        std::shared_ptr<modaltest::ModalWatch> box;
        auto missing = modaltest::whenModal([&](QWidget *w) {
            auto *d = qobject_cast<QFileDialog *>(w);
            QVERIFY(d);
            title = d->windowTitle();
            // The message comes once the file dialog has gone.
            box = modaltest::whenModal([&](QWidget *b) {
                if (auto *m = qobject_cast<QMessageBox *>(b))
                    message = m->text();
                b->close();
            });
            d->selectFile(dir.filePath(QStringLiteral("nothing.qrp")));
            QMetaObject::invokeMethod(d, "accept");
        });
        preview.LoadReport->click();
        QVERIFY(missing->acted);
        QCOMPARE(title, QStringLiteral("Load report"));
        QVERIFY(box && box->acted);
        QCOMPARE(message, QStringLiteral("File does not exist"));
        QCOMPARE(preview.pages(), shown);
        QVERIFY(!preview.isLoaded());

        // A loaded report: shown again, no printer setup, print prints the loaded pages.
        ListReport other;
        TQRPreview second(&other.rep);
        second.show();
        QTRY_VERIFY(second.pageCount() == 1);
        QVERIFY(second.loadFrom(saved));
        QCOMPARE(second.pages(), shown);
        QVERIFY(!second.PrinterSetup->isEnabled());
        second.Print->click();
        QCOMPARE(services.jobs.size(), 1);
        QCOMPARE(pdfPages(services.jobs[0].file), int(shown.pages.size()));
        setPrinterServices(nullptr);
    }

    void previewPrinterSetupStoresTheChoice()
    {
        QTemporaryDir dir;
        PdfPrinterServices services(dir.path(), {QStringLiteral("A"), QStringLiteral("B")});
        setPrinterServices(&services);
        QStringList rows;
        for (int i = 0; i < 60; ++i)
            rows.append(QStringLiteral("ROW%1").arg(i));
        Records source(rows);
        ListReport r(&source);
        TQRPreview preview(&r.rep);
        preview.show();
        QTRY_VERIFY(preview.PrinterSetup->isEnabled());
        int offered = 0;
        services.dialogHandler = [&](PrinterChoice &c) { offered = c.maxPage; return false; };
        preview.PrinterSetup->click();
        QCOMPARE(offered, preview.pageCount());
        QCOMPARE(r.rep.printerIndex, -1);  // cancel stores nothing
        services.dialogHandler = [&](PrinterChoice &c) {
            c.index = 1;
            c.copies = 2;
            c.orientation = Orientation::Landscape;
            c.allPages = false;
            c.fromPage = 1;
            c.toPage = 2;
            return true;
        };
        preview.PrinterSetup->click();
        QCOMPARE(r.rep.printerIndex, 1);
        QCOMPARE(r.rep.copies, 2);
        QCOMPARE(r.rep.orientation, Orientation::Landscape);
        QCOMPARE(r.rep.firstPage, 1);
        QCOMPARE(r.rep.lastPage, 2);
        setPrinterServices(nullptr);
    }
};

QTEST_MAIN(TestReportEngine)
#include "tst_reportengine.moc"
