// The delivery receipt report: every label at its place, read back from Qt's own PDF output
// with pdftotext -bbox in millimetres; the list of booking numbers stretching over two pages;
// and bl-tool pdf-receipt, which renders the same report for a transfer file.

#include "../print/PdfWords.h"
#include "ProtocoloTestSupport.h"
#include "ReportOutput.h"
#include "U_ProtocoloPrint.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace report;

namespace {

constexpr double Tolerance = 0.3;  // mm
constexpr double Margin = 12.7;
constexpr double TitleTop = Margin;
constexpr double HeaderTop = TitleTop + 78.58;
constexpr double SummaryTop = HeaderTop + 8.47;  // with a list of one line

struct Expect
{
    const char *text;
    double left;
    double top;
    double bandTop;
};

const QString Disclaimer = QStringLiteral(
    "Este protocolo não garante os dados gravados no disquete em anexo, até que se faça a verificação "
    "física do mesmo no sistema da Quillamar Agência Marítima Ltda.");

ReceiptData sample()
{
    ReceiptData d;
    d.city = QStringLiteral("CURITIBA");
    d.company = QStringLiteral("ACME EXPORTADORA LTDA");
    d.fileLine = QStringLiteral("/media/stick/BL061226");
    d.bookings = {QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("C3")};
    d.moment = QDateTime(QDate(2026, 12, 6), QTime(18, 34));
    return d;
}

QList<pdfwords::Page> render(const TF_ProtocoloPrint &form, const QString &path)
{
    if (!writePdf(form.QuickRep1->prepare(), path))
        return {};
    return pdfwords::read(path);
}

QString wordsOf(const pdfwords::Page &page)
{
    QStringList out;
    for (const pdfwords::Word &w : page.words)
        out.append(w.text);
    return out.join(QLatin1Char(' '));
}

// The words whose tops lie within tolerance of y, left to right.
QString lineAt(const pdfwords::Page &page, double y)
{
    QList<pdfwords::Word> words;
    for (const pdfwords::Word &w : page.words)
        if (std::abs(w.yMin - y) <= Tolerance)
            words.append(w);
    std::sort(words.begin(), words.end(), [](const auto &a, const auto &b) { return a.xMin < b.xMin; });
    QStringList out;
    for (const pdfwords::Word &w : words)
        out.append(w.text);
    return out.join(QLatin1Char(' '));
}

void checkPlace(const pdfwords::Page &page, const QString &text, double x, double y)
{
    pdfwords::Word w;
    QVERIFY2(pdfwords::find(page, text, w), qPrintable(text));
    QVERIFY2(std::abs(w.xMin - x) <= Tolerance,
             qPrintable(QStringLiteral("%1: x %2, expected %3").arg(text).arg(w.xMin).arg(x)));
    QVERIFY2(std::abs(w.yMin - y) <= Tolerance,
             qPrintable(QStringLiteral("%1: y %2, expected %3").arg(text).arg(w.yMin).arg(y)));
}

struct ToolRun
{
    int exitCode = -1;
    QString err;
};

ToolRun runTool(const QStringList &args, const QString &lang = QStringLiteral("pt_BR.UTF-8"))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), lang);
    env.remove(QStringLiteral("LC_ALL"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(BL_TOOL_PATH), args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestProtocoloReport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void everyLabelAtItsPlace()
    {
        QTemporaryDir dir;
        TF_ProtocoloPrint form;
        QCOMPARE(form.windowTitle(), QStringLiteral("impressao do protocolo"));
        form.fill(sample(), QLocale(QLocale::Portuguese, QLocale::Brazil));
        const QList<pdfwords::Page> pages = render(form, dir.filePath(QStringLiteral("r.pdf")));
        QCOMPARE(pages.size(), 1);
        const pdfwords::Page &page = pages.first();
        QVERIFY(std::abs(page.width - 210.0) < 0.2 && std::abs(page.height - 297.0) < 0.2);

        const protocolo::Heading h = protocolo::heading(agencyDetails());
        QVERIFY(!h.line4.isEmpty() && !h.line5.isEmpty());  // the built-in agency fills all five
        const struct
        {
            QString text;
            double left, top, bandTop;
        } expected[] = {
            {h.line1, 4.23, 8.47, TitleTop},
            {h.line2, 4.23, 16.93, TitleTop},
            {h.line3, 4.23, 21.17, TitleTop},
            {h.line4, 4.23, 25.40, TitleTop},
            {h.line5, 4.23, 29.63, TitleTop},
            {QStringLiteral("Emissão:"), 4.23, 63.50, TitleTop},
            {QStringLiteral("CURITIBA, domingo, 6 de dezembro de 2026, as 06:34 PM"), 35.98, 63.50, TitleTop},
            {QStringLiteral("Cliente:"), 4.23, 71.97, TitleTop},
            {QStringLiteral("ACME EXPORTADORA LTDA"), 35.98, 71.97, TitleTop},
            {QStringLiteral("Ref. de Reservas:"), 4.23, 2.12, HeaderTop},
            {QStringLiteral("A1 - B2 - C3 -"), 35.98, 2.12, HeaderTop},
            {QStringLiteral("Recebemos do Cliente acima um arquivo contendo as ref. de reservas mencionadas neste "
                            "documento."),
             4.23, 2.12, SummaryTop},
            {QStringLiteral("Este protocolo não garante"), 4.23, 8.47, SummaryTop},
            {QStringLiteral("física do mesmo no sistema da"), 4.23, 14.82, SummaryTop},
            {h.disclaimerEnd, 56.36, 14.82, SummaryTop},
            {QStringLiteral("Disquete:"), 4.23, 35.98, SummaryTop},
            {QStringLiteral("___________________"), 25.40, 35.98, SummaryTop},
            {QStringLiteral("Data:"), 4.23, 48.68, SummaryTop},
            {QStringLiteral("______/______/______"), 25.40, 48.68, SummaryTop},
            {QStringLiteral("Arquivo:"), 71.97, 48.68, SummaryTop},
            {QStringLiteral("/media/stick/BL061226"), 88.90, 48.68, SummaryTop},
            {QStringLiteral("Hora:"), 4.23, 61.38, SummaryTop},
            {QStringLiteral("______:______:______"), 25.40, 61.38, SummaryTop},
            {QStringLiteral("Assinatura:"), 4.23, 74.08, SummaryTop},
            {QString(56, QLatin1Char('_')), 25.40, 74.08, SummaryTop},
        };
        for (const auto &e : expected)
            checkPlace(page, e.text, Margin + e.left, e.bandTop + e.top);

        // "Protocolo" sits centred on the band, 184.68 mm wide between the margins.
        pdfwords::Word title;
        QVERIFY(pdfwords::find(page, QStringLiteral("Protocolo"), title));
        QVERIFY2(std::abs((title.xMin + title.xMax) / 2 - (Margin + 184.68 / 2)) <= Tolerance,
                 qPrintable(QString::number((title.xMin + title.xMax) / 2)));
        QVERIFY(std::abs(title.yMin - (TitleTop + 44.45)) <= Tolerance);
        // Its label and the legal name are 6.61 mm high, the 8-point lines 3.97 mm.
        QVERIFY(std::abs(form.label(6)->height - 66.1) < 0.5 && std::abs(form.label(1)->height - 66.1) < 0.5);
        QVERIFY(std::abs(form.label(2)->height - 39.7) < 0.5 && std::abs(form.label(16)->height - 45.0) < 0.5);
        QVERIFY(form.label(6)->font().underline && form.label(6)->font().pointSize == 16);

        // The disclaimer reads as one text over three lines; its end does not run into the
        // agency's name.
        const QString second = lineAt(page, SummaryTop + 8.47);
        const QString third = lineAt(page, SummaryTop + 14.82);
        QCOMPARE(second + QLatin1Char(' ') + third, Disclaimer);
        pdfwords::Word da, name;
        QVERIFY(pdfwords::find(page, QStringLiteral("sistema da"), da));
        QVERIFY(pdfwords::find(page, h.disclaimerEnd, name));
        QVERIFY(da.xMax < name.xMin);

        // The rule under the legal name: a line 173.83 mm long in the middle of its box.
        const ReportPages laid = form.QuickRep1->prepare();
        bool rule = false;
        for (const DrawItem &i : laid.pages.first().items)
            if (i.kind == DrawItem::Kind::Line && std::abs(i.rect.width() - 1738.3) < 0.5
                && std::abs(i.rect.left() - (127 + 42.3)) < 0.5 && std::abs(i.rect.top() - (127 + 148.2 + 11.9)) < 0.5)
                rule = true;
        QVERIFY(rule);
    }

    void aLongerListPushesTheSummaryDown()
    {
        QTemporaryDir dir;
        TF_ProtocoloPrint form;
        ReceiptData d = sample();
        d.bookings = receipttest::bookingRun(20);
        form.fill(d, QLocale());
        const int lines = int(form.label(11)->printLines().size());
        QVERIFY(lines >= 3);
        const QList<pdfwords::Page> pages = render(form, dir.filePath(QStringLiteral("r.pdf")));
        QCOMPARE(pages.size(), 1);
        const double spacing = TextMeasure(FontSpec{}).lineSpacing() / 10;
        const double grow = lines * spacing - 4.5;
        checkPlace(pages.first(), QStringLiteral("Assinatura:"), Margin + 4.23, SummaryTop + grow + 74.08);
        // Every line starts at the label's left edge and stays within its 142.08 mm.
        for (int k = 0; k < lines; ++k) {
            const double y = HeaderTop + 2.12 + k * spacing;
            QList<pdfwords::Word> row;
            for (const pdfwords::Word &w : pages.first().words)
                if (std::abs(w.yMin - y) <= Tolerance && w.xMin > Margin + 30)
                    row.append(w);
            QVERIFY(!row.isEmpty());
            double xMin = 1e9, xMax = 0;
            for (const pdfwords::Word &w : row) {
                xMin = std::min(xMin, w.xMin);
                xMax = std::max(xMax, w.xMax);
            }
            QVERIFY(std::abs(xMin - (Margin + 35.98)) <= Tolerance);
            QVERIFY(xMax <= Margin + 35.98 + 142.08 + Tolerance);
        }
    }

    void threeHundredNumbersOverTwoPages()
    {
        QTemporaryDir dir;
        TF_ProtocoloPrint form;
        ReceiptData d = sample();
        d.bookings = receipttest::bookingRun(300);
        form.fill(d, QLocale());
        const QList<pdfwords::Page> pages = render(form, dir.filePath(QStringLiteral("r.pdf")));
        QCOMPARE(pages.size(), 2);
        QStringList printed;
        int captions = 0;
        static const QRegularExpression number(QStringLiteral("^SSZ\\d{7}$"));
        for (const pdfwords::Page &p : pages)
            for (const pdfwords::Word &w : p.words) {
                if (number.match(w.text).hasMatch())
                    printed.append(w.text);
                if (w.text == QLatin1String("Reservas:"))
                    ++captions;
                QVERIFY(w.yMax <= 297 - Margin + Tolerance);
            }
        QCOMPARE(printed, d.bookings);
        QCOMPARE(captions, 1);
        // The list goes on at the top of the second page and the summary follows it whole.
        const pdfwords::Page &second = pages.at(1);
        QVERIFY(wordsOf(second).startsWith(QStringLiteral("SSZ")));
        pdfwords::Word first, last;
        QVERIFY(pdfwords::find(second, QStringLiteral("Recebemos do Cliente"), first));
        QVERIFY(pdfwords::find(second, QStringLiteral("Assinatura:"), last));
        QVERIFY(std::abs((last.yMin - first.yMin) - (74.08 - 2.12)) <= Tolerance);
        QVERIFY(std::abs(second.words.first().yMin - Margin) <= Tolerance);
        QVERIFY(!wordsOf(pages.first()).contains(QStringLiteral("Recebemos")));
    }

    void blToolRendersTheReceiptOfATransferFile()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("BL061226.DB"));
        receipttest::makeTransfer(db, {QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("c3")},
                                  {QStringLiteral("PARANAGUA")});
        const QString out = dir.filePath(QStringLiteral("recibo.pdf"));
        const QDateTime before = QDateTime::currentDateTime();
        const ToolRun run = runTool({QStringLiteral("pdf-receipt"), db, QStringLiteral("--company"),
                                     QStringLiteral("acme exportação ltda"), QStringLiteral("--city"),
                                     QStringLiteral("curitiba"), QStringLiteral("-o"), out});
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QList<pdfwords::Page> pages = pdfwords::read(out);
        QCOMPARE(pages.size(), 1);
        const pdfwords::Page &page = pages.first();
        // Upper case as the window types it; the booking numbers as stored.
        checkPlace(page, QStringLiteral("ACME EXPORTAÇÃO LTDA"), Margin + 35.98, TitleTop + 71.97);
        checkPlace(page, QStringLiteral("A1 - B2 - c3 -"), Margin + 35.98, HeaderTop + 2.12);
        // An opened file: its directory and name with ".DB" as given.
        checkPlace(page, db, Margin + 88.90, SummaryTop + 48.68);
        // The moment in the names of LANG, at the time of the run.
        const QLocale pt(QLocale::Portuguese, QLocale::Brazil);
        const QString moment = lineAt(page, TitleTop + 63.50).section(QLatin1Char(' '), 1);
        QStringList candidates;
        for (const QDateTime &t : {before, after})
            candidates.append(protocolo::issueMoment(QStringLiteral("CURITIBA"), t, pt).simplified());
        QVERIFY2(candidates.contains(moment), qPrintable(moment));
    }

    void blToolRefusals()
    {
        QTemporaryDir dir;
        const QString empty = dir.filePath(QStringLiteral("VAZIO.DB"));
        receipttest::makeTransfer(empty, {});
        const QString out = dir.filePath(QStringLiteral("r.pdf"));
        auto args = [&](const QString &db, const QString &company, const QString &city) {
            return QStringList{QStringLiteral("pdf-receipt"), db, QStringLiteral("--company"), company,
                               QStringLiteral("--city"), city, QStringLiteral("-o"), out};
        };
        ToolRun r = runTool(args(empty, QStringLiteral("ACME"), QStringLiteral("SANTOS")));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Não existe ref. de Reserva para este protocolo.")), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));

        const QString full = dir.filePath(QStringLiteral("CHEIO.DB"));
        receipttest::makeTransfer(full, {QStringLiteral("A1")});
        r = runTool(args(full, QString(), QStringLiteral("SANTOS")));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Necessário nome da Empresa.")), qPrintable(r.err));
        r = runTool(args(full, QStringLiteral("ACME"), QString()));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Necessário Cidade.")), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));

        r = runTool(args(dir.filePath(QStringLiteral("FALTA.DB")), QStringLiteral("ACME"), QStringLiteral("SANTOS")));
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("FALTA.DB")));
        r = runTool({QStringLiteral("pdf-receipt"), full, QStringLiteral("-o"), out});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_MAIN(TestProtocoloReport)
#include "tst_protocolo_report.moc"
