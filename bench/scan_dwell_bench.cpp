// Dwell accuracy of a scan driven by the SCAN panel against the simulated instrument: how much
// longer than the dwell the interval between two GO lines is. The worker checks the dwell once
// per 100 ms tick, so the design allows about one tick of overshoot.
#include "benchmain.h"

#include "caldata/caldataimport.h"
#include "console/formcontrolscan.h"
#include "platform/programfolder.h"
#include "sim/virtualinstrument.h"

#include "console/panelfixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

class NoDialog : public ICalFileDialog {
public:
    QString Execute(const TCalFileDialogSetup &) override { return {}; }
};

// The instrument with its default working times (moves of 30 to 300 ms) on Ports/COM1 of a
// fresh program folder, the real link, the imported table, a view and the fake main window.
struct Rig {
    QTemporaryDir folder;
    ksim::VirtualInstrument sim;
    TDevice_RedeRedirada link;
    TForm_ControlView view;
    std::unique_ptr<TCalData> table = std::make_unique<TCalData>();
    FakeConsoleHost host{link, *table, view};

    bool SetUp() {
        const QString path = folder.path() + QLatin1Char('/');
        SetProgramFolder(path);
        QString error;
        if (!sim.setLink(path + QStringLiteral("Ports/COM1")) || !sim.plug() ||
            sim.calTable()
                ->write(path + QStringLiteral("Cal"), sim.calTable()->keptName(), &error)
                .isEmpty())
            return false;
        if (!link.OpenPort(QStringLiteral("COM1")))
            return false;
        link.SetTimeOut(1000);
        if (!link.CommandDevice() || !link.CommandInfo(0) || !link.CommandInfo(1))
            return false;
        table->SetHost(&host);
        table->Model = link.GetInfo(0);
        table->Serial = link.GetInfo(1);
        NoDialog dialog;
        return ImportCalData(*table, true, path, dialog).isEmpty();
    }
};

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
        Rig rig;
        if (!rig.SetUp()) {
            state.SkipWithError("no simulated instrument");
            return;
        }
        TForm_ControlScan panel(rig.host);
        rig.host.AddPanel(panel);
        panel.ApplyRemoteParameters(QStringLiteral("580.0"), QStringLiteral("599.0"),
                                    QStringLiteral("5"), QStringLiteral("1.0"), delay);
        rig.sim.clearRecords();
        panel.Action_RemoteControl_Scan();
        if (!WaitFor([&] { return rig.host.RemoteReply.ReplyText == "SCAN SUCCESS"; }, 120000)) {
            state.SkipWithError("the scan did not succeed");
            return;
        }
        panel.close();
        std::vector<qint64> goAt;
        for (const ksim::RequestRecord &record : rig.sim.records()) {
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
