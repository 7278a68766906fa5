// libFuzzer entry: a table pair from the fuzzer's bytes is opened, read, checked and, on the
// same copy, written to. Engine errors are the expected answer to bad bytes; anything else
// (a signal, a sanitizer report, a foreign exception, a hang) is a finding.
//
// Input: a 4-byte little-endian length n, then n bytes of .DB, then the .MB.

#include "PxError.h"
#include "PxTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

bool put(const QString &path, const char *data, size_t n)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data, qint64(n)) == qint64(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static std::unique_ptr<QTemporaryDir> dir(new QTemporaryDir);
    if (size < 4 || !dir->isValid())
        return 0;
    const size_t n = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3] & 0x7F) << 24;
    const char *rest = reinterpret_cast<const char *>(data + 4);
    const size_t dbLen = n < size - 4 ? n : size - 4;
    const QString db = dir->filePath(QStringLiteral("F.DB"));
    const QString mb = dir->filePath(QStringLiteral("F.MB"));
    QFile::remove(dir->filePath(QStringLiteral("F.JNL")));
    if (!put(db, rest, dbLen) || !put(mb, rest + dbLen, size - 4 - dbLen))
        return 0;
    try {
        px::Table t(db, px::Table::Mode::ReadOnly);
        t.check();
        QVector<px::Value> row;
        quint32 seen = 0;
        t.scan([&](px::RecordPos, const char *raw) {
            t.decodeRow(raw, row);
            return ++seen < 5000;
        });
    } catch (const px::EngineError &) {
    }
    try {
        px::Table t(db, px::Table::Mode::Shared);
        t.setSyncWrites(false);
        QVector<px::Value> row(t.fields().size());
        for (int i = 0; i < t.fields().size(); ++i)
            if (t.fields()[i].type == px::FieldType::Alpha || t.fields()[i].type == px::FieldType::Memo)
                row[i] = QString(i == 0 ? 3 : 300, QLatin1Char('z'));
        t.append(row);
        if (auto f = t.first())
            t.remove(*f, t.readRaw(*f));
        t.check();
    } catch (const px::EngineError &) {
    }
    return 0;
}
