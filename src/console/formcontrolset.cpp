#include "console/formcontrolset.h"

#include "caldata/caldata.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>

namespace {
const QColor EditBackground{0x23, 0x23, 0x23};
constexpr int EditTypingLimit = 5;
} // namespace

TForm_ControlSet::TForm_ControlSet(TInstrumentSession &session, QWidget *parent)
    : TForm_ControlPanel(session, QStringLiteral("Form_ControlSet"), QStringLiteral("set"),
                         QRect(628, 88, 75, 135), QRect(710, 88, 147, 135), parent) {
    auto picture = [this](const char *name, const char *artwork, const QRect &geometry) {
        return new TPicture(Panel_Main, QString::fromLatin1(name), QString::fromLatin1(artwork),
                            geometry);
    };
    Image_Button1_On = picture("Image_Button1_On", "set_button1_on", QRect(56, 88, 178, 60));
    Image_Button1_Off = picture("Image_Button1_Off", "set_button1_off", QRect(56, 88, 178, 60));
    Image_Button2_On = picture("Image_Button2_On", "set_button2_on", QRect(56, 163, 178, 60));
    Image_Button2_Off = picture("Image_Button2_Off", "set_button2_off", QRect(56, 163, 178, 60));
    Image_Edit1_Mode1 = picture("Image_Edit1_Mode1", "set_edit1_mode1", QRect(252, 88, 176, 135));
    Image_Edit1_Mode2 = picture("Image_Edit1_Mode2", "set_edit1_mode2", QRect(252, 88, 176, 135));
    Image_Edit2_Mode1 = picture("Image_Edit2_Mode1", "set_edit2_mode1", QRect(434, 88, 176, 135));
    Image_Edit2_Mode2 = picture("Image_Edit2_Mode2", "set_edit2_mode2", QRect(434, 88, 176, 135));
    Edit1 = new TLimitedEdit(Panel_Main, QStringLiteral("Edit1"), QRect(268, 160, 144, 48), 37,
                             EditBackground, EditTypingLimit);
    Edit2 = new TLimitedEdit(Panel_Main, QStringLiteral("Edit2"), QRect(450, 160, 144, 48), 37,
                             EditBackground, EditTypingLimit);
    Key_Button1 = new TKeyButton(Panel_Main, QStringLiteral("Key_Button1"), QRect(56, 88, 178, 60),
                                 QStringLiteral("CWL / FWHM"),
                                 QStringLiteral("Enter the band as centre wavelength and width"));
    Key_Button2 = new TKeyButton(Panel_Main, QStringLiteral("Key_Button2"), QRect(56, 163, 178, 60),
                                 QStringLiteral("SW / LW"),
                                 QStringLiteral("Enter the band by its two edges"));
    Key_Button4->setToolTip(QStringLiteral("Moves the instrument to the band in the boxes "
                                           "(Space, or Enter in a box)"));
    // Reading order: the selectors, the boxes left to right, Reset, Go.
    QWidget::setTabOrder(Key_Button1, Key_Button2);
    QWidget::setTabOrder(Key_Button2, Edit1);
    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(Edit2, Key_Button3);
    QWidget::setTabOrder(Key_Button3, Key_Button4);
    GoOnEnter({Edit1, Edit2});
    AddEntryControls({Image_Button1_On, Image_Button1_Off, Image_Button2_On, Image_Button2_Off,
                      Edit1, Edit2, Key_Button1, Key_Button2});

    for (TPicture *picture : {Image_Button1_On, Image_Button1_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button1Click);
    for (TPicture *picture : {Image_Button2_On, Image_Button2_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button2Click);
    connect(Key_Button1, &TKeyButton::clicked, this, &TForm_ControlSet::Image_Button1Click);
    connect(Key_Button2, &TKeyButton::clicked, this, &TForm_ControlSet::Image_Button2Click);
    connect(Edit1, &TLimitedEdit::Click, this, &TForm_ControlSet::Edit1Click);
    connect(Edit2, &TLimitedEdit::Click, this, &TForm_ControlSet::Edit2Click);

    FormCreate();
}

void TForm_ControlSet::FormCreate() {
    Edit1->clear();
    Edit2->clear();
    Action_Button3_Up();
    Action_Button4_Up();
    Action_EditMode_Update();
    Action_RemoteControl_Disable();
    Action_UpdateUI();
}

void TForm_ControlSet::Action_UpdateUI() {
    TForm_ControlPanel::Action_UpdateUI();
    DescribeEdits();
}

void TForm_ControlSet::DescribeEdits() {
    const TCalData &table = Session.CalData();
    const double minCW = table.GetMinCW();
    const double maxCW = table.GetMaxCW();
    const double maxFWHM = table.GetMaxFWHM();
    if (InputMode == 0) {
        Edit1->setAccessibleName(QStringLiteral("CWL"));
        Edit1->setToolTip(QStringLiteral("CWL: ") + CentreText());
        Edit2->setAccessibleName(QStringLiteral("FWHM"));
        Edit2->setToolTip(QStringLiteral("FWHM: ") + WidthsText());
    } else {
        Edit1->setAccessibleName(QStringLiteral("SW"));
        Edit1->setToolTip(QStringLiteral("Short-wave edge: ") +
                          RangeText(minCW - maxFWHM / 2, maxCW));
        Edit2->setAccessibleName(QStringLiteral("LW"));
        Edit2->setToolTip(QStringLiteral("Long-wave edge: ") +
                          RangeText(minCW, maxCW + maxFWHM / 2) + QStringLiteral("; LW - SW: ") +
                          WidthsText());
    }
}

QWidget *TForm_ControlSet::FirstBox() const {
    return Edit1;
}

void TForm_ControlSet::Action_EditMode_Update() {
    DescribeEdits();
    const bool pair = InputMode == 0;
    Image_Button1_On->setVisible(pair);
    Image_Button1_Off->setVisible(!pair);
    Image_Button2_On->setVisible(!pair);
    Image_Button2_Off->setVisible(pair);
    Image_Edit1_Mode1->setVisible(pair);
    Image_Edit1_Mode2->setVisible(!pair);
    Image_Edit2_Mode1->setVisible(pair);
    Image_Edit2_Mode2->setVisible(!pair);
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Image_Button1Click() {
    InputMode = 0;
    Edit1->clear();
    Edit2->clear();
    Action_EditMode_Update();
}

void TForm_ControlSet::Image_Button2Click() {
    InputMode = 1;
    Edit1->clear();
    Edit2->clear();
    Action_EditMode_Update();
}

void TForm_ControlSet::Edit1Click() {
    Edit1->clear();
}

void TForm_ControlSet::Edit2Click() {
    Edit2->clear();
}

void TForm_ControlSet::ShowRemoteParameters(int mode, const QString &first, const QString &second) {
    // Only SETR enters edges.
    InputMode = mode == 1 ? 1 : 0;
    Edit1->clear();
    Edit2->clear();
    Action_EditMode_Update();
    Edit1->setText(first);
    Edit2->setText(second);
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Image_Button4Click() {
    Session.SetBand(TRequester::Operator, InputMode, Edit1->text(), Edit2->text());
}
