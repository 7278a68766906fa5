#pragma once

#include "Table.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

// Links a table to the controls bound to it. Automatic editing is off: nothing a bound
// control does puts the table into edit state; only the windows' explicit insert and edit do.
// Slots on these signals must not throw.
class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr);
    ~DataSource() override;

    Table *dataSet() const { return m_table; }
    void setDataSet(Table *table);

    bool autoEdit() const { return false; }
    // Inactive when no table is linked.
    Table::State state() const;
    // True in edit and insert state: bound controls accept typing only then.
    bool isEditing() const;

    // A bound control registers how it writes its text into its field. The table runs every
    // writer before it posts, so a field still being typed in reaches the record; a writer
    // may throw (a number that does not convert) and the post then stops. The writer goes
    // away with its control.
    void addDataWriter(QObject *control, std::function<void()> writer);
    void removeDataWriter(QObject *control);
    // Runs the writers in the order they came.
    void updateData();

signals:
    void stateChanged(Table::State state);
    // The cursor moved or the current record's buffer was reloaded.
    void recordChanged();
    // Records were added, removed or rewritten, or the table opened or closed: grids reread.
    void dataSetChanged();
    // One field of the current record's buffer changed.
    void fieldChanged(Field *field);

private:
    struct Writer
    {
        QPointer<QObject> control;
        std::function<void()> fn;
    };
    QPointer<Table> m_table;
    QList<Writer> m_writers;
};
