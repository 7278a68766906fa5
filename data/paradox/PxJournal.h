#pragma once

#include "PxFile.h"

#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace px {

// A rollback journal beside the table for a batch of writes that must land all or none.
// Before a byte of the table pair that existed when the batch began is changed, its page is
// copied into the journal and the journal reaches the medium; growth is undone by cutting the
// files back to their old sizes. The table files stay a sound table at every moment; the
// journal only says how to get back to the state before the batch. Whoever opens the table
// next and finds a journal puts the old bytes back and removes it.
class Journal
{
public:
    static constexpr int PageSize = 4096;

    static QString pathFor(const QString &dbPath);
    static bool exists(const QString &dbPath);

    // Starts a batch over the open pair (mb may be null). Throws EngineError.
    Journal(const QString &dbPath, File &db, File *mb);
    // A byte range of the pair (file 0 the .DB, 1 the .MB) whose old contents must be safe.
    struct Range
    {
        int file;
        qint64 offset;
        qint64 length;
    };
    // One operation's journal: the pages of ranges are copied in the same write as the
    // journal's header, and the journal and its directory entry reach the medium once (when
    // sync), before the first byte of the table changes. Writes outside ranges are still
    // protected as they come.
    Journal(const QString &dbPath, File &db, File *mb, const std::vector<Range> &ranges, bool sync);
    ~Journal();  // an unfinished batch is rolled back
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Called by File before it changes [off, off + len) (len -1: to the end of the file).
    void protect(int fileId, qint64 off, qint64 len);
    // The batch's data reaches the medium, then the journal goes: from here it all stays.
    void commit();
    // Puts the old bytes back and removes the journal.
    void rollback();

    // Applies a journal left by a batch that did not finish; returns false when there is none.
    // Throws EngineError when it cannot (the files cannot be written).
    static bool recover(const QString &dbPath, const QString &mbPath);

    // The pair as a rollback of the journal left beside it would leave it, for a reader that
    // must not write: [0] the .DB, [1] the .MB. Null when there is no journal or it protects
    // nothing yet.
    struct View
    {
        std::shared_ptr<const ReadOverlay> files[2];
    };
    static std::optional<View> view(const QString &dbPath);

private:
    void detach();
    void start(const QByteArray &initial);
    QByteArray entry(int id, qint64 page);

    QString m_path;
    File m_file;
    File *m_files[2] = {nullptr, nullptr};
    qint64 m_size[2] = {-1, -1};
    std::set<qint64> m_saved[2];  // pages already in the journal
    bool m_touched[2] = {false, false};  // written or cut while attached: to be flushed at the commit
    qint64 m_end = 0;
    bool m_active = false;
    bool m_sync = true;
};

} // namespace px
