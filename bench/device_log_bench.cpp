// Communication-log entries per second, with an empty log and with one of 100 000 lines: an
// entry is appended, so its cost must not grow with the log.
#include "benchmain.h"

#include "device/devicerederedirada.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const char Reply[] = "POS 3 1200 3400 560\r";

void LogEntries(benchmark::State &state, int linesBefore) {
    QTemporaryDir dir;
    TDevice_RedeRedirada link;
    link.StartLog(dir.path() + QStringLiteral("/Log/"));
    for (int i = 0; i < linesBefore; ++i)
        link.AddLog(QStringLiteral("Send Command <POS 3>"));
    const qint64 sizeBefore = QFileInfo(link.logFilePath()).size();
    for (auto _ : state) {
        if (!link.AddLog(QStringLiteral("OnRxChar (20)"), Reply, int(sizeof Reply - 1)))
            state.SkipWithError("log entry failed");
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["log_bytes_before"] = double(sizeBefore);
}

void BM_LogEntry_EmptyLog(benchmark::State &state) {
    LogEntries(state, 0);
}
void BM_LogEntry_Log100000Lines(benchmark::State &state) {
    LogEntries(state, 100000);
}

BENCHMARK(BM_LogEntry_EmptyLog)->UseRealTime();
BENCHMARK(BM_LogEntry_Log100000Lines)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
