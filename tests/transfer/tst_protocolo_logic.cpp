// The delivery receipt's texts: the list of booking numbers, the heading lines from the agency
// details and the moment of issue.

#include "ProtocoloLogic.h"

#include <QTest>

using namespace protocolo;

class TestProtocoloLogic : public QObject
{
    Q_OBJECT
private slots:
    void everyBookingNumberIsFollowedByTheSeparator()
    {
        QCOMPARE(bookingListLine({QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("C3")}),
                 QStringLiteral("A1  -  B2  -  C3  -  "));
        QCOMPARE(bookingListLine({}), QString());
    }

    void headingLinesFromTheAgencyDetails()
    {
        const AgencyDetails a{QStringLiteral("Agência Exemplo Ltda"), QStringLiteral("Rua A, 1"),
                              QStringLiteral("Santos - SP"), QStringLiteral("Fone: 1"), QStringLiteral("E-mail: a@b"),
                              QStringLiteral("www.b")};
        Heading h = heading(a);
        QCOMPARE(QStringList({h.line1, h.line2, h.line3, h.line4, h.line5, h.disclaimerEnd}),
                 QStringList({a.razao, a.endereco, a.cidade, a.teleFax, QStringLiteral("E-mail: a@b    www.b"),
                              QStringLiteral("Agência Exemplo Ltda.")}));
        AgencyDetails b = a;
        b.teleFax.clear();
        QCOMPARE(heading(b).line4, QString());
        b.internet.clear();  // an e-mail line without a web line keeps its four blanks
        QCOMPARE(heading(b).line5, QStringLiteral("E-mail: a@b    "));
        b = a;
        b.email.clear();
        QCOMPARE(heading(b).line5, QStringLiteral("www.b"));
        b.internet.clear();
        QCOMPARE(heading(b).line5, QString());
    }

    void momentOfIssue_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("expected");
        const QDate sunday(2026, 12, 6);
        QTest::newRow("evening") << QDateTime(sunday, QTime(18, 34))
                                 << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  06:34 PM");
        QTest::newRow("00:05") << QDateTime(sunday, QTime(0, 5))
                               << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  12:05 AM");
        QTest::newRow("12:05") << QDateTime(sunday, QTime(12, 5))
                               << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  12:05 PM");
        QTest::newRow("11:59") << QDateTime(QDate(2027, 3, 1), QTime(11, 59, 59))
                               << QStringLiteral("CURITIBA, segunda-feira, 1  de março de 2027,  as  11:59 AM");
    }

    void momentOfIssue()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, expected);
        QCOMPARE(issueMoment(QStringLiteral("CURITIBA"), now, QLocale(QLocale::Portuguese, QLocale::Brazil)), expected);
    }
};

QTEST_GUILESS_MAIN(TestProtocoloLogic)
#include "tst_protocolo_logic.moc"
