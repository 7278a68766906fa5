#pragma once

// Realistic B/L records for the benchmarks: a pool of varied records, each posted with its
// own booking number. Memos are 150 to 400 characters, so they live in the memo file.

#include "BLRecord.h"
#include "PxTable.h"
#include "PxTypes.h"

#include <QDate>
#include <QtGlobal>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <vector>

namespace benchdata {

inline constexpr int kPoolSize = 997;  // prime, so pool rows and record numbers do not line up
inline constexpr int kAgentRefField = 22;

// Booking number of record i; the last record of a table gets one that occurs nowhere else.
inline QString agentRef(int i, int count)
{
    if (i == count - 1)
        return QStringLiteral("ZQ-LAST-%1").arg(count);
    return QStringLiteral("BK%1").arg(2400000 + i);
}

inline quint32 nextRandom(quint32 &s)
{
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

inline QString pick(const QStringList &l, quint32 &s) { return l.at(int(nextRandom(s) % quint32(l.size()))); }

inline QString memo(quint32 &s, int minLen, int maxLen, const QStringList &lines)
{
    const int len = minLen + int(nextRandom(s) % quint32(maxLen - minLen + 1));
    QString m;
    while (m.size() < len) {
        if (!m.isEmpty())
            m += QStringLiteral("\r\n");
        m += pick(lines, s);
    }
    m.truncate(len);
    return m;
}

inline QVector<px::Value> poolRow(int k)
{
    static const QStringList companies{
        QStringLiteral("EXPORTADORA DE CAFÉ SANTOS LTDA"), QStringLiteral("AÇÚCAR GUARANI S.A."),
        QStringLiteral("FRIGORÍFICO MINERVA S/A"),         QStringLiteral("CERÂMICA PORTOBELLO"),
        QStringLiteral("MÓVEIS BRASÍLIA INDÚSTRIA"),       QStringLiteral("HAMBURG SÜD IMPORT GMBH"),
        QStringLiteral("NORDIC FOODS AB"),                 QStringLiteral("TO ORDER"),
        QStringLiteral("LES VINS DE BOURGOGNE SARL"),      QStringLiteral("GLOBAL TRADING CORP."),
    };
    static const QStringList streets{
        QStringLiteral("RUA XV DE NOVEMBRO, 1.234"), QStringLiteral("AV. CONSELHEIRO NÉBIAS, 500"),
        QStringLiteral("HAFENSTRASSE 7"),            QStringLiteral("12 RUE DE LA RÉPUBLIQUE"),
        QStringLiteral("KUNGSGATAN 44"),             QStringLiteral("350 FIFTH AVENUE, SUITE 12"),
    };
    static const QStringList cities{
        QStringLiteral("SANTOS - SP - BRASIL"), QStringLiteral("20457 HAMBURG - GERMANY"),
        QStringLiteral("69002 LYON - FRANCE"),  QStringLiteral("111 52 STOCKHOLM"),
        QStringLiteral("NEW YORK, NY 10118"),   QStringLiteral("SÃO PAULO - SP"),
    };
    static const QStringList ports{QStringLiteral("ROTTERDAM"), QStringLiteral("HAMBURG"), QStringLiteral("ANTWERPEN"),
                                   QStringLiteral("LE HAVRE"), QStringLiteral("GÖTEBORG"), QStringLiteral("NEW YORK")};
    static const QStringList vessels{QStringLiteral("MSC ALGECIRAS"), QStringLiteral("CAP SAN LORENZO"),
                                     QStringLiteral("MAERSK SANTOS"), QStringLiteral("CMA CGM TITAN")};
    static const QStringList marks{
        QStringLiteral("MSCU 123456-7 SEAL 0045871"), QStringLiteral("N/M"),
        QStringLiteral("CAFÉ DO BRASIL / SANTOS / LOT 4711"), QStringLiteral("ORDER Nº 2024/0815"),
        QStringLiteral("MADE IN BRAZIL"), QStringLiteral("1/240 - 240/240"),
        QStringLiteral("HANDLE WITH CARE – FRÁGIL"), QStringLiteral("TCLU 765432-1 SEAL 0098127"),
    };
    static const QStringList goods{
        QStringLiteral("1 X 40'HC CONTAINER SAID TO CONTAIN:"),
        QStringLiteral("320 BAGS OF BRAZILIAN GREEN COFFEE, ARABICA"),
        QStringLiteral("NET WEIGHT 19.200,000 KGS – GROSS 19.456,000 KGS"),
        QStringLiteral("FREIGHT PREPAID – SHIPPER'S LOAD, STOW AND COUNT"),
        QStringLiteral("NCM 0901.11.10 – RE 24/0815471-001"),
        QStringLiteral("WOODEN PACKING: TREATED AND CERTIFIED"),
        QStringLiteral("CLEAN ON BOARD"),
    };
    quint32 s = quint32(k) * 2654435761u + 17u;
    QVector<px::Value> v;
    auto block = [&](int lines) {
        v.append(pick(companies, s));
        v.append(pick(streets, s));
        v.append(pick(cities, s));
        v.append(lines > 3 ? px::Value{QStringLiteral("CNPJ 12.345.678/0001-90")} : px::Value{});
        v.append(lines > 4 ? px::Value{QStringLiteral("TEL +55 13 3219-0000")} : px::Value{});
    };
    block(3 + int(nextRandom(s) % 3));
    block(3 + int(nextRandom(s) % 3));
    block(2 + int(nextRandom(s) % 4));
    v.append(pick(vessels, s));
    v.append(pick(ports, s));
    v.append(QStringLiteral("SANTOS"));
    v.append(QStringLiteral("SANTOS"));
    v.append(nextRandom(s) % 3 ? px::Value{} : px::Value{pick(ports, s)});
    v.append(QStringLiteral("SSZ%1").arg(int(nextRandom(s) % 900000) + 100000));
    v.append(QStringLiteral("PO-%1").arg(int(nextRandom(s) % 90000) + 10000));
    v.append(QString());  // booking number, set per record
    v.append(memo(s, 150, 400, marks));
    v.append(memo(s, 150, 400, goods));
    v.append(QDate(2020, 1, 1).addDays(int(nextRandom(s) % 1800)));
    v.append(double(nextRandom(s) % 30000000) / 1000.0);
    v.append(QStringLiteral("KGS"));
    v.append(double(nextRandom(s) % 28000000) / 1000.0);
    v.append(QStringLiteral("KGS"));
    v.append(double(nextRandom(s) % 76000) / 1000.0);
    v.append(QStringLiteral("M3"));
    return v;
}

inline QVector<QVector<px::Value>> pool()
{
    QVector<QVector<px::Value>> p;
    p.reserve(kPoolSize);
    for (int k = 0; k < kPoolSize; ++k)
        p.append(poolRow(k));
    return p;
}

// A positive whole number from the environment, else fallback: shrinks a run.
// The middle value of a run of timings.
inline double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
    return v[v.size() / 2];
}

inline int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// Shipper k of a register with many distinct ones: five lines, the first of them one of the
// pool's company names numbered, so that a few typed letters match a tenth of them.
inline void setShipper(QVector<px::Value> &row, int k)
{
    static const QStringList names{
        QStringLiteral("EXPORTADORA DE CAFÉ SANTOS"), QStringLiteral("AÇÚCAR GUARANI S.A."),
        QStringLiteral("FRIGORÍFICO MINERVA S/A"),    QStringLiteral("CERÂMICA PORTOBELLO"),
        QStringLiteral("MÓVEIS BRASÍLIA INDÚSTRIA"),  QStringLiteral("HAMBURG SÜD IMPORT"),
        QStringLiteral("NORDIC FOODS AB"),            QStringLiteral("TRADING COMPANY"),
        QStringLiteral("LES VINS DE BOURGOGNE"),      QStringLiteral("GLOBAL TRADING CORP."),
    };
    row[0] = QStringLiteral("%1 %2").arg(names.at(k % names.size())).arg(k);
    row[1] = QStringLiteral("RUA XV DE NOVEMBRO, %1").arg(100 + k);
    row[2] = QStringLiteral("SANTOS - SP - BRASIL");
    row[3] = QStringLiteral("CNPJ 12.345.%1/0001-90").arg(k, 3, 10, QLatin1Char('0'));
    row[4] = QStringLiteral("TEL +55 13 3219-%1").arg(k, 4, 10, QLatin1Char('0'));
}

// A register of count records from the pool at path, unflushed: the benchmarks time reads.
// With distinctShippers, record i carries shipper i % distinctShippers.
inline void writeRegister(const QString &path, int count, int distinctShippers = 0)
{
    const QVector<QVector<px::Value>> rows = pool();
    px::Table::create(path, blrecord::registerFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    t.setSyncWrites(false);
    for (int i = 0; i < count; ++i) {
        QVector<px::Value> row = rows[i % kPoolSize];
        row[kAgentRefField] = agentRef(i, count);
        if (distinctShippers > 0)
            setShipper(row, i % distinctShippers);
        t.append(row);
    }
}

} // namespace benchdata
