#pragma once

#include "PxTypes.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace px {

// Offsets in the .DB header that the engine reads or keeps up to date.
namespace hdr {
constexpr int RecordSize = 0x00;
constexpr int HeaderSize = 0x02;
constexpr int FileType = 0x04;
constexpr int BlockKb = 0x05;
constexpr int NumRecords = 0x06;
constexpr int BlocksInUse = 0x0A;
constexpr int FileBlocks = 0x0C;
constexpr int FirstBlock = 0x0E;
constexpr int LastBlock = 0x10;
constexpr int ModifiedFlags1 = 0x14;
constexpr int NumFields = 0x21;
constexpr int KeyFields = 0x23;
constexpr int Encryption1 = 0x25;
constexpr int SortOrder = 0x29;
constexpr int ModifiedFlags2 = 0x2A;
// Unused by every known reader (always 0 in genuine tables): set while a write is under way,
// so an interrupted write is noticed and the header rebuilt from the chain.
constexpr int WriteMarker = 0x2B;
constexpr int Version = 0x39;
constexpr int MaxBlocks = 0x3A;
constexpr int FirstFree = 0x4D;
constexpr int Encryption2 = 0x5C;
constexpr int UpdateTime = 0x60;
constexpr int CodePage = 0x6A;
// A change counter no reader checks; other processes use it to see that their caches are stale.
constexpr int ChangeCount = 0x70;
constexpr int FixedPart = 0x78;
} // namespace hdr

struct Header
{
    QByteArray prefix;  // the first 0x78 bytes as last read or written
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 2;
    int blockKb = 0;
    quint32 numRecords = 0;
    quint16 blocksInUse = 0;
    quint16 fileBlocks = 0;
    quint16 firstBlock = 0;
    quint16 lastBlock = 0;
    quint16 maxBlocks = 0;
    quint16 firstFree = 0;
    quint16 changeCount = 0;
    bool writeMarker = false;
    quint8 markerKind = 1;  // the marker byte's value while writeMarker is set
    int version = 0;
    int codePage = 0;
    int sortOrder = 0;
    bool encrypted = false;
    QVector<FieldDef> fields;

    int blockSize() const { return blockKb * 1024; }
    int recordsPerBlock() const { return (blockSize() - 6) / recordSize; }
    qint64 blockOffset(quint16 block) const { return headerSize + qint64(block - 1) * blockSize(); }

    // Reads the mutable counters from prefix.
    void readCounters();
    // Writes the mutable counters into prefix.
    void storeCounters();
};

// Checks a field descriptor as stored (type byte, size byte: blobs count their 10 bytes);
// returns an empty string when sound, else the reason, with *unsupported set for a kind
// this engine does not handle. Reading a header and creating a table use the same rules.
QString checkField(int type, int storedSize, bool *unsupported);

// Level of a version byte: 4, 5 or 7; 3 for level-3 headers; 0 when not a known version.
int levelOfVersion(int versionByte);

// Parses and validates a whole header (bytes holds at least the header, or the whole file
// when it is shorter). Throws EngineError naming path.
// Without counters, the header's counters are not checked against the file (salvage).
Header parseHeader(const QString &path, const QByteArray &bytes, qint64 fileSize, bool counters = true);

// The header of a new, empty, non-keyed table.
QByteArray buildHeader(const QString &tableName, const QVector<FieldDef> &fields, const CreateOptions &opt);

} // namespace px
