// The table cursor: opening, moves, insert/edit/post/cancel/delete, locate, fields,
// notifications and failures, on real tables in a temporary folder.
#include "BLRecord.h"
#include "DataSource.h"
#include "Field.h"
#include "Formats.h"
#include "Table.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const int kAgentRef = 22;  // Bl_AgentRef in the register's order

QString registerPath(const QTemporaryDir &dir, const QString &name = QStringLiteral("BlCorvane.DB"))
{
    const QString path = dir.filePath(name);
    px::Table::create(path, blrecord::registerFields());
    return path;
}

// Appends records straight through the engine, one booking number each.
void appendRefs(const QString &path, const QStringList &refs)
{
    px::Table t(path, px::Table::Mode::Shared);
    t.setSyncWrites(false);  // set-up only
    for (const QString &r : refs) {
        QVector<px::Value> v(t.fields().size());
        v[kAgentRef] = r.isEmpty() ? px::Value() : px::Value(r);
        t.append(v);
    }
}

QStringList refsOnDisk(const QString &path)
{
    px::Table t(path, px::Table::Mode::ReadOnly);
    QStringList out;
    for (auto p = t.first(); p; p = t.next(*p)) {
        const px::Value v = t.readValues(*p).at(kAgentRef);
        out << (px::isNull(v) ? QString() : std::get<QString>(v));
    }
    return out;
}

// A table over path with one field object per file field.
struct Opened
{
    explicit Opened(const QString &path, bool exclusive = false)
    {
        table.setDirectory(QFileInfo(path).absolutePath());
        table.setTableName(QFileInfo(path).fileName());
        table.setExclusive(exclusive);
        table.open();
        ref = table.findField(u"Bl_AgentRef");
    }
    QString current() const { return ref->asString(); }
    Table table;
    Field *ref = nullptr;
};

px::EngineError::Kind engineKind(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const px::EngineError &e) {
        return e.kind();
    }
    return px::EngineError::Kind(-1);
}

} // namespace

class TestDataTable : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void openLandsOnFirst();
    void openEmpty();
    void moves();
    void editOnEmptyStartsInsert();
    void cancelRestoresPreviousRecord();
    void postLeavesWrittenRecordCurrent();
    void duplicatesKept();
    void deleteMovesCursor_data();
    void deleteMovesCursor();
    void deleteOnlyAndEmpty();
    void locate();
    void fieldsByNameAndKind();
    void fieldValues();
    void longMemoKept();
    void writingNeedsEditState();
    void notifications();
    void writersRunBeforePost();
    void conflictKeepsEditState();
    void readingByOrdinal();
    void missingFile();
    void exclusiveOpen();
    void fileLacksField();
    void pathResolution();
    void emptyTable();
};

void TestDataTable::openLandsOnFirst()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B", "C"});
    Opened o(path);
    QCOMPARE(o.table.state(), Table::State::Browse);
    QCOMPARE(o.current(), QStringLiteral("A"));
    QVERIFY(o.table.bof());
    QVERIFY(!o.table.eof());
    QCOMPARE(o.table.recNo(), 0);
    QCOMPARE(o.table.recordCount(), 3u);
    QCOMPARE(o.table.filePath(), QDir(dir.path()).filePath("BlCorvane.DB"));
    QCOMPARE(o.table.fields().size(), blrecord::registerFields().size());
}

void TestDataTable::openEmpty()
{
    QTemporaryDir dir;
    Opened o(registerPath(dir));
    QVERIFY(o.table.bof() && o.table.eof());
    QVERIFY(o.table.isEmpty());
    QVERIFY(o.ref->isNull());
    QCOMPARE(o.table.recNo(), -1);
    o.table.next();
    o.table.last();
    QVERIFY(o.table.eof());
}

void TestDataTable::moves()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B", "C"});
    Opened o(path);
    o.table.next();
    QCOMPARE(o.current(), QStringLiteral("B"));
    QVERIFY(!o.table.bof() && !o.table.eof());
    o.table.next();
    QCOMPARE(o.current(), QStringLiteral("C"));
    QVERIFY(!o.table.eof());
    o.table.next();  // past the end: stays on the last record
    QCOMPARE(o.current(), QStringLiteral("C"));
    QVERIFY(o.table.eof());
    o.table.prior();
    QCOMPARE(o.current(), QStringLiteral("B"));
    QVERIFY(!o.table.eof());
    o.table.first();
    QVERIFY(o.table.bof());
    o.table.prior();
    QCOMPARE(o.current(), QStringLiteral("A"));
    QVERIFY(o.table.bof());
    o.table.last();
    QCOMPARE(o.current(), QStringLiteral("C"));
    QVERIFY(o.table.eof());
    QCOMPARE(o.table.recNo(), 2);

    // The walk of the delivery receipt: first, then next until the end.
    QStringList walked;
    for (o.table.first(); !o.table.eof(); o.table.next())
        walked << o.current();
    QCOMPARE(walked, QStringList({"A", "B", "C"}));
}

void TestDataTable::editOnEmptyStartsInsert()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    Opened o(path);
    o.table.edit();
    QCOMPARE(o.table.state(), Table::State::Insert);
    o.ref->setAsString(QStringLiteral("R1"));
    o.table.post();
    QCOMPARE(o.table.state(), Table::State::Browse);
    QCOMPARE(o.current(), QStringLiteral("R1"));
    QCOMPARE(refsOnDisk(path), QStringList({"R1"}));
}

void TestDataTable::cancelRestoresPreviousRecord()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B", "C"});
    Opened o(path);
    o.table.next();

    o.table.insert();
    QCOMPARE(o.table.state(), Table::State::Insert);
    QVERIFY(o.ref->isNull());
    QCOMPARE(o.table.recNo(), -1);
    o.ref->setAsString(QStringLiteral("NEW"));
    o.table.cancel();
    QCOMPARE(o.table.state(), Table::State::Browse);
    QCOMPARE(o.current(), QStringLiteral("B"));
    QCOMPARE(o.table.recNo(), 1);

    o.table.edit();
    QCOMPARE(o.table.state(), Table::State::Edit);
    o.ref->setAsString(QStringLiteral("CHANGED"));
    QCOMPARE(o.current(), QStringLiteral("CHANGED"));
    o.table.cancel();
    QCOMPARE(o.current(), QStringLiteral("B"));
    QCOMPARE(o.table.recNo(), 1);
    QCOMPARE(refsOnDisk(path), QStringList({"A", "B", "C"}));

    // Cancelling an insertion into an empty table leaves it empty.
    QTemporaryDir dir2;
    Opened e(registerPath(dir2));
    e.table.insert();
    e.ref->setAsString(QStringLiteral("X"));
    e.table.cancel();
    QVERIFY(e.table.isEmpty());
    QVERIFY(e.ref->isNull());
    QVERIFY(e.table.eof());
}

void TestDataTable::postLeavesWrittenRecordCurrent()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B", "C"});
    Opened o(path);

    o.table.insert();
    o.ref->setAsString(QStringLiteral("D"));
    o.table.post();
    QCOMPARE(o.current(), QStringLiteral("D"));
    QCOMPARE(o.table.recNo(), 3);
    QCOMPARE(o.table.recordCount(), 4u);

    o.table.moveTo(1);
    o.table.edit();
    o.ref->setAsString(QStringLiteral("B2"));
    o.table.post();
    QCOMPARE(o.table.state(), Table::State::Browse);
    QCOMPARE(o.current(), QStringLiteral("B2"));
    QCOMPARE(o.table.recNo(), 1);
    QCOMPARE(refsOnDisk(path), QStringList({"A", "B2", "C", "D"}));

    // Post in browse state changes nothing.
    o.table.post();
    QCOMPARE(o.table.recordCount(), 4u);
}

void TestDataTable::duplicatesKept()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    Opened o(path);
    for (int i = 0; i < 2; ++i) {
        o.table.insert();
        o.ref->setAsString(QStringLiteral("SAME"));
        o.table.post();
    }
    QCOMPARE(o.table.recordCount(), 2u);
    QCOMPARE(refsOnDisk(path), QStringList({"SAME", "SAME"}));
}

void TestDataTable::deleteMovesCursor_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("eof");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("first") << 0 << "B" << false << QStringList({"B", "C"});
    QTest::newRow("middle") << 1 << "C" << false << QStringList({"A", "C"});
    QTest::newRow("last") << 2 << "B" << true << QStringList({"A", "B"});
}

void TestDataTable::deleteMovesCursor()
{
    QFETCH(int, at);
    QFETCH(QString, after);
    QFETCH(bool, eof);
    QFETCH(QStringList, left);
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B", "C"});
    Opened o(path);
    QVERIFY(o.table.moveTo(quint32(at)));
    o.table.deleteRecord();
    QCOMPARE(o.current(), after);
    QCOMPARE(o.table.eof(), eof);
    QCOMPARE(o.table.recordCount(), 2u);
    QCOMPARE(refsOnDisk(path), left);
}

void TestDataTable::deleteOnlyAndEmpty()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"ONLY"});
    Opened o(path);
    o.table.deleteRecord();
    QVERIFY(o.table.isEmpty());
    QVERIFY(o.ref->isNull());
    QVERIFY(o.table.eof() && o.table.bof());
    QCOMPARE(o.table.recNo(), -1);
    QCOMPARE(engineKind([&] { o.table.deleteRecord(); }), px::EngineError::Kind::State);

    // Delete during an edit drops the changes with the record.
    appendRefs(path, {"E"});
    o.table.first();
    o.table.edit();
    o.ref->setAsString(QStringLiteral("CHANGED"));
    o.table.deleteRecord();
    QCOMPARE(o.table.state(), Table::State::Browse);
    QVERIFY(o.table.isEmpty());

    // Delete during an insertion only drops the new record.
    appendRefs(path, {"A"});
    o.table.first();
    o.table.insert();
    o.table.deleteRecord();
    QCOMPARE(o.table.state(), Table::State::Browse);
    QCOMPARE(o.current(), QStringLiteral("A"));
    QCOMPARE(refsOnDisk(path), QStringList({"A"}));
}

void TestDataTable::locate()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"ABC", "abc", "ABC", "", "X"});
    Opened o(path);
    o.table.last();
    QSignalSpy moved(&o.table, &Table::recordChanged);

    QVERIFY(o.table.locate(u"Bl_AgentRef", QStringLiteral("ABC")));
    QCOMPARE(o.table.recNo(), 0);  // the first match, not the nearest
    QVERIFY(o.table.locate(u"bl_agentref", QStringLiteral("abc")));  // field name ignores case
    QCOMPARE(o.table.recNo(), 1);
    QVERIFY(o.table.locate(u"Bl_AgentRef", QString()));  // an empty field has empty text
    QCOMPARE(o.table.recNo(), 3);
    QCOMPARE(moved.count(), 3);

    for (const QString &miss : {QStringLiteral("Abc"), QStringLiteral("ABC "), QStringLiteral("AB")}) {
        moved.clear();
        QVERIFY(!o.table.locate(u"Bl_AgentRef", miss));
        QCOMPARE(o.table.recNo(), 3);
        QCOMPARE(moved.count(), 0);
    }
    QVERIFY_THROWS_EXCEPTION(DataError, o.table.locate(u"Bl_NoSuchField", QStringLiteral("X")));
    QCOMPARE(o.table.recNo(), 3);
}

void TestDataTable::fieldsByNameAndKind()
{
    QTemporaryDir dir;
    Opened o(registerPath(dir));
    const QVector<px::FieldDef> defs = blrecord::registerFields();
    for (int i = 0; i < defs.size(); ++i) {
        const Field *f = o.table.fields().at(i);
        QCOMPARE(f->fieldName(), defs[i].name);
        QCOMPARE(f->dataType(), defs[i].type);
        QCOMPARE(f->size(), defs[i].size);
        QCOMPARE(f->fieldNo(), i);
        QCOMPARE(o.table.findField(defs[i].name.toUpper()), f);
    }
    QCOMPARE(o.table.findField(u"nothing"), nullptr);
    QVERIFY_THROWS_EXCEPTION(DataError, o.table.fieldByName(u"nothing"));
    QCOMPARE(o.table.findField(u"Bl_LocalVessel")->displayWidth(), 20);
}

void TestDataTable::fieldValues()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    Opened o(path);
    Field *gross = o.table.fieldByName(u"Bl_Gross1");
    Field *date = o.table.fieldByName(u"Bl_DataRef");
    Field *vessel = o.table.fieldByName(u"Bl_LocalVessel");
    gross->setDisplayFormat(QString::fromUtf16(formats::NumberFormat));
    date->setDisplayFormat(QString::fromUtf16(formats::DateFormat));

    o.table.insert();
    QCOMPARE(gross->asFloat(), 0.0);  // an empty number reads as 0
    QCOMPARE(gross->displayText(), QString());
    gross->setEditText(QStringLiteral("1.234,500"));
    QCOMPARE(gross->asFloat(), 1234.5);
    QCOMPARE(gross->editText(), QStringLiteral("1.234,500"));
    gross->setEditText(QStringLiteral("1.234,600"));
    QCOMPARE(gross->asFloat(), 1234.6);
    try {
        gross->setEditText(QStringLiteral("1.23,5"));
        QFAIL("no error");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'1.23,5' is not a valid floating point value for field 'Bl_Gross1'"));
    }
    QCOMPARE(gross->asFloat(), 1234.6);  // a refused text leaves the value
    gross->setEditText(QString());
    QVERIFY(gross->isNull());

    date->setAsDate(QDate(2009, 3, 6));
    QCOMPARE(date->displayText(), QStringLiteral("06/03/2009"));
    vessel->setAsString(QStringLiteral("MSC ÁGUA"));
    QVERIFY_THROWS_EXCEPTION(ConversionError, vessel->setAsString(QString(21, u'X')));
    QCOMPARE(vessel->asString(), QStringLiteral("MSC ÁGUA"));
    vessel->setAsString(QString(20, u'X'));
    // Text the table's code page cannot hold is refused when set, not at post.
    QCOMPARE(engineKind([&] { vessel->setAsString(QStringLiteral("船")); }), px::EngineError::Kind::BadText);
    QVERIFY_THROWS_EXCEPTION(ConversionError, date->setAsFloat(1.0));
    gross->setAsFloat(0.5);
    o.table.post();

    QCOMPARE(gross->displayText(), QStringLiteral("0,500"));
    QCOMPARE(gross->asString(), QStringLiteral("0,5"));
    QCOMPARE(date->asDate(), QDate(2009, 3, 6));
    QCOMPARE(vessel->asString(), QString(20, u'X'));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(gross->displayText(), QStringLiteral("0.500"));
    QCOMPARE(date->displayText(), QStringLiteral("06/03/2009"));

    // Empty text empties; stored as empty, it reads back empty.
    o.table.edit();
    vessel->setAsString(QString());
    date->setAsDate(QDate());
    o.table.post();
    QVERIFY(vessel->isNull());
    QVERIFY(date->isNull());
    QCOMPARE(date->displayText(), QString());
}

void TestDataTable::longMemoKept()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    QString shortMemo, longMemo;
    for (int i = 0; i < 30; ++i)
        shortMemo += QStringLiteral("Line %1\r\n").arg(i);  // beyond the 100 kept in the record
    for (int i = 0; i < 600; ++i)
        longMemo += QStringLiteral("PALLET %1 – ÇÃO; ").arg(i);  // beyond one memo block
    QVERIFY(shortMemo.size() > 100 && longMemo.size() > 4096);
    {
        Opened o(path);
        o.table.insert();
        o.table.fieldByName(u"Bl_Marks1")->setAsString(shortMemo);
        o.table.fieldByName(u"Bl_Marks2")->setAsString(longMemo);
        o.table.post();
        QCOMPARE(o.table.fieldByName(u"Bl_Marks1")->asString(), shortMemo);
    }
    Opened again(path);
    QCOMPARE(again.table.fieldByName(u"Bl_Marks1")->asString(), shortMemo);
    QCOMPARE(again.table.fieldByName(u"Bl_Marks2")->asString(), longMemo);
}

void TestDataTable::writingNeedsEditState()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A"});
    Opened o(path);
    QCOMPARE(engineKind([&] { o.ref->setAsString(QStringLiteral("B")); }), px::EngineError::Kind::State);
    QCOMPARE(engineKind([&] { o.ref->clear(); }), px::EngineError::Kind::State);
    // Even a text that would not convert is refused for the state first.
    QCOMPARE(engineKind([&] { o.table.fieldByName(u"Bl_Gross1")->setAsString(QStringLiteral("x")); }),
             px::EngineError::Kind::State);
    QCOMPARE(o.current(), QStringLiteral("A"));
    // Moves while editing are refused; the edit stays.
    o.table.edit();
    o.ref->setAsString(QStringLiteral("B"));
    QCOMPARE(engineKind([&] { o.table.next(); }), px::EngineError::Kind::State);
    QCOMPARE(engineKind([&] { o.table.insert(); }), px::EngineError::Kind::State);
    QCOMPARE(o.table.state(), Table::State::Edit);
    QCOMPARE(o.current(), QStringLiteral("B"));
    // Settings of an open table are refused.
    QCOMPARE(engineKind([&] { o.table.setExclusive(true); }), px::EngineError::Kind::State);
    // Closing drops the edit.
    o.table.close();
    QCOMPARE(o.table.state(), Table::State::Inactive);
    QVERIFY(o.table.fields().isEmpty());  // the fields made at open go with the close
    QCOMPARE(refsOnDisk(path), QStringList({"A"}));
}

void TestDataTable::notifications()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B"});
    Table table;
    table.setDirectory(dir.path());
    table.setTableName(QStringLiteral("BlCorvane"));
    DataSource ds;
    ds.setDataSet(&table);
    QCOMPARE(ds.state(), Table::State::Inactive);
    QVERIFY(!ds.autoEdit());
    QSignalSpy state(&ds, &DataSource::stateChanged);
    QSignalSpy record(&ds, &DataSource::recordChanged);
    QSignalSpy data(&ds, &DataSource::dataSetChanged);
    QSignalSpy field(&ds, &DataSource::fieldChanged);

    table.open();
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Browse);
    QCOMPARE(ds.state(), Table::State::Browse);
    QCOMPARE(data.count(), 1);
    QCOMPARE(record.count(), 1);

    // Every move tells; a move that goes nowhere does not.
    record.clear();
    table.next();
    table.prior();
    table.last();
    table.first();
    table.moveTo(1);
    QCOMPARE(record.count(), 5);
    table.next();
    QCOMPARE(record.count(), 5);

    // A field change tells which field; the state changes tell the state.
    table.insert();
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Insert);
    QVERIFY(ds.isEditing());
    Field *ref = table.findField(u"Bl_AgentRef");
    ref->setAsString(QStringLiteral("C"));
    QCOMPARE(field.count(), 1);
    QCOMPARE(field.takeFirst().at(0).value<Field *>(), ref);
    data.clear();
    record.clear();
    table.post();
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Browse);
    QCOMPARE(data.count(), 1);
    QCOMPARE(record.count(), 1);

    table.deleteRecord();
    QCOMPARE(data.count(), 2);
    QCOMPARE(record.count(), 2);

    table.edit();
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Edit);
    table.cancel();
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Browse);
    QCOMPARE(record.count(), 3);

    table.close();
    QCOMPARE(state.takeFirst().at(0).value<Table::State>(), Table::State::Inactive);
    QCOMPARE(ds.state(), Table::State::Inactive);
    QVERIFY(state.isEmpty());
}

void TestDataTable::writersRunBeforePost()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    Opened o(path);
    DataSource ds;
    ds.setDataSet(&o.table);
    Field *gross = o.table.fieldByName(u"Bl_Gross1");
    // A control still holding typed text writes it when the record is posted.
    auto *control = new QObject;
    QString typed = QStringLiteral("12,5");
    ds.addDataWriter(control, [&] { gross->setEditText(typed); });
    o.table.insert();
    o.ref->setAsString(QStringLiteral("W"));
    o.table.post();
    QCOMPARE(gross->asFloat(), 12.5);

    // A writer whose text does not convert stops the post: still inserting, nothing written.
    typed = QStringLiteral("12.5");
    o.table.insert();
    o.ref->setAsString(QStringLiteral("W2"));
    QVERIFY_THROWS_EXCEPTION(ConversionError, o.table.post());
    QCOMPARE(o.table.state(), Table::State::Insert);
    QCOMPARE(o.current(), QStringLiteral("W2"));
    QCOMPARE(refsOnDisk(path), QStringList({"W"}));

    // Writers go with their controls.
    delete control;
    o.table.post();
    QCOMPARE(refsOnDisk(path), QStringList({"W", "W2"}));
}

void TestDataTable::conflictKeepsEditState()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    appendRefs(path, {"A", "B"});
    Opened o(path);
    o.table.edit();
    o.ref->setAsString(QStringLiteral("MINE"));
    {
        // Another program changes the same record meanwhile.
        px::Table other(path, px::Table::Mode::Shared);
        const auto p = other.first();
        QVector<px::Value> v = other.readValues(*p);
        v[kAgentRef] = QStringLiteral("THEIRS");
        other.update(*p, other.readRaw(*p), v);
    }
    QCOMPARE(engineKind([&] { o.table.post(); }), px::EngineError::Kind::Conflict);
    QCOMPARE(o.table.state(), Table::State::Edit);
    QCOMPARE(o.current(), QStringLiteral("MINE"));
    QCOMPARE(refsOnDisk(path), QStringList({"THEIRS", "B"}));
    o.table.cancel();
    QCOMPARE(o.table.state(), Table::State::Browse);
}

void TestDataTable::readingByOrdinal()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    QStringList refs;
    for (int i = 0; i < 700; ++i)  // several data blocks
        refs << QStringLiteral("REF%1").arg(i);
    appendRefs(path, refs);
    Opened o(path);
    Field *vessel = o.table.fieldByName(u"Bl_LocalVessel");
    QSignalSpy moved(&o.table, &Table::recordChanged);

    QCOMPARE(o.table.displayTextAt(650, o.ref), QStringLiteral("REF650"));
    QCOMPARE(o.table.displayTextsAt(3, {o.ref, vessel}), QStringList({"REF3", ""}));
    QCOMPARE(o.table.displayTextAt(700, o.ref), QString());  // past the end
    QCOMPARE(o.table.recNo(), 0);
    QCOMPARE(moved.count(), 0);

    QVERIFY(o.table.moveTo(699));
    QCOMPARE(o.current(), QStringLiteral("REF699"));
    QCOMPARE(o.table.recNo(), 699);
    QVERIFY(!o.table.moveTo(700));
    QCOMPARE(o.table.recNo(), 699);

    // The record being edited shows its buffer in its row.
    o.table.moveTo(5);
    o.table.edit();
    o.ref->setAsString(QStringLiteral("TYPED"));
    QCOMPARE(o.table.displayTextAt(5, o.ref), QStringLiteral("TYPED"));
    QCOMPARE(o.table.displayTextAt(6, o.ref), QStringLiteral("REF6"));
    o.table.cancel();
    QCOMPARE(o.table.displayTextAt(5, o.ref), QStringLiteral("REF5"));
}

void TestDataTable::missingFile()
{
    QTemporaryDir dir;
    Table t;
    new Field(&t, QStringLiteral("Bl_AgentRef"), px::FieldType::Alpha, 20);
    t.setDirectory(dir.path());
    t.setTableName(QStringLiteral("BlCorvane.DB"));
    QCOMPARE(engineKind([&] { t.open(); }), px::EngineError::Kind::FileMissing);
    QCOMPARE(t.state(), Table::State::Inactive);
    QVERIFY(!t.engine());
    QCOMPARE(t.fields().at(0)->fieldNo(), -1);
    QVERIFY(t.fields().at(0)->isNull());
    QCOMPARE(engineKind([&] { t.recordCount(); }), px::EngineError::Kind::State);
    QCOMPARE(engineKind([&] { t.edit(); }), px::EngineError::Kind::State);

    // Once the file is there, the same object opens.
    registerPath(dir);
    t.open();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.fields().size(), 1);  // persistent fields stay the only ones
    QCOMPARE(t.fields().at(0)->fieldNo(), kAgentRef);
}

void TestDataTable::exclusiveOpen()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    {
        px::Table other(path, px::Table::Mode::Shared);
        Table t;
        t.setDirectory(dir.path());
        t.setTableName(QStringLiteral("BlCorvane.DB"));
        t.setExclusive(true);
        QCOMPARE(engineKind([&] { t.open(); }), px::EngineError::Kind::InUse);
        QCOMPARE(t.state(), Table::State::Inactive);
    }
    Opened holder(path, true);
    Table t;
    t.setDirectory(dir.path());
    t.setTableName(QStringLiteral("BlCorvane.DB"));
    QCOMPARE(engineKind([&] { t.open(); }), px::EngineError::Kind::InUse);
    QCOMPARE(t.state(), Table::State::Inactive);
    holder.table.close();
    t.open();
    QCOMPARE(t.state(), Table::State::Browse);
}

void TestDataTable::fileLacksField()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir);
    auto kindOf = [&](const QString &name, px::FieldType type, int size) {
        Table t;
        new Field(&t, QStringLiteral("Bl_Shipper1"), px::FieldType::Alpha, 40);
        new Field(&t, name, type, size);
        t.setDirectory(dir.path());
        t.setTableName(QStringLiteral("BlCorvane.DB"));
        const auto k = engineKind([&] { t.open(); });
        // Opened: no error and browse state; refused: an error and still inactive.
        if ((k == px::EngineError::Kind(-1)) != (t.state() == Table::State::Browse))
            return px::EngineError::Kind(-2);
        return k;
    };
    QCOMPARE(kindOf(QStringLiteral("Di_Agentref"), px::FieldType::Alpha, 20), px::EngineError::Kind::Damaged);
    QCOMPARE(kindOf(QStringLiteral("Bl_Gross1"), px::FieldType::Alpha, 8), px::EngineError::Kind::Damaged);
    QCOMPARE(kindOf(QStringLiteral("Bl_AgentRef"), px::FieldType::Alpha, 10), px::EngineError::Kind::Damaged);
    QCOMPARE(kindOf(QStringLiteral("BL_AGENTREF"), px::FieldType::Alpha, 20), px::EngineError::Kind(-1));  // opens: case ignored
    // And a table opened after such a failure is not held open.
    Opened ok(path, true);
    QCOMPARE(ok.table.state(), Table::State::Browse);
}

void TestDataTable::pathResolution()
{
    QTemporaryDir dir;
    registerPath(dir);
    const QString base = QDir(dir.path()).filePath(QStringLiteral("BlCorvane.DB"));
    QCOMPARE(Table::resolvePath(dir.path(), QStringLiteral("BlCorvane")), base);
    QCOMPARE(Table::resolvePath(dir.path() + QLatin1Char('/'), QStringLiteral("BlCorvane.DB")), base);
    QCOMPARE(Table::resolvePath(dir.path(), QStringLiteral("blcorvane.db")), base);
    QCOMPARE(Table::resolvePath(dir.path(), QStringLiteral("Other")), QDir(dir.path()).filePath("Other.DB"));

    // No directory: the current directory when opening.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    Table t;
    t.setTableName(QStringLiteral("BlCorvane.DB"));
    t.open();
    QCOMPARE(QFileInfo(t.filePath()).canonicalFilePath(), QFileInfo(base).canonicalFilePath());
    QCOMPARE(t.directory(), QString());
    QCOMPARE(t.tableName(), QStringLiteral("BlCorvane.DB"));
    t.close();
    QDir::setCurrent(previous);
}

void TestDataTable::emptyTable()
{
    QTemporaryDir dir;
    const QString path = registerPath(dir, QStringLiteral("BL061226.DB"));
    appendRefs(path, {"A", "B"});
    Table::emptyTable(dir.path(), QStringLiteral("BL061226"));
    QCOMPARE(refsOnDisk(path), QStringList());
    Opened o(path);
    QCOMPARE(o.table.fields().size(), blrecord::registerFields().size());
    QVERIFY(o.table.isEmpty());

    // Emptying through an open exclusive table resets its cursor.
    o.table.close();
    appendRefs(path, {"C"});
    o.table.setExclusive(true);
    o.table.open();
    o.ref = o.table.findField(u"Bl_AgentRef");
    QCOMPARE(o.current(), QStringLiteral("C"));
    o.table.emptyTable();
    QVERIFY(o.table.isEmpty());
    QVERIFY(o.ref->isNull());
}

QTEST_GUILESS_MAIN(TestDataTable)
#include "tst_datatable.moc"
