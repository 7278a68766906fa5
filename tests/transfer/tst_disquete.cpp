// The transfer window over a real register and transfer file in a temporary folder, driven by
// its control names; messages are answered as they appear. The file it writes is read back by
// pxlib and by a second process.

#include "DBGrid.h"
#include "PxTestUtil.h"
#include "InteropCompare.h"
#include "TransferTestSupport.h"
#include "U_Disquete.h"
#include "U_Protocolo.h"

#include <QGroupBox>
#include <QSet>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QToolButton>

using namespace transfertest;

namespace {

Row bl(const QString &booking, std::optional<double> gross1 = 10.5)
{
    Row r{{QStringLiteral("Bl_AgentRef"), booking},
          {QStringLiteral("Bl_Shipper1"), QStringLiteral("SHIPPER ") + booking},
          {QStringLiteral("Bl_DataRef"), QDate(2026, 12, 6)}};
    if (gross1)
        r.insert(QStringLiteral("Bl_Gross1"), *gross1);
    return r;
}

// Every one of the 32 fields with a value of its own (no two alike, so a field copied into
// another's place shows), memos longer than a record holds.
Row fullBL(const QString &booking)
{
    Row r;
    const QVector<px::FieldDef> defs = blrecord::registerFields();
    for (int i = 0; i < defs.size(); ++i) {
        const px::FieldDef &f = defs.at(i);
        const QString base = blrecord::baseName(f.name);
        switch (f.type) {
        case px::FieldType::Date: r.insert(f.name, QDate(2026, 12, 6)); break;
        case px::FieldType::Number: r.insert(f.name, double(i + 1) * 1000.125); break;
        case px::FieldType::Memo:
            r.insert(f.name, base + QStringLiteral(": ") + QString(400, u'x') + QStringLiteral("\r\nÚLTIMA LINHA"));
            break;
        default: r.insert(f.name, (QString::number(i) + base.left(f.size - booking.size() - 4) + QLatin1Char(' ') + booking).left(f.size));
        }
    }
    r.insert(QStringLiteral("Bl_AgentRef"), booking);
    return r;
}

// The transfer window over a transfer file opened as the chooser leaves it.
struct Window
{
    Session &s;
    QString file;
    std::unique_ptr<TF_Disquete> w;

    Window(Session &session, const QString &name, const QList<Row> &inFile = {}) : s(session)
    {
        file = s.path(name);
        if (!QFile::exists(file + QStringLiteral(".DB")))
            makeTransfer(file + QStringLiteral(".DB"), inFile);
        Table *t = s.dm->Tbl_BLDisquete;
        t->close();
        t->setDirectory(s.dir.path() + QLatin1Char('/'));
        t->setTableName(name);
        t->setTableType(Table::TableType::Paradox);
        t->setExclusive(true);
        t->open();
        w = std::make_unique<TF_Disquete>();
        w->setFileName(file);
        w->show();
    }
    ~Window()
    {
        if (w && w->isVisible())
            w->BB_Fechar->click();
    }
    Table *transfer() const { return s.dm->Tbl_BLDisquete; }
    QString caption() const { return w->GroupBox1->title(); }
    QString currentTransferRef() const { return s.dm->Tbl_BLDisqueteDi_Agentref->asString(); }
    void selectLocal(int record) { QVERIFY(s.dm->Tbl_BLCliente->moveTo(quint32(record))); }
    QStringList transferRefs() const
    {
        // Through the window's own table: nobody else may open the file meanwhile.
        QStringList out;
        for (quint32 i = 0; i < transfer()->recordCount(); ++i)
            out << transfer()->displayTextAt(i, s.dm->Tbl_BLDisqueteDi_Agentref);
        return out;
    }
};

} // namespace

class TestDisquete : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void windowAsDesigned()
    {
        Session s({bl(QStringLiteral("A1")), bl(QStringLiteral("A2")), bl(QStringLiteral("A3"))});
        s.dm->Tbl_BLCliente->first();
        Window win(s, QStringLiteral("BL061226"), {fullBL(QStringLiteral("OLD"))});
        TF_Disquete *f = win.w.get();
        QCOMPARE(f->windowTitle(), QStringLiteral("Salvar em Disquete"));
        QCOMPARE(f->size(), QSize(734, 519));
        QCOMPARE(f->minimumSize(), f->maximumSize());
        QVERIFY(!(f->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
        QCOMPARE(f->SB_Transf->geometry(), QRect(8, 5, 193, 35));
        QCOMPARE(f->SB_Transf->text(), QStringLiteral("Transfere para Arquivo"));
        QCOMPARE(f->SB_Protocolo->geometry(), QRect(224, 5, 169, 35));
        QCOMPARE(f->SB_Protocolo->toolTip(), QStringLiteral("Protocolo"));
        QCOMPARE(f->SB_Delete->geometry(), QRect(504, 5, 97, 35));
        QCOMPARE(f->BB_Fechar->geometry(), QRect(688, 8, 33, 33));
        QVERIFY(f->BB_Fechar->text().isEmpty());
        QCOMPARE(f->GroupBox2->title(), QStringLiteral("Seu Computador:"));
        QCOMPARE(f->GroupBox1->geometry(), QRect(7, 300, 722, 209));
        QCOMPARE(f->GroupBox1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(f->Label1->font().pixelSize(), 13);
        QVERIFY(!f->Edit2->isVisible());

        // Set at show: the hints name the file, the caption counts its records, the local
        // table stands on its last record with the upper grid focused.
        QCOMPARE(f->SB_Transf->toolTip(), QStringLiteral("Copia BL para - ") + win.file);
        QCOMPARE(f->SB_Delete->toolTip(), QStringLiteral("Deleta BL de - ") + win.file);
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 1"));
        QCOMPARE(s.dm->Tbl_BLClienteBl_AgentRef->asString(), QStringLiteral("A3"));
        QCOMPARE(f->focusWidget(), f->DBGrid1);

        auto titles = [](TDBGrid *g) {
            QStringList t;
            for (const TDBGridColumn &c : g->gridModel()->columns())
                t << c.title + QLatin1Char('=') + QString::number(g->columnWidth(int(t.size())));
            return t;
        };
        const QStringList upper = titles(f->DBGrid1);
        QCOMPARE(upper.mid(0, 2), (QStringList{"Ref. Reserva=99", "Ref.=73"}));
        QCOMPARE(upper.mid(3), (QStringList{"From=127", "Port Discharg=122", "Shipper1=210", "Cnee1=210", "Notify1=210"}));
        QVERIFY(upper.at(2).startsWith(QLatin1String("Local Vessel=")));
        const QStringList lower = titles(f->DBGrid2);
        QCOMPARE(lower.size(), 7);  // no date column
        QCOMPARE(lower.first(), QStringLiteral("Ref. Reserva=99"));
        QCOMPARE(lower.mid(4), (QStringList{"Shipper1=210", "Cnee1=210", "Notify1=210"}));
        // The display width of a 20-character field, the same for the three of them.
        const int w20 = f->DBGrid2->columnWidth(1);
        QCOMPARE(f->DBGrid2->columnWidth(2), w20);
        QCOMPARE(f->DBGrid1->columnWidth(2), w20);
        QCOMPARE(f->DBGrid1->dataSource(), s.dm->DS_Cliente);
        QCOMPARE(f->DBGrid2->dataSource(), s.dm->DS_BLDisquete);

        // Tab moves between the columns of a grid, on the same record.
        const QModelIndex before = f->DBGrid1->currentIndex();
        QTest::keyClick(f->DBGrid1, Qt::Key_Tab);
        QCOMPARE(f->DBGrid1->currentIndex().column(), before.column() + 1);
        QCOMPARE(s.dm->Tbl_BLClienteBl_AgentRef->asString(), QStringLiteral("A3"));
        QCOMPARE(f->focusWidget(), f->DBGrid1);

        // Closing lets the file go.
        f->BB_Fechar->click();
        QVERIFY(!s.dm->Tbl_BLDisquete->isActive());
        px::Table free(win.file + QStringLiteral(".DB"), px::Table::Mode::Exclusive);
        QCOMPARE(free.recordCount(), 1u);
    }

    void transferRules()
    {
        Session s({bl(QStringLiteral("AB1")), bl(QStringLiteral("ab1")), bl(QStringLiteral("X9"), std::nullopt),
                   bl(QStringLiteral("Z7"))});
        const QByteArray registerBefore = fileBytes(s.registerPath());
        Window win(s, QStringLiteral("BL010327"));
        Answers answers;

        // Letter case makes two booking numbers; each transfers once.
        win.selectLocal(0);
        win.w->SB_Transf->click();
        win.selectLocal(1);
        win.w->SB_Transf->click();
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 2"));
        QCOMPARE(win.currentTransferRef(), QStringLiteral("ab1"));  // the new record is current

        // The first again: refused with the file's name, the lower grid on the one it holds.
        win.selectLocal(0);
        win.w->SB_Transf->click();
        QCOMPARE(answers.texts, QStringList{QStringLiteral("Este BL já está em ") + win.file});
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 2"));
        QCOMPARE(win.currentTransferRef(), QStringLiteral("AB1"));
        QCOMPARE(win.w->DBGrid2->gridModel()->currentRecord(), 0);

        // Several rows marked: only the current one goes.
        win.selectLocal(2);
        QItemSelectionModel *sel = win.w->DBGrid1->selectionModel();
        const QAbstractItemModel *m = win.w->DBGrid1->model();
        for (int row = 0; row < m->rowCount(); ++row)
            sel->select(m->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(sel->selectedRows().size() > 1);
        win.w->SB_Transf->click();
        QCOMPARE(win.transferRefs(), (QStringList{"AB1", "ab1", "X9"}));
        // A blank weight arrives as 0, not blank.
        QCOMPARE(s.dm->Tbl_BLDisqueteDi_Gross1->asFloat(), 0.0);
        QVERIFY(!s.dm->Tbl_BLDisqueteDi_Gross1->isNull());
        QCOMPARE(s.dm->Tbl_BLDisqueteDi_DataRef->asDate(), QDate(2026, 12, 6));

        // Delete acts at once on the current record, without a question.
        win.w->SB_Delete->click();
        QCOMPARE(win.transferRefs(), (QStringList{"AB1", "ab1"}));
        QCOMPARE(answers.texts.size(), 1);

        // Delivery receipt with records: the receipt window lists the file's booking numbers in
        // its order, carries the count caption, and finds the transfer table on its last record.
        QStringList listed;
        QString fileLine;
        QString current;
        auto shown = transfertest::whenWindow<TF_Protocolo>([&](TF_Protocolo *r) {
            for (int i = 0; i < r->ListBox2->count(); ++i)
                listed << r->ListBox2->item(i)->text();
            fileLine = r->Edit2->text();
            current = s.dm->Tbl_BLDisqueteDi_Agentref->asString();
            r->BB_Fechar->click();
        });
        win.w->SB_Protocolo->click();
        QVERIFY(*shown);
        QCOMPARE(listed, (QStringList{"AB1", "ab1"}));
        QCOMPARE(fileLine, win.caption());
        QCOMPARE(current, QStringLiteral("ab1"));
        QCOMPARE(answers.texts.size(), 1);

        // Down to nothing; one more delete does nothing; the receipt then has nothing to list.
        win.w->SB_Delete->click();
        win.w->SB_Delete->click();
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 0"));
        win.w->SB_Delete->click();
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 0"));
        QCOMPARE(answers.texts.size(), 1);
        win.w->SB_Protocolo->click();
        QCOMPARE(answers.texts.last(), QStringLiteral("Não existe ref. de Reserva para este protocolo."));
        QVERIFY(answers.errors.isEmpty());

        win.w->BB_Fechar->click();
        QCOMPARE(s.dm->Tbl_BLCliente->recordCount(), 4u);
        QCOMPARE(fileBytes(s.registerPath()), registerBefore);
    }

    void emptyRegisterRefused()
    {
        Session s({});
        Window win(s, QStringLiteral("VAZIO"), {fullBL(QStringLiteral(""))});
        Answers answers;
        const QByteArray before = fileBytes(win.file + QStringLiteral(".DB"));
        win.w->SB_Transf->click();
        QCOMPARE(answers.texts, QStringList{disquete::emptyRegisterMessage()});
        QVERIFY(!answers.texts.first().isEmpty());
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 1"));
        win.w->BB_Fechar->click();
        QCOMPARE(fileBytes(win.file + QStringLiteral(".DB")), before);
    }

    // Two desktops share one register: another copy deletes the B/L shown as current. Nothing
    // is copied (the record now at its place is another B/L), the clerk is told, and the grid
    // shows the register as it is; the next press copies the B/L then shown.
    void blDeletedByAnotherCopyIsNotCopied()
    {
        Session s({bl(QStringLiteral("G1")), bl(QStringLiteral("G2")), bl(QStringLiteral("G3")), bl(QStringLiteral("G4"))});
        Window win(s, QStringLiteral("OUTRA"));
        Answers answers;
        auto deleteElsewhere = [&](const QString &booking) {
            px::Table other(s.registerPath());
            const int field = other.fieldIndex(u"Bl_AgentRef");
            for (auto pos = other.first(); pos; pos = other.next(*pos)) {
                const QByteArray raw = other.readRaw(*pos);
                if (other.decode(raw, field) == px::Value(booking)) {
                    other.remove(*pos, raw);
                    return true;
                }
            }
            return false;
        };
        auto gridRefs = [&] {
            QStringList out;
            const QAbstractItemModel *m = win.w->DBGrid1->model();
            for (int row = 0; row < m->rowCount(); ++row)
                out << m->index(row, 0).data().toString();
            return out;
        };

        win.selectLocal(1);
        QVERIFY(deleteElsewhere(QStringLiteral("G2")));
        win.w->SB_Transf->click();
        QCOMPARE(answers.texts.size(), 1);
        QVERIFY2(answers.texts.first().contains(QStringLiteral("Este BL não está mais no seu computador")),
                 qPrintable(answers.texts.first()));
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 0"));
        QCOMPARE(gridRefs(), (QStringList{"G1", "G3", "G4"}));
        QCOMPARE(s.dm->Tbl_BLClienteBl_AgentRef->asString(), QStringLiteral("G3"));
        win.w->SB_Transf->click();
        QCOMPARE(win.transferRefs(), QStringList{"G3"});

        // The last B/L current and deleted: the new last one is shown.
        win.selectLocal(2);
        QVERIFY(deleteElsewhere(QStringLiteral("G4")));
        win.w->SB_Transf->click();
        QCOMPARE(answers.texts.size(), 2);
        QCOMPARE(gridRefs(), (QStringList{"G1", "G3"}));
        QCOMPARE(s.dm->Tbl_BLClienteBl_AgentRef->asString(), QStringLiteral("G3"));
        QCOMPARE(win.transferRefs(), QStringList{"G3"});
        QVERIFY(answers.errors.isEmpty());
    }

    // pxlib, an independent reader, finds exactly what was transferred, field for field.
    void pxlibReadsTheTransferFile()
    {
        const QList<Row> locals = {fullBL(QStringLiteral("FULL-1")), fullBL(QStringLiteral("FULL-2"))};
        // The one date aside, no two fields carry the same value.
        QSet<QString> values;
        for (auto it = locals.first().begin(); it != locals.first().end(); ++it)
            if (it.key() != QLatin1String("Bl_DataRef"))
                values.insert(pxtest::describe(it.value()));
        QCOMPARE(values.size(), 31);
        Session s(locals);
        Window win(s, QStringLiteral("PXLIB"));
        for (int i = 0; i < locals.size(); ++i) {
            win.selectLocal(i);
            win.w->SB_Transf->click();
        }
        win.w->BB_Fechar->click();

        const QVector<px::FieldDef> defs = blrecord::transferFields();
        interop::Rows expected;
        for (const Row &local : locals) {
            QVector<px::Value> row(defs.size());
            for (int i = 0; i < defs.size(); ++i) {
                const QString base = blrecord::baseName(defs.at(i).name);
                for (auto it = local.begin(); it != local.end(); ++it)
                    if (blrecord::baseName(it.key()).compare(base, Qt::CaseInsensitive) == 0)
                        row[i] = it.value();
            }
            expected << row;
        }
        const QString db = win.file + QStringLiteral(".DB");
        const QString mismatch = interop::pxlibMismatch(db, interop::memoPathOf(db), defs, expected, s.dir.path());
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // Exclusive use keeps every other process out while the window works on the file, and
    // the message names the file; once closed, the file is anyone's.
    void vanishedFile_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("folder renamed away") << false;
        QTest::newRow("folder deleted") << true;
    }

    // The stick's folder renamed away or deleted under the open window: a transfer and a
    // delete each end with one clear message and no success, the register and the file as
    // they were, and the window shows what it can still read.
    void vanishedFile()
    {
        QFETCH(bool, deleted);
        Session s({bl(QStringLiteral("V1")), bl(QStringLiteral("V2"))});
        const QByteArray registerBefore = fileBytes(s.registerPath());
        QVERIFY(QDir().mkpath(s.path(QStringLiteral("stick"))));
        Window win(s, QStringLiteral("stick/BL091226"));
        Answers answers;
        win.selectLocal(0);
        win.w->SB_Transf->click();
        QCOMPARE(win.transferRefs(), QStringList{"V1"});
        const QByteArray fileBefore = fileBytes(win.file + QStringLiteral(".DB"));
        const QString moved = s.path(QStringLiteral("elsewhere"));
        if (deleted)
            QVERIFY(QDir(s.path(QStringLiteral("stick"))).removeRecursively());
        else
            QVERIFY(QDir().rename(s.path(QStringLiteral("stick")), moved));

        win.selectLocal(1);
        win.w->SB_Transf->click();
        QCOMPARE(answers.errors.size(), 1);
        QVERIFY2(answers.errors.last().contains(QStringLiteral("BL091226.DB não está mais no disco (a mídia foi removida?).")),
                 qPrintable(answers.errors.last()));
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 1"));
        QCOMPARE(win.transferRefs(), QStringList{"V1"});
        QCOMPARE(win.currentTransferRef(), QStringLiteral("V1"));

        win.w->SB_Delete->click();
        QCOMPARE(answers.errors.size(), 2);
        QVERIFY2(answers.errors.last().contains(QStringLiteral("não está mais no disco")), qPrintable(answers.errors.last()));
        QCOMPARE(win.transferRefs(), QStringList{"V1"});
        QCOMPARE(win.caption(), win.file + QStringLiteral(" - Quantidade de BL: 1"));
        QVERIFY(answers.texts.isEmpty());

        win.w->BB_Fechar->click();
        QCOMPARE(answers.errors.size(), 2);
        QCOMPARE(fileBytes(s.registerPath()), registerBefore);
        if (!deleted) {
            // The file that went elsewhere holds what it held: the refused writes left nothing.
            QCOMPARE(fileBytes(moved + QStringLiteral("/BL091226.DB")), fileBefore);
            QVERIFY(!QFile::exists(moved + QStringLiteral("/BL091226.JNL")));
        }
    }

    void heldAgainstOtherProcesses()
    {
        Session s({bl(QStringLiteral("P1"))});
        Window win(s, QStringLiteral("HELD"));
        win.w->SB_Transf->click();
        const QString db = win.file + QStringLiteral(".DB");
        auto runTool = [&](const QStringList &args) {
            QProcess p;
            p.start(QStringLiteral(BL_TOOL_PATH), args);
            p.waitForFinished(30000);
            return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardError()));
        };
        const auto [code, err] = runTool({QStringLiteral("dump"), db});
        QCOMPARE(code, 2);
        QVERIFY2(err.contains(QLatin1String("HELD.DB")), qPrintable(err));
        // A second data module in this process, as a second copy of the program would be.
        TDM_BL other;
        other.Tbl_BLDisquete->setDirectory(s.dir.path());
        other.Tbl_BLDisquete->setTableName(QStringLiteral("HELD"));
        other.Tbl_BLDisquete->setExclusive(true);
        try {
            other.Tbl_BLDisquete->open();
            QFAIL("a second opener got in");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), px::EngineError::Kind::InUse);
            QVERIFY2(e.message().contains(QLatin1String("HELD.DB")), qPrintable(e.message()));
        }
        win.w->BB_Fechar->click();
        const auto [after, afterErr] = runTool({QStringLiteral("dump"), db});
        QVERIFY2(after == 0, qPrintable(afterErr));
    }
};

QTEST_MAIN(TestDisquete)
#include "tst_disquete.moc"
