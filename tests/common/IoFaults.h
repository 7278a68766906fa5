#pragma once

// Test-only hooks for the engine's I/O layer: a fault armed from its text (the test program of
// bl-tool reads it from its environment), and a torn write with nothing after it, as a power
// cut or a pulled stick leaves the medium.

#include "paradox/PxFile.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace pxtest {

// "kill:N", "enospc:N" or "eio:N": the N-th operation of the process (counted from 1 over every
// write, truncation, flush, removal and rename) kills it or fails with that error. Returns
// false, installing nothing, when faultText is none of these.
bool installFault(const QByteArray &faultText);

// Watches an operation's writes. While counting, it only lists them. Armed at (write, keep),
// the write with that index reaches the file with its first keep bytes only, and every
// operation after it is dropped: the files hold what a device that tore that write left.
class TearHook : public px::io::Hook
{
public:
    struct Write
    {
        QString path;
        qint64 offset;
        qint64 length;
    };

    TearHook();
    ~TearHook() override;
    TearHook(const TearHook &) = delete;
    TearHook &operator=(const TearHook &) = delete;

    void count();                     // list the writes, change nothing
    void arm(int write, qint64 keep); // tear that write after keep bytes
    const std::vector<Write> &writes() const { return m_writes; }
    bool torn() const { return m_torn; }  // the armed write came

    // The lengths a write may leave behind, torn at 512-byte sectors of the file: none, each
    // sector boundary inside it, all.
    static std::vector<qint64> tearPoints(qint64 offset, qint64 length);

    px::io::Verdict before(const px::io::Event &e) override;

private:
    std::vector<Write> m_writes;
    int m_armed = -1;
    qint64 m_keep = 0;
    bool m_torn = false;
    int m_seen = 0;
};

} // namespace pxtest
