#pragma once

#include "scan/autoscanhost.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The SCAN panel as the worker sees it: records every call, and lets a test act inside the move
// or the view update.
class TFakeScanHost : public IAutoScanHost {
public:
    struct TView {
        double RangeMin, RangeMax, CWL, FWHM, SW, LW;
    };

    TScanFlags Flags;
    int FlagReads = 0;         // one per step that ran
    std::vector<double> Moves; // the CWL of every GoToSetPoint
    std::vector<double> MoveFWHMs;
    std::vector<TView> Views;
    std::function<bool(double cwl)> OnGo; // unset: every move succeeds
    std::function<void()> OnShow;
    std::function<void()> OnStep; // at the start of every step
    bool LinkBusy = false;        // another exchange awaits its reply

    bool IsLinkBusy() const override { return LinkBusy; }

    TScanFlags &ScanFlags() override {
        ++FlagReads;
        if (OnStep)
            OnStep();
        return Flags;
    }
    bool GoToSetPoint(double cwl, double fwhm) override {
        Moves.push_back(cwl);
        MoveFWHMs.push_back(fwhm);
        return OnGo ? OnGo(cwl) : true;
    }
    void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                      double LW) override {
        Views.push_back({rangeMin, rangeMax, CWL, FWHM, SW, LW});
        if (OnShow)
            OnShow();
    }
};

// A clock that moves only when the test says so.
class TTestClock : public IMonotonicClock {
public:
    qint64 Now = 1000;
    qint64 NowMs() const override { return Now; }
};

// Runs an event loop until cond holds or the time is up; the result is cond's last value.
inline bool WaitUntil(const std::function<bool()> &cond, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cond() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(5);
    if (!cond())
        loop.exec();
    return cond();
}

// Aborts the test program when the guarded scope has not been left in time, so that a deadlock
// fails with a message instead of hanging until the runner's time-out.
class TDeadlockGuard {
public:
    explicit TDeadlockGuard(const char *what, std::chrono::seconds limit = std::chrono::seconds(10))
        : Watcher([this, what, limit] {
              std::unique_lock<std::mutex> lock(Mutex);
              if (!Left.wait_for(lock, limit, [this] { return Done; })) {
                  std::fprintf(stderr, "Deadlock: %s did not return in time\n", what);
                  std::abort();
              }
          }) {}
    ~TDeadlockGuard() {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Done = true;
        }
        Left.notify_one();
        Watcher.join();
    }

private:
    std::mutex Mutex; // protects Done
    std::condition_variable Left;
    bool Done = false;
    std::thread Watcher;
};
