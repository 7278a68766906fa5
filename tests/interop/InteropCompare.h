#pragma once

// Compares what pxlib reads of a table with the values a test wrote into it.

#include "PxTable.h"
#include "PxlibOracle.h"

#include <QFileInfo>
#include <QTest>
#include <QStringList>

namespace interop {

using Rows = QVector<QVector<px::Value>>;

// The .MB beside a .DB, or empty when there is none.
inline QString memoPathOf(const QString &db)
{
    const QString mb = db.left(db.size() - 3) + QStringLiteral(".MB");
    return QFileInfo::exists(mb) ? mb : QString();
}

// Empty when pxlib reads exactly fields and rows from db; otherwise a readable account of
// the first differences.
inline QString pxlibMismatch(const QString &db, const QString &mb, const QVector<px::FieldDef> &fields,
                             const Rows &rows, const QString &workDir)
{
    const oracle::Dump dump = oracle::readTable(db, mb, workDir);
    if (!dump.ok)
        return QStringLiteral("pxlib failed on %1: %2").arg(db, dump.failure);
    QStringList problems;
    if (!dump.messages.isEmpty()) {
        QStringList distinct;
        for (const QString &m : dump.messages)
            if (!distinct.contains(m))
                distinct << m;
        for (QString &m : distinct)
            m += QStringLiteral(" (%1 times)").arg(dump.messages.count(m));
        problems << QStringLiteral("pxlib complained: %1").arg(distinct.join(QLatin1String("; ")));
    }
    if (!dump.unreadable.isEmpty()) {
        QStringList n;
        for (int r : dump.unreadable.mid(0, 10))
            n << QString::number(r);
        problems << QStringLiteral("pxlib could not read records %1 (%2 in all)")
                        .arg(n.join(QLatin1Char(',')))
                        .arg(dump.unreadable.size());
    }
    if (dump.fields.size() != fields.size()) {
        problems << QStringLiteral("pxlib sees %1 fields, expected %2").arg(dump.fields.size()).arg(fields.size());
        return problems.join(QLatin1Char('\n'));
    }
    for (int i = 0; i < fields.size(); ++i) {
        const oracle::FieldInfo &f = dump.fields.at(i);
        if (f.name != fields.at(i).name || f.type != int(fields.at(i).type)
            || f.length != oracle::pxlibLength(fields.at(i)))
            problems << QStringLiteral("field %1: pxlib sees %2 type %3 length %4, expected %5 type %6 length %7")
                            .arg(i)
                            .arg(f.name)
                            .arg(f.type)
                            .arg(f.length)
                            .arg(fields.at(i).name)
                            .arg(int(fields.at(i).type))
                            .arg(oracle::pxlibLength(fields.at(i)));
    }
    if (dump.headerRecords != rows.size() || dump.rows.size() != rows.size())
        problems << QStringLiteral("pxlib counts %1 records (header %2), expected %3")
                        .arg(dump.rows.size())
                        .arg(dump.headerRecords)
                        .arg(rows.size());
    int shown = 0;
    int wrong = 0;
    const int n = int(qMin(dump.rows.size(), rows.size()));
    for (int r = 0; r < n; ++r) {
        if (dump.unreadable.contains(r))
            continue;
        for (int i = 0; i < fields.size(); ++i) {
            const px::Value got = dump.value(r, i);
            if (oracle::sameValue(rows[r][i], got))
                continue;
            ++wrong;
            if (shown++ < 12)
                problems << QStringLiteral("record %1 field %2: expected %3, pxlib reads %4")
                                .arg(r)
                                .arg(fields.at(i).name, oracle::describe(rows[r][i]), oracle::describe(got));
        }
    }
    if (wrong > shown)
        problems << QStringLiteral("... %1 wrong values in all").arg(wrong);
    return problems.join(QLatin1Char('\n'));
}


// Empty when our engine reads exactly fields and rows from the open table, through scan()
// with decode() and decodeRow(), and record by record; otherwise the first differences.
inline QString ourMismatch(px::Table &t, const QVector<px::FieldDef> &fields, const Rows &rows);

// Runs a test body; an engine error becomes a failure that says what the engine said,
// instead of an exception that ends the whole test program.
template<typename Fn>
void guarded(const char *file, int line, Fn body)
{
    try {
        body();
    } catch (const std::exception &e) {
        QTest::qFail(qPrintable(QStringLiteral("engine error: %1").arg(QString::fromUtf8(e.what()))), file, line);
    }
}

inline QString ourMismatchUnguarded(px::Table &t, const QVector<px::FieldDef> &fields, const Rows &rows)
{
    QStringList problems;
    const auto &got = t.fields();
    if (got.size() != fields.size())
        return QStringLiteral("engine sees %1 fields, expected %2").arg(got.size()).arg(fields.size());
    for (int i = 0; i < fields.size(); ++i)
        if (got[i].name != fields[i].name || got[i].type != fields[i].type || got[i].size != fields[i].size)
            problems << QStringLiteral("field %1: engine sees %2 %3%4, expected %5 %6%7")
                            .arg(i)
                            .arg(got[i].name, px::fieldTypeLetter(got[i].type))
                            .arg(got[i].size)
                            .arg(fields[i].name, px::fieldTypeLetter(fields[i].type))
                            .arg(fields[i].size);
    if (t.recordCount() != quint32(rows.size()))
        problems << QStringLiteral("engine counts %1 records, expected %2").arg(t.recordCount()).arg(rows.size());

    int shown = 0;
    int wrong = 0;
    auto note = [&](const QString &how, int r, int i, const px::Value &v) {
        ++wrong;
        if (shown++ < 12)
            problems << QStringLiteral("%1: record %2 field %3: expected %4, engine reads %5")
                            .arg(how)
                            .arg(r)
                            .arg(fields.at(i).name, oracle::describe(rows[r][i]), oracle::describe(v));
    };
    int r = 0;
    t.scan([&](px::RecordPos, const char *raw) {
        if (r < rows.size())
            for (int i = 0; i < fields.size(); ++i) {
                const px::Value v = t.decode(raw, i);
                if (!oracle::sameValue(rows[r][i], v))
                    note(QStringLiteral("scan"), r, i, v);
            }
        ++r;
        return true;
    });
    if (r != rows.size())
        problems << QStringLiteral("scan visits %1 records, expected %2").arg(r).arg(rows.size());

    // decodeRow reuses one row's storage: nothing of a record may leak into the next
    r = 0;
    QVector<px::Value> reused;
    t.scan([&](px::RecordPos, const char *raw) {
        t.decodeRow(raw, reused);
        if (r < rows.size())
            for (int i = 0; i < fields.size(); ++i)
                if (!oracle::sameValue(rows[r][i], reused.value(i)))
                    note(QStringLiteral("decodeRow"), r, i, reused.value(i));
        ++r;
        return true;
    });

    // cursor walk: first/next forward, and random access by ordinal
    r = 0;
    for (auto pos = t.first(); pos && r < rows.size(); pos = t.next(*pos), ++r) {
        const QVector<px::Value> v = t.readValues(*pos);
        for (int i = 0; i < fields.size(); ++i)
            if (!oracle::sameValue(rows[r][i], v.value(i)))
                note(QStringLiteral("next"), r, i, v.value(i));
        if (t.ordinalOf(*pos) != r)
            problems << QStringLiteral("ordinalOf record %1 gives %2").arg(r).arg(t.ordinalOf(*pos));
    }
    if (r != rows.size())
        problems << QStringLiteral("first/next visits %1 records, expected %2").arg(r).arg(rows.size());
    if (!rows.isEmpty()) {
        const auto last = t.last();
        const auto at = t.at(quint32(rows.size() - 1));
        if (!last || !at || !(*last == *at))
            problems << QStringLiteral("last() and at(count-1) disagree");
        if (t.at(quint32(rows.size())))
            problems << QStringLiteral("at(count) finds a record");
        int back = int(rows.size());
        for (auto pos = t.last(); pos; pos = t.prior(*pos))
            --back;
        if (back != 0)
            problems << QStringLiteral("last/prior visits %1 records, expected %2").arg(rows.size() - back).arg(rows.size());
    }
    if (wrong > shown)
        problems << QStringLiteral("... %1 wrong values in all").arg(wrong);
    return problems.join(QLatin1Char('\n'));
}

inline QString ourMismatch(px::Table &t, const QVector<px::FieldDef> &fields, const Rows &rows)
{
    try {
        return ourMismatchUnguarded(t, fields, rows);
    } catch (const std::exception &e) {
        return QStringLiteral("engine error while reading: %1").arg(QString::fromUtf8(e.what()));
    }
}

} // namespace interop
