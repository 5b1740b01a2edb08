// The session's operations without a window: the guards, setting a band, homing, and a failure
// raised in the middle of one. Scans are in scanrun_test.cpp; the set-point rules themselves in
// setpointcheck_test.cpp.

#include "operationtest.h"
#include "ruletexts.h"

#include "sim/virtualinstrument.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QString RemoteActive = QStringLiteral("Remote control mode is activated. [Silver]");
const QString NotReady = QStringLiteral("Device not ready. Please connect Kestrune.");
const QString ResetNotReady = QStringLiteral("Reset failure. Device not ready.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost. [Red]");
const QString Changing = QStringLiteral("Changing wavelength and FWHM. Please wait... [Silver]");
const QString Changed = QStringLiteral("Successfully changed wavelength and FWHM. [Lime]");
const QString Restarting = QStringLiteral("Restarting device. Please wait... [Silver]");
const QString ResetDone = QStringLiteral("Reset complete. [Lime]");
// The range the view shows for the simulator's table of 400.0 .. 800.0 nm.
const QString TableRange = QStringLiteral("range 390 810");
const QString BandAt600 = QStringLiteral("band 390 810 600 5 597.5 602.5");

class SessionOperationsTest : public OperationTest {
protected:
    QString Go600() const { return rig.GoLineFor(QStringLiteral("600.0"), QStringLiteral("5.0")); }
};

// --- Guards ---------------------------------------------------------------------------------

enum class Kind { SetBand, Reset, Scan, Stop };
enum class Guard { RemoteMode, NotReady, LinkLost, LockHeld };
const char *const GuardNames[] = {"RemoteMode", "NotReady", "LinkLost", "LockHeld"};

struct OperationCase {
    const char *name;
    TRequester from;
    Kind kind;
    int inputMode; // SetBand only
    QByteArray notReadyReply;
    QString notReadyText;
};

const OperationCase Operations[] = {
    {"OperatorSetBand", TRequester::Operator, Kind::SetBand, 0, "SETC FAIL", NotReady},
    {"RemoteSetEdges", TRequester::Remote, Kind::SetBand, 1, "SETR FAIL", NotReady},
    {"OperatorReset", TRequester::Operator, Kind::Reset, 0, "RESET FAIL", ResetNotReady},
    {"RemoteReset", TRequester::Remote, Kind::Reset, 0, "RESET FAIL", ResetNotReady},
    {"OperatorScan", TRequester::Operator, Kind::Scan, 0, "SCAN FAIL", NotReady},
    {"RemoteScan", TRequester::Remote, Kind::Scan, 0, "SCAN FAIL", NotReady},
    {"OperatorStop", TRequester::Operator, Kind::Stop, 0, "", NotReady},
    {"RemoteStop", TRequester::Remote, Kind::Stop, 0, "STOP FAIL", NotReady},
};

class OperationGuards : public SessionOperationsTest,
                        public ::testing::WithParamInterface<std::tuple<OperationCase, Guard>> {
protected:
    void Run(const OperationCase &c) {
        switch (c.kind) {
        case Kind::SetBand:
            if (c.inputMode == 0)
                session().SetBand(c.from, 0, "600.0", "5.0", Record());
            else
                session().SetBand(c.from, 1, "597.5", "602.5", Record());
            break;
        case Kind::Reset:
            session().Reset(c.from, Record());
            break;
        case Kind::Scan:
            session().StartScan(c.from, {"580.0", "610.0", "5.0", "10.0", "1.0"}, Record());
            break;
        case Kind::Stop:
            session().StopScan(c.from, Record());
            break;
        }
    }
};

// Each guard is set up together with the ones after it where they can coexist, so that the
// order shows: remote mode before readiness, the link test before the lock. No refusal shows a
// button pressed or takes the lock; only the readiness refusal gives the asker an outcome.
TEST_P(OperationGuards, RefuseInTheirOrder) {
    const auto &[c, guard] = GetParam();
    switch (guard) {
    case Guard::RemoteMode:
        session().SetRemoteControlled(true);
        [[fallthrough]];
    case Guard::NotReady:
        session().Action_DeviceClose();
        break;
    case Guard::LinkLost:
        HoldLock();
        rig.sim->unplug();
        break;
    case Guard::LockHeld:
        HoldLock();
        break;
    }
    const int closes = linkCloses;
    const int takes = lockTakes;
    Run(c);

    // A remote stop makes no link test and takes no lock: with no scan there is nothing to stop.
    const bool remoteStop = c.kind == Kind::Stop && c.from == TRequester::Remote;
    QStringList expected;
    if (guard == Guard::RemoteMode && c.from == TRequester::Operator)
        expected = {RemoteActive};
    else if (guard == Guard::RemoteMode || guard == Guard::NotReady)
        expected = {"=> " + QString::fromLatin1(c.notReadyReply), c.notReadyText + " [Silver]"};
    else if (remoteStop)
        expected = {QStringLiteral("=> STOP FAIL")};
    else if (guard == Guard::LinkLost)
        expected = {LinkLost};
    EXPECT_EQ(log, expected);
    for (const TOperationOutcome &outcome : outcomes) {
        EXPECT_EQ(outcome.ErrorCode, "NONE");
        EXPECT_EQ(outcome.ErrorText, remoteStop && guard >= Guard::LinkLost
                                         ? QByteArray("No Scan.")
                                         : c.notReadyText.toLatin1());
    }
    EXPECT_EQ(RequestLines(),
              guard == Guard::LockHeld && !remoteStop ? QStringList{"POS 3"} : QStringList{});
    EXPECT_EQ(linkCloses - closes, guard == Guard::LinkLost && !remoteStop ? 1 : 0);
    EXPECT_EQ(lockTakes - takes, 0);
    EXPECT_FALSE(session().IsScanning());
}

INSTANTIATE_TEST_SUITE_P(Operations, OperationGuards,
                         ::testing::Combine(::testing::ValuesIn(Operations),
                                            ::testing::Values(Guard::RemoteMode, Guard::NotReady,
                                                              Guard::LinkLost, Guard::LockHeld)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    GuardNames[static_cast<int>(std::get<1>(info.param))];
                         });

// --- Set a band -----------------------------------------------------------------------------

// Either input mode reaches the same table cell; the reply names the mode. A remote client may
// send more characters than the operator can type, and drives the instrument under remote mode.
TEST_F(SessionOperationsTest, SetBandMovesToTheCellAndRepliesByMode) {
    const struct {
        TRequester from;
        int mode;
        const char *first, *second;
        const char *reply;
    } cases[] = {
        {TRequester::Operator, 0, "600.0", "5.0", "SETC OK"},
        {TRequester::Remote, 1, "597.5", "602.5", "SETR OK"},
        {TRequester::Remote, 0, "600.04", "5", "SETC OK"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        log.clear();
        outcomes.clear();
        rig.sim->clearRecords();
        session().SetRemoteControlled(c.from == TRequester::Remote);
        const int takes = lockTakes;
        session().SetBand(c.from, c.mode, c.first, c.second, Record());

        EXPECT_EQ(log, (QStringList{"+SetBand", Changing, BandAt600,
                                    "=> " + QString::fromLatin1(c.reply), Changed, "-SetBand"}));
        EXPECT_EQ(LastReply(), (ReplyTriple{c.reply, {}, {}}));
        EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600()}));
        EXPECT_EQ(rig.sim->records().last().check, "cell=600.0/5.0");
        EXPECT_EQ(lockTakes - takes, 1);
        EXPECT_FALSE(session().IsOperationBusy());
        ASSERT_TRUE(session().CurrentBand());
        EXPECT_EQ(session().CurrentBand()->CWL, 600.0);
    }
}

class SetBandRuleTest : public SessionOperationsTest,
                        public ::testing::WithParamInterface<SetPointRuleCase> {};

// The message shows the rule with its signs; the client reads them as their byte pairs.
TEST_P(SetBandRuleTest, RefusesWithTheRuleAfterTheLinkTestAndMovesNothing) {
    const SetPointRuleCase &c = GetParam();
    session().SetBand(TRequester::Remote, c.mode, c.first, c.second, Record());
    const QString failReply = c.mode == 0 ? "SETC FAIL" : "SETR FAIL";
    EXPECT_EQ(log, (QStringList{"+SetBand", Changing, "=> " + failReply,
                                QString::fromLatin1(c.code) + " : " + WithSigns(c.text) + " [Red]",
                                "-SetBand"}));
    EXPECT_EQ(LastReply(), (ReplyTriple{failReply.toLatin1(), c.code, WithClientSigns(c.text)}));
    EXPECT_EQ(RequestLines(), QStringList{"POS 3"});
    EXPECT_FALSE(session().IsOperationBusy());
}

// Against the simulator's table: CW 400.0 .. 800.0 by 0.5, FWHM columns 2, 3, 5, 10 ... 40.
INSTANTIATE_TEST_SUITE_P(
    SomeRules, SetBandRuleTest,
    ::testing::Values(SetPointRuleCase{0, "300", "5", "ERRSE03",
                                       "Out of range. Please set [CWL] >= 400.0"},
                      SetPointRuleCase{0, "600.2", "5", "ERRSE07",
                                       "The decimal place of [CWL] must be an even integer."},
                      SetPointRuleCase{0, "600", "4", "ERRSE10",
                                       "Out of range. If [FWHM] = 4.0 Please set [CWL] <= 0.0"},
                      SetPointRuleCase{1, "602.5", "597.5", "ERRSE15",
                                       "Out of range. Please set ([LW]-[SW]) >= 2.0"}));

TEST_F(SessionOperationsTest, RefusedMoveRepliesErrdv04AndShowsNoBand) {
    // The GO reply comes back behind an echo of the request, which the link refuses.
    onMessage = [&](const QString &text) {
        if (text.endsWith(QStringLiteral("Please wait...")))
            rig.sim->faults().echo = true;
    };
    session().SetBand(TRequester::Remote, 1, "597.5", "602.5", Record());
    EXPECT_EQ(log,
              (QStringList{"+SetBand", Changing, "=> SETR FAIL",
                           "ERRDV04 : Failed to change wavelength and FWHM. [Red]", "-SetBand"}));
    EXPECT_EQ(LastReply(),
              (ReplyTriple{"SETR FAIL", "ERRDV04", "Failed to change wavelength and FWHM."}));
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600()}));
    EXPECT_FALSE(session().CurrentBand());
    EXPECT_FALSE(session().IsOperationBusy());
}

// An operation asked for while another runs makes its position read, then finds the lock taken
// and ends without a word, without an outcome and without touching the pressed button.
TEST_F(SessionOperationsTest, OperationsInsideARunningOneEndAtTheLock) {
    onMessage = [&](const QString &text) {
        if (text.startsWith(QStringLiteral("Changing")))
            session().Reset(TRequester::Remote, Record());
        else if (text.startsWith(QStringLiteral("Successfully")))
            session().StartScan(TRequester::Operator, {"580.0", "610.0", "5.0", "10.0", "1.0"},
                                Record());
    };
    session().SetBand(TRequester::Operator, 0, "600.0", "5.0", Record());
    EXPECT_EQ(log,
              (QStringList{"+SetBand", Changing, BandAt600, "=> SETC OK", Changed, "-SetBand"}));
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "POS 3", Go600(), "POS 3"}));
    EXPECT_EQ(lockTakes, 1);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(session().IsScanning());
}

// --- Reset ----------------------------------------------------------------------------------

TEST_F(SessionOperationsTest, ResetHomesShowsTheTableRangeAndForgetsTheBand) {
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    rig.sim->clearRecords();
    session().Reset(TRequester::Operator, Record());
    EXPECT_EQ(log,
              (QStringList{"+Reset", Restarting, TableRange, "=> RESET OK", ResetDone, "-Reset"}));
    EXPECT_EQ(LastReply(), (ReplyTriple{"RESET OK", {}, {}}));
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3"}));
    EXPECT_FALSE(session().CurrentBand());
    EXPECT_FALSE(session().IsOperationBusy());

    // The instrument goes once it has answered the link test.
    log.clear();
    rig.sim->faults().unplugAfter = 1;
    session().Reset(TRequester::Remote, Record());
    EXPECT_EQ(log, (QStringList{"+Reset", Restarting, "=> RESET FAIL",
                                "ERRDV03 : Reset failure. [Red]", "-Reset"}));
    EXPECT_EQ(LastReply(), (ReplyTriple{"RESET FAIL", "ERRDV03", "Reset failure."}));
    EXPECT_FALSE(session().IsOperationBusy());
}

// Homing works without a table, and the view is not given a range made of zero bounds.
class SessionWithoutTableTest : public SessionOperationsTest {
protected:
    void SetUp() override {
        installCalCopy = false;
        SessionOperationsTest::SetUp();
    }
};

TEST_F(SessionWithoutTableTest, ResetShowsNoRange) {
    session().Reset(TRequester::Remote, Record());
    EXPECT_EQ(log, (QStringList{"+Reset", Restarting, "=> RESET OK", ResetDone, "-Reset"}));
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3"}));
}

// --- Failures raised inside ------------------------------------------------------------------

// The remote dispatcher catches a failure raised in the middle of an operation and carries on;
// the button and the lock are given back, so that the next operation runs.
TEST_F(SessionOperationsTest, FailureRaisedInsideAnOperationReleasesButtonAndLock) {
    onMessage = [](const QString &text) {
        if (text.endsWith(QStringLiteral("Please wait...")))
            throw std::runtime_error("raised inside the operation");
    };
    EXPECT_THROW(session().Reset(TRequester::Remote, Record()), std::runtime_error);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_THROW(session().SetBand(TRequester::Remote, 0, "600.0", "5.0", Record()),
                 std::runtime_error);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(log, (QStringList{"+Reset", Restarting, "-Reset", "+SetBand", Changing, "-SetBand"}));
    EXPECT_TRUE(outcomes.isEmpty());

    onMessage = {};
    session().Reset(TRequester::Remote, Record());
    EXPECT_EQ(LastReply(), (ReplyTriple{"RESET OK", {}, {}}));
}

} // namespace
