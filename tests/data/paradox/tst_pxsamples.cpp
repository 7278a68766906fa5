// Genuine tables made by Paradox engines must read exactly as an independent reader reads
// them; keyed ones must never be written.

#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace pxtest;
using px::Table;

namespace {

struct Expected
{
    QStringList columns;
    QVector<QJsonObject> rows;
};

Expected loadExpected(const QString &base)
{
    Expected e;
    QFile f(QStringLiteral(BL_SAMPLES_DIR "/expected/") + base + QStringLiteral(".jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return e;
    bool first = true;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (first) {
            for (const QJsonValue &c : o.value(QStringLiteral("columns")).toArray())
                e.columns.append(c.toString());
            first = false;
        } else {
            e.rows.append(o);
        }
    }
    return e;
}

// One value against its JSON form; returns an explanation when they differ.
QString compare(const px::FieldDef &f, const px::Value &v, const QJsonValue &j)
{
    const QString got = describe(v);
    if (j.isNull() || j.isUndefined()) {
        if (px::isNull(v) || sameText(v, QString()))
            return {};
        return QStringLiteral("expected NULL, got ") + got;
    }
    if (j.isString()) {
        if (f.type == px::FieldType::Date) {
            const QDate want = QDate::fromString(j.toString(), Qt::ISODate);
            const QDate *d = std::get_if<QDate>(&v);
            return d && *d == want ? QString() : QStringLiteral("expected date %1, got %2").arg(j.toString(), got);
        }
        if (sameText(v, j.toString()))
            return {};
        const QString *s = std::get_if<QString>(&v);
        if (s) {
            const QString w = j.toString();
            qsizetype i = 0;
            while (i < s->size() && i < w.size() && s->at(i) == w.at(i))
                ++i;
            return QStringLiteral("text differs at character %1 (lengths %2/%3)").arg(i).arg(s->size()).arg(w.size());
        }
        return QStringLiteral("expected text, got ") + got;
    }
    if (j.isDouble()) {
        const double want = j.toDouble();
        // The expected values were printed to 15 significant digits (Currency is stored
        // unrounded, e.g. 134.85000000000002 for 134.85).
        if (const double *d = std::get_if<double>(&v))
            return std::abs(*d - want) <= 1e-12 * std::max(1.0, std::abs(want)) ? QString() : QStringLiteral("expected %1, got %2").arg(want, 0, 'g', 17).arg(got);
        if (const qint64 *i = std::get_if<qint64>(&v))
            return double(*i) == want ? QString() : QStringLiteral("expected %1, got %2").arg(want).arg(got);
        return QStringLiteral("expected a number, got ") + got;
    }
    return QStringLiteral("unexpected JSON value");
}

} // namespace

class TestPxSamples : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QFile::exists(samplePath(QStringLiteral("CUSTOMER.DB"))), BL_SAMPLES_DIR);
    }

    void contents_data()
    {
        QTest::addColumn<QString>("db");
        QTest::addColumn<bool>("keyed");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("codePage");
        QTest::newRow("CUSTOMER") << "CUSTOMER.DB" << true << 7 << 1252;
        QTest::newRow("HERCULES") << "HERCULES.DB" << true << 7 << 1252;
        QTest::newRow("ORDERS") << "ORDERS.DB" << true << 7 << 437;
        QTest::newRow("memo") << "memo.db" << true << 5 << 850;
        QTest::newRow("DECIMAL") << "DECIMAL.DB" << false << 7 << 1252;
        QTest::newRow("date4") << "date4.db" << false << 4 << 850;
    }

    // Every row and every column, in chain order, through scan() and through the cursor.
    void contents()
    {
        QFETCH(QString, db);
        QFETCH(bool, keyed);
        QFETCH(int, level);
        QFETCH(int, codePage);
        const Expected exp = loadExpected(QFileInfo(db).completeBaseName());
        QVERIFY(!exp.rows.isEmpty());
        const QString path = copySample(m_dir.path(), db);
        QVERIFY(!path.isEmpty());

        Table t(path, Table::Mode::ReadOnly);
        QCOMPARE(t.info().keyed, keyed);
        QCOMPARE(t.info().level, level);
        QCOMPARE(t.info().codePage, codePage);
        QCOMPARE(t.info().blockSize, 2048);
        QVERIFY(!t.info().encrypted);
        QCOMPARE(t.fields().size(), exp.columns.size());
        for (int i = 0; i < exp.columns.size(); ++i) {
            QCOMPARE(t.fields()[i].name, exp.columns[i]);
            QCOMPARE(t.fieldIndex(exp.columns[i].toUpper()), i);
        }
        QCOMPARE(int(t.recordCount()), exp.rows.size());

        const auto rows = readAll(t);
        QCOMPARE(rows.size(), exp.rows.size());
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < exp.columns.size(); ++c) {
                const QString diff = compare(t.fields()[c], rows[r][c], exp.rows[r].value(exp.columns[c]));
                QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("row %1 %2: ").arg(r).arg(exp.columns[c]) + diff));
            }

        // The cursor walk and random access give the same rows in the same order.
        int r = 0;
        for (auto pos = t.first(); pos; pos = t.next(*pos), ++r) {
            QVERIFY(r < rows.size());
            const auto values = t.readValues(*pos);
            for (int c = 0; c < values.size(); ++c)
                QVERIFY2(sameValue(values[c], rows[r][c]), qPrintable(QStringLiteral("row %1 col %2").arg(r).arg(c)));
            QCOMPARE(t.ordinalOf(*pos), qint64(r));
        }
        QCOMPARE(r, rows.size());
        r = rows.size() - 1;
        for (auto pos = t.last(); pos; pos = t.prior(*pos), --r) {
            QVERIFY(r >= 0);
            QVERIFY(sameValue(t.readValues(*pos)[0], rows[r][0]));
        }
        QCOMPARE(r, -1);
        const auto mid = t.at(quint32(rows.size() / 2));
        QVERIFY(mid.has_value());
        QVERIFY(sameValue(t.readValues(*mid).last(), rows[rows.size() / 2].last()));
        QVERIFY(!t.at(quint32(rows.size())).has_value());
        QVERIFY2(t.check().isEmpty(), qPrintable(t.check().join(QLatin1Char('\n'))));

        // The independent reader of these tests agrees with the expected memo text too.
        const Verification v = verify(path, false);
        QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
        QCOMPARE(v.records.size(), rows.size());
        for (int c = 0; c < t.fields().size(); ++c) {
            if (t.fields()[c].type != px::FieldType::Memo)
                continue;
            for (int i = 0; i < rows.size(); ++i)
                QVERIFY(sameText(rows[i][c], QString::fromLatin1(v.memos[i][c])));
        }
    }

    // Tables on read-only media (the shared sample folder is one) still open for reading.
    void readOnlyFolder()
    {
        Table t(samplePath(QStringLiteral("CUSTOMER.DB")), Table::Mode::ReadOnly);
        QCOMPARE(t.recordCount(), 20u);
        const auto rows = readAll(t);
        QCOMPARE(rows.size(), 20);
    }

    void keyedNeverWritten_data()
    {
        QTest::addColumn<QString>("db");
        QTest::newRow("CUSTOMER") << "CUSTOMER.DB";
        QTest::newRow("HERCULES") << "HERCULES.DB";
        QTest::newRow("ORDERS") << "ORDERS.DB";
        QTest::newRow("memo") << "memo.db";
    }

    void keyedNeverWritten()
    {
        QFETCH(QString, db);
        QTemporaryDir dir;
        const QString path = copySample(dir.path(), db);
        QVERIFY(!path.isEmpty());
        const Snapshot before = snapshot(path);
        for (Table::Mode mode : {Table::Mode::Shared, Table::Mode::Exclusive}) {
            try {
                Table t(path, mode);
                QFAIL("a keyed table opened for writing");
            } catch (const px::EngineError &e) {
                QVERIFY2(e.message().contains(QFileInfo(path).fileName()), qPrintable(e.message()));
            }
        }
        QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::emptyTable(path));
        QVERIFY(snapshot(path) == before);
        // Refusing to write does not stop reading.
        Table t(path, Table::Mode::ReadOnly);
        QVERIFY(t.recordCount() > 0);
        QVERIFY(snapshot(path) == before);
    }

    // Writing into a genuine non-keyed table keeps its level, block size, code page and
    // sort order, and keeps the rows it had.
    void writeIntoGenuine_data()
    {
        QTest::addColumn<QString>("db");
        QTest::newRow("DECIMAL") << "DECIMAL.DB";
        QTest::newRow("date4") << "date4.db";
    }

    void writeIntoGenuine()
    {
        QFETCH(QString, db);
        QTemporaryDir dir;
        const QString path = copySample(dir.path(), db);
        RawHeader before;
        QVERIFY(parseHeader(readFile(path), before));
        QVector<QVector<px::Value>> original;
        {
            Table t(path, Table::Mode::Shared);
            original = readAll(t);
            const bool isDate = t.fields()[0].type == px::FieldType::Date;
            // Enough rows to need new blocks of the table's own (2 KB) size.
            for (int i = 0; i < 700; ++i) {
                px::Value v = isDate ? px::Value(QDate(1990, 1, 1).addDays(i)) : px::Value(double(i) - 0.5);
                t.append({v});
            }
            QCOMPARE(int(t.recordCount()), original.size() + 700);
            QVERIFY(t.check().isEmpty());
        }
        RawHeader after;
        const QByteArray bytes = readFile(path);
        QVERIFY(parseHeader(bytes, after));
        QCOMPARE(after.version, before.version);
        QCOMPARE(after.blockSizeCode, before.blockSizeCode);
        QCOMPARE(after.codePage, before.codePage);
        QCOMPARE(after.sortOrder, before.sortOrder);
        QCOMPARE(after.sortOrderName, before.sortOrderName);
        QCOMPARE(after.headerSize, before.headerSize);
        QCOMPARE(after.fileType, quint8(2));
        QCOMPARE(qint64(bytes.size()), qint64(after.headerSize) + qint64(after.fileBlocks) * 2048);
        const Verification v = verify(path, false);
        QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
        QCOMPARE(v.records.size(), original.size() + 700);

        Table t(path, Table::Mode::ReadOnly);
        const auto rows = readAll(t);
        for (int i = 0; i < original.size(); ++i)
            QVERIFY(sameValue(rows[i][0], original[i][0]));
        const bool isDate = t.fields()[0].type == px::FieldType::Date;
        for (int i = 0; i < 700; ++i) {
            const px::Value want = isDate ? px::Value(QDate(1990, 1, 1).addDays(i)) : px::Value(double(i) - 0.5);
            QVERIFY2(sameValue(rows[original.size() + i][0], want), qPrintable(describe(rows[original.size() + i][0])));
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestPxSamples)
#include "tst_pxsamples.moc"
