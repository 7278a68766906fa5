#include "DBGrid.h"

#include "ErrorBox.h"
#include "GridText.h"

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
    m_reported.clear();
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
    m_unreadable.clear();
    m_rowsRead = 0;
    m_fields.clear();
    m_records = 0;
    Table *t = m_source ? m_source->dataSet() : nullptr;
    for (const TDBGridColumn &c : std::as_const(m_columns))
        m_fields.append(t ? t->findField(c.fieldName) : nullptr);
    if (t && t->isActive()) {
        try {
            m_records = int(qMin<quint32>(t->recordCount(), quint32(std::numeric_limits<int>::max())));
        } catch (const DataError &e) {
            report(e);
        }
    }
    m_top = qBound(0, m_top, qMax(0, m_records - m_window));
    endResetModel();
}

void TDBGridModel::setWindow(int top, int rows)
{
    rows = qMax(1, rows);
    top = qBound(0, top, qMax(0, m_records - rows));
    if (top == m_top && rows == m_window)
        return;
    const int before = rowCount();
    const int after = qBound(0, m_records - top, rows);
    const bool moved = top != m_top;
    // Rows come and go at the bottom; a reset would make the view measure everything again.
    if (after > before)
        beginInsertRows({}, before, after - 1);
    else if (after < before)
        beginRemoveRows({}, after, before - 1);
    m_top = top;
    m_window = rows;
    if (after > before)
        endInsertRows();
    else if (after < before)
        endRemoveRows();
    if (moved && qMin(before, after) > 0)
        emit dataChanged(index(0, 0), index(qMin(before, after) - 1, int(m_columns.size()) - 1));
}

int TDBGridModel::rowOf(int record) const
{
    return record >= m_top && record - m_top < rowCount() ? record - m_top : -1;
}

void TDBGridModel::refreshRecord(int record)
{
    if (record < 0 || record >= m_records)
        return;
    m_cache.remove(record);
    m_unreadable.remove(record);
    const int row = rowOf(record);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

int TDBGridModel::currentRecord() const
{
    Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t || !t->isActive())
        return -1;
    try {
        const qint64 r = t->recNo();
        m_lastCurrent = r >= 0 && r < m_records ? int(r) : -1;
    } catch (const DataError &e) {
        // The cursor has not moved since it was last found: a failure leaves it where it was.
        report(e);
    }
    return m_lastCurrent;
}

QString TDBGridModel::unreadableText()
{
    return QStringLiteral("(ilegível)");
}

void TDBGridModel::report(const DataError &e) const
{
    const QString text = blapp::withFullStop(e.message());
    if (m_reported.contains(text))
        return;
    m_reported.insert(text);
    blapp::reportLater(text);
}

int TDBGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : qBound(0, m_records - m_top, m_window);
}

int TDBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

void TDBGridModel::readRange(int first, int count) const
{
    if (m_cache.size() + count > CacheLimit) {
        m_cache.clear();
        m_unreadable.clear();
    }
    Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t)
        return;
    try {
        const QList<QStringList> rows = t->displayTextsRange(quint32(first), quint32(count), m_fields);
        for (qsizetype i = 0; i < rows.size(); ++i)
            m_cache.insert(first + int(i), rows.at(i));
        m_rowsRead += int(rows.size());
        // Records the count promises but the table no longer gives (a file cut short).
        for (int record = first + int(rows.size()); record < qMin(first + count, m_records); ++record)
            markUnreadable(record);
    } catch (const DataError &e) {
        report(e);
        // The rows around a damaged one are still shown.
        readOneByOne(first, qMin(count, m_records - first));
    }
}

void TDBGridModel::readOneByOne(int first, int count) const
{
    Table *t = m_source->dataSet();
    for (int record = first; record < first + count; ++record) {
        try {
            m_cache.insert(record, t->displayTextsAt(quint32(record), m_fields));
            ++m_rowsRead;
        } catch (const DataError &e) {
            report(e);
            markUnreadable(record);
        }
    }
}

void TDBGridModel::markUnreadable(int record) const
{
    // Kept until the next reload, so a damaged row is read once, not at every paint.
    QStringList texts;
    texts.append(unreadableText());
    while (texts.size() < m_columns.size())
        texts.append(QString());
    m_cache.insert(record, texts);
    m_unreadable.insert(record);
}

void TDBGridModel::readRows(int first, int last) const
{
    first = qMax(first, 0);
    last = qMin(last, m_records - 1);
    if (m_cache.size() + (last - first + 1) > CacheLimit) {
        m_cache.clear();
        m_unreadable.clear();
    }
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
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return rowTexts(m_top + index.row()).at(index.column());
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

void TDBGridIndicator::paintEvent(QPaintEvent *event)
{
    // Rows of one fixed height, never moved or hidden: the grid's window of records.
    QPainter p(viewport());
    const int rh = qMax(1, defaultSectionSize());
    const QRect area = event->rect();
    const int first = qMax(0, (area.top() + offset()) / rh);
    const int last = qMin(count() - 1, (area.bottom() + offset()) / rh);
    for (int r = first; r <= last; ++r)
        paintSection(&p, QRect(0, r * rh - offset(), viewport()->width(), rh), r);
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
    setHorizontalHeader(new TDBGridTitles(this));
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

    // The vertical bar moves the record, not the rows: it stands for the record's position.
    setAutoScroll(false);
    verticalScrollBar()->setTracking(false);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) { scrollBarAction(action); });
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
            m_model->refreshRecord(m_model->currentRecord());
        });
    }
    m_model->setDataSource(source);
    applyColumnWidths();
    startAtCurrentRecord();
    followTable();
}

void TDBGrid::startAtCurrentRecord()
{
    // A grid that starts showing a table has the current record on its first row, or the last
    // page when the record is on it.
    try {
        m_model->setWindow(qMax(0, m_model->currentRecord()), pageRows());
    } catch (const DataError &e) {
        failed(e);
    }
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
    const bool wasEmpty = m_model->recordCount() == 0;
    m_following = true;
    m_model->reload();
    applyColumnWidths();
    if (wasEmpty)
        startAtCurrentRecord();
    m_following = false;
    horizontalScrollBar()->setValue(hScroll);
    followTable();
    const int row = m_model->rowOf(m_model->currentRecord());
    if (row >= 0 && column > 0) {
        m_following = true;
        selectionModel()->setCurrentIndex(m_model->index(row, column),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_following = false;
    }
}

const GridTextPainter &TDBGrid::cellText()
{
    // Cell texts are plain Latin text: no shaping needed. Crisp, unsmoothed glyphs in exact
    // colours on whole-pixel advances, as the classic desktop drew its grids' bitmap font:
    // unsmoothed glyphs on fractional advances would be unevenly spaced.
    QFont f = font();
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    f.setHintingPreference(QFont::PreferFullHinting);
    if (!m_cellText || m_cellText->font() != f)
        m_cellText = std::make_unique<GridTextPainter>(f);
    return *m_cellText;
}

void TDBGrid::paintEvent(QPaintEvent *event)
{
    // The cells are drawn here rather than cell by cell through the delegate: plain text
    // clipped at the cell, the selected row filled, the lines drawn once per row and column.
    // The rows are painted off screen, their texts written straight into the picture, and
    // shown in one go: a page costs little more than a few rows.
    QPainter p(viewport());
    const QRect area = event->rect();
    const QPalette &pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const int rows = m_model->rowCount();
    const int cols = m_model->columnCount();
    const int rh = qMax(1, m_indicator->defaultSectionSize());
    const int offset = m_indicator->offset();
    const int firstRow = qMax(0, (area.top() + offset) / rh);
    const int lastRow = qMin(rows - 1, (area.bottom() + offset) / rh);
    if (cols == 0 || lastRow < firstRow) {
        p.fillRect(area, base);
        return;
    }
    const int firstTop = firstRow * rh - offset;
    const QRect band = area & QRect(0, firstTop, viewport()->width(), (lastRow - firstRow + 1) * rh);
    if (band.bottom() < area.bottom())
        p.fillRect(QRect(area.left(), band.bottom() + 1, area.width(), area.bottom() - band.bottom()), base);

    const QHeaderView *hh = horizontalHeader();
    QList<QRect> columns;  // viewport x and width of each column
    int right = 0;
    for (int c = 0; c < cols; ++c) {
        const QRect r(hh->sectionViewportPosition(c), 0, hh->sectionSize(c), rh);
        columns.append(r);
        right = qMax(right, r.right() + 1);
    }
    const int top = m_model->top();
    m_model->readRows(top + firstRow, top + lastRow);
    const int selectedRecord = selectedRow();
    const int selected = selectedRecord < 0 ? -1 : selectedRecord - top;

    // The picture of the band, in viewport coordinates through the painter.
    const qreal dpr = viewport()->devicePixelRatioF();
    const QSize size = (QSizeF(band.size()) * dpr).toSize();
    if (m_picture.width() < size.width() || m_picture.height() < size.height())
        m_picture = QImage(size.expandedTo(m_picture.size()), QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(dpr);
    QPainter bp(&m_picture);
    bp.translate(-band.topLeft());
    bp.fillRect(band, base);
    if (selected >= firstRow && selected <= lastRow)
        bp.fillRect(QRect(0, selected * rh - offset, right, rh), pal.brush(QPalette::Active, QPalette::Highlight));

    const GridTextPainter &text = cellText();
    bp.setFont(text.font());
    const QFontMetrics fm(text.font());
    const int baseline = (rh - fm.height()) / 2 + fm.ascent();
    const QRgb textColor = pal.color(QPalette::Active, QPalette::Text).rgb();
    const QRgb selectedColor = pal.color(QPalette::Active, QPalette::HighlightedText).rgb();
    const QRgb unreadableColor = pal.color(QPalette::Disabled, QPalette::Text).rgb();
    const int height = (lastRow - firstRow + 1) * rh;
    for (int c = 0; c < cols; ++c) {
        const QRect &column = columns.at(c);
        // Clipped at the column, which the lines drawn afterwards border.
        const QRect clip = QRect(column.left() + 2, firstTop, column.width() - 5, height) & band;
        if (clip.isEmpty())
            continue;
        const Qt::Alignment a = m_model->alignment(c);
        for (int r = firstRow; r <= lastRow; ++r) {
            const QString &cell = m_model->rowTexts(top + r).at(c);
            if (cell.isEmpty())
                continue;
            int x = column.left() + 2;
            const int width = column.width() - 5;
            if (a & (Qt::AlignRight | Qt::AlignHCenter)) {
                const int w = text.width(cell);
                x = a & Qt::AlignRight ? x + width - w : x + (width - w) / 2;
            }
            const int y = r * rh - offset + baseline;
            const QRgb colour = r == selected ? selectedColor
                                : m_model->isUnreadable(top + r) ? unreadableColor : textColor;
            // Through the painter where the fast path cannot match it (a scaled screen, a
            // character beyond the simple ones).
            if (!text.draw(m_picture, x - band.left(), y - band.top(), cell, colour, clip.translated(-band.topLeft()))) {
                bp.setClipRect(clip);
                bp.setPen(QColor(colour));
                bp.drawText(x, y, cell);
                bp.setClipping(false);
            }
        }
    }

    if (showGrid()) {
        // The lines in the desktop's button-face shade, as the classic grid draws them; filled
        // as one-pixel rectangles, far cheaper than stroked lines.
        const QColor gridColor = pal.color(QPalette::Mid);
        const int bottom = (lastRow + 1) * rh - offset - 1;
        for (int r = firstRow; r <= lastRow; ++r)
            bp.fillRect(QRect(0, (r + 1) * rh - offset - 1, right, 1), gridColor);
        for (const QRect &c : std::as_const(columns))
            bp.fillRect(QRect(c.right(), firstTop, 1, bottom - firstTop + 1), gridColor);
    }
    bp.end();
    p.drawImage(band, m_picture, QRectF(QPointF(0, 0), QSizeF(band.size()) * dpr));
}

int TDBGrid::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : m_model->recordOf(rows.first().row());
}

int TDBGrid::pageRows() const
{
    return qMax(1, viewport()->height() / qMax(1, m_indicator->defaultSectionSize()));
}

QRect TDBGrid::cellRect(int record, int column) const
{
    const int row = m_model->rowOf(record);
    return row < 0 ? QRect() : visualRect(m_model->index(row, column));
}

void TDBGrid::showRecord(int record)
{
    const int rows = pageRows();
    int top = m_model->top();
    if (record >= 0) {
        if (record < top)
            top = record;
        else if (record >= top + rows)
            top = record - rows + 1;
    }
    m_model->setWindow(top, rows);
}

void TDBGrid::syncScrollBar()
{
    // Kept apart from the view's own scrolling: the bar is the record's place in the table.
    QScrollBar *bar = verticalScrollBar();
    const QSignalBlocker block(bar);
    bar->setRange(0, qMax(0, m_model->recordCount() - 1));
    bar->setPageStep(pageRows());
    bar->setSingleStep(1);
    bar->setValue(qMax(0, m_model->currentRecord()));
}

void TDBGrid::followTable()
{
    int record = -1;
    try {
        record = m_model->currentRecord();
    } catch (const DataError &e) {
        failed(e);
    }
    // Moved by the grid itself, the record is on a shown row and the grid's selection is right.
    const bool fromGrid = m_following;
    m_following = true;
    if (!fromGrid)
        showRecord(record);
    const int row = m_model->rowOf(record);
    m_indicator->setCurrentRow(row);
    syncScrollBar();
    if (fromGrid)
        return;
    if (row < 0) {
        selectionModel()->clearSelection();
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex idx = m_model->index(row, column);
        if (currentIndex() != idx || !selectionModel()->isRowSelected(row, {}))
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
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
    const int record = m_model->recordOf(current.row());
    if (record < 0)
        return;
    m_indicator->setCurrentRow(current.row());
    bool agree = false;
    m_following = true;
    try {
        if (t->recNo() == record)
            agree = true;
        else if (!t->isEditing())
            agree = t->moveTo(quint32(record));
    } catch (const DataError &e) {
        failed(e);
    }
    m_following = false;
    syncScrollBar();
    // A record being edited, or a move that failed: the grid goes back to the table's record.
    if (!agree)
        QMetaObject::invokeMethod(this, [this] { followTable(); }, Qt::QueuedConnection);
}

void TDBGrid::moveTableTo(int record)
{
    Table *t = m_connected ? m_connected->dataSet() : nullptr;
    if (!t || !t->isActive() || t->isEditing() || m_model->recordCount() == 0)
        return;
    record = qBound(0, record, m_model->recordCount() - 1);
    try {
        if (t->recNo() != record)
            t->moveTo(quint32(record));
    } catch (const DataError &e) {
        failed(e);
    }
    // The table may have refused or failed: the grid shows where it is.
    followTable();
}

void TDBGrid::moveTable(int by)
{
    const int record = m_model->currentRecord();
    if (record >= 0)
        moveTableTo(record + by);
}

void TDBGrid::scrollBarAction(int action)
{
    const int record = m_model->currentRecord();
    int target = record;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: target = record + 1; break;
    case QAbstractSlider::SliderSingleStepSub: target = record - 1; break;
    case QAbstractSlider::SliderPageStepAdd: target = record + pageRows(); break;
    case QAbstractSlider::SliderPageStepSub: target = record - pageRows(); break;
    case QAbstractSlider::SliderToMinimum: target = 0; break;
    case QAbstractSlider::SliderToMaximum: target = m_model->recordCount() - 1; break;
    case QAbstractSlider::SliderMove:
        // While the thumb is dragged nothing moves; its release lands on the record.
        if (verticalScrollBar()->isSliderDown())
            return;
        target = verticalScrollBar()->sliderPosition();
        break;
    default: return;
    }
    if (record >= 0 || action == QAbstractSlider::SliderToMinimum || action == QAbstractSlider::SliderToMaximum)
        moveTableTo(target);
    // The bar then shows where the table is, not where the action would have put it.
    verticalScrollBar()->setSliderPosition(qMax(0, m_model->currentRecord()));
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: moveTable(-1); break;
    case Qt::Key_Down: moveTable(1); break;
    case Qt::Key_PageUp: moveTable(-pageRows()); break;
    case Qt::Key_PageDown: moveTable(pageRows()); break;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl) {  // first or last column of the row
            QTableView::keyPressEvent(event);
            return;
        }
        moveTableTo(event->key() == Qt::Key_Home ? 0 : m_model->recordCount() - 1);
        break;
    default:
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TDBGrid::wheelEvent(QWheelEvent *event)
{
    // A record per notch, as the classic grid moves.
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / QWheelEvent::DefaultDeltasPerStep;
    m_wheel -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps)
        moveTable(-steps);
    event->accept();
}

void TDBGrid::updateGeometries()
{
    // The view sets the vertical bar for its own rows: it stands for the record instead.
    QTableView::updateGeometries();
    syncScrollBar();
}

void TDBGrid::scrollContentsBy(int dx, int dy)
{
    // Rows never scroll: the window of records moves instead.
    Q_UNUSED(dy);
    QTableView::scrollContentsBy(dx, 0);
}

void TDBGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // Sideways only: every row of the window is in view.
    QScrollBar *bar = verticalScrollBar();
    const QSignalBlocker block(bar);
    const int value = bar->value();
    QTableView::scrollTo(index, hint);
    bar->setValue(value);
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

void TDBGrid::failed(const DataError &e)
{
    // A move is the user's action: each one that fails says so.
    blapp::reportLater(blapp::withFullStop(e.message()));
    // Once the event is done, the grid shows where the table stands.
    QMetaObject::invokeMethod(this, [this] {
        followTable();
        viewport()->update();
    }, Qt::QueuedConnection);
}

bool TDBGrid::viewportEvent(QEvent *event)
{
    const bool r = QTableView::viewportEvent(event);
    // A taller or shorter grid holds a different page of records.
    if (event->type() == QEvent::Resize && selectionModel() && pageRows() != m_model->windowRows())
        followTable();
    return r;
}
