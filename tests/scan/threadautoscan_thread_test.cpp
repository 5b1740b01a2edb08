// The pacing thread with the real clock, and stopping it in every state it can be stopped in.
#include "scan/scantestsupport.h"
#include "scan/threadautoscan.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int TickMs = 100;

class ScanThreadTest : public ::testing::Test {
protected:
    TFakeScanHost Host;
    std::unique_ptr<TThread_AutoScan> Worker = std::make_unique<TThread_AutoScan>(Host);

    void StartScan(double start, double end, double timeDelay) {
        Worker->START = start;
        Worker->END = end;
        Worker->STEP = 10.0;
        Worker->FWHM = 5.0;
        Worker->TimeDelay = timeDelay;
        Worker->StepCount = 0;
        Host.Flags.Scanning = true;
    }
    void StopGuarded() {
        const TDeadlockGuard guard("Stop()");
        Worker->Stop();
    }
    void DeleteGuarded() {
        const TDeadlockGuard guard("deleting the worker");
        Worker.reset();
    }
    // No step may come once the worker is stopped; three ticks give a stray one time to show.
    void ExpectNoMoreSteps() {
        const int reads = Host.FlagReads;
        QTest::qWait(3 * TickMs);
        EXPECT_EQ(Host.FlagReads, reads);
    }
};

class ScanThreadDwellTest : public ScanThreadTest, public ::testing::WithParamInterface<double> {};

// Timed by step starts, not by wall-clock spacing, so that a loaded machine cannot fail it: each
// move comes at the first tick at or after the dwell, ticks at least 100 ms apart.
TEST_P(ScanThreadDwellTest, EachMoveComesAtTheFirstTickAfterTheDwell) {
    QElapsedTimer real;
    std::vector<qint64> stepAtNs;
    std::vector<size_t> movingStep;
    Host.OnStep = [&] { stepAtNs.push_back(real.nsecsElapsed()); };
    Host.OnGo = [&](double) {
        movingStep.push_back(stepAtNs.size() - 1);
        return true;
    };
    StartScan(580.0, 600.0, GetParam());
    real.start();
    Worker->Start();
    ASSERT_TRUE(WaitUntil([this] { return Host.Flags.ScanFinished; }));
    EXPECT_TRUE(Host.Flags.ScanSucceeded);
    ASSERT_EQ(movingStep.size(), 3u);

    // The worker's clock counts whole milliseconds, hence the one of tolerance.
    const qint64 msNs = 1000000;
    const qint64 dwellNs = Worker->DwellMs * msNs;
    for (size_t i = 1; i < movingStep.size(); ++i) {
        const qint64 from = stepAtNs[movingStep[i - 1]];
        EXPECT_GE(stepAtNs[movingStep[i]] - from, dwellNs - msNs) << "move " << i;
        for (size_t s = movingStep[i - 1] + 1; s < movingStep[i]; ++s)
            EXPECT_LT(stepAtNs[s] - from, dwellNs + msNs) << "a tick past the dwell went unused";
    }
    for (size_t s = 1; s < stepAtNs.size(); ++s)
        EXPECT_GE(stepAtNs[s] - stepAtNs[s - 1], (TickMs - 1) * msNs) << "tick " << s;
}

INSTANTIATE_TEST_SUITE_P(RealClock, ScanThreadDwellTest, ::testing::Values(0.15, 0.3));

TEST_F(ScanThreadTest, StopWhileIdleEndsTheTicks) {
    Worker->Start();
    ASSERT_TRUE(WaitUntil([this] { return Host.FlagReads >= 2; }));
    StopGuarded();
    EXPECT_TRUE(Worker->isFinished());
    ExpectNoMoreSteps();
}

TEST_F(ScanThreadTest, StopBeforeStartAndTwiceIsHarmless) {
    StopGuarded();
    Worker->Start(); // stopping is final
    EXPECT_FALSE(Worker->isRunning());
    StopGuarded();
    ExpectNoMoreSteps();
    EXPECT_EQ(Host.FlagReads, 0);
}

// As at program shutdown: the event loop has returned and nothing serves the request the
// thread has queued meanwhile. Should the thread still be asleep, the stop meets that case,
// which must work as well.
TEST_F(ScanThreadTest, DeleteAfterTheEventLoopReturnedDropsTheQueuedRequest) {
    StartScan(580.0, 610.0, 0.1);
    Worker->Start();
    ASSERT_TRUE(WaitUntil([this] { return Host.Moves.size() >= 2; }));
    QThread::msleep(3 * TickMs);
    const size_t moves = Host.Moves.size();
    DeleteGuarded();
    ExpectNoMoreSteps();
    EXPECT_EQ(Host.Moves.size(), moves);
}

// The close comes while the instrument is being waited for, inside the move of a running step:
// the thread is waiting for that very step, which cannot finish before the close does.
TEST_F(ScanThreadTest, DeleteDuringTheMoveLeavesThePanelUntouched) {
    Host.OnGo = [this](double) {
        QEventLoop instrumentWait;
        QTimer::singleShot(10, [this] { DeleteGuarded(); });
        QTimer::singleShot(30, &instrumentWait, &QEventLoop::quit);
        instrumentWait.exec();
        return true;
    };
    StartScan(580.0, 610.0, 0.1);
    Worker->Start();
    ASSERT_TRUE(WaitUntil([this] { return !Worker; }));
    ExpectNoMoreSteps();
    EXPECT_EQ(Host.Moves.size(), 1u);
    EXPECT_TRUE(Host.Views.empty());
    EXPECT_FALSE(Host.Flags.ScanFinished);
}

TEST_F(ScanThreadTest, StopDuringTheMoveAbandonsTheRestOfTheStep) {
    Host.OnGo = [this](double) {
        StopGuarded();
        return false;
    };
    StartScan(580.0, 610.0, 0.1);
    Worker->Start();
    ASSERT_TRUE(WaitUntil([this] { return Worker->isFinished(); }));
    ExpectNoMoreSteps();
    EXPECT_EQ(Host.Moves.size(), 1u);
    EXPECT_FALSE(Host.Flags.ScanFinished); // the refusal is not reported to a closing panel
    EXPECT_EQ(Worker->StepCount, 0);
}

TEST_F(ScanThreadTest, DeleteDuringTheViewUpdateOrTheEventsOfTheStep) {
    for (const bool fromEvents : {false, true}) {
        SCOPED_TRACE(fromEvents ? "from the events the step processes" : "from the view update");
        Host = TFakeScanHost{};
        Worker = std::make_unique<TThread_AutoScan>(Host);
        QObject context;
        Host.OnShow = [&] {
            if (fromEvents)
                QMetaObject::invokeMethod(
                    &context, [this] { DeleteGuarded(); }, Qt::QueuedConnection);
            else
                DeleteGuarded();
        };
        StartScan(580.0, 610.0, 0.1);
        Worker->Start();
        ASSERT_TRUE(WaitUntil([this] { return !Worker; }));
        ExpectNoMoreSteps();
        EXPECT_EQ(Host.Moves.size(), 1u);
    }
}

} // namespace
