// The list window's search by booking number, without the window: over a real register,
// with the clock given by the test.

#include "BookingSearch.h"
#include "RegisterRows.h"
#include "U_DM_BL.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using procura::BookingSearch;
using testregister::Row;

namespace {

Row bl(const QString &booking)
{
    return {{QStringLiteral("Bl_AgentRef"), booking}};
}

// The register open on its last record, as the list window finds it.
struct Register
{
    QTemporaryDir dir;
    std::unique_ptr<TDM_BL> dm;
    explicit Register(const QStringList &bookings)
    {
        QList<Row> rows;
        for (const QString &b : bookings)
            rows.append(bl(b));
        testregister::makeRegister(dir.path(), rows);
        dm = std::make_unique<TDM_BL>();
        dm->Tbl_BLCliente->setDirectory(dir.path());
        dm->Tbl_BLCliente->open();
        dm->Tbl_BLCliente->last();
    }
    Table *table() const { return dm->Tbl_BLCliente; }
    qint64 at() const { return table()->recNo(); }
};

const QStringList Bookings = {
    QStringLiteral("bk-100"), QStringLiteral("BK-200"), QStringLiteral("Çargo-1"), QStringLiteral("CARGO-2"),
    QStringLiteral("bk-101"), QString(), QStringLiteral("XY"),
};

} // namespace

class TestBookingSearch : public QObject
{
    Q_OBJECT
private slots:
    void foldingDropsCaseAndAccentsKeepingTheLength()
    {
        QCOMPARE(procura::foldForSearch(u"ÁÉÍÓÚ âêô ãõ Çç Üü"), QStringLiteral("aeiou aeo ao cc uu"));
        QCOMPARE(procura::foldForSearch(u"Bk-2ñ"), QStringLiteral("bk-2n"));
        QVERIFY(procura::startsWithFolded(u"ÇARGO-1", u"carg"));
        QVERIFY(!procura::startsWithFolded(u"CA", u"car"));
        QVERIFY(procura::startsWithFolded(u"anything", u""));
    }

    void typingFindsTheFirstMatchInNaturalOrder()
    {
        Register r(Bookings);
        BookingSearch s(r.table());
        s.type(QStringLiteral("b"), 0);
        QCOMPARE(r.at(), 0);
        s.type(QStringLiteral("K-2"), 100);  // case does not count
        QCOMPARE(s.text(), QStringLiteral("bK-2"));
        QCOMPARE(r.at(), 1);
        QVERIFY(!s.failed());
        s.clear();
        s.type(QStringLiteral("carg"), 5000);  // accents do not count: "Çargo-1" comes first
        QCOMPARE(r.at(), 2);
        s.type(QStringLiteral("o-2"), 5100);
        QCOMPARE(r.at(), 3);
    }

    void noMatchLeavesTheRecordAndMarksTheSearch()
    {
        Register r(Bookings);
        BookingSearch s(r.table());
        s.type(QStringLiteral("bk-1"), 0);
        QCOMPARE(r.at(), 0);
        s.type(QStringLiteral("9"), 100);
        QVERIFY(s.failed());
        QCOMPARE(r.at(), 0);
        QCOMPARE(s.text(), QStringLiteral("bk-19"));
        // Backspace shortens and searches again.
        QVERIFY(s.backspace(200));
        QVERIFY(!s.failed());
        QCOMPARE(s.text(), QStringLiteral("bk-1"));
        QCOMPARE(r.at(), 0);
        QVERIFY(s.backspace(300) && s.backspace(400) && s.backspace(500) && s.backspace(600));
        QCOMPARE(s.text(), QString());
        QVERIFY(!s.backspace(700));
    }

    void nextGoesOnAndComesRound()
    {
        Register r(Bookings);
        BookingSearch s(r.table());
        s.type(QStringLiteral("BK"), 0);
        QCOMPARE(r.at(), 0);
        s.next(100);
        QCOMPARE(r.at(), 1);
        s.next(200);
        QCOMPARE(r.at(), 4);
        s.next(300);  // past the last match: from the top again
        QCOMPARE(r.at(), 0);
        QVERIFY(!s.failed());
        // The only match stays current.
        s.clear();
        s.type(QStringLiteral("x"), 5000);
        QCOMPARE(r.at(), 6);
        s.next(5100);
        QCOMPARE(r.at(), 6);
        QVERIFY(!s.failed());
        // Without a search text, next does nothing.
        s.clear();
        s.next(5200);
        QCOMPARE(r.at(), 6);
    }

    void aPauseStartsANewSearch()
    {
        Register r(Bookings);
        BookingSearch s(r.table());
        s.type(QStringLiteral("c"), 1000);
        QCOMPARE(r.at(), 2);
        s.type(QStringLiteral("x"), 1000 + BookingSearch::PauseMs - 1);  // still the same search
        QVERIFY(s.failed());
        QCOMPARE(r.at(), 2);
        s.type(QStringLiteral("x"), 1000 + 2 * BookingSearch::PauseMs);  // a new one
        QCOMPARE(s.text(), QStringLiteral("x"));
        QCOMPARE(r.at(), 6);
        // Backspace after a pause only clears.
        QVERIFY(!s.backspace(1000 + 4 * BookingSearch::PauseMs));
        QCOMPARE(s.text(), QString());
        QCOMPARE(r.at(), 6);
    }

    void emptyRegisterFindsNothing()
    {
        Register r({});
        BookingSearch s(r.table());
        s.type(QStringLiteral("a"), 0);
        QVERIFY(s.failed());
        s.next(10);
        QVERIFY(s.failed());
    }
};

QTEST_MAIN(TestBookingSearch)
#include "tst_bookingsearch.moc"
