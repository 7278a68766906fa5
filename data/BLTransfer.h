#pragma once

// Copying a B/L from the local register into a transfer file, and pointing the transfer
// table at a chosen file. Plain rules over the table objects, used by the transfer windows.

#include <QList>
#include <QString>

class Table;

namespace bltransfer {

enum class CopyKind { Text, Date, Number };

struct FieldPair
{
    QString from;  // the register's field
    QString to;    // the transfer table's field
    CopyKind kind;
};

// The 32 pairs in the order the fields are set, from the record's one field list.
QList<FieldPair> mapping();

// Inserts a record into `to`, sets its fields from the current record of `from` by the
// mapping and posts it; the new record becomes current. A blank number arrives as 0, a blank
// date stays blank. If any step fails, the insertion is dropped (the file is unchanged) and
// the error goes on to the caller.
void copyCurrent(Table &from, Table &to);

// Points a closed-or-open table at a file as the chooser does: closes it, directory = the
// file's absolute directory with a trailing separator, table name = tableName, type Paradox,
// exclusive use on. Nothing is opened.
void pointAt(Table &table, const QString &directory, const QString &tableName);
// The same from a full file name, keeping its name part exactly as given.
void pointAt(Table &table, const QString &fileName);

} // namespace bltransfer
