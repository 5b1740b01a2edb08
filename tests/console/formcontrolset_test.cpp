#include "console/formcontrolset.h"

#include "calfixture.h"
#include "core/comparisonsigns.h"
#include "device/devicerederedirada.h"
#include "panelfixture.h"
#include "ruletexts.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTest>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QColor Silver = StatusColour::Silver;
const QColor Lime = StatusColour::Lime;
const QColor Red = StatusColour::Red;

// An instrument of which the validators see only the table; they never drive it.
class TableOnlyInstrument : public IInstrumentControl {
public:
    explicit TableOnlyInstrument(const TCalData &table) : Table(table) {}
    bool IsDeviceReady() const override { return false; }
    QString GetProductLabel() const override { return {}; }
    bool BeginOperation() override { return false; }
    bool EndOperation() override { return false; }
    bool ReadPositions() override { return false; }
    bool IsLinkBusy() const override { return false; }
    bool HomeAll() override { return false; }
    bool SetBken(bool) override { return false; }
    void Action_DeviceClose() override {}
    const TCalData &CalData() const override { return Table; }
    bool GoToSetPoint(double, double) override { return false; }

private:
    const TCalData &Table;
};

// The two validators over a table of CW 590.0 .. 630.0 by 0.1 and FWHM 2..10 and 20, where a
// band reaches only with a margin of its own width on either side. Row 610.0 reads 610.05, a
// value no entry rounded to 0.1 can match.
class SetPointTwins : public ::testing::Test {
protected:
    void SetUp() override {
        tables.Fill(590.0, 630.0, 0.1, {2, 3, 4, 5, 6, 7, 8, 9, 10, 20}, 1.0);
        tables.table.CWValues[200] = 610.05;
    }
    // Runs the local twin, then the remote one, on the same entry; returns both verdicts.
    std::pair<bool, bool> RunBoth(int mode, const QString &first, const QString &second) {
        panel.ApplyRemoteParameters(mode, first, second);
        console.Messages.clear();
        console.RemoteReply = {"untouched", "", ""};
        const bool local = panel.ValidateSetPoint();
        localMessages = console.Messages;
        EXPECT_EQ(console.RemoteReply.ReplyText, "untouched");
        console.Messages.clear();
        return {local, panel.ValidateRemoteSetPoint()};
    }

    ReadyTable tables;
    TableOnlyInstrument instrument{tables.table};
    TForm_ControlView view;
    RecordingConsole console{view};
    TForm_ControlSet panel{instrument, console};
    QVector<StatusMessage> localMessages;
};

class SetPointTwinRules : public SetPointTwins,
                          public ::testing::WithParamInterface<SetPointRuleCase> {};

TEST_P(SetPointTwinRules, BothShowTheRuleAndTheRemoteOneStoresIt) {
    const SetPointRuleCase &c = GetParam();
    EXPECT_EQ(RunBoth(c.mode, c.first, c.second), std::make_pair(false, false));
    const StatusMessage expected{QString::fromLatin1(c.code) + " : " + WithSigns(c.text), Red};
    EXPECT_EQ(localMessages, QVector<StatusMessage>{expected});
    EXPECT_EQ(console.Messages, QVector<StatusMessage>{expected});
    EXPECT_EQ(console.RemoteReply.ReplyText, c.mode == 0 ? "SETC FAIL" : "SETR FAIL");
    EXPECT_EQ(console.RemoteReply.ErrorCode, c.code);
    EXPECT_EQ(console.RemoteReply.ErrorText, WithClientSigns(c.text));
}

INSTANTIATE_TEST_SUITE_P(EveryRule, SetPointTwinRules, ::testing::ValuesIn(SetPointRuleCases()));

// Row 610.0 of this table reads 610.05, which no entry rounded to 0.1 can match.
INSTANTIATE_TEST_SUITE_P(RowBetweenTenths, SetPointTwinRules,
                         ::testing::Values(SetPointRuleCase{
                             0, "610.0", "5", "ERRSE07",
                             "The decimal place of [CWL] must be an even integer."}));

TEST_F(SetPointTwins, PassingEntriesAreRoundedHalfToEvenAndStoredSilently) {
    struct Case {
        int mode;
        const char *first, *second;
        TSetPoint expected;
    };
    for (const Case &c : {Case{0, "600.25", "5", {600.2, 5.0, 597.7, 602.7}},
                          Case{0, "600.75", "5", {600.8, 5.0, 598.3, 603.3}},
                          Case{0, "600.04", "5.0", {600.0, 5.0, 597.5, 602.5}},
                          Case{0, "595.0", "5", {595.0, 5.0, 592.5, 597.5}},
                          Case{1, "597.5", "602.5", {600.0, 5.0, 597.5, 602.5}}}) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(RunBoth(c.mode, c.first, c.second), std::make_pair(true, true));
        EXPECT_TRUE(localMessages.isEmpty());
        EXPECT_TRUE(console.Messages.isEmpty());
        EXPECT_EQ(console.RemoteReply.ReplyText, "untouched");
        EXPECT_EQ(panel.SetPoint.CWL, c.expected.CWL);
        EXPECT_EQ(panel.SetPoint.FWHM, c.expected.FWHM);
        EXPECT_EQ(panel.SetPoint.SW, c.expected.SW);
        EXPECT_EQ(panel.SetPoint.LW, c.expected.LW);
        // The entry stays as it was.
        EXPECT_EQ(panel.InputMode, c.mode);
        EXPECT_EQ(panel.findChild<QLineEdit *>("Edit1")->text(), c.first);
    }
}

TEST_F(SetPointTwins, BoundsAreWrittenOnEveryRunAndSetPointOnlyOnSuccess) {
    ASSERT_EQ(RunBoth(0, "600.0", "5"), std::make_pair(true, true));
    EXPECT_EQ(panel.MinCWForFWHM, 595.0);
    // FWHM 11 has no column: its bounds read 0 and the set-point of the last pass stays.
    EXPECT_EQ(RunBoth(0, "605.0", "11"), std::make_pair(false, false));
    EXPECT_EQ(panel.MinCW, 590.0);
    EXPECT_EQ(panel.MaxCW, 630.0);
    EXPECT_EQ(panel.MinFWHM, 2.0);
    EXPECT_EQ(panel.MaxFWHM, 20.0);
    EXPECT_EQ(panel.MinCWForFWHM, 0.0);
    EXPECT_EQ(panel.MaxCWForFWHM, 0.0);
    EXPECT_EQ(panel.SetPoint.CWL, 600.0);
    EXPECT_EQ(panel.SetPoint.FWHM, 5.0);
}

// Random entries, numbers and not, in both modes: the twins reach the same verdict and message,
// and the remote reply carries exactly that message.
TEST_F(SetPointTwins, RandomEntriesGetTheSameVerdictAndMessageFromBothTwins) {
    QRandomGenerator random(4711);
    const auto entry = [&random]() -> QString {
        switch (random.bounded(8)) {
        case 0:
            return {};
        case 1:
            return QStringLiteral("x%1").arg(random.bounded(10));
        case 2:
            return QString::number(random.bounded(-300, 300) / 10.0, 'f', 1);
        default:
            return QString::number(random.bounded(57000, 65000) / 100.0, 'f', random.bounded(3));
        }
    };
    for (int i = 0; i < 2000; ++i) {
        const int mode = random.bounded(2);
        const QString first = entry();
        const QString second = mode == 0 ? QString::number(random.bounded(0, 250) / 10.0) : entry();
        const std::pair<bool, bool> verdicts = RunBoth(mode, first, second);
        const std::string trace =
            std::to_string(mode) + " [" + first.toStdString() + "] [" + second.toStdString() + "]";
        ASSERT_EQ(verdicts.first, verdicts.second) << trace;
        ASSERT_EQ(localMessages, console.Messages) << trace;
        if (verdicts.first)
            continue;
        ASSERT_EQ(console.Messages.size(), 1) << trace;
        EXPECT_EQ(console.RemoteReply.ReplyText, mode == 0 ? "SETC FAIL" : "SETR FAIL");
        EXPECT_EQ(QString::fromLatin1(console.RemoteReply.ErrorCode) + " : " +
                      FromRemoteBytes(console.RemoteReply.ErrorText),
                  console.Messages.first().Text)
            << trace;
    }
}

// The panel against the simulated instrument through the real link.
class SetPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (HasFatalFailure())
            return;
        panel = std::make_unique<TForm_ControlSet>(session(), *console);
        AddPanel(*panel);
        panel->show();
    }
    QWidget *Child(const char *name) const {
        QWidget *child = panel->findChild<QWidget *>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QLineEdit *Edit(const char *name) const {
        return panel->findChild<QLineEdit *>(QString::fromLatin1(name));
    }
    void Click(const char *name) { QTest::mouseClick(Child(name), Qt::LeftButton); }
    // Clicks into the edit (which empties it) and types.
    void Type(const char *name, const QString &text) {
        Click(name);
        QTest::keyClicks(Edit(name), text);
    }
    bool Pressed(const char *button) const {
        const QString name = QString::fromLatin1(button);
        return Child(qPrintable(name + "_On"))->isVisible() &&
               !Child(qPrintable(name + "_Off"))->isVisible();
    }
    // A click that arrives with the next round of event processing, as during an operation.
    static void PostClick(QWidget *target) {
        const QPointF at = QRectF(target->rect()).center();
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                            target->mapToGlobal(at), Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                            target->mapToGlobal(at), Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
    }
    QString Go600() const { return GoLineFor(QStringLiteral("600.0"), QStringLiteral("5.0")); }
    void ExpectBandAt600() const {
        EXPECT_EQ(ViewText("Label_RangeMin"), "390.0");
        EXPECT_EQ(ViewText("Label_RangeMax"), "810.0");
        EXPECT_EQ(ViewText("Label_Edit3"), "600.00");
        EXPECT_EQ(ViewText("Label_Edit4"), "597.50");
        EXPECT_EQ(ViewText("Label_Edit5"), "602.50");
        EXPECT_EQ(ViewText("Label_Edit6"), "[ 5.00 ]");
        // 600.0 is the middle of 390..810; the edges land 310.26 and 3.74 px either side of 454.
        EXPECT_EQ(ViewLeft("Image_Edit3_Base"), 364);
        EXPECT_EQ(ViewLeft("Image_Pos_SW"), 448);
        EXPECT_EQ(ViewLeft("Image_Pos_LW"), 453);
    }

    std::unique_ptr<TForm_ControlSet> panel;
};

TEST_F(SetPanelTest, StartsInCentreWidthModeWithEmptyEditsAndButtonsUp) {
    EXPECT_EQ(panel->InputMode, 0);
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty());
    EXPECT_TRUE(Edit("Edit2")->text().isEmpty());
    for (const char *shown : {"Image_Button1_On", "Image_Button2_Off", "Image_Edit1_Mode1",
                              "Image_Edit2_Mode1", "Image_Button3_Off", "Image_Button4_Off"})
        EXPECT_TRUE(Child(shown)->isVisible()) << shown;
    for (const char *hidden :
         {"Image_Button1_Off", "Image_Button2_On", "Image_Edit1_Mode2", "Image_Edit2_Mode2",
          "Image_Button3_On", "Image_Button4_On", "Label_Remote"})
        EXPECT_FALSE(Child(hidden)->isVisible()) << hidden;
}

TEST_F(SetPanelTest, EditsTakeFiveTypedCharactersAndAreEmptiedByClicksAndModeSwitches) {
    Type("Edit1", "600.25");
    Type("Edit2", "5.0");
    EXPECT_EQ(Edit("Edit1")->text(), "600.2");
    Click("Edit1");
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty());
    EXPECT_EQ(Edit("Edit2")->text(), "5.0");

    Type("Edit1", "597.5");
    Click("Image_Button2_Off");
    EXPECT_EQ(panel->InputMode, 1);
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty() && Edit("Edit2")->text().isEmpty());
    EXPECT_TRUE(Child("Image_Button2_On")->isVisible() && Child("Image_Edit1_Mode2")->isVisible());
    EXPECT_FALSE(Child("Image_Button1_On")->isVisible() || Child("Image_Edit2_Mode1")->isVisible());

    Type("Edit2", "602.5");
    Click("Image_Button1_Off");
    EXPECT_EQ(panel->InputMode, 0);
    EXPECT_TRUE(Edit("Edit2")->text().isEmpty());
    EXPECT_TRUE(Child("Image_Button1_On")->isVisible() && Child("Image_Edit2_Mode1")->isVisible());

    // A remote argument arrives whole.
    panel->ApplyRemoteParameters(1, QStringLiteral("597.45"), QStringLiteral("602.55"));
    EXPECT_EQ(panel->InputMode, 1);
    EXPECT_EQ(Edit("Edit1")->text(), "597.45");
    EXPECT_TRUE(Child("Image_Button2_On")->isVisible());
    EXPECT_TRUE(RequestLines().isEmpty());
}

TEST_F(SetPanelTest, GoWithTypedCentreAndWidthMovesToTheTableCellAndShowsTheBand) {
    Type("Edit1", "600.0");
    Type("Edit2", "5.0");
    bool pressedWhileMoving = false;
    console->OnMessage = [&](const StatusMessage &) {
        pressedWhileMoving = Pressed("Image_Button4");
    };
    Click("Image_Button4_Off");

    EXPECT_EQ(console->Messages,
              (QVector<StatusMessage>{{"Changing wavelength and FWHM. Please wait...", Silver},
                                      {"Successfully changed wavelength and FWHM.", Lime}}));
    EXPECT_TRUE(pressedWhileMoving);
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600()}));
    EXPECT_EQ(rig.sim->records().last().check, "cell=600.0/5.0");
    ExpectBandAt600();
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(LockTakes(), 1);
    EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());
    EXPECT_EQ(Edit("Edit1")->text(), "600.0");
}

TEST_F(SetPanelTest, GoWithTypedEdgesMovesToTheSameCell) {
    Click("Image_Button2_Off");
    Type("Edit1", "597.5");
    Type("Edit2", "602.5");
    Click("Image_Button4_Off");
    EXPECT_EQ(console->MessageTexts().last(), "Successfully changed wavelength and FWHM.");
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600()}));
    ExpectBandAt600();
}

TEST_F(SetPanelTest, GoWithAnInvalidEntryShowsTheRuleAndMovesNothing) {
    struct Case {
        const char *cwl, *fwhm, *message;
    };
    for (const Case &c :
         {Case{"abc", "5", "ERRSE03 : Out of range. Please set [CWL] >= 400.0"},
          Case{"600.2", "5", "ERRSE07 : The decimal place of [CWL] must be an even integer."},
          Case{"600", "4", "ERRSE10 : Out of range. If [FWHM] = 4.0 Please set [CWL] <= 0.0"}}) {
        console->Messages.clear();
        rig.sim->clearRecords();
        Type("Edit1", c.cwl);
        Type("Edit2", c.fwhm);
        Click("Image_Button4_Off");
        EXPECT_EQ(console->Messages,
                  (QVector<StatusMessage>{{"Changing wavelength and FWHM. Please wait...", Silver},
                                          {WithSigns(c.message), Red}}));
        EXPECT_EQ(RequestLines(), QStringList{"POS 3"});
        EXPECT_FALSE(session().IsOperationBusy());
        EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());
    }
    EXPECT_TRUE(ViewText("Label_Edit3").isEmpty());
}

TEST_F(SetPanelTest, ResetHomesAndShowsTheRangeOnly) {
    panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    Click("Image_Button4_Off");
    console->Messages.clear();
    rig.sim->clearRecords();
    bool pressedWhileHoming = false;
    console->OnMessage = [&](const StatusMessage &) {
        pressedWhileHoming = Pressed("Image_Button3");
    };
    Click("Image_Button3_Off");

    EXPECT_EQ(console->Messages,
              (QVector<StatusMessage>{{"Restarting device. Please wait...", Silver},
                                      {"Reset complete.", Lime}}));
    EXPECT_TRUE(pressedWhileHoming);
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3"}));
    EXPECT_EQ(ViewText("Label_RangeMin"), "390.0");
    EXPECT_EQ(ViewText("Label_RangeMax"), "810.0");
    EXPECT_TRUE(ViewText("Label_Edit3").isEmpty());
    EXPECT_EQ(ViewLeft("Image_Pos_CWL"), 451);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_TRUE(Child("Image_Button3_Off")->isVisible());
}

// The instrument answers but no calibration table was loaded: homing still works, and the view
// is not given a range made of zero bounds (-10.0 .. 10.0).
class SetPanelWithoutTableTest : public SetPanelTest {
protected:
    void SetUp() override {
        installCalCopy = false;
        SetPanelTest::SetUp();
    }
};

TEST_F(SetPanelWithoutTableTest, ResetLeavesTheViewAsItIs) {
    Click("Image_Button3_Off");
    EXPECT_EQ(console->MessageTexts().last(), "Reset complete.");
    EXPECT_TRUE(ViewText("Label_RangeMin").isEmpty());
    EXPECT_TRUE(ViewText("Label_RangeMax").isEmpty());
}

TEST_F(SetPanelTest, FailedMoveAndFailedHomingReportTheirCodes) {
    panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    // The GO reply comes back behind an echo of the request, which the link refuses.
    console->OnMessage = [&](const StatusMessage &m) {
        if (m.Text.endsWith(QStringLiteral("Please wait...")))
            rig.sim->faults().echo = true;
    };
    Click("Image_Button4_Off");
    EXPECT_EQ(console->Messages.last(),
              (StatusMessage{"ERRDV04 : Failed to change wavelength and FWHM.", Red}));
    EXPECT_TRUE(ViewText("Label_Edit3").isEmpty());
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());

    rig.sim->faults().echo = false;
    console->OnMessage = [&](const StatusMessage &m) {
        if (m.Text.endsWith(QStringLiteral("Please wait...")))
            rig.sim->unplug();
    };
    Click("Image_Button3_Off");
    EXPECT_EQ(console->Messages.last(), (StatusMessage{"ERRDV03 : Reset failure.", Red}));
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_TRUE(Child("Image_Button3_Off")->isVisible());
}

// Clicks on Reset and on the pressed Go picture that arrive while a Go runs: each makes its
// position read, then finds the lock taken and ends without a word.
TEST_F(SetPanelTest, ClicksDuringAGoAreRefusedByTheLock) {
    panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    console->OnMessage = [&](const StatusMessage &m) {
        if (m.Text.startsWith(QStringLiteral("Changing")))
            PostClick(Child("Image_Button3_Off"));
        else if (m.Text.startsWith(QStringLiteral("Successfully")))
            PostClick(Child("Image_Button4_On"));
    };
    Click("Image_Button4_Off");

    EXPECT_EQ(console->MessageTexts(), (QStringList{"Changing wavelength and FWHM. Please wait...",
                                                    "Successfully changed wavelength and FWHM."}));
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "POS 3", Go600(), "POS 3"}));
    EXPECT_EQ(LockTakes(), 1);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_TRUE(Child("Image_Button3_Off")->isVisible());
    EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());
}

TEST_F(SetPanelTest, RemoteGoRepliesByModeAndMovesEvenUnderRemoteControl) {
    console->RemoteMode = true;
    panel->Action_RemoteControl_Enable();
    // Six characters, possible only remotely: read as 600.0.
    panel->ApplyRemoteParameters(0, QStringLiteral("600.04"), QStringLiteral("5"));
    panel->Action_RemoteControl_Go();
    EXPECT_EQ(console->RemoteReply.ReplyText, "SETC OK");
    EXPECT_TRUE(console->RemoteReply.ErrorCode.isEmpty() &&
                console->RemoteReply.ErrorText.isEmpty());
    EXPECT_EQ(console->Messages.last(),
              (StatusMessage{"Successfully changed wavelength and FWHM.", Lime}));
    ExpectBandAt600();

    panel->ApplyRemoteParameters(1, QStringLiteral("597.5"), QStringLiteral("602.5"));
    panel->Action_RemoteControl_Go();
    EXPECT_EQ(console->RemoteReply.ReplyText, "SETR OK");

    console->OnMessage = [&](const StatusMessage &m) {
        if (m.Text.endsWith(QStringLiteral("Please wait...")))
            rig.sim->faults().echo = true;
    };
    panel->Action_RemoteControl_Go();
    EXPECT_EQ(console->RemoteReply.ReplyText, "SETR FAIL");
    EXPECT_EQ(console->RemoteReply.ErrorCode, "ERRDV04");
    EXPECT_EQ(console->RemoteReply.ErrorText, "Failed to change wavelength and FWHM.");
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600(), "POS 3", Go600(), "POS 3", Go600()}));
}

TEST_F(SetPanelTest, RemoteGoWithAnInvalidEntryRepliesTheRuleWithItsSignBytes) {
    panel->ApplyRemoteParameters(0, QStringLiteral("300"), QStringLiteral("5"));
    panel->Action_RemoteControl_Go();
    EXPECT_EQ(console->RemoteReply.ReplyText, "SETC FAIL");
    EXPECT_EQ(console->RemoteReply.ErrorCode, "ERRSE03");
    EXPECT_EQ(console->RemoteReply.ErrorText, "Out of range. Please set [CWL] \xA1\xC3 400.0");
    EXPECT_EQ(console->Messages.last(),
              (StatusMessage{WithSigns("ERRSE03 : Out of range. Please set [CWL] >= 400.0"), Red}));
    EXPECT_EQ(RequestLines(), QStringList{"POS 3"});
}

TEST_F(SetPanelTest, RemoteResetRepliesItsOutcome) {
    panel->Action_RemoteControl_Reset();
    EXPECT_EQ(console->RemoteReply.ReplyText, "RESET OK");
    EXPECT_TRUE(console->RemoteReply.ErrorCode.isEmpty() &&
                console->RemoteReply.ErrorText.isEmpty());
    EXPECT_EQ(console->Messages.last(), (StatusMessage{"Reset complete.", Lime}));
    EXPECT_EQ(ViewText("Label_RangeMin"), "390.0");

    console->OnMessage = [&](const StatusMessage &m) {
        if (m.Text.endsWith(QStringLiteral("Please wait...")))
            rig.sim->unplug();
    };
    panel->Action_RemoteControl_Reset();
    EXPECT_EQ(console->RemoteReply.ReplyText, "RESET FAIL");
    EXPECT_EQ(console->RemoteReply.ErrorCode, "ERRDV03");
    EXPECT_EQ(console->RemoteReply.ErrorText, "Reset failure.");
    EXPECT_EQ(console->Messages.last(), (StatusMessage{"ERRDV03 : Reset failure.", Red}));
}

TEST_F(SetPanelTest, UnderRemoteControlThePanelTakesNoLocalInput) {
    panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    panel->Action_RemoteControl_Enable();
    EXPECT_TRUE(Child("Label_Remote")->isVisible());
    for (const char *name :
         {"Image_Button4_Off", "Image_Button3_Off", "Image_Button2_Off", "Edit1"})
        Click(name);
    QTest::keyClicks(Edit("Edit2"), "1");
    EXPECT_TRUE(console->Messages.isEmpty());
    EXPECT_TRUE(RequestLines().isEmpty());
    EXPECT_EQ(panel->InputMode, 0);
    EXPECT_EQ(Edit("Edit1")->text(), "600.0");
    EXPECT_EQ(Edit("Edit2")->text(), "5.0");

    panel->Action_RemoteControl_Disable();
    EXPECT_FALSE(Child("Label_Remote")->isVisible());
    Click("Edit1");
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty());
}

// Each of the four operations, through the guards.
enum class Operation { Reset, Go, RemoteReset, RemoteGo };

struct OperationCase {
    const char *name;
    Operation operation;
    const char *notReady;
    QByteArray notReadyReply; // empty for the operator's clicks
};

void PrintTo(const OperationCase &c, std::ostream *os) {
    *os << c.name;
}

class SetPanelGuards : public SetPanelTest, public ::testing::WithParamInterface<OperationCase> {
protected:
    void SetUp() override {
        SetPanelTest::SetUp();
        if (HasFatalFailure())
            return;
        panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
        console->RemoteReply = {"untouched", "", ""};
    }
    void Run() {
        switch (GetParam().operation) {
        case Operation::Reset:
            Click("Image_Button3_Off");
            break;
        case Operation::Go:
            Click("Image_Button4_Off");
            break;
        case Operation::RemoteReset:
            panel->Action_RemoteControl_Reset();
            break;
        case Operation::RemoteGo:
            panel->Action_RemoteControl_Go();
            break;
        }
    }
    bool Remote() const { return !GetParam().notReadyReply.isEmpty(); }
    void ExpectButtonsUp() const {
        EXPECT_TRUE(Child("Image_Button3_Off")->isVisible());
        EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());
    }
};

TEST_P(SetPanelGuards, NotReadyIsRefusedBeforeAnythingIsSent) {
    LoseInstrument();
    Run();
    EXPECT_EQ(console->Messages, (QVector<StatusMessage>{{GetParam().notReady, Silver}}));
    EXPECT_EQ(console->RemoteReply.ReplyText,
              Remote() ? GetParam().notReadyReply : QByteArray("untouched"));
    if (Remote()) {
        EXPECT_EQ(console->RemoteReply.ErrorCode, "NONE");
        EXPECT_EQ(console->RemoteReply.ErrorText, GetParam().notReady);
    }
    EXPECT_TRUE(RequestLines().isEmpty());
}

TEST_P(SetPanelGuards, RemoteModeRefusesOnlyTheOperatorsClicks) {
    console->RemoteMode = true;
    Run();
    if (Remote()) {
        EXPECT_EQ(console->Messages.last().Colour, Lime);
    } else {
        EXPECT_EQ(console->Messages,
                  (QVector<StatusMessage>{{"Remote control mode is activated.", Silver}}));
        EXPECT_TRUE(RequestLines().isEmpty());
    }
}

TEST_P(SetPanelGuards, LostLinkReportsErrdv02AndClosesTheDeviceWithoutAReply) {
    rig.sim->unplug();
    Run();
    EXPECT_EQ(console->Messages,
              (QVector<StatusMessage>{{"ERRDV02 : Communication error. Connection lost.", Red}}));
    EXPECT_EQ(LinkCloses(), 1);
    EXPECT_FALSE(session().Device().isOpen());
    EXPECT_EQ(console->RemoteReply.ReplyText, "untouched");
    EXPECT_EQ(LockTakes(), 0);
    ExpectButtonsUp();
}

TEST_P(SetPanelGuards, LockHeldElsewhereRefusesSilentlyAfterThePositionRead) {
    HoldLock();
    Run();
    EXPECT_TRUE(console->Messages.isEmpty());
    EXPECT_EQ(RequestLines(), QStringList{"POS 3"});
    EXPECT_TRUE(session().IsOperationBusy());
    EXPECT_EQ(console->RemoteReply.ReplyText, "untouched");
    ExpectButtonsUp();
}

INSTANTIATE_TEST_SUITE_P(
    FourOperations, SetPanelGuards,
    ::testing::Values(
        OperationCase{"Reset", Operation::Reset, "Reset failure. Device not ready.", {}},
        OperationCase{"Go", Operation::Go, "Device not ready. Please connect Kestrune.", {}},
        OperationCase{"RemoteReset", Operation::RemoteReset, "Reset failure. Device not ready.",
                      "RESET FAIL"},
        OperationCase{"RemoteGo", Operation::RemoteGo, "Device not ready. Please connect Kestrune.",
                      "SETC FAIL"}),
    [](const ::testing::TestParamInfo<OperationCase> &info) { return info.param.name; });

// A failure raised in the middle of a remote operation (the remote dispatcher catches and reports
// it) still gives back the pressed picture and the lock.
TEST_F(SetPanelTest, FailureRaisedInsideARemoteOperationReleasesButtonAndLock) {
    panel->ApplyRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    QStringList pressed;
    console->OnMessage = [&](const StatusMessage &m) {
        if (!m.Text.endsWith(QStringLiteral("Please wait...")))
            return;
        pressed << QString::number(Pressed("Image_Button3")) +
                       QString::number(Pressed("Image_Button4"));
        throw std::runtime_error("raised inside the operation");
    };
    EXPECT_THROW(panel->Action_RemoteControl_Reset(), std::runtime_error);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_THROW(panel->Action_RemoteControl_Go(), std::runtime_error);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_EQ(pressed, (QStringList{"10", "01"}));
    EXPECT_TRUE(Child("Image_Button3_Off")->isVisible());
    EXPECT_TRUE(Child("Image_Button4_Off")->isVisible());
}

TEST_F(SetPanelTest, RemoteGoNotReadyInEdgeModeRepliesSetrFail) {
    LoseInstrument();
    panel->ApplyRemoteParameters(1, QStringLiteral("597.5"), QStringLiteral("602.5"));
    panel->Action_RemoteControl_Go();
    EXPECT_EQ(console->RemoteReply.ReplyText, "SETR FAIL");
    EXPECT_EQ(console->RemoteReply.ErrorCode, "NONE");
}

} // namespace
