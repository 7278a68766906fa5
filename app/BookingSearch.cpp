#include "BookingSearch.h"

#include "Table.h"

#include <array>

namespace procura {

namespace {

QChar foldSlow(QChar c)
{
    const QString base = QString(c).normalized(QString::NormalizationForm_D);
    const QString folded = (base.isEmpty() ? QString(c) : base.left(1)).toCaseFolded();
    return folded.size() == 1 ? folded.at(0) : c;
}

// Every text a register holds comes from a Western code page, so a table for the first
// 0x250 characters serves all of them without normalising per record.
QChar fold(QChar c)
{
    static const auto table = [] {
        std::array<char16_t, 0x250> t{};
        for (char16_t u = 0; u < t.size(); ++u)
            t[u] = foldSlow(QChar(u)).unicode();
        return t;
    }();
    return c.unicode() < table.size() ? QChar(table[c.unicode()]) : foldSlow(c);
}

} // namespace

QString foldForSearch(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = fold(text.at(i));
    return out;
}

bool startsWithFolded(QStringView value, QStringView foldedPrefix)
{
    if (value.size() < foldedPrefix.size())
        return false;
    for (qsizetype i = 0; i < foldedPrefix.size(); ++i)
        if (fold(value.at(i)) != foldedPrefix.at(i))
            return false;
    return true;
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
