#pragma once

#include "scan/autoscanhost.h"

#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QtGlobal>

#include <memory>

// The process's monotonic clock, the worker's default: it keeps counting evenly when the
// date-time is changed, so a clock change during a scan neither cuts a dwell short nor holds it.
const IMonotonicClock &SteadyClock();

// The centres a scan plan visits, in the worker's own steps: each one rounded to 0.1 nm from the
// one before, so that the rounding of a long walk adds up as it does in the scan itself.
struct TScanWalk {
    double Start = 0.0;
    double End = 0.0;
    double Step = 0.0;

    double First() const;
    double Next(double cw) const;
    bool IsPast(double cw) const; // beyond END in the walk's direction: the scan is over
    int PointCount() const;
};

// The auto-scan worker. Its thread only paces: every 100 ms it has the UI thread run one
// ScanStep and waits until that step is done. Every field below is read and written on the UI
// thread only: by ScanStep and by the scan run, which fills the plan copy and sets StepCount to
// 0 before it sets its Scanning flag.
class TThread_AutoScan final : public QThread {
    Q_OBJECT
public:
    // host and clock must outlive the worker.
    explicit TThread_AutoScan(IAutoScanHost &host, const IMonotonicClock &clock = SteadyClock());
    // Runs Stop().
    ~TThread_AutoScan() override;

    // Starts the pacing thread; LastStepTime is set here, on the UI thread.
    void Start();
    // Ends the pacing thread and drops a step request that has not run yet; no step runs after
    // it. Final, safe to repeat, and never waits on the UI thread, so it may be called after the
    // event loop has returned, in a nested wait, or from inside a running step.
    void Stop();

    // One tick of the scan, on the UI thread.
    void ScanStep();

    qint64 LastStepTime = 0; // clock ms: when the current point's move was started
    qint64 TickTime = 0;     // clock ms: read at the start of the current step
    qint32 DwellMs = 0;      // TimeDelay in whole ms
    qint32 ElapsedMs = 0;    // ms from LastStepTime to TickTime
    double CurrentCW = 0.0;  // nm, on the 0.1 nm grid
    double CurrentFWHM = 0.0;
    double CurrentSW = 0.0; // nm, two decimals
    double CurrentLW = 0.0;
    qint32 StepCount = 0; // points started in the current scan; 0 = not moved yet

    // The copy of the validated scan plan (nm; TimeDelay in s).
    double MinCWForFWHM = 0.0;
    double MaxCWForFWHM = 0.0;
    double START = 0.0;
    double END = 0.0;
    double FWHM = 0.0;
    double STEP = 0.0;
    double TimeDelay = 0.0;

protected:
    void run() override;

private:
    using QThread::start; // Start() sets LastStepTime first

    // Steps 2 to 11 of a tick; false when the tick must end without processing events.
    bool Advance(TScanFlags &flags, const QPointer<TThread_AutoScan> &alive);
    // True once the worker was deleted or stopped during a call into the host: the scan run may be
    // gone then, so the step must touch neither it nor, when deleted, the worker. Static, as the
    // worker may no longer exist.
    static bool Abandoned(const QPointer<TThread_AutoScan> &alive);

    IAutoScanHost &Host;
    const IMonotonicClock &Clock;
    // Released once per step that has run, and by Stop(), which thereby frees the pacing thread
    // even from a request that will never run. Shared with each request, so that a step that
    // outlives this object (deleted from inside it) still releases a live semaphore.
    const std::shared_ptr<QSemaphore> StepDone = std::make_shared<QSemaphore>();
    // Set by Stop(). The thread's own interruption flag reads false again once the thread has
    // ended, so a step that outlives the thread needs this one.
    bool Stopped = false;
};
