// The printed B/L: every heading and value at its place on the page, read back from Qt's
// own PDF output with pdftotext -bbox, in millimetres.

#include "PdfWords.h"
#include "PrintLogic.h"
#include "ReportOutput.h"
#include "U_BLPrint.h"

#include <limits>

#include <QTemporaryDir>
#include <QTest>

using namespace report;

namespace {

constexpr double Tolerance = 0.3;  // mm
constexpr double EdgeSlack = 0.05;  // pdftotext's rounding of a box that starts at the margin
constexpr double Margin = 10.0;
constexpr double TitleTop = 10.0;
constexpr double DetailTop = 89.1;

enum class Edge { Left, Right };

struct Expect
{
    int label;
    const char *text;  // heading text, or the value put in
    Edge edge;
    double x;  // band coordinate of the kept edge
    double top;
    double bandTop;
};

// Values chosen so every word is unique on the page.
const Expect Expected[] = {
    {1, "Shipper:", Edge::Left, 4.2, 2.1, TitleTop},
    {2, "Consignee:", Edge::Left, 4.2, 31.8, TitleTop},
    {3, "Notify:", Edge::Left, 99.5, 31.8, TitleTop},
    {14, "Bill of Lading No.:", Edge::Right, 154.8, 4.2, TitleTop},
    {15, "Shippers Ref.:", Edge::Right, 154.8, 13.8, TitleTop},
    {16, "Nr. da Reserva:", Edge::Right, 154.8, 21.2, TitleTop},
    {9, "Local vessel:", Edge::Right, 24.9, 61.4, TitleTop},
    {10, "Local port of loading:", Edge::Right, 36.8, 67.7, TitleTop},
    {11, "Port of discharge:", Edge::Right, 32.0, 73.3, TitleTop},
    {12, "Final destination (if on-carriage):", Edge::Right, 142.1, 61.4, TitleTop},
    {13, "Freight payable at:", Edge::Right, 142.1, 67.7, TitleTop},
    {17, "SHPA", Edge::Left, 4.2, 6.3, TitleTop},
    {18, "SHPB", Edge::Left, 4.2, 10.6, TitleTop},
    {19, "SHPC", Edge::Left, 4.2, 14.8, TitleTop},
    {20, "SHPD", Edge::Left, 4.2, 19.1, TitleTop},
    {21, "SHPE", Edge::Left, 4.2, 23.3, TitleTop},
    {22, "CNEA", Edge::Left, 4.2, 36.0, TitleTop},
    {23, "CNEB", Edge::Left, 4.2, 40.2, TitleTop},
    {24, "CNEC", Edge::Left, 4.2, 44.5, TitleTop},
    {25, "CNED", Edge::Left, 4.2, 48.7, TitleTop},
    {26, "CNEE", Edge::Left, 4.2, 52.9, TitleTop},
    {27, "NTFA", Edge::Left, 99.5, 36.0, TitleTop},
    {28, "NTFB", Edge::Left, 99.5, 40.2, TitleTop},
    {29, "NTFC", Edge::Left, 99.5, 44.5, TitleTop},
    {30, "NTFD", Edge::Left, 99.5, 48.7, TitleTop},
    {31, "NTFE", Edge::Left, 99.5, 52.9, TitleTop},
    {32, "BLNUMBER", Edge::Left, 158.5, 4.2, TitleTop},
    {33, "SHIPREF", Edge::Left, 158.5, 13.8, TitleTop},
    {34, "Booking-77", Edge::Left, 158.5, 21.2, TitleTop},
    {35, "VESSELX", Edge::Left, 38.1, 61.4, TitleTop},
    {36, "SANTOS", Edge::Left, 38.1, 67.7, TitleTop},
    {37, "HAMBURG", Edge::Left, 38.1, 73.3, TitleTop},
    {38, "MUNICH", Edge::Left, 143.7, 61.4, TitleTop},
    {39, "DESTINO", Edge::Left, 143.7, 67.7, TitleTop},
    {7, "Marks and Numbers:", Edge::Left, 4.2, 2.1, DetailTop},
    {8, "Description of packages and goods", Edge::Left, 52.9, 2.1, DetailTop},
    {4, "Gross Weight", Edge::Right, 184.4, 2.1, DetailTop},
    {40, "1.234.567,500", Edge::Right, 184.4, 8.5, DetailTop},
    {41, "KGS", Edge::Right, 184.4, 12.7, DetailTop},
    {5, "Measurement", Edge::Right, 184.4, 21.2, DetailTop},
    {42, "2,500", Edge::Right, 184.4, 27.5, DetailTop},
    {43, "CBM", Edge::Right, 184.4, 31.8, DetailTop},
    {6, "Net Weight", Edge::Right, 184.4, 40.2, DetailTop},
    {44, "-1.234,500", Edge::Right, 184.4, 46.6, DetailTop},
    {45, "NETKG", Edge::Right, 184.4, 50.8, DetailTop},
};

QList<pdfwords::Page> render(TF_BLPrint &form, const QString &dir)
{
    const QString path = dir + QStringLiteral("/bl.pdf");
    const ReportPages pages = form.QuickRep1->prepare();
    if (!writePdf(pages, path))
        return {};
    QString error;
    const QList<pdfwords::Page> out = pdfwords::read(path, &error);
    if (!error.isEmpty())
        qWarning() << error;
    return out;
}

} // namespace

class TestBLReport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void everyTextAtItsPlace()
    {
        QTemporaryDir dir;
        TF_BLPrint form;
        for (const Expect &e : Expected)
            if (e.label >= 17)
                form.label(e.label)->setCaption(QString::fromUtf8(e.text));
        form.QRMemo1->setLines({QStringLiteral("MARKSLINE")});
        form.QRMemo2->setLines({QStringLiteral("GOODSLINE")});
        const QList<pdfwords::Page> pages = render(form, dir.path());
        QCOMPARE(pages.size(), 1);
        const pdfwords::Page &page = pages.first();
        QVERIFY(std::abs(page.width - 210.0) < 0.2 && std::abs(page.height - 297.0) < 0.2);
        for (const Expect &e : Expected) {
            pdfwords::Word w;
            QVERIFY2(pdfwords::find(page, QString::fromUtf8(e.text), w), e.text);
            const double x = e.edge == Edge::Left ? w.xMin : w.xMax;
            const double wantX = Margin + e.x;
            const double wantY = e.bandTop + e.top;
            QVERIFY2(std::abs(x - wantX) <= Tolerance,
                     qPrintable(QStringLiteral("%1: x %2, expected %3").arg(QString::fromUtf8(e.text)).arg(x).arg(wantX)));
            QVERIFY2(std::abs(w.yMin - wantY) <= Tolerance,
                     qPrintable(QStringLiteral("%1: y %2, expected %3").arg(QString::fromUtf8(e.text)).arg(w.yMin).arg(wantY)));
        }
        // The memos print from their top, at their left edge.
        pdfwords::Word m;
        QVERIFY(pdfwords::find(page, QStringLiteral("MARKSLINE"), m));
        QVERIFY(std::abs(m.xMin - (Margin + 4.2)) <= Tolerance && std::abs(m.yMin - (DetailTop + 8.5)) <= Tolerance);
        QVERIFY(pdfwords::find(page, QStringLiteral("GOODSLINE"), m));
        QVERIFY(std::abs(m.xMin - (Margin + 52.9)) <= Tolerance && std::abs(m.yMin - (DetailTop + 8.5)) <= Tolerance);
    }

    void rightAlignedValueKeepsItsRightEdge()
    {
        QTemporaryDir dir;
        for (const QString &value : {QStringLiteral("1,000"), QStringLiteral("123.456.789,000")}) {
            TF_BLPrint form;
            form.label(40)->setCaption(value);
            const QList<pdfwords::Page> pages = render(form, dir.path());
            QCOMPARE(pages.size(), 1);
            pdfwords::Word w;
            QVERIFY(pdfwords::find(pages.first(), value, w));
            QVERIFY2(std::abs(w.xMax - 194.4) <= Tolerance, qPrintable(QString::number(w.xMax)));
        }
    }

    // A value that would pass the printable area, 10 mm from the paper's edge, is condensed
    // across until it ends there: its left place and type size stay, no character is lost.
    void longValuesStayInsideThePrintableArea_data()
    {
        QTest::addColumn<int>("label");
        QTest::addColumn<QString>("value");
        QTest::addColumn<double>("left");  // mm from the paper's left edge
        QTest::newRow("20-character B/L number") << 32 << QStringLiteral("12345678901234567890") << 168.5;
        QTest::newRow("40 wide letters on a notify line") << 27 << QString(40, QLatin1Char('W')) << 109.5;
        QTest::newRow("17 wide letters of a final destination") << 38 << QString(17, QLatin1Char('W')) << 153.7;
    }
    void longValuesStayInsideThePrintableArea()
    {
        QFETCH(int, label);
        QFETCH(QString, value);
        QFETCH(double, left);
        QTemporaryDir dir;
        TF_BLPrint form;
        form.label(label)->setCaption(value);
        const QList<pdfwords::Page> pages = render(form, dir.path());
        QCOMPARE(pages.size(), 1);
        pdfwords::Word w;
        QVERIFY(pdfwords::find(pages.first(), value, w));
        QVERIFY2(std::abs(w.xMin - left) <= Tolerance, qPrintable(QString::number(w.xMin)));
        QVERIFY2(w.xMax <= 200.0 + Tolerance && w.xMax > 199.0, qPrintable(QString::number(w.xMax)));
        // Condensed, not set smaller: the same height as a value that fits.
        pdfwords::Word heading;
        QVERIFY(pdfwords::find(pages.first(), QStringLiteral("Shipper:"), heading));
        QVERIFY(std::abs((w.yMax - w.yMin) - (heading.yMax - heading.yMin)) < 0.1);
        // The label keeps its designed place.
        QCOMPARE(form.label(label)->left, (left - Margin) * 10);
    }

    // Texts that fit print exactly as laid out, without a scale.
    void valuesThatFitAreNotCondensed()
    {
        TF_BLPrint form;
        form.label(32)->setCaption(QStringLiteral("123456789012345"));  // ends at 197.9 mm
        form.label(27)->setCaption(QString(36, QLatin1Char('X')));
        // Kept whole: a range over a member of a temporary would outlive the temporary.
        const ReportPages laidOut = form.QuickRep1->prepare();
        for (const DrawItem &i : laidOut.pages.first().items)
            if (i.kind == DrawItem::Kind::Text)
                QCOMPARE(i.scaleX, 1.0);
    }

    // Every value field at its longest, in its widest letters, with goods running on to further
    // pages: no text covers another, on paper (the words' boxes) or under a value's opaque
    // ground, and every word keeps 10 mm from every edge of every page.
    void longestValuesOverlapNothingAndStayInside()
    {
        QTemporaryDir dir;
        TF_BLPrint form;
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        const QString widestNumber = printlogic::numberText(-std::numeric_limits<double>::max(), brazil);
        QVERIFY(widestNumber.size() > 400);
        // Field sizes: party lines 40, the title band's other values 20, units 12.
        for (int label = 17; label <= 31; ++label)
            form.label(label)->setCaption(QString(40, QLatin1Char('W')));
        for (int label = 32; label <= 39; ++label)
            form.label(label)->setCaption(QString(20, QLatin1Char('W')));
        const QString vesselName = QStringLiteral("MSC ") + QString(16, QLatin1Char('W'));
        form.label(35)->setCaption(vesselName);
        for (int label : {40, 42, 44})
            form.label(label)->setCaption(widestNumber);
        for (int label : {41, 43, 45})
            form.label(label)->setCaption(QString(12, QLatin1Char('W')));
        form.QRMemo1->setLines({QString(400, QLatin1Char('W'))});
        QStringList goods;
        for (int i = 0; i < 150; ++i)
            goods << QString(60, QLatin1Char('W'));
        form.QRMemo2->setLines(goods);

        const ReportPages laidOut = form.QuickRep1->prepare();
        QVERIFY(laidOut.pages.size() >= 2);
        for (qsizetype n = 0; n < laidOut.pages.size(); ++n) {
            const QList<DrawItem> &items = laidOut.pages.at(n).items;
            for (const DrawItem &fill : items) {
                if (fill.kind != DrawItem::Kind::Fill)
                    continue;
                for (const DrawItem &text : items) {
                    if (text.kind != DrawItem::Kind::Text)
                        continue;
                    const QRectF both = fill.rect.intersected(text.rect);
                    const bool own = text.rect.left() >= fill.rect.left() - 0.5 && text.rect.right() <= fill.rect.right() + 0.5
                                     && text.rect.top() >= fill.rect.top() - 0.5;
                    QVERIFY2(own || both.width() < 1 || both.height() < 5,
                             qPrintable(QStringLiteral("page %1: a ground covers \"%2\"").arg(n + 1).arg(text.text.left(30))));
                }
            }
        }

        const QString path = dir.filePath(QStringLiteral("longest.pdf"));
        QVERIFY(writePdf(laidOut, path));
        const QList<pdfwords::Page> pages = pdfwords::read(path);
        QCOMPARE(pages.size(), laidOut.pages.size());
        int words = 0;
        for (qsizetype n = 0; n < pages.size(); ++n) {
            const pdfwords::Page &page = pages.at(n);
            const QList<pdfwords::Word> &w = page.words;
            for (qsizetype i = 0; i < w.size(); ++i) {
                const pdfwords::Word &a = w.at(i);
                ++words;
                const QString where = QStringLiteral("page %1, \"%2\" at %3..%4, %5..%6")
                                          .arg(n + 1)
                                          .arg(a.text.left(20))
                                          .arg(a.xMin)
                                          .arg(a.xMax)
                                          .arg(a.yMin)
                                          .arg(a.yMax);
                QVERIFY2(a.xMin >= Margin - EdgeSlack && a.yMin >= Margin - EdgeSlack
                             && a.xMax <= 210.0 - Margin + EdgeSlack && a.yMax <= 297.0 - Margin + EdgeSlack,
                         qPrintable(where));
                for (qsizetype k = i + 1; k < w.size(); ++k) {
                    const pdfwords::Word &b = w.at(k);
                    const double across = std::min(a.xMax, b.xMax) - std::max(a.xMin, b.xMin);
                    const double down = std::min(a.yMax, b.yMax) - std::max(a.yMin, b.yMin);
                    QVERIFY2(across <= 0.05 || down <= 0.5,
                             qPrintable(where + QStringLiteral(" overlaps \"%1\"").arg(b.text.left(20))));
                }
            }
        }
        QVERIFY(words > 150);
        // The vessel gives way to the heading after it: it ends before "Final" begins.
        pdfwords::Word vessel, heading;
        QVERIFY(pdfwords::find(pages.first(), vesselName, vessel));
        QVERIFY(pdfwords::find(pages.first(), QStringLiteral("Final destination (if on-carriage):"), heading));
        QVERIFY2(vessel.xMax < heading.xMin - 0.5 && vessel.xMax > heading.xMin - 1.5,
                 qPrintable(QStringLiteral("%1 / %2").arg(vessel.xMax).arg(heading.xMin)));
        QVERIFY2(std::abs(vessel.xMin - (Margin + 38.1)) <= Tolerance, qPrintable(QString::number(vessel.xMin)));
    }

    void emptyValuesPrintOnlyHeadings()
    {
        QTemporaryDir dir;
        TF_BLPrint form;
        const QList<pdfwords::Page> pages = render(form, dir.path());
        QCOMPARE(pages.size(), 1);
        QStringList words;
        for (const pdfwords::Word &w : pages.first().words)
            words.append(w.text);
        QStringList headings;
        for (const Expect &e : Expected)
            if (e.label < 17)
                headings += QString::fromUtf8(e.text).split(QLatin1Char(' '));
        std::sort(words.begin(), words.end());
        std::sort(headings.begin(), headings.end());
        QCOMPARE(words, headings);
    }

    void fullMemoStaysOnOnePageAndLongerOneContinues()
    {
        TF_BLPrint form;
        const double spacing = TextMeasure(form.QuickRep1->font).lineSpacing();
        const int fits = int(1823 / spacing);
        QStringList lines;
        for (int i = 0; i < fits; ++i)
            lines.append(QStringLiteral("LINE %1").arg(i + 1));
        form.QRMemo2->setLines(lines);
        QCOMPARE(form.QuickRep1->prepare().pages.size(), 1);
        // Far more lines than a page holds: the rest goes on following pages, none lost.
        for (int i = fits; i < 150; ++i)
            lines.append(QStringLiteral("LINE %1").arg(i + 1));
        form.QRMemo2->setLines(lines);
        const ReportPages pages = form.QuickRep1->prepare();
        QVERIFY(pages.pages.size() >= 2);
        QStringList printed;
        for (const ReportPage &p : pages.pages)
            for (const DrawItem &i : p.items) {
                if (i.kind == DrawItem::Kind::Text && i.text.startsWith(QLatin1String("LINE ")))
                    printed.append(i.text);
                // Nothing is drawn into the bottom margin.
                QVERIFY(i.rect.bottom() <= 2870 + 0.01);
            }
        QCOMPARE(printed, lines);
        // The goods go on from the first page, under the B/L's headings, not after them.
        QStringList first;
        for (const DrawItem &i : pages.pages.first().items)
            if (i.kind == DrawItem::Kind::Text)
                first.append(i.text);
        QVERIFY(first.contains(QStringLiteral("Shipper:")));
        QVERIFY(first.contains(QStringLiteral("LINE 1")));
        QVERIFY(first.contains(QStringLiteral("Gross Weight")));
    }

    // Pages after the first say in their top margin which B/L they belong to; page one is
    // as designed.
    void continuationPagesCarryTheBLAndThePageNumber()
    {
        QTemporaryDir dir;
        TF_BLPrint form;
        form.label(32)->setCaption(QStringLiteral("BLNO-4711"));
        form.label(34)->setCaption(QStringLiteral("RESERVA-88"));
        QStringList lines;
        for (int i = 0; i < 150; ++i)
            lines.append(QStringLiteral("GOODS %1").arg(i + 1));
        form.QRMemo2->setLines(lines);
        const QList<pdfwords::Page> pages = render(form, dir.path());
        QVERIFY(pages.size() >= 2);
        const int count = int(pages.size());
        pdfwords::Word w;
        QVERIFY(!pdfwords::find(pages.at(0), QStringLiteral("Página"), w));
        QVERIFY(pdfwords::find(pages.at(0), QStringLiteral("BLNO-4711"), w));
        QCOMPARE(pdfwords::find(pages.at(0), QStringLiteral("BLNO-4711"), w, 1), false);
        for (int n = 1; n < count; ++n) {
            const pdfwords::Page &page = pages.at(n);
            pdfwords::Word number, booking, position;
            QVERIFY(pdfwords::find(page, QStringLiteral("B/L: BLNO-4711"), number));
            QVERIFY(pdfwords::find(page, QStringLiteral("RESERVA-88"), booking));
            QVERIFY(pdfwords::find(page, QStringLiteral("Página %1 de %2").arg(n + 1).arg(count), position));
            // At the top of the printable area, 10 mm from the paper's edges, and above the goods.
            pdfwords::Word goods;
            QVERIFY(pdfwords::find(page, QStringLiteral("GOODS"), goods));
            for (const pdfwords::Word &x : {number, booking, position}) {
                QVERIFY2(x.yMin >= Margin - EdgeSlack && x.yMax < Margin + 5.0, qPrintable(QString::number(x.yMin)));
                QVERIFY(x.xMin >= Margin - Tolerance && x.xMax <= 200.0 + Tolerance);
                QVERIFY2(goods.yMin > x.yMax + 1.0, qPrintable(QString::number(goods.yMin)));
            }
            QVERIFY(std::abs(number.xMin - Margin) <= Tolerance);
            QVERIFY(std::abs(position.xMax - 200.0) <= Tolerance);
        }
    }
};

QTEST_MAIN(TestBLReport)
#include "tst_blreport.moc"
