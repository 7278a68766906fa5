// The data module: its tables, field objects and data sources, and the ways the windows use
// them (the entry cycle, the copy into a transfer file, the receipt's walk).
#include "BLRecord.h"
#include "BLTransfer.h"
#include "U_DM_BL.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

px::EngineError::Kind engineKind(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const px::EngineError &e) {
        return e.kind();
    }
    return px::EngineError::Kind(-1);
}

// Points the transfer table at a new file's name without extension, as the chooser does.
void pointTransfer(TDM_BL &dm, const QString &path)
{
    const QFileInfo info(path);
    bltransfer::pointAt(*dm.Tbl_BLDisquete, info.absolutePath(), info.completeBaseName());
}

class CurrentDir
{
public:
    explicit CurrentDir(const QString &dir) : m_previous(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~CurrentDir() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
};

} // namespace

class TestDataModule : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void fieldObjects_data();
    void fieldObjects();
    void tablesAndSources();
    void lookupIgnoresCase();
    void entryCycle();
    void numberEditing();
    void transfer();
    void mappingPairsEveryFieldOnce();
    void transferFileOfWrongShape();
};

void TestDataModule::fieldObjects_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("register") << int(blrecord::Table::Register);
    QTest::newRow("transfer") << int(blrecord::Table::Transfer);
}

void TestDataModule::fieldObjects()
{
    QFETCH(int, which);
    const auto kind = blrecord::Table(which);
    TDM_BL dm;
    Table *table = kind == blrecord::Table::Register ? dm.Tbl_BLCliente : dm.Tbl_BLDisquete;
    const QVector<px::FieldDef> defs = blrecord::fields(kind);
    QCOMPARE(defs.size(), 32);
    QCOMPARE(table->fields().size(), 32);
    for (int i = 0; i < defs.size(); ++i) {
        Field *f = table->fields().at(i);
        QCOMPARE(f->fieldName(), defs[i].name);
        QCOMPARE(f->dataType(), defs[i].type);
        QCOMPARE(f->size(), defs[i].size);
        const QString name = table->objectName() + defs[i].name;
        QCOMPARE(f->objectName(), name);
        QCOMPARE(dm.findChild<Field *>(name), f);
        if (defs[i].type == px::FieldType::Number) {
            QCOMPARE(f->displayFormat(), QStringLiteral("###,###,##0.000"));
            QCOMPARE(f->editFormat(), QStringLiteral("###,###,##0.000"));
        } else if (defs[i].type == px::FieldType::Date) {
            QCOMPARE(f->displayFormat(), QStringLiteral("DD/MM/YYYY"));
        } else {
            QCOMPARE(f->displayFormat(), QString());
        }
        // Persistent: there before the table opens, reading empty.
        QVERIFY(f->isNull());
        QCOMPARE(f->displayText(), QString());
    }
    if (kind == blrecord::Table::Register) {
        QCOMPARE(dm.Tbl_BLClienteBl_Shipper1, table->fields().first());
        QCOMPARE(dm.Tbl_BLClienteBl_AgentRef->fieldName(), QStringLiteral("Bl_AgentRef"));
        QCOMPARE(dm.Tbl_BLClienteBl_DataRef->fieldName(), QStringLiteral("Bl_DataRef"));
        QCOMPARE(dm.Tbl_BLClienteBl_Measu2, table->fields().last());
    } else {
        QCOMPARE(dm.Tbl_BLDisqueteDi_BillofLading, table->fields().first());
        QCOMPARE(dm.Tbl_BLDisqueteDi_Agentref->fieldName(), QStringLiteral("Di_Agentref"));
        QCOMPARE(dm.Tbl_BLDisqueteDi_Gross1->dataType(), px::FieldType::Number);
        QCOMPARE(dm.Tbl_BLDisqueteDi_Measu2, table->fields().last());
    }
    QCOMPARE(dm.findChildren<Field *>().size(), 64);
}

void TestDataModule::tablesAndSources()
{
    QCOMPARE(DM_BL, nullptr);
    {
        TDM_BL dm;
        QCOMPARE(DM_BL, &dm);
        QCOMPARE(dm.objectName(), QStringLiteral("DM_BL"));
        QCOMPARE(dm.Tbl_BLCliente->objectName(), QStringLiteral("Tbl_BLCliente"));
        QCOMPARE(dm.Tbl_BLCliente->tableName(), QStringLiteral("BlCorvane.DB"));
        QCOMPARE(dm.Tbl_BLCliente->directory(), QString());
        QVERIFY(!dm.Tbl_BLCliente->exclusive());
        QCOMPARE(dm.Tbl_BLDisquete->objectName(), QStringLiteral("Tbl_BLDisquete"));
        QCOMPARE(dm.Tbl_BLDisquete->tableName(), QStringLiteral("BlDisquete.db"));
        QCOMPARE(dm.Tbl_BLDisquete->tableType(), Table::TableType::Paradox);
        QCOMPARE(dm.DS_Cliente->objectName(), QStringLiteral("DS_Cliente"));
        QCOMPARE(dm.DS_Cliente->dataSet(), dm.Tbl_BLCliente);
        QCOMPARE(dm.DS_BLDisquete->objectName(), QStringLiteral("DS_BLDisquete"));
        QCOMPARE(dm.DS_BLDisquete->dataSet(), dm.Tbl_BLDisquete);
        QVERIFY(!dm.DS_Cliente->autoEdit() && !dm.DS_BLDisquete->autoEdit());
        QCOMPARE(dm.DS_Cliente->state(), Table::State::Inactive);
        TDM_BL second;  // the first module stays the program's
        QCOMPARE(DM_BL, &dm);
    }
    QCOMPARE(DM_BL, nullptr);
}

void TestDataModule::lookupIgnoresCase()
{
    TDM_BL dm;
    QCOMPARE(dm.Tbl_BLDisquete->findField(u"Di_AgentRef"), dm.Tbl_BLDisqueteDi_Agentref);
    QCOMPARE(dm.Tbl_BLCliente->fieldByName(u"BL_AGENTREF"), dm.Tbl_BLClienteBl_AgentRef);
    QCOMPARE(dm.Tbl_BLCliente->findField(u"Di_AgentRef"), nullptr);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("BL061226.DB"));
    px::Table::create(path, blrecord::transferFields());
    pointTransfer(dm, path);
    dm.Tbl_BLDisquete->open();
    QCOMPARE(dm.Tbl_BLDisquete->findField(u"Di_AgentRef"), dm.Tbl_BLDisqueteDi_Agentref);
    QCOMPARE(dm.Tbl_BLDisqueteDi_Agentref->fieldNo(), 22);
    QCOMPARE(dm.Tbl_BLDisqueteDi_BillofLading->fieldNo(), 0);
    QVERIFY(!dm.Tbl_BLDisquete->locate(u"Di_AgentRef", QStringLiteral("R1")));
}

void TestDataModule::entryCycle()
{
    QTemporaryDir dir;
    px::Table::create(dir.filePath(QStringLiteral("BlCorvane.DB")), blrecord::registerFields());
    CurrentDir cd(dir.path());
    TDM_BL dm;
    Table *t = dm.Tbl_BLCliente;
    QSignalSpy state(dm.DS_Cliente, &DataSource::stateChanged);

    t->open();
    t->last();
    QCOMPARE(dm.DS_Cliente->state(), Table::State::Browse);
    // "Edita" on the empty register starts a new record; the close check sees insert.
    t->edit();
    QCOMPARE(dm.DS_Cliente->state(), Table::State::Insert);
    dm.Tbl_BLClienteBl_AgentRef->setAsString(QStringLiteral("BK-1"));
    dm.Tbl_BLClienteBl_Marks2->setAsString(QString(250, u'M'));
    dm.Tbl_BLClienteBl_DataRef->setAsDate(QDate(2009, 3, 6));
    t->post();
    QCOMPARE(dm.DS_Cliente->state(), Table::State::Browse);
    QCOMPARE(dm.Tbl_BLClienteBl_DataRef->displayText(), QStringLiteral("06/03/2009"));
    QCOMPARE(dm.Tbl_BLClienteBl_Gross1->displayText(), QString());
    QCOMPARE(dm.Tbl_BLClienteBl_Gross1->asFloat(), 0.0);

    t->insert();
    dm.Tbl_BLClienteBl_AgentRef->setAsString(QStringLiteral("BK-1"));
    dm.Tbl_BLClienteBl_Gross1->setAsFloat(0.5);
    t->post();
    QCOMPARE(t->recordCount(), 2u);
    QCOMPARE(dm.Tbl_BLClienteBl_Gross1->displayText(), QStringLiteral("0,500"));

    // After printing the record is found again by its booking number: the first of the two.
    QVERIFY(t->locate(u"Bl_AgentRef", dm.Tbl_BLClienteBl_AgentRef->asString()));
    QCOMPARE(t->recNo(), 0);
    QCOMPARE(dm.Tbl_BLClienteBl_Marks2->asString(), QString(250, u'M'));
    QCOMPARE(state.count(), 5);  // browse, insert, browse, insert, browse

    t->close();
    QCOMPARE(dm.DS_Cliente->state(), Table::State::Inactive);
    QVERIFY(dm.Tbl_BLClienteBl_AgentRef->isNull());
    QCOMPARE(dm.Tbl_BLClienteBl_AgentRef->fieldNo(), -1);
}

void TestDataModule::numberEditing()
{
    QTemporaryDir dir;
    px::Table::create(dir.filePath(QStringLiteral("BlCorvane.DB")), blrecord::registerFields());
    CurrentDir cd(dir.path());
    TDM_BL dm;
    Table *t = dm.Tbl_BLCliente;
    Field *gross = dm.Tbl_BLClienteBl_Gross1;
    t->open();
    t->insert();
    gross->setAsFloat(1234.5);
    t->post();

    t->edit();
    const QString shown = gross->editText();
    QCOMPARE(shown, QStringLiteral("1.234,500"));
    gross->setEditText(shown);  // left as it was
    QCOMPARE(gross->asFloat(), 1234.5);
    gross->setEditText(QStringLiteral("1.234,600"));  // one digit changed, the mark kept
    QCOMPARE(gross->asFloat(), 1234.6);
    try {
        gross->setEditText(QStringLiteral("1.23,46"));
        QFAIL("no error");
    } catch (const DataError &e) {
        QCOMPARE(e.message(), QStringLiteral("'1.23,46' is not a valid floating point value for field 'Bl_Gross1'"));
    }
    t->post();
    QCOMPARE(gross->asFloat(), 1234.6);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(gross->displayText(), QStringLiteral("1,234.600"));
    t->edit();
    gross->setEditText(QStringLiteral("1,234.700"));
    t->post();
    QCOMPARE(gross->asFloat(), 1234.7);
}

void TestDataModule::transfer()
{
    QTemporaryDir dir;
    px::Table::create(dir.filePath(QStringLiteral("BlCorvane.DB")), blrecord::registerFields());
    // The new transfer file is a copy of a template that may hold records; it is emptied.
    const QString transferPath = dir.filePath(QStringLiteral("BL061226.DB"));
    px::Table::create(transferPath, blrecord::transferFields());
    {
        px::Table t(transferPath, px::Table::Mode::Shared);
        QVector<px::Value> v(32);
        v[22] = QStringLiteral("OLD");
        t.append(v);
    }
    CurrentDir cd(dir.path());
    TDM_BL dm;
    Table *local = dm.Tbl_BLCliente;
    local->open();
    const QString memo = QString(300, u'x') + QStringLiteral("END");
    for (const QString &ref : {QStringLiteral("R1"), QStringLiteral("r1"), QStringLiteral("R2")}) {
        local->insert();
        dm.Tbl_BLClienteBl_AgentRef->setAsString(ref);
        dm.Tbl_BLClienteBl_BillofLading->setAsString(QStringLiteral("BL-") + ref);
        dm.Tbl_BLClienteBl_Marks1->setAsString(memo);
        dm.Tbl_BLClienteBl_DataRef->setAsDate(QDate(2026, 12, 6));
        if (ref != QLatin1String("R2"))
            dm.Tbl_BLClienteBl_Gross1->setAsFloat(1234.5);  // R2 keeps a blank weight
        local->post();
    }

    pointTransfer(dm, transferPath);
    dm.Tbl_BLDisquete->emptyTable();
    dm.Tbl_BLDisquete->open();
    QVERIFY(dm.Tbl_BLDisquete->isEmpty());
    QCOMPARE(dm.Tbl_BLDisquete->directory(), dir.path() + QLatin1Char('/'));
    QCOMPARE(dm.Tbl_BLDisquete->tableName(), QStringLiteral("BL061226"));

    // Copy each local record unless its booking number is already there, compared exactly.
    for (local->first(); !local->eof(); local->next()) {
        if (!dm.Tbl_BLDisquete->locate(u"Di_AgentRef", dm.Tbl_BLClienteBl_AgentRef->asString()))
            bltransfer::copyCurrent(*dm.Tbl_BLCliente, *dm.Tbl_BLDisquete);
        QCOMPARE(dm.Tbl_BLDisqueteDi_Agentref->asString(), dm.Tbl_BLClienteBl_AgentRef->asString());
    }
    local->first();
    QVERIFY(dm.Tbl_BLDisquete->locate(u"Di_AgentRef", QStringLiteral("R1")));  // the duplicate check
    QCOMPARE(dm.Tbl_BLDisquete->recordCount(), 3u);
    QCOMPARE(local->recordCount(), 3u);

    // The receipt's walk, first to last.
    QStringList refs;
    for (dm.Tbl_BLDisquete->first(); !dm.Tbl_BLDisquete->eof(); dm.Tbl_BLDisquete->next())
        refs << dm.Tbl_BLDisqueteDi_Agentref->asString();
    QCOMPARE(refs, QStringList({"R1", "r1", "R2"}));
    QCOMPARE(dm.Tbl_BLDisqueteDi_Agentref->asString(), QStringLiteral("R2"));  // left on the last

    QCOMPARE(dm.Tbl_BLDisqueteDi_Gross1->asFloat(), 0.0);  // a blank number arrives as 0
    QVERIFY(!dm.Tbl_BLDisqueteDi_Gross1->isNull());
    QCOMPARE(dm.Tbl_BLDisqueteDi_Marks1->asString(), memo);
    QCOMPARE(dm.Tbl_BLDisqueteDi_DataRef->asDate(), QDate(2026, 12, 6));
    QCOMPARE(dm.Tbl_BLDisqueteDi_BillofLading->asString(), QStringLiteral("BL-R2"));

    // While the transfer table is open exclusively, nobody else gets in.
    QCOMPARE(engineKind([&] { px::Table other(transferPath, px::Table::Mode::Shared); }),
             px::EngineError::Kind::InUse);
    dm.Tbl_BLDisquete->close();
    px::Table reader(transferPath, px::Table::Mode::ReadOnly);
    QCOMPARE(reader.recordCount(), 3u);
    QVERIFY(reader.check().isEmpty());
}

void TestDataModule::mappingPairsEveryFieldOnce()
{
    // The order in which the transfer window sets the fields.
    const QStringList order = {
        "Shipper1", "Shipper2", "Shipper3", "Shipper4", "Shipper5", "Cnee1", "Cnee2", "Cnee3", "Cnee4",
        "Cnee5", "Notify1", "Notify2", "Notify3", "Notify4", "Notify5", "AgentRef", "BillofLading",
        "ShipperRef", "LocalVessel", "LocalLoading", "PortDischarg", "FinalDestination",
        "FreightPayable", "Marks1", "Marks2", "DataRef", "Gross1", "Gross2", "Gross3", "Gross4",
        "Measu1", "Measu2"};
    const QList<bltransfer::FieldPair> pairs = bltransfer::mapping();
    QStringList bases, from, to;
    for (const bltransfer::FieldPair &p : pairs) {
        bases << blrecord::baseName(p.from);
        from << p.from;
        to << p.to;
        QCOMPARE(blrecord::baseName(p.to).compare(blrecord::baseName(p.from), Qt::CaseInsensitive), 0);
    }
    QCOMPARE(bases, order);
    QCOMPARE(to.at(15), QStringLiteral("Di_Agentref"));
    // Each field of either table exactly once, in the kind its type asks for.
    QStringList registerNames, transferNames;
    for (const px::FieldDef &d : blrecord::registerFields())
        registerNames << d.name;
    for (const px::FieldDef &d : blrecord::transferFields())
        transferNames << d.name;
    from.sort();
    to.sort();
    registerNames.sort();
    transferNames.sort();
    QCOMPARE(from, registerNames);
    QCOMPARE(to, transferNames);
    for (const bltransfer::FieldPair &p : pairs) {
        const QString b = blrecord::baseName(p.from);
        const bltransfer::CopyKind want = b == QLatin1String("DataRef") ? bltransfer::CopyKind::Date
                                          : (b == QLatin1String("Gross1") || b == QLatin1String("Gross3") || b == QLatin1String("Measu1"))
                                              ? bltransfer::CopyKind::Number
                                              : bltransfer::CopyKind::Text;
        QVERIFY2(p.kind == want, qPrintable(b));
    }
}

void TestDataModule::transferFileOfWrongShape()
{
    QTemporaryDir dir;
    // A register file chosen as a transfer file: none of the Di_ fields is there.
    const QString path = dir.filePath(QStringLiteral("WRONG.DB"));
    px::Table::create(path, blrecord::registerFields());
    TDM_BL dm;
    pointTransfer(dm, path);
    try {
        dm.Tbl_BLDisquete->open();
        QFAIL("opened");
    } catch (const px::EngineError &e) {
        QVERIFY2(e.message().contains(QLatin1String("Di_BillofLading")), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QLatin1String("WRONG.DB")), qPrintable(e.message()));
    }
    QCOMPARE(dm.DS_BLDisquete->state(), Table::State::Inactive);
    // Nothing holds the file: it can be taken exclusively at once.
    px::Table again(path, px::Table::Mode::Exclusive);
    QCOMPARE(again.recordCount(), 0u);
}

QTEST_GUILESS_MAIN(TestDataModule)
#include "tst_datamodule.moc"
