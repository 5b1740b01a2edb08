#include "console/formcontrolset.h"

#include "resources/consolewidgets.h"

#include <QCoreApplication>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor EditBackground{0x23, 0x23, 0x23};
constexpr int EditTypingLimit = 5;
} // namespace

TForm_ControlSet::TForm_ControlSet(IConsoleHost &host, QWidget *parent)
    : QWidget(parent), Host(host) {
    setObjectName(QStringLiteral("Form_ControlSet"));
    setFixedSize(910, 242);
    Panel_Main = NewPanel(this, QStringLiteral("Panel_Main"), QRect(0, 0, 910, 242), Background);
    auto picture = [this](const char *name, const char *artwork, const QRect &geometry) {
        return new TPicture(Panel_Main, QString::fromLatin1(name), QString::fromLatin1(artwork),
                            geometry);
    };
    Image_Base = picture("Image_Base", "set_base", QRect(0, 0, 910, 242));
    Image_Button1_On = picture("Image_Button1_On", "set_button1_on", QRect(56, 88, 178, 60));
    Image_Button1_Off = picture("Image_Button1_Off", "set_button1_off", QRect(56, 88, 178, 60));
    Image_Button2_On = picture("Image_Button2_On", "set_button2_on", QRect(56, 163, 178, 60));
    Image_Button2_Off = picture("Image_Button2_Off", "set_button2_off", QRect(56, 163, 178, 60));
    Image_Edit1_Mode1 = picture("Image_Edit1_Mode1", "set_edit1_mode1", QRect(252, 88, 176, 135));
    Image_Edit1_Mode2 = picture("Image_Edit1_Mode2", "set_edit1_mode2", QRect(252, 88, 176, 135));
    Image_Edit2_Mode1 = picture("Image_Edit2_Mode1", "set_edit2_mode1", QRect(434, 88, 176, 135));
    Image_Edit2_Mode2 = picture("Image_Edit2_Mode2", "set_edit2_mode2", QRect(434, 88, 176, 135));
    Image_Button3_On = picture("Image_Button3_On", "set_button3_on", QRect(628, 88, 75, 135));
    Image_Button3_Off = picture("Image_Button3_Off", "set_button3_off", QRect(628, 88, 75, 135));
    Image_Button4_On = picture("Image_Button4_On", "set_button4_on", QRect(710, 88, 147, 135));
    Image_Button4_Off = picture("Image_Button4_Off", "set_button4_off", QRect(710, 88, 147, 135));
    Label_Product = NewLabel(Panel_Main, QStringLiteral("Label_Product"), QRect(440, 24, 416, 28),
                             21, ProductText, Qt::black);
    Label_Remote = NewLabel(Panel_Main, QStringLiteral("Label_Remote"), QRect(252, 24, 176, 28), 21,
                            QColor(0xff, 0x00, 0x00), Qt::black);
    Label_Remote->setText(QStringLiteral("Remote"));
    Label_Remote->hide();
    Edit1 = new TLimitedEdit(Panel_Main, QStringLiteral("Edit1"), QRect(268, 160, 144, 48), 37,
                             EditBackground, EditTypingLimit);
    Edit2 = new TLimitedEdit(Panel_Main, QStringLiteral("Edit2"), QRect(450, 160, 144, 48), 37,
                             EditBackground, EditTypingLimit);
    QWidget::setTabOrder(Edit1, Edit2);

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

void TForm_ControlSet::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Action_UpdateUI();
}

void TForm_ControlSet::Action_UpdateUI() {
    SetTextColour(Label_Product, Host.IsDeviceReady() ? ProductText : QColor(0xff, 0x00, 0x00));
    Label_Product->setText(Host.GetProductLabel());
}

void TForm_ControlSet::Action_EditMode_Update() {
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

void TForm_ControlSet::Action_Button3_Down() {
    Image_Button3_On->show();
    Image_Button3_Off->hide();
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Action_Button3_Up() {
    Image_Button3_On->hide();
    Image_Button3_Off->show();
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Action_Button4_Down() {
    Image_Button4_On->show();
    Image_Button4_Off->hide();
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Action_Button4_Up() {
    Image_Button4_On->hide();
    Image_Button4_Off->show();
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Action_RemoteControl_Enable() {
    Label_Remote->show();
    SetControlsEnabled(false);
}

void TForm_ControlSet::Action_RemoteControl_Disable() {
    Label_Remote->hide();
    SetControlsEnabled(true);
}

void TForm_ControlSet::SetControlsEnabled(bool enabled) {
    for (QWidget *control :
         std::initializer_list<QWidget *>{Image_Button1_On, Image_Button1_Off, Image_Button2_On,
                                          Image_Button2_Off, Image_Button3_On, Image_Button3_Off,
                                          Image_Button4_On, Image_Button4_Off, Edit1, Edit2})
        control->setEnabled(enabled);
}
