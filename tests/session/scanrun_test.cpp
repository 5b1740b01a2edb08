// Scans run by the session against the simulator, without a window: the walk and its dwell, the
// outcomes, the operator's and the remote stop, start and stop arriving in the middle of a scan
// step, a refused plan, and the session going away under a running scan.

#include "operationtest.h"

#include "core/numbers.h"
#include "device/devicerederedirada.h"
#include "session/scanrun.h"
#include "sim/virtualinstrument.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

namespace {

const QString Scanning = QStringLiteral("Scanning... [Yellow]");
const QString Succeeded = QStringLiteral("Scan successful. [Lime]");
const QString Aborted = QStringLiteral("Scan aborted. [Silver]");
const QString Failed = QStringLiteral("ERRDV05 : Scan failure. [Red]");
const QStringList Started{"+Scan", "=> SCAN OK", Scanning};

// The link looks for a reply every 100 ms, so the simulator hears a GO up to that much after the
// worker started its move.
constexpr qint64 LinkPollMs = 100;

class ScanRunTest : public OperationTest {
protected:
    std::vector<ksim::RequestRecord> Gos() const {
        std::vector<ksim::RequestRecord> gos;
        for (const ksim::RequestRecord &record : rig.sim->records())
            if (record.kind == ksim::RequestKind::Go)
                gos.push_back(record);
        return gos;
    }
    int GoCount() const { return rig.sim->requestCount(ksim::RequestKind::Go); }
    QStringList GoLinesFor(std::initializer_list<const char *> cws) const {
        QStringList lines;
        for (const char *cw : cws)
            lines.append(rig.GoLineFor(QString::fromLatin1(cw), QStringLiteral("5.0")));
        return lines;
    }
    // The band a scan at FWHM 5 shows at cw, in the range the table offers that width.
    QString BandAt(double cw) const {
        const TCalData &table = session().CalData();
        return BandLine(table.GetMinCWForFWHM(5.0) - 10.0, table.GetMaxCWForFWHM(5.0) + 10.0, cw,
                        5.0, cw - 2.5, cw + 2.5);
    }
    // A scan from 580 nm that dwells 10 s at its first point, so that a test can act meanwhile.
    void StartLongScanAndWaitForFirstPoint(TRequester from) {
        session().StartScan(from, {"580.0", "610.0", "5.0", "10.0", "10.0"}, Record());
        ASSERT_TRUE(session().IsScanning());
        ASSERT_TRUE(WaitForLine(BandAt(580.0)));
    }
    // The lines of the only scan record.
    QStringList RecordLines() const {
        const QDir folder(rig.folder.filePath(QStringLiteral("Scans")));
        const QStringList files = folder.entryList(QDir::Files);
        EXPECT_EQ(files.size(), 1);
        QFile file(folder.filePath(files.value(0)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QString::fromLatin1(file.readAll())
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

// --- Whole scans ------------------------------------------------------------------------------

struct ScanCase {
    const char *name;
    TScanPlanTexts plan;
    std::vector<double> points;
};

class ScanSequenceTest : public ScanRunTest, public ::testing::WithParamInterface<ScanCase> {};

// Real time: each move comes at least one dwell after the previous one. The asker hears SCAN OK
// before the message; the end is reported with the run idle, the button released before its
// message.
TEST_P(ScanSequenceTest, VisitsThePointsOneDwellApartAndReportsSuccess) {
    const ScanCase &c = GetParam();
    session().StartScan(TRequester::Remote, c.plan, Record());
    EXPECT_EQ(log.mid(0, 3), Started);
    EXPECT_TRUE(session().IsScanning());
    EXPECT_TRUE(session().IsOperationBusy());
    ASSERT_TRUE(WaitForLine(Succeeded));

    QStringList expected = Started;
    QStringList gos{"POS 3", "BKEN 0"};
    for (const double cw : c.points) {
        expected.append(BandAt(cw));
        gos.append(rig.GoLineFor(FormatFloat(QStringLiteral("0.0"), cw), QStringLiteral("5.0")));
    }
    expected << "ended SCAN SUCCESS"
             << "-Scan" << Succeeded;
    EXPECT_EQ(log, expected);
    EXPECT_EQ(TripleOf(scanEnds.value(0)),
              (ReplyTriple{"SCAN SUCCESS", "NONE", "Scan successful."}));
    EXPECT_EQ(RequestLines(), gos);
    EXPECT_EQ(rig.sim->goMismatches(), 0);
    EXPECT_FALSE(session().IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());

    const qint64 dwellMs = qint64(StrToFloatDef(c.plan.TimeDelay, 0.0) * 1000);
    const auto moves = Gos();
    for (size_t i = 1; i < moves.size(); ++i)
        EXPECT_GE(moves[i].monotonicMs - moves[i - 1].monotonicMs, dwellMs - LinkPollMs) << i;
}

const ScanCase ScanCases[] = {
    {"Ascending", {"580.0", "610.0", "5.0", "10.0", "0.5"}, {580.0, 590.0, 600.0, 610.0}},
    {"Descending", {"610.0", "580.0", "5.0", "10.0", "0.5"}, {610.0, 600.0, 590.0, 580.0}},
    {"EndOffTheStepGrid", {"580.0", "605.0", "5.0", "10.0", "0.5"}, {580.0, 590.0, 600.0}},
    {"SinglePoint", {"600.0", "600.0", "5.0", "10.0", "0.5"}, {600.0}},
    // Read rounded to tenths, as only a remote client can send it.
    {"SixCharacters", {"600.04", "580.0", "5", "10.0", "0.1"}, {600.0, 590.0, 580.0}},
};

INSTANTIATE_TEST_SUITE_P(Plans, ScanSequenceTest, ::testing::ValuesIn(ScanCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScanRunTest, RefusedMoveAtTheThirdPointEndsTheScanAsAFailure) {
    // The third GO goes unanswered, so the link gives up on it after its reply time-out.
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         if (record.kind == ksim::RequestKind::Go && GoCount() == 3)
                             rig.sim->faults().unanswered = 1;
                     });
    session().StartScan(TRequester::Operator, {"580.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitForLine(Failed));
    EXPECT_EQ(log, (Started +
                    QStringList{BandAt(580.0), BandAt(590.0), "ended SCAN FAIL", "-Scan", Failed}));
    EXPECT_EQ(TripleOf(scanEnds.value(0)), (ReplyTriple{"SCAN FAIL", "ERRDV05", "Scan failure."}));
    EXPECT_EQ(RequestLines().mid(2), GoLinesFor({"580.0", "590.0", "600.0"}));
    EXPECT_FALSE(session().IsOperationBusy());
}

// The link test and BKEN off come first; the refusal gives back button and lock at once.
TEST_F(ScanRunTest, RefusedPlanReleasesButtonAndLock) {
    const struct {
        TScanPlanTexts plan;
        QByteArray code, text;
        QString message;
    } cases[] = {
        {{"300.0", "610.0", "5.0", "10.0", "1.0"},
         "ERRSC06",
         "Out of range. Please set [START] \xA1\xC3 400.0",
         "ERRSC06 : Out of range. Please set [START] \u2265 400.0"},
        {{"580.0", "610.0", "4", "10.0", "1.0"},
         "ERRSC20",
         "Out of range. Please set [END] \xA1\xC2 0.0",
         "ERRSC20 : Out of range. Please set [END] \u2264 0.0"},
    };
    for (const auto &c : cases) {
        log.clear();
        rig.sim->clearRecords();
        session().StartScan(TRequester::Remote, c.plan, Record());
        EXPECT_EQ(log, (QStringList{"+Scan", "=> SCAN FAIL", c.message + " [Red]", "-Scan"}));
        EXPECT_EQ(LastReply(), (ReplyTriple{"SCAN FAIL", c.code, c.text}));
        EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "BKEN 0"}));
        EXPECT_FALSE(session().IsScanning());
        EXPECT_FALSE(session().IsOperationBusy());
    }
    EXPECT_EQ(lockTakes, 2);
}

// Without a table the CW interval is 0: the STEP multiple rule refuses, nothing divides by it.
class ScanWithoutTableTest : public ScanRunTest {
protected:
    void SetUp() override {
        installCalCopy = false;
        ScanRunTest::SetUp();
    }
};

TEST_F(ScanWithoutTableTest, APlanIsRefusedAtTheStepRule) {
    session().StartScan(TRequester::Operator, {"", "", "", "", ""}, Record());
    EXPECT_EQ(LastReply(), (ReplyTriple{"SCAN FAIL", "ERRSC13",
                                        "The decimal place of [STEP] must be an even integer."}));
    EXPECT_FALSE(session().IsOperationBusy());
}

// --- Stopping ---------------------------------------------------------------------------------

// The operator's stop passes its link test and leaves the report to the check timer. A second
// start during the scan starts nothing; the next scan begins at its own START.
TEST_F(ScanRunTest, OperatorStopAbortsAndTheNextScanStartsAtItsStart) {
    StartLongScanAndWaitForFirstPoint(TRequester::Operator);
    session().StartScan(TRequester::Remote, {"600.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    session().StopScan(TRequester::Operator, Record());
    EXPECT_EQ(lockTakes, 1);
    EXPECT_EQ(outcomes.size(), 1) << "the start's SCAN OK only";
    ASSERT_TRUE(WaitForLine(Aborted));
    EXPECT_EQ(log, (Started + QStringList{BandAt(580.0), "ended SCAN ABORT", "-Scan", Aborted}));
    EXPECT_EQ(TripleOf(scanEnds.value(0)), (ReplyTriple{"SCAN ABORT", "NONE", "Scan aborted."}));
    EXPECT_EQ(RequestLines().mid(2), (GoLinesFor({"580.0"}) + QStringList{"POS 3", "POS 3"}));
    EXPECT_FALSE(session().IsOperationBusy());

    // A worker that kept its step count would go on from 580.0, to 590.0.
    rig.sim->clearRecords();
    session().StartScan(TRequester::Operator, {"600.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitForLine(Succeeded));
    EXPECT_EQ(RequestLines().mid(2), GoLinesFor({"600.0", "610.0"}));
}

// The remote stop waits for the check timer's report and replies after it; with no scan left
// there is nothing to stop, and no message.
TEST_F(ScanRunTest, RemoteStopAbortsTheScanFromInsideItsWait) {
    StartLongScanAndWaitForFirstPoint(TRequester::Remote);
    session().StopScan(TRequester::Remote, Record());
    EXPECT_EQ(log.mid(4), (QStringList{"ended SCAN ABORT", "-Scan", Aborted, "=> STOP OK"}));
    EXPECT_EQ(LastReply(), (ReplyTriple{"STOP OK", {}, {}}));
    EXPECT_FALSE(session().IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());

    session().StopScan(TRequester::Remote, Record());
    EXPECT_EQ(LastReply(), (ReplyTriple{"STOP FAIL", "NONE", "No Scan."}));
    EXPECT_EQ(log.last(), "=> STOP FAIL");
    EXPECT_EQ(RequestLines().mid(2), GoLinesFor({"580.0"}));
}

// With the check timer held, nothing reports the abort within the three seconds STOP waits; the
// scan still runs then, and the timer reports the abort once it runs again.
TEST_F(ScanRunTest, RemoteStopThatWaitsInVainCannotStopTheScan) {
    StartLongScanAndWaitForFirstPoint(TRequester::Remote);
    session().ScanRun().CheckTimer().stop();
    session().StopScan(TRequester::Remote, Record());
    EXPECT_EQ(LastReply(), (ReplyTriple{"STOP FAIL", "NONE", "Can't stop scan process."}));
    EXPECT_TRUE(session().IsScanning());
    EXPECT_TRUE(session().IsOperationBusy());

    session().ScanRun().CheckTimer().start();
    ASSERT_TRUE(WaitForLine(Aborted));
    EXPECT_FALSE(session().IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(RequestLines().mid(2), GoLinesFor({"580.0"}));
}

// Requests that arrive while the outcome is drawn find the scan over: STOP has nothing to wait
// for, and a new scan starts at once and keeps its pressed button.
TEST_F(ScanRunTest, TheRunIsIdleWhileItsOutcomeIsDrawn) {
    bool busyAtReport = true;
    onMessage = [&](const QString &text) {
        if (text != QLatin1String("Scan successful.") || lockTakes > 1)
            return;
        busyAtReport = session().IsScanning() || session().IsOperationBusy();
        session().StopScan(TRequester::Remote, Record());
        session().StartScan(TRequester::Remote, {"580.0", "590.0", "5.0", "10.0", "0.1"}, Record());
    };
    session().StartScan(TRequester::Remote, {"580.0", "590.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitForLine(Succeeded));
    EXPECT_FALSE(busyAtReport);
    const int report = int(log.indexOf(Succeeded));
    EXPECT_EQ(log.mid(report - 2, 6), (QStringList{"ended SCAN SUCCESS", "-Scan", Succeeded,
                                                   "=> STOP FAIL", "+Scan", "=> SCAN OK"}));
    EXPECT_TRUE(session().IsScanning());
    EXPECT_EQ(lockTakes, 2);
}

// --- Requests in the middle of a scan step ---------------------------------------------------

// Requests land while a step waits for its move. A position read nested there would take the
// move's reply for its own and fail, closing a healthy link; the scan holds the link instead.
TEST_F(ScanRunTest, RequestsDuringAMoveLeaveTheLinkToTheScan) {
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         if (record.kind != ksim::RequestKind::Go)
                             return;
                         if (GoCount() == 2)
                             session().Reset(TRequester::Operator, Record()); // the scan's lock
                         else if (GoCount() == 3)
                             session().StopScan(TRequester::Operator, Record());
                     });
    session().StartScan(TRequester::Operator, {"580.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitForLine(Aborted));
    EXPECT_EQ(RequestLines(),
              QStringList({"POS 3", "BKEN 0"}) + GoLinesFor({"580.0", "590.0", "600.0"}));
    EXPECT_EQ(messages, (QStringList{Scanning, Aborted}));
    EXPECT_EQ(outcomes.size(), 1) << "the start's SCAN OK only";
    EXPECT_EQ(linkCloses, 0);
    EXPECT_FALSE(session().IsOperationBusy());
}

// A request between two moves sends its link test; the next step, which comes while that test
// waits for its reply, must wait for the following tick instead of moving inside the wait.
TEST_F(ScanRunTest, StepDuringALinkTestWaitsForTheNextTick) {
    rig.sim->faults().extraDelayMs = 350; // each exchange spans several ticks
    bool asked = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        if (!asked && GoCount() == 2 && !session().IsLinkBusy()) {
            asked = true;
            session().Reset(TRequester::Operator); // its position read runs, the lock refuses
        }
    });
    watch.start();
    session().StartScan(TRequester::Operator, {"580.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitForLine(Succeeded, 30000));
    EXPECT_TRUE(asked);
    EXPECT_EQ(rig.sim->goMismatches(), 0);
    EXPECT_EQ(GoCount(), 4);
    EXPECT_EQ(RequestLines().count(QStringLiteral("POS 3")), 2);
    EXPECT_EQ(messages, (QStringList{Scanning, Succeeded}));
    EXPECT_EQ(linkCloses, 0);
}

// --- The session going away -------------------------------------------------------------------

// The session's destruction ends a running scan as aborted, without a report, and stops its
// worker without waiting for the scan. Run under AddressSanitizer too.
class ScanEndTest : public ScanRunTest {
protected:
    // Absence can only be watched for a while: a few ticks, or the check timer's period.
    void ExpectNothingMoreFor(int ms) {
        const int gos = GoCount();
        const int lines = int(log.size());
        QTest::qWait(ms);
        EXPECT_EQ(GoCount(), gos);
        EXPECT_EQ(log.size(), lines);
    }
};

TEST_F(ScanEndTest, SessionDestroyedDuringADwell) {
    session().StartScan(TRequester::Remote, {"580.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitUntil([&] { return GoCount() >= 2; }));
    session().BeginShutdown();
    rig.session.reset();
    ExpectNothingMoreFor(500);
    EXPECT_TRUE(RecordLines().last().endsWith(QStringLiteral(",aborted")));
    EXPECT_EQ(log.filter(QStringLiteral("ended")), QStringList{});
}

// The run closes first when the session goes; closed inside a move, the step leaves it alone
// once the move is done, and the link is free for the next exchange.
TEST_F(ScanEndTest, RunClosedInsideAMove) {
    bool closedInMove = false;
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         if (record.kind == ksim::RequestKind::Go && GoCount() == 2) {
                             session().ScanRun().Close();
                             closedInMove = true;
                         }
                     });
    session().StartScan(TRequester::Remote, {"580.0", "610.0", "5.0", "10.0", "0.1"}, Record());
    ASSERT_TRUE(WaitUntil([&] { return closedInMove && !session().IsLinkBusy(); }));
    EXPECT_TRUE(session().Device().CommandPos());
    ExpectNothingMoreFor(TScanRun::CheckScanIntervalMs + 500);
    EXPECT_TRUE(RecordLines().last().endsWith(QStringLiteral(",aborted")));
    EXPECT_EQ(log.filter(QStringLiteral("ended")), QStringList{});
    rig.session.reset();
}

} // namespace
