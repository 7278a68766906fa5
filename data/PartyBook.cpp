#include "PartyBook.h"

#include "Field.h"
#include "TextFold.h"
#include "paradox/PxCodePage.h"
#include "paradox/PxTable.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

constexpr int PartyLines = 5;
// Records read per pass of the event loop: about a millisecond's work.
constexpr quint32 SliceRecords = 2000;

// The stored bytes of one text field: up to the first zero byte.
qsizetype storedLength(const char *bytes, int size)
{
    const void *nul = std::memchr(bytes, 0, size_t(size));
    return nul ? static_cast<const char *>(nul) - bytes : size;
}

// A hash of the lines' bytes, fed one line at a time, a word at a time: reading the register
// hashes every record's lines, so this has to be cheap.
constexpr quint64 HashSeed = 0x9E3779B97F4A7C15ull;

quint64 mixLine(quint64 h, const char *p, qsizetype n)
{
    constexpr quint64 k = 0xFF51AFD7ED558CCDull;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * k;
        h ^= h >> 29;
    }
    quint64 tail = 0;
    std::memcpy(&tail, p + i, size_t(n - i));
    h = (h ^ tail ^ (quint64(n) << 56)) * k;
    return h ^ (h >> 32);
}

// The same hash for a key made of lines each ended by a zero byte.
quint64 keyHash(const QByteArray &key)
{
    quint64 h = HashSeed;
    qsizetype start = 0;
    for (qsizetype i = 0; i < key.size(); ++i)
        if (key.at(i) == '\0') {
            h = mixLine(h, key.constData() + start, i - start);
            start = i + 1;
        }
    return h;
}

} // namespace

int PartyBook::find(const List &l, const QByteArray &key)
{
    for (int i = l.byHash.value(keyHash(key), -1); i >= 0; i = l.entries.at(i).nextSameHash)
        if (l.entries.at(i).key == key)
            return i;
    return -1;
}

void PartyBook::insert(List &l, Entry entry, quint64 hash)
{
    const int index = int(l.entries.size());
    auto it = l.byHash.find(hash);
    if (it == l.byHash.end()) {
        l.byHash.insert(hash, index);
    } else {
        entry.nextSameHash = *it;
        *it = index;
    }
    l.entries.append(std::move(entry));
    l.sorted = false;
}

bool PartyBook::Rank::operator<(const Rank &o) const
{
    return std::tie(session, day, ordinal) < std::tie(o.session, o.day, o.ordinal);
}

QStringList PartyBook::registerPartyGroups()
{
    return {QStringLiteral("Bl_Shipper"), QStringLiteral("Bl_Cnee"), QStringLiteral("Bl_Notify")};
}

QStringList PartyBook::registerValueFields()
{
    return {QStringLiteral("Bl_LocalVessel"),    QStringLiteral("Bl_LocalLoading"),
            QStringLiteral("Bl_PortDischarg"),   QStringLiteral("Bl_FreightPayable"),
            QStringLiteral("Bl_FinalDestination"), QStringLiteral("Bl_Gross2"),
            QStringLiteral("Bl_Gross4"),         QStringLiteral("Bl_Measu2")};
}

PartyBook::PartyBook(Table *table, QObject *parent)
    : PartyBook(table, registerPartyGroups(), registerValueFields(), parent)
{
}

PartyBook::PartyBook(Table *table, const QStringList &partyGroups, const QStringList &valueFields,
                     QObject *parent)
    : QObject(parent), m_table(table)
{
    for (const QString &g : partyGroups) {
        List l;
        l.name = g;
        for (int i = 1; i <= PartyLines; ++i)
            l.fieldNames.append(g + QString::number(i));
        m_lists.append(l);
    }
    for (const QString &f : valueFields) {
        List l;
        l.name = f;
        l.fieldNames = {f};
        m_lists.append(l);
    }
    m_keysBeforeEdit.resize(m_lists.size());
    if (m_table) {
        m_editing = m_table->isEditing();
        connect(m_table, &Table::stateChanged, this, &PartyBook::onStateChanged);
        connect(m_table, &Table::dataSetChanged, this, &PartyBook::onDataSetChanged);
        // A cancel leaves editing with no change of the stored records.
        connect(m_table, &Table::recordChanged, this, [this] { m_leftEditing = false; });
    }
}

PartyBook::~PartyBook() = default;

qsizetype PartyBook::entryCount() const
{
    qsizetype n = 0;
    for (const List &l : m_lists)
        n += l.entries.size();
    return n;
}

PartyBook::List *PartyBook::list(const QString &name)
{
    for (List &l : m_lists)
        if (l.name.compare(name, Qt::CaseInsensitive) == 0)
            return &l;
    return nullptr;
}

QList<QStringList> PartyBook::parties(const QString &group, QStringView prefix, int limit)
{
    QList<QStringList> out;
    List *l = list(group);
    if (!l || prefix.isEmpty() || limit <= 0 || !ensureBuilt())
        return out;
    sort(*l);
    const QString folded = textfold::folded(prefix);
    for (int i : std::as_const(l->order)) {
        const Entry &e = l->entries.at(i);
        if (e.uses > 0 && e.folded.startsWith(folded)) {
            out.append(e.lines);
            if (out.size() >= limit)
                break;
        }
    }
    return out;
}

QStringList PartyBook::values(const QString &fieldName, QStringView prefix, int limit)
{
    QStringList out;
    for (const QStringList &lines : parties(fieldName, prefix, limit))
        out.append(lines.value(0));
    return out;
}

bool PartyBook::ensureBuilt()
{
    if (m_built)
        return true;
    if (m_failed || !m_table || !m_table->isActive())
        return false;
    try {
        if (!m_building) {
            beginBuild();
            m_table->scanStored([this](quint32 ordinal, const char *raw) {
                addRecord(ordinal, raw);
                return true;
            });
        } else {
            // What the background has not read yet.
            while (m_table->scanStored(m_next, SliceRecords,
                                       [this](quint32 ordinal, const char *raw) { addRecord(ordinal, raw); })
                   == SliceRecords) {
            }
        }
    } catch (...) {
        clearEntries();
        m_failed = true;
        throw;
    }
    finishBuild();
    return true;
}

void PartyBook::buildInBackground(int delayMs)
{
    m_background = true;
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(false);
        connect(m_timer, &QTimer::timeout, this, &PartyBook::step);
    }
    m_timer->start(std::max(0, delayMs));
}

void PartyBook::restartBackground()
{
    if (m_background && m_timer && !m_built)
        m_timer->start(0);
}

void PartyBook::step()
{
    // After the first slice, one slice each time the event loop has nothing else to do.
    m_timer->setInterval(0);
    if (m_built || m_failed || !m_table || !m_table->isActive()) {
        m_timer->stop();
        return;
    }
    try {
        if (!m_building)
            beginBuild();
        const quint32 read = m_table->scanStored(
            m_next, SliceRecords, [this](quint32 ordinal, const char *raw) { addRecord(ordinal, raw); });
        if (read < SliceRecords) {
            finishBuild();
            m_timer->stop();
        }
    } catch (...) {
        // Not the clerk's action: the next question reads again and reports what fails.
        clearEntries();
        m_timer->stop();
    }
}

void PartyBook::clearEntries()
{
    for (List &l : m_lists) {
        l.entries.clear();
        l.byHash.clear();
        l.order.clear();
        l.sorted = false;
    }
    m_built = false;
    m_building = false;
    m_next = 0;
}

void PartyBook::beginBuild()
{
    clearEntries();
    // Per list, where its lines lie in a stored record; a list whose fields the table lacks
    // stays empty.
    m_spans = QVector<QVector<Span>>(m_lists.size());
    m_buildFields = QVector<QVector<const Field *>>(m_lists.size());
    for (qsizetype li = 0; li < m_lists.size(); ++li) {
        for (const QString &name : std::as_const(m_lists[li].fieldNames)) {
            const Field *f = m_table->findField(name);
            const auto [offset, size] = m_table->storedSpan(f);
            if (!f || f->dataType() != px::FieldType::Alpha || size <= 0) {
                m_spans[li].clear();
                m_buildFields[li].clear();
                break;
            }
            m_spans[li].append({offset, size});
            m_buildFields[li].append(f);
        }
    }
    const Field *date = m_table->findField(u"Bl_DataRef");
    m_dateField = date && date->dataType() == px::FieldType::Date ? date : nullptr;
    m_building = true;
    m_next = 0;
}

void PartyBook::addRecord(quint32 ordinal, const char *raw)
{
    m_next = ordinal + 1;
    Rank rank;
    rank.ordinal = ordinal;
    if (m_dateField) {
        const px::Value v = m_table->storedValue(raw, m_dateField);
        if (const QDate *d = std::get_if<QDate>(&v))
            rank.day = d->toJulianDay();
    }
    for (qsizetype li = 0; li < m_lists.size(); ++li) {
        const QVector<Span> &sp = m_spans.at(li);
        if (sp.isEmpty() || storedLength(raw + sp[0].offset, sp[0].size) == 0)
            continue;
        qsizetype lengths[PartyLines];
        quint64 h = HashSeed;
        for (qsizetype k = 0; k < sp.size() && k < PartyLines; ++k) {
            lengths[k] = storedLength(raw + sp[k].offset, sp[k].size);
            h = mixLine(h, raw + sp[k].offset, lengths[k]);
        }
        List &l = m_lists[li];
        int found = -1;
        for (int i = l.byHash.value(h, -1); i >= 0 && found < 0; i = l.entries.at(i).nextSameHash) {
            // The same bytes, line by line, each line ended by a zero byte in the key.
            const QByteArray &key = l.entries.at(i).key;
            qsizetype pos = 0;
            bool same = true;
            for (qsizetype k = 0; k < sp.size() && same; ++k) {
                const qsizetype n = lengths[k];
                same = pos + n < key.size() && std::memcmp(key.constData() + pos, raw + sp[k].offset, size_t(n)) == 0
                       && key.at(pos + n) == '\0';
                pos += n + 1;
            }
            if (same && pos == key.size())
                found = i;
        }
        if (found >= 0) {
            Entry &e = l.entries[found];
            ++e.uses;
            if (e.rank < rank)
                e.rank = rank;
            continue;
        }
        Entry e;
        e.rank = rank;
        e.uses = 1;
        for (qsizetype k = 0; k < sp.size(); ++k) {
            e.key.append(raw + sp[k].offset, lengths[k]);
            e.key.append('\0');
        }
        for (const Field *f : m_buildFields.at(li)) {
            const px::Value v = m_table->storedValue(raw, f);
            const QString *text = std::get_if<QString>(&v);
            e.lines.append(text ? *text : QString());
        }
        e.folded = textfold::folded(e.lines.at(0));
        insert(l, std::move(e), h);
    }
}

void PartyBook::finishBuild()
{
    for (List &l : m_lists)
        for (auto it = l.sessionRanks.cbegin(); it != l.sessionRanks.cend(); ++it)
            if (const int found = find(l, it.key()); found >= 0)
                l.entries[found].rank.session = it.value();
    m_building = false;
    m_built = true;
}

void PartyBook::sort(List &l)
{
    if (l.sorted && l.order.size() == l.entries.size())
        return;
    l.order.resize(l.entries.size());
    for (int i = 0; i < l.order.size(); ++i)
        l.order[i] = i;
    std::sort(l.order.begin(), l.order.end(),
              [&](int a, int b) { return l.entries.at(b).rank < l.entries.at(a).rank; });
    l.sorted = true;
}

QStringList PartyBook::currentLines(const List &l) const
{
    QStringList lines;
    for (const QString &name : l.fieldNames) {
        const Field *f = m_table->findField(name);
        lines.append(f ? f->asString() : QString());
    }
    return lines;
}

QByteArray PartyBook::currentKey(const List &l) const
{
    const px::Table *engine = m_table->engine();
    if (!engine)
        return {};
    const QStringList lines = currentLines(l);
    if (lines.value(0).isEmpty())
        return {};
    QByteArray key;
    for (const QString &line : lines) {
        QByteArray bytes;
        if (!px::codepage::encode(engine->info().codePage, line, bytes))
            return {};
        key.append(bytes);
        key.append('\0');
    }
    return key;
}

QVector<QByteArray> PartyBook::currentKeys() const
{
    QVector<QByteArray> keys;
    for (const List &l : m_lists)
        keys.append(currentKey(l));
    return keys;
}

void PartyBook::onStateChanged(Table::State state)
{
    const bool editing = state == Table::State::Edit || state == Table::State::Insert;
    if (state == Table::State::Edit)
        m_keysBeforeEdit = currentKeys();
    else if (state == Table::State::Insert)
        m_keysBeforeEdit = QVector<QByteArray>(m_lists.size());
    // A post signals browse state, then the changed records, then the record.
    m_leftEditing = m_editing && state == Table::State::Browse;
    m_editing = editing;
}

void PartyBook::onDataSetChanged()
{
    const bool posted = std::exchange(m_leftEditing, false);
    m_failed = false;
    // A post keeps built lists, the posted record added; anything else (or a post while a
    // build is under way, whose records may have moved) reads the register again.
    bool keep = posted && m_built;
    if (posted) {
        try {
            notePosted();
        } catch (...) {
            // Signal handlers must not throw.
            keep = false;
        }
    }
    if (!keep) {
        clearEntries();
        restartBackground();
    }
}

void PartyBook::notePosted()
{
    ++m_session;
    const qint64 today = [this] {
        const Field *f = m_table->findField(u"Bl_DataRef");
        const QDate d = f ? f->asDate() : QDate();
        return d.isValid() ? d.toJulianDay() : qint64(0);
    }();
    const qint64 recNo = m_table->recNo();
    for (qsizetype li = 0; li < m_lists.size(); ++li) {
        List &l = m_lists[li];
        const QByteArray before = m_keysBeforeEdit.value(li);
        const QByteArray key = currentKey(l);
        if (before == key && key.isEmpty())
            continue;
        if (!key.isEmpty())
            l.sessionRanks.insert(key, m_session);
        if (!m_built)
            continue;
        if (before != key && !before.isEmpty()) {
            if (const int i = find(l, before); i >= 0)
                l.entries[i].uses = std::max(0, l.entries[i].uses - 1);
        }
        if (key.isEmpty())
            continue;
        Rank rank{m_session, today, recNo < 0 ? 0u : quint32(recNo)};
        if (const int i = find(l, key); i >= 0) {
            Entry &e = l.entries[i];
            if (before != key)
                ++e.uses;
            e.rank = rank;
        } else {
            Entry e;
            e.lines = currentLines(l);
            e.folded = textfold::folded(e.lines.at(0));
            e.rank = rank;
            e.uses = 1;
            e.key = key;
            insert(l, std::move(e), keyHash(key));
        }
        l.sorted = false;
    }
    m_keysBeforeEdit = QVector<QByteArray>(m_lists.size());
}
