// CPU used by the auto-scan worker while no scan runs: one UI-thread round trip every 100 ms.
#include "benchmain.h"

#include "scan/threadautoscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

namespace {

class TIdleHost final : public IAutoScanHost {
public:
    TScanFlags Flags;
    qint64 Steps = 0;
    TScanFlags &ScanFlags() override {
        ++Steps;
        return Flags;
    }
    bool GoToSetPoint(double, double) override { return true; }
    void ShowSetPoint(double, double, double, double, double, double) override {}
};

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs the event loop for range(0) seconds, with the idle worker when range(1) is 1; the
// baseline without it shows what the event loop alone costs.
void BM_IdleWorkerCpu(benchmark::State &state) {
    const int periodMs = static_cast<int>(state.range(0)) * 1000;
    const bool withWorker = state.range(1) != 0;
    for (auto _ : state) {
        TIdleHost host;
        std::unique_ptr<TThread_AutoScan> worker;
        if (withWorker) {
            worker = std::make_unique<TThread_AutoScan>(host);
            worker->Start();
        }
        QEventLoop loop;
        QTimer::singleShot(periodMs, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        const double cpuBefore = ProcessCpuSeconds();
        wall.start();
        loop.exec();
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
        worker.reset();
        state.SetIterationTime(wallSeconds);
        state.counters["cpu_ms"] = cpu * 1e3;
        state.counters["cpu_percent"] = 100.0 * cpu / wallSeconds;
        state.counters["steps"] = static_cast<double>(host.Steps);
        if (host.Steps > 0)
            state.counters["cpu_us_per_step"] = cpu * 1e6 / static_cast<double>(host.Steps);
    }
}

BENCHMARK(BM_IdleWorkerCpu)
    ->ArgNames({"seconds", "worker"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({60, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
