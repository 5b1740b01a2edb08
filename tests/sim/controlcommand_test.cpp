#include "sim/controlcommand.h"

#include "sim/virtualinstrument.h"

#include <gtest/gtest.h>

using ksim::ExecuteControlCommand;
using ksim::FaultPlan;
using ksim::InfoAnswer;
using ksim::UnplugMode;
using ksim::VirtualInstrument;

namespace {

QString Reply(VirtualInstrument &sim, const char *line) {
    return ExecuteControlCommand(sim, QString::fromLatin1(line)).reply;
}

} // namespace

TEST(ControlCommand, setsEachFaultOfThePlan) {
    VirtualInstrument sim;
    for (const char *line :
         {"noreply 3", "delay 250", "noise 4", "echo on", "crlf on", "split 3 80",
          "id  Quilm FM Ver2.0 ", "bken-invert on", "info 0 \"F 612\"", "info 1 empty",
          "info 2 none", "unplug-after 5 dangle"})
        ASSERT_EQ(Reply(sim, line), QStringLiteral("OK")) << line;
    const FaultPlan &f = sim.faults();
    EXPECT_EQ(f.unanswered, 3);
    EXPECT_EQ(f.extraDelayMs, 250);
    EXPECT_EQ(f.noiseBytes, 4);
    EXPECT_TRUE(f.echo);
    EXPECT_TRUE(f.crlf);
    EXPECT_EQ(f.splitPieces, 3);
    EXPECT_EQ(f.splitPauseMs, 80);
    EXPECT_EQ(f.identification, QByteArray("Quilm FM Ver2.0"));
    EXPECT_TRUE(f.bkenInverted);
    EXPECT_EQ(f.info.value(0).mode, InfoAnswer::Mode::Value);
    EXPECT_EQ(f.info.value(0).value, QByteArray("\"F 612\""));
    EXPECT_EQ(f.info.value(1).mode, InfoAnswer::Mode::Empty);
    EXPECT_EQ(f.info.value(2).mode, InfoAnswer::Mode::Silent);
    EXPECT_EQ(f.unplugAfter, 5);
    EXPECT_EQ(f.unplugMode, UnplugMode::DangleLink);

    EXPECT_EQ(Reply(sim, "noreply on"), QStringLiteral("OK"));
    EXPECT_EQ(sim.faults().unanswered, FaultPlan::kEveryRequest);
    EXPECT_EQ(Reply(sim, "info 0 default"), QStringLiteral("OK"));
    EXPECT_FALSE(sim.faults().info.contains(0));
    EXPECT_EQ(Reply(sim, "id default"), QStringLiteral("OK"));
    EXPECT_TRUE(sim.faults().identification.isEmpty());

    EXPECT_EQ(Reply(sim, "reset"), QStringLiteral("OK"));
    EXPECT_EQ(sim.faults().unanswered, 0);
    EXPECT_FALSE(sim.faults().echo);
    EXPECT_TRUE(sim.faults().info.isEmpty());
    EXPECT_EQ(sim.faults().unplugAfter, 0);
}

TEST(ControlCommand, changesTheWorkingTimes) {
    VirtualInstrument sim;
    const ksim::Timing &t = sim.model().profile().timing;
    EXPECT_EQ(Reply(sim, "timing homing 1200"), QStringLiteral("OK"));
    EXPECT_EQ(Reply(sim, "timing reply 3"), QStringLiteral("OK"));
    EXPECT_EQ(Reply(sim, "timing move 40 60"), QStringLiteral("OK"));
    EXPECT_EQ(t.homingMs, 1200);
    EXPECT_EQ(t.replyMs, 3);
    EXPECT_EQ(t.moveBaseMs, 40);
    EXPECT_EQ(t.moveMsPer1000, 60);
    EXPECT_EQ(Reply(sim, "timing fast"), QStringLiteral("OK"));
    EXPECT_EQ(t.homingMs, ksim::Timing::fast().homingMs);
    EXPECT_EQ(Reply(sim, "timing default"), QStringLiteral("OK"));
    EXPECT_EQ(t.homingMs, ksim::Timing().homingMs);
}

class BadControlLine : public ::testing::TestWithParam<const char *> {};

TEST_P(BadControlLine, isRefusedAndChangesNothing) {
    VirtualInstrument sim;
    EXPECT_TRUE(Reply(sim, GetParam()).startsWith(QLatin1String("ERR"))) << GetParam();
    const FaultPlan &f = sim.faults();
    EXPECT_EQ(f.unanswered, 0);
    EXPECT_EQ(f.extraDelayMs, 0);
    EXPECT_EQ(f.splitPieces, 1);
    EXPECT_EQ(f.unplugAfter, 0);
    EXPECT_EQ(sim.model().profile().timing.homingMs, ksim::Timing().homingMs);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadControlLine,
    ::testing::Values("", "   ", "frobnicate", "noreply", "noreply maybe", "noreply -2", "delay",
                      "delay -1", "delay 10 20", "echo yes", "crlf", "split 0", "split 2 x",
                      "split 2 10 10", "info", "info 1", "info x y", "info 10 y", "unplug sideways",
                      "unplug-after", "unplug-after x", "unplug-after 2 sideways", "timing",
                      "timing slow", "timing homing", "timing homing -5", "timing move 10",
                      "timing move 10 x", "status now", "id"));

TEST(ControlCommand, statusReportsStateAndCounters) {
    VirtualInstrument sim;
    const QString status = Reply(sim, "status");
    EXPECT_TRUE(status.startsWith(QLatin1String("OK plugged=0 ")));
    for (const char *field :
         {" requests=0", " ID=0", " HOME=0", " POS=0", " GO=0", " INFO=0", " BKEN=0", " OTHER=0",
          " go-mismatch=0", " positions=0,0,0", " bken=1"})
        EXPECT_TRUE(status.contains(QLatin1String(field))) << field;
}

TEST(ControlCommand, quitIsPassedToTheController) {
    VirtualInstrument sim;
    EXPECT_TRUE(ExecuteControlCommand(sim, QStringLiteral("quit")).quit);
    EXPECT_FALSE(ExecuteControlCommand(sim, QStringLiteral("status")).quit);
    EXPECT_TRUE(Reply(sim, "help").contains(QLatin1String("unplug-after")));
}
