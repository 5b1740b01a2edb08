#include "session/scanrun.h"

#include "core/eventwait.h"
#include "scan/threadautoscan.h"
#include "session/instrumentsession.h"

#include <QTimer>

namespace {
// A remote STOP waits this long for the check timer, whose period is a second, to report.
constexpr int StopWaitRounds = 30; // of StopPollMs each: about 3 s
constexpr int StopPollMs = 100;
} // namespace

TScanRun::TScanRun(TInstrumentSession &session, std::function<void(TScanOutcome)> reportEnd,
                   QObject *parent)
    : QObject(parent), Session(session), ReportEnd(std::move(reportEnd)) {
    Timer_CheckScan = new QTimer(this);
    Timer_CheckScan->setObjectName(QStringLiteral("Timer_CheckScan"));
    Timer_CheckScan->setInterval(CheckScanIntervalMs);
    connect(Timer_CheckScan, &QTimer::timeout, this, &TScanRun::Timer_CheckScanTimer);
    Worker = std::make_unique<TThread_AutoScan>(*this);
    Worker->Start();
    Timer_CheckScan->start();
}

// The worker goes with the run even when nobody closed it; its destruction stops it.
TScanRun::~TScanRun() = default;

void TScanRun::Begin(const TScanPlan &plan) {
    Worker->START = plan.START;
    Worker->END = plan.END;
    Worker->FWHM = plan.FWHM;
    Worker->STEP = plan.STEP;
    Worker->TimeDelay = plan.TimeDelay;
    Worker->MinCWForFWHM = plan.MinCWForFWHM;
    Worker->MaxCWForFWHM = plan.MaxCWForFWHM;
    Worker->StepCount = 0;
    Flags.ScanFinished = false;
    Flags.ScanSucceeded = false;
    Flags.AbortRequested = false;
    Flags.Scanning = true;
}

void TScanRun::EnsureChecking() {
    if (!Timer_CheckScan->isActive())
        Timer_CheckScan->start();
}

bool TScanRun::WaitForStop() {
    // A closed run's timer no longer reports, so there is nothing to wait for then.
    const auto stopped = [this] { return !Flags.Scanning || Closing; };
    if (!stopped())
        WaitWithEvents(StopWaitRounds, StopPollMs, stopped);
    return !Flags.Scanning;
}

// Stopping never waits on this thread, so it may run inside a scan step; the step then leaves
// the run alone.
void TScanRun::Close() {
    if (Flags.Scanning && !Closing)
        Session.EndScan(TScanOutcome::Aborted);
    Closing = true;
    Timer_CheckScan->stop();
    Worker.reset();
}

bool TScanRun::IsLinkBusy() const {
    return Session.IsLinkBusy();
}

bool TScanRun::GoToSetPoint(double cwl, double fwhm) {
    return Session.GoToSetPoint(cwl, fwhm);
}

void TScanRun::ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                            double LW) {
    emit Session.SetPointShown(rangeMin, rangeMax, CWL, FWHM, SW, LW);
}

void TScanRun::Timer_CheckScanTimer() {
    Timer_CheckScan->stop();
    if (Closing)
        return;
    if (Flags.Scanning && (Flags.AbortRequested || Flags.ScanFinished)) {
        // An abort wins over an end that came with it. The run is idle before anything of the
        // report is drawn: the repaint lets events run, and a command arriving there must find
        // the scan over, or a remote STOP would wait for this very report.
        const TScanOutcome outcome = Flags.AbortRequested  ? TScanOutcome::Aborted
                                     : Flags.ScanSucceeded ? TScanOutcome::Succeeded
                                                           : TScanOutcome::Failed;
        Flags = TScanFlags{};
        ReportEnd(outcome);
    }
    if (!Closing)
        Timer_CheckScan->start();
}
