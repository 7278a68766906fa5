#include "DBGrid.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyleFactory>

#include <cmath>

namespace dbgrid {

int defaultColumnWidth(int displayWidth, int digitWidth, int titleWidth)
{
    return qMax(displayWidth * digitWidth + 4, titleWidth + 4);
}

int rowHeight(int textHeight)
{
    return textHeight + 4;
}

} // namespace dbgrid

namespace {

constexpr int CacheLimit = 1024;  // rows kept; a page is a few dozen
constexpr int ChunkRows = 32;     // rows read in one go

// Text height as the designs measured it: whole pixels above and below the baseline.
int textHeight(const QFont &font)
{
    const QFontMetricsF fm(font);
    return int(std::ceil(fm.ascent())) + int(std::ceil(fm.descent()));
}

} // namespace

// ---------------------------------------------------------------------------------------------

TDBGridModel::TDBGridModel(QObject *parent) : QAbstractTableModel(parent) {}

TDBGridModel::~TDBGridModel() = default;

void TDBGridModel::setDataSource(DataSource *source)
{
    m_source = source;
    reload();
}

void TDBGridModel::setColumns(const QList<TDBGridColumn> &columns)
{
    m_columns = columns;
    reload();
}

Field *TDBGridModel::field(int column) const
{
    return column >= 0 && column < m_fields.size() ? m_fields.at(column) : nullptr;
}

void TDBGridModel::reload()
{
    beginResetModel();
    m_cache.clear();
    m_rowsRead = 0;
    m_fields.clear();
    m_rows = 0;
    Table *t = m_source ? m_source->dataSet() : nullptr;
    for (const TDBGridColumn &c : std::as_const(m_columns))
        m_fields.append(t ? t->findField(c.fieldName) : nullptr);
    if (t && t->isActive()) {
        try {
            m_rows = int(qMin<quint32>(t->recordCount(), quint32(std::numeric_limits<int>::max())));
        } catch (...) {
            m_error = std::current_exception();
        }
    }
    endResetModel();
}

void TDBGridModel::refreshRow(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    m_cache.remove(row);
    emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

int TDBGridModel::currentRow() const
{
    Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t || !t->isActive())
        return -1;
    const qint64 r = t->recNo();
    return r >= 0 && r < m_rows ? int(r) : -1;
}

std::exception_ptr TDBGridModel::takeError()
{
    std::exception_ptr e = m_error;
    m_error = nullptr;
    return e;
}

int TDBGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

void TDBGridModel::readRange(int first, int count) const
{
    if (m_cache.size() + count > CacheLimit)
        m_cache.clear();
    Table *t = m_source ? m_source->dataSet() : nullptr;
    try {
        if (t) {
            const QList<QStringList> rows = t->displayTextsRange(quint32(first), quint32(count), m_fields);
            for (qsizetype i = 0; i < rows.size(); ++i)
                m_cache.insert(first + int(i), rows.at(i));
            m_rowsRead += int(rows.size());
        }
    } catch (...) {
        // Kept empty until the next reload, so a damaged row reports once, not at every paint.
        if (!m_error)
            m_error = std::current_exception();
    }
}

void TDBGridModel::readRows(int first, int last) const
{
    first = qMax(first, 0);
    last = qMin(last, m_rows - 1);
    if (m_cache.size() + (last - first + 1) > CacheLimit)
        m_cache.clear();
    while (first <= last && m_cache.contains(first))
        ++first;
    while (last >= first && m_cache.contains(last))
        --last;
    if (first <= last)
        readRange(first, last - first + 1);
}

const QStringList &TDBGridModel::rowTexts(int row) const
{
    auto it = m_cache.constFind(row);
    if (it != m_cache.constEnd())
        return *it;
    // The rows around it come in the same read: a page is painted row after row.
    readRange(row - row % ChunkRows, ChunkRows);
    it = m_cache.constFind(row);
    if (it != m_cache.constEnd())
        return *it;
    QStringList empty;
    while (empty.size() < m_columns.size())
        empty.append(QString());
    return *m_cache.insert(row, empty);
}

QVariant TDBGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return rowTexts(index.row()).at(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(alignment(index.column()) | Qt::AlignVCenter);
    return {};
}

Qt::Alignment TDBGridModel::alignment(int column) const
{
    if (column < 0 || column >= m_columns.size())
        return Qt::AlignLeft;
    Qt::Alignment a = m_columns.at(column).alignment;
    if (!a) {
        const Field *f = m_fields.value(column);
        a = f && f->isNumeric() ? Qt::AlignRight : Qt::AlignLeft;
    }
    return a & Qt::AlignHorizontal_Mask;
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < m_columns.size()) {
        if (role == Qt::DisplayRole)
            return m_columns.at(section).title;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---------------------------------------------------------------------------------------------

TDBGridIndicator::TDBGridIndicator(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}

void TDBGridIndicator::setCurrentRow(int row)
{
    if (row == m_row)
        return;
    const int old = m_row;
    m_row = row;
    for (int r : {old, row})
        if (r >= 0)
            viewport()->update(0, sectionViewportPosition(r), viewport()->width(), sectionSize(r));
}

void TDBGridIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    // A fixed cell of the classic grid: button face with a light and a dark edge, drawn
    // directly, as a page of them is painted at every scroll.
    const QPalette &pal = palette();
    painter->fillRect(rect, pal.color(QPalette::Button));
    painter->fillRect(rect.left(), rect.top(), rect.width() - 1, 1, pal.color(QPalette::Light));
    painter->fillRect(rect.left(), rect.top(), 1, rect.height() - 1, pal.color(QPalette::Light));
    painter->fillRect(rect.left(), rect.bottom(), rect.width(), 1, pal.color(QPalette::Dark));
    painter->fillRect(rect.right(), rect.top(), 1, rect.height(), pal.color(QPalette::Dark));
    if (logicalIndex != m_row)
        return;
    // A small black triangle pointing at the row.
    const int x = rect.left() + (rect.width() - 4) / 2;
    const int y = rect.top() + (rect.height() - 7) / 2;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(Qt::black);
    painter->drawPolygon(QPolygon({QPoint(x, y), QPoint(x + 4, y + 3), QPoint(x, y + 6)}));
    painter->restore();
}

// ---------------------------------------------------------------------------------------------

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent)
{
    m_model = new TDBGridModel(this);
    m_indicator = new TDBGridIndicator(this);
    setVerticalHeader(m_indicator);
    setModel(m_model);

    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // The selection stays visible when the grid has no focus.
    QPalette p = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        p.setColor(QPalette::Inactive, role, p.color(QPalette::Active, role));
    setPalette(p);

    const int rows = dbgrid::rowHeight(textHeight(font()));
    m_indicator->setSectionResizeMode(QHeaderView::Fixed);
    m_indicator->setMinimumSectionSize(1);
    m_indicator->setDefaultSectionSize(rows);
    m_indicator->setSectionsClickable(true);
    m_indicator->setHighlightSections(false);
    m_indicator->setFixedWidth(12);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setFixedHeight(rows);
    horizontalHeader()->setMinimumSectionSize(1);

    // The vertical bar stays, as on the classic data grid, however few the records.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Classic flat scroll bars, as the grid was designed with; they also paint far faster
    // than the default style's shaded ones, which matters at every step through the rows.
    static QStyle *const classic = QStyleFactory::create(QStringLiteral("Windows"));
    if (classic) {
        verticalScrollBar()->setStyle(classic);
        horizontalScrollBar()->setStyle(classic);
    }

    horizontalHeader()->viewport()->installEventFilter(this);
    m_indicator->viewport()->installEventFilter(this);
}

TDBGrid::~TDBGrid()
{
    for (const QMetaObject::Connection &c : std::as_const(m_links))
        disconnect(c);
}

void TDBGrid::setDataSource(DataSource *source)
{
    for (const QMetaObject::Connection &c : std::as_const(m_links))
        disconnect(c);
    m_links.clear();
    m_connected = source;
    if (source) {
        m_links << connect(source, &DataSource::recordChanged, this, [this] { followTable(); });
        m_links << connect(source, &DataSource::dataSetChanged, this, [this] { reloadModel(); });
        m_links << connect(source, &DataSource::stateChanged, this, [this] { reloadModel(); });
        m_links << connect(source, &DataSource::fieldChanged, this, [this] {
            // The current record's buffer changed while it is edited: show the new text.
            m_model->refreshRow(m_model->currentRow());
        });
    }
    m_model->setDataSource(source);
    applyColumnWidths();
    followTable();
}

void TDBGrid::setColumns(const QList<TDBGridColumn> &columns)
{
    m_model->setColumns(columns);
    applyColumnWidths();
    followTable();
}

void TDBGrid::applyColumnWidths()
{
    QFont titleFont = horizontalHeader()->font();
    const QFontMetrics titles(titleFont);
    const int digit = qRound(QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')));
    const QList<TDBGridColumn> &cols = m_model->columns();
    for (int i = 0; i < cols.size(); ++i) {
        int w = cols.at(i).width;
        if (w < 0) {
            const Field *f = m_model->field(i);
            w = dbgrid::defaultColumnWidth(f ? f->displayWidth() : 10, digit,
                                           titles.horizontalAdvance(cols.at(i).title));
        }
        horizontalHeader()->resizeSection(i, w);
    }
}

void TDBGrid::reloadModel()
{
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const int hScroll = horizontalScrollBar()->value();
    m_following = true;
    m_model->reload();
    applyColumnWidths();
    m_following = false;
    horizontalScrollBar()->setValue(hScroll);
    followTable();
    const int row = m_model->currentRow();
    if (row >= 0 && column > 0) {
        m_following = true;
        selectionModel()->setCurrentIndex(m_model->index(row, column),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_following = false;
    }
}

void TDBGrid::paintEvent(QPaintEvent *event)
{
    // The cells are drawn here rather than cell by cell through the delegate: plain text
    // clipped at the cell, the selected row filled, the lines drawn once per row and column.
    // A page costs little more than a few rows, so a big register scrolls as fast as a small one.
    QPainter p(viewport());
    const QRect area = event->rect();
    const QPalette &pal = palette();
    p.fillRect(area, pal.color(QPalette::Base));
    const int rows = m_model->rowCount();
    const int cols = m_model->columnCount();
    if (cols == 0)
        return;
    const QHeaderView *hh = horizontalHeader();
    const int rh = m_indicator->defaultSectionSize();
    const int offset = m_indicator->offset();
    QList<QRect> columns;  // viewport x and width of each column
    int right = 0;
    for (int c = 0; c < cols; ++c) {
        const QRect r(hh->sectionViewportPosition(c), 0, hh->sectionSize(c), rh);
        columns.append(r);
        right = qMax(right, r.right() + 1);
    }
    const int firstRow = qMax(0, (area.top() + offset) / qMax(rh, 1));
    const int lastRow = qMin(rows - 1, (area.bottom() + offset) / qMax(rh, 1));
    if (lastRow < firstRow)
        return;
    m_model->readRows(firstRow, lastRow);
    const int selected = selectedRow();
    if (selected >= firstRow && selected <= lastRow)
        p.fillRect(QRect(0, selected * rh - offset, right, rh), pal.brush(QPalette::Active, QPalette::Highlight));

    const QFontMetrics fm(font());
    const int baseline = (rh - fm.height()) / 2 + fm.ascent();
    // Cell texts are plain Latin text: no shaping needed, which makes a page of them cheap.
    QFont cellFont = font();
    cellFont.setStyleStrategy(QFont::PreferNoShaping);
    p.setFont(cellFont);
    const QColor textColor = pal.color(QPalette::Active, QPalette::Text);
    const QColor selectedColor = pal.color(QPalette::Active, QPalette::HighlightedText);
    // Column by column, under one clip of the column's cells: a clip per cell costs more
    // than the text in it when the painted region is not a plain rectangle.
    QList<QRect> cells;
    for (int c = 0; c < cols; ++c) {
        const QRect &column = columns.at(c);
        const int left = column.left() + 2;
        const int width = column.width() - 5;
        if (width <= 0 || left > area.right() || left + width <= area.left())
            continue;
        cells.clear();
        for (int r = firstRow; r <= lastRow; ++r) {
            const QRect cell(left, r * rh - offset, width, rh - 1);
            if (!m_model->rowTexts(r).value(c).isEmpty() && cell.intersects(area))
                cells.append(cell);
        }
        if (cells.isEmpty())
            continue;
        QRegion clip;
        clip.setRects(cells.constData(), int(cells.size()));
        p.setClipRegion(clip);
        const Qt::Alignment a = m_model->alignment(c);
        for (const QRect &cell : std::as_const(cells)) {
            const int r = (cell.top() + offset) / rh;
            const QString &text = m_model->rowTexts(r).at(c);
            int x = cell.left();
            if (a & (Qt::AlignRight | Qt::AlignHCenter)) {
                const int w = fm.horizontalAdvance(text);
                x = a & Qt::AlignRight ? cell.right() + 1 - w : cell.left() + (cell.width() - w) / 2;
            }
            p.setPen(r == selected ? selectedColor : textColor);
            p.drawText(x, cell.top() + baseline, text);
        }
    }
    p.setClipping(false);

    if (showGrid()) {
        // The lines in the desktop's button-face shade, as the classic grid draws them; filled
        // as one-pixel rectangles, far cheaper than stroked lines.
        const QColor gridColor = pal.color(QPalette::Mid);
        const int top = firstRow * rh - offset;
        const int bottom = (lastRow + 1) * rh - offset - 1;
        for (int r = firstRow; r <= lastRow; ++r)
            p.fillRect(QRect(0, (r + 1) * rh - offset - 1, right, 1), gridColor);
        for (const QRect &c : std::as_const(columns))
            p.fillRect(QRect(c.right(), top, 1, bottom - top + 1), gridColor);
    }
}

int TDBGrid::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TDBGrid::followTable()
{
    int row = -1;
    try {
        row = m_model->currentRow();
    } catch (...) {
        if (!m_error)
            m_error = std::current_exception();
    }
    m_indicator->setCurrentRow(row);
    if (m_following)
        return;
    m_following = true;
    if (row < 0) {
        selectionModel()->clearSelection();
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex idx = m_model->index(row, column);
        if (currentIndex() != idx || !selectionModel()->isRowSelected(row, {}))
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // Bring the row into view without jumping sideways.
        const int h = horizontalScrollBar()->value();
        scrollTo(idx);
        horizontalScrollBar()->setValue(h);
    }
    m_following = false;
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || !current.isValid())
        return;
    Table *t = m_connected ? m_connected->dataSet() : nullptr;
    if (!t || !t->isActive())
        return;
    const int row = current.row();
    m_indicator->setCurrentRow(row);
    bool agree = false;
    m_following = true;
    try {
        if (t->recNo() == row)
            agree = true;
        else if (!t->isEditing())
            agree = t->moveTo(quint32(row));
    } catch (...) {
        if (!m_error)
            m_error = std::current_exception();
    }
    m_following = false;
    // A record being edited, or a move that failed: the grid goes back to the table's record.
    if (!agree)
        QMetaObject::invokeMethod(this, [this] { followTable(); }, Qt::QueuedConnection);
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    // A press below the last row or beside the last column leaves the selection alone.
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (indexAt(event->position().toPoint()).isValid())
        QTableView::mouseDoubleClickEvent(event);
    else
        event->accept();
    if (event->button() == Qt::LeftButton)
        emit dblClick();
}

bool TDBGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick
        && (watched == horizontalHeader()->viewport() || watched == m_indicator->viewport())
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        emit dblClick();
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::rethrowPending()
{
    std::exception_ptr e = m_error;
    if (!e && m_model)
        e = m_model->takeError();
    m_error = nullptr;
    if (e)
        std::rethrow_exception(e);
}

bool TDBGrid::event(QEvent *event)
{
    const bool r = QTableView::event(event);
    rethrowPending();
    return r;
}

bool TDBGrid::viewportEvent(QEvent *event)
{
    const bool r = QTableView::viewportEvent(event);
    rethrowPending();
    return r;
}
