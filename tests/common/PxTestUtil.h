#pragma once

// Helpers for the table-engine tests: raw access to .DB/.MB bytes, an independent
// header/chain/memo verifier, value comparison, and child processes of the test binary.
// Nothing here uses the engine except where a function says so (making tables).

#include "paradox/PxTable.h"
#include "paradox/PxTypes.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QTemporaryDir;

namespace pxtest {

// ---- bytes ---------------------------------------------------------------------------

QByteArray readFile(const QString &path);
// Writes the whole file; returns false on any failure.
bool writeFile(const QString &path, const QByteArray &data);
bool copyFile(const QString &from, const QString &to);  // overwrites, makes the copy writable

quint8 u8(const QByteArray &b, qsizetype off);
quint16 le16(const QByteArray &b, qsizetype off);
qint16 les16(const QByteArray &b, qsizetype off);
quint32 le32(const QByteArray &b, qsizetype off);
void put8(QByteArray &b, qsizetype off, quint8 v);
void put16(QByteArray &b, qsizetype off, quint16 v);
void put32(QByteArray &b, qsizetype off, quint32 v);

// ---- files of a table ----------------------------------------------------------------

// The memo file beside a .DB: same base name, ".MB" or ".mb" following the case of the
// .DB's own suffix; when one of the two spellings exists, that one.
QString memoFileOf(const QString &dbPath);

// Copies a genuine sample (and its memo file, if any) into dir; returns the new .DB path.
QString copySample(const QString &dir, const QString &dbName);
QString samplePath(const QString &dbName);

// Creates a table through the engine and returns its path (dir/name).
QString makeTable(const QString &dir, const QString &name, const QVector<px::FieldDef> &fields,
                  const px::CreateOptions &opts = {});

struct Snapshot
{
    QByteArray db;
    QByteArray mb;
    bool hasMb = false;
    friend bool operator==(const Snapshot &, const Snapshot &) = default;
};
Snapshot snapshot(const QString &dbPath);

// ---- raw header ----------------------------------------------------------------------

struct RawField
{
    quint8 type = 0;
    quint8 size = 0;       // as stored (memo: leader + 10; BCD: decimals)
    int storage = 0;       // bytes in the record
    int offset = 0;        // offset in the record
    QByteArray name;
};

struct RawHeader
{
    quint16 recordSize = 0;
    quint16 headerSize = 0;
    quint8 fileType = 0;
    quint8 blockSizeCode = 0;
    quint32 numRecords = 0;
    quint16 blocksInUse = 0;   // 0x0A
    quint16 fileBlocks = 0;    // 0x0C
    quint16 firstBlock = 0;
    quint16 lastBlock = 0;
    quint16 numFields = 0;
    quint16 keyFields = 0;
    quint32 encryption1 = 0;
    quint8 sortOrder = 0;
    quint8 version = 0;        // 0x39
    quint16 maxBlocks = 0;     // 0x3A
    quint32 autoInc = 0;
    quint16 firstFreeBlock = 0;
    quint16 realHeaderSize = 0;
    // 0x58.. part (version >= 5)
    quint16 versionWord1 = 0, versionWord2 = 0;
    quint32 encryption2 = 0;
    quint16 codePage = 0;
    QByteArray sortOrderName;
    QVector<RawField> fields;

    int blockSize() const { return int(blockSizeCode) * 1024; }
    qint64 blockOffset(int n) const { return qint64(headerSize) + qint64(n - 1) * blockSize(); }
    int recordsPerBlock() const { return recordSize ? (blockSize() - 6) / recordSize : 0; }
};

// Parses the header as the format document lays it out. Returns false with a reason when
// the bytes cannot be a table this project reads.
bool parseHeader(const QByteArray &db, RawHeader &h, QString *why = nullptr);

// ---- independent verifier --------------------------------------------------------------

struct MemoRef
{
    quint32 location = 0;
    quint32 length = 0;
    quint16 mod = 0;
};
MemoRef memoRef(const QByteArray &record, const RawField &f);

struct Verification
{
    QStringList problems;         // empty when sound
    RawHeader header;
    QVector<quint16> chain;       // data blocks in chain order
    QVector<quint16> freeList;
    QVector<QByteArray> records;  // raw records in natural order
    QVector<qint64> recordOffsets;  // where each of them sits in the .DB
    // Memo text bytes per record and memo field (index into header.fields), decoded
    // independently of the engine from the leader or the .MB.
    QVector<QVector<QByteArray>> memos;
    int mbBlocks = 0;             // 4 KB blocks in the .MB
    int mbFreeBlocks = 0;         // of those, in type-4 blocks
    bool ok() const { return problems.isEmpty(); }
};

// Strict adds the rules for what this engine writes (zero fill of unused bytes, memo
// placement by size, leader copies); genuine files may legally break those.
Verification verify(const QString &dbPath, bool strict = true);

// ---- independent decoding of field values ------------------------------------------

QByteArray alphaBytes(const QByteArray &record, const RawField &f);  // without NUL padding
bool numberValue(const QByteArray &record, const RawField &f, double &out);  // false: NULL
bool dateValue(const QByteArray &record, const RawField &f, QDate &out);     // false: NULL

// Paradox encodings, written independently of the engine (for crafting test bytes).
QByteArray encodeNumber(double v);
QByteArray encodeDate(QDate d);

// ---- values ------------------------------------------------------------------------------

QString describe(const px::Value &v);
// Same kind and value; doubles compare bit for bit except that -0.0 equals 0.0.
bool sameValue(const px::Value &a, const px::Value &b);
// NULL and the empty string are the same thing for text fields.
bool sameText(const px::Value &v, const QString &expected);

// Reads every record through the engine in natural order (scan()).
QVector<QVector<px::Value>> readAll(px::Table &t);

// ---- child processes ----------------------------------------------------------------------

// The role this process plays when started by startSelf(), or an empty string.
QString childRole();
// Starts this test executable again with the role set; args go on its command line.
std::unique_ptr<QProcess> startSelf(const QString &role, const QStringList &args);
// Reads one line from the child's stdout, waiting up to ms; empty on timeout or exit.
QByteArray readLine(QProcess &p, int ms = 10000);
// Writes text and a newline to stdout at once, unbuffered (for children).
void emitLine(const QByteArray &line);

// Children that open a table, for lock and error tests. A test's own main() calls
// runStandardChild() first; it returns -1 when the role is not one of these:
//   "try <path> <mode>"   opens, prints the result line, exits;
//   "hold <path> <mode>"  opens, prints the result line, keeps the table open until a line
//                         arrives on stdin (or stdin closes), then exits.
// The result line is "OPEN" or "ERR <kind number> <message>".
int runStandardChild(const QString &role, const QStringList &args);
QString modeName(px::Table::Mode mode);
px::Table::Mode modeFromName(const QString &name);

struct ChildOpen
{
    bool opened = false;
    bool answered = false;  // false: the child said nothing (crashed, hung)
    int kind = -1;          // px::EngineError::Kind as a number
    QString message;
};
ChildOpen parseChildOpen(const QByteArray &line);
// Opens the table in another process and reports how that went.
ChildOpen openInChild(const QString &path, px::Table::Mode mode);
// Opens the table in another process that keeps it open; release() lets it go.
struct Holder
{
    std::unique_ptr<QProcess> process;
    ChildOpen result;
    void release();  // asks the child to close and waits for it
    void kill();     // SIGKILL, as a crash would
    ~Holder();
};
std::unique_ptr<Holder> holdInChild(const QString &path, px::Table::Mode mode);

// ---- hangs and crashes ---------------------------------------------------------------------

// Names the case now running. A crash signal prints it before the process dies, and a case
// that runs longer than the watchdog's limit prints it and aborts the process.
void setCase(const QString &label);
void startWatchdog(int seconds);
void feedWatchdog();
void installCrashReporter();

// Deterministic text of a given length in UTF-8 (ASCII, with line breaks now and then).
QString patternText(quint32 seed, int length);

} // namespace pxtest

namespace pxtest {

// ---- bl-tool ----------------------------------------------------------------------------

struct ToolResult
{
    int code = -1;          // exit code; -1 when it did not finish normally
    bool killed = false;    // ended by a signal
    QByteArray out;
    QString err;
};
// Runs bl-tool with args, input on its standard input and extra environment variables, in
// workDir when given.
ToolResult runTool(const QStringList &args, const QByteArray &input = {}, const QStringList &env = {},
                   const QString &workDir = {});
// The same through bl-tool's test program, with an I/O fault armed ("kill:N", "enospc:N",
// "eio:N"; see IoFaults.h). The shipped bl-tool reads no such setting.
ToolResult runFaultyTool(const QString &fault, const QStringList &args, const QByteArray &input = {});

} // namespace pxtest
