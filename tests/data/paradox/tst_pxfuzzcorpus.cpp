// The fuzz target's seed corpus, made here from the genuine samples and engine-made tables
// with a few deterministic mutations each, run through the fuzz entry point as a regression
// test. With BL_FUZZ_CORPUS set, the seeds are also written to that folder (make fuzz).

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "paradox/PxTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

#include "../../../fuzz/FuzzTable.cpp"

using namespace pxtest;

namespace {

QByteArray seed(const QByteArray &db, const QByteArray &mb)
{
    QByteArray s(4, '\0');
    put32(s, 0, quint32(db.size()));
    return s + db + mb;
}

} // namespace

class TestPxFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus();
};

void TestPxFuzzCorpus::corpus()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVector<std::pair<QByteArray, QByteArray>> pairs;
    for (const char *name : {"CUSTOMER.DB", "HERCULES.DB", "memo.db", "DECIMAL.DB", "date4.db", "ORDERS.DB"}) {
        const QString p = copySample(dir.path(), QString::fromLatin1(name));
        const QString m = memoFileOf(p);
        pairs.append({readFile(p), QFile::exists(m) ? readFile(m) : QByteArray()});
    }
    {
        const QString p = makeTable(dir.path(), QStringLiteral("REG.DB"), blrecord::registerFields(), {7, 2, 1252});
        px::Table t(p, px::Table::Mode::Exclusive);
        t.setSyncWrites(false);
        for (int i = 0; i < 12; ++i) {
            QVector<px::Value> r(t.fields().size());
            r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("R%1").arg(i);
            r[t.fieldIndex(u"Bl_Marks1")] = patternText(quint32(i), i % 2 ? 400 : 3000);
            t.append(r);
        }
        const auto pos = t.at(3);
        t.remove(*pos, t.readRaw(*pos));
        pairs.append({readFile(p), readFile(memoFileOf(p))});
    }
    QVector<QByteArray> seeds;
    std::mt19937 rng(4242);
    for (const auto &[db, mb] : pairs) {
        seeds.append(seed(db, mb));
        for (int m = 0; m < 24; ++m) {
            QByteArray d = db, b = mb;
            QByteArray &target = (m % 4 == 3 && !b.isEmpty()) ? b : d;
            const qint64 limit = m % 2 ? qMin<qint64>(target.size(), 0x900) : target.size();
            const qint64 off = qint64(rng() % quint32(limit));
            put8(target, off, quint8(rng()));
            if (m % 6 == 5)
                target.chop(qint64(rng() % 5000) % qMax<qint64>(1, target.size()));
            seeds.append(seed(d, b));
        }
    }
    const QString out = qEnvironmentVariable("BL_FUZZ_CORPUS");
    if (!out.isEmpty())
        QVERIFY(QDir().mkpath(out));
    for (int i = 0; i < seeds.size(); ++i) {
        setCase(QStringLiteral("seed %1").arg(i));
        if (!out.isEmpty())
            QVERIFY(writeFile(QDir(out).filePath(QStringLiteral("seed-%1").arg(i, 3, 10, QLatin1Char('0'))), seeds[i]));
        // Any crash, sanitizer report or foreign exception ends the test here.
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(seeds[i].constData()), size_t(seeds[i].size()));
    }
    qInfo("%d seeds run", int(seeds.size()));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    installCrashReporter();
    TestPxFuzzCorpus t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_pxfuzzcorpus.moc"
