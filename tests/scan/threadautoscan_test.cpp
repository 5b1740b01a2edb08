// The scan step, driven tick by tick with a test clock; the pacing thread is not started.
#include "scan/scantestsupport.h"
#include "scan/threadautoscan.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr qint64 TickMs = 100;

class ScanStepTest : public ::testing::Test {
protected:
    TFakeScanHost Host;
    TTestClock Clock;
    TThread_AutoScan Worker{Host, Clock};

    // What the SCAN panel does at a scan start.
    void StartScan(double start, double end, double step, double timeDelay = 1.0,
                   double fwhm = 5.0) {
        Worker.MinCWForFWHM = 550.0;
        Worker.MaxCWForFWHM = 650.0;
        Worker.START = start;
        Worker.END = end;
        Worker.FWHM = fwhm;
        Worker.STEP = step;
        Worker.TimeDelay = timeDelay;
        Worker.StepCount = 0;
        Host.Flags = TScanFlags{};
        Host.Flags.Scanning = true;
    }
    // One tick, then the tick interval passes.
    void Tick() {
        Worker.ScanStep();
        Clock.Now += TickMs;
    }
    void RunToEnd() {
        for (int i = 0; i < 100000 && !Host.Flags.ScanFinished; ++i)
            Tick();
    }
    // Whether a step let pending events run.
    bool StepProcessesEvents() {
        QObject probe; // takes its request along if the step left it pending
        bool ran = false;
        QMetaObject::invokeMethod(
            &probe, [&ran] { ran = true; }, Qt::QueuedConnection);
        Worker.ScanStep();
        return ran;
    }
};

struct TPlanCase {
    const char *Name;
    double Start, End, Step;
    std::vector<double> Points;
};

void PrintTo(const TPlanCase &plan, std::ostream *out) {
    *out << plan.Name;
}

class ScanPlanTest : public ScanStepTest, public ::testing::WithParamInterface<TPlanCase> {};

TEST_P(ScanPlanTest, VisitsEachPointOnceThenSucceeds) {
    const TPlanCase &plan = GetParam();
    StartScan(plan.Start, plan.End, plan.Step);
    RunToEnd();
    EXPECT_EQ(Host.Moves, plan.Points);
    EXPECT_EQ(Host.Views.size(), plan.Points.size());
    EXPECT_EQ(Worker.StepCount, static_cast<int>(plan.Points.size()));
    EXPECT_EQ((TScanWalk{plan.Start, plan.End, plan.Step}.PointCount()),
              static_cast<int>(plan.Points.size()));
    EXPECT_TRUE(Host.Flags.ScanFinished);
    EXPECT_TRUE(Host.Flags.ScanSucceeded);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, ScanPlanTest,
    ::testing::Values(TPlanCase{"Ascending", 580.0, 610.0, 10.0, {580.0, 590.0, 600.0, 610.0}},
                      TPlanCase{"Descending", 610.0, 580.0, 10.0, {610.0, 600.0, 590.0, 580.0}},
                      TPlanCase{"EndOffTheStepGrid", 580.0, 605.0, 10.0, {580.0, 590.0, 600.0}},
                      TPlanCase{
                          "DescendingEndOffTheStepGrid", 610.0, 585.0, 10.0, {610.0, 600.0, 590.0}},
                      TPlanCase{"SinglePoint", 600.0, 600.0, 10.0, {600.0}},
                      TPlanCase{"StepWiderThanThePlan", 600.0, 605.0, 10.0, {600.0}}),
    [](const ::testing::TestParamInfo<TPlanCase> &info) { return info.param.Name; });

TEST_F(ScanStepTest, PointsStayOnTheTenthGridOverManySmallSteps) {
    StartScan(500.0, 510.0, 0.1, 0.1);
    RunToEnd();
    ASSERT_EQ(Host.Moves.size(), 101u);
    EXPECT_EQ((TScanWalk{500.0, 510.0, 0.1}.PointCount()), 101);
    for (int i = 0; i <= 100; ++i)
        EXPECT_EQ(Host.Moves[i], (5000 + i) / 10.0) << "point " << i;
    EXPECT_TRUE(Host.Flags.ScanSucceeded);
}

TEST_F(ScanStepTest, EdgesAreRoundedToTwoDecimalsAndTheViewSpansThePlanRange) {
    StartScan(600.0, 600.0, 1.0);
    Tick();
    ASSERT_EQ(Host.Views.size(), 1u);
    const TFakeScanHost::TView &view = Host.Views[0];
    EXPECT_EQ(view.RangeMin, 540.0);
    EXPECT_EQ(view.RangeMax, 660.0);
    EXPECT_EQ(view.CWL, 600.0);
    EXPECT_EQ(view.FWHM, 5.0);
    EXPECT_EQ(view.SW, 597.5);
    EXPECT_EQ(view.LW, 602.5);

    // FWHM to one decimal before it is used; the edges of 600.1 +- 0.15 land on 599.95, 600.25.
    StartScan(600.1, 600.1, 1.0, 1.0, 0.34);
    Tick();
    ASSERT_EQ(Host.Views.size(), 2u);
    EXPECT_EQ(Host.MoveFWHMs.back(), 0.3);
    EXPECT_EQ(Host.Views[1].SW, 599.95);
    EXPECT_EQ(Host.Views[1].LW, 600.25);
}

TEST_F(ScanStepTest, NextPointComesWhenTheDwellHasPassed) {
    StartScan(580.0, 610.0, 10.0, 10.0);
    Worker.ScanStep(); // the first point at once
    ASSERT_EQ(Host.Moves.size(), 1u);
    EXPECT_EQ(Worker.DwellMs, 10000);
    EXPECT_EQ(Worker.LastStepTime, 1000);

    Clock.Now = 1000 + 9999;
    Worker.ScanStep();
    EXPECT_EQ(Worker.ElapsedMs, 9999);
    EXPECT_EQ(Host.Moves.size(), 1u);

    Clock.Now = 1000 + 10000;
    Worker.ScanStep();
    EXPECT_EQ(Worker.ElapsedMs, 10000);
    ASSERT_EQ(Host.Moves.size(), 2u);
    EXPECT_EQ(Worker.LastStepTime, Clock.Now);
}

TEST_F(ScanStepTest, DwellIsCountedFromTheStartOfTheMove) {
    Host.OnGo = [this](double) {
        Clock.Now += 400; // the instrument takes its time
        return true;
    };
    StartScan(580.0, 610.0, 10.0, 1.0);
    Worker.ScanStep();
    Clock.Now = 1000 + 999;
    Worker.ScanStep();
    EXPECT_EQ(Host.Moves.size(), 1u);
    Clock.Now = 1000 + 1000;
    Worker.ScanStep();
    EXPECT_EQ(Host.Moves.size(), 2u);
}

TEST_F(ScanStepTest, LastPointIsHeldOneDwellBeforeSuccess) {
    StartScan(600.0, 600.0, 10.0, 2.0);
    Worker.ScanStep();
    Clock.Now += 1999;
    EXPECT_TRUE(StepProcessesEvents());
    EXPECT_FALSE(Host.Flags.ScanFinished);
    Clock.Now += 1;
    EXPECT_FALSE(StepProcessesEvents()); // the end returns at once
    EXPECT_TRUE(Host.Flags.ScanFinished);
    EXPECT_TRUE(Host.Flags.ScanSucceeded);
    EXPECT_EQ(Host.Moves.size(), 1u);
}

TEST_F(ScanStepTest, RefusedMoveEndsTheScanAsFailure) {
    Host.OnGo = [](double cwl) { return cwl != 600.0; };
    StartScan(580.0, 610.0, 10.0);
    RunToEnd();
    EXPECT_EQ(Host.Moves, (std::vector<double>{580.0, 590.0, 600.0}));
    EXPECT_EQ(Host.Views.size(), 2u);
    EXPECT_EQ(Worker.StepCount, 2);
    EXPECT_TRUE(Host.Flags.ScanFinished);
    EXPECT_FALSE(Host.Flags.ScanSucceeded);

    Clock.Now += 60000;
    Tick();
    EXPECT_EQ(Host.Moves.size(), 3u); // ended: nothing more until the panel clears the flags
}

TEST_F(ScanStepTest, ExceptionInTheStepEndsTheScanAsFailure) {
    Host.OnGo = [](double) -> bool { throw std::runtime_error("port gone"); };
    StartScan(580.0, 610.0, 10.0);
    Host.Flags.ScanSucceeded = true;
    EXPECT_TRUE(StepProcessesEvents());
    EXPECT_TRUE(Host.Flags.ScanFinished);
    EXPECT_FALSE(Host.Flags.ScanSucceeded);
    EXPECT_EQ(Worker.StepCount, 0);
    EXPECT_TRUE(Host.Views.empty());
}

TEST_F(ScanStepTest, AbortDuringADwellStopsMovingAndKeepsTheCount) {
    StartScan(580.0, 610.0, 10.0);
    Tick();
    Clock.Now += 1000;
    Tick();
    Host.Flags.AbortRequested = true;
    Clock.Now += 60000;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(StepProcessesEvents());
    EXPECT_EQ(Host.Moves.size(), 2u);
    EXPECT_EQ(Worker.StepCount, 2);
    EXPECT_FALSE(Host.Flags.ScanFinished);
}

TEST_F(ScanStepTest, NewScanStartsAgainAtStartWithoutWaiting) {
    StartScan(580.0, 610.0, 10.0, 5.0);
    Tick();
    Clock.Now += 5000;
    Tick();
    Host.Flags.AbortRequested = true;
    Tick();

    StartScan(580.0, 610.0, 10.0, 5.0);
    Worker.ScanStep();
    EXPECT_EQ(Host.Moves, (std::vector<double>{580.0, 590.0, 580.0}));
    EXPECT_EQ(Worker.StepCount, 1);
}

TEST_F(ScanStepTest, IdleStepOnlyProcessesEvents) {
    StartScan(580.0, 610.0, 10.0);
    Host.Flags.Scanning = false;
    EXPECT_TRUE(StepProcessesEvents());
    Host.Flags.Scanning = true;
    Host.Flags.ScanFinished = true;
    EXPECT_TRUE(StepProcessesEvents());
    EXPECT_TRUE(Host.Moves.empty());
    EXPECT_EQ(Worker.TickTime, 0);
}

// A step that comes while another exchange awaits its reply does not move; the next one does.
TEST_F(ScanStepTest, BusyLinkPostponesTheMoveToALaterTick) {
    StartScan(580.0, 610.0, 10.0);
    Host.LinkBusy = true;
    EXPECT_TRUE(StepProcessesEvents());
    EXPECT_TRUE(Host.Moves.empty());
    Host.LinkBusy = false;
    Worker.ScanStep();
    EXPECT_EQ(Host.Moves, std::vector<double>{580.0});
}

// The dwell is timed on the worker's clock alone: no date-time change can move it. Frozen here,
// the test clock holds the point however much real time passes.
TEST_F(ScanStepTest, DwellFollowsOnlyTheWorkersClock) {
    StartScan(580.0, 610.0, 10.0, 0.1);
    Worker.ScanStep();
    QElapsedTimer real;
    real.start();
    while (real.elapsed() < 3 * Worker.DwellMs)
        Worker.ScanStep();
    EXPECT_EQ(Host.Moves.size(), 1u);
    Clock.Now += 100;
    Worker.ScanStep();
    EXPECT_EQ(Host.Moves.size(), 2u);
}

TEST(SteadyClockTest, CountsMonotonicTimeNotTheDateTime) {
    const qint64 first = SteadyClock().NowMs();
    const qint64 wall = QDateTime::currentMSecsSinceEpoch();
    EXPECT_GT(std::llabs(wall - first), qint64(24) * 3600 * 1000 * 365);
    QElapsedTimer real;
    real.start();
    while (real.elapsed() < 20)
        ;
    const qint64 later = SteadyClock().NowMs();
    EXPECT_GE(later - first, 19);
    EXPECT_LE(later - first, real.elapsed() + 1);
}

} // namespace
