#pragma once

#include <QCoreApplication>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <type_traits>

// The body of a benchmark program's main(): the benchmarks named on the command line, run inside
// a Qt application object of type App, which the links, sockets, timers and windows need. A
// program with windows draws them off screen unless the environment names a platform.
template <typename App> int RunBenchmarks(int argc, char **argv) {
    if constexpr (!std::is_same_v<App, QCoreApplication>) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
