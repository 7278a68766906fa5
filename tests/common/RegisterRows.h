#pragma once

// A local register made in a test's folder from rows given by field name; fields left out
// stay empty. Header-only, for the window tests.

#include "BLRecord.h"
#include "PxTable.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

namespace testregister {

using Row = QHash<QString, px::Value>;

inline QString registerPath(const QString &dir)
{
    return QDir(dir).filePath(QString::fromLatin1(blrecord::RegisterFile));
}

inline void makeRegister(const QString &dir, const QList<Row> &rows)
{
    const QString path = registerPath(dir);
    const QVector<px::FieldDef> defs = blrecord::registerFields();
    px::Table::create(path, defs);
    px::Table t(path);
    for (const Row &r : rows) {
        QVector<px::Value> values(defs.size());
        for (int i = 0; i < defs.size(); ++i)
            values[i] = r.value(defs.at(i).name);
        t.append(values);
    }
}

} // namespace testregister
