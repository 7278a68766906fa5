#pragma once

// What the clerk typed before, offered again: the distinct parties of each party box (a
// party is its five lines) and the distinct values of the one-line fields that repeat from
// B/L to B/L, answered by prefix with case and accents ignored, the most recently confirmed
// first.
//
// "Most recently confirmed": the records carry the day they were last confirmed
// (Bl_DataRef) and nothing finer, so a value ranks by the latest such day among the records
// that hold it, a later record in natural order breaking a tie; values confirmed in this
// session rank above all of them, the latest first.
//
// Nothing is read until the first question, or until buildInBackground() lets the event loop
// read the register a slice at a time, so the start-up does not pay for it. One pass over
// the stored records builds every list, decoding only the fields of values not seen before
// and keeping one entry per distinct value, never per record. The book follows its
// table: a post adds the posted record's values at once (an edit that replaced the only
// record of a party drops it); any other change of the stored records (a deletion, the table
// closed, reopened or emptied) makes the next question read the register again.
//
// Single-threaded, like every use of the tables.

#include "Table.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

class Field;
class QTimer;

class PartyBook : public QObject
{
    Q_OBJECT
public:
    // The register's party boxes, by the common start of their five field names.
    static QStringList registerPartyGroups();
    // The register's one-line fields worth offering.
    static QStringList registerValueFields();

    // Over the register's lists. The table may be closed now; it is read when asked.
    explicit PartyBook(Table *table, QObject *parent = nullptr);
    PartyBook(Table *table, const QStringList &partyGroups, const QStringList &valueFields,
              QObject *parent = nullptr);
    ~PartyBook() override;

    // The parties of group ("Bl_Shipper") whose first line starts with prefix, each as its
    // five lines exactly as stored, at most limit of them. Empty for an empty prefix, a
    // closed table or an unknown group. Reading a damaged register throws its DataError once;
    // later questions answer nothing until the register changes.
    QList<QStringList> parties(const QString &group, QStringView prefix, int limit = 100);
    // The same for a one-line field ("Bl_LocalVessel").
    QStringList values(const QString &fieldName, QStringView prefix, int limit = 100);

    // Reads the register in slices from the event loop, the first after delayMs, so the lists
    // are ready when the clerk first types; a question before the end reads the rest at once.
    // After a change that makes the lists read the register again, they are read again in
    // the background too.
    void buildInBackground(int delayMs);

    // True while the lists reflect the register (the next question reads nothing).
    bool isBuilt() const { return m_built; }
    // Distinct entries kept, over all lists.
    qsizetype entryCount() const;

private:
    struct Rank
    {
        quint32 session = 0;  // 0: not confirmed in this session; else the later the higher
        qint64 day = 0;       // day of the last confirmation; 0 when unknown
        quint32 ordinal = 0;  // natural order
        bool operator<(const Rank &o) const;
    };
    struct Entry
    {
        QStringList lines;
        QString folded;  // the first line, folded
        Rank rank;
        int uses = 0;    // stored records holding it; 0: gone
        QByteArray key;  // the lines' stored bytes, each ended by a zero byte
        int nextSameHash = -1;
    };
    struct List
    {
        QString name;
        QStringList fieldNames;
        QList<Entry> entries;
        QHash<quint64, int> byHash;               // hash of the key -> first such entry
        QHash<QByteArray, quint32> sessionRanks;  // confirmed in this session
        QVector<int> order;                       // entries, most recent first
        bool sorted = false;
    };

    struct Span
    {
        int offset;
        int size;
    };

    List *list(const QString &name);
    static int find(const List &l, const QByteArray &key);
    static void insert(List &l, Entry entry, quint64 hash);
    bool ensureBuilt();
    void beginBuild();
    void addRecord(quint32 ordinal, const char *raw);
    void finishBuild();
    void step();
    void restartBackground();
    void clearEntries();
    static void sort(List &l);
    // The key of the current record's lines of l (code-page bytes, as stored), empty when
    // its first line is empty or cannot be stored.
    QByteArray currentKey(const List &l) const;
    QStringList currentLines(const List &l) const;
    QVector<QByteArray> currentKeys() const;
    void onStateChanged(Table::State state);
    void onDataSetChanged();
    void notePosted();

    Table *m_table;
    QList<List> m_lists;
    bool m_built = false;
    // A build under way: where each list's lines lie in a stored record, and the next record.
    bool m_building = false;
    quint32 m_next = 0;
    QVector<QVector<Span>> m_spans;
    QVector<QVector<const Field *>> m_buildFields;
    const Field *m_dateField = nullptr;
    QTimer *m_timer = nullptr;
    bool m_background = false;
    bool m_failed = false;
    bool m_editing = false;
    bool m_leftEditing = false;
    QVector<QByteArray> m_keysBeforeEdit;  // per list, the record's keys when its edit began
    quint32 m_session = 0;
};
