// Engine errors reach the clerk as they are: one family, short Portuguese texts that name
// the file. A failed write (medium full) leaves the table sound.

#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace pxtest;
using px::FieldDef;
using px::FieldType;
using px::Table;
using px::Value;
using Row = QVector<Value>;
using Kind = px::EngineError::Kind;

namespace {

QVector<FieldDef> errFields()
{
    return {{QStringLiteral("Nome"), FieldType::Alpha, 30}, {QStringLiteral("Valor"), FieldType::Number, 8},
            {QStringLiteral("Texto"), FieldType::Memo, 50}};
}

Row errRow(int i)
{
    return {Value(QStringLiteral("linha %1").arg(i)), Value(double(i)), Value(patternText(quint32(i), 3000))};
}

// Short, names the file, reads as Portuguese rather than English.
QString judge(const px::EngineError &e, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const QString msg = e.message();
    if (!msg.contains(name, Qt::CaseInsensitive))
        return QStringLiteral("does not name %1: %2").arg(name, msg);
    QString rest = msg;
    rest.remove(path, Qt::CaseInsensitive);
    rest.remove(QFileInfo(path).absolutePath(), Qt::CaseInsensitive);
    rest.remove(name, Qt::CaseInsensitive);
    if (rest.size() > 200)
        return QStringLiteral("too long (%1 characters besides the path): %2").arg(rest.size()).arg(msg);
    static const QRegularExpression english(
        QStringLiteral("\\b(not|found|cannot|failed|error|file|table|damaged|unsupported|missing|invalid|"
                       "write|read|the|is|locked|full|disk)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression portuguese(
        QStringLiteral("\\b(arquivo|tabela|n[ãa]o|encontrad\\w*|danificad\\w*|suportad\\w*|uso|outro|"
                       "gravar|grava[çc][ãa]o|escrever|escrita|disco|cheio|meio|memorando|memo|erro|falh\\w*|"
                       "inv[áa]lid\\w*|existe|j[áa]|texto|caracteres?|p[áa]gina|ler|leitura|bloquead\\w*|"
                       "abert\\w*|programa|com|sem|de|da|do|em|est[áa])\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const auto en = english.match(rest);
    if (en.hasMatch())
        return QStringLiteral("English word \"%1\": %2").arg(en.captured(0), msg);
    if (!portuguese.match(rest).hasMatch())
        return QStringLiteral("no Portuguese word: ") + msg;
    return {};
}

#define EXPECT_ERROR(expr, expectedKind, path)                                                     \
    do {                                                                                            \
        try {                                                                                       \
            (void)(expr);                                                                           \
            QFAIL("no error: " #expr);                                                              \
        } catch (const px::EngineError &e_) {                                                       \
            QVERIFY2(e_.kind() == (expectedKind), qPrintable(QStringLiteral("kind %1: ").arg(int(e_.kind())) + e_.message())); \
            const QString verdict_ = judge(e_, (path));                                             \
            QVERIFY2(verdict_.isEmpty(), qPrintable(verdict_));                                     \
            QCOMPARE(QString::fromUtf8(e_.what()), e_.message());                                   \
        }                                                                                           \
    } while (0)

// Child: "fill <path>" appends until the file-size limit stops a write, then reports.
int fillChild(const QStringList &args)
{
    const QString path = args.value(0);
    std::signal(SIGXFSZ, SIG_IGN);  // an over-limit write then fails with EFBIG instead
    int appended = 0;
    try {
        Table t(path, Table::Mode::Shared);
        const qint64 limit = qMax(QFileInfo(path).size(), QFileInfo(memoFileOf(path)).size()) + 20000;
        rlimit rl{rlim_t(limit), rlim_t(limit)};
        setrlimit(RLIMIT_FSIZE, &rl);
        try {
            for (; appended < 1000; ++appended)
                t.append(errRow(appended));
            emitLine("NOLIMIT");
            return 1;
        } catch (const px::EngineError &e) {
            emitLine("APPENDED " + QByteArray::number(appended));
            emitLine("ERR " + QByteArray::number(int(e.kind())) + ' ' + e.message().toUtf8());
        }
        // The table goes on working for reading, at the state it had.
        emitLine("COUNT " + QByteArray::number(t.recordCount()));
    } catch (const px::EngineError &e) {
        emitLine("FATAL " + e.message().toUtf8());
        return 1;
    }
    return 0;
}

} // namespace

class TestPxErrors : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void missingFiles()
    {
        const QString none = m_dir->path() + QStringLiteral("/NADA.DB");
        for (Table::Mode mode : {Table::Mode::ReadOnly, Table::Mode::Shared, Table::Mode::Exclusive})
            EXPECT_ERROR(Table(none, mode), Kind::FileMissing, none);
        EXPECT_ERROR(Table::emptyTable(none), Kind::FileMissing, none);
        QVERIFY(!QFileInfo::exists(none));

        const QString path = makeTable(m_dir->path(), QStringLiteral("SEMMEMO.DB"), errFields());
        QVERIFY(QFile::remove(memoFileOf(path)));
        try {
            Table t(path, Table::Mode::ReadOnly);
            QFAIL("opened without its memo file");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), Kind::MemoMissing);
            const QString verdict = judge(e, path);
            const QString verdictMb = judge(e, memoFileOf(path));
            QVERIFY2(verdict.isEmpty() || verdictMb.isEmpty(), qPrintable(verdict));
        }
    }

    void inUse()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("OCUPADA.DB"), errFields());
        auto holder = holdInChild(path, Table::Mode::Exclusive);
        QVERIFY(holder->result.opened);
        EXPECT_ERROR(Table(path, Table::Mode::Shared), Kind::InUse, path);
        EXPECT_ERROR(Table::emptyTable(path), Kind::InUse, path);
    }

    void damaged()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("RUIM.DB"), errFields());
        {
            Table t(path);
            for (int i = 0; i < 3; ++i)
                t.append(errRow(i));
        }
        const QByteArray good = readFile(path);
        RawHeader h;
        QVERIFY(parseHeader(good, h));
        QStringList messages;
        const QVector<std::function<void(QByteArray &)>> damage = {
            [](QByteArray &db) { db = QByteArray("garbage").repeated(400); },
            [](QByteArray &db) { put8(db, 0x05, 0); },
            [](QByteArray &db) { put16(db, 0x00, 0); },
            [&](QByteArray &db) { put16(db, h.blockOffset(1), 1); },  // chain loops
        };
        for (const auto &d : damage) {
            QByteArray db = good;
            d(db);
            QVERIFY(writeFile(path, db));
            try {
                Table t(path, Table::Mode::ReadOnly);
                readAll(t);
                QFAIL("damage not noticed");
            } catch (const px::EngineError &e) {
                QCOMPARE(e.kind(), Kind::Damaged);
                const QString verdict = judge(e, path);
                QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
                messages << e.message();
            }
        }
        // The reason is part of the message: different damage, different text.
        for (int i = 0; i < messages.size(); ++i)
            for (int j = i + 1; j < messages.size(); ++j)
                QVERIFY2(messages[i] != messages[j], qPrintable(messages[i]));
    }

    void unsupported()
    {
        // Encrypted: the key at 0x5C, as encrypted level-4+ tables carry it.
        const QString enc = copySample(m_dir->path(), QStringLiteral("DECIMAL.DB"));
        QByteArray db = readFile(enc);
        put32(db, 0x5C, 0x5EC12E7);
        put16(db, 0x3E, 0);
        QVERIFY(writeFile(enc, db));
        for (Table::Mode mode : {Table::Mode::ReadOnly, Table::Mode::Shared})
            EXPECT_ERROR(Table(enc, mode), Kind::Unsupported, enc);
        QCOMPARE(readFile(enc), db);
        // Keyed tables are never written.
        const QString keyed = copySample(m_dir->path(), QStringLiteral("ORDERS.DB"));
        EXPECT_ERROR(Table(keyed, Table::Mode::Shared), Kind::Unsupported, keyed);
        EXPECT_ERROR(Table(keyed, Table::Mode::Exclusive), Kind::Unsupported, keyed);
    }

    void refusals()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("JAEXISTE.DB"), errFields());
        EXPECT_ERROR(Table::create(path, errFields()), Kind::Exists, path);
        Table t(path);
        Row bad = errRow(1);
        bad[0] = QStringLiteral("Ελληνικά");
        EXPECT_ERROR(t.append(bad), Kind::BadText, path);
        try {
            t.append(bad);
        } catch (const px::EngineError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("Nome")), qPrintable(e.message()));  // names the field
        }
    }

    // The medium fills up in the middle of the posts: the failing one reports it, the
    // earlier ones are all there, and the table is sound.
    void mediumFull()
    {
        const QString path = makeTable(m_dir->path(), QStringLiteral("CHEIO.DB"), errFields());
        {
            Table t(path);
            for (int i = 0; i < 3; ++i)
                t.append(errRow(1000 + i));
        }
        auto child = startSelf(QStringLiteral("fill"), {path});
        const QByteArray appended = readLine(*child, 60000);
        const QByteArray error = readLine(*child, 10000);
        const QByteArray count = readLine(*child, 10000);
        child->waitForFinished(10000);
        QVERIFY2(appended.startsWith("APPENDED "), appended.constData());
        const int n = appended.mid(9).toInt();
        QVERIFY2(n > 0 && n < 1000, appended.constData());
        const ChildOpen err = parseChildOpen(error);
        QVERIFY2(err.kind == int(Kind::WriteFailed) || err.kind == int(Kind::DiskFull), error.constData());
        QVERIFY2(err.message.contains(QStringLiteral("CHEIO.DB"), Qt::CaseInsensitive)
                     || err.message.contains(QStringLiteral("CHEIO.MB"), Qt::CaseInsensitive),
                 qPrintable(err.message));
        QCOMPARE(count, QByteArray("COUNT ") + QByteArray::number(3 + n));

        Table t(path, Table::Mode::Shared);
        const QStringList problems = t.check();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        const auto rows = readAll(t);
        QCOMPARE(rows.size(), 3 + n);
        for (int i = 0; i < n; ++i) {
            const Row want = errRow(i);
            for (int c = 0; c < want.size(); ++c)
                QVERIFY(sameValue(rows[3 + i][c], want[c]));
        }
        // And it takes posts again once there is room.
        t.append(errRow(5000));
        QCOMPARE(t.recordCount(), quint32(4 + n));
        const Verification v = verify(path, false);
        QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
    }

    void readOnlyFile()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not bind root");
        const QString path = makeTable(m_dir->path(), QStringLiteral("SOLEITURA.DB"), errFields());
        {
            Table t(path);
            t.append(errRow(1));
        }
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        QVERIFY(QFile::setPermissions(memoFileOf(path), QFile::ReadOwner | QFile::ReadGroup));
        const Snapshot before = snapshot(path);
        try {
            Table t(path, Table::Mode::Shared);
            t.append(errRow(2));
            QFAIL("wrote into a read-only file");
        } catch (const px::EngineError &e) {
            const QString verdict = judge(e, path);
            const QString verdictMb = judge(e, memoFileOf(path));
            QVERIFY2(verdict.isEmpty() || verdictMb.isEmpty(), qPrintable(verdict));
        }
        QVERIFY(snapshot(path) == before);
        Table t(path, Table::Mode::ReadOnly);
        QCOMPARE(t.recordCount(), 1u);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString role = childRole();
    if (role == QLatin1String("fill"))
        return fillChild(app.arguments().mid(1));
    if (!role.isEmpty())
        return runStandardChild(role, app.arguments().mid(1));
    TestPxErrors tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_pxerrors.moc"
