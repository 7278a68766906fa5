// bl-tool driven as a separate process, the way installers and scripts use it.

#include "BLRecord.h"
#include "ProcessRun.h"
#include "PxTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

struct Result
{
    int code = -1;
    QByteArray out;
    QString err;
};

Result runTool(const QStringList &args, const QByteArray &input = {},
               const std::function<void()> &childSetup = {})
{
    const ProcessRun r = runProcess(QStringLiteral(BL_TOOL_PATH), args, {.input = input, .childSetup = childSetup});
    return {r.code, r.out, QString::fromUtf8(r.err)};
}

struct Dump
{
    QJsonObject header;
    QVector<QJsonObject> rows;
    QList<QByteArray> rawRows;
};

// Runs dump and parses its lines; returns an explanation when it fails.
QString dumpTable(const QString &path, Dump &d)
{
    const Result r = runTool({QStringLiteral("dump"), path});
    if (r.code != 0)
        return QStringLiteral("dump exit %1: %2").arg(r.code).arg(r.err);
    QList<QByteArray> lines = r.out.split('\n');
    if (lines.isEmpty() || !lines.last().isEmpty())
        return QStringLiteral("output does not end with a line break");
    lines.removeLast();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError e;
        const QJsonDocument doc = QJsonDocument::fromJson(lines[i], &e);
        if (!doc.isObject())
            return QStringLiteral("line %1 is not a JSON object: %2").arg(i + 1).arg(e.errorString());
        if (i == 0) {
            d.header = doc.object();
        } else {
            d.rows.append(doc.object());
            d.rawRows.append(lines[i]);
        }
    }
    if (d.header.isEmpty())
        return QStringLiteral("no header line");
    return {};
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString mbOf(const QString &db)
{
    return db.left(db.size() - 2) + QStringLiteral("MB");
}

QByteArray jsonLine(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

// Values as dump gives them against values as given: numbers compare numerically.
bool sameValue(const QJsonValue &got, const QJsonValue &want)
{
    if (want.isDouble())
        return got.isDouble() && got.toDouble() == want.toDouble();
    return got == want;
}

// The expected rows of the genuine samples come from another reader, which prints
// currency rounded ("134.85" for the stored 134.85000000000002).
bool closeValue(const QJsonValue &got, const QJsonValue &want)
{
    if (want.isDouble() && got.isDouble()) {
        const double a = got.toDouble(), b = want.toDouble();
        return qAbs(a - b) <= 1e-12 * qMax(1.0, qMax(qAbs(a), qAbs(b)));
    }
    return sameValue(got, want);
}

QString textOfLength(int n)
{
    // Accented letters and CR LF line breaks, cut to exactly n characters.
    QString s;
    const QString unit = QStringLiteral("Açúcar cristal, café em grãos: exportação São Paulo\r\n");
    while (s.size() < n)
        s += unit;
    return s.left(n);
}

} // namespace

class TestBlTool : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString freshPath(const char *stem)
    {
        return m_dir.filePath(QStringLiteral("%1%2.DB").arg(QLatin1String(stem)).arg(++m_serial));
    }

    QString newRegister(const char *stem = "reg")
    {
        const QString path = freshPath(stem);
        const Result r = runTool({QStringLiteral("create"), QStringLiteral("register"), path});
        if (r.code != 0)
            qWarning("create failed: %s", qPrintable(r.err));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void createAndDumpHeader_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("table");
        QTest::newRow("register") << "register" << int(blrecord::Table::Register);
        QTest::newRow("transfer") << "transfer" << int(blrecord::Table::Transfer);
    }

    void createAndDumpHeader()
    {
        QFETCH(QString, kind);
        QFETCH(int, table);
        const QString path = freshPath("new");
        const Result r = runTool({QStringLiteral("create"), kind, path});
        QCOMPARE(r.code, 0);
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(QFileInfo::exists(mbOf(path)));

        Dump d;
        const QString why = dumpTable(path, d);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(d.header.value("level").toInt(), 7);
        QCOMPARE(d.header.value("blockSize").toInt(), 16384);
        QCOMPARE(d.header.value("codePage").toInt(), 1252);
        QCOMPARE(d.header.value("records").toInt(-1), 0);
        QVERIFY(d.rows.isEmpty());

        const QJsonArray fields = d.header.value("fields").toArray();
        const QVector<px::FieldDef> want = blrecord::fields(blrecord::Table(table));
        QCOMPARE(fields.size(), 32);
        for (int i = 0; i < want.size(); ++i) {
            const QJsonObject f = fields[i].toObject();
            QCOMPARE(f.value("name").toString(), want[i].name);
            QCOMPARE(f.value("type").toString(), px::fieldTypeLetter(want[i].type));
            QCOMPARE(f.value("size").toInt(), want[i].size);
        }
        // The few facts other programs rely on, spelled out rather than taken from the code.
        auto field = [&](int i) { return fields[i].toObject(); };
        if (kind == u"transfer") {
            QCOMPARE(field(0).value("name").toString(), QStringLiteral("Di_BillofLading"));
            QCOMPARE(field(22).value("name").toString(), QStringLiteral("Di_Agentref"));
        } else {
            QCOMPARE(field(0).value("name").toString(), QStringLiteral("Bl_Shipper1"));
            QCOMPARE(field(22).value("name").toString(), QStringLiteral("Bl_AgentRef"));
        }
        QCOMPARE(field(23).value("type").toString(), QStringLiteral("M"));
        QCOMPARE(field(23).value("size").toInt(), 100);
        QCOMPARE(field(25).value("type").toString(), QStringLiteral("D"));
        QCOMPARE(field(26).value("type").toString(), QStringLiteral("N"));
        QCOMPARE(field(27).value("size").toInt(), 12);
    }

    void buildMadeTheTemplate()
    {
        const QString db = QFileInfo(QStringLiteral(BL_TOOL_PATH)).dir().filePath(QStringLiteral("BLDisquete.DB"));
        QVERIFY2(QFileInfo::exists(db), qPrintable(db));
        QVERIFY(QFileInfo::exists(mbOf(db)));
        Dump d;
        const QString why = dumpTable(db, d);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(d.header.value("records").toInt(-1), 0);
        QCOMPARE(d.header.value("fields").toArray().first().toObject().value("name").toString(),
                 QStringLiteral("Di_BillofLading"));
    }

    void createRefusesToOverwrite()
    {
        // An existing .DB, and a lone .MB: both stay as they were and nothing new appears.
        const QString withDb = freshPath("old");
        {
            QFile f(withDb);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("a clerk's register");
        }
        Result r = runTool({QStringLiteral("create"), QStringLiteral("register"), withDb});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QFileInfo(withDb).fileName()), qPrintable(r.err));
        QCOMPARE(fileBytes(withDb), QByteArray("a clerk's register"));
        QVERIFY(!QFileInfo::exists(mbOf(withDb)));

        const QString withMb = freshPath("lone");
        {
            QFile f(mbOf(withMb));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("memo text");
        }
        r = runTool({QStringLiteral("create"), QStringLiteral("transfer"), withMb});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QFileInfo(mbOf(withMb)).fileName()), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(withMb));
        QCOMPARE(fileBytes(mbOf(withMb)), QByteArray("memo text"));

        // A second create over a pair the tool made itself.
        const QString made = newRegister();
        const QByteArray before = fileBytes(made);
        r = runTool({QStringLiteral("create"), QStringLiteral("register"), made});
        QCOMPARE(r.code, 2);
        QCOMPARE(fileBytes(made), before);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"export", "x.DB"};
        QTest::newRow("dump without path") << QStringList{"dump"};
        QTest::newRow("dump two paths") << QStringList{"dump", "a.DB", "b.DB"};
        QTest::newRow("create without kind") << QStringList{"create", "a.DB"};
        QTest::newRow("create unknown kind") << QStringList{"create", "invoice", "a.DB"};
        QTest::newRow("create without .DB") << QStringList{"create", "register", "a.txt"};
    }

    void badArguments()
    {
        QFETCH(QStringList, args);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        const Result r = runTool(args);
        QDir::setCurrent(cwd);
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.trimmed().isEmpty());
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("a.DB"))));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("a.MB"))));
    }

    // --help and --version answer on standard output with exit 0; a wrong call of a known
    // command shows that command's usage only, an unknown one names it and lists them all.
    void helpVersionAndUsage()
    {
        const Result help = runTool({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY(help.err.isEmpty());
        for (const char *verb : {"create register|transfer", "dump", "import", "check", "salvage", "pdf-bl", "pdf-receipt",
                                 "backups CADASTRO.DB", "restore CADASTRO.DB AAAA-MM-DD"})
            QVERIFY2(help.out.contains(QByteArray("bl-tool ") + verb), verb);

        const Result version = runTool({QStringLiteral("--version")});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QByteArray("bl-tool " BL_VERSION "\n"));

        const Result wrongCheck = runTool({QStringLiteral("check")});
        QCOMPARE(wrongCheck.code, 2);
        QVERIFY(wrongCheck.out.isEmpty());
        QVERIFY2(wrongCheck.err.startsWith(u"Uso: bl-tool check ARQ.DB\n"), qPrintable(wrongCheck.err));
        QVERIFY(!wrongCheck.err.contains(u"salvage"));

        const Result wrongSalvage = runTool({QStringLiteral("salvage"), QStringLiteral("a.DB")});
        QVERIFY(wrongSalvage.err.startsWith(u"Uso: bl-tool salvage DANIFICADA.DB NOVA.DB\n"));

        const Result unknown = runTool({QStringLiteral("exportar"), QStringLiteral("a.DB")});
        QCOMPARE(unknown.code, 2);
        QVERIFY(unknown.err.startsWith(u"bl-tool: comando desconhecido: exportar\n"));
        QVERIFY(unknown.err.contains(u"pdf-receipt"));
    }

    void missingFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("dump") << "dump";
        QTest::newRow("import") << "import";
        QTest::newRow("check") << "check";
    }

    void missingFile()
    {
        QFETCH(QString, command);
        const QString path = m_dir.filePath(QStringLiteral("NoSuchTable.DB"));
        const Result r = runTool({command, path}, "{}\n");
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("NoSuchTable.DB")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(path));
    }

    void importDumpRoundTrip()
    {
        const QString path = newRegister();
        const QString long2049 = textOfLength(2049);
        const QVector<QJsonObject> input = {
            QJsonObject{
                {"Bl_Shipper1", QStringLiteral("Serra Azul Exportação Ltda. – São Paulo")},
                {"Bl_Shipper2", QStringLiteral("Preço: 12 € / saca")},
                {"Bl_Cnee1", QString(40, u'x')},
                {"Bl_AgentRef", QStringLiteral("SSZ-0903-0077")},
                {"Bl_Marks1", textOfLength(100)},
                {"Bl_Marks2", long2049},
                {"Bl_DataRef", QStringLiteral("2009-03-06")},
                {"Bl_Gross1", 0.1},
                {"Bl_Gross2", QStringLiteral("KGS")},
                {"Bl_Gross3", -1234.5},
                {"Bl_Measu1", 1e-7},
                {"Bl_Measu2", QStringLiteral("CBM")},
            },
            QJsonObject{
                // Names are matched without regard to case.
                {"bl_agentref", QStringLiteral("SSZ-0903-0077")},
                {"BL_MARKS1", textOfLength(101)},
                {"Bl_Marks2", QString()},
                {"Bl_DataRef", QStringLiteral("1999-12-31")},
                {"Bl_Gross1", 12345.678},
                {"Bl_Gross3", 0},
                {"Bl_Measu1", QJsonValue::Null},
            },
            QJsonObject{},
        };
        QByteArray jsonl;
        for (const QJsonObject &o : input)
            jsonl += jsonLine(o) + "\n";  // blank lines between records are skipped
        const Result r = runTool({QStringLiteral("import"), path}, jsonl);
        QVERIFY2(r.code == 0, qPrintable(r.err));

        Dump d;
        const QString why = dumpTable(path, d);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(d.header.value("records").toInt(), 3);
        QCOMPARE(d.rows.size(), 3);

        const QVector<px::FieldDef> fields = blrecord::registerFields();
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(d.rows[row].size(), 32);
            // Every field appears, in declared order.
            qsizetype at = -1;
            for (const px::FieldDef &f : fields) {
                const qsizetype next = d.rawRows[row].indexOf("\"" + f.name.toUtf8() + "\":");
                QVERIFY2(next > at, qPrintable(f.name));
                at = next;
            }
            for (const px::FieldDef &f : fields) {
                QJsonValue want = QJsonValue::Null;
                for (auto it = input[row].begin(); it != input[row].end(); ++it)
                    if (it.key().compare(f.name, Qt::CaseInsensitive) == 0)
                        want = it.value();
                if (want.isString() && want.toString().isEmpty())
                    want = QJsonValue::Null;  // an empty text is an empty field
                const QJsonValue got = d.rows[row].value(f.name);
                QVERIFY2(sameValue(got, want),
                         qPrintable(QStringLiteral("row %1 %2: got %3").arg(row).arg(f.name)
                                        .arg(QString::fromUtf8(QJsonDocument(QJsonArray{got}).toJson()))));
            }
        }
        QCOMPARE(d.rows[0].value("Bl_Marks2").toString().size(), 2049);
        // Shortest round-trip text, independent of any locale.
        QVERIFY(d.rawRows[0].contains("\"Bl_Gross1\":0.1,"));
        QVERIFY(d.rawRows[0].contains("\"Bl_Gross3\":-1234.5,"));
        QVERIFY(d.rawRows[1].contains("\"Bl_Gross1\":12345.678,"));
        QVERIFY(d.rawRows[0].contains("\"Bl_Marks1\":\"Açúcar"));
        QVERIFY(d.rawRows[0].contains("\\r\\n"));

        const Result c = runTool({QStringLiteral("check"), path});
        QCOMPARE(c.code, 0);
    }

    void importRefusals_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::addColumn<QString>("field");
        QTest::newRow("unknown field") << QByteArray(R"({"Bl_Shipper9":"x"})") << "Bl_Shipper9";
        QTest::newRow("string for number") << QByteArray(R"({"Bl_Gross1":"12.5"})") << "Bl_Gross1";
        QTest::newRow("number for text") << QByteArray(R"({"Bl_AgentRef":4471})") << "Bl_AgentRef";
        QTest::newRow("bool for number") << QByteArray(R"({"Bl_Measu1":true})") << "Bl_Measu1";
        QTest::newRow("object for memo") << QByteArray(R"({"Bl_Marks1":{"a":1}})") << "Bl_Marks1";
        QTest::newRow("date 30 Feb") << QByteArray(R"({"Bl_DataRef":"2009-02-30"})") << "Bl_DataRef";
        QTest::newRow("date as shown") << QByteArray(R"({"Bl_DataRef":"06/03/2009"})") << "Bl_DataRef";
        QTest::newRow("date as number") << QByteArray(R"({"Bl_DataRef":20090306})") << "Bl_DataRef";
        QTest::newRow("date with time") << QByteArray(R"({"Bl_DataRef":"2009-03-06T10:00"})") << "Bl_DataRef";
        QTest::newRow("41 characters")
            << QByteArray(R"({"Bl_Cnee1":")" + QByteArray(41, 'A') + R"("})") << "Bl_Cnee1";
        QTest::newRow("13 characters unit") << QByteArray(R"({"Bl_Gross2":"KILOGRAMMES13"})") << "Bl_Gross2";
        QTest::newRow("not in 1252") << QByteArray(R"({"Bl_Notify1":"日本"})") << "Bl_Notify1";
        QTest::newRow("not in 1252, memo") << QByteArray(R"({"Bl_Marks2":"ok\r\n日本"})") << "Bl_Marks2";
        QTest::newRow("NUL in text") << QByteArray(R"({"Bl_Shipper1":"a\u0000b"})") << "Bl_Shipper1";
        QTest::newRow("number out of range") << QByteArray(R"({"Bl_Gross3":1e400})") << "Bl_Gross3";
        QTest::newRow("same field twice")
            << QByteArray(R"({"Bl_AgentRef":"A","BL_AGENTREF":"B"})") << "BL_AGENTREF";
        QTest::newRow("not JSON") << QByteArray(R"({"Bl_AgentRef":"A",})") << "";
        QTest::newRow("array") << QByteArray(R"(["Bl_AgentRef"])") << "";
        QTest::newRow("deep nesting") << QByteArray(R"({"Bl_Marks1":)") + QByteArray(200000, '[') << "";
        QTest::newRow("bad UTF-8") << QByteArray("{\"Bl_Shipper1\":\"S\xE3o Paulo\"}") << "";
    }

    void importRefusals()
    {
        QFETCH(QByteArray, bad);
        QFETCH(QString, field);
        const QString path = newRegister();
        const QByteArray seed = jsonLine({{"Bl_AgentRef", "SEED-1"}, {"Bl_Marks2", textOfLength(300)}})
                                + jsonLine({{"Bl_AgentRef", "SEED-2"}});
        QCOMPARE(runTool({QStringLiteral("import"), path}, seed).code, 0);
        const QByteArray db = fileBytes(path);
        const QByteArray mb = fileBytes(mbOf(path));

        // Good lines around the bad one; the blank line still counts for the line number.
        const QByteArray good = jsonLine({{"Bl_AgentRef", "GOOD"}, {"Bl_Marks2", textOfLength(500)}});
        const Result r = runTool({QStringLiteral("import"), path}, good + "\n" + bad + "\n" + good);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("linha 3")), qPrintable(r.err));
        if (!field.isEmpty())
            QVERIFY2(r.err.contains(field), qPrintable(r.err));

        QCOMPARE(fileBytes(path), db);
        QCOMPARE(fileBytes(mbOf(path)), mb);
        Dump d;
        QVERIFY(dumpTable(path, d).isEmpty());
        QCOMPARE(d.rows.size(), 2);
    }

    void importAcceptsEuroAndNulls()
    {
        const QString path = newRegister();
        const Result r = runTool({QStringLiteral("import"), path},
                                 "\xEF\xBB\xBF{\"Bl_Shipper1\":\"\\u20ac 1.000\",\"Bl_Gross1\":null}\r\n"
                                 "   \r\n");
        QVERIFY2(r.code == 0, qPrintable(r.err));
        Dump d;
        QVERIFY(dumpTable(path, d).isEmpty());
        QCOMPARE(d.rows.size(), 1);
        QCOMPARE(d.rows[0].value("Bl_Shipper1").toString(), QStringLiteral("€ 1.000"));
        QVERIFY(d.rows[0].value("Bl_Gross1").isNull());
    }

    void importIntoTransferTable()
    {
        // The booking number's lower-case spelling is found whatever case the input uses.
        const QString path = freshPath("xfer");
        QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("transfer"), path}).code, 0);
        const Result r = runTool({QStringLiteral("import"), path},
                                 R"({"Di_AgentRef":"SSZ-1","Di_BillofLading":"CVN-1","Di_DataRef":"2009-03-06"})");
        QVERIFY2(r.code == 0, qPrintable(r.err));
        Dump d;
        QVERIFY(dumpTable(path, d).isEmpty());
        QCOMPARE(d.rows.size(), 1);
        QCOMPARE(d.rows[0].value("Di_Agentref").toString(), QStringLiteral("SSZ-1"));
        QCOMPARE(d.rows[0].value("Di_BillofLading").toString(), QStringLiteral("CVN-1"));
        QVERIFY(d.rawRows[0].startsWith("{\"Di_BillofLading\":"));
    }

    void otherKindsRoundTrip()
    {
        // Support staff use the tool on tables other than ours: every kind the engine writes.
        using T = px::FieldType;
        const QString path = freshPath("kinds");
        px::Table::create(path, {{"Name", T::Alpha, 10}, {"Qty", T::Short, 2}, {"Big", T::Long, 4},
                                 {"Price", T::Currency, 8}, {"Ok", T::Logical, 1}, {"At", T::Time, 4},
                                 {"When", T::Timestamp, 8}, {"Tag", T::Bytes, 4}, {"Pic", T::Blob, 10},
                                 {"Day", T::Date, 4}});
        const QByteArray pic = QByteArray(3000, '\x01') + QByteArray("\x00\xFF\x7F", 3);
        const QJsonObject full{{"Name", "Ção"},
                               {"Qty", -32767},
                               {"Big", 2147483647},
                               {"Price", 19.99},
                               {"Ok", false},
                               {"At", "23:59:59.250"},
                               {"When", "2020-02-01T01:00:01"},
                               {"Tag", QString::fromLatin1(QByteArray("\x00\x01\xFE\x7F", 4).toBase64())},
                               {"Pic", QString::fromLatin1(pic.toBase64())},
                               {"Day", "0001-01-02"}};
        const QJsonObject second{{"Ok", true}, {"Qty", 0}, {"At", "00:00:00"}};
        const Result r = runTool({QStringLiteral("import"), path}, jsonLine(full) + jsonLine(second));
        QVERIFY2(r.code == 0, qPrintable(r.err));

        Dump d;
        QVERIFY(dumpTable(path, d).isEmpty());
        QCOMPARE(d.rows.size(), 2);
        for (auto it = full.begin(); it != full.end(); ++it)
            QVERIFY2(sameValue(d.rows[0].value(it.key()), it.value()), qPrintable(it.key()));
        QVERIFY(d.rawRows[0].contains("\"Qty\":-32767,"));  // an integer, not -32767.0
        QCOMPARE(d.rows[1].value("Ok"), QJsonValue(true));
        QCOMPARE(d.rows[1].value("Qty"), QJsonValue(0));
        QCOMPARE(d.rows[1].value("At"), QJsonValue("00:00:00"));
        QVERIFY(d.rows[1].value("Pic").isNull());

        const QByteArray dbBefore = fileBytes(path);
        const QList<std::pair<QByteArray, QString>> refused = {
            {R"({"Qty":32768})", "Qty"},        {R"({"Qty":1.5})", "Qty"},
            {R"({"Big":-2147483648})", "Big"},  {R"({"Ok":"yes"})", "Ok"},
            {R"({"At":"24:00:00"})", "At"},     {R"({"When":"2020-02-01 01:00:01"})", "When"},
            {R"({"Tag":"AAAAAAAA"})", "Tag"},   {R"({"Pic":"not base64!"})", "Pic"},
            {R"({"Price":"19.99"})", "Price"},  {R"({"Day":"10000-01-01"})", "Day"},
        };
        for (const auto &[line, field] : refused) {
            const Result bad = runTool({QStringLiteral("import"), path}, line);
            QVERIFY2(bad.code == 2 && bad.err.contains(QStringLiteral("linha 1")) && bad.err.contains(field),
                     line.constData());
        }
        QCOMPARE(fileBytes(path), dbBefore);
    }

    void tableInUse()
    {
        // Import takes the table exclusively, so it cannot be undone under another writer's feet.
        const QString path = newRegister();
        QCOMPARE(runTool({QStringLiteral("import"), path}, jsonLine({{"Bl_AgentRef", "A"}})).code, 0);
        {
            px::Table shared(path, px::Table::Mode::Shared);
            const Result r = runTool({QStringLiteral("import"), path}, jsonLine({{"Bl_AgentRef", "B"}}));
            QCOMPARE(r.code, 2);
            QVERIFY(!r.err.trimmed().isEmpty());
            QCOMPARE(shared.recordCount(), 1u);
            // Reading beside a shared user is fine.
            Dump d;
            QVERIFY(dumpTable(path, d).isEmpty());
            QCOMPARE(runTool({QStringLiteral("check"), path}).code, 0);
        }
        {
            px::Table exclusive(path, px::Table::Mode::Exclusive);
            QCOMPARE(runTool({QStringLiteral("dump"), path}).code, 2);
            QCOMPARE(runTool({QStringLiteral("check"), path}).code, 2);
        }
        QCOMPARE(runTool({QStringLiteral("import"), path}, jsonLine({{"Bl_AgentRef", "B"}})).code, 0);
    }

    void importUndoesAFailedWrite()
    {
        // The process may grow no file by more than about one data block: a long import
        // fails part way, as on a full medium, and must leave the table as it was.
        const QString path = newRegister();
        QCOMPARE(runTool({QStringLiteral("import"), path},
                         jsonLine({{"Bl_AgentRef", "KEEP-1"}, {"Bl_Marks2", textOfLength(150)}}))
                     .code,
                 0);
        Dump before;
        QVERIFY(dumpTable(path, before).isEmpty());

        QByteArray many;
        for (int i = 0; i < 60; ++i)
            many += jsonLine({{"Bl_AgentRef", QStringLiteral("BULK-%1").arg(i)},
                              {"Bl_Shipper1", QString(40, u'S')},
                              {"Bl_Marks2", textOfLength(2049)}});
        const rlim_t limit = rlim_t(qMax(QFileInfo(path).size(), QFileInfo(mbOf(path)).size()) + 20000);
        const Result r = runTool({QStringLiteral("import"), path}, many, [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl = {limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
        });
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.trimmed().isEmpty());

        Dump after;
        const QString why = dumpTable(path, after);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(after.header.value("records").toInt(), 1);
        QCOMPARE(after.rawRows, before.rawRows);
        const Result c = runTool({QStringLiteral("check"), path});
        QVERIFY2(c.code == 0, c.out.constData());

        // Without the limit the same import goes through.
        QCOMPARE(runTool({QStringLiteral("import"), path}, many).code, 0);
        Dump full;
        QVERIFY(dumpTable(path, full).isEmpty());
        QCOMPARE(full.rows.size(), 61);
    }

    void demoDataImportsCleanly()
    {
        const QString path = newRegister("BlCorvane");
        QFile demo(QStringLiteral(BL_SOURCE_DIR "/resources/demo/demo-bls.jsonl"));
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const QByteArray jsonl = demo.readAll();
        const Result r = runTool({QStringLiteral("import"), path}, jsonl);
        QVERIFY2(r.code == 0, qPrintable(r.err));

        const Result c = runTool({QStringLiteral("check"), path});
        QCOMPARE(c.code, 0);
        QVERIFY(c.out.startsWith("OK"));

        Dump d;
        QVERIFY(dumpTable(path, d).isEmpty());
        const QList<QByteArray> lines = jsonl.trimmed().split('\n');
        QCOMPARE(d.rows.size(), lines.size());
        QVERIFY(d.rows.size() >= 18);
        int longest = 0;
        QSet<QString> bookings;
        bool shared = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject want = QJsonDocument::fromJson(lines[i]).object();
            for (auto it = want.begin(); it != want.end(); ++it)
                QVERIFY2(sameValue(d.rows[i].value(it.key()), it.value()), qPrintable(it.key()));
            longest = qMax(longest, int(d.rows[i].value("Bl_Marks2").toString().size()));
            const QString booking = d.rows[i].value("Bl_AgentRef").toString();
            QVERIFY(!booking.isEmpty());
            shared = shared || bookings.contains(booking);
            bookings.insert(booking);
        }
        QVERIFY(longest > 2048);
        QVERIFY(shared);
    }

    void genuineSamples_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CUSTOMER") << "CUSTOMER.DB" << "CUSTOMER.jsonl";
        QTest::newRow("HERCULES") << "HERCULES.DB" << "HERCULES.jsonl";
        QTest::newRow("memo") << "memo.db" << "memo.jsonl";
        QTest::newRow("ORDERS") << "ORDERS.DB" << "ORDERS.jsonl";
        QTest::newRow("DECIMAL") << "DECIMAL.DB" << "DECIMAL.jsonl";
        QTest::newRow("date4") << "date4.db" << "date4.jsonl";
    }

    void genuineSamples()
    {
        QFETCH(QString, table);
        QFETCH(QString, expected);
        const QDir samples(QStringLiteral(BL_SAMPLES_DIR));
        QFile f(samples.filePath(QStringLiteral("expected/") + expected));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        const QJsonArray columns = QJsonDocument::fromJson(lines[0]).object().value("columns").toArray();

        Dump d;
        const QString why = dumpTable(samples.filePath(table), d);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const QJsonArray fields = d.header.value("fields").toArray();
        QCOMPARE(fields.size(), columns.size());
        for (qsizetype i = 0; i < columns.size(); ++i)
            QCOMPARE(fields[i].toObject().value("name").toString(), columns[i].toString());
        QCOMPARE(d.header.value("records").toInt(), int(lines.size() - 1));
        QCOMPARE(d.rows.size(), lines.size() - 1);

        const Result c = runTool({QStringLiteral("check"), samples.filePath(table)});
        QVERIFY2(c.code == 0, c.out.constData());

        for (qsizetype row = 1; row < lines.size(); ++row) {
            const QJsonObject want = QJsonDocument::fromJson(lines[row]).object();
            for (const QJsonValue &c : columns) {
                const QString name = c.toString();
                QVERIFY2(closeValue(d.rows[row - 1].value(name), want.value(name)),
                         qPrintable(QStringLiteral("row %1 field %2").arg(row).arg(name)));
            }
        }
    }

    void sampleStaysReadOnly()
    {
        // Keyed genuine tables are read, never written: an import is refused and changes nothing.
        const QString copy = m_dir.filePath(QStringLiteral("ORDERS.DB"));
        QVERIFY(QFile::copy(QStringLiteral(BL_SAMPLES_DIR "/ORDERS.DB"), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray before = fileBytes(copy);
        const Result r = runTool({QStringLiteral("import"), copy}, R"({"Ship VIA":"UPS"})");
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.trimmed().isEmpty());
        QCOMPARE(fileBytes(copy), before);
    }

    void checkReportsDamage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("record count") << "count";
        QTest::newRow("not a table") << "garbage";
        QTest::newRow("memo file gone") << "nomemo";
        QTest::newRow("truncated") << "truncated";
    }

    void checkReportsDamage()
    {
        QFETCH(QString, damage);
        const QString path = newRegister();
        QByteArray jsonl;
        for (int i = 0; i < 3; ++i)
            jsonl += jsonLine({{"Bl_AgentRef", QStringLiteral("R%1").arg(i)}, {"Bl_Marks2", textOfLength(400)}});
        QCOMPARE(runTool({QStringLiteral("import"), path}, jsonl).code, 0);
        QCOMPARE(runTool({QStringLiteral("check"), path}).code, 0);

        QByteArray db = fileBytes(path);
        if (damage == u"count") {
            db[6] = char(quint8(db[6]) + 5);  // numRecords, little-endian at 0x06
        } else if (damage == u"garbage") {
            db = QByteArray(4096, '\x5A');
        } else if (damage == u"truncated") {
            db.chop(db.size() / 3);
        }
        if (damage == u"nomemo") {
            QVERIFY(QFile::remove(mbOf(path)));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(db), db.size());
        }

        const Result r = runTool({QStringLiteral("check"), path});
        QVERIFY2(r.code == 1, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(r.err)));
        QVERIFY(!r.out.trimmed().isEmpty());
        QVERIFY(!r.out.startsWith("OK"));
    }

    void failedOutputIsAnError()
    {
        // A listing that cannot be written (full medium behind a redirection) must not pass as success.
        const QString path = newRegister();
        QCOMPARE(runTool({QStringLiteral("import"), path}, jsonLine({{"Bl_AgentRef", "X"}})).code, 0);
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(BL_TOOL_PATH), {QStringLiteral("dump"), path});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestBlTool)
#include "tst_bltool.moc"
