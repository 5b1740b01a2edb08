// The SET panel's drawing and input on the real session; what the operations do is the session's
// (session/sessionoperations_test.cpp).

#include "console/formcontrolset.h"

#include "panelfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class SetPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (HasFatalFailure())
            return;
        panel = std::make_unique<TForm_ControlSet>(session());
        AddPanel(*panel, TOperation::SetBand);
        panel->show();
    }
    QString Go600() const { return rig.GoLineFor(QStringLiteral("600.0"), QStringLiteral("5.0")); }
    void PressKey(const char *name, Qt::Key key) {
        Child(name)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(Child(name), key);
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

    // A remote request's texts arrive whole, in the request's mode.
    panel->ShowRemoteParameters(1, QStringLiteral("597.45"), QStringLiteral("602.55"));
    EXPECT_EQ(panel->InputMode, 1);
    EXPECT_EQ(Edit("Edit1")->text(), "597.45");
    EXPECT_EQ(Edit("Edit2")->text(), "602.55");
    EXPECT_TRUE(Child("Image_Button2_On")->isVisible());
    EXPECT_TRUE(RequestLines().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

// Go, Enter in a box and Space on the keyboard's Go all ask the session for the band in the
// boxes, read in the panel's mode; Go shows pressed while the instrument moves.
TEST_F(SetPanelTest, GoEnterAndSpaceMoveToTheBandInTheBoxesWithGoPressedMeanwhile) {
    QStringList pressedWhileMoving;
    onMessage = [&](const QString &text) {
        if (text.endsWith(QStringLiteral("Please wait...")))
            pressedWhileMoving << QString::number(Pressed("Image_Button3")) +
                                      QString::number(Pressed("Image_Button4"));
    };
    Type("Edit1", "600.0");
    Type("Edit2", "5.0");
    Click("Image_Button4_Off");
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600()}));
    EXPECT_EQ(messages.last(), "Successfully changed wavelength and FWHM.");
    EXPECT_EQ(Edit("Edit1")->text(), "600.0");

    Click("Image_Button2_Off");
    Type("Edit1", "597.5");
    Type("Edit2", "602.5");
    QTest::keyClick(Edit("Edit2"), Qt::Key_Return);
    PressKey("Key_Button4", Qt::Key_Space);
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", Go600(), "POS 3", Go600(), "POS 3", Go600()}));
    EXPECT_EQ(pressedWhileMoving, (QStringList{"01", "01", "01"}));
    EXPECT_FALSE(Pressed("Image_Button4"));
}

TEST_F(SetPanelTest, ResetByClickAndBySpaceHomesWithResetPressedMeanwhile) {
    QStringList pressedWhileHoming;
    onMessage = [&](const QString &text) {
        if (text.endsWith(QStringLiteral("Please wait...")))
            pressedWhileHoming << QString::number(Pressed("Image_Button3")) +
                                      QString::number(Pressed("Image_Button4"));
    };
    Click("Image_Button3_Off");
    PressKey("Key_Button3", Qt::Key_Space);
    EXPECT_EQ(RequestLines(), (QStringList{"POS 3", "HOME 3", "POS 3", "HOME 3"}));
    EXPECT_EQ(pressedWhileHoming, (QStringList{"10", "10"}));
    EXPECT_EQ(messages.last(), "Reset complete.");
    EXPECT_FALSE(Pressed("Image_Button3"));
}

// A remote client drives the instrument: the tag shows and the panel takes no input, not even to
// say so, while remote requests still show their texts.
TEST_F(SetPanelTest, UnderRemoteControlThePanelTakesNoLocalInput) {
    panel->ShowRemoteParameters(0, QStringLiteral("600.0"), QStringLiteral("5.0"));
    session().SetRemoteControlled(true);
    EXPECT_TRUE(Child("Label_Remote")->isVisible());
    for (const char *name :
         {"Image_Button4_Off", "Image_Button3_Off", "Image_Button2_Off", "Edit1"})
        Click(name);
    QTest::keyClicks(Edit("Edit2"), "1");
    PressKey("Key_Button4", Qt::Key_Space);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(RequestLines().isEmpty());
    EXPECT_EQ(panel->InputMode, 0);
    EXPECT_EQ(Edit("Edit1")->text(), "600.0");
    EXPECT_EQ(Edit("Edit2")->text(), "5.0");
    panel->ShowRemoteParameters(1, QStringLiteral("597.5"), QStringLiteral("602.5"));
    EXPECT_EQ(Edit("Edit1")->text(), "597.5");

    session().SetRemoteControlled(false);
    EXPECT_FALSE(Child("Label_Remote")->isVisible());
    Click("Edit1");
    EXPECT_TRUE(Edit("Edit1")->text().isEmpty());
}

// The product line and the boxes' names and tooltips follow the instrument, its table and the
// panel's mode.
TEST_F(SetPanelTest, ProductLineAndTooltipsFollowTheTableAndTheMode) {
    auto *product = qobject_cast<QLabel *>(Child("Label_Product"));
    EXPECT_EQ(product->text(), session().GetProductLabel());
    EXPECT_TRUE(product->text().startsWith("KESTRUNE")) << product->text().toStdString();
    EXPECT_EQ(Edit("Edit1")->toolTip(), "CWL: 400.0 to 800.0 nm in steps of 0.5 nm");
    EXPECT_EQ(Edit("Edit2")->toolTip(), "FWHM: 2, 3, 5, 10, 15, 20, 30 or 40 nm");
    Click("Image_Button2_Off");
    EXPECT_EQ(Edit("Edit1")->accessibleName(), "SW");
    EXPECT_EQ(Edit("Edit1")->toolTip(), "Short-wave edge: 380.0 to 800.0 nm for the loaded table");
    EXPECT_EQ(Edit("Edit2")->accessibleName(), "LW");
    EXPECT_EQ(Edit("Edit2")->toolTip(),
              "Long-wave edge: 400.0 to 820.0 nm for the loaded table; LW - SW: 2, 3, 5, 10, 15, "
              "20, 30 or 40 nm");

    session().Action_DeviceClose();
    EXPECT_EQ(product->text(), "No Device");
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(0xff, 0x00, 0x00));
    EXPECT_EQ(Edit("Edit1")->toolTip(), "Short-wave edge: no calibration table loaded");
}

} // namespace
