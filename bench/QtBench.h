#pragma once

// The start shared by the benchmarks that show windows: offscreen unless a platform is set,
// the designed font, Brazilian Portuguese, and Google Benchmark's own arguments.

#include <QFont>
#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <benchmark/benchmark.h>

namespace benchdata {

// Before the application object is made.
inline void offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// After the application object is made; false when an argument is not Google Benchmark's.
inline bool startWindowedBenchmark(int &argc, char **argv)
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    benchmark::Initialize(&argc, argv);
    return !benchmark::ReportUnrecognizedArguments(argc, argv);
}

} // namespace benchdata
