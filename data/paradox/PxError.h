#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one family of errors that ends a user's action and reaches the standard error box.
// Engine failures and conversion failures both derive from it.
class DataError : public std::exception
{
public:
    explicit DataError(QString message);
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

namespace px {

// The Portuguese text of an errno value, for messages the user reads.
QString errnoText(int errnoValue);

// Failures of the table engine. Every message names the file it is about.
class EngineError : public DataError
{
public:
    enum class Kind {
        FileMissing,  // the .DB does not exist
        MemoMissing,  // the .DB exists, its .MB does not
        InUse,        // locked by another program
        Damaged,      // not a Paradox table, or damaged
        Unsupported,  // a genuine table of a kind this engine does not handle or write
        WriteFailed,  // an I/O error while writing
        DiskFull,     // no space left on the medium
        BadText,      // text the table's code page cannot hold
        Conflict,     // the record was changed or removed by another program
        Exists,       // creating over an existing file
        State,        // an operation that the table's state does not allow
    };

    EngineError(Kind kind, QString message) : DataError(std::move(message)), m_kind(kind) {}
    Kind kind() const { return m_kind; }

    static EngineError fileMissing(const QString &path);
    static EngineError memoMissing(const QString &path);
    static EngineError inUse(const QString &path);
    static EngineError damaged(const QString &path, const QString &reason);
    // The memo file of a table is damaged (Kind::Damaged; the message names the .MB as such).
    static EngineError memoDamaged(const QString &mbPath, const QString &reason);
    static EngineError unsupported(const QString &path, const QString &reason);
    // errnoValue picks "medium full" for ENOSPC/EDQUOT, "write failed" otherwise.
    static EngineError writeFailed(const QString &path, int errnoValue);
    static EngineError readFailed(const QString &path, int errnoValue);
    static EngineError badText(const QString &path, const QString &field);
    static EngineError conflict(const QString &path);
    static EngineError exists(const QString &path);
    // A folder, FIFO or device where a table file was expected (Kind::Unsupported).
    static EngineError notRegular(const QString &path, unsigned mode);
    // The open file is no longer the one at its path (Kind::WriteFailed).
    static EngineError vanished(const QString &path);

private:
    Kind m_kind;
};

} // namespace px
