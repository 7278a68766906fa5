#pragma once

// The register's daily safety copies. Before the program's first change of a day the register
// pair is copied into the folder "Cópias de segurança" beside it, as BASE-AAAA-MM-DD.DB and
// .MB. The copy is read under the engine's read lock (one consistent state while another
// process writes), written under a temporary name, flushed, checked by the engine's validator
// and only then renamed into place; the newest ten are kept. Support staff list the copies
// and put one back with bl-tool. QtCore only.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace px {
class Table;
}

namespace safetycopy {

inline constexpr int KeptCopies = 10;

// "Cópias de segurança" beside the register.
QString folderOf(const QString &registerDb);
// The day's copy: BASE-AAAA-MM-DD.DB in that folder (BASE is the register's name without .DB).
QString dailyPath(const QString &registerDb, QDate day);
// The memo file of a copy: the same name with .MB.
QString memoOf(const QString &copyDb);

struct Copy
{
    QDate day;
    QString db;
};
// The daily copies in the folder, newest first (by the date in their names).
QVector<Copy> dailyCopies(const QString &registerDb);

struct Check
{
    bool sound = false;
    quint32 records = 0;
    QString problem;  // the first one, when not sound
};
// The engine's validator over a copy, opened read-only.
Check checkCopy(const QString &copyDb);

struct Outcome
{
    enum class Result { Made, Existed, Failed };
    Result result = Result::Failed;
    QString copyDb;       // the day's copy, made or found
    QString reason;       // why it failed
    QStringList removed;  // older copies removed to keep the newest ten
};
// The day's copy of the open register, unless one exists. Never throws; nothing half-written
// stays in the folder, and a register that fails validation is not copied.
Outcome makeDaily(px::Table &source, QDate day);

// Puts the day's copy in place of the register, first keeping the current pair in the folder
// as BASE-antes-da-restauracao-AAAA-MM-DD-HHMMSS.DB/.MB (stamped with now). Refused, with
// nothing changed, while anybody has the register open, or when the copy fails validation.
// Works also when the register is damaged or missing. Throws DataError; returns the kept
// pair's .DB, empty when there was no register.
QString restore(const QString &registerDb, QDate day, const QDateTime &now);

// What the clerk reads when the day's copy could not be made.
QString failureMessage(const QString &reason);

// The program's side: a copy before the first change of each day. The data module calls
// beforeChange() before each post, delete and emptying of the register.
class DailySafetyCopy
{
public:
    using Clock = std::function<QDate()>;
    using Notice = std::function<void(const QString &message)>;

    // Today's date; the local calendar date unless set.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Told once a day when the copy cannot be made.
    void setNotice(Notice notice) { m_notice = std::move(notice); }

    // Makes today's copy unless this day is settled (copy made, found, or failed and told);
    // later changes of the day pay nothing but a date comparison. Never throws: the change
    // goes on whatever happens here.
    void beforeChange(px::Table &registerTable) noexcept;

    // What the last attempt gave (Existed before any).
    const Outcome &lastOutcome() const { return m_last; }

private:
    Clock m_clock;
    Notice m_notice;
    QDate m_settledDay;
    QString m_settledPath;
    Outcome m_last{Outcome::Result::Existed, {}, {}, {}};
};

} // namespace safetycopy
