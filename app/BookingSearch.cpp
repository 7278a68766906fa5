#include "BookingSearch.h"

#include "Table.h"
#include "TextFold.h"

namespace procura {

QString foldForSearch(QStringView text)
{
    return textfold::folded(text);
}

bool startsWithFolded(QStringView value, QStringView foldedPrefix)
{
    return textfold::startsWithFolded(value, foldedPrefix);
}

BookingSearch::BookingSearch(Table *table, QString fieldName) : m_table(table), m_field(std::move(fieldName)) {}

void BookingSearch::type(const QString &typed, qint64 nowMs)
{
    if (typed.isEmpty())
        return;
    if (nowMs - m_last >= PauseMs)
        m_text.clear();
    m_last = nowMs;
    m_text += typed;
    search(0, false);
}

bool BookingSearch::backspace(qint64 nowMs)
{
    if (m_text.isEmpty() || nowMs - m_last >= PauseMs) {
        clear();
        return false;
    }
    m_last = nowMs;
    m_text.chop(1);
    if (m_text.isEmpty())
        m_failed = false;
    else
        search(0, false);
    return true;
}

void BookingSearch::clear()
{
    m_text.clear();
    m_failed = false;
}

void BookingSearch::next(qint64 nowMs)
{
    if (m_text.isEmpty())
        return;
    m_last = nowMs;
    const qint64 current = m_table->recNo();
    search(current < 0 ? 0 : quint32(current + 1), true);
}

void BookingSearch::search(quint32 from, bool wrap)
{
    const QString prefix = foldForSearch(m_text);
    auto match = [&](QStringView value) { return startsWithFolded(value, prefix); };
    std::optional<quint32> found = m_table->findText(m_field, from, match);
    if (!found && wrap && from > 0)
        found = m_table->findText(m_field, 0, match);
    m_failed = !found;
    if (found)
        m_table->moveTo(*found);
}

} // namespace procura
