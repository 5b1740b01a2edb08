#pragma once

#include "scan/autoscanhost.h"
#include "session/scanplancheck.h"
#include "session/scanrecord.h"

#include <QObject>

#include <functional>
#include <memory>

class QTimer;
class TInstrumentSession;
class TThread_AutoScan;

// A scan from its start to its outcome: the worker that paces it, the scan flags and the check
// timer that reports its end. The session owns it and runs its start and stop; the worker only
// sets ScanFinished and ScanSucceeded, and the check timer reports the end through the session,
// so every report comes from one place. Every wait here lets events run, so a click, a timer
// tick, a remote command or a scan step may run inside any of these calls; they read the flags
// afresh after each wait.
//
// The worker and the check timer run from construction to Close(); Close() ends a running scan
// as aborted without a report, and nothing starts or reports after it.
class TScanRun : public QObject, public IAutoScanHost {
    Q_OBJECT
public:
    static constexpr int CheckScanIntervalMs = 1000;

    // reportEnd runs once per scan, from the check timer, with the flags already cleared.
    TScanRun(TInstrumentSession &session, std::function<void(TScanOutcome)> reportEnd,
             QObject *parent = nullptr);
    ~TScanRun() override;

    bool IsScanning() const { return Flags.Scanning; }
    bool IsClosed() const { return Closing; }
    // The plan goes to the worker before the flags are set: the next step moves as soon as it
    // sees Scanning.
    void Begin(const TScanPlan &plan);
    // The check timer keeps its period while it runs.
    void EnsureChecking();
    // A start refused after the lock was taken leaves the flags as they were before it.
    void ClearFlags() { Flags = TScanFlags{}; }
    void RequestAbort() { Flags.AbortRequested = true; }
    // Waits up to about 3 s, with events running, for the check timer to report the abort;
    // answers whether the scan is over.
    bool WaitForStop();
    void Close();

    // IAutoScanHost, on the UI thread.
    TScanFlags &ScanFlags() override { return Flags; }
    bool IsLinkBusy() const override;
    bool GoToSetPoint(double cwl, double fwhm) override;
    void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                      double LW) override;

    QTimer &CheckTimer() { return *Timer_CheckScan; }

private:
    void Timer_CheckScanTimer();

    TInstrumentSession &Session;
    const std::function<void(TScanOutcome)> ReportEnd;
    bool Closing = false;
    TScanFlags Flags;
    std::unique_ptr<TThread_AutoScan> Worker;
    QTimer *Timer_CheckScan = nullptr;
};
