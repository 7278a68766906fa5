// The record layer's range reads, which the grid's model uses for a page: the same texts as
// reading the rows one by one, across block boundaries, at the end, and with the record
// being edited.

#include "BLRecord.h"
#include "PxTable.h"
#include "U_DM_BL.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A register of n records whose booking numbers are "R0", "R1", ..., open.
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<TDM_BL> dm;

    Table *table() const { return dm->Tbl_BLCliente; }

    bool setUp(int n)
    {
        if (!dir.isValid())
            return false;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("BlCorvane.DB"));
        const QVector<px::FieldDef> defs = blrecord::registerFields();
        px::Table::create(path, defs);
        {
            px::Table t(path);
            t.setSyncWrites(false);
            for (int i = 0; i < n; ++i) {
                QVector<px::Value> v(defs.size());
                v[t.fieldIndex(QStringLiteral("Bl_AgentRef"))] = QStringLiteral("R%1").arg(i);
                v[t.fieldIndex(QStringLiteral("Bl_Shipper1"))] = QStringLiteral("SHIPPER %1").arg(i);
                v[t.fieldIndex(QStringLiteral("Bl_DataRef"))] = QDate(2009, 3, 6);
                if (i % 2 == 0)
                    v[t.fieldIndex(QStringLiteral("Bl_Gross1"))] = 1234.5;
                t.append(v);
            }
        }
        dm = std::make_unique<TDM_BL>();
        table()->setDirectory(dir.path());
        table()->open();
        return true;
    }
};

} // namespace

class TestTableRange : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void rangeReadAgreesWithSingleRows()
    {
        Fixture f;
        QVERIFY(f.setUp(200));
        Table *t = f.table();
        QList<Field *> fields;
        for (const char *n : {"Bl_AgentRef", "Bl_DataRef", "Bl_Gross1", "Bl_Shipper1"})
            fields << t->fieldByName(QString::fromLatin1(n));
        const QList<QStringList> all = t->displayTextsRange(0, 500, fields);
        QCOMPARE(all.size(), 200);
        for (int r = 0; r < 200; ++r)
            QCOMPARE(all.at(r), t->displayTextsAt(quint32(r), fields));
        QCOMPARE(all.at(199).first(), QStringLiteral("R199"));
        const QList<QStringList> middle = t->displayTextsRange(13, 40, fields);
        QCOMPARE(middle.size(), 40);
        QCOMPARE(middle.first().first(), QStringLiteral("R13"));
        QCOMPARE(middle.last().first(), QStringLiteral("R52"));
        QCOMPARE(t->displayTextsRange(190, 32, fields).size(), 10);
        QVERIFY(t->displayTextsRange(200, 32, fields).isEmpty());
        QVERIFY(t->displayTextsRange(5, 0, fields).isEmpty());
        // Raw records agree with the engine's record-by-record read.
        const QList<QByteArray> raws = t->engine()->readRawRange(60, 30);
        QCOMPARE(raws.size(), 30);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(raws.at(i), t->engine()->readRaw(*t->engine()->at(quint32(60 + i))));

        t->moveTo(20);
        t->edit();
        t->fieldByName(u"Bl_AgentRef")->setAsString(QStringLiteral("EDITED"));
        const QList<QStringList> edited = t->displayTextsRange(16, 8, fields);
        QCOMPARE(edited.at(4).first(), QStringLiteral("EDITED"));
        QCOMPARE(edited.at(3).first(), QStringLiteral("R19"));
        t->cancel();
        t->close();
        QVERIFY(t->displayTextsRange(0, 10, fields).isEmpty());
    }

};

QTEST_MAIN(TestTableRange)
#include "tst_tablerange.moc"
