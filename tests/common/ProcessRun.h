#pragma once

// Runs a program to its end, the way scripts and installers run ours: input on standard input,
// both outputs and the exit code back. A program that does not start, crashes or overruns the
// time limit gives code -1.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

struct ProcessRun
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

struct ProcessOptions
{
    QByteArray input;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString cwd;                        // empty: the test's own
    std::function<void()> childSetup;   // run in the child before exec, when set
    int timeoutMs = 300000;
};

inline ProcessRun runProcess(const QString &program, const QStringList &args, const ProcessOptions &o = {})
{
    QProcess p;
    p.setProcessEnvironment(o.env);
    if (!o.cwd.isEmpty())
        p.setWorkingDirectory(o.cwd);
    if (o.childSetup)
        p.setChildProcessModifier(o.childSetup);
    p.start(program, args);
    ProcessRun r;
    if (!p.waitForStarted(30000))
        return r;
    p.write(o.input);
    p.closeWriteChannel();
    if (!p.waitForFinished(o.timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
