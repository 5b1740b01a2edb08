#include "scan/threadautoscan.h"

#include "core/band.h"
#include "core/eventwait.h"
#include "core/numbers.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

class TSteadyClock final : public IMonotonicClock {
public:
    qint64 NowMs() const override {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

constexpr unsigned long TickSleepMs = 100;

} // namespace

const IMonotonicClock &SteadyClock() {
    static const TSteadyClock clock;
    return clock;
}

double TScanWalk::First() const {
    return RoundTo(Start, -1);
}

double TScanWalk::Next(double cw) const {
    return RoundTo(Start > End ? cw - Step : cw + Step, -1);
}

bool TScanWalk::IsPast(double cw) const {
    return Start > End ? cw < End : cw > End;
}

int TScanWalk::PointCount() const {
    int count = 0;
    for (double cw = First(); !IsPast(cw); ++count) {
        const double next = Next(cw);
        // A step that rounds to nothing never reaches the end; the plan check refuses it.
        if (next == cw)
            return count + 1;
        cw = next;
    }
    return count;
}

TThread_AutoScan::TThread_AutoScan(IAutoScanHost &host, const IMonotonicClock &clock)
    : Host(host), Clock(clock) {}

TThread_AutoScan::~TThread_AutoScan() {
    Stop();
}

void TThread_AutoScan::Start() {
    // A stopped worker stays stopped: its semaphore no longer counts one release per step.
    if (Stopped)
        return;
    LastStepTime = Clock.NowMs();
    start();
}

void TThread_AutoScan::Stop() {
    Stopped = true;
    requestInterruption();
    // The thread may be waiting for a step that will never run: the event loop has returned, or
    // the running step is below us on this stack. Release it rather than serve the step, so that
    // this wait never depends on the UI thread.
    StepDone->release();
    wait();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void TThread_AutoScan::run() {
    // Taken once, so that the loop reads nothing of the worker but its interruption flag.
    const std::shared_ptr<QSemaphore> done = StepDone;
    while (!isInterruptionRequested()) {
        // The step may delete this worker; the request holds the semaphore on its own.
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                // A move waits for its reply with events running; it must not hold back the
                // replies of a handler that has to stay responsive.
                RunOutsideHandlers(this, [this, done] {
                    if (!Stopped)
                        ScanStep();
                    done->release();
                });
            },
            Qt::QueuedConnection);
        done->acquire();
        if (isInterruptionRequested())
            break;
        msleep(TickSleepMs);
    }
}

void TThread_AutoScan::ScanStep() {
    const QPointer<TThread_AutoScan> alive(this);
    TScanFlags &flags = Host.ScanFlags();
    if (flags.Scanning && !flags.AbortRequested && !flags.ScanFinished && !Host.IsLinkBusy()) {
        try {
            if (!Advance(flags, alive))
                return;
        } catch (...) {
            if (Abandoned(alive))
                return;
            flags.ScanSucceeded = false;
            flags.ScanFinished = true;
        }
    }
    QCoreApplication::processEvents();
}

bool TThread_AutoScan::Advance(TScanFlags &flags, const QPointer<TThread_AutoScan> &alive) {
    TickTime = Clock.NowMs();
    DwellMs = static_cast<qint32>(TimeDelay * 1000.0);
    // Capped rather than wrapped: a scan started days after the previous point would otherwise
    // show a meaningless value.
    ElapsedMs = static_cast<qint32>(
        std::min<qint64>(TickTime - LastStepTime, std::numeric_limits<qint32>::max()));
    if (StepCount > 0 && ElapsedMs < DwellMs)
        return true;

    // The next dwell is counted from before the move, so that the move's own time is part of it.
    LastStepTime = TickTime;
    const TScanWalk walk{START, END, STEP};
    CurrentCW = StepCount == 0 ? walk.First() : walk.Next(CurrentCW);
    if (walk.IsPast(CurrentCW)) {
        flags.ScanSucceeded = true;
        flags.ScanFinished = true;
        return false;
    }

    CurrentFWHM = RoundTo(FWHM, -1);
    const TBand band = TBand::FromCentre(CurrentCW, CurrentFWHM);
    CurrentSW = band.SW;
    CurrentLW = band.LW;
    const bool moved = Host.GoToSetPoint(CurrentCW, CurrentFWHM);
    if (Abandoned(alive))
        return false;
    if (!moved) {
        flags.ScanSucceeded = false;
        flags.ScanFinished = true;
        return true;
    }
    Host.ShowSetPoint(MinCWForFWHM - ViewMarginNm, MaxCWForFWHM + ViewMarginNm, CurrentCW,
                      CurrentFWHM, CurrentSW, CurrentLW);
    if (Abandoned(alive))
        return false;
    ++StepCount;
    return true;
}

bool TThread_AutoScan::Abandoned(const QPointer<TThread_AutoScan> &alive) {
    return alive.isNull() || alive->Stopped;
}
