// What a clerk sees when the engine or a conversion fails in the middle of the work: one error
// box per failure, shown after the event that met it, and then windows that show the table as
// it is (the marked row is the current record, readable rows are shown, unreadable ones say so),
// so that the next "Delete" removes the B/L the clerk sees marked. Driven by control names over
// real files in temporary folders; no error ever reaches the event loop.

#include "CountingApp.h"
#include "../transfer/TransferTestSupport.h"
#include "BLApplication.h"
#include "BLTransfer.h"
#include "DBControls.h"
#include "DBGrid.h"
#include "ErrorBoxWatch.h"
#include "PxTestUtil.h"
#include "U_Disquete.h"
#include "U_Principal.h"
#include "U_Procura.h"

#include <QScopeGuard>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

using errorboxtest::ErrorBoxWatch;
using testregister::Row;

using errorboxtest::CountingApp;
using errorboxtest::escaped;

QString ref(int i)
{
    return QStringLiteral("B%1").arg(i, 2, 10, QLatin1Char('0'));
}

QList<Row> register_(int count, const QString &prefix = QStringLiteral("Bl_"))
{
    QList<Row> rows;
    for (int i = 0; i < count; ++i)
        rows << Row{{prefix + (prefix == QLatin1String("Di_") ? QStringLiteral("Agentref") : QStringLiteral("AgentRef")), ref(i)},
                    {prefix + QStringLiteral("Shipper1"), QStringLiteral("SHIPPER ") + ref(i)},
                    {prefix + QStringLiteral("Gross1"), 10.0 + i}};
    return rows;
}

QStringList storedRefs(const QString &dbPath)
{
    px::Table t(dbPath, px::Table::Mode::ReadOnly);
    const int f = t.fieldIndex(u"Bl_AgentRef") >= 0 ? t.fieldIndex(u"Bl_AgentRef") : t.fieldIndex(u"Di_Agentref");
    QStringList out;
    for (auto pos = t.first(); pos; pos = t.next(*pos))
        out << std::get<QString>(t.readValues(*pos).at(f));
    return out;
}

// The grid as the clerk sees it: the marked row's record, and whether it is the table's.
QString gridTruth(TDBGrid *g)
{
    Table *t = g->dataSource()->dataSet();
    const int marked = g->selectedRow();
    const int indicator = g->gridModel()->recordOf(g->indicator()->currentRow());
    QString current;
    try {
        current = QString::number(t->recNo());
    } catch (const DataError &) {
        current = QStringLiteral("unreadable");
    }
    return QStringLiteral("marked %1 indicator %2 current %3").arg(marked).arg(indicator).arg(current);
}

QString cell(TDBGrid *g, int record, int column = 0)
{
    const int row = g->gridModel()->rowOf(record);
    return row < 0 ? QStringLiteral("<not shown>") : g->gridModel()->index(row, column).data().toString();
}

// Damages, on disk, the data block that holds the given record (its record count no longer
// fits the block), as a failing sector does under a table that is open: the table's header is
// untouched, so the table goes on knowing its records, but every read of that block fails.
// Returns the records of the block.
QList<int> damageBlockOf(const QString &dbPath, int record)
{
    const pxtest::Verification v = pxtest::verify(dbPath, false);
    if (!v.ok() || record >= v.recordOffsets.size())
        return {};
    const int bs = v.header.blockSize();
    auto blockOf = [&](int r) { return (v.recordOffsets.at(r) - v.header.headerSize) / bs; };
    QList<int> inBlock;
    for (int r = 0; r < v.recordOffsets.size(); ++r)
        if (blockOf(r) == blockOf(record))
            inBlock << r;
    QByteArray bytes = pxtest::readFile(dbPath);
    pxtest::put16(bytes, v.header.headerSize + blockOf(record) * bs + 4, 0x7FFF);
    return pxtest::writeFile(dbPath, bytes) ? inBlock : QList<int>{};
}

// Answers the message dialogs of a delete with OK, and records them.
std::unique_ptr<transfertest::Answers> answerEverything()
{
    return std::make_unique<transfertest::Answers>();
}

} // namespace

class TestFailures : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }

    // A damaged block met while the list window paints its rows.
    void damagedBlockReachedByTheListsPaint()
    {
        transfertest::Session s(register_(40));
        const QString db = s.registerPath();
        Table *t = s.dm->Tbl_BLCliente;
        TF_Principal entry;
        entry.show();
        QVERIFY(QTest::qWaitForWindowExposed(&entry));
        t->first();
        QCOMPARE(entry.edit(QStringLiteral("Bl_AgentRef"))->text(), ref(0));
        // A block of the list's first page goes bad under the open register, once the table
        // has walked its chain.
        QCOMPARE(t->recNo(), 0);
        const QByteArray good = pxtest::readFile(db);
        const QList<int> lost = damageBlockOf(db, 15);
        QVERIFY(lost.contains(15) && !lost.contains(0));

        ErrorBoxWatch boxes;
        bool deleting = false;
        boxes.onShown = [&] {
            auto *f = entry.findChild<TF_Procura *>();
            return (f ? gridTruth(f->DBGrid1) : QStringLiteral("no list")) + (deleting ? " deleting" : "");
        };
        QString during;
        auto list = transfertest::whenWindow<TF_Procura>([&](TF_Procura *f) {
            const auto close = qScopeGuard([f] { f->BB_Fechar->click(); });
            TDBGrid *g = f->DBGrid1;
            QVERIFY(QTest::qWaitForWindowExposed(f));
            g->viewport()->repaint();
            QTRY_COMPARE(boxes.seen.size(), 1);
            QTRY_COMPARE(boxes.open, 0);
            QVERIFY2(boxes.seen.first().text.contains(QStringLiteral("BlCorvane.DB")), qPrintable(boxes.seen.first().text));
            during = boxes.seen.first().note;
            // After the box: the marked row is the current record, the first block's rows
            // are shown, the damaged block's rows say so.
            QCOMPARE(gridTruth(g), QStringLiteral("marked 0 indicator 0 current 0"));
            QCOMPARE(cell(g, 0), ref(0));
            QCOMPARE(cell(g, 1), ref(1));
            for (int r = 0; r < 16; ++r) {
                QCOMPARE(g->gridModel()->isUnreadable(r), lost.contains(r));
                QCOMPARE(cell(g, r), lost.contains(r) ? TDBGridModel::unreadableText() : ref(r));
            }
            QCOMPARE(entry.edit(QStringLiteral("Bl_AgentRef"))->text(), ref(0));
            // Paints after the box repeat nothing.
            g->viewport()->repaint();
            QCoreApplication::processEvents();
            QCOMPARE(boxes.seen.size(), 1);

            // "Delete" acts on the B/L marked: its questions name it. The engine refuses to
            // write into the damaged table, and the register stays byte for byte.
            const pxtest::Snapshot damaged = pxtest::snapshot(db);
            auto answers = answerEverything();
            deleting = true;
            f->BB_Delete->click();
            deleting = false;
            QCOMPARE(answers->texts.size(), 2);
            QCOMPARE(answers->texts.first(), QStringLiteral("Deleja deletar ref \"%1\"").arg(ref(0)));
            QCOMPARE(boxes.seen.size(), 2);
            QVERIFY(boxes.seen.last().note.endsWith(QStringLiteral(" deleting")));
            QVERIFY(pxtest::snapshot(db) == damaged);
            QCOMPARE(gridTruth(g), QStringLiteral("marked 0 indicator 0 current 0"));

            // Mended, the next "Delete" removes the B/L marked.
            QVERIFY(pxtest::writeFile(db, good));
            f->BB_Delete->click();
            QCOMPARE(answers->texts.size(), 4);
            QCOMPARE(answers->texts.at(2), QStringLiteral("Deleja deletar ref \"%1\"").arg(ref(0)));
            QCOMPARE(gridTruth(g), QStringLiteral("marked 0 indicator 0 current 0"));
            QCOMPARE(cell(g, 0), ref(1));
        });
        entry.SB_Procura->click();
        QVERIFY(*list);
        QCOMPARE(during, QStringLiteral("marked 0 indicator 0 current 0"));
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(t->recNo(), 0);
        QCOMPARE(entry.edit(QStringLiteral("Bl_AgentRef"))->text(), ref(1));
        // The register lost B00 and nothing else.
        QStringList rest;
        for (int i = 1; i < 40; ++i)
            rest << ref(i);
        QCOMPARE(storedRefs(db), rest);
        QCOMPARE(escaped(), 0);
    }

    // The medium holding the transfer file is pulled while the transfer window shows it: the
    // lower grid's next move fails.
    void ioErrorUnderTheTransferWindowsLowerGrid()
    {
        transfertest::Session s(register_(3));
        const QString name = QStringLiteral("PULLED");
        const QString db = s.path(name + QStringLiteral(".DB"));
        transfertest::makeTransfer(db, register_(6, QStringLiteral("Di_")));
        Table *transfer = s.dm->Tbl_BLDisquete;
        bltransfer::pointAt(*transfer, s.dir.path(), name);
        transfer->open();
        transfer->first();
        TF_Disquete w;
        w.setFileName(s.path(name));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TDBGrid *g = w.DBGrid2;
        g->setFocus();
        QTest::keyClick(g, Qt::Key_Down);
        QCOMPARE(transfer->recNo(), 1);

        // Pulled: the file is gone from under the open table.
        const QByteArray bytes = pxtest::readFile(db);
        {
            QFile f(db);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(0));
        }
        ErrorBoxWatch boxes;
        boxes.onShown = [&] { return gridTruth(g); };
        QTest::keyClick(g, Qt::Key_Down);
        g->viewport()->repaint();
        QTRY_COMPARE(blapp::pendingReports(), 0);
        QTRY_COMPARE(boxes.open, 0);
        // One failure, one box; the grid and the table read at the failure stay on record 1.
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY2(boxes.seen.first().text.contains(name), qPrintable(boxes.seen.first().text));
        QCOMPARE(boxes.seen.first().note, QStringLiteral("marked 1 indicator 1 current unreadable"));
        QCOMPARE(gridTruth(g), QStringLiteral("marked 1 indicator 1 current unreadable"));
        QCOMPARE(cell(g, 0), ref(0));  // read before the pull: still what the file held
        g->viewport()->repaint();
        QCoreApplication::processEvents();
        QCOMPARE(boxes.seen.size(), 1);
        const int shown = 1;

        // Back in: the next "Delete" removes the B/L marked.
        QVERIFY(pxtest::writeFile(db, bytes));
        QCOMPARE(transfer->recNo(), 1);
        w.SB_Delete->click();
        QCOMPARE(boxes.seen.size(), shown);
        w.BB_Fechar->click();
        QVERIFY(!transfer->isActive());
        QCOMPARE(storedRefs(db), (QStringList{ref(0), ref(2), ref(3), ref(4), ref(5)}));
        QCOMPARE(escaped(), 0);
    }

    // A weight that does not convert, left by a click into another field.
    void conversionErrorOnLeavingAWeightField()
    {
        transfertest::Session s(register_(3));
        TF_Principal entry;
        entry.show();
        entry.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&entry));
        entry.SB_Edit->click();
        entry.PageControl1->setCurrentIndex(1);
        TDBEdit *gross = entry.edit(QStringLiteral("Bl_Gross1"));
        TDBEdit *unit = entry.edit(QStringLiteral("Bl_Gross2"));
        gross->setFocus();
        gross->selectAll();
        QTest::keyClicks(gross, QStringLiteral("1,2,3"));

        ErrorBoxWatch boxes;
        int pressesDelivered = 0;
        struct PressCounter : QObject
        {
            int *count;
            explicit PressCounter(int *c) : count(c) {}
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::MouseButtonPress)
                    ++*count;
                return false;
            }
        } counter(&pressesDelivered);
        unit->installEventFilter(&counter);
        boxes.onShown = [&] { return QStringLiteral("presses %1").arg(pressesDelivered); };
        QTest::mouseClick(unit, Qt::LeftButton);
        QTRY_COMPARE(boxes.seen.size(), 1);
        QTRY_COMPARE(boxes.open, 0);
        // The box came after the click that caused it had been delivered.
        QCOMPARE(boxes.seen.first().note, QStringLiteral("presses 1"));
        QCOMPARE(boxes.seen.first().text, QStringLiteral("'1,2,3' is not a valid floating point value for field 'Bl_Gross1'"));
        // Back in the field, its text kept and selected; the record still being edited.
        QTRY_COMPARE(entry.focusWidget(), gross);
        QCOMPARE(gross->text(), QStringLiteral("1,2,3"));
        QCOMPARE(gross->selectedText(), QStringLiteral("1,2,3"));
        QCOMPARE(s.dm->Tbl_BLCliente->state(), Table::State::Edit);
        QCOMPARE(s.dm->Tbl_BLCliente->recNo(), 2);
        QCOMPARE(entry.edit(QStringLiteral("Bl_AgentRef"))->text(), ref(2));

        // Cancelled, the fields show the record as stored; the next delete removes it.
        entry.SB_Cancela->click();
        QCOMPARE(gross->text(), QStringLiteral("12,000"));
        QCOMPARE(boxes.seen.size(), 1);
        deleteInTheList(entry, ref(2));
        QCOMPARE(storedRefs(s.registerPath()), (QStringList{ref(0), ref(1)}));
        QCOMPARE(escaped(), 0);
    }

    // A post that fails: another program rewrote the B/L being edited.
    void failedPostInTheEntryWindow()
    {
        transfertest::Session s(register_(3));
        TF_Principal entry;
        entry.show();
        QVERIFY(QTest::qWaitForWindowExposed(&entry));
        entry.SB_Edit->click();
        TDBEdit *shipper = entry.edit(QStringLiteral("Bl_Shipper1"));
        shipper->setFocus();
        shipper->selectAll();
        QTest::keyClicks(shipper, QStringLiteral("MY CHANGE"));
        {
            px::Table other(s.registerPath());
            auto pos = other.first();
            pos = other.next(*other.next(*pos));
            QVector<px::Value> values = other.readValues(*pos);
            values[other.fieldIndex(u"Bl_Shipper1")] = QStringLiteral("THEIRS");
            other.update(*pos, other.readRaw(*pos), values);
        }
        ErrorBoxWatch boxes;
        entry.SB_Grava->click();
        QCoreApplication::processEvents();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(blapp::pendingReports(), 0);
        QCOMPARE(s.dm->Tbl_BLCliente->state(), Table::State::Edit);
        QCOMPARE(shipper->text(), QStringLiteral("MY CHANGE"));

        entry.SB_Cancela->click();
        QCOMPARE(entry.edit(QStringLiteral("Bl_AgentRef"))->text(), ref(2));
        // The fields show the B/L as the file now holds it.
        QCOMPARE(shipper->text(), QStringLiteral("THEIRS"));
        deleteInTheList(entry, ref(2));
        QCOMPARE(storedRefs(s.registerPath()), (QStringList{ref(0), ref(1)}));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(escaped(), 0);
    }

private:
    // Opens the list, checks that its marked row is the entry window's B/L, deletes it.
    void deleteInTheList(TF_Principal &entry, const QString &expected)
    {
        auto list = transfertest::whenWindow<TF_Procura>([&](TF_Procura *f) {
            const auto close = qScopeGuard([f] { f->BB_Fechar->click(); });
            QCOMPARE(cell(f->DBGrid1, f->DBGrid1->selectedRow()), expected);
            auto answers = answerEverything();
            f->BB_Delete->click();
            QCOMPARE(answers->texts.size(), 2);
            QCOMPARE(answers->texts.first(), QStringLiteral("Deleja deletar ref \"%1\"").arg(expected));
        });
        entry.SB_Procura->click();
        QVERIFY(*list);
    }
};

int main(int argc, char **argv)
{
    CountingApp app(argc, argv);
    app.setApplicationName(blapp::appTitle());
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    TestFailures test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_failures.moc"
