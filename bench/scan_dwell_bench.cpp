// Dwell accuracy of a scan driven by the SCAN panel against the simulated instrument: how much
// longer than the dwell the interval between two GO lines is. The worker checks the dwell once
// per 100 ms tick, so the design allows about one tick of overshoot.
#include "benchmain.h"

#include "console/formcontrolscan.h"
#include "sim/virtualinstrument.h"

#include "console/panelfixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

// One scan of 20 points, 580.0 to 599.0 nm by 1.0 nm at 5 nm, dwelling range(0) ms.
void BM_ScanDwellOvershoot(benchmark::State &state) {
    const qint64 dwellMs = state.range(0);
    const QString delay = QString::number(double(dwellMs) / 1000.0, 'f', 1);
    std::vector<double> overshoots;
    for (auto _ : state) {
        // The instrument with its default working times (moves of 30 to 300 ms).
        SessionRig rig;
        if (!rig.Start(ksim::InstrumentProfile{})) {
            state.SkipWithError("no simulated instrument");
            return;
        }
        TForm_ControlView view;
        RecordingConsole console(view);
        TForm_ControlScan panel(*rig.session, console);
        panel.ApplyRemoteParameters(QStringLiteral("580.0"), QStringLiteral("599.0"),
                                    QStringLiteral("5"), QStringLiteral("1.0"), delay);
        rig.sim->clearRecords();
        panel.Action_RemoteControl_Scan();
        if (!WaitFor([&] { return console.RemoteReply.ReplyText == "SCAN SUCCESS"; }, 120000)) {
            state.SkipWithError("the scan did not succeed");
            return;
        }
        panel.close();
        std::vector<qint64> goAt;
        for (const ksim::RequestRecord &record : rig.sim->records()) {
            if (record.kind == ksim::RequestKind::Go)
                goAt.push_back(record.monotonicMs);
        }
        if (goAt.size() != 20) {
            state.SkipWithError("not 20 moves");
            return;
        }
        for (size_t i = 1; i < goAt.size(); ++i)
            overshoots.push_back(double(goAt[i] - goAt[i - 1] - dwellMs));
    }
    std::sort(overshoots.begin(), overshoots.end());
    state.counters["intervals"] = double(overshoots.size());
    state.counters["overshoot_min_ms"] = overshoots.front();
    state.counters["overshoot_median_ms"] = overshoots[overshoots.size() / 2];
    state.counters["overshoot_max_ms"] = overshoots.back();
}

BENCHMARK(BM_ScanDwellOvershoot)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
