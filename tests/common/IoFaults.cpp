#include "IoFaults.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace pxtest {

namespace {
class CountedFault : public px::io::Hook
{
public:
    CountedFault(int err, long at) : m_err(err), m_at(at) {}
    px::io::Verdict before(const px::io::Event &) override
    {
        if (++m_count != m_at)
            return {};
        if (m_err < 0)
            ::kill(::getpid(), SIGKILL);
        return px::io::Verdict{m_err};
    }

private:
    int m_err;
    long m_at;
    long m_count = 0;
};
} // namespace

bool installFault(const QByteArray &faultText)
{
    const qsizetype colon = faultText.indexOf(':');
    if (colon < 0)
        return false;
    const QByteArray what = faultText.left(colon);
    bool ok = false;
    const long at = faultText.mid(colon + 1).toLong(&ok);
    const int err = what == "enospc" ? ENOSPC : what == "eio" ? EIO : what == "kill" ? -1 : 0;
    if (err == 0 || !ok || at <= 0)
        return false;
    static std::unique_ptr<CountedFault> fault;
    fault = std::make_unique<CountedFault>(err, at);
    px::io::install(fault.get());
    return true;
}

TearHook::TearHook()
{
    px::io::install(this);
}

TearHook::~TearHook()
{
    if (px::io::g_hook == this)
        px::io::install(nullptr);
}

void TearHook::count()
{
    m_writes.clear();
    m_armed = -1;
    m_torn = false;
    m_seen = 0;
}

void TearHook::arm(int write, qint64 keep)
{
    m_writes.clear();
    m_armed = write;
    m_keep = keep;
    m_torn = false;
    m_seen = 0;
}

std::vector<qint64> TearHook::tearPoints(qint64 offset, qint64 length)
{
    std::vector<qint64> out{0};
    for (qint64 b = (offset / 512 + 1) * 512; b < offset + length; b += 512)
        out.push_back(b - offset);
    if (length > 0)
        out.push_back(length);
    return out;
}

px::io::Verdict TearHook::before(const px::io::Event &e)
{
    // After the tear nothing reaches the medium. Flushes change nothing in this model (every
    // write before the tear reached it whole), so none is made.
    if (m_torn || e.op == px::io::Op::Sync)
        return px::io::Verdict{0, true};
    if (e.op != px::io::Op::Write)
        return {};
    const int index = m_seen++;
    m_writes.push_back({e.path, e.offset, e.length});
    if (index != m_armed)
        return {};
    m_torn = true;
    return px::io::Verdict{0, false, m_keep};
}

} // namespace pxtest
