#include "BLTransfer.h"

#include "BLRecord.h"
#include "Table.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace bltransfer {

QList<FieldPair> mapping()
{
    QList<FieldPair> pairs(std::size(blrecord::Fields));
    for (const blrecord::FieldSpec &f : blrecord::Fields) {
        const CopyKind kind = f.type == px::FieldType::Date     ? CopyKind::Date
                              : f.type == px::FieldType::Number ? CopyKind::Number
                                                                : CopyKind::Text;
        pairs[f.copyOrder] = {blrecord::registerName(f), blrecord::transferName(f), kind};
    }
    return pairs;
}

void copyCurrent(Table &from, Table &to)
{
    // Read everything first: a field missing on either side fails before the insert.
    struct Pending
    {
        Field *dst;
        CopyKind kind;
        QString text;
        QDate date;
        double number = 0;
    };
    std::vector<Pending> values;
    const QList<FieldPair> pairs = mapping();
    values.reserve(pairs.size());
    for (const FieldPair &pair : pairs) {
        Field *src = from.fieldByName(pair.from);
        Pending p{to.fieldByName(pair.to), pair.kind, {}, {}, 0};
        switch (pair.kind) {
        case CopyKind::Text: p.text = src->asString(); break;
        case CopyKind::Date: p.date = src->asDate(); break;
        case CopyKind::Number: p.number = src->asFloat(); break;
        }
        values.push_back(std::move(p));
    }
    to.insert();
    try {
        for (const Pending &p : values) {
            switch (p.kind) {
            case CopyKind::Text: p.dst->setAsString(p.text); break;
            case CopyKind::Date: p.dst->setAsDate(p.date); break;
            case CopyKind::Number: p.dst->setAsFloat(p.number); break;
            }
        }
        to.post();
    } catch (...) {
        // Back to browse state on the record that was current; nothing reached the file.
        if (to.state() == Table::State::Insert)
            to.cancel();
        throw;
    }
}

void pointAt(Table &table, const QString &directory, const QString &tableName)
{
    table.close();
    QString dir = QDir::cleanPath(QDir(directory).absolutePath());
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    table.setDirectory(dir);
    table.setTableName(tableName);
    table.setTableType(Table::TableType::Paradox);
    table.setExclusive(true);
}

void pointAt(Table &table, const QString &fileName)
{
    const QFileInfo info(fileName);
    pointAt(table, info.absolutePath(), info.fileName());
}

} // namespace bltransfer
