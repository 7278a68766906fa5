// The delivery receipt's texts: the list of booking numbers, the heading lines from the agency
// details, the moment of issue and the file line.

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
        QCOMPARE(bookingListLine({QStringLiteral("A1")}), QStringLiteral("A1  -  "));
        QCOMPARE(bookingListLine({}), QString());
        // A blank booking number still takes its place in the list.
        QCOMPARE(bookingListLine({QString(), QStringLiteral("B2")}), QStringLiteral("  -  B2  -  "));
    }

    void headingLinesFromTheAgencyDetails()
    {
        AgencyDetails a;
        a.razao = QStringLiteral("Agência Exemplo Ltda");
        a.endereco = QStringLiteral("Rua A, 1");
        a.cidade = QStringLiteral("Santos - SP");
        a.teleFax = QStringLiteral("Fone: 1");
        a.email = QStringLiteral("E-mail: a@b");
        a.internet = QStringLiteral("www.b");

        Heading h = heading(a);
        QCOMPARE(h.line1, a.razao);
        QCOMPARE(h.line2, a.endereco);
        QCOMPARE(h.line3, a.cidade);
        QCOMPARE(h.line4, QStringLiteral("Fone: 1"));
        QCOMPARE(h.line5, QStringLiteral("E-mail: a@b    www.b"));
        QCOMPARE(h.disclaimerEnd, QStringLiteral("Agência Exemplo Ltda."));

        AgencyDetails noPhone = a;
        noPhone.teleFax.clear();
        h = heading(noPhone);
        QCOMPARE(h.line4, QString());
        QCOMPARE(h.line3, a.cidade);  // the other lines keep their texts
        QCOMPARE(h.line5, QStringLiteral("E-mail: a@b    www.b"));

        AgencyDetails noMail = a;
        noMail.email.clear();
        QCOMPARE(heading(noMail).line5, QStringLiteral("www.b"));
        noMail.internet.clear();
        QCOMPARE(heading(noMail).line5, QString());

        // An e-mail line without a web line keeps its four blanks.
        AgencyDetails noWeb = a;
        noWeb.internet.clear();
        QCOMPARE(heading(noWeb).line5, QStringLiteral("E-mail: a@b    "));
    }

    void momentOfIssue_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("expected");
        const QDate sunday(2026, 12, 6);
        QTest::newRow("evening") << QDateTime(sunday, QTime(18, 34))
                                 << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  06:34 PM");
        QTest::newRow("after midnight") << QDateTime(sunday, QTime(0, 5))
                                        << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  12:05 AM");
        QTest::newRow("noon") << QDateTime(sunday, QTime(12, 5))
                              << QStringLiteral("CURITIBA, domingo, 6  de dezembro de 2026,  as  12:05 PM");
        QTest::newRow("before noon") << QDateTime(QDate(2027, 3, 1), QTime(11, 59, 59))
                                     << QStringLiteral("CURITIBA, segunda-feira, 1  de março de 2027,  as  11:59 AM");
        QTest::newRow("last minute") << QDateTime(QDate(2026, 12, 31), QTime(23, 59))
                                     << QStringLiteral("CURITIBA, quinta-feira, 31  de dezembro de 2026,  as  11:59 PM");
    }

    void momentOfIssue()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, expected);
        QCOMPARE(issueMoment(QStringLiteral("CURITIBA"), now, QLocale(QLocale::Portuguese, QLocale::Brazil)), expected);
    }

    void momentOfIssueTakesTheLocaleNames()
    {
        // The names are the locale's; the words around them are the form's own.
        const QDateTime now(QDate(2026, 12, 6), QTime(18, 34));
        QCOMPARE(issueMoment(QStringLiteral("SANTOS"), now, QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("SANTOS, Sunday, 6  de December de 2026,  as  06:34 PM"));
    }

    void fileLineKeepsTheNameAsSet()
    {
        // Made in this run: the chooser set the name without extension.
        QCOMPARE(fileLine(QStringLiteral("/media/stick"), QStringLiteral("BL061226")),
                 QStringLiteral("/media/stick/BL061226"));
        // Opened: the name with its extension.
        QCOMPARE(fileLine(QStringLiteral("/media/stick/"), QStringLiteral("BL061226.DB")),
                 QStringLiteral("/media/stick/BL061226.DB"));
        QCOMPARE(fileLine(QStringLiteral("/"), QStringLiteral("X.DB")), QStringLiteral("/X.DB"));
    }
};

QTEST_GUILESS_MAIN(TestProtocoloLogic)
#include "tst_protocolo_logic.moc"
