// Tables written by our engine, read back value by value through pxlib.

#include "BLRecord.h"
#include "InteropCompare.h"
#include "InteropSamples.h"
#include "PxTable.h"

#include <QTemporaryDir>
#include <QTest>

using interop::memoPathOf;
using interop::Rows;

namespace {

QVector<px::FieldDef> mixedFields()
{
    using px::FieldType;
    return {
        {QStringLiteral("Code"), FieldType::Alpha, 1},
        {QStringLiteral("Title"), FieldType::Alpha, 255},
        {QStringLiteral("Town"), FieldType::Alpha, 30},
        {QStringLiteral("Day"), FieldType::Date, 4},
        {QStringLiteral("Amount"), FieldType::Number, 8},
        {QStringLiteral("Tiny"), FieldType::Memo, 1},
        {QStringLiteral("Small"), FieldType::Memo, 10},
        {QStringLiteral("Wide"), FieldType::Memo, 240},
        {QStringLiteral("Notes"), FieldType::Memo, 100},
    };
}

// Lengths around one leader size, plus the sub-allocation and single-blob boundaries.
int memoLengthFor(int leader, int i)
{
    if (i % 23 == 5)  // a long blob now and then, to keep the files small
        return 70000;
    const int l[] = {0, 1, leader - 1, leader, leader + 1, 2048, 2049, 173, 389, 3000};
    return qMax(0, l[i % 10]);
}

QVector<px::Value> mixedRow(int i)
{
    QVector<px::Value> v;
    v.append(i % 4 == 3 ? px::Value{} : px::Value{QString(QChar(u"AÇ€z"[i % 4]))});
    v.append(i % 7 == 0 ? px::Value{samples::fullWidth(255)} : px::Value{samples::memoText(30 + i * 17 % 200, i).simplified()});
    v.append(samples::text(i).left(30));
    v.append(samples::date(i));
    v.append(samples::number(i));
    v.append(samples::memoText(memoLengthFor(1, i), i));
    v.append(samples::memoText(memoLengthFor(10, i + 1), i + 1));
    v.append(samples::memoText(memoLengthFor(240, i + 2), i + 2));
    v.append(samples::memoText(memoLengthFor(100, i + 3), i + 3));
    return v;
}

void appendAll(px::Table &t, Rows &model, const Rows &rows)
{
    for (const auto &r : rows) {
        t.append(r);
        model.append(r);
    }
}

// The model is what the table must hold, in natural order.
void removeAt(px::Table &t, Rows &model, int ordinal)
{
    const auto pos = t.at(quint32(ordinal));
    QVERIFY(pos);
    t.remove(*pos, t.readRaw(*pos));
    model.removeAt(ordinal);
}

void updateAt(px::Table &t, Rows &model, int ordinal, const QVector<px::Value> &values)
{
    const auto pos = t.at(quint32(ordinal));
    QVERIFY(pos);
    t.update(*pos, t.readRaw(*pos), values);
    model[ordinal] = values;
}

} // namespace

class PxlibReadsOurs : public QObject
{
    Q_OBJECT

private slots:
    void registerTable();
    void levelsAndBlockSizes_data();
    void levelsAndBlockSizes();
    void afterDeletesAndUpdates_data();
    void afterDeletesAndUpdates();
    void emptiedThenRefilled();
    void codePages_data();
    void codePages();
};

// The register's own profile, filled the way a clerk would, read while the table is still
// open for writing and again after it is closed.
void PxlibReadsOurs::registerTable()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QString::fromLatin1(blrecord::RegisterFile));
        const auto fields = blrecord::registerFields();
        px::Table::create(db, fields);

        Rows model;
        {
            px::Table t(db, px::Table::Mode::Shared);
            QCOMPARE(t.info().recordSize, 1044);
            for (int i = 0; i < 40; ++i) {  // posted one by one, flushed as in the program
                t.append(samples::registerRow(i));
                model.append(samples::registerRow(i));
            }
            t.setSyncWrites(false);
            for (int i = 40; i < 260; ++i) {
                t.append(samples::registerRow(i));
                model.append(samples::registerRow(i));
            }
            const QString open = interop::pxlibMismatch(db, t.memoPath(), fields, model, dir.path());
            QVERIFY2(open.isEmpty(), qPrintable(open));
        }
        const QString mb = memoPathOf(db);
        QVERIFY(!mb.isEmpty());
        QCOMPARE(QFileInfo(mb).size() % 4096, 0);

        const QString closed = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(closed.isEmpty(), qPrintable(closed));

        const oracle::Dump dump = oracle::readTable(db, mb, dir.path());
        QVERIFY(dump.ok);
        QCOMPARE(dump.fileVersion, 70);
        QCOMPARE(dump.blockSizeKb, 16);
        QCOMPARE(dump.codePage, 1252);

        px::Table t(db, px::Table::Mode::ReadOnly);
        QCOMPARE(t.check(), QStringList());
    });
}

void PxlibReadsOurs::levelsAndBlockSizes_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("blockKb");
    for (int level : {4, 5, 7})
        for (int kb : {2, 4, 16})
            QTest::addRow("level %d, %d KB", level, kb) << level << kb;
}

void PxlibReadsOurs::levelsAndBlockSizes()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QFETCH(int, level);
        QFETCH(int, blockKb);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("MIXED.DB"));
        const auto fields = mixedFields();
        px::CreateOptions opt;
        opt.level = level;
        opt.blockSizeKb = blockKb;
        px::Table::create(db, fields, opt);

        Rows model;
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            QCOMPARE(t.info().level, level);
            QCOMPARE(t.info().blockSize, blockKb * 1024);
            for (int i = 0; i < 70; ++i)
                appendAll(t, model, {mixedRow(i)});
        }
        const QString mb = memoPathOf(db);
        QCOMPARE(QFileInfo(mb).size() % 4096, 0);
        const QString problems = interop::pxlibMismatch(db, mb, fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));

        const oracle::Dump dump = oracle::readTable(db, mb, dir.path());
        QVERIFY(dump.ok);
        QCOMPARE(dump.fileVersion, level * 10);
        QCOMPARE(dump.blockSizeKb, blockKb);
    });
}

void PxlibReadsOurs::afterDeletesAndUpdates_data()
{
    QTest::addColumn<bool>("registerProfile");
    QTest::newRow("register, level 7, 16 KB") << true;
    QTest::newRow("mixed, level 4, 2 KB") << false;
}

// Deletes that empty whole blocks and free memo space, updates that move memos between the
// record, sub-allocated blocks and single blocks, then appends that reuse the freed space.
void PxlibReadsOurs::afterDeletesAndUpdates()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QFETCH(bool, registerProfile);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("EDITED.DB"));
        const auto fields = registerProfile ? blrecord::registerFields() : mixedFields();
        px::CreateOptions opt;
        if (!registerProfile) {
            opt.level = 4;
            opt.blockSizeKb = 2;
        }
        px::Table::create(db, fields, opt);
        auto row = [&](int i) { return registerProfile ? samples::registerRow(i) : mixedRow(i); };
        // a row with every memo moved to another storage class than the one row(i) has
        auto changed = [&](int i) {
            QVector<px::Value> v = row(i + 1000);
            for (int k = 0; k < fields.size(); ++k)
                if (fields[k].type == px::FieldType::Memo)
                    v[k] = samples::memoText(QVector<int>{0, 2049, 60, 500, 5000}.at((i + k) % 5), i);
            return v;
        };

        Rows model;
        int perBlock = 0;
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            perBlock = (t.info().blockSize - 6) / t.info().recordSize;
            for (int i = 0; i < 150; ++i)
                appendAll(t, model, {row(i)});

            removeAt(t, model, 0);
            removeAt(t, model, int(model.size()) - 1);
            removeAt(t, model, 75);
            for (int k = 0; k < 2 * perBlock + 1; ++k)  // empties at least one whole block
                removeAt(t, model, 20);
            for (int ord = 3; ord < model.size(); ord += 9)
                updateAt(t, model, ord, changed(ord));
            QCOMPARE(int(t.recordCount()), int(model.size()));
            QCOMPARE(t.check(), QStringList());
        }
        QString problems = interop::pxlibMismatch(db, memoPathOf(db), fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("after deletes and updates:\n") + problems));

        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            for (int i = 500; i < 560; ++i)
                appendAll(t, model, {row(i)});
            updateAt(t, model, 0, changed(7));
            updateAt(t, model, int(model.size()) - 1, row(3));
            removeAt(t, model, int(model.size()) / 2);
            QCOMPARE(t.check(), QStringList());
        }
        problems = interop::pxlibMismatch(db, memoPathOf(db), fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("after reuse of freed space:\n") + problems));
        QCOMPARE(QFileInfo(memoPathOf(db)).size() % 4096, 0);
    });
}

// A transfer file starts as an emptied copy of the template.
void PxlibReadsOurs::emptiedThenRefilled()
{
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("BL060309.DB"));
        const auto fields = blrecord::transferFields();
        // the transfer table puts Di_BillofLading first
        auto transferRow = [](int i) {
            QVector<px::Value> v = samples::registerRow(i);
            const px::Value bl = v.takeAt(20);
            v.prepend(bl);
            return v;
        };
        px::Table::create(db, fields);
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            for (int i = 0; i < 40; ++i)
                t.append(transferRow(i));
        }
        px::Table::emptyTable(db);
        QString problems = interop::pxlibMismatch(db, memoPathOf(db), fields, {}, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("emptied:\n") + problems));

        Rows model;
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            for (int i = 0; i < 7; ++i)
                appendAll(t, model, {transferRow(i)});
        }
        problems = interop::pxlibMismatch(db, memoPathOf(db), fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("refilled:\n") + problems));
    });
}

void PxlibReadsOurs::codePages_data()
{
    QTest::addColumn<int>("codePage");
    QTest::newRow("437") << 437;
    QTest::newRow("850") << 850;
    QTest::newRow("1252") << 1252;
}

// pxlib recodes alpha text from the header's code page; memo text is decoded here by iconv.
void PxlibReadsOurs::codePages()
{
    QFETCH(int, codePage);
    interop::guarded(__FILE__, __LINE__, [&] {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("CP.DB"));
        const QVector<px::FieldDef> fields{{QStringLiteral("Name"), px::FieldType::Alpha, 40},
                                           {QStringLiteral("Notes"), px::FieldType::Memo, 20}};
        px::CreateOptions opt;
        opt.codePage = codePage;
        px::Table::create(db, fields, opt);
        Rows model;
        {
            px::Table t(db, px::Table::Mode::Exclusive);
            t.setSyncWrites(false);
            QCOMPARE(t.info().codePage, codePage);
            for (int len : {0, 20, 21, 300, 2049, 5000})
                appendAll(t, model, {{samples::codePageText(codePage, 40, len), samples::codePageText(codePage, len, len + 3)}});
        }
        const QString problems = interop::pxlibMismatch(db, memoPathOf(db), fields, model, dir.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        QCOMPARE(oracle::readTable(db, memoPathOf(db), dir.path()).codePage, codePage);
    });
}

QTEST_GUILESS_MAIN(PxlibReadsOurs)
#include "tst_pxlib_reads_ours.moc"
