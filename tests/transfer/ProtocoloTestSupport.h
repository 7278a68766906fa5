#pragma once

// Transfer files for the delivery receipt's tests. Header-only.

#include "BLRecord.h"
#include "PxTable.h"

#include <QStringList>

namespace receipttest {

// A transfer table pair at path, one record per booking number; record i loads at cities[i].
inline void makeTransfer(const QString &path, const QStringList &bookings, const QStringList &cities = {})
{
    const QVector<px::FieldDef> defs = blrecord::transferFields();
    px::Table::create(path, defs);
    px::Table t(path);
    for (qsizetype r = 0; r < bookings.size(); ++r) {
        QVector<px::Value> values(defs.size());
        for (int i = 0; i < defs.size(); ++i) {
            if (defs.at(i).name.compare(QLatin1String("Di_Agentref"), Qt::CaseInsensitive) == 0)
                values[i] = bookings.at(r);
            else if (defs.at(i).name.compare(QLatin1String("Di_LocalLoading"), Qt::CaseInsensitive) == 0)
                values[i] = cities.value(r);
        }
        t.append(values);
    }
}

// count booking numbers of a usual length: "SSZ0000001", ...
inline QStringList bookingRun(int count)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out.append(QStringLiteral("SSZ%1").arg(i, 7, 10, QLatin1Char('0')));
    return out;
}

} // namespace receipttest
