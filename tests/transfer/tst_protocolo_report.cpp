// The delivery receipt report read back from Qt's own PDF output with pdftotext -bbox, in
// millimetres: every label at its place, a long list over two pages, and bl-tool pdf-receipt.

#include "../print/PdfWords.h"
#include "ProtocoloTestSupport.h"
#include "ReportOutput.h"
#include "U_ProtocoloPrint.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr double Tolerance = 0.3;  // mm
constexpr double Margin = 12.7;
constexpr double TitleTop = Margin;
constexpr double HeaderTop = TitleTop + 78.58;
constexpr double SummaryTop = HeaderTop + 8.47;  // with a list of one line

QList<pdfwords::Page> render(const TF_ProtocoloPrint &form, const QString &path)
{
    return report::writePdf(form.QuickRep1->prepare(), path) ? pdfwords::read(path) : QList<pdfwords::Page>{};
}

// The words whose tops lie at y, left to right.
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
    QVERIFY2(std::abs(w.xMin - x) <= Tolerance && std::abs(w.yMin - y) <= Tolerance,
             qPrintable(QStringLiteral("%1: at %2, %3; expected %4, %5").arg(text).arg(w.xMin).arg(w.yMin).arg(x).arg(y)));
}

} // namespace

class TestProtocoloReport : public QObject
{
    Q_OBJECT
private slots:
    void everyLabelAtItsPlace()
    {
        QTemporaryDir dir;
        TF_ProtocoloPrint form;
        const ReceiptData data{QStringLiteral("CURITIBA"), QStringLiteral("ACME EXPORTADORA LTDA"),
                               QStringLiteral("/media/stick/BL061226"),
                               {QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("C3")},
                               QDateTime(QDate(2026, 12, 6), QTime(18, 34))};
        form.fill(data, QLocale(QLocale::Portuguese, QLocale::Brazil));
        const QList<pdfwords::Page> pages = render(form, dir.filePath(QStringLiteral("r.pdf")));
        QCOMPARE(pages.size(), 1);
        const pdfwords::Page &page = pages.first();
        QVERIFY(std::abs(page.width - 210.0) < 0.2 && std::abs(page.height - 297.0) < 0.2);

        const protocolo::Heading h = protocolo::heading(agencyDetails());
        const struct
        {
            QString text;
            double left, top, bandTop;
        } expected[] = {
            {h.line1, 4.23, 8.47, TitleTop}, {h.line2, 4.23, 16.93, TitleTop}, {h.line3, 4.23, 21.17, TitleTop},
            {h.line4, 4.23, 25.40, TitleTop}, {h.line5, 4.23, 29.63, TitleTop},
            {QStringLiteral("Emissão:"), 4.23, 63.50, TitleTop},
            {QStringLiteral("CURITIBA, domingo, 6 de dezembro de 2026, as 06:34 PM"), 35.98, 63.50, TitleTop},
            {QStringLiteral("Cliente:"), 4.23, 71.97, TitleTop},
            {QStringLiteral("ACME EXPORTADORA LTDA"), 35.98, 71.97, TitleTop},
            {QStringLiteral("Ref. de Reservas:"), 4.23, 2.12, HeaderTop},
            {QStringLiteral("A1 - B2 - C3 -"), 35.98, 2.12, HeaderTop},
            {QStringLiteral("Recebemos do Cliente acima um arquivo contendo as ref. de reservas mencionadas neste "
                            "documento."), 4.23, 2.12, SummaryTop},
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
        // "Protocolo" centred on the band, 184.68 mm wide between the margins.
        pdfwords::Word title;
        QVERIFY(pdfwords::find(page, QStringLiteral("Protocolo"), title));
        QVERIFY(std::abs((title.xMin + title.xMax) / 2 - (Margin + 184.68 / 2)) <= Tolerance);
        QVERIFY(std::abs(title.yMin - (TitleTop + 44.45)) <= Tolerance);

        // The disclaimer reads as one text over three lines, its end clear of the agency's name.
        QCOMPARE(lineAt(page, SummaryTop + 8.47) + QLatin1Char(' ') + lineAt(page, SummaryTop + 14.82),
                 QStringLiteral("Este protocolo não garante os dados gravados no disquete em anexo, até que se faça a "
                                "verificação física do mesmo no sistema da ") + h.disclaimerEnd);
        pdfwords::Word da, name;
        QVERIFY(pdfwords::find(page, QStringLiteral("sistema da"), da) && pdfwords::find(page, h.disclaimerEnd, name));
        QVERIFY(da.xMax < name.xMin);
    }

    void threeHundredNumbersOverTwoPages()
    {
        QTemporaryDir dir;
        TF_ProtocoloPrint form;
        ReceiptData d;
        d.bookings = receipttest::bookingRun(300);
        form.fill(d, QLocale());
        const QList<pdfwords::Page> pages = render(form, dir.filePath(QStringLiteral("r.pdf")));
        QCOMPARE(pages.size(), 2);
        QStringList printed;
        static const QRegularExpression number(QStringLiteral("^SSZ\\d{7}$"));
        for (const pdfwords::Page &p : pages)
            for (const pdfwords::Word &w : p.words) {
                if (number.match(w.text).hasMatch())
                    printed.append(w.text);
                QVERIFY(w.yMax <= 297 - Margin + Tolerance);
            }
        QCOMPARE(printed, d.bookings);  // none lost, none twice, in order
        // The list goes on at the top of the second page; the summary follows it there, whole.
        const pdfwords::Page &second = pages.at(1);
        QVERIFY(number.match(second.words.first().text).hasMatch());
        QVERIFY(std::abs(second.words.first().yMin - Margin) <= Tolerance);
        pdfwords::Word first, last;
        QVERIFY(pdfwords::find(second, QStringLiteral("Recebemos do Cliente"), first));
        QVERIFY(pdfwords::find(second, QStringLiteral("Assinatura:"), last));
        QVERIFY(std::abs((last.yMin - first.yMin) - (74.08 - 2.12)) <= Tolerance);
    }

    void blToolRendersTheReceiptOfATransferFile()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("BL061226.DB"));
        const QString empty = dir.filePath(QStringLiteral("VAZIO.DB"));
        const QString out = dir.filePath(QStringLiteral("r.pdf"));
        receipttest::makeTransfer(db, {QStringLiteral("A1"), QStringLiteral("c3")});
        receipttest::makeTransfer(empty, {});
        auto run = [&](const QString &file, const QString &company, QString *err = nullptr) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LANG"), QStringLiteral("pt_BR.UTF-8"));
            env.remove(QStringLiteral("LC_ALL"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(BL_TOOL_PATH), {QStringLiteral("pdf-receipt"), file, QStringLiteral("--company"),
                                                   company, QStringLiteral("--city"), QStringLiteral("curitiba"),
                                                   QStringLiteral("-o"), out});
            p.waitForFinished(60000);
            if (err)
                *err = QString::fromUtf8(p.readAllStandardError());
            return p.exitCode();
        };
        QString err;
        QCOMPARE(run(empty, QStringLiteral("ACME"), &err), 2);
        QVERIFY2(err.contains(QStringLiteral("Não existe ref. de Reserva para este protocolo.")), qPrintable(err));
        QCOMPARE(run(db, QString(), &err), 2);
        QVERIFY2(err.contains(QStringLiteral("Necessário nome da Empresa.")), qPrintable(err));
        QVERIFY(!QFile::exists(out));

        const QDateTime before = QDateTime::currentDateTime();
        QCOMPARE(run(db, QStringLiteral("acme exportação ltda"), &err), 0);
        const QDateTime after = QDateTime::currentDateTime();
        const QList<pdfwords::Page> pages = pdfwords::read(out);
        QCOMPARE(pages.size(), 1);
        // Upper case as the window types it; the numbers as stored; an opened file with ".DB".
        checkPlace(pages.first(), QStringLiteral("ACME EXPORTAÇÃO LTDA"), Margin + 35.98, TitleTop + 71.97);
        checkPlace(pages.first(), QStringLiteral("A1 - c3 -"), Margin + 35.98, HeaderTop + 2.12);
        checkPlace(pages.first(), db, Margin + 88.90, SummaryTop + 48.68);
        // The moment in the names of LANG, at the time of the run.
        const QString moment = lineAt(pages.first(), TitleTop + 63.50).section(QLatin1Char(' '), 1);
        const QLocale pt(QLocale::Portuguese, QLocale::Brazil);
        QVERIFY2(moment == protocolo::issueMoment(QStringLiteral("CURITIBA"), before, pt).simplified()
                     || moment == protocolo::issueMoment(QStringLiteral("CURITIBA"), after, pt).simplified(),
                 qPrintable(moment));
    }
};

QTEST_MAIN(TestProtocoloReport)
#include "tst_protocolo_report.moc"
