#pragma once

#include <QString>

#include <memory>

namespace px {

class File;

// Holds a table pair the way an exclusive open does, without reading it, so also when it is
// damaged or its memo file is missing: while it lives nobody can open the table. For
// replacing a table's files. Throws EngineError: fileMissing, or inUse when anybody has the
// table open.
class TableHold
{
public:
    explicit TableHold(const QString &dbPath);
    ~TableHold();
    TableHold(const TableHold &) = delete;
    TableHold &operator=(const TableHold &) = delete;

private:
    std::unique_ptr<File> m_file;
};

} // namespace px
