#pragma once

#include "Field.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class DataSource;

// A cursor over one Paradox table pair: the table object the windows work with. It has one
// current record in the table's natural order and a record buffer that the fields read and
// write. Every failure is a DataError (engine errors are px::EngineError) and leaves the table
// in the state it had. Every move and change is signalled to the linked data sources.
class Table : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)
    // Default takes the kind from the extension; both kinds are Paradox here, and a table
    // name without extension gets ".DB".
    enum class TableType { Default, Paradox };
    Q_ENUM(TableType)

    explicit Table(QObject *parent = nullptr);
    ~Table() override;

    // Where the table is. Set only while the table is closed.
    const QString &directory() const { return m_directory; }
    void setDirectory(const QString &directory);  // empty: the current directory at open
    const QString &tableName() const { return m_tableName; }
    void setTableName(const QString &name);
    TableType tableType() const { return m_type; }
    void setTableType(TableType type);
    bool exclusive() const { return m_exclusive; }
    void setExclusive(bool on);
    // The .DB file that opening would use (or uses, while open).
    QString filePath() const;
    static QString resolvePath(const QString &directory, const QString &tableName);

    // Opening lands on the first record. A missing or locked file fails with the engine's
    // error; so does a file that lacks one of the persistent fields or holds it in another
    // kind. Opening an open table does nothing.
    void open();
    // Drops pending changes, as closing always has. Closing a closed table does nothing.
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }

    // The fields: persistent ones when the table has any, else one per file field while open.
    const QList<Field *> &fields() const { return m_fields; }
    // Names match without regard to case; nullptr when there is none.
    Field *findField(QStringView name) const;
    // As findField(), but throws DataError when there is none.
    Field *fieldByName(QStringView name) const;

    // A blank record becomes current, state insert. Refused while editing.
    void insert();
    // Edit state on the current record; on an empty table an insertion starts instead.
    // Nothing happens while already editing.
    void edit();
    // Lets the data sources write their controls' text, writes the record (appended when
    // inserted, rewritten in place when edited), returns to browse state with the written
    // record current. Nothing happens in browse state.
    void post();
    // Drops the changes or the new record; the record current before is current again.
    void cancel();
    // Removes the current record; the next one becomes current, or the new last one. In
    // insert state it only drops the new record. Refused on an empty table.
    void deleteRecord();

    // Natural order. Moves are refused while editing: post or cancel first.
    void first();
    void last();
    void next();   // on the last record: stays, and eof() turns true
    void prior();  // on the first record: stays, and bof() turns true
    bool eof() const { return m_cur.eof; }
    bool bof() const { return m_cur.bof; }
    bool isEmpty() const;
    quint32 recordCount() const;

    // Exact, case-sensitive comparison of the field's text with value (an empty field has
    // empty text); the first match in natural order becomes current and true is returned.
    // Otherwise the cursor stays and false is returned.
    bool locate(QStringView fieldName, const QString &value);
    // The ordinal of the first record at or after from, in natural order, whose field text
    // satisfies match (an empty field has empty text); nullopt when none does. The cursor stays.
    std::optional<quint32> findText(QStringView fieldName, quint32 from,
                                    const std::function<bool(QStringView text)> &match) const;

    // For grids that read only the rows they show. The current record's ordinal (0-based), or
    // -1 when there is none (an empty table, or a new record not yet posted).
    qint64 recNo() const;
    // True when the cursor stands on a record in browse state that the file no longer holds as
    // it was read: another program sharing the table deleted it, or wrote another record in
    // its place. Reads that record's bytes again.
    bool currentRecordGone();
    // Shows the table as the file holds it now: the record now at the current one's place
    // becomes current, else the last one, and the data sources read every row again.
    void resync();
    // Makes the record at ordinal current; false (and the cursor stays) when there is none.
    bool moveTo(quint32 ordinal);
    // A field of the record at ordinal without moving the cursor; empty past the end. The
    // current record in edit state shows its buffer.
    px::Value valueAt(quint32 ordinal, const Field *field) const;
    QString displayTextAt(quint32 ordinal, const Field *field) const;
    // Several fields of one record, read once.
    QStringList displayTextsAt(quint32 ordinal, const QList<Field *> &fields) const;
    // The same for the records first .. first + count - 1 (fewer past the end), read in one go.
    QList<QStringList> displayTextsRange(quint32 first, quint32 count, const QList<Field *> &fields) const;

    // For summaries of the whole table that must not decode every field of every record:
    // calls fn with each stored record's bytes and ordinal, in natural order, until fn
    // returns false. Works in every open state; a record being typed is not stored yet and is
    // not seen. The bytes are valid during the call only.
    void scanStored(const std::function<bool(quint32 ordinal, const char *raw)> &fn) const;
    // The same for the records first .. first + count - 1 only (fewer past the end), read in
    // one go; returns how many there were.
    quint32 scanStored(quint32 first, quint32 count,
                       const std::function<void(quint32 ordinal, const char *raw)> &fn) const;
    // Where a bound field's bytes lie in a stored record: offset and length (0, 0 when the
    // field is not bound). A text field holds its bytes up to the first zero byte.
    std::pair<int, int> storedSpan(const Field *field) const;
    // A field's value in stored bytes that scanStored() handed out.
    px::Value storedValue(const char *raw, const Field *field) const;

    // Removes all records of the closed table given by directory and name; the structure stays.
    static void emptyTable(const QString &directory, const QString &tableName);
    // The same for this table; while it is open, it empties the open file.
    void emptyTable();

    // The engine's table while open (for tools and tests), else nullptr.
    px::Table *engine() const { return m_px.get(); }

    // Runs before each post, delete and emptying of the open table reaches its file (the
    // register's daily safety copy). It must not throw: the change goes on after it.
    void setBeforeChange(std::function<void(px::Table &)> hook) { m_beforeChange = std::move(hook); }

signals:
    void stateChanged(Table::State state);
    void recordChanged();
    void dataSetChanged();
    void fieldChanged(Field *field);

private:
    friend class Field;
    friend class DataSource;

    struct Cursor
    {
        std::optional<px::RecordPos> pos;
        QByteArray raw;              // the record as read, to find it again when writing
        QVector<px::Value> values;   // the buffer, one value per field of the file
        bool bof = true;
        bool eof = true;
        bool stale = false;          // raw/values failed to reload after a write
    };

    void checkInactive(const char *what) const;
    void checkActive() const;
    void checkBrowse() const;
    [[noreturn]] void stateError(const QString &what) const;
    Cursor load(std::optional<px::RecordPos> pos) const;
    void reloadCurrent();
    void setCursor(Cursor cursor);
    void checkEditing() const;
    QString label() const;
    QVector<px::Value> blankValues() const;
    px::Value bufferValue(int index) const;
    void setBufferValue(Field *field, const px::Value &value);
    void addField(Field *field);
    void removeField(Field *field);
    void addSource(DataSource *source);
    void removeSource(DataSource *source);
    void setState(State state);
    void dropDynamicFields();

    QString m_directory;
    QString m_tableName;
    TableType m_type = TableType::Default;
    bool m_exclusive = false;
    State m_state = State::Inactive;

    std::unique_ptr<px::Table> m_px;
    QString m_openPath;
    QList<Field *> m_fields;
    bool m_dynamicFields = false;
    QList<QPointer<DataSource>> m_sources;
    Cursor m_cur;
    Cursor m_saved;  // what cancel goes back to
    std::function<void(px::Table &)> m_beforeChange;
};
