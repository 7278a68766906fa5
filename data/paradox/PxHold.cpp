#include "PxHold.h"

#include "PxTableImpl.h"

namespace px {

void Table::readLocked(const std::function<void()> &fn)
{
    Impl::ReadGuard guard(d.get());
    fn();
}

void Table::readValidated(const std::function<void()> &fn)
{
    Impl::ReadGuard guard(d.get());
    if (d->validationCurrent()) {
        fn();
        return;
    }
    // Under a read lock nothing may be repaired: only a sound pair is read.
    const Validation v = d->validate();
    if (v.state != Validation::State::Sound)
        throw d->refusal(v);
    d->noteValidated();
    fn();
}

TableHold::TableHold(const QString &dbPath) : m_file(std::make_unique<File>())
{
    // A writable descriptor: an exclusive lock needs one.
    if (!m_file->open(dbPath, true))
        throw EngineError::fileMissing(dbPath);
    if (!m_file->tryLock(detail::OpenLockByte, true))
        throw EngineError::inUse(dbPath);
}

// Closing the descriptor lets the lock go.
TableHold::~TableHold() = default;

} // namespace px
