// What the engine writes reads back exactly, through the engine and through the tests' own
// reader, and the file stays sound (header, chain, free list, memo file) after every change.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

using namespace pxtest;
using px::FieldDef;
using px::FieldType;
using px::Table;
using px::Value;
using Row = QVector<Value>;

// Every check the engine and the independent verifier can make, after a change.
#define VERIFY_SOUND(table)                                                                       \
    do {                                                                                          \
        const QStringList engineSays = (table).check();                                           \
        QVERIFY2(engineSays.isEmpty(), qPrintable(engineSays.join(QLatin1Char('\n'))));           \
        const Verification ours = verify((table).path());                                         \
        QVERIFY2(ours.ok(), qPrintable(ours.problems.join(QLatin1Char('\n'))));                   \
    } while (0)

#define VERIFY_ROWS(table, model)                                                                 \
    do {                                                                                          \
        const auto got_ = readAll(table);                                                         \
        QCOMPARE(got_.size(), (model).size());                                                    \
        QCOMPARE(qsizetype((table).recordCount()), (model).size());                               \
        for (int r_ = 0; r_ < got_.size(); ++r_)                                                  \
            for (int c_ = 0; c_ < got_[r_].size(); ++c_)                                          \
                QVERIFY2(sameValue(got_[r_][c_], (model)[r_][c_]),                                \
                         qPrintable(QStringLiteral("row %1 col %2: got %3, want %4")              \
                                        .arg(r_)                                                  \
                                        .arg(c_)                                                  \
                                        .arg(describe(got_[r_][c_]), describe((model)[r_][c_])))); \
    } while (0)

namespace {

// A general schema: text, number, date, a B/L-sized memo and a short-leader memo.
QVector<FieldDef> generalFields()
{
    return {{QStringLiteral("Id"), FieldType::Alpha, 12},   {QStringLiteral("Name"), FieldType::Alpha, 40},
            {QStringLiteral("Amount"), FieldType::Number, 8}, {QStringLiteral("Day"), FieldType::Date, 4},
            {QStringLiteral("Notes"), FieldType::Memo, 100}, {QStringLiteral("Extra"), FieldType::Memo, 20}};
}

const int kMemoLengths[] = {0, 1, 20, 21, 100, 101, 500, 2048, 2049, 5000, 20000};

Row generalRow(int id, int variant)
{
    const quint32 seed = quint32(id * 7919 + variant * 104729);
    const int notesLen = kMemoLengths[seed % std::size(kMemoLengths)];
    const int extraLen = kMemoLengths[(seed / 11) % std::size(kMemoLengths)];
    Row r;
    r << Value(QStringLiteral("ID%1").arg(id)) << Value(QStringLiteral("Nome %1 versão %2").arg(id).arg(variant))
      << Value(double(id) * 1.25 - double(variant)) << Value(QDate(2000, 1, 1).addDays(id + variant));
    r << (notesLen ? Value(patternText(seed, notesLen)) : Value());
    r << (extraLen ? Value(patternText(seed + 1, extraLen)) : Value());
    return r;
}

// Text of a given byte length in code page 1252 with accents and the euro sign.
QString accentText(int length)
{
    static const QString pieces = QStringLiteral("ação € Ünïcödé çedilha ñ — ");
    QString s;
    while (s.size() < length)
        s += pieces;
    return s.left(length);
}

int fileSize(const QString &path)
{
    return int(QFileInfo(path).size());
}

} // namespace

class TestPxRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // The register's profile: non-keyed, level 7, 16 KB blocks, code page 1252, DBWINWE0.
    void createProfile()
    {
        const auto fields = blrecord::registerFields();
        const QString path = makeTable(m_dir->path(), QStringLiteral("BlCorvane.DB"), fields);
        const QByteArray db = readFile(path);
        RawHeader h;
        QString why;
        QVERIFY2(parseHeader(db, h, &why), qPrintable(why));
        QCOMPARE(h.fileType, quint8(2));
        QCOMPARE(h.version, quint8(0x0C));
        QCOMPARE(h.versionWord1, quint16(0x010C));
        QCOMPARE(h.versionWord2, quint16(0x010C));
        QCOMPARE(h.blockSizeCode, quint8(16));
        QCOMPARE(h.headerSize, quint16(0x800));
        QCOMPARE(h.codePage, quint16(1252));
        QCOMPARE(h.sortOrder, quint8(0x40));
        QCOMPARE(h.sortOrderName, QByteArray("DBWINWE0"));
        QCOMPARE(h.encryption1, 0xFF00FF00u);
        QCOMPARE(h.encryption2, 0u);
        QCOMPARE(h.recordSize, quint16(1044));
        QCOMPARE(h.recordsPerBlock(), 15);
        QCOMPARE(h.keyFields, quint16(0));
        QCOMPARE(h.numRecords, 0u);
        QCOMPARE(u8(db, 0x3E), quint8(0x1F));
        QCOMPARE(u8(db, 0x3F), quint8(0x0F));
        QCOMPARE(u8(db, 0x56), quint8(0x20));
        QCOMPARE(u8(db, 0x14), quint8(0));
        QCOMPARE(u8(db, 0x2A), quint8(0));
        QCOMPARE(le16(db, 0x64), quint16(fields.size() + 1));
        QCOMPARE(h.fields.size(), fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(QString::fromLatin1(h.fields[i].name), fields[i].name);
            QCOMPARE(int(h.fields[i].type), int(fields[i].type));
            QCOMPARE(h.fields[i].storage, fields[i].storageSize());
        }
        QCOMPARE(h.fields[23].size, quint8(110));  // Marks1, M100
        // Offsets that the header records about itself.
        const int numbersAt = le16(db, 0x66) + 0x58;
        const int sortAt = le16(db, 0x6E) + 0x58;
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(int(le16(db, numbersAt + 2 * i)), i + 1);
        QCOMPARE(sortAt, numbersAt + 2 * int(fields.size()));
        QCOMPARE(db.mid(sortAt, 9), QByteArray("DBWINWE0\0", 9));
        QCOMPARE(int(h.realHeaderSize), sortAt + 9);
        // Field names sit where a reader that does not parse the table name expects them.
        QCOMPARE(db.mid(0x78 + 261 + 4 + 6 * fields.size(), 11), QByteArray("Bl_Shipper1"));
        QCOMPARE(qint64(db.size()), qint64(h.headerSize) + qint64(h.fileBlocks) * 16384);

        const QByteArray mb = readFile(memoFileOf(path));
        QCOMPARE(mb.size() % 4096, 0);
        QVERIFY(mb.size() >= 4096);

        Table t(path);
        QCOMPARE(t.info().level, 7);
        QCOMPARE(t.info().recordSize, 1044);
        QVERIFY(!t.memoPath().isEmpty());
        QCOMPARE(t.recordCount(), 0u);
        QVERIFY(!t.first().has_value());
        VERIFY_SOUND(t);

        // 16 records: the first block is full with 15, the 16th opens a second block.
        Row row(fields.size());
        for (int i = 0; i < 16; ++i) {
            row[20] = QStringLiteral("BL%1").arg(i);
            t.append(row);
        }
        VERIFY_SOUND(t);
        const Verification v = verify(path);
        QCOMPARE(v.chain.size(), 2);
        QCOMPARE(les16(readFile(path), v.header.blockOffset(v.chain[0]) + 4), qint16(14 * 1044));
        QCOMPARE(les16(readFile(path), v.header.blockOffset(v.chain[1]) + 4), qint16(0));
    }

    void createRefusals()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("T.DB"), generalFields());
        const Snapshot before = snapshot(path);
        // Over an existing .DB, or over a stray .MB of the same name.
        try {
            Table::create(path, generalFields());
            QFAIL("created over an existing table");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), px::EngineError::Kind::Exists);
        }
        QVERIFY(snapshot(path) == before);
        const QString stray = m_dir->path() + QStringLiteral("/U.MB");
        QVERIFY(writeFile(stray, QByteArray(4096, 'x')));
        QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::create(m_dir->path() + QStringLiteral("/U.DB"), generalFields()));
        QCOMPARE(readFile(stray), QByteArray(4096, 'x'));

        // A record that does not fit a block, and definitions no table can hold.
        const QString big = m_dir->path() + QStringLiteral("/BIG.DB");
        px::CreateOptions small;
        small.blockSizeKb = 1;
        QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::create(big, blrecord::registerFields(), small));
        QVERIFY(!QFileInfo::exists(big));
        const QVector<QVector<FieldDef>> bad = {
            {},
            {{QStringLiteral("A"), FieldType::Alpha, 0}},
            {{QStringLiteral("A"), FieldType::Alpha, 256}},
            {{QStringLiteral("A"), FieldType::Alpha, 10}, {QStringLiteral("a"), FieldType::Alpha, 10}},
            {{QStringLiteral("M"), FieldType::Memo, 0}},
            {{QStringLiteral("M"), FieldType::Memo, 241}},
            // sizes and kinds a header may not hold: creation follows the reader's rules
            {{QStringLiteral("S"), FieldType::Short, 4}},
            {{QStringLiteral("N"), FieldType::Number, 4}},
            {{QStringLiteral("D"), FieldType::Date, 8}},
            {{QStringLiteral("B"), FieldType::Bcd, 17}},
            {{QStringLiteral("X"), FieldType(0x30), 4}},
        };
        for (int i = 0; i < bad.size(); ++i) {
            const QString p = m_dir->path() + QStringLiteral("/BAD%1.DB").arg(i);
            QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::create(p, bad[i]));
            QVERIFY2(!QFileInfo::exists(p), qPrintable(p));
        }
        for (int kb : {0, 33}) {
            px::CreateOptions o;
            o.blockSizeKb = kb;
            QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::create(m_dir->path() + QStringLiteral("/K%1.DB").arg(kb), generalFields(), o));
        }
        for (int level : {3, 6, 8}) {
            px::CreateOptions o;
            o.level = level;
            QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::create(m_dir->path() + QStringLiteral("/L%1.DB").arg(level), generalFields(), o));
        }
    }

    void alpha_data()
    {
        QTest::addColumn<int>("size");
        for (int s : {1, 2, 40, 254, 255})
            QTest::newRow(qPrintable(QStringLiteral("A%1").arg(s))) << s;
    }

    // Full width (no terminator), shorter, empty, accents; the neighbour field is untouched.
    void alpha()
    {
        QFETCH(int, size);
        const QVector<FieldDef> fields = {{QStringLiteral("T"), FieldType::Alpha, size},
                                          {QStringLiteral("After"), FieldType::Alpha, 3}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("A.DB"), fields);
        Table t(path);
        const QString full = accentText(size);
        const QStringList texts = {full, full.left(size / 2), QString(), QStringLiteral("x"), QStringLiteral("€")};
        QVector<Row> model;
        for (const QString &s : texts) {
            const Row r = {s.isEmpty() ? Value() : Value(s), Value(QStringLiteral("end"))};
            t.append(r);
            model.append(r);
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        // Raw bytes: Windows-1252, NUL padded, full width without a terminator.
        const Verification v = verify(path);
        QCOMPARE(v.records.size(), model.size());
        QCOMPARE(alphaBytes(v.records[4], v.header.fields[0]), QByteArray("\x80"));
        QVERIFY(!v.records[0].left(size).contains('\0'));
        QCOMPARE(alphaBytes(v.records[0], v.header.fields[1]), QByteArray("end"));
        QVERIFY(v.records[2].left(size) == QByteArray(size, '\0'));

        // Text longer than the field: refused, or cut to the field; never spilled over.
        const Snapshot before = snapshot(path);
        try {
            t.append({Value(full + QStringLiteral("XYZ")), Value(QStringLiteral("end"))});
            const auto rows = readAll(t);
            QVERIFY(sameValue(rows.last()[0], Value(full)));
            QVERIFY(sameValue(rows.last()[1], Value(QStringLiteral("end"))));
        } catch (const px::EngineError &) {
            QVERIFY(snapshot(path) == before);
        }
        VERIFY_SOUND(t);
    }

    void numbersAndDates()
    {
        const QVector<FieldDef> fields = {{QStringLiteral("N"), FieldType::Number, 8}, {QStringLiteral("D"), FieldType::Date, 4}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("N.DB"), fields);
        const double values[] = {0.0, 1.0, -1.0, 0.5, -1234.5678, 200.36, -1.387, 1e300, -1e300,
                                 DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, 5e-324, -5e-324, 123456789.123,
                                 9007199254740993.0, std::ldexp(1.0, -1000)};
        const QDate dates[] = {QDate(1996, 2, 2), QDate(100, 1, 1), QDate(1996, 5, 4), QDate(9999, 12, 31),
                               QDate(2000, 2, 29), QDate(1900, 3, 1), QDate(1, 1, 1), QDate(2024, 12, 31)};
        QVector<Row> model;
        {
            Table t(path);
            for (size_t i = 0; i < std::size(values); ++i) {
                const Row r = {Value(values[i]), Value(dates[i % std::size(dates)])};
                t.append(r);
                model.append(r);
            }
            t.append({Value(-0.0), Value()});
            model.append({Value(0.0), Value()});
            t.append({Value(), Value()});
            model.append({Value(), Value()});
            VERIFY_SOUND(t);
        }
        Table t(path, Table::Mode::ReadOnly);
        VERIFY_ROWS(t, model);
        const auto rows = readAll(t);
        QVERIFY(!std::signbit(std::get<double>(rows[std::size(values)][0])));  // -0.0 reads as 0

        // Bytes as the format stores them, checked by the tests' own encoder and decoder.
        const Verification v = verify(path);
        const RawField &nf = v.header.fields[0];
        const RawField &df = v.header.fields[1];
        for (size_t i = 0; i < std::size(values); ++i) {
            QCOMPARE(v.records[int(i)].mid(0, 8), encodeNumber(values[i]));
            double d = 0;
            QVERIFY(numberValue(v.records[int(i)], nf, d));
            QCOMPARE(d, values[i]);
            QDate day;
            QVERIFY(dateValue(v.records[int(i)], df, day));
            QCOMPARE(day, dates[i % std::size(dates)]);
        }
        QCOMPARE(v.records[0].mid(0, 8), QByteArray::fromHex("8000000000000000"));  // 0 is not NULL
        QCOMPARE(v.records[0].mid(8, 4), QByteArray::fromHex("800B1E73"));        // 1996-02-02
        QCOMPARE(v.records[2].mid(8, 4), QByteArray::fromHex("800B1ECF"));        // 1996-05-04 = 728783
        QCOMPARE(v.records[1].mid(8, 4), encodeDate(QDate(100, 1, 1)));
        QCOMPARE(quint32(v.records[1].mid(8, 4).toHex().toUInt(nullptr, 16)) ^ 0x80000000u, 36160u);
        const QByteArray nulls = v.records.last();
        QCOMPARE(nulls, QByteArray(12, '\0'));
    }

    void memoLengths_data()
    {
        QTest::addColumn<int>("leader");
        for (int l : {1, 20, 100, 240})
            QTest::newRow(qPrintable(QStringLiteral("M%1").arg(l))) << l;
    }

    // Each length lands where the format puts it: the leader, a sub-allocated block, or a run
    // of single-blob blocks; the verifier's strict rules check the placement.
    void memoLengths()
    {
        QFETCH(int, leader);
        const QVector<FieldDef> fields = {{QStringLiteral("K"), FieldType::Alpha, 6},
                                          {QStringLiteral("M"), FieldType::Memo, leader},
                                          {QStringLiteral("M2"), FieldType::Memo, 10}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("M.DB"), fields);
        QVector<int> lengths = {0, 1, leader - 1, leader, leader + 1, 100, 101, 2047, 2048, 2049, 4087, 4088, 70000};
        QVector<Row> model;
        {
            Table t(path);
            for (int len : lengths) {
                if (len < 0)
                    continue;
                QString text = patternText(quint32(len), len);
                if (len > 10)
                    text[len / 2] = QLatin1Char('\r');
                const Row r = {Value(QString::number(len)), len ? Value(text) : Value(), Value(QStringLiteral("a\r\nb\nc"))};
                t.append(r);
                model.append(r);
                VERIFY_SOUND(t);
            }
            // Accented text beyond the leader is stored as single bytes of code page 1252.
            const QString acc = accentText(3000);
            t.append({Value(QStringLiteral("acc")), Value(acc), Value(accentText(300))});
            model.append({Value(QStringLiteral("acc")), Value(acc), Value(accentText(300))});
            VERIFY_SOUND(t);
            VERIFY_ROWS(t, model);
        }
        Table t(path, Table::Mode::ReadOnly);
        VERIFY_ROWS(t, model);
        const Verification v = verify(path);
        QVERIFY(v.ok());
        for (int r = 0; r < model.size(); ++r) {
            const QString *text = std::get_if<QString>(&model[r][1]);
            const MemoRef ref = memoRef(v.records[r], v.header.fields[1]);
            QCOMPARE(qsizetype(ref.length), text ? text->size() : 0);
            QCOMPARE(v.memos[r][1].size(), text ? text->size() : 0);
            if (text && std::all_of(text->cbegin(), text->cend(), [](QChar c) { return c.unicode() < 128; }))
                QCOMPARE(QString::fromLatin1(v.memos[r][1]), *text);
            const bool inLeader = ref.length <= quint32(leader);
            QCOMPARE(ref.location == 0, inLeader);
        }
        QCOMPARE(v.memos.last()[1].left(4), QByteArray("a\xe7\xe3o"));
    }

    void codePages_data()
    {
        QTest::addColumn<int>("cp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("foreign");  // a character this code page has no byte for
        QTest::addColumn<QByteArray>("patched");
        QTest::addColumn<QString>("patchedText");
        QTest::newRow("1252") << 1252 << QStringLiteral("éçÇü€") << QByteArray("\xe9\xe7\xc7\xfc\x80")
                              << QStringLiteral("─") << QByteArray("\xdf\xa2\xf8") << QStringLiteral("ß¢ø");
        QTest::newRow("850") << 850 << QStringLiteral("éçÇüø") << QByteArray("\x82\x87\x80\x81\x9b")
                             << QStringLiteral("€") << QByteArray("\xe1\xbd\x9b\xc4") << QStringLiteral("ß¢ø─");
        QTest::newRow("437") << 437 << QStringLiteral("éçÇü─") << QByteArray("\x82\x87\x80\x81\xc4")
                             << QStringLiteral("ø") << QByteArray("\xe1\x9b\xc4") << QStringLiteral("ß¢─");
    }

    // Text goes to the table's code page and back; bytes written by others decode right.
    void codePages()
    {
        QFETCH(int, cp);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, foreign);
        QFETCH(QByteArray, patched);
        QFETCH(QString, patchedText);
        px::CreateOptions o;
        o.codePage = cp;
        const QVector<FieldDef> fields = {{QStringLiteral("A"), FieldType::Alpha, 20}, {QStringLiteral("M"), FieldType::Memo, 10}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("C.DB"), fields, o);
        {
            Table t(path);
            QCOMPARE(t.info().codePage, cp);
            t.append({Value(text), Value(text.repeated(500))});
            VERIFY_SOUND(t);
            const Snapshot before = snapshot(path);
            QVERIFY_THROWS_EXCEPTION(px::EngineError, t.append({Value(foreign), Value()}));
            QVERIFY_THROWS_EXCEPTION(px::EngineError, t.append({Value(), Value(text.repeated(300) + foreign)}));
            QVERIFY(snapshot(path) == before);
        }
        Verification v = verify(path);
        QCOMPARE(alphaBytes(v.records[0], v.header.fields[0]), bytes);
        QCOMPARE(v.memos[0][1], bytes.repeated(500));
        QCOMPARE(v.header.codePage, quint16(cp));

        // Patch other bytes into the record, as another program might have written them.
        QByteArray db = readFile(path);
        const qint64 at = v.header.blockOffset(v.chain[0]) + 6;
        db.replace(at, 20, patched + QByteArray(20 - patched.size(), '\0'));
        QVERIFY(writeFile(path, db));
        Table t(path, Table::Mode::ReadOnly);
        QVERIFY(sameValue(t.readValues(*t.first())[0], Value(patchedText)));
    }

    // One non-ASCII character at every position of texts of many lengths, so that any
    // block-wise fast path meets it at its start, middle, end and in its tail.
    void textAtEveryPosition_data()
    {
        QTest::addColumn<int>("cp");
        QTest::addColumn<QString>("special");
        QTest::newRow("1252") << 1252 << QStringLiteral("€");
        QTest::newRow("850") << 850 << QStringLiteral("é");
        QTest::newRow("437") << 437 << QStringLiteral("─");
    }

    void textAtEveryPosition()
    {
        QFETCH(int, cp);
        QFETCH(QString, special);
        px::CreateOptions o;
        o.codePage = cp;
        const QVector<FieldDef> fields = {{QStringLiteral("A"), FieldType::Alpha, 255}, {QStringLiteral("M"), FieldType::Memo, 1}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("P.DB"), fields, o);
        Table t(path);
        t.setSyncWrites(false);
        QVector<Row> model;
        for (int len : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 128, 254, 255}) {
            const QString ascii = patternText(quint32(len), len).replace(QLatin1Char('\n'), QLatin1Char('x'));
            QVector<int> positions = {-1, 0, len - 1, len / 2};
            for (int k = 1; k < len && k < 40; ++k)
                positions << k;
            for (int k : positions) {
                QString text = ascii;
                if (k >= 0)
                    text[k] = special.at(0);
                model.append({Value(text), Value(text + text)});
                t.append(model.last());
            }
        }
        VERIFY_ROWS(t, model);
        VERIFY_SOUND(t);
    }

    // decodeRow() into a reused row gives what decode() gives field by field, also when a
    // field goes from text to NULL or from one kind to another between records.
    void decodeRowReuse()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("DR.DB"), generalFields());
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 30; ++i) {
            Row r = generalRow(i, i % 3);
            if (i % 4 == 1)
                r = Row(r.size());  // all NULL
            model.append(r);
            t.append(r);
        }
        Row reused = {Value(QStringLiteral("stale")), Value(QByteArray("xx")), Value(qint64(5)), Value(true),
                      Value(QStringLiteral("old memo")), Value(1.0), Value(QDate(1, 2, 3))};
        int r = 0;
        t.scan([&](px::RecordPos, const char *raw) {
            t.decodeRow(raw, reused);
            if (reused.size() != model[r].size())
                return false;
            for (int c = 0; c < reused.size(); ++c)
                if (!sameValue(reused[c], model[r][c]) || !sameValue(reused[c], t.decode(raw, c)))
                    return false;
            ++r;
            return true;
        });
        QCOMPARE(r, model.size());
    }

    // Values handed out stay what they were after later reads and writes reuse the
    // engine's buffers.
    void valuesOutliveTheirRead()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("V.DB"), generalFields());
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 40; ++i) {
            model.append(generalRow(i, 0));
            t.append(model.last());
        }
        QVector<Row> kept;
        for (int i = 0; i < 40; ++i)
            kept.append(t.readValues(*t.at(quint32(i))));
        QVector<Row> scanned;
        t.scan([&](px::RecordPos, const char *raw) {
            Row row;
            t.decodeRow(raw, row);
            scanned.append(row);
            return true;
        });
        // Churn: other reads, updates that replace memos, deletes and appends.
        for (int i = 0; i < 40; i += 3) {
            const auto pos = t.at(quint32(i));
            t.update(*pos, t.readRaw(*pos), generalRow(i, 9));
        }
        for (int i = 0; i < 10; ++i)
            t.remove(*t.first(), t.readRaw(*t.first()));
        for (int i = 0; i < 10; ++i)
            t.append(generalRow(100 + i, 1));
        readAll(t);
        for (int i = 0; i < 40; ++i)
            for (int c = 0; c < model[i].size(); ++c) {
                QVERIFY2(sameValue(kept[i][c], model[i][c]), qPrintable(QStringLiteral("readValues row %1 col %2").arg(i).arg(c)));
                QVERIFY2(sameValue(scanned[i][c], model[i][c]), qPrintable(QStringLiteral("decodeRow row %1 col %2").arg(i).arg(c)));
            }
    }

    // Text the code page cannot hold is refused before anything is written.
    void refusedText()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("R.DB"), generalFields());
        Table t(path);
        QVector<Row> model = {generalRow(1, 0), generalRow(2, 0)};
        for (const Row &r : model)
            t.append(r);
        const Snapshot before = snapshot(path);
        for (int field : {1, 4, 5}) {
            Row bad = generalRow(3, 0);
            bad[field] = QStringLiteral("日本");
            try {
                t.append(bad);
                QFAIL("text outside the code page was accepted");
            } catch (const px::EngineError &e) {
                QCOMPARE(e.kind(), px::EngineError::Kind::BadText);
                QVERIFY2(e.message().contains(QStringLiteral("R.DB"), Qt::CaseInsensitive), qPrintable(e.message()));
            }
            QVERIFY(snapshot(path) == before);
            // An update with bad text leaves the old record as it was, memos included.
            const auto pos = t.at(1);
            QVERIFY(pos);
            bad = generalRow(2, 1);
            bad[field] = QString(3000, QLatin1Char('x')) + QStringLiteral("日本");
            QVERIFY_THROWS_EXCEPTION(px::EngineError, t.update(*pos, t.readRaw(*pos), bad));
            QVERIFY(snapshot(path) == before);
        }
        VERIFY_ROWS(t, model);
        VERIFY_SOUND(t);
    }

    void levelsAndBlocks_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("kb");
        for (int level : {4, 5, 7})
            for (int kb : {1, 2, 3, 4, 8, 16, 32})
                QTest::newRow(qPrintable(QStringLiteral("L%1-%2K").arg(level).arg(kb))) << level << kb;
    }

    // A table keeps its own level and block size through appends, updates and deletes.
    void levelsAndBlocks()
    {
        QFETCH(int, level);
        QFETCH(int, kb);
        px::CreateOptions o;
        o.level = level;
        o.blockSizeKb = kb;
        const QVector<FieldDef> fields = {{QStringLiteral("Id"), FieldType::Alpha, 255}, {QStringLiteral("N"), FieldType::Number, 8},
                                          {QStringLiteral("D"), FieldType::Date, 4}, {QStringLiteral("Memo"), FieldType::Memo, 50}};
        const int recordSize = 255 + 8 + 4 + 60;
        const QString path = makeTable(m_dir->path(), QStringLiteral("LB.DB"), fields, o);
        const int versionByte = level == 4 ? 0x09 : level == 5 ? 0x0B : 0x0C;
        const int perBlock = (kb * 1024 - 6) / recordSize;
        QVector<Row> model;
        Table t(path);
        t.setSyncWrites(false);  // layout, not durability, is tested here
        QCOMPARE(t.info().level, level);
        QCOMPARE(t.info().versionByte, versionByte);
        QCOMPARE(t.info().blockSize, kb * 1024);
        const int n = perBlock * 3 + 1;
        for (int i = 0; i < n; ++i) {
            const int len = kMemoLengths[i % std::size(kMemoLengths)];
            const Row r = {Value(QStringLiteral("R%1").arg(i)), Value(i * 0.5), Value(QDate(2020, 1, 1).addDays(i)),
                           len ? Value(patternText(quint32(i), len)) : Value()};
            t.append(r);
            model.append(r);
        }
        VERIFY_SOUND(t);
        {
            // Appends fill every block before opening the next.
            const Verification v = verify(path);
            QCOMPARE(v.chain.size(), 4);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(int(les16(readFile(path), v.header.blockOffset(v.chain[i]) + 4)), (perBlock - 1) * recordSize);
        }
        for (int i = model.size() - 2; i >= 0; i -= 3) {
            const auto pos = t.at(quint32(i));
            QVERIFY(pos);
            t.remove(*pos, t.readRaw(*pos));
            model.removeAt(i);
        }
        for (int i = 0; i < model.size(); i += 4) {
            const auto pos = t.at(quint32(i));
            Row r = model[i];
            r[3] = Value(patternText(quint32(i + 99), 3000));
            t.update(*pos, t.readRaw(*pos), r);
            model[i] = r;
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);

        const QByteArray db = readFile(path);
        RawHeader h;
        QVERIFY(parseHeader(db, h));
        QCOMPARE(int(h.version), versionByte);
        QCOMPARE(int(h.versionWord1), 0x100 + versionByte);
        QCOMPARE(int(h.blockSizeCode), kb);
        QCOMPARE(h.fields[3].name, QByteArray("Memo"));
        const int namesAt = level == 7 ? 0x78 + 261 + 4 + 6 * 4 : 0x78 + 83 + 6 * 4;
        QCOMPARE(db.mid(namesAt, 3), QByteArray("Id\0", 3));
        QCOMPARE(qint64(db.size()), qint64(h.headerSize) + qint64(h.fileBlocks) * kb * 1024);
        Table again(path, Table::Mode::ReadOnly);
        VERIFY_ROWS(again, model);
    }

    // Deletes at the first, a middle and the last slot of a block and of the table; records
    // move up; an emptied block goes to the free list and the next new block reuses it.
    void deletes()
    {
        px::CreateOptions o;
        o.blockSizeKb = 1;
        const QVector<FieldDef> fields = {{QStringLiteral("T"), FieldType::Alpha, 100}};  // 10 a block
        const QString path = makeTable(m_dir->path(), QStringLiteral("D.DB"), fields, o);
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 40; ++i) {
            model.append({Value(QStringLiteral("rec %1").arg(i))});
            t.append(model.last());
        }
        VERIFY_SOUND(t);
        auto removeAt = [&](int ordinal) -> std::optional<px::RecordPos> {
            const auto pos = t.at(quint32(ordinal));
            if (!pos)
                return std::nullopt;
            const auto after = t.remove(*pos, t.readRaw(*pos));
            model.removeAt(ordinal);
            return after;
        };
        // First of the table, then the last of the table: the result is the new last record.
        auto after = removeAt(0);
        QVERIFY(after && sameValue(t.readValues(*after)[0], model[0][0]));
        after = removeAt(model.size() - 1);
        QVERIFY(after && sameValue(t.readValues(*after)[0], model.last()[0]));
        VERIFY_SOUND(t);
        // Block 2 (ordinals 9..18 now): its first, a middle and its last record.
        const Verification v0 = verify(path);
        const quint16 second = v0.chain[1];
        for (int ordinal : {9, 13, 16}) {
            const auto pos = t.at(quint32(ordinal));
            QCOMPARE(pos->block, second);
            after = removeAt(ordinal);
            QVERIFY(after);
            QVERIFY(sameValue(t.readValues(*after)[0], model[ordinal][0]));
            VERIFY_SOUND(t);
        }
        // The records after a deleted one moved up in their block.
        QCOMPARE(t.at(9)->block, second);
        QCOMPARE(t.at(9)->slot, quint16(0));
        QVERIFY(sameValue(t.readValues(px::RecordPos{second, 0})[0], model[9][0]));
        VERIFY_ROWS(t, model);

        // Empty the second block completely: it goes to the free list, the file keeps its size.
        const int dbSize = fileSize(path);
        while (t.at(9)->block == second)
            removeAt(9);
        VERIFY_SOUND(t);
        Verification v = verify(path);
        QVERIFY(v.freeList.contains(second));
        QVERIFY(!v.chain.contains(second));
        QCOMPARE(fileSize(path), dbSize);
        VERIFY_ROWS(t, model);
        // Fill the last block, then one more record: it goes into the freed block.
        while (verify(path).chain.size() == v.chain.size()) {
            model.append({Value(QStringLiteral("new %1").arg(model.size()))});
            t.append(model.last());
        }
        v = verify(path);
        QVERIFY(v.ok());
        QCOMPARE(v.chain.last(), second);
        QVERIFY(v.freeList.isEmpty());
        QCOMPARE(fileSize(path), dbSize);
        VERIFY_ROWS(t, model);

        // Empty the first block: the table still starts right.
        for (int i = 0; i < 10 && !model.isEmpty(); ++i)
            removeAt(0);
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        // Everything: the last remove reports that nothing is left.
        while (model.size() > 1)
            removeAt(model.size() / 2);
        after = removeAt(0);
        QVERIFY(!after.has_value());
        QCOMPARE(t.recordCount(), 0u);
        QVERIFY(!t.first().has_value());
        QVERIFY(!t.last().has_value());
        VERIFY_SOUND(t);
        QCOMPARE(fileSize(path), dbSize);
        // And it fills again from reused blocks.
        for (int i = 0; i < 35; ++i) {
            model.append({Value(QStringLiteral("again %1").arg(i))});
            t.append(model.last());
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        QCOMPARE(fileSize(path), dbSize);
    }

    // Several free blocks are all reused before the file grows.
    void freeListReuse()
    {
        px::CreateOptions o;
        o.blockSizeKb = 1;
        const QString path = makeTable(m_dir->path(), QStringLiteral("F.DB"), {{QStringLiteral("T"), FieldType::Alpha, 100}}, o);
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 60; ++i) {
            model.append({Value(QStringLiteral("r%1").arg(i))});
            t.append(model.last());
        }
        const int dbSize = fileSize(path);
        // Empty the 2nd, 4th and 5th blocks (ordinals 10-19, 30-49).
        for (int i = 49; i >= 30; --i) {
            t.remove(*t.at(quint32(i)), t.readRaw(*t.at(quint32(i))));
            model.removeAt(i);
        }
        for (int i = 19; i >= 10; --i) {
            t.remove(*t.at(quint32(i)), t.readRaw(*t.at(quint32(i))));
            model.removeAt(i);
        }
        VERIFY_SOUND(t);
        QCOMPARE(verify(path).freeList.size(), 3);
        for (int i = 0; i < 30; ++i) {
            model.append({Value(QStringLiteral("n%1").arg(i))});
            t.append(model.last());
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        QCOMPARE(fileSize(path), dbSize);
        QVERIFY(verify(path).freeList.isEmpty());
    }

    // Updates rewrite in place; a position that went stale still finds its record by bytes.
    void updates()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("U.DB"), generalFields());
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 20; ++i) {
            model.append(generalRow(i, 0));
            t.append(model.last());
        }
        // Memo short -> sub-allocated -> single blob -> empty -> short, checking each time.
        for (int len : {10, 500, 9000, 0, 150, 2049, 70000, 30}) {
            Row r = model[5];
            r[4] = len ? Value(patternText(quint32(len), len)) : Value();
            const auto pos = t.at(5);
            const auto newPos = t.update(*pos, t.readRaw(*pos), r);
            QCOMPARE(newPos, *pos);
            model[5] = r;
            VERIFY_SOUND(t);
        }
        VERIFY_ROWS(t, model);

        // Read record 8, delete record 2 behind its back: the old position is stale.
        const auto oldPos = t.at(8);
        const QByteArray oldRaw = t.readRaw(*oldPos);
        t.remove(*t.at(2), t.readRaw(*t.at(2)));
        model.removeAt(2);
        Row r = generalRow(8, 7);
        const auto newPos = t.update(*oldPos, oldRaw, r);
        model[7] = r;
        QVERIFY(sameValue(t.readValues(newPos)[0], Value(QStringLiteral("ID8"))));
        VERIFY_ROWS(t, model);
        // The same for a delete.
        const auto pos12 = t.at(12);
        const QByteArray raw12 = t.readRaw(*pos12);
        t.remove(*t.at(0), t.readRaw(*t.at(0)));
        model.removeAt(0);
        t.remove(*pos12, raw12);
        model.removeAt(11);
        VERIFY_ROWS(t, model);
        VERIFY_SOUND(t);

        // Bytes that match no record: a conflict, nothing changes.
        const Snapshot before = snapshot(path);
        QByteArray ghost = t.readRaw(*t.at(3));
        ghost[0] = 'Z';
        try {
            t.update(*t.at(3), ghost, generalRow(99, 0));
            QFAIL("update of a record that is not there");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), px::EngineError::Kind::Conflict);
        }
        QVERIFY_THROWS_EXCEPTION(px::EngineError, t.remove(*t.at(3), ghost));
        QVERIFY(snapshot(path) == before);
        // A position that holds no record.
        QVERIFY_THROWS_EXCEPTION(px::EngineError, t.readRaw(px::RecordPos{1, 500}));
        QVERIFY_THROWS_EXCEPTION(px::EngineError, t.readRaw(px::RecordPos{999, 0}));
        QCOMPARE(t.ordinalOf(px::RecordPos{999, 0}), qint64(-1));
        // Wrong number of values.
        QVERIFY_THROWS_EXCEPTION(px::EngineError, t.append(Row{Value(QStringLiteral("x"))}));
        QVERIFY(snapshot(path) == before);
    }

    // Replacing and deleting memos frees their space; the files stop growing.
    void memoSpaceReused()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("S.DB"), generalFields());
        const QString mbPath = memoFileOf(path);
        Table t(path);
        QVector<Row> model;
        for (int i = 0; i < 10; ++i) {
            model.append(generalRow(i, 0));
            t.append(model.last());
        }
        const int cycle[] = {150, 3000, 70000, 50, 2048, 2049, 700, 0, 12000};
        const qint64 dbSize = fileSize(path);
        const qint64 baseline = QFileInfo(mbPath).size();

        // One record replaced through the same cycle of lengths, pass after pass: once the
        // first pass has laid out the space, later passes fit into it.
        QVector<qint64> sizes;
        for (int pass = 0; pass < 5; ++pass) {
            for (int len : cycle) {
                Row r = model[3];
                r[4] = len ? Value(patternText(quint32(len + pass), len)) : Value();
                const auto pos = t.at(3);
                t.update(*pos, t.readRaw(*pos), r);
                model[3] = r;
                QCOMPARE(QFileInfo(mbPath).size() % 4096, 0);
            }
            sizes.append(QFileInfo(mbPath).size());
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        QVERIFY2(sizes.last() == sizes[1], qPrintable(QStringLiteral("memo file grew: %1 -> %2").arg(sizes[1]).arg(sizes.last())));
        // Never more than the largest memo (18 blocks) twice over, and a few blocks more.
        QVERIFY2(sizes.last() <= baseline + 4096 * 40,
                 qPrintable(QStringLiteral("%1 from %2").arg(sizes.last()).arg(baseline)));

        // Several records replaced in turn: still sound, same values, the .DB keeps its size.
        for (int round = 0; round < 30; ++round) {
            for (int k = 0; k < 3; ++k) {
                const int i = (round + k * 3) % model.size();
                Row r = model[i];
                const int len = cycle[(round + k) % std::size(cycle)];
                r[4] = len ? Value(patternText(quint32(round * 31 + k), len)) : Value();
                r[5] = Value(patternText(quint32(round), 30 + round));
                const auto pos = t.at(quint32(i));
                t.update(*pos, t.readRaw(*pos), r);
                model[i] = r;
            }
        }
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        QCOMPARE(fileSize(path), dbSize);

        // Delete all and write the same again: the memo file does not grow.
        const qint64 before = QFileInfo(mbPath).size();
        while (t.recordCount() > 0)
            t.remove(*t.first(), t.readRaw(*t.first()));
        VERIFY_SOUND(t);
        for (const Row &r : model)
            t.append(r);
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, model);
        QVERIFY2(QFileInfo(mbPath).size() <= before,
                 qPrintable(QStringLiteral("%1 > %2").arg(QFileInfo(mbPath).size()).arg(before)));
    }

    // Many sub-allocated memos share blocks (64 slots, 3760 bytes of data each at most).
    void manySmallMemos()
    {
        const QVector<FieldDef> fields = {{QStringLiteral("K"), FieldType::Alpha, 5}, {QStringLiteral("M"), FieldType::Memo, 1}};
        const QString path = makeTable(m_dir->path(), QStringLiteral("SM.DB"), fields);
        Table t(path);
        t.setSyncWrites(false);
        QVector<Row> model;
        for (int i = 0; i < 300; ++i) {
            const int len = 2 + (i * 37) % 600;
            model.append({Value(QString::number(i)), Value(patternText(quint32(i), len))});
            t.append(model.last());
        }
        VERIFY_SOUND(t);
        // Every third one goes and as many of the same sizes come, cycle after cycle: the
        // holes are filled, so the memo file soon stops growing.
        const QString mbPath = memoFileOf(path);
        QVector<qint64> sizes = {QFileInfo(mbPath).size()};
        for (int cycle = 0; cycle < 8; ++cycle) {
            QVector<int> freed;
            for (int i = model.size() - 1 - cycle; i >= 0; i -= 3) {
                freed.append(int(std::get<QString>(model[i][1]).size()));
                t.remove(*t.at(quint32(i)), t.readRaw(*t.at(quint32(i))));
                model.removeAt(i);
            }
            VERIFY_SOUND(t);
            for (int i = 0; i < freed.size(); ++i) {
                model.append({Value(QStringLiteral("c%1n%2").arg(cycle).arg(i)), Value(patternText(quint32(cycle * 1000 + i), freed[i]))});
                t.append(model.last());
            }
            VERIFY_SOUND(t);
            sizes.append(QFileInfo(mbPath).size());
        }
        VERIFY_ROWS(t, model);
        QStringList shown;
        for (qint64 sz : sizes)
            shown << QString::number(sz / 4096);
        QVERIFY2(sizes.last() <= sizes[3] && sizes.last() <= sizes[0] * 3 / 2,
                 qPrintable(QStringLiteral("memo file blocks per cycle: ") + shown.join(QLatin1Char(' '))));
    }

    void emptying()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("E.DB"), generalFields());
        QVector<Row> model;
        {
            Table t(path);
            t.setSyncWrites(false);
            for (int i = 0; i < 200; ++i)
                t.append(generalRow(i, 1));
            t.setSyncWrites(true);
            const auto fieldsBefore = t.fields();
            t.emptyAll();
            QCOMPARE(t.recordCount(), 0u);
            QVERIFY(!t.first().has_value());
            QCOMPARE(t.fields().size(), fieldsBefore.size());
            VERIFY_SOUND(t);
            for (int i = 0; i < 20; ++i) {
                model.append(generalRow(i, 2));
                t.append(model.last());
            }
            VERIFY_SOUND(t);
            VERIFY_ROWS(t, model);
        }
        const RawHeader before = verify(path).header;
        Table::emptyTable(path);
        {
            const Verification v = verify(path);
            QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
            QCOMPARE(v.header.numRecords, 0u);
            QCOMPARE(v.records.size(), 0);
            QCOMPARE(v.header.version, before.version);
            QCOMPARE(v.header.blockSizeCode, before.blockSizeCode);
            QCOMPARE(v.header.fields.size(), before.fields.size());
            for (int i = 0; i < before.fields.size(); ++i) {
                QCOMPARE(v.header.fields[i].name, before.fields[i].name);
                QCOMPARE(v.header.fields[i].type, before.fields[i].type);
                QCOMPARE(v.header.fields[i].size, before.fields[i].size);
            }
        }
        Table t(path);
        QCOMPARE(t.recordCount(), 0u);
        t.append(generalRow(5, 5));
        VERIFY_SOUND(t);
        VERIFY_ROWS(t, QVector<Row>{generalRow(5, 5)});
        QVERIFY_THROWS_EXCEPTION(px::EngineError, Table::emptyTable(m_dir->path() + QStringLiteral("/NONE.DB")));
    }

    // Random appends, updates and deletes against a model, in a table with small blocks.
    void randomOperations()
    {
        px::CreateOptions o;
        o.blockSizeKb = 2;
        const QString path = makeTable(m_dir->path(), QStringLiteral("RND.DB"), generalFields(), o);
        Table t(path);
        t.setSyncWrites(false);
        std::mt19937 rng(20240611);
        QVector<Row> model;
        int nextId = 0;
        for (int op = 0; op < 1500; ++op) {
            const int kind = int(rng() % 10);
            if (model.isEmpty() || kind < 5) {
                model.append(generalRow(nextId, 0));
                t.append(model.last());
                ++nextId;
            } else if (kind < 8) {
                const int i = int(rng() % quint32(model.size()));
                Row r = generalRow(std::get<QString>(model[i][0]).mid(2).toInt(), int(rng() % 1000));
                const auto pos = t.at(quint32(i));
                t.update(*pos, t.readRaw(*pos), r);
                model[i] = r;
            } else {
                const int i = int(rng() % quint32(model.size()));
                const auto pos = t.at(quint32(i));
                t.remove(*pos, t.readRaw(*pos));
                model.removeAt(i);
            }
            if (op % 100 == 99) {
                VERIFY_SOUND(t);
                VERIFY_ROWS(t, model);
            }
        }
        Table again(path, Table::Mode::ReadOnly);
        VERIFY_ROWS(again, model);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestPxRoundTrip)
#include "tst_pxroundtrip.moc"
