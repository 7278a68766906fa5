#include "PxTableImpl.h"

#include <QThread>

#include <chrono>

// Locks between processes: byte-range locks of the open file description, a shared one for
// each open and a short exclusive one for each write; a writer re-reads the header under it.

namespace px {

void Table::Impl::acquireOn(File &file, qint64 byte, bool exclusive)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(detail::LockWaitMs);
    int pause = 1;
    while (!file.tryLock(byte, exclusive)) {
        if (steady_clock::now() >= deadline)
            throw EngineError::inUse(path);
        QThread::msleep(pause);
        pause = std::min(pause * 2, 50);
    }
}

void Table::Impl::lockRead()
{
    if (lockDepth++ > 0)
        return;
    if (mode != Mode::Exclusive)
        acquire(detail::WriteLockByte, false);
    lockIsWrite = false;
    try {
        refresh();
    } catch (...) {
        unlockAll();
        throw;
    }
}

void Table::Impl::lockWrite()
{
    if (mode == Mode::ReadOnly)
        throw EngineError(EngineError::Kind::State, QStringLiteral("A tabela %1 foi aberta somente para leitura").arg(path));
    if (lockDepth > 0)
        throw EngineError(EngineError::Kind::State, QStringLiteral("Gravação aninhada na tabela %1").arg(path));
    ++lockDepth;
    lockIsWrite = true;
    try {
        if (mode != Mode::Exclusive)
            acquire(detail::WriteLockByte, true);
        refresh();
        ensureWritable();
    } catch (...) {
        unlockAll();
        throw;
    }
}

} // namespace px
