// Tables written by pxlib, read by our engine; then changed by our engine and read by pxlib.

#include "BLRecord.h"
#include "InteropCompare.h"
#include "InteropSamples.h"
#include "PxTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using interop::memoPathOf;
using interop::Rows;

namespace {

QVector<px::FieldDef> kindsFields()
{
    using px::FieldType;
    return {
        {QStringLiteral("Name"), FieldType::Alpha, 40},
        {QStringLiteral("When"), FieldType::Date, 4},
        {QStringLiteral("Amount"), FieldType::Number, 8},
        {QStringLiteral("Notes"), FieldType::Memo, 100},
        {QStringLiteral("Count"), FieldType::Long, 4},
        {QStringLiteral("Small"), FieldType::Short, 2},
        {QStringLiteral("Paid"), FieldType::Logical, 1},
        {QStringLiteral("Price"), FieldType::Currency, 8},
        {QStringLiteral("Extra"), FieldType::Memo, 10},
    };
}

QVector<px::Value> kindsRow(int i)
{
    const auto &ml = samples::registerMemoLengths();
    QVector<px::Value> v;
    v.append(i % 17 == 0 ? px::Value{samples::fullWidth(40)} : px::Value{samples::text(i)});
    v.append(samples::date(i));
    v.append(samples::number(i));
    v.append(samples::memoText(ml.at(i % ml.size()), i));
    v.append(i % 5 == 4 ? px::Value{} : px::Value{qint64((i % 2 ? -1 : 1) * (i * 104729 % 2147483647))});
    v.append(i % 6 == 5 ? px::Value{} : px::Value{qint64(i % 3 ? -32767 + i : 32767 - i)});
    v.append(i % 3 == 2 ? px::Value{} : px::Value{i % 2 == 0});
    v.append(i % 4 == 1 ? px::Value{} : px::Value{-1234.56 + i});
    v.append(samples::memoText(QVector<int>{0, 9, 10, 11, 2048, 2049}.at(i % 6), i + 2));
    return v;
}

QVector<px::FieldDef> plainFields()
{
    using px::FieldType;
    return {
        {QStringLiteral("Ref"), FieldType::Alpha, 12},
        {QStringLiteral("Day"), FieldType::Date, 4},
        {QStringLiteral("Weight"), FieldType::Number, 8},
    };
}

QVector<px::Value> plainRow(int i)
{
    return {QStringLiteral("R%1ç").arg(i), samples::date(i), samples::number(i)};
}

Rows makeRows(int from, int to, QVector<px::Value> (*row)(int))
{
    Rows r;
    for (int i = from; i < to; ++i)
        r.append(row(i));
    return r;
}

} // namespace

class PxlibWritesOurs : public QObject
{
    Q_OBJECT

private slots:
    void everyKindWithMemos();
    void memoFileEndingInPartialBlock_data();
    void memoFileEndingInPartialBlock();
    void appendAfterPartialBlock_data();
    void appendAfterPartialBlock();
    void withoutMemoFile();
    void registerMadeByPxlib();
    void codePage850();
    void genuineSamples_data();
    void genuineSamples();
};

// pxlib's memo file lacks the 0x02A1 word and ends in a partial block; we must read it all,
// and what we add to it pxlib must read in turn.
void PxlibWritesOurs::everyKindWithMemos()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("KINDS.DB"));
        const QString mb = dir.filePath(QStringLiteral("KINDS.MB"));
        const auto fields = kindsFields();
        Rows model = makeRows(0, 400, kindsRow);
        // small memos last, so pxlib's file ends in a whole sub-allocated block (a file ending
        // inside a single blob is the next test's case)
        for (int i = 0; i < 24; ++i) {
            QVector<px::Value> v = kindsRow(i);
            v[3] = samples::memoText(200, i);
            v[8] = px::Value{};
            model.append(v);
        }
        const QString made = oracle::writeTable(db, mb, fields, model, dir.path());
        QCOMPARE(QFileInfo(mb).size() % 4096, 0);
        QVERIFY2(made.isEmpty(), qPrintable(made));
        // pxlib itself reads back what it wrote, or this test proves nothing about us
        QString problems = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("pxlib on its own file:\n") + problems));

        for (auto mode : {px::Table::Mode::ReadOnly, px::Table::Mode::Shared}) {
            px::Table t(db, mode);
            QCOMPARE(t.info().codePage, 1252);
            problems = interop::ourMismatch(t, fields, model);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
        }
        {
            px::Table t(db, px::Table::Mode::ReadOnly);
            QCOMPARE(t.check(), QStringList());  // pxlib's file lacks the 0x02A1 word: no fault
        }

        // our writes into pxlib's file: appends, an update that moves a memo out of pxlib's
        // sub-allocated block, a delete of a record whose memo sits in one
        {
            px::Table t(db, px::Table::Mode::Shared);
            t.setSyncWrites(false);
            for (int i = 400; i < 460; ++i) {
                t.append(kindsRow(i));
                model.append(kindsRow(i));
            }
            auto pos = t.at(4);  // memo of 2048 bytes, sub-allocated by pxlib
            QVERIFY(pos);
            QVector<px::Value> v = kindsRow(4);
            v[3] = samples::memoText(5000, 99);
            t.update(*pos, t.readRaw(*pos), v);
            model[4] = v;
            pos = t.at(7);  // memo of 150 bytes, sub-allocated by pxlib
            QVERIFY(pos);
            t.remove(*pos, t.readRaw(*pos));
            model.removeAt(7);
            problems = interop::ourMismatch(t, fields, model);
            QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("engine after its writes:\n") + problems));
        }
        problems = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("pxlib after our writes:\n") + problems));
    });
}

namespace {

const QVector<px::FieldDef> &tailFields()
{
    static const QVector<px::FieldDef> f{{QStringLiteral("Ref"), px::FieldType::Alpha, 10},
                                         {QStringLiteral("Notes"), px::FieldType::Memo, 10}};
    return f;
}

// A pxlib table whose memo file ends inside the single blob of its last record.
QString makeTailTable(const QString &dir, int lastLength, Rows &model)
{
    model = {{QStringLiteral("first"), samples::memoText(300, 1)},
             {QStringLiteral("last"), samples::memoText(lastLength, 2)}};
    const QString db = dir + QStringLiteral("/TAIL.DB");
    const QString made = oracle::writeTable(db, dir + QStringLiteral("/TAIL.MB"), tailFields(), model, dir);
    return made.isEmpty() ? db : QString();
}

void tailLengths()
{
    QTest::addColumn<int>("lastLength");
    QTest::newRow("single blob, 2049 bytes") << 2049;
    QTest::newRow("single blob, 4088 bytes (second block cut)") << 4088;
    QTest::newRow("single blob, 70000 bytes") << 70000;
}

} // namespace

void PxlibWritesOurs::memoFileEndingInPartialBlock_data() { tailLengths(); }

// pxlib does not pad its memo file: a single blob written last ends the file mid-block.
// Its text must stay readable.
void PxlibWritesOurs::memoFileEndingInPartialBlock()
{
    QFETCH(int, lastLength);
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Rows model;
        const QString db = makeTailTable(dir.path(), lastLength, model);
        QVERIFY(!db.isEmpty());
        QVERIFY(QFileInfo(memoPathOf(db)).size() % 4096 != 0);
        px::Table t(db, px::Table::Mode::ReadOnly);
        const QString problems = interop::ourMismatch(t, tailFields(), model);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

void PxlibWritesOurs::appendAfterPartialBlock_data() { tailLengths(); }

// Our writes to such a file must neither refuse nor overwrite the blob the file ends in.
void PxlibWritesOurs::appendAfterPartialBlock()
{
    QFETCH(int, lastLength);
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Rows model;
        const QString db = makeTailTable(dir.path(), lastLength, model);
        QVERIFY(!db.isEmpty());
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            for (int len : {200, 3000, 9000}) {
                model.append({QStringLiteral("new %1").arg(len), samples::memoText(len, len)});
                t.append(model.last());
            }
        }
        const QString problems = interop::pxlibMismatch(db, memoPathOf(db), tailFields(), model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

// A table without blob fields has no memo file at all; pxlib picks 2 KB blocks for it.
void PxlibWritesOurs::withoutMemoFile()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("PLAIN.DB"));
        const auto fields = plainFields();
        Rows model = makeRows(0, 1000, plainRow);
        const QString made = oracle::writeTable(db, QString(), fields, model, dir.path());
        QVERIFY2(made.isEmpty(), qPrintable(made));
        QVERIFY(memoPathOf(db).isEmpty());
        {
            px::Table t(db, px::Table::Mode::ReadOnly);
            QVERIFY(t.memoPath().isEmpty());
            const QString problems = interop::ourMismatch(t, fields, model);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
        }
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            for (int i = 1000; i < 1100; ++i) {
                t.append(plainRow(i));
                model.append(plainRow(i));
            }
            const auto pos = t.at(0);
            QVERIFY(pos);
            t.remove(*pos, t.readRaw(*pos));
            model.removeFirst();
            QCOMPARE(t.check(), QStringList());
        }
        QVERIFY(memoPathOf(db).isEmpty());
        const QString problems = interop::pxlibMismatch(db, QString(), fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

// A register made by another program: the program opens it shared, reads it and posts to it.
void PxlibWritesOurs::registerMadeByPxlib()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QString::fromLatin1(blrecord::RegisterFile));
        const QString mb = dir.filePath(QStringLiteral("BlCorvane.MB"));
        const auto fields = blrecord::registerFields();
        Rows model = makeRows(0, 120, samples::registerRow);
        const QString made = oracle::writeTable(db, mb, fields, model, dir.path());
        QVERIFY2(made.isEmpty(), qPrintable(made));

        {
            px::Table t(db, px::Table::Mode::Shared);
            QCOMPARE(t.info().recordSize, 1044);
            QCOMPARE(t.fieldIndex(u"BL_AGENTREF"), 22);
            QString problems = interop::ourMismatch(t, fields, model);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
            for (int i = 120; i < 135; ++i) {  // flushed posts, as the program makes them
                t.append(samples::registerRow(i));
                model.append(samples::registerRow(i));
            }
            const auto last = t.last();
            QVERIFY(last);
            QCOMPARE(t.readValues(*last).value(22), px::Value(QStringLiteral("BK100134")));
        }
        const QString problems = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

// A table in another code page than ours: text is read and written in the table's own.
void PxlibWritesOurs::codePage850()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("DOS.DB"));
        const QString mb = dir.filePath(QStringLiteral("DOS.MB"));
        const QVector<px::FieldDef> fields{{QStringLiteral("Name"), px::FieldType::Alpha, 40},
                                           {QStringLiteral("Notes"), px::FieldType::Memo, 20}};
        Rows model;
        for (int len : {0, 20, 21, 300, 2048})
            model.append({samples::codePageText(850, 40, len), samples::codePageText(850, len, len + 1)});
        const QString made = oracle::writeTable(db, mb, fields, model, dir.path(), 850);
        QVERIFY2(made.isEmpty(), qPrintable(made));
        {
            px::Table t(db, px::Table::Mode::Shared);
            QCOMPARE(t.info().codePage, 850);
            QString problems = interop::ourMismatch(t, fields, model);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
            model.append({samples::codePageText(850, 40, 7), samples::codePageText(850, 700, 7)});
            t.append(model.last());
        }
        const QString problems = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

void PxlibWritesOurs::genuineSamples_data()
{
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("mb");
    const QDir dir(QStringLiteral(BL_SAMPLES_DIR));
    for (const QString &name : dir.entryList({QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files, QDir::Name)) {
        const QString base = dir.filePath(name.left(name.size() - 3));
        QString mb;
        for (const char *ext : {".MB", ".mb"})
            if (QFileInfo::exists(base + QLatin1String(ext)))
                mb = base + QLatin1String(ext);
        QTest::newRow(qPrintable(name)) << dir.filePath(name) << mb;
    }
}

// Tables made by genuine Paradox engines: both readers must see the same values.
void PxlibWritesOurs::genuineSamples()
{
    QFETCH(QString, db);
    QFETCH(QString, mb);
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const oracle::Dump dump = oracle::readTable(db, mb, dir.path());
        QVERIFY2(dump.ok, qPrintable(dump.failure));
        QVERIFY2(dump.messages.isEmpty(), qPrintable(dump.messages.join(QLatin1String("; "))));
        QVERIFY(!dump.rows.isEmpty());
        Rows model;
        for (int r = 0; r < dump.rows.size(); ++r) {
            QVector<px::Value> row;
            for (int i = 0; i < dump.fields.size(); ++i)
                row.append(dump.value(r, i));
            model.append(row);
        }
        px::Table t(db, px::Table::Mode::ReadOnly);
        QCOMPARE(t.info().codePage, dump.codePage);
        QCOMPARE(t.info().level * 10, dump.fileVersion);
        QCOMPARE(int(t.fields().size()), int(dump.fields.size()));
        for (int i = 0; i < dump.fields.size(); ++i) {
            QCOMPARE(t.fields()[i].name, dump.fields[i].name);
            QCOMPARE(int(t.fields()[i].type), dump.fields[i].type);
            QCOMPARE(t.fields()[i].storageSize(), dump.fields[i].length);
        }
        const QString problems = interop::ourMismatch(t, t.fields(), model);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    });
}

QTEST_GUILESS_MAIN(PxlibWritesOurs)
#include "tst_pxlib_writes_ours.moc"
