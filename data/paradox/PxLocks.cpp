#include "PxTableImpl.h"

#include <QThread>

#include <atomic>
#include <chrono>

// Locks between processes: byte-range locks of the open file description, a shared one for
// each open and a short exclusive one for each write; a writer re-reads the header under it.

namespace px {

namespace {
std::atomic<LockWaitHook> lockWaitHook{nullptr};
}

void setLockWaitHook(LockWaitHook hook)
{
    lockWaitHook.store(hook);
}

void Table::Impl::acquireOn(File &file, qint64 byte, bool exclusive)
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const auto deadline = start + milliseconds(detail::LockWaitMs);
    int pause = 1;
    LockWaitHook hook = nullptr;
    while (!file.tryLock(byte, exclusive)) {
        // Another writer's usual few milliseconds pass unannounced; a longer wait is told.
        if (!hook && steady_clock::now() - start >= milliseconds(100) && (hook = lockWaitHook.load()))
            hook(true);
        if (steady_clock::now() >= deadline) {
            if (hook)
                hook(false);
            throw EngineError::inUse(path);
        }
        QThread::msleep(pause);
        pause = std::min(pause * 2, 50);
    }
    if (hook)
        hook(false);
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
        // Nothing is written into a file that is no longer the one at its path. Unflushed
        // writes (bulk work, benchmarks) are checked when they are flushed instead.
        if (syncWrites)
            checkPresent();
        ensureWritable();
    } catch (...) {
        unlockAll();
        throw;
    }
}

} // namespace px
