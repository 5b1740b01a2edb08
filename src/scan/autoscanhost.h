#pragma once

#include <QtGlobal>

// The scan flags. The scan run owns them; the scan step and the session read and
// write them on the UI thread only.
struct TScanFlags {
    bool Scanning = false;       // a scan is in progress
    bool AbortRequested = false; // the running scan is to be stopped
    bool ScanSucceeded = false;  // meaningful when ScanFinished: the scan passed END
    bool ScanFinished = false;   // the worker has ended the scan
};

// What a scan step needs from the scan run that owns the worker, all on the UI thread.
class IAutoScanHost {
public:
    virtual ~IAutoScanHost() = default;
    virtual TScanFlags &ScanFlags() = 0;
    virtual bool GoToSetPoint(double cwl, double fwhm) = 0;
    // The instrument link is waiting for the reply of another exchange (a step can come while
    // another handler waits); the step then waits for the next tick instead of moving.
    virtual bool IsLinkBusy() const { return false; }
    virtual void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                              double LW) = 0;
};

// A monotonic millisecond clock; tests drive their own.
class IMonotonicClock {
public:
    virtual ~IMonotonicClock() = default;
    virtual qint64 NowMs() const = 0;
};
