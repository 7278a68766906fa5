#include "Table.h"

#include "DataSource.h"
#include "Field.h"

#include <QDir>
#include <QFileInfo>

using Kind = px::EngineError::Kind;

Table::Table(QObject *parent) : QObject(parent) {}

Table::~Table()
{
    close();
    // Fields are our children; detach them first so they do not call back into a dying table.
    const QList<Field *> fields = std::exchange(m_fields, {});
    for (Field *f : fields) {
        f->m_table = nullptr;
        delete f;
    }
}

QString Table::label() const
{
    return m_tableName.isEmpty() ? objectName() : m_tableName;
}

void Table::stateError(const QString &what) const
{
    throw px::EngineError(Kind::State, QStringLiteral("%1: %2").arg(label(), what));
}

void Table::checkInactive(const char *what) const
{
    if (isActive())
        stateError(QStringLiteral("não é possível %1 com a tabela aberta").arg(QString::fromUtf8(what)));
}

void Table::checkActive() const
{
    if (!isActive())
        stateError(QStringLiteral("a tabela não está aberta"));
}

void Table::checkBrowse() const
{
    checkActive();
    if (isEditing())
        stateError(QStringLiteral("o registro está em edição; confirme ou cancele antes"));
}

void Table::checkEditing() const
{
    if (!isEditing())
        stateError(QStringLiteral("a tabela não está em edição nem em inclusão"));
}

void Table::setDirectory(const QString &directory)
{
    checkInactive("mudar o diretório");
    m_directory = directory;
}

void Table::setTableName(const QString &name)
{
    checkInactive("mudar o nome da tabela");
    m_tableName = name;
}

void Table::setTableType(TableType type)
{
    checkInactive("mudar o tipo da tabela");
    m_type = type;
}

void Table::setExclusive(bool on)
{
    checkInactive("mudar o uso exclusivo");
    m_exclusive = on;
}

QString Table::resolvePath(const QString &directory, const QString &tableName)
{
    QString fileName = tableName;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".DB");
    const QDir base(directory.isEmpty() ? QDir::currentPath() : directory);
    const QString path = base.filePath(fileName);
    const QFileInfo info(path);
    if (info.exists())
        return path;
    // Table names come from a platform where file names ignore case ("BlDisquete.db" for
    // "BLDisquete.DB"); take the one file that matches that way.
    const QDir dir = info.dir();
    QString match;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &e : entries) {
        if (e.compare(info.fileName(), Qt::CaseInsensitive) == 0) {
            if (!match.isEmpty())
                return path;  // ambiguous: let the engine report the exact name as missing
            match = e;
        }
    }
    return match.isEmpty() ? path : dir.filePath(match);
}

QString Table::filePath() const
{
    return isActive() ? m_openPath : resolvePath(m_directory, m_tableName);
}

void Table::addField(Field *field)
{
    checkInactive("acrescentar campos");
    m_fields.append(field);
}

void Table::removeField(Field *field)
{
    m_fields.removeAll(field);
}

void Table::addSource(DataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void Table::removeSource(DataSource *source)
{
    m_sources.removeAll(source);
    m_sources.removeAll(nullptr);
}

Field *Table::findField(QStringView name) const
{
    for (Field *f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

Field *Table::fieldByName(QStringView name) const
{
    Field *f = findField(name);
    if (!f)
        throw DataError(QStringLiteral("%1: campo '%2' não encontrado").arg(label(), name.toString()));
    return f;
}

QVector<px::Value> Table::blankValues() const
{
    return QVector<px::Value>(m_px ? m_px->fields().size() : 0);
}

Table::Cursor Table::load(std::optional<px::RecordPos> pos) const
{
    Cursor c;
    c.pos = pos;
    if (!pos) {
        c.values = blankValues();
        return c;
    }
    c.raw = m_px->readRaw(*pos);
    const int n = int(m_px->fields().size());
    c.values.reserve(n);
    for (int i = 0; i < n; ++i)
        c.values.append(m_px->decode(c.raw, i));
    c.bof = c.eof = false;
    return c;
}

void Table::reloadCurrent()
{
    Cursor c = load(m_cur.pos);
    c.bof = m_cur.bof;
    c.eof = m_cur.eof;
    m_cur = std::move(c);
}

void Table::setCursor(Cursor cursor)
{
    m_cur = std::move(cursor);
    emit recordChanged();
}

void Table::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

px::Value Table::bufferValue(int index) const
{
    if (index < 0 || index >= m_cur.values.size())
        return {};
    return m_cur.values.at(index);
}

void Table::setBufferValue(Field *field, const px::Value &value)
{
    checkEditing();
    const int i = field->m_index;
    if (i < 0 || i >= m_cur.values.size())
        stateError(QStringLiteral("campo '%1' não está ligado à tabela").arg(field->fieldName()));
    m_cur.values[i] = value;
    emit fieldChanged(field);
}

void Table::dropDynamicFields()
{
    if (!m_dynamicFields)
        return;
    m_dynamicFields = false;
    const QList<Field *> fields = std::exchange(m_fields, {});
    for (Field *f : fields) {
        f->m_table = nullptr;
        delete f;
    }
}

void Table::open()
{
    if (isActive())
        return;
    if (m_tableName.isEmpty())
        throw px::EngineError(Kind::FileMissing, QStringLiteral("%1: nenhum nome de tabela foi informado").arg(objectName()));
    const QString path = filePath();
    // The engine names only the file; the clerk needs to know where it was looked for.
    if (!QFileInfo::exists(path))
        throw px::EngineError(Kind::FileMissing,
                              QStringLiteral("Arquivo não encontrado: %1")
                                  .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    m_px = std::make_unique<px::Table>(path, m_exclusive ? px::Table::Mode::Exclusive : px::Table::Mode::Shared);
    try {
        const QVector<px::FieldDef> &defs = m_px->fields();
        QVector<int> indices;
        for (Field *f : std::as_const(m_fields)) {
            const int i = m_px->fieldIndex(f->fieldName());
            if (i < 0)
                throw px::EngineError(Kind::Damaged,
                                      QStringLiteral("%1: campo '%2' não encontrado").arg(path, f->fieldName()));
            const px::FieldDef &d = defs.at(i);
            if (d.type != f->dataType())
                throw px::EngineError(Kind::Damaged,
                                      QStringLiteral("%1: campo '%2' é do tipo %3, esperado %4")
                                          .arg(path, f->fieldName(), px::fieldTypeLetter(d.type),
                                               px::fieldTypeLetter(f->dataType())));
            if (d.type == px::FieldType::Alpha && d.size != f->size())
                throw px::EngineError(Kind::Damaged,
                                      QStringLiteral("%1: campo '%2' tem tamanho %3, esperado %4")
                                          .arg(path, f->fieldName())
                                          .arg(d.size)
                                          .arg(f->size()));
            indices.append(i);
        }
        Cursor c = load(m_px->first());
        c.bof = true;
        c.eof = !c.pos;

        m_openPath = path;
        if (m_fields.isEmpty()) {
            for (const px::FieldDef &d : defs) {
                auto *f = new Field(this, d.name, d.type, d.size);
                f->setObjectName(objectName() + d.name);
                indices.append(int(indices.size()));
            }
            m_dynamicFields = true;
        }
        for (int k = 0; k < m_fields.size(); ++k)
            m_fields[k]->m_index = indices.at(k);
        m_cur = std::move(c);
        m_saved = {};
    } catch (...) {
        m_px.reset();
        throw;
    }
    setState(State::Browse);
    emit dataSetChanged();
    emit recordChanged();
}

void Table::close()
{
    if (!isActive())
        return;
    m_px.reset();
    m_openPath.clear();
    for (Field *f : std::as_const(m_fields))
        f->m_index = -1;
    dropDynamicFields();
    m_cur = {};
    m_saved = {};
    setState(State::Inactive);
    emit dataSetChanged();
    emit recordChanged();
}

void Table::insert()
{
    checkBrowse();
    m_saved = m_cur;
    Cursor c;
    c.values = blankValues();
    c.bof = c.eof = false;
    m_cur = std::move(c);
    setState(State::Insert);
    emit recordChanged();
}

void Table::edit()
{
    checkActive();
    if (isEditing())
        return;
    if (!m_cur.pos) {
        insert();
        return;
    }
    if (m_cur.stale)
        reloadCurrent();
    m_saved = m_cur;
    setState(State::Edit);
}

void Table::post()
{
    checkActive();
    if (!isEditing())
        return;
    const QList<QPointer<DataSource>> sources = m_sources;
    for (const QPointer<DataSource> &s : sources)
        if (s)
            s->updateData();

    if (m_beforeChange)
        m_beforeChange(*m_px);
    const px::RecordPos pos = m_state == State::Insert
                                  ? m_px->append(m_cur.values)
                                  : m_px->update(*m_cur.pos, m_cur.raw, m_cur.values);
    // Written: whatever follows, the table is back in browse state on that record.
    Cursor written;
    written.pos = pos;
    written.values = m_cur.values;
    written.bof = written.eof = false;
    written.stale = true;
    m_cur = std::move(written);
    m_saved = {};
    setState(State::Browse);
    try {
        reloadCurrent();
    } catch (...) {
        emit dataSetChanged();
        emit recordChanged();
        throw;
    }
    emit dataSetChanged();
    emit recordChanged();
}

void Table::cancel()
{
    checkActive();
    if (!isEditing())
        return;
    m_cur = std::exchange(m_saved, {});
    // Read again: another program may have changed the record meanwhile (that is why a post
    // may have failed), and the windows must show what the file holds.
    if (m_cur.pos) {
        try {
            reloadCurrent();
        } catch (const DataError &) {
            m_cur.stale = true;  // read again before it is written or deleted
        }
    }
    setState(State::Browse);
    emit recordChanged();
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (!m_cur.pos)
        stateError(QStringLiteral("a tabela está vazia"));
    if (m_cur.stale)
        reloadCurrent();
    const bool wasLast = !m_px->next(*m_cur.pos);
    if (m_beforeChange)
        m_beforeChange(*m_px);
    const std::optional<px::RecordPos> after = m_px->remove(*m_cur.pos, m_cur.raw);
    m_saved = {};
    setState(State::Browse);
    Cursor c;
    try {
        c = load(after);
    } catch (...) {
        c = {};
        c.pos = after;
        c.values = blankValues();
        c.stale = true;
        c.bof = c.eof = false;
        m_cur = std::move(c);
        emit dataSetChanged();
        emit recordChanged();
        throw;
    }
    c.eof = wasLast || !c.pos;
    c.bof = !c.pos;
    m_cur = std::move(c);
    emit dataSetChanged();
    emit recordChanged();
}

void Table::first()
{
    checkBrowse();
    Cursor c = load(m_px->first());
    c.bof = true;
    c.eof = !c.pos;
    setCursor(std::move(c));
}

void Table::last()
{
    checkBrowse();
    Cursor c = load(m_px->last());
    c.eof = true;
    c.bof = !c.pos;
    setCursor(std::move(c));
}

void Table::next()
{
    checkBrowse();
    const std::optional<px::RecordPos> n = m_cur.pos ? m_px->next(*m_cur.pos) : std::nullopt;
    if (!n) {
        m_cur.eof = true;
        return;
    }
    setCursor(load(n));
}

void Table::prior()
{
    checkBrowse();
    const std::optional<px::RecordPos> p = m_cur.pos ? m_px->prior(*m_cur.pos) : std::nullopt;
    if (!p) {
        m_cur.bof = true;
        return;
    }
    setCursor(load(p));
}

bool Table::isEmpty() const
{
    return recordCount() == 0;
}

quint32 Table::recordCount() const
{
    checkActive();
    return m_px->recordCount();
}

bool Table::locate(QStringView fieldName, const QString &value)
{
    checkBrowse();
    const Field *f = fieldByName(fieldName);
    const int index = f->m_index;
    std::optional<px::RecordPos> found;
    m_px->scan([&](px::RecordPos pos, const char *raw) {
        const px::Value v = m_px->decode(raw, index);
        const QString *text = std::get_if<QString>(&v);
        const bool match = text ? *text == value
                                : (px::isNull(v) ? value.isEmpty() : f->textOf(v) == value);
        if (match)
            found = pos;
        return !match;
    });
    if (!found)
        return false;
    setCursor(load(found));
    return true;
}

std::optional<quint32> Table::findText(QStringView fieldName, quint32 from,
                                       const std::function<bool(QStringView text)> &match) const
{
    checkBrowse();
    const Field *f = fieldByName(fieldName);
    const int index = f->m_index;
    std::optional<quint32> found;
    quint32 ordinal = 0;
    m_px->scan([&](px::RecordPos, const char *raw) {
        if (ordinal++ < from)
            return true;
        const px::Value v = m_px->decode(raw, index);
        const QString *text = std::get_if<QString>(&v);
        const bool hit = text ? match(*text) : match(px::isNull(v) ? QString() : f->textOf(v));
        if (hit)
            found = ordinal - 1;
        return !hit;
    });
    return found;
}

qint64 Table::recNo() const
{
    if (!isActive() || m_state == State::Insert || !m_cur.pos)
        return -1;
    return m_px->ordinalOf(*m_cur.pos);
}

bool Table::currentRecordGone()
{
    if (m_state != State::Browse || !m_cur.pos)
        return false;
    if (m_px->ordinalOf(*m_cur.pos) < 0)
        return true;
    // A record read back after our own write that failed to reload is compared as it is now.
    if (m_cur.stale)
        reloadCurrent();
    return m_px->readRaw(*m_cur.pos) != m_cur.raw;
}

void Table::resync()
{
    checkBrowse();
    std::optional<px::RecordPos> pos = m_cur.pos;
    if (!pos || m_px->ordinalOf(*pos) < 0)
        pos = m_px->last();
    Cursor c = load(pos);
    c.bof = !pos || m_px->ordinalOf(*pos) == 0;
    c.eof = !pos || !m_px->next(*pos);
    m_cur = std::move(c);
    emit dataSetChanged();
    emit recordChanged();
}

bool Table::moveTo(quint32 ordinal)
{
    checkBrowse();
    const std::optional<px::RecordPos> p = m_px->at(ordinal);
    if (!p)
        return false;
    Cursor c = load(p);
    c.bof = ordinal == 0;
    setCursor(std::move(c));
    return true;
}

px::Value Table::valueAt(quint32 ordinal, const Field *field) const
{
    if (!isActive() || !field || field->table() != this || field->m_index < 0)
        return {};
    if (m_state == State::Edit && recNo() == qint64(ordinal))
        return bufferValue(field->m_index);
    const std::optional<px::RecordPos> p = m_px->at(ordinal);
    if (!p)
        return {};
    return m_px->decode(m_px->readRaw(*p), field->m_index);
}

QString Table::displayTextAt(quint32 ordinal, const Field *field) const
{
    return field ? field->displayTextOf(valueAt(ordinal, field)) : QString();
}

QStringList Table::displayTextsAt(quint32 ordinal, const QList<Field *> &fields) const
{
    QStringList out;
    out.reserve(fields.size());
    if (!isActive()) {
        for (int i = 0; i < fields.size(); ++i)
            out.append(QString());
        return out;
    }
    const bool fromBuffer = m_state == State::Edit && recNo() == qint64(ordinal);
    std::optional<px::RecordPos> p;
    QByteArray raw;
    if (!fromBuffer) {
        p = m_px->at(ordinal);
        if (p)
            raw = m_px->readRaw(*p);
    }
    for (const Field *f : fields) {
        px::Value v;
        if (f && f->table() == this && f->m_index >= 0) {
            if (fromBuffer)
                v = bufferValue(f->m_index);
            else if (p)
                v = m_px->decode(raw, f->m_index);
        }
        out.append(f ? f->displayTextOf(v) : QString());
    }
    return out;
}

QList<QStringList> Table::displayTextsRange(quint32 first, quint32 count, const QList<Field *> &fields) const
{
    QList<QStringList> out;
    if (!isActive())
        return out;
    const QList<QByteArray> raws = m_px->readRawRange(first, count);
    const qint64 editing = m_state == State::Edit ? recNo() : -1;
    out.reserve(raws.size());
    for (qsizetype r = 0; r < raws.size(); ++r) {
        const bool fromBuffer = editing == qint64(first) + r;
        QStringList texts;
        texts.reserve(fields.size());
        for (const Field *f : fields) {
            px::Value v;
            if (f && f->table() == this && f->m_index >= 0)
                v = fromBuffer ? bufferValue(f->m_index) : m_px->decode(raws.at(r), f->m_index);
            texts.append(f ? f->displayTextOf(v) : QString());
        }
        out.append(texts);
    }
    return out;
}

void Table::scanStored(const std::function<bool(quint32 ordinal, const char *raw)> &fn) const
{
    checkActive();
    quint32 ordinal = 0;
    m_px->scan([&](px::RecordPos, const char *raw) { return fn(ordinal++, raw); });
}

quint32 Table::scanStored(quint32 first, quint32 count,
                          const std::function<void(quint32 ordinal, const char *raw)> &fn) const
{
    checkActive();
    const QList<QByteArray> raws = m_px->readRawRange(first, count);
    for (qsizetype i = 0; i < raws.size(); ++i)
        fn(first + quint32(i), raws.at(i).constData());
    return quint32(raws.size());
}

std::pair<int, int> Table::storedSpan(const Field *field) const
{
    if (!isActive() || !field || field->table() != this || field->m_index < 0)
        return {0, 0};
    const QVector<px::FieldDef> &defs = m_px->fields();
    int offset = 0;
    for (int i = 0; i < field->m_index; ++i)
        offset += defs.at(i).storageSize();
    return {offset, defs.at(field->m_index).storageSize()};
}

px::Value Table::storedValue(const char *raw, const Field *field) const
{
    if (!isActive() || !field || field->table() != this || field->m_index < 0)
        return {};
    return m_px->decode(raw, field->m_index);
}

void Table::emptyTable(const QString &directory, const QString &tableName)
{
    px::Table::emptyTable(resolvePath(directory, tableName));
}

void Table::emptyTable()
{
    if (!isActive()) {
        emptyTable(m_directory, m_tableName);
        return;
    }
    checkBrowse();
    if (m_beforeChange)
        m_beforeChange(*m_px);
    m_px->emptyAll();
    Cursor c;
    c.values = blankValues();
    m_cur = std::move(c);
    emit dataSetChanged();
    emit recordChanged();
}
