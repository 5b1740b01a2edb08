#include "console/formcontrolscan.h"

#include "panelfixture.h"

#include "console/scanprogressview.h"
#include "core/numbers.h"
#include "device/devicerederedirada.h"
#include "support/scriptedpeer.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <functional>

// The fixture's texts and plans compare as values; found by argument lookup from inside the test
// macros.
static bool operator==(const TRemoteReply &a, const TRemoteReply &b) {
    return a.ReplyText == b.ReplyText && a.ErrorCode == b.ErrorCode && a.ErrorText == b.ErrorText;
}
static void PrintTo(const TRemoteReply &r, std::ostream *os) {
    *os << "(";
    PrintTo(r.ReplyText, os);
    *os << ", ";
    PrintTo(r.ErrorCode, os);
    *os << ", ";
    PrintTo(r.ErrorText, os);
    *os << ")";
}
static bool operator==(const TScanPlan &a, const TScanPlan &b) {
    return a.START == b.START && a.END == b.END && a.FWHM == b.FWHM && a.STEP == b.STEP &&
           a.TimeDelay == b.TimeDelay && a.MinCWForFWHM == b.MinCWForFWHM &&
           a.MaxCWForFWHM == b.MaxCWForFWHM;
}

namespace {

using Plan = std::array<const char *, 5>; // START, END, FWHM, STEP, TimeDelay as typed

// Waits for a scan step or for the check timer, whose period is a second.
constexpr int ScanWaitMs = 15000;
// The link looks for a reply every 100 ms, so the simulator hears a GO up to that much after the
// worker started its move.
constexpr qint64 LinkPollMs = 100;

class ScanPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (HasFatalFailure())
            return;
        panel = std::make_unique<TForm_ControlScan>(session(), *console);
        AddPanel(*panel);
        panel->show();
    }

    template <typename T = QWidget> T *Child(const char *name) const {
        return panel->findChild<T *>(QString::fromLatin1(name));
    }
    // Clicks the box, which empties it, and types the text.
    void Type(int box, const char *text) {
        auto *edit = Child<QLineEdit>(QByteArray("Edit" + QByteArray::number(box)).constData());
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }
    void TypePlan(const Plan &plan) {
        for (int i = 0; i < 5; ++i)
            Type(i + 1, plan[i]);
    }
    // Whichever of the two pictures shows, as the operator sees the button.
    void ClickButton(int n) {
        const QByteArray base = "Image_Button" + QByteArray::number(n);
        QWidget *on = Child((base + "_On").constData());
        QTest::mouseClick(on->isVisible() ? on : Child((base + "_Off").constData()),
                          Qt::LeftButton);
    }
    bool ButtonPressed(int n) const {
        const QByteArray base = "Image_Button" + QByteArray::number(n);
        const bool on = Child((base + "_On").constData())->isVisible();
        EXPECT_NE(on, Child((base + "_Off").constData())->isVisible()) << "button " << n;
        return on;
    }

    std::vector<ksim::RequestRecord> Gos() const {
        std::vector<ksim::RequestRecord> gos;
        for (const ksim::RequestRecord &record : rig.sim->records()) {
            if (record.kind == ksim::RequestKind::Go)
                gos.push_back(record);
        }
        return gos;
    }
    QStringList GoLines() const {
        QStringList lines;
        for (const ksim::RequestRecord &go : Gos())
            lines.append(QString::fromLatin1(go.text));
        return lines;
    }
    QStringList GoLinesFor(std::initializer_list<const char *> cws) const {
        QStringList lines;
        for (const char *cw : cws)
            lines.append(GoLineFor(QString::fromLatin1(cw), QStringLiteral("5.0")));
        return lines;
    }
    ::testing::AssertionResult WaitForMessage(const QString &text,
                                              int timeoutMs = ScanWaitMs) const {
        if (WaitUntil([&] { return console->MessageTexts().contains(text); }, timeoutMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "messages: " << console->MessageTexts().join(QStringLiteral(" | ")).toStdString()
               << "; requests: " << RequestLines().join(QStringLiteral(" | ")).toStdString();
    }
    StatusMessage LastMessage() const {
        return console->Messages.isEmpty() ? StatusMessage{} : console->Messages.last();
    }
    TRemoteReply Reply() const { return console->RemoteReply; }
    static TRemoteReply Triple(const char *reply, const char *code, const char *text) {
        return {reply, code, text};
    }
    // A scan that dwells 10 s at its first point, so that a test can act while it stands.
    void StartLongScanAndWaitForFirstPoint() {
        TypePlan({"580.0", "610.0", "5.0", "10.0", "10.0"});
        ClickButton(4);
        ASSERT_TRUE(panel->IsScanning());
        ASSERT_TRUE(WaitUntil([&] { return ViewText("Label_Edit3") == QLatin1String("580.00"); }));
    }

    std::unique_ptr<TForm_ControlScan> panel;
};

// --- Edit boxes ---------------------------------------------------------------------------

TEST_F(ScanPanelTest, EditsStartEmpty_ClickEmptiesOne_RemoteTextsGoInWhole) {
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(Child<QLineEdit>(QByteArray("Edit" + QByteArray::number(i)).constData())
                        ->text()
                        .isEmpty());
    panel->ApplyRemoteParameters("580.00", "610.0", "5", "10", "1");
    EXPECT_EQ(Child<QLineEdit>("Edit1")->text(), QStringLiteral("580.00"));
    QTest::mouseClick(Child("Edit2"), Qt::LeftButton);
    EXPECT_TRUE(Child<QLineEdit>("Edit2")->text().isEmpty());
    EXPECT_EQ(Child<QLineEdit>("Edit3")->text(), QStringLiteral("5"));
    EXPECT_FALSE(ButtonPressed(3));
    EXPECT_FALSE(ButtonPressed(4));
}

// --- Validation -------------------------------------------------------------------------

struct RefusedPlan {
    const char *name;
    Plan plan;
    bool tableLoaded;
    const char *code;
    const char *text;      // as the message bar shows it after the code
    QByteArray remoteText; // as a remote client receives it
};

class ScanPlanRefusalTest : public ScanPanelTest,
                            public ::testing::WithParamInterface<std::tuple<RefusedPlan, bool>> {
protected:
    void SetUp() override {
        installCalCopy = std::get<0>(GetParam()).tableLoaded;
        ScanPanelTest::SetUp();
    }
};

// The local and the remote validation apply the shared rules and differ only in the reply.
TEST_P(ScanPlanRefusalTest, ReportsTheRuleAndReleasesTheLockWithoutMoving) {
    const auto &[c, remote] = GetParam();
    console->RemoteReply = Triple("untouched", "", "");
    if (remote) {
        panel->ApplyRemoteParameters(c.plan[0], c.plan[1], c.plan[2], c.plan[3], c.plan[4]);
        panel->Action_RemoteControl_Scan();
    } else {
        TypePlan(c.plan);
        ClickButton(4);
    }
    const QString local = QString::fromLatin1(c.code) + " : " + QString::fromUtf8(c.text);
    EXPECT_EQ(LastMessage().Text, local);
    EXPECT_EQ(LastMessage().Colour, StatusColour::Red);
    const TRemoteReply refused{"SCAN FAIL", c.code, c.remoteText};
    EXPECT_EQ(Reply(), remote ? refused : Triple("untouched", "", ""));
    EXPECT_TRUE(TScanPlan{} == panel->ScanPlan) << "the plan changes only on success";
    EXPECT_FALSE(panel->IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(ButtonPressed(4));
    // The link test and BKEN off come before the validation, which sends nothing.
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "BKEN 0"}));
}

const RefusedPlan RefusedPlans[] = {
    {"StartBelowTable",
     {"300.0", "610.0", "5.0", "10.0", "1.0"},
     true,
     "ERRSC06",
     "Out of range. Please set [START] \u2265 400.0",
     "Out of range. Please set [START] \xA1\xC3 400.0"},
    {"TextThatIsNoNumberReadsAsZero",
     {"abc", "610.0", "5.0", "10.0", "1.0"},
     true,
     "ERRSC06",
     "Out of range. Please set [START] \u2265 400.0",
     "Out of range. Please set [START] \xA1\xC3 400.0"},
    {"NegativeTimeDelay",
     {"580.0", "610.0", "5.0", "10.0", "-1"},
     true,
     "ERRSC05",
     "[TimeDelay] value is invalid.",
     "[TimeDelay] value is invalid."},
    {"StepOffTheTableInterval",
     {"580.0", "610.0", "5.0", "0.7", "1.0"},
     true,
     "ERRSC13",
     "The decimal place of [STEP] must be an even integer.",
     "The decimal place of [STEP] must be an even integer."},
    // Without a table the CW interval is 0: the STEP multiple rule refuses, no division.
    {"NoTableLoaded",
     {"", "", "", "", ""},
     false,
     "ERRSC13",
     "The decimal place of [STEP] must be an even integer.",
     "The decimal place of [STEP] must be an even integer."},
    {"WidthThatIsNoColumn",
     {"580.0", "610.0", "4", "10.0", "1.0"},
     true,
     "ERRSC20",
     "Out of range. Please set [END] \u2264 0.0",
     "Out of range. Please set [END] \xA1\xC2 0.0"},
};

INSTANTIATE_TEST_SUITE_P(Rules, ScanPlanRefusalTest,
                         ::testing::Combine(::testing::ValuesIn(RefusedPlans), ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Remote" : "_Local");
                         });

TEST_F(ScanPanelTest, PlanIsReplacedOnlyByAValidationThatPasses) {
    panel->ApplyRemoteParameters("600.04", "580.0", "5", "10.0", "10.0");
    panel->Action_RemoteControl_Scan();
    ASSERT_TRUE(panel->IsScanning());
    const TScanPlan started{600.0,
                            580.0,
                            5.0,
                            10.0,
                            10.0,
                            session().CalData().GetMinCWForFWHM(5.0),
                            session().CalData().GetMaxCWForFWHM(5.0)};
    EXPECT_TRUE(started == panel->ScanPlan) << "read rounded to tenths";
    panel->Action_RemoteControl_Stop();
    ASSERT_EQ(Reply(), Triple("STOP OK", "", ""));

    panel->ApplyRemoteParameters("300.0", "580.0", "5", "10.0", "10.0");
    panel->Action_RemoteControl_Scan();
    EXPECT_EQ(Reply().ErrorCode, QByteArray("ERRSC06"));
    EXPECT_TRUE(started == panel->ScanPlan);
}

// --- Scans against the simulator -----------------------------------------------------------

struct ScanCase {
    const char *name;
    Plan plan;
    std::vector<const char *> points;
};

class ScanSequenceTest : public ScanPanelTest, public ::testing::WithParamInterface<ScanCase> {};

// Real time: each move comes at least one dwell after the previous one, and the scan ends one
// dwell after its last point.
TEST_P(ScanSequenceTest, VisitsThePointsOneDwellApartAndReportsSuccess) {
    const ScanCase &c = GetParam();
    TypePlan(c.plan);
    ClickButton(4);
    EXPECT_EQ(LastMessage().Text, QStringLiteral("Scanning..."));
    EXPECT_EQ(LastMessage().Colour, StatusColour::Yellow);
    EXPECT_TRUE(ButtonPressed(4));
    EXPECT_TRUE(session().IsOperationBusy());
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan successful.")));

    EXPECT_EQ(LastMessage().Colour, StatusColour::Lime);
    EXPECT_EQ(Reply(), Triple("SCAN SUCCESS", "NONE", "Scan successful."));
    EXPECT_FALSE(ButtonPressed(4));
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(panel->IsScanning());
    QStringList expected;
    for (const char *cw : c.points)
        expected.append(GoLineFor(QString::fromLatin1(cw), QStringLiteral("5.0")));
    EXPECT_EQ(GoLines(), expected);
    EXPECT_EQ(rig.sim->goMismatches(), 0);

    const qint64 dwellMs = qint64(StrToFloatDef(QString::fromLatin1(c.plan[4]), 0.0) * 1000);
    const auto gos = Gos();
    for (size_t i = 1; i < gos.size(); ++i)
        EXPECT_GE(gos[i].monotonicMs - gos[i - 1].monotonicMs, dwellMs - LinkPollMs) << i;

    EXPECT_EQ(ViewText("Label_Edit3"), QString::fromLatin1(c.points.back()) + "0");
    EXPECT_EQ(ViewText("Label_Edit6"), QStringLiteral("[ 5.00 ]"));
    EXPECT_EQ(ViewText("Label_RangeMin"),
              FormatFloat(QStringLiteral("0.0"), session().CalData().GetMinCWForFWHM(5.0) - 10.0));
    EXPECT_EQ(ViewText("Label_RangeMax"),
              FormatFloat(QStringLiteral("0.0"), session().CalData().GetMaxCWForFWHM(5.0) + 10.0));
}

const ScanCase ScanCases[] = {
    {"Ascending", {"580.0", "610.0", "5.0", "10.0", "0.5"}, {"580.0", "590.0", "600.0", "610.0"}},
    {"Descending", {"610.0", "580.0", "5.0", "10.0", "0.5"}, {"610.0", "600.0", "590.0", "580.0"}},
    {"EndOffTheStepGrid", {"580.0", "605.0", "5.0", "10.0", "0.5"}, {"580.0", "590.0", "600.0"}},
    {"SinglePoint", {"600.0", "600.0", "5.0", "10.0", "0.5"}, {"600.0"}},
};

INSTANTIATE_TEST_SUITE_P(Plans, ScanSequenceTest, ::testing::ValuesIn(ScanCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScanPanelTest, RefusedMoveAtTheThirdPointEndsTheScanAsAFailure) {
    // The third GO goes unanswered, so the link gives up on it after its reply time-out.
    int gos = 0;
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         if (record.kind == ksim::RequestKind::Go && ++gos == 3)
                             rig.sim->faults().unanswered = 1;
                     });
    TypePlan({"580.0", "610.0", "5.0", "10.0", "0.1"});
    ClickButton(4);
    ASSERT_TRUE(WaitForMessage(QStringLiteral("ERRDV05 : Scan failure.")));
    EXPECT_EQ(LastMessage().Colour, StatusColour::Red);
    EXPECT_EQ(Reply(), Triple("SCAN FAIL", "ERRDV05", "Scan failure."));
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0", "590.0", "600.0"}));
    EXPECT_EQ(ViewText("Label_Edit3"), QStringLiteral("590.00")) << "the last point reached";
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(ButtonPressed(4));
}

TEST_F(ScanPanelTest, GoDuringAScanAbortsIt_AndTheNextScanStartsAgainAtStart) {
    StartLongScanAndWaitForFirstPoint();
    const int beginsBefore = LockTakes();
    ClickButton(4);
    EXPECT_EQ(LockTakes(), beginsBefore) << "no second scan";
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan aborted."), 3000));
    EXPECT_EQ(LastMessage().Colour, StatusColour::Silver);
    EXPECT_EQ(Reply(), Triple("SCAN ABORT", "NONE", "Scan aborted."));
    EXPECT_FALSE(ButtonPressed(4));
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0"}));

    // A worker that kept its step count would go on from 580.0, to 590.0.
    TypePlan({"600.0", "610.0", "5.0", "10.0", "0.1"});
    ClickButton(4);
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan successful.")));
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0", "600.0", "610.0"}));
}

// Clicks land while a step waits for its move. A position read nested there would take the
// move's reply for its own and fail, closing a healthy link; the scan holds the link instead.
TEST_F(ScanPanelTest, ClicksDuringAMoveLeaveTheLinkToTheScan) {
    int gos = 0;
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         if (record.kind != ksim::RequestKind::Go)
                             return;
                         if (++gos == 2)
                             ClickButton(3); // refused: the scan holds the lock
                         else if (gos == 3)
                             ClickButton(4); // stops the scan
                     });
    TypePlan({"580.0", "610.0", "5.0", "10.0", "0.1"});
    ClickButton(4);
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan aborted.")));
    EXPECT_EQ(RequestLines(),
              QStringList({"POS 3", "BKEN 0"}) + GoLinesFor({"580.0", "590.0", "600.0"}));
    EXPECT_EQ(console->MessageTexts(), (QStringList{"Scanning...", "Scan aborted."}));
    EXPECT_EQ(LinkCloses(), 0);
    EXPECT_FALSE(session().IsOperationBusy());
}

// A click between two moves sends its link test; the next step, which comes while that test
// waits for its reply, must wait for the following tick instead of moving inside the wait.
TEST_F(ScanPanelTest, StepDuringALinkTestWaitsForTheNextTick) {
    rig.sim->faults().extraDelayMs = 350; // each exchange spans several ticks
    bool clicked = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        if (!clicked && GoLines().size() == 2 && !session().IsLinkBusy()) {
            clicked = true;
            ClickButton(3); // its position read runs; the lock held by the scan refuses the rest
        }
    });
    watch.start();
    TypePlan({"580.0", "610.0", "5.0", "10.0", "0.1"});
    ClickButton(4);
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan successful."), 30000));
    EXPECT_TRUE(clicked);
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0", "590.0", "600.0", "610.0"}));
    EXPECT_EQ(RequestLines().count(QStringLiteral("POS 3")), 2);
    EXPECT_EQ(console->MessageTexts(), (QStringList{"Scanning...", "Scan successful."}));
    EXPECT_EQ(LinkCloses(), 0);
}

TEST_F(ScanPanelTest, RemoteStopAbortsTheScanFromInsideItsWait) {
    StartLongScanAndWaitForFirstPoint();
    TRemoteReply atReport;
    console->OnMessage = [&](const StatusMessage &message) {
        if (message.Text == QLatin1String("Scan aborted."))
            atReport = Reply();
    };
    panel->Action_RemoteControl_Stop();
    // The timer reported inside the wait; the stop's own reply replaced the timer's.
    EXPECT_EQ(LastMessage().Text, QStringLiteral("Scan aborted."));
    EXPECT_EQ(atReport, Triple("SCAN ABORT", "NONE", "Scan aborted."));
    EXPECT_EQ(Reply(), Triple("STOP OK", "", ""));
    EXPECT_FALSE(panel->IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());

    const int messages = console->Messages.size();
    panel->Action_RemoteControl_Stop();
    EXPECT_EQ(Reply(), Triple("STOP FAIL", "NONE", "No Scan."));
    EXPECT_EQ(console->Messages.size(), messages);
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0"}));
}

// With the check timer held, nothing reports the abort inside the three seconds STOP waits; the
// scan is still running then, and the timer reports the abort once it runs again.
TEST_F(ScanPanelTest, RemoteStopThatWaitsInVainCannotStopTheScan) {
    StartLongScanAndWaitForFirstPoint();
    auto *checkTimer = panel->findChild<QTimer *>(QStringLiteral("Timer_CheckScan"));
    ASSERT_NE(checkTimer, nullptr);
    checkTimer->stop();
    panel->Action_RemoteControl_Stop();
    EXPECT_EQ(Reply(), Triple("STOP FAIL", "NONE", "Can't stop scan process."));
    EXPECT_TRUE(panel->IsScanning());
    EXPECT_TRUE(session().IsOperationBusy());

    checkTimer->start();
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan aborted.")));
    EXPECT_FALSE(panel->IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0"}));
}

// Commands that arrive while the outcome is drawn find the scan over: STOP has nothing to wait
// for, STATE is idle and a new scan starts at once.
TEST_F(ScanPanelTest, ThePanelIsIdleWhileItsOutcomeIsDrawn) {
    bool reported = false;
    bool busyAtReport = true;
    bool pressedAtReport = true;
    TRemoteReply stopReply;
    console->OnMessage = [&](const StatusMessage &message) {
        if (reported || message.Text != QLatin1String("Scan successful."))
            return;
        reported = true;
        busyAtReport = panel->IsScanning() || session().IsOperationBusy();
        pressedAtReport = ButtonPressed(4);
        panel->Action_RemoteControl_Stop();
        stopReply = Reply();
        panel->ApplyRemoteParameters("580.0", "590.0", "5.0", "10.0", "0.1");
        panel->Action_RemoteControl_Scan();
    };
    panel->ApplyRemoteParameters("580.0", "590.0", "5.0", "10.0", "0.1");
    panel->Action_RemoteControl_Scan();
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan successful.")));
    EXPECT_FALSE(busyAtReport);
    EXPECT_FALSE(pressedAtReport);
    EXPECT_EQ(stopReply, Triple("STOP FAIL", "NONE", "No Scan."));
    // The second scan started from inside the report and keeps its pressed button.
    EXPECT_EQ(Reply(), Triple("SCAN OK", "", ""));
    EXPECT_TRUE(panel->IsScanning());
    EXPECT_TRUE(ButtonPressed(4));
    EXPECT_EQ(LockTakes(), 2);
    EXPECT_EQ(LastMessage().Text, QStringLiteral("Scanning..."));
}

TEST_F(ScanPanelTest, RemoteScanRepliesScanOkOnceStarted) {
    console->OnMessage = [&](const StatusMessage &message) {
        if (message.Text == QLatin1String("Scanning...")) {
            EXPECT_EQ(Reply(), Triple("SCAN OK", "", ""));
        }
    };
    panel->ApplyRemoteParameters("580.0", "590.0", "5.0", "10.0", "0.1");
    panel->Action_RemoteControl_Scan();
    EXPECT_EQ(LastMessage().Text, QStringLiteral("Scanning..."));
    EXPECT_TRUE(panel->IsScanning());
    // Another SCAN during the scan starts nothing and leaves the scan's moves alone.
    panel->Action_RemoteControl_Scan();
    EXPECT_EQ(LockTakes(), 1);
    ASSERT_TRUE(WaitForMessage(QStringLiteral("Scan successful.")));
    EXPECT_EQ(Reply(), Triple("SCAN SUCCESS", "NONE", "Scan successful."));
    EXPECT_EQ(GoLines(), GoLinesFor({"580.0", "590.0"}));
}

// The progress view's time left counts the dwell under way from the latest move, not from the
// scan's start: just after the first move a whole dwell lies ahead, and then the last point's move
// (learnt from the first) and dwell.
using ScanProgressViewTest = PanelFixture;
TEST_F(ScanProgressViewTest, TimeLeftCountsTheDwellFromTheLatestMove) {
    TForm_ScanProgress view(session(), nullptr);
    const auto secondsLeft = [&view] {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("about (\\d+):(\\d\\d) left$")).match(view.Caption());
        return m.hasMatch() ? m.captured(1).toInt() * 60 + m.captured(2).toInt() : -1;
    };
    session().BeginScan(2, 600.0, 5.0, 60000);
    EXPECT_EQ(secondsLeft(), 120); // the two dwells
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitUntil([&] { return clock.elapsed() >= 400; }));
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    EXPECT_GT(secondsLeft(), 120) << qPrintable(view.Caption());
    session().EndScan(TScanOutcome::Aborted);
}

// --- Reset ------------------------------------------------------------------------------

class ScanResetTest : public ScanPanelTest, public ::testing::WithParamInterface<bool> {
protected:
    void Reset() {
        if (GetParam())
            panel->Action_RemoteControl_Reset();
        else
            ClickButton(3);
    }
};

TEST_P(ScanResetTest, HomesShowsTheTableRangeAndReplies) {
    console->RemoteReply = Triple("untouched", "", "");
    bool pressedWhileHoming = false;
    console->OnMessage = [&](const StatusMessage &message) {
        if (message.Text == QLatin1String("Restarting device. Please wait..."))
            pressedWhileHoming = ButtonPressed(3) && session().IsOperationBusy();
    };
    Reset();
    EXPECT_TRUE(pressedWhileHoming);
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3"}));
    EXPECT_EQ(console->MessageTexts(),
              (QStringList{"Restarting device. Please wait...", "Reset complete."}));
    EXPECT_EQ(LastMessage().Colour, StatusColour::Lime);
    EXPECT_EQ(Reply(), GetParam() ? Triple("RESET OK", "", "") : Triple("untouched", "", ""));
    EXPECT_EQ(ViewText("Label_RangeMin"), QStringLiteral("390.0"));
    EXPECT_EQ(ViewText("Label_RangeMax"), QStringLiteral("810.0"));
    EXPECT_FALSE(ButtonPressed(3));
    EXPECT_FALSE(session().IsOperationBusy());
}

TEST_P(ScanResetTest, FailedHomingReportsResetFailure) {
    console->RemoteReply = Triple("untouched", "", "");
    // The instrument goes once it has answered the link test.
    rig.sim->faults().unplugAfter = 1;
    Reset();
    EXPECT_EQ(LastMessage().Text, QStringLiteral("ERRDV03 : Reset failure."));
    EXPECT_EQ(LastMessage().Colour, StatusColour::Red);
    EXPECT_EQ(Reply(), GetParam() ? Triple("RESET FAIL", "ERRDV03", "Reset failure.")
                                  : Triple("untouched", "", ""));
    EXPECT_FALSE(ButtonPressed(3));
    EXPECT_FALSE(session().IsOperationBusy());
}

// As on the SET tab: with no table loaded the view is not given a range of zero bounds.
class ScanResetWithoutTableTest : public ScanResetTest {
protected:
    void SetUp() override {
        installCalCopy = false;
        ScanResetTest::SetUp();
    }
};

TEST_P(ScanResetWithoutTableTest, LeavesTheViewAsItIs) {
    Reset();
    EXPECT_EQ(LastMessage().Text, QStringLiteral("Reset complete."));
    EXPECT_TRUE(ViewText("Label_RangeMin").isEmpty());
    EXPECT_TRUE(ViewText("Label_RangeMax").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(LocalAndRemote, ScanResetTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Remote" : "Local"; });
INSTANTIATE_TEST_SUITE_P(LocalAndRemote, ScanResetWithoutTableTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Remote" : "Local"; });

// --- Guards -----------------------------------------------------------------------------

enum class Guard { RemoteMode, NotReady, LinkLost, Busy };
enum class Operation { LocalReset, LocalGo, RemoteReset, RemoteScan, RemoteStop };

struct GuardCase {
    const char *name;
    Operation operation;
    Guard guard;
    QStringList messages;
    TRemoteReply reply;
};

class ScanGuardTest : public ScanPanelTest, public ::testing::WithParamInterface<GuardCase> {
protected:
    void Run(Operation operation) {
        switch (operation) {
        case Operation::LocalReset:
            ClickButton(3);
            break;
        case Operation::LocalGo:
            ClickButton(4);
            break;
        case Operation::RemoteReset:
            panel->Action_RemoteControl_Reset();
            break;
        case Operation::RemoteScan:
            panel->Action_RemoteControl_Scan();
            break;
        case Operation::RemoteStop:
            panel->Action_RemoteControl_Stop();
            break;
        }
    }
};

TEST_P(ScanGuardTest, RefusesWithoutStartingAnything) {
    const GuardCase &c = GetParam();
    TypePlan({"580.0", "610.0", "5.0", "10.0", "1.0"});
    console->RemoteReply = Triple("untouched", "", "");
    console->RemoteMode = c.guard == Guard::RemoteMode;
    if (c.guard == Guard::NotReady)
        LoseInstrument();
    if (c.guard == Guard::Busy)
        HoldLock();
    const int closesBefore = LinkCloses();
    const int takesBefore = LockTakes();
    if (c.guard == Guard::LinkLost)
        rig.sim->unplug();
    Run(c.operation);

    EXPECT_EQ(console->MessageTexts(), c.messages);
    const QColor colour = c.guard == Guard::LinkLost ? StatusColour::Red : StatusColour::Silver;
    for (const StatusMessage &message : console->Messages)
        EXPECT_EQ(message.Colour, colour);
    EXPECT_EQ(Reply(), c.reply);
    EXPECT_EQ(LinkCloses() - closesBefore, c.guard == Guard::LinkLost ? 1 : 0);
    EXPECT_EQ(LockTakes() - takesBefore, 0);
    EXPECT_FALSE(panel->IsScanning());
    EXPECT_FALSE(ButtonPressed(3));
    EXPECT_FALSE(ButtonPressed(4));
    // The link test is the only request, and only a busy lock lets it through to the instrument.
    EXPECT_EQ(RequestLines(), c.guard == Guard::Busy ? QStringList{"POS 3"} : QStringList{});
}

const QString RemoteActive = QStringLiteral("Remote control mode is activated.");
const QString NotReady = QStringLiteral("Device not ready. Please connect Kestrune.");
const QString ResetNotReady = QStringLiteral("Reset failure. Device not ready.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost.");
const TRemoteReply Untouched{"untouched", "", ""};

const GuardCase GuardCases[] = {
    {"LocalReset_RemoteMode", Operation::LocalReset, Guard::RemoteMode, {RemoteActive}, Untouched},
    {"LocalGo_RemoteMode", Operation::LocalGo, Guard::RemoteMode, {RemoteActive}, Untouched},
    {"LocalReset_NotReady", Operation::LocalReset, Guard::NotReady, {ResetNotReady}, Untouched},
    {"LocalGo_NotReady", Operation::LocalGo, Guard::NotReady, {NotReady}, Untouched},
    {"RemoteReset_NotReady",
     Operation::RemoteReset,
     Guard::NotReady,
     {ResetNotReady},
     {"RESET FAIL", "NONE", ResetNotReady.toLatin1()}},
    {"RemoteScan_NotReady",
     Operation::RemoteScan,
     Guard::NotReady,
     {NotReady},
     {"SCAN FAIL", "NONE", NotReady.toLatin1()}},
    {"RemoteStop_NotReady",
     Operation::RemoteStop,
     Guard::NotReady,
     {NotReady},
     {"STOP FAIL", "NONE", NotReady.toLatin1()}},
    {"LocalReset_LinkLost", Operation::LocalReset, Guard::LinkLost, {LinkLost}, Untouched},
    {"LocalGo_LinkLost", Operation::LocalGo, Guard::LinkLost, {LinkLost}, Untouched},
    {"RemoteReset_LinkLost", Operation::RemoteReset, Guard::LinkLost, {LinkLost}, Untouched},
    {"RemoteScan_LinkLost", Operation::RemoteScan, Guard::LinkLost, {LinkLost}, Untouched},
    {"LocalReset_Busy", Operation::LocalReset, Guard::Busy, {}, Untouched},
    {"LocalGo_Busy", Operation::LocalGo, Guard::Busy, {}, Untouched},
    {"RemoteReset_Busy", Operation::RemoteReset, Guard::Busy, {}, Untouched},
    {"RemoteScan_Busy", Operation::RemoteScan, Guard::Busy, {}, Untouched},
};

INSTANTIATE_TEST_SUITE_P(Operations, ScanGuardTest, ::testing::ValuesIn(GuardCases),
                         [](const auto &info) { return std::string(info.param.name); });

// --- Shutdown ---------------------------------------------------------------------------

// The main window closes the panel and then destroys it; neither may wait for the scan, and no
// step may run against the panel afterwards. Run under AddressSanitizer too.
class ScanShutdownTest : public PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (HasFatalFailure())
            return;
        panel = new TForm_ControlScan(session(), *console);
        panel->show();
        panel->ApplyRemoteParameters("580.0", "610.0", "5.0", "10.0", "0.1");
    }
    ~ScanShutdownTest() override { delete panel; }

    int Gos() const { return rig.sim->requestCount(ksim::RequestKind::Go); }
    void CloseAndDestroy() {
        panel->close();
        delete panel;
    }
    // Absence can only be watched for a while: a few ticks, or the check timer's period.
    void ExpectNothingMoreFor(int ms) {
        const int gos = Gos();
        const int messages = console->Messages.size();
        QTest::qWait(ms);
        EXPECT_EQ(Gos(), gos);
        EXPECT_EQ(console->Messages.size(), messages);
    }

    QPointer<TForm_ControlScan> panel;
};

TEST_F(ScanShutdownTest, CloseAndDestroyDuringADwell) {
    panel->Action_RemoteControl_Scan();
    ASSERT_TRUE(WaitUntil([&] { return Gos() >= 2; }));
    CloseAndDestroy();
    ExpectNothingMoreFor(500);
}

TEST_F(ScanShutdownTest, DestroyedInsideAMoveLeavesTheStepSafely) {
    bool destroyedInMove = false;
    QObject::connect(rig.sim.get(), &ksim::VirtualInstrument::requestReceived, rig.sim.get(),
                     [&](const ksim::RequestRecord &record) {
                         // The second move's step runs from the test's own wait, not from
                         // inside a panel operation; this runs while its move waits.
                         if (record.kind == ksim::RequestKind::Go && Gos() == 2) {
                             CloseAndDestroy();
                             destroyedInMove = true;
                         }
                     });
    panel->Action_RemoteControl_Scan();
    ASSERT_TRUE(WaitUntil([&] { return destroyedInMove; }));
    // The move has completed for the link, which is free for the next command.
    EXPECT_TRUE(session().Device().CommandPos());
    ExpectNothingMoreFor(500);
}

TEST_F(ScanShutdownTest, ClosedPanelNeitherMovesNorReports) {
    panel->Action_RemoteControl_Scan();
    ASSERT_TRUE(WaitUntil([&] { return Gos() >= 1; }));
    panel->close();
    ExpectNothingMoreFor(TForm_ControlScan::CheckScanIntervalMs + 500);
    EXPECT_EQ(console->MessageTexts(), QStringList{"Scanning..."});
}

} // namespace
