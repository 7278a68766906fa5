// The data-aware grid over real registers in a temporary folder: rows read lazily, one cursor
// shared with the table both ways, display formats, and the grid's clicks.

#include "BLRecord.h"
#include "DBGrid.h"
#include "PxTable.h"
#include "U_DM_BL.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QLocale Brazil(QLocale::Portuguese, QLocale::Brazil);

QList<TDBGridColumn> columns()
{
    return {{QStringLiteral("Bl_AgentRef"), QStringLiteral("Ref."), 112, {}},
            {QStringLiteral("Bl_DataRef"), QStringLiteral("Data Ref."), -1, Qt::AlignHCenter},
            {QStringLiteral("Bl_Gross1"), QStringLiteral("Gross"), -1, {}},
            {QStringLiteral("Bl_Shipper1"), QStringLiteral("Shipper1"), 210, {}}};
}

struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<TDM_BL> dm;
    std::unique_ptr<TDBGrid> grid;

    Table *table() const { return dm->Tbl_BLCliente; }

    // A register of n records whose booking numbers are "R0", "R1", ...
    bool setUp(int n)
    {
        if (!dir.isValid())
            return false;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("BlCorvane.DB"));
        const QVector<px::FieldDef> defs = blrecord::registerFields();
        px::Table::create(path, defs);
        {
            px::Table t(path);
            t.setSyncWrites(false);
            for (int i = 0; i < n; ++i) {
                QVector<px::Value> v(defs.size());
                v[t.fieldIndex(QStringLiteral("Bl_AgentRef"))] = QStringLiteral("R%1").arg(i);
                // The second shipper carries a control character, as a damaged register might:
                // its text goes through QPainter rather than the fast path.
                v[t.fieldIndex(QStringLiteral("Bl_Shipper1"))] =
                    i == 1 ? QStringLiteral("SHIP\x01PER 1") : QStringLiteral("SHIPPER %1").arg(i);
                v[t.fieldIndex(QStringLiteral("Bl_DataRef"))] = QDate(2009, 3, 6);
                if (i % 2 == 0)
                    v[t.fieldIndex(QStringLiteral("Bl_Gross1"))] = 1234.5;
                t.append(v);
            }
        }
        dm = std::make_unique<TDM_BL>();
        table()->setDirectory(dir.path());
        table()->open();
        grid = std::make_unique<TDBGrid>();
        grid->setColumns(columns());
        grid->setDataSource(dm->DS_Cliente);
        grid->resize(769, 417);
        return true;
    }

    bool show()
    {
        grid->show();
        return QTest::qWaitForWindowExposed(grid.get());
    }

    // A record's cell as the model gives it to the view; "<not shown>" outside the window.
    QString cell(int record, int column) const
    {
        const int row = grid->gridModel()->rowOf(record);
        return row < 0 ? QStringLiteral("<not shown>") : grid->model()->index(row, column).data().toString();
    }
    // The records the grid's current index and its row indicator stand for.
    int currentRecord() const { return grid->gridModel()->recordOf(grid->currentIndex().row()); }
    int indicatorRecord() const { return grid->gridModel()->recordOf(grid->indicator()->currentRow()); }
    QString booking() const { return table()->fieldByName(u"Bl_AgentRef")->asString(); }
};

} // namespace

class TestDBGrid : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(Brazil); }

    void columnWidthRules()
    {
        // Twenty characters of 6-pixel digits, and a title that is wider than its field.
        QCOMPARE(dbgrid::defaultColumnWidth(20, 6, 60), 124);
        QCOMPARE(dbgrid::defaultColumnWidth(2, 6, 60), 64);
        QCOMPARE(dbgrid::rowHeight(13), 17);
    }

    void showsFormattedRowsWithTheirTitlesAndWidths()
    {
        Fixture f;
        QVERIFY(f.setUp(3));
        QVERIFY(f.show());
        QCOMPARE(f.grid->model()->rowCount(), 3);
        QCOMPARE(f.grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Data Ref."));
        QCOMPARE(f.cell(0, 0), QStringLiteral("R0"));
        QCOMPARE(f.cell(0, 1), QStringLiteral("06/03/2009"));
        QCOMPARE(f.cell(0, 2), QStringLiteral("1.234,500"));
        QCOMPARE(f.cell(1, 2), QString());  // an empty number shows nothing
        QCOMPARE(f.cell(2, 3), QStringLiteral("SHIPPER 2"));
        const auto align = [&](int c) {
            return f.grid->model()->index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        };
        QVERIFY(align(0) & Qt::AlignLeft);
        QVERIFY(align(1) & Qt::AlignHCenter);
        QVERIFY(align(2) & Qt::AlignRight);  // numbers right by default
        QCOMPARE(f.grid->horizontalHeader()->sectionSize(0), 112);
        QCOMPARE(f.grid->horizontalHeader()->sectionSize(3), 210);
        // The date and the number have display width 10, so 10 digits plus the margin.
        const int digit = qRound(QFontMetricsF(f.grid->font()).horizontalAdvance(QLatin1Char('0')));
        QCOMPARE(f.grid->horizontalHeader()->sectionSize(1),
                 qMax(10 * digit + 4, f.grid->horizontalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("Data Ref.")) + 4));
        QCOMPARE(f.grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(f.grid->selectionBehavior(), QAbstractItemView::SelectRows);
        // The selection keeps its colour without the focus.
        const QPalette p = f.grid->palette();
        QCOMPARE(p.color(QPalette::Inactive, QPalette::Highlight), p.color(QPalette::Active, QPalette::Highlight));
    }

    void paintsTheSelectedRowWithoutFocusAndTheLines()
    {
        Fixture f;
        QVERIFY(f.setUp(5));
        QVERIFY(f.show());
        f.table()->moveTo(1);
        f.grid->clearFocus();
        QVERIFY(!f.grid->hasFocus());
        const QImage img = f.grid->viewport()->grab().toImage();
        // Viewport coordinates to the picture's pixels (a scaled screen has more of them).
        const qreal dpr = img.devicePixelRatio();
        const auto at = [&](int x, int y) { return QColor(img.pixel(qRound(x * dpr), qRound(y * dpr))).rgb(); };
        const QRect row0 = f.grid->cellRect(0, 0);
        const QRect row1 = f.grid->cellRect(1, 0);
        const QPalette p = f.grid->palette();
        const QRgb base = p.color(QPalette::Base).rgb();
        const QRgb highlight = p.color(QPalette::Active, QPalette::Highlight).rgb();
        // A blank spot of each row: right of the short booking number.
        QCOMPARE(at(row1.right() - 5, row1.center().y()), highlight);
        QCOMPARE(at(row0.right() - 5, row0.center().y()), base);
        // Row and column lines.
        const QRgb line = p.color(QPalette::Mid).rgb();
        QCOMPARE(at(row0.center().x(), row0.bottom() + 1), line);  // the cell excludes its lines
        QCOMPARE(at(row0.right() + 1, row0.center().y()), line);
        // Texts are drawn in their cells, also one the fast path leaves to QPainter, and in the
        // selected row's own colour.
        const auto ink = [&](const QRect &cell, QRgb background) {
            int n = 0;
            for (int x = cell.left(); x < cell.left() + 40; ++x)
                for (int y = cell.top(); y < cell.bottom(); ++y)
                    n += at(x, y) != background ? 1 : 0;
            return n;
        };
        QVERIFY(ink(row0, base) > 10);
        QVERIFY(ink(f.grid->cellRect(0, 3), base) > 10);
        QVERIFY(ink(f.grid->cellRect(1, 3), highlight) > 10);
        QCOMPARE(f.cell(1, 3), QStringLiteral("SHIP\x01PER 1"));
    }

    void emptyRegister()
    {
        Fixture f;
        QVERIFY(f.setUp(0));
        QVERIFY(f.show());
        QCOMPARE(f.grid->model()->rowCount(), 0);
        QCOMPARE(f.grid->selectedRow(), -1);
        QCOMPARE(f.grid->indicator()->currentRow(), -1);
        QTest::keyClick(f.grid.get(), Qt::Key_Down);
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(f.table()->recNo(), -1);
    }

    void followsTheTableAndMovesIt()
    {
        Fixture f;
        QVERIFY(f.setUp(200));
        f.table()->last();
        QVERIFY(f.show());
        // The table's record is selected and in view when the grid opens.
        QCOMPARE(f.currentRecord(), 199);
        QCOMPARE(f.grid->selectedRow(), 199);
        QCOMPARE(f.indicatorRecord(), 199);
        QVERIFY(f.grid->viewport()->rect().contains(f.grid->cellRect(199, 0)));

        // The table moves: the grid follows.
        f.table()->first();
        QCOMPARE(f.currentRecord(), 0);
        QCOMPARE(f.grid->selectedRow(), 0);
        f.table()->next();
        QCOMPARE(f.grid->selectedRow(), 1);

        // The grid moves: the table follows.
        f.grid->setFocus();
        QTest::keyClick(f.grid.get(), Qt::Key_Down);
        QCOMPARE(f.table()->recNo(), 2);
        QCOMPARE(f.booking(), QStringLiteral("R2"));
        QTest::keyClick(f.grid.get(), Qt::Key_PageDown);
        QVERIFY(f.table()->recNo() > 10);
        QCOMPARE(f.table()->recNo(), f.grid->selectedRow());
        QTest::keyClick(f.grid.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.table()->recNo(), 199);
        QCOMPARE(f.booking(), QStringLiteral("R199"));
        QTest::keyClick(f.grid.get(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f.booking(), QStringLiteral("R0"));

        const QRect third = f.grid->cellRect(3, 3);
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(f.booking(), QStringLiteral("R3"));
        QCOMPARE(f.indicatorRecord(), 3);
    }

    void readsOnlyTheRowsItShows()
    {
        Fixture f;
        QVERIFY(f.setUp(3000));
        QVERIFY(f.show());
        QCOMPARE(f.grid->gridModel()->recordCount(), 3000);
        // The view holds a page of rows, never the register.
        QCOMPARE(f.grid->model()->rowCount(), f.grid->pageRows());
        QCOMPARE(f.grid->verticalHeader()->count(), f.grid->pageRows());
        QVERIFY(f.grid->gridModel()->rowsRead() > 0);
        QVERIFY2(f.grid->gridModel()->rowsRead() < 60, qPrintable(QString::number(f.grid->gridModel()->rowsRead())));
        f.grid->setFocus();
        QTest::keyClick(f.grid.get(), Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::processEvents();
        f.grid->viewport()->repaint();
        QCOMPARE(f.table()->recNo(), 2999);
        QVERIFY2(f.grid->gridModel()->rowsRead() < 120, qPrintable(QString::number(f.grid->gridModel()->rowsRead())));
        QCOMPARE(f.cell(2999, 0), QStringLiteral("R2999"));
        // The last page is full: the last record on the bottom row.
        QCOMPARE(f.grid->gridModel()->top(), 3000 - f.grid->pageRows());
        QCOMPARE(f.cell(0, 0), QStringLiteral("<not shown>"));
    }

    // The vertical bar stands for the record's place in the table and moves the record, as the
    // keys and the wheel do; the window of rows moves only as far as the record needs.
    void scrollBarWheelAndKeysMoveTheRecord()
    {
        Fixture f;
        QVERIFY(f.setUp(500));
        f.table()->moveTo(40);
        QVERIFY(f.show());
        const int page = f.grid->pageRows();
        QVERIFY(page > 5);
        // The record moved while shown: the rows move just enough to show it.
        QVERIFY(f.grid->gridModel()->rowOf(40) >= 0);
        QCOMPARE(f.grid->model()->rowCount(), page);
        // A grid that starts on a record in the middle has it on its first row.
        f.grid->setDataSource(nullptr);
        QCOMPARE(f.grid->model()->rowCount(), 0);
        f.grid->setDataSource(f.dm->DS_Cliente);
        QCOMPARE(f.grid->gridModel()->top(), 40);
        QCOMPARE(f.grid->model()->rowCount(), page);
        QScrollBar *bar = f.grid->verticalScrollBar();
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 499);
        QCOMPARE(bar->pageStep(), page);
        QCOMPARE(bar->value(), 40);

        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(f.table()->recNo(), 41);
        QCOMPARE(bar->value(), 41);
        QCOMPARE(f.grid->gridModel()->top(), 40);  // still in view: the rows stay
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(f.table()->recNo(), 41 + page);
        QCOMPARE(f.grid->gridModel()->top(), 41 + page - page + 1);  // now on the bottom row
        QCOMPARE(f.grid->selectedRow(), 41 + page);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(f.booking(), QStringLiteral("R499"));
        QCOMPARE(bar->value(), 499);
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(f.booking(), QStringLiteral("R0"));
        // The thumb lands on its record when let go, not while dragged.
        bar->setSliderDown(true);
        bar->setSliderPosition(250);
        QCOMPARE(f.table()->recNo(), 0);
        bar->setSliderDown(false);
        QCOMPARE(f.table()->recNo(), 250);
        QCOMPARE(bar->value(), 250);
        QCOMPARE(f.cell(250, 0), QStringLiteral("R250"));

        // The wheel: a record per notch, up or down; half a notch waits for the other half.
        const QPoint at = f.grid->cellRect(250, 0).center();
        const auto wheel = [&](int delta) {
            QWheelEvent e(at, f.grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(f.grid->viewport(), &e);
        };
        wheel(-240);
        QCOMPARE(f.table()->recNo(), 252);
        wheel(60);
        QCOMPARE(f.table()->recNo(), 252);
        wheel(60);
        QCOMPARE(f.table()->recNo(), 251);

        // Page keys move a page of records; at the ends they stop on the first and the last.
        f.grid->setFocus();
        QTest::keyClick(f.grid.get(), Qt::Key_PageUp);
        QCOMPARE(f.table()->recNo(), 251 - page);
        f.table()->moveTo(495);
        QTest::keyClick(f.grid.get(), Qt::Key_PageDown);
        QCOMPARE(f.table()->recNo(), 499);
        QTest::keyClick(f.grid.get(), Qt::Key_Down);
        QCOMPARE(f.table()->recNo(), 499);
        f.table()->moveTo(2);
        QTest::keyClick(f.grid.get(), Qt::Key_PageUp);
        QCOMPARE(f.table()->recNo(), 0);
        QTest::keyClick(f.grid.get(), Qt::Key_Up);
        QCOMPARE(f.table()->recNo(), 0);
        QCOMPARE(bar->value(), 0);
    }

    // A taller or shorter grid holds another page, with the current record kept in view; records
    // deleted at the end leave a full page when the register still fills one.
    void thePageFollowsTheSizeAndTheRegister()
    {
        Fixture f;
        QVERIFY(f.setUp(100));
        f.table()->last();
        QVERIFY(f.show());
        const int page = f.grid->pageRows();
        QCOMPARE(f.grid->model()->rowCount(), page);
        f.grid->resize(769, 200);
        QTRY_VERIFY(f.grid->pageRows() < page);
        QCOMPARE(f.grid->model()->rowCount(), f.grid->pageRows());
        QCOMPARE(f.grid->selectedRow(), 99);
        QVERIFY(f.grid->viewport()->rect().contains(f.grid->cellRect(99, 0)));
        QCOMPARE(f.grid->verticalScrollBar()->pageStep(), f.grid->pageRows());
        f.grid->resize(769, 417);
        QTRY_COMPARE(f.grid->pageRows(), page);
        QCOMPARE(f.grid->gridModel()->top(), 100 - page);

        for (int i = 0; i < 3; ++i)
            f.table()->deleteRecord();
        QCOMPARE(f.grid->gridModel()->recordCount(), 97);
        QCOMPARE(f.grid->gridModel()->top(), 97 - page);
        QCOMPARE(f.grid->selectedRow(), 96);
        QCOMPARE(f.cell(96, 0), QStringLiteral("R96"));
        QCOMPARE(f.grid->verticalScrollBar()->maximum(), 96);
    }

    // The page read before painting: only the rows not read yet, within the register.
    void readsAPageInOneGo()
    {
        Fixture f;
        QVERIFY(f.setUp(200));
        const TDBGridModel *m = f.grid->gridModel();
        QCOMPARE(m->rowsRead(), 0);
        m->readRows(10, 20);
        QCOMPARE(m->rowsRead(), 11);
        m->readRows(15, 25);  // 15..20 are there already
        QCOMPARE(m->rowsRead(), 16);
        m->readRows(5, 12);
        QCOMPARE(m->rowsRead(), 21);
        QCOMPARE(m->rowTexts(12).first(), QStringLiteral("R12"));
        QCOMPARE(m->rowTexts(25).first(), QStringLiteral("R25"));
        QCOMPARE(m->rowsRead(), 21);
        m->readRows(190, 250);  // past the end: the last ten only
        QCOMPARE(m->rowsRead(), 31);
        QCOMPARE(m->rowTexts(199).first(), QStringLiteral("R199"));
        m->readRows(-5, -1);
        QCOMPARE(m->rowsRead(), 31);
    }

    void deletingMovesTheSelectionToTheNextRecord()
    {
        Fixture f;
        QVERIFY(f.setUp(3));
        QVERIFY(f.show());
        f.table()->moveTo(1);
        f.table()->deleteRecord();
        QCOMPARE(f.grid->model()->rowCount(), 2);
        QCOMPARE(f.cell(1, 0), QStringLiteral("R2"));
        QCOMPARE(f.grid->selectedRow(), 1);
        f.table()->deleteRecord();  // the last one: the new last becomes current
        QCOMPARE(f.grid->model()->rowCount(), 1);
        QCOMPARE(f.grid->selectedRow(), 0);
        f.table()->deleteRecord();
        QCOMPARE(f.grid->model()->rowCount(), 0);
        QCOMPARE(f.grid->selectedRow(), -1);
    }

    void anEditedRecordKeepsTheGridOnIt()
    {
        Fixture f;
        QVERIFY(f.setUp(5));
        QVERIFY(f.show());
        f.table()->moveTo(2);
        f.table()->edit();
        f.table()->fieldByName(u"Bl_AgentRef")->setAsString(QStringLiteral("CHANGED"));
        // The grid shows the buffer of the record being edited.
        QCOMPARE(f.cell(2, 0), QStringLiteral("CHANGED"));
        f.grid->setFocus();
        QTest::keyClick(f.grid.get(), Qt::Key_Down);
        QTRY_COMPARE(f.grid->selectedRow(), 2);
        QCOMPARE(f.table()->state(), Table::State::Edit);
        f.table()->cancel();
        QCOMPARE(f.cell(2, 0), QStringLiteral("R2"));
    }

    void doubleClicksAnywhere()
    {
        Fixture f;
        QVERIFY(f.setUp(3));
        QVERIFY(f.show());
        f.table()->moveTo(1);
        QSignalSpy spy(f.grid.get(), &TDBGrid::dblClick);
        // Below the last row: the selection stays.
        const QPoint below(40, f.grid->cellRect(2, 0).bottom() + 40);
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(f.grid->selectedRow(), 1);
        QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(f.booking(), QStringLiteral("R1"));
        // On the titles.
        QTest::mouseDClick(f.grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(f.booking(), QStringLiteral("R1"));
        // On a row: it becomes current by the first click.
        const QPoint onRow = f.grid->cellRect(0, 0).center();
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(f.grid->viewport(), Qt::LeftButton, {}, onRow);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(f.booking(), QStringLiteral("R0"));
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
