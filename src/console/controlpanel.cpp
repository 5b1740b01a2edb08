#include "console/controlpanel.h"

#include "caldata/caldata.h"
#include "core/numbers.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor Alert{0xff, 0x00, 0x00};
} // namespace

TForm_ControlPanel::TForm_ControlPanel(TInstrumentSession &session, const QString &name,
                                       const QString &artwork, const QRect &resetButton,
                                       const QRect &goButton, QWidget *parent)
    : QWidget(parent), Session(session) {
    setObjectName(name);
    setFixedSize(910, 242);
    Panel_Main = NewPanel(this, QStringLiteral("Panel_Main"), QRect(0, 0, 910, 242), Background);
    auto picture = [this, &artwork](const char *name, const char *suffix, const QRect &geometry) {
        return new TPicture(Panel_Main, QString::fromLatin1(name),
                            artwork + QString::fromLatin1(suffix), geometry);
    };
    Image_Base = picture("Image_Base", "_base", QRect(0, 0, 910, 242));
    Label_Product = NewLabel(Panel_Main, QStringLiteral("Label_Product"), QRect(440, 24, 416, 28),
                             21, ProductText, Qt::black);
    // Starts right of the longest heading subtitle (SCAN's "a series of pass bands") and ends
    // at the product line, so the tag covers neither.
    Label_Remote = NewLabel(Panel_Main, QStringLiteral("Label_Remote"), QRect(288, 24, 140, 28), 21,
                            Alert, Qt::black);
    Label_Remote->setText(QStringLiteral("Remote"));
    Label_Remote->hide();
    Image_Button3_On = picture("Image_Button3_On", "_button3_on", resetButton);
    Image_Button3_Off = picture("Image_Button3_Off", "_button3_off", resetButton);
    Image_Button4_On = picture("Image_Button4_On", "_button4_on", goButton);
    Image_Button4_Off = picture("Image_Button4_Off", "_button4_off", goButton);
    for (TPicture *button : {Image_Button3_On, Image_Button3_Off})
        connect(button, &TPicture::Click, this, &TForm_ControlPanel::Image_Button3Click);
    for (TPicture *button : {Image_Button4_On, Image_Button4_Off})
        connect(button, &TPicture::Click, this, &TForm_ControlPanel::Image_Button4Click);
    Key_Button3 =
        new TKeyButton(Panel_Main, QStringLiteral("Key_Button3"), resetButton,
                       QStringLiteral("Reset"), QStringLiteral("Homes the instrument (Space)"));
    Key_Button4 = new TKeyButton(Panel_Main, QStringLiteral("Key_Button4"), goButton,
                                 QStringLiteral("Go"), QString());
    connect(Key_Button3, &TKeyButton::clicked, this, &TForm_ControlPanel::Image_Button3Click);
    connect(Key_Button4, &TKeyButton::clicked, this, [this] { Image_Button4Click(); });
    AddEntryControls({Image_Button3_On, Image_Button3_Off, Image_Button4_On, Image_Button4_Off,
                      Key_Button3, Key_Button4});
    connect(&Session, &TInstrumentSession::RemoteControlChanged, this, [this](bool controlled) {
        if (controlled)
            Action_RemoteControl_Enable();
        else
            Action_RemoteControl_Disable();
    });
}

void TForm_ControlPanel::GoOnEnter(std::initializer_list<TLimitedEdit *> edits) {
    for (TLimitedEdit *edit : edits)
        connect(edit, &TLimitedEdit::returnPressed, this, [this] { Image_Button4Click(); });
}

QString TForm_ControlPanel::RangeText(double low, double high) const {
    if (!Session.CalData().Loaded)
        return QStringLiteral("no calibration table loaded");
    return FormatFloat(QStringLiteral("0.0"), low) + QStringLiteral(" to ") +
           FormatFloat(QStringLiteral("0.0"), high) + QStringLiteral(" nm for the loaded table");
}

QString TForm_ControlPanel::CentreText() const {
    const TCalData &table = Session.CalData();
    if (!table.Loaded)
        return RangeText(0.0, 0.0);
    return FormatFloat(QStringLiteral("0.0"), table.GetMinCW()) + QStringLiteral(" to ") +
           FormatFloat(QStringLiteral("0.0"), table.GetMaxCW()) +
           QStringLiteral(" nm in steps of ") +
           FormatFloat(QStringLiteral("0.0"), table.GetCWStep()) + QStringLiteral(" nm");
}

QString TForm_ControlPanel::WidthsText() const {
    const TCalData &table = Session.CalData();
    if (!table.Loaded || table.UsedCols() == 0)
        return RangeText(0.0, 0.0);
    QStringList widths;
    for (int c = 0; c < table.UsedCols(); ++c)
        widths.append(QString::number(table.FWHMValues[c]));
    const QString last = widths.takeLast();
    return (widths.isEmpty() ? last
                             : widths.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last) +
           QStringLiteral(" nm");
}

void TForm_ControlPanel::AddEntryControls(std::initializer_list<QWidget *> controls) {
    Controls.insert(Controls.end(), controls);
}

void TForm_ControlPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Action_UpdateUI();
}

void TForm_ControlPanel::Action_UpdateUI() {
    SetTextColour(Label_Product, Session.IsDeviceReady() ? ProductText : Alert);
    Label_Product->setText(Session.GetProductLabel());
}

void TForm_ControlPanel::ShowButtonPair(TPicture *pressedPicture, TPicture *releasedPicture,
                                        bool pressed) {
    // The newly shown picture first, so the place is never empty.
    (pressed ? pressedPicture : releasedPicture)->show();
    (pressed ? releasedPicture : pressedPicture)->hide();
}

void TForm_ControlPanel::Action_Button3_Down() {
    ShowButtonPair(Image_Button3_On, Image_Button3_Off, true);
    QCoreApplication::processEvents();
}

void TForm_ControlPanel::Action_Button3_Up() {
    ShowButtonPair(Image_Button3_On, Image_Button3_Off, false);
    QCoreApplication::processEvents();
}

void TForm_ControlPanel::Action_Button4_Down() {
    ShowButtonPair(Image_Button4_On, Image_Button4_Off, true);
    QCoreApplication::processEvents();
}

void TForm_ControlPanel::Action_Button4_Up() {
    ShowButtonPair(Image_Button4_On, Image_Button4_Off, false);
    QCoreApplication::processEvents();
}

void TForm_ControlPanel::Action_RemoteControl_Enable() {
    Label_Remote->show();
    SetControlsEnabled(false);
}

void TForm_ControlPanel::Action_RemoteControl_Disable() {
    Label_Remote->hide();
    SetControlsEnabled(true);
}

void TForm_ControlPanel::SetControlsEnabled(bool enabled) {
    for (QWidget *control : Controls)
        control->setEnabled(enabled);
}

void TForm_ControlPanel::ShowOperationPressed(TOperation operation, bool pressed) {
    if (operation == TOperation::Reset) {
        if (pressed)
            Action_Button3_Down();
        else
            Action_Button3_Up();
    } else if (pressed) {
        Action_Button4_Down();
    } else {
        Action_Button4_Up();
    }
}

void TForm_ControlPanel::Image_Button3Click() {
    Session.Reset(TRequester::Operator);
}
