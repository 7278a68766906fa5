#pragma once

// The data-aware grid: a read-only QTableView over a table's records in natural order. As the
// classic data grid does, it holds only the page of records it shows: its model is a window of
// rows over the table, moved to keep the current record in view, and its vertical scroll bar
// stands for the record's position in the whole table. So a register of any size opens and
// scrolls at once, and nothing in the view grows with the register. The grid and the table
// share one cursor: moving in the grid (keys, clicks, wheel, scroll bar) moves the current
// record, and moving the record moves the grid.
//
// An engine error while moving or reading is never thrown out of the grid's event handlers:
// the grid reports it in the standard error box after the event (once per failure) and goes on
// showing the table as it is: the marked row is the current record, rows that can be read
// are shown, and a row that cannot be read shows as unreadable.

#include "DataSource.h"
#include "Field.h"
#include "paradox/PxError.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QImage>
#include <QList>
#include <QSet>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <memory>

class GridTextPainter;

namespace dbgrid {

// A column's width when none is given: the field's display width in digits plus a margin,
// and never narrower than its title.
int defaultColumnWidth(int displayWidth, int digitWidth, int titleWidth);
// Row height for a font of the given text height: the text, a margin and the line.
int rowHeight(int textHeight);

} // namespace dbgrid

struct TDBGridColumn
{
    QString fieldName;
    QString title;
    int width = -1;                    // -1: the default for the field
    Qt::Alignment alignment = {};      // none: numbers right, the rest left
};

class TDBGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TDBGridModel(QObject *parent = nullptr);
    ~TDBGridModel() override;

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    const QList<TDBGridColumn> &columns() const { return m_columns; }
    void setColumns(const QList<TDBGridColumn> &columns);
    // The bound field of a column, nullptr while the table is closed or has no such field.
    Field *field(int column) const;

    // The table's current record (its ordinal), -1 when there is none.
    int currentRecord() const;
    // All records of the table, of which the model shows the window top() .. top() + rowCount() - 1.
    int recordCount() const { return m_records; }
    int top() const { return m_top; }
    int windowRows() const { return m_window; }
    // Shows up to rows records from top on; top is kept where the window stays full when it can.
    void setWindow(int top, int rows);
    // The record shown on a model row, and the model row of a record (-1 when not shown).
    int recordOf(int row) const { return row >= 0 && row < rowCount() ? m_top + row : -1; }
    int rowOf(int record) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Rows read from the table since the last reset (for tests and benchmarks: a page shown
    // must not read the whole table).
    int rowsRead() const { return m_rowsRead; }
    // True when the record could not be read; its row shows UnreadableText.
    bool isUnreadable(int record) const { return m_unreadable.contains(record); }
    static QString unreadableText();

    // Rereads everything: count, fields and rows.
    void reload();
    // Rereads one record.
    void refreshRecord(int record);
    // The display texts of a record, one per column (read with the ones around it when needed).
    const QStringList &rowTexts(int record) const;
    // Reads the records first..last not yet read, in one go: the page about to be painted.
    void readRows(int first, int last) const;
    Qt::Alignment alignment(int column) const;

private:
    void readRange(int first, int count) const;
    void readOneByOne(int first, int count) const;
    void markUnreadable(int record) const;
    // Reports a read failure after the event, once for each text while the source stays.
    void report(const DataError &e) const;

    QPointer<DataSource> m_source;
    QList<TDBGridColumn> m_columns;
    QList<Field *> m_fields;
    int m_records = 0;
    int m_top = 0;
    int m_window = 1;
    // Rows read lately; dropped as a whole when it grows past a few pages.
    mutable QHash<int, QStringList> m_cache;
    mutable int m_rowsRead = 0;
    mutable QSet<int> m_unreadable;
    mutable int m_lastCurrent = -1;
    mutable QSet<QString> m_reported;
};

// The vertical header as the row indicator: a black triangle on the current record's row (a
// row of the model's window).
class TDBGridIndicator : public QHeaderView
{
    Q_OBJECT
public:
    explicit TDBGridIndicator(QWidget *parent = nullptr);
    int currentRow() const { return m_row; }
    void setCurrentRow(int row);
    // Fixed: the default would measure the contents of up to a thousand rows after every reset.
    QSize sizeHint() const override { return QSize(minimumWidth(), defaultSectionSize()); }

protected:
    // Every row in one pass: the header's own loop costs far more per row than a row's fills.
    void paintEvent(QPaintEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    int m_row = -1;
};

// The column titles: one fixed line, so the view need not measure every title again each
// time the rows change.
class TDBGridTitles : public QHeaderView
{
    Q_OBJECT
public:
    explicit TDBGridTitles(QWidget *parent = nullptr) : QHeaderView(Qt::Horizontal, parent) {}
    QSize sizeHint() const override { return QSize(length(), minimumHeight()); }
};

class TDBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    DataSource *dataSource() const { return m_model->dataSource(); }
    void setDataSource(DataSource *source);
    void setColumns(const QList<TDBGridColumn> &columns);
    TDBGridModel *gridModel() const { return m_model; }
    TDBGridIndicator *indicator() const { return m_indicator; }
    // The selected record (its ordinal in the table), -1 when none.
    int selectedRow() const;
    // Records a page holds: the rows that fit whole in the grid.
    int pageRows() const;
    // Where a record's cell is in the viewport; empty when the record is not shown.
    QRect cellRect(int record, int column) const;

signals:
    // A double click anywhere in the grid: cells, titles, indicator or the empty area.
    void dblClick();

protected:
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

private:
    // Moves the table by a step, a page, or to either end, as the keys, wheel and bar ask.
    void moveTable(int by);
    void moveTableTo(int record);
    void scrollBarAction(int action);
    // Moves the window so that the record is shown, with as little movement as possible.
    void showRecord(int record);
    void startAtCurrentRecord();
    const GridTextPainter &cellText();
    void syncScrollBar();
    void followTable();
    void reloadModel();
    void applyColumnWidths();
    // A failure met in an event handler: reported after the event, and the grid shown again
    // at the table's current record.
    void failed(const DataError &e);

    TDBGridModel *m_model = nullptr;
    TDBGridIndicator *m_indicator = nullptr;
    QPointer<DataSource> m_connected;
    QList<QMetaObject::Connection> m_links;
    bool m_following = false;
    int m_wheel = 0;  // wheel turn not yet a whole notch
    std::unique_ptr<GridTextPainter> m_cellText;
    QImage m_picture;  // the rows painted off screen, kept for the next paint
};
