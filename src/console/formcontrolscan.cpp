#include "console/formcontrolscan.h"

#include "resources/consolewidgets.h"

#include <QCoreApplication>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor EditBackground{0x22, 0x22, 0x22};
constexpr int EditTypingLimit = 5;
constexpr std::array<int, TForm_ControlScan::EditCount> CapLefts{56, 176, 296, 416, 536};
} // namespace

TForm_ControlScan::TForm_ControlScan(IConsoleHost &host, QWidget *parent)
    : QWidget(parent), Host(host) {
    setObjectName(QStringLiteral("Form_ControlScan"));
    setFixedSize(910, 242);
    Panel_Main = NewPanel(this, QStringLiteral("Panel_Main"), QRect(0, 0, 910, 242), Background);
    Image_Base = new TPicture(Panel_Main, QStringLiteral("Image_Base"), QStringLiteral("scan_base"),
                              QRect(0, 0, 910, 242));
    Label_Product = NewLabel(Panel_Main, QStringLiteral("Label_Product"), QRect(440, 24, 416, 28),
                             21, ProductText, Qt::black);
    Label_Remote = NewLabel(Panel_Main, QStringLiteral("Label_Remote"), QRect(252, 24, 176, 28), 21,
                            QColor(0xff, 0x00, 0x00), Qt::black);
    Label_Remote->setText(QStringLiteral("Remote"));
    Label_Remote->hide();
    for (int i = 0; i < EditCount; ++i) {
        const QString n = QString::number(i + 1);
        Image_Edit[i] =
            new TPicture(Panel_Main, QStringLiteral("Image_Edit") + n,
                         QStringLiteral("scan_edit") + n, QRect(CapLefts[i], 88, 119, 135));
    }
    // The edits after all the caps, so that none of them lies under the next cap.
    for (int i = 0; i < EditCount; ++i) {
        Edit[i] = new TLimitedEdit(Panel_Main, QStringLiteral("Edit") + QString::number(i + 1),
                                   QRect(CapLefts[i] + 12, 164, 96, 48), 32, EditBackground,
                                   EditTypingLimit);
        if (i > 0)
            QWidget::setTabOrder(Edit[i - 1], Edit[i]);
    }
    Image_Button3_Off = new TPicture(Panel_Main, QStringLiteral("Image_Button3_Off"),
                                     QStringLiteral("scan_button3_off"), QRect(674, 88, 75, 135));
    Image_Button3_On = new TPicture(Panel_Main, QStringLiteral("Image_Button3_On"),
                                    QStringLiteral("scan_button3_on"), QRect(674, 88, 75, 135));
    Image_Button4_Off = new TPicture(Panel_Main, QStringLiteral("Image_Button4_Off"),
                                     QStringLiteral("scan_button4_off"), QRect(756, 88, 101, 135));
    Image_Button4_On = new TPicture(Panel_Main, QStringLiteral("Image_Button4_On"),
                                    QStringLiteral("scan_button4_on"), QRect(756, 88, 101, 135));

    FormCreate();
}

void TForm_ControlScan::FormCreate() {
    for (TLimitedEdit *edit : Edit)
        edit->clear();
    Action_Button3_Up();
    Action_Button4_Up();
    Action_RemoteControl_Disable();
    Action_UpdateUI();
}

void TForm_ControlScan::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Action_UpdateUI();
}

void TForm_ControlScan::Action_UpdateUI() {
    SetTextColour(Label_Product, Host.IsDeviceReady() ? ProductText : QColor(0xff, 0x00, 0x00));
    Label_Product->setText(Host.GetProductLabel());
    QCoreApplication::processEvents();
}

void TForm_ControlScan::Action_Button3_Down() {
    Image_Button3_On->show();
    Image_Button3_Off->hide();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::Action_Button3_Up() {
    Image_Button3_On->hide();
    Image_Button3_Off->show();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::Action_Button4_Down() {
    Image_Button4_On->show();
    Image_Button4_Off->hide();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::Action_Button4_Up() {
    Image_Button4_On->hide();
    Image_Button4_Off->show();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::Action_RemoteControl_Enable() {
    Label_Remote->show();
    SetControlsEnabled(false);
}

void TForm_ControlScan::Action_RemoteControl_Disable() {
    Label_Remote->hide();
    SetControlsEnabled(true);
}

void TForm_ControlScan::SetControlsEnabled(bool enabled) {
    for (QWidget *button : std::initializer_list<QWidget *>{Image_Button3_Off, Image_Button3_On,
                                                            Image_Button4_Off, Image_Button4_On})
        button->setEnabled(enabled);
    for (TLimitedEdit *edit : Edit)
        edit->setEnabled(enabled);
}
