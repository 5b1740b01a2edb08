// The SCAN panel's drawing and input on the real session; the scans themselves are the session's
// (session/scanrun_test.cpp).

#include "console/formcontrolscan.h"

#include "panelfixture.h"

#include "console/scanprogressview.h"

#include "sim/virtualinstrument.h"
#include "support/scriptedpeer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Plan = std::array<const char *, 5>; // START, END, FWHM, STEP, TimeDelay as typed

// A plan that dwells 10 s at its first point, so that a test can act while it stands.
const Plan LongPlan{"580.0", "610.0", "5.0", "10.0", "10.0"};
const char *const Boxes[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"};

class ScanPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (HasFatalFailure())
            return;
        panel = std::make_unique<TForm_ControlScan>(session());
        AddPanel(*panel, TOperation::Scan);
        panel->show();
    }
    void TypePlan(const Plan &plan) {
        for (int i = 0; i < 5; ++i)
            Type(Boxes[i], QString::fromLatin1(plan[i]));
    }
    int GoCount() const { return rig.sim->requestCount(ksim::RequestKind::Go); }
    ::testing::AssertionResult WaitForMessage(const char *text) const {
        if (WaitUntil([&] { return messages.contains(QString::fromLatin1(text)); }, 15000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << messages.join(" | ").toStdString();
    }
    // Escape is the window's shortcut: it needs the panel's window active.
    void PressEscape() {
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        QTest::keyClick(panel.get(), Qt::Key_Escape);
    }

    std::unique_ptr<TForm_ControlScan> panel;
};

TEST_F(ScanPanelTest, EditsStartEmptyTakeFiveTypedCharactersAndRemoteTextsWhole) {
    for (const char *box : Boxes)
        EXPECT_TRUE(Edit(box)->text().isEmpty()) << box;
    EXPECT_FALSE(Pressed("Image_Button3"));
    EXPECT_FALSE(Pressed("Image_Button4"));
    EXPECT_FALSE(Child("Label_Remote")->isVisible());
    Type("Edit1", "580.00");
    EXPECT_EQ(Edit("Edit1")->text(), "580.0");

    panel->ShowRemoteParameters({"580.00", "610.0", "5", "10", "600.00"});
    EXPECT_EQ(Edit("Edit1")->text(), "580.00");
    EXPECT_EQ(Edit("Edit5")->text(), "600.00");
    Click("Edit2");
    EXPECT_TRUE(Edit("Edit2")->text().isEmpty());
    EXPECT_EQ(Edit("Edit3")->text(), "5");
    EXPECT_TRUE(RequestLines().isEmpty());
}

// Go starts the plan in the boxes and shows pressed until the scan's end; while the scan runs Go
// stops it, and so does Escape. Enter in a box starts it as Go does.
TEST_F(ScanPanelTest, GoAndEnterStartTheScanGoAndEscapeStopIt) {
    TypePlan(LongPlan);
    Click("Image_Button4_Off");
    EXPECT_TRUE(session().IsScanning());
    EXPECT_TRUE(Pressed("Image_Button4"));
    EXPECT_EQ(messages.last(), "Scanning...");
    ASSERT_TRUE(WaitUntil([&] { return GoCount() == 1; }));
    Click("Image_Button4_On");
    ASSERT_TRUE(WaitForMessage("Scan aborted."));
    EXPECT_FALSE(Pressed("Image_Button4"));
    EXPECT_EQ(RequestLines(),
              (QStringList{"POS 3", "BKEN 0", rig.GoLineFor("580.0", "5.0"), "POS 3"}));

    messages.clear();
    QTest::keyClick(Edit("Edit5"), Qt::Key_Enter);
    EXPECT_TRUE(session().IsScanning());
    EXPECT_TRUE(Pressed("Image_Button4"));
    ASSERT_TRUE(WaitUntil([&] { return GoCount() == 2; }));
    PressEscape();
    ASSERT_TRUE(WaitForMessage("Scan aborted."));
    EXPECT_FALSE(Pressed("Image_Button4"));
    EXPECT_EQ(GoCount(), 2);
}

TEST_F(ScanPanelTest, ResetHomesWithThisPanelsResetPressedMeanwhile) {
    QStringList pressedWhileHoming;
    onMessage = [&](const QString &text) {
        if (text.endsWith(QStringLiteral("Please wait...")))
            pressedWhileHoming << QString::number(Pressed("Image_Button3")) +
                                      QString::number(Pressed("Image_Button4"));
    };
    Click("Image_Button3_Off");
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3"}));
    EXPECT_EQ(pressedWhileHoming, QStringList{"10"});
    EXPECT_EQ(messages.last(), "Reset complete.");
    EXPECT_FALSE(Pressed("Image_Button3"));
}

// A remote client's scan shows Go pressed here, but neither Go nor Escape stops it: the client
// decides. The boxes take no typing meanwhile.
TEST_F(ScanPanelTest, UnderRemoteControlThePanelTakesNoLocalInput) {
    session().SetRemoteControlled(true);
    EXPECT_TRUE(Child("Label_Remote")->isVisible());
    panel->ShowRemoteParameters({"580.0", "610.0", "5.0", "10.0", "10.0"});
    session().StartScan(TRequester::Remote, {"580.0", "610.0", "5.0", "10.0", "10.0"});
    EXPECT_TRUE(Pressed("Image_Button4"));
    ASSERT_TRUE(WaitUntil([&] { return GoCount() == 1; }));
    Click("Image_Button4_On");
    Click("Image_Button3_Off");
    Click("Edit1");
    QTest::keyClicks(Edit("Edit2"), "1");
    PressEscape();
    EXPECT_EQ(Edit("Edit1")->text(), "580.0");
    EXPECT_EQ(Edit("Edit2")->text(), "610.0");
    EXPECT_EQ(messages, QStringList{"Scanning..."});
    EXPECT_EQ(RequestLines().size(), 3) << "POS 3, BKEN 0 and the first GO only";
    EXPECT_TRUE(session().IsScanning());

    session().StopScan(TRequester::Remote);
    EXPECT_FALSE(Pressed("Image_Button4"));
    session().SetRemoteControlled(false);
    EXPECT_FALSE(Child("Label_Remote")->isVisible());
    Click("Edit1");
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty());
}

TEST_F(ScanPanelTest, ProductLineAndTooltipsFollowTheTable) {
    auto *product = qobject_cast<QLabel *>(Child("Label_Product"));
    EXPECT_EQ(product->text(), session().GetProductLabel());
    EXPECT_TRUE(product->text().startsWith("KESTRUNE")) << product->text().toStdString();
    EXPECT_EQ(Edit("Edit1")->toolTip(),
              "Centre wavelength of the first point: 400.0 to 800.0 nm in steps of 0.5 nm");
    EXPECT_EQ(Edit("Edit4")->accessibleName(), "STEP");
    EXPECT_EQ(Edit("Edit4")->toolTip(),
              "Distance between points: a whole multiple of 0.5 nm, the table's CW interval");

    session().Action_DeviceClose();
    EXPECT_EQ(product->text(), "No Device");
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(0xff, 0x00, 0x00));
    EXPECT_EQ(Edit("Edit1")->toolTip(),
              "Centre wavelength of the first point: no calibration table loaded");
    EXPECT_EQ(Edit("Edit4")->toolTip(), "Distance between points: no calibration table loaded");
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

} // namespace
