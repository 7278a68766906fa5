#pragma once

// Finding a B/L by its booking number while typing in the list: each typed character extends
// a search text, and the first B/L in natural order whose booking number starts with it,
// ignoring case and accents, becomes the register's current record. Backspace shortens the
// text, a pause or Escape clears it, "next" goes on to the following match. When nothing
// matches, the record stays and the search is marked as failed. No window involved.

#include <QString>
#include <QStringView>

class Table;

namespace procura {

// Case and accents dropped, character by character ("Ção" and "cao" fold alike); the length
// stays, so a prefix of the folded text is the folded prefix.
QString foldForSearch(QStringView text);
bool startsWithFolded(QStringView value, QStringView foldedPrefix);

class BookingSearch
{
public:
    static constexpr qint64 PauseMs = 1500;  // a pause this long starts a new search

    explicit BookingSearch(Table *table, QString fieldName = QStringLiteral("Bl_AgentRef"));

    const QString &text() const { return m_text; }
    bool failed() const { return m_failed; }

    // One typed text at time nowMs (a monotonic clock in milliseconds).
    void type(const QString &typed, qint64 nowMs);
    // Drops the last character; the search runs again on what is left. False when the text
    // was already empty.
    bool backspace(qint64 nowMs);
    void clear();
    // The next match after the current record, from the top again past the last one.
    void next(qint64 nowMs);

private:
    void search(quint32 from, bool wrap);

    Table *m_table;
    QString m_field;
    QString m_text;
    bool m_failed = false;
    qint64 m_last = 0;
};

} // namespace procura
