// Band lists against the simulated instrument with its default working times, side by side in
// one run: a stepped run's NEXT against one GO exchange of the same move (the run should add
// under 5 ms), a timed run's dwell measured from the move's confirmation to the next GO line
// (median within 5 ms of the entry's dwell, worst within one 100 ms tick), and the check of a
// 10,000-entry list before a run (under 50 ms).
#include "benchmain.h"

#include "caldata/caldata.h"
#include "session/sessionrig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Two cells a short move apart; both benchmarks of a move go back and forth between them.
const TBandListEntry Here{600.0, 5.0, 0.5};
const TBandListEntry There{601.0, 5.0, 0.5};

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

void Report(benchmark::State &state, std::vector<double> values, const char *name) {
    std::sort(values.begin(), values.end());
    state.counters[std::string(name) + "_median_ms"] = values[values.size() / 2];
    state.counters[std::string(name) + "_max_ms"] = values.back();
}

void BM_GoExchange(benchmark::State &state) {
    SessionRig rig;
    if (!rig.Start(ksim::InstrumentProfile{})) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    std::vector<double> ms;
    bool there = false;
    for (auto _ : state) {
        const TBandListEntry &to = there ? There : Here;
        there = !there;
        QElapsedTimer clock;
        clock.start();
        if (!rig.session->GoToSetPoint(to.CWL, to.FWHM)) {
            state.SkipWithError("a move failed");
            return;
        }
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    Report(state, ms, "go");
}

void BM_NextPoint(benchmark::State &state) {
    SessionRig rig;
    if (!rig.Start(ksim::InstrumentProfile{})) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    rig.session->BandList().Assign({Here, There});
    QByteArray reply;
    const TOutcomeHandler keep = [&reply](const TOperationOutcome &o) { reply = o.Reply; };
    rig.session->RunBandList(TRequester::Remote, QStringLiteral("10000"), true, keep);
    if (reply != "STEPLIST OK") {
        state.SkipWithError("the stepped run did not start");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        rig.session->NextBandListPoint(TRequester::Remote, keep);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!reply.startsWith("NEXT OK")) {
            state.SkipWithError("a NEXT failed");
            return;
        }
    }
    Report(state, ms, "next");
    rig.session->StopScan(TRequester::Remote);
}

// 20 points of 500 ms, each from the confirmation of its move to the next GO line as the run's
// record measures it. The simulator runs in this process, so its own clock would also count the
// link's 100 ms reply polls, which hold its reading of the line back.
void BM_TimedDwell(benchmark::State &state) {
    const int dwellMs = 500;
    std::vector<double> overshoots;
    for (auto _ : state) {
        SessionRig rig;
        if (!rig.Start(ksim::InstrumentProfile{})) {
            state.SkipWithError("no simulated instrument");
            return;
        }
        QList<TBandListEntry> entries;
        for (int i = 0; i < 20; ++i)
            entries.append(i % 2 ? There : Here);
        rig.session->BandList().Assign(entries);
        bool ended = false;
        QObject::connect(rig.session.get(), &TInstrumentSession::ScanEnded,
                         [&ended] { ended = true; });
        rig.session->RunBandList(TRequester::Remote, QStringLiteral("1"), false);
        if (!WaitFor([&] { return ended; }, 120000)) {
            state.SkipWithError("the run did not end");
            return;
        }
        const QDir scans(rig.folder.filePath(QStringLiteral("Scans")));
        QFile record(scans.filePath(scans.entryList({QStringLiteral("List *.csv")}).value(0)));
        if (!record.open(QIODevice::ReadOnly)) {
            state.SkipWithError("no record");
            return;
        }
        const QList<QByteArray> rows = record.readAll().trimmed().split('\n').mid(1);
        if (rows.size() != 20) {
            state.SkipWithError("not 20 points");
            return;
        }
        for (const QByteArray &row : rows)
            overshoots.push_back(row.split(',').at(10).toDouble() - dwellMs);
    }
    Report(state, overshoots, "overshoot");
}

void BM_CheckTenThousandEntries(benchmark::State &state) {
    SessionRig rig;
    if (!rig.Start()) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    const TCalData &table = rig.session->CalData();
    QList<TBandListEntry> entries;
    for (int i = 0; i < TBandList::MaxEntries; ++i)
        entries.append({570.0 + 0.5 * (i % 140), i % 2 ? 5.0 : 10.0, 0.1 * (1 + i % 50)});
    for (auto _ : state) {
        int passed = 0;
        for (const TBandListVerdict &verdict : CheckBandList(entries, table))
            passed += verdict.Passed ? 1 : 0;
        if (passed != entries.size()) {
            state.SkipWithError("an entry did not pass");
            return;
        }
    }
}

BENCHMARK(BM_GoExchange)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextPoint)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimedDwell)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_CheckTenThousandEntries)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
