#pragma once

// Realistic and awkward values for tables written by one implementation and read by the other.

#include "PxTypes.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace samples {

// Memo lengths that sit on the engine's boundaries for a 100-byte leader: in the record,
// one past the leader, the largest sub-allocated blob, the smallest single blob, a long one.
inline const QVector<int> &registerMemoLengths()
{
    static const QVector<int> l{0, 50, 100, 101, 2048, 2049, 70000, 150, 237, 400, 1, 99, 3760, 4087, 4088};
    return l;
}

// Text of exactly len characters, all of them in windows-1252, with CR LF line breaks and
// the characters that go wrong first: accents, the euro sign, typographic quotes.
inline QString memoText(int len, int seed)
{
    static const QStringList words{
        QStringLiteral("CONTAINER"), QStringLiteral("São Paulo"), QStringLiteral("AÇÚCAR"),
        QStringLiteral("café"), QStringLiteral("€ 1.234,50"), QStringLiteral("“SHIPPER’S LOAD”"),
        QStringLiteral("Œuvre"), QStringLiteral("straße"), QStringLiteral("ñandú"),
        QStringLiteral("Nº 4711"), QStringLiteral("40'HC"), QStringLiteral("–"), QStringLiteral("ÿ"),
        QStringLiteral("…"), QStringLiteral("PALLETS"), QStringLiteral("\"SAID TO CONTAIN\""),
    };
    QString s;
    s.reserve(len + 32);
    int i = seed;
    int line = 0;
    while (s.size() < len) {
        const QString &w = words.at((i * 7 + 3) % words.size());
        ++i;
        s += w;
        line += w.size();
        if (line > 50 + (i % 20)) {
            s += QStringLiteral("\r\n");
            line = 0;
        } else {
            s += QLatin1Char(' ');
        }
    }
    s.truncate(len);
    return s;
}

inline QString text(int index)
{
    static const QStringList t{
        QStringLiteral("EXPORTADORA AÇÚCAR & CAFÉ LTDA."),
        QStringLiteral("Rua Conselheiro Nébias, 1.234 – 5º andar"),
        QStringLiteral("Santos – SP – Brasil"),
        QStringLiteral("Import GmbH, Hafenstraße 7"),
        QStringLiteral("€ – “quoted” ‘single’ … • ™"),
        QStringLiteral("ŒUVRE ŠKODA ŽILINA ŸVES"),
        QStringLiteral("x"),
        QString(),
        QStringLiteral("ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß"),
        QStringLiteral("àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ"),
        QStringLiteral("TO ORDER"),
        QStringLiteral("   leading and trailing blanks   "),
    };
    return t.at(index % t.size());
}

// Exactly width characters, the last one outside ASCII: no terminator is left in the record.
inline QString fullWidth(int width) { return QString(width - 1, QLatin1Char('W')) + QStringLiteral("é"); }

inline px::Value number(int index)
{
    static const QVector<double> n{1234.5, -0.001, 0.0, 98765432.125, -42.0, 0.1, 1e-300, -1.7976931348623157e308,
                                   3.0e15, 7.25};
    if (index % 11 == 10)
        return {};
    return n.at(index % n.size());
}

inline px::Value date(int index)
{
    static const QVector<QDate> d{QDate(2009, 3, 6),   QDate(2024, 2, 29), QDate(1999, 12, 31),
                                  QDate(100, 1, 1),    QDate(9999, 12, 31), QDate(1900, 2, 28),
                                  QDate(1970, 1, 1),   QDate(2000, 1, 1)};
    if (index % 9 == 8)
        return {};
    return d.at(index % d.size());
}

// Words every one of the code pages 437, 850 and 1252 can hold, plus some only the latter two
// or only 1252 can.
inline QString codePageText(int codePage, int len, int seed)
{
    QStringList words{QStringLiteral("Müller"), QStringLiteral("Çà"), QStringLiteral("é"), QStringLiteral("ñandú"),
                      QStringLiteral("Å"), QStringLiteral("£"), QStringLiteral("½"), QStringLiteral("¿qué?")};
    if (codePage != 437)
        words << QStringLiteral("São") << QStringLiteral("João") << QStringLiteral("Ø") << QStringLiteral("ß");
    if (codePage == 1252)
        words << QStringLiteral("€") << QStringLiteral("“quoted”") << QStringLiteral("Œ");
    QString s;
    for (int i = seed; s.size() < len; ++i)
        s += words.at(i % words.size()) + (i % 9 == 8 ? QStringLiteral("\r\n") : QStringLiteral(" "));
    s.truncate(len);
    return s;
}

// One B/L in the register's field order. Memo lengths walk through registerMemoLengths().
inline QVector<px::Value> registerRow(int i)
{
    QVector<px::Value> v;
    const auto &ml = registerMemoLengths();
    for (int k = 0; k < 15; ++k) {  // shipper, consignee and notify lines
        const bool full = (i + k) % 13 == 0;
        v.append(full ? px::Value{fullWidth(40)} : px::Value{text(i + k)});
    }
    v.append(QStringLiteral("MSC ALGECIRAS"));
    v.append(i % 2 ? QStringLiteral("Rotterdam") : QStringLiteral("Göteborg"));
    v.append(QStringLiteral("São Paulo"));
    v.append(QStringLiteral("Santos"));
    v.append(i % 3 ? px::Value{} : px::Value{QStringLiteral("Zürich")});
    v.append(QStringLiteral("BL-2024-%1").arg(i, 6, 10, QLatin1Char('0')));
    v.append(i % 5 ? px::Value{QStringLiteral("SREF/%1").arg(i)} : px::Value{fullWidth(20)});
    v.append(QStringLiteral("BK%1").arg(100000 + i));
    v.append(memoText(ml.at(i % ml.size()), i));
    v.append(memoText(ml.at((i * 5 + 3) % ml.size()), i + 1));
    v.append(date(i));
    v.append(number(i));
    v.append(i % 4 ? QStringLiteral("KGS") : QStringLiteral("Kg"));
    v.append(number(i + 3));
    v.append(QStringLiteral("KGS"));
    v.append(number(i + 7));
    v.append(i % 6 ? QStringLiteral("M³") : QString());
    return v;
}

} // namespace samples
