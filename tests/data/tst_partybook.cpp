// The book of earlier parties and values over a real register: what a prefix finds, in which
// order, and how it follows the register while B/Ls are confirmed and deleted.
#include "BLRecord.h"
#include "PartyBook.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "U_DM_BL.h"

#include <QDate>
#include <QTemporaryDir>
#include <QTest>

using testregister::Row;

namespace {

Row party(const char *prefix, const QStringList &lines, const QDate &day, const QString &vessel = {})
{
    Row r;
    for (int i = 0; i < lines.size(); ++i)
        r.insert(QLatin1String(prefix) + QString::number(i + 1), lines.at(i));
    if (day.isValid())
        r.insert(QStringLiteral("Bl_DataRef"), day);
    if (!vessel.isEmpty())
        r.insert(QStringLiteral("Bl_LocalVessel"), vessel);
    r.insert(QStringLiteral("Bl_AgentRef"), QStringLiteral("BK"));
    return r;
}

QStringList firstLines(const QList<QStringList> &parties)
{
    QStringList out;
    for (const QStringList &p : parties)
        out.append(p.value(0));
    return out;
}

const QStringList Santos = {QStringLiteral("EXPORTADORA SANTOS LTDA"), QStringLiteral("RUA XV, 12"),
                            QStringLiteral("SANTOS - SP"), QString(), QStringLiteral("CNPJ 1")};

struct Register
{
    QTemporaryDir dir;
    TDM_BL dm;
    explicit Register(const QList<Row> &rows)
    {
        testregister::makeRegister(dir.path(), rows);
        dm.Tbl_BLCliente->setDirectory(dir.path());
        dm.Tbl_BLCliente->open();
    }
    Table *t() const { return dm.Tbl_BLCliente; }
};

} // namespace

class TestPartyBook : public QObject
{
    Q_OBJECT

private slots:
    void prefixOrderAndDistinct()
    {
        const QDate d0(2024, 1, 10);
        Register r({
            party("Bl_Shipper", Santos, d0, QStringLiteral("MSC ALGECIRAS")),
            party("Bl_Shipper", {QStringLiteral("EXPORTADORA SÃO PAULO")}, d0.addDays(5)),
            party("Bl_Shipper", {QStringLiteral("Exportação Ágil S.A.")}, d0.addDays(1)),
            // The first party again, older by its date but later in natural order: still once.
            party("Bl_Shipper", Santos, d0.addDays(-30), QStringLiteral("MSC ALGECIRAS")),
            // Same first line, other address: another party.
            party("Bl_Shipper", {Santos.at(0), QStringLiteral("AV. ANA COSTA, 1")}, d0.addDays(2)),
            party("Bl_Shipper", {QStringLiteral("IMPORTADORA NORTE")}, d0.addDays(9)),
            party("Bl_Cnee", {QStringLiteral("EXPO CNEE")}, d0),
        });
        PartyBook book(r.t());
        QVERIFY(!book.isBuilt());

        // Case and accents ignored; the latest confirmation day first.
        const QList<QStringList> found = book.parties(QStringLiteral("Bl_Shipper"), u"expo");
        QCOMPARE(firstLines(found), QStringList({QStringLiteral("EXPORTADORA SÃO PAULO"), Santos.at(0),
                                                 QStringLiteral("Exportação Ágil S.A."), Santos.at(0)}));
        QCOMPARE(found.at(1).value(1), QStringLiteral("AV. ANA COSTA, 1"));
        // All five lines exactly as stored.
        QCOMPARE(found.at(3), Santos);
        QCOMPARE(firstLines(book.parties(QStringLiteral("Bl_Shipper"), u"EXPORTACAO")),
                 QStringList{QStringLiteral("Exportação Ágil S.A.")});
        QVERIFY(book.parties(QStringLiteral("Bl_Shipper"), u"").isEmpty());
        QVERIFY(book.parties(QStringLiteral("Bl_Shipper"), u"zz").isEmpty());
        QCOMPARE(book.parties(QStringLiteral("Bl_Shipper"), u"e", 2).size(), 2);
        // Each box keeps its own parties.
        QCOMPARE(firstLines(book.parties(QStringLiteral("Bl_Cnee"), u"ex")), QStringList{QStringLiteral("EXPO CNEE")});
        QCOMPARE(book.values(QStringLiteral("Bl_LocalVessel"), u"msc"), QStringList{QStringLiteral("MSC ALGECIRAS")});
        // One entry per distinct value, not per record.
        QCOMPARE(book.entryCount(), qsizetype(5 + 1 + 1));
    }

    void sameDayGoesByNaturalOrder()
    {
        const QDate d(2024, 5, 1);
        Register r({party("Bl_Notify", {QStringLiteral("ALPHA")}, d), party("Bl_Notify", {QStringLiteral("ALBA")}, d),
                    party("Bl_Notify", {QStringLiteral("ALMA")}, QDate())});
        PartyBook book(r.t());
        QCOMPARE(firstLines(book.parties(QStringLiteral("Bl_Notify"), u"al")),
                 QStringList({QStringLiteral("ALBA"), QStringLiteral("ALPHA"), QStringLiteral("ALMA")}));
    }

    void followsTheRegister()
    {
        const QDate old(2020, 1, 1);
        Register r({party("Bl_Shipper", {QStringLiteral("ACME OLD")}, old),
                    party("Bl_Shipper", {QStringLiteral("ACME NEWER")}, old.addDays(10)),
                    party("Bl_Shipper", {QStringLiteral("ACME GONE")}, old.addDays(20))});
        Table *t = r.t();
        PartyBook book(t);
        const QString g = QStringLiteral("Bl_Shipper");
        QCOMPARE(book.parties(g, u"acme").size(), 3);

        // A B/L confirmed now is offered at once, first, without reading the register again.
        t->insert();
        t->fieldByName(u"Bl_Shipper1")->setAsString(QStringLiteral("ACME BRAND NEW"));
        t->fieldByName(u"Bl_Shipper2")->setAsString(QStringLiteral("LINE 2"));
        t->post();
        QVERIFY(book.isBuilt());
        QCOMPARE(book.parties(g, u"acme").first(), QStringList({QStringLiteral("ACME BRAND NEW"),
                                                                 QStringLiteral("LINE 2"), QString(), QString(),
                                                                 QString()}));
        // Confirming an old B/L again brings its party before the rest.
        t->first();
        t->edit();
        t->post();
        QCOMPARE(firstLines(book.parties(g, u"acme")).first(), QStringLiteral("ACME OLD"));

        // A cancelled entry adds nothing.
        t->insert();
        t->fieldByName(u"Bl_Shipper1")->setAsString(QStringLiteral("ACME CANCELLED"));
        t->cancel();
        QCOMPARE(book.parties(g, u"acme cancel").size(), 0);

        // An edit that replaces the only record of a party drops it.
        t->moveTo(1);
        t->edit();
        t->fieldByName(u"Bl_Shipper1")->setAsString(QStringLiteral("ACME RENAMED"));
        t->post();
        QVERIFY(book.parties(g, u"acme newer").isEmpty());
        QCOMPARE(firstLines(book.parties(g, u"acme")).first(), QStringLiteral("ACME RENAMED"));

        // A deleted B/L is gone from the next answer; this session's order survives the re-read.
        t->moveTo(2);
        QCOMPARE(t->fieldByName(u"Bl_Shipper1")->asString(), QStringLiteral("ACME GONE"));
        t->deleteRecord();
        QVERIFY(!book.isBuilt());
        QCOMPARE(firstLines(book.parties(g, u"acme")),
                 QStringList({QStringLiteral("ACME RENAMED"), QStringLiteral("ACME OLD"),
                              QStringLiteral("ACME BRAND NEW")}));

        // Closed: nothing, and no error.
        t->close();
        QVERIFY(book.parties(g, u"acme").isEmpty());
    }

    void backgroundBuildAnswersAlike()
    {
        // More records than one slice of the background build, written unflushed.
        QTemporaryDir dir;
        const QString path = testregister::registerPath(dir.path());
        const QVector<px::FieldDef> defs = blrecord::registerFields();
        px::Table::create(path, defs);
        {
            px::Table t(path);
            t.setSyncWrites(false);
            for (int i = 0; i < 4500; ++i) {
                QVector<px::Value> v(defs.size());
                v[0] = QStringLiteral("SHIPPER %1").arg(i % 7);
                v[1] = QStringLiteral("LINE %1").arg(i % 3);
                v[25] = QDate(2024, 1, 1).addDays(i % 11);
                t.append(v);
            }
        }
        TDM_BL dm;
        dm.Tbl_BLCliente->setDirectory(dir.path());
        dm.Tbl_BLCliente->open();
        PartyBook cold(dm.Tbl_BLCliente);
        const QList<QStringList> expected = cold.parties(QStringLiteral("Bl_Shipper"), u"ship");
        QCOMPARE(expected.size(), 21);

        // Asked half-way: the rest is read at once.
        PartyBook early(dm.Tbl_BLCliente);
        early.buildInBackground(0);
        QCoreApplication::processEvents();
        QCOMPARE(early.parties(QStringLiteral("Bl_Shipper"), u"ship"), expected);

        PartyBook background(dm.Tbl_BLCliente);
        background.buildInBackground(0);
        QTRY_VERIFY(background.isBuilt());
        QCOMPARE(background.parties(QStringLiteral("Bl_Shipper"), u"ship"), expected);
        QCOMPARE(background.entryCount(), qsizetype(21));
    }

    void readsNothingUntilAsked()
    {
        Register r({party("Bl_Shipper", {QStringLiteral("ONE")}, QDate(2024, 1, 1))});
        PartyBook book(r.t());
        r.t()->insert();
        r.t()->fieldByName(u"Bl_Shipper1")->setAsString(QStringLiteral("OTHER"));
        r.t()->post();
        QVERIFY(!book.isBuilt());
        // Built from the register, with the session's post first.
        QCOMPARE(firstLines(book.parties(QStringLiteral("Bl_Shipper"), u"o")),
                 QStringList({QStringLiteral("OTHER"), QStringLiteral("ONE")}));
    }
};

QTEST_GUILESS_MAIN(TestPartyBook)
#include "tst_partybook.moc"
