#include "console/formcontrolset.h"

#include "caldata/caldata.h"
#include "console/positionview.h"
#include "core/comparisonsigns.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor EditBackground{0x23, 0x23, 0x23};
constexpr int EditTypingLimit = 5;
constexpr double ViewMargin = 10.0; // nm shown beyond the table's first and last CW row

const QString RemoteModeActive = QStringLiteral("Remote control mode is activated.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost.");
const char ResetNotReady[] = "Reset failure. Device not ready.";
const char ResetFailure[] = "Reset failure.";
const char GoNotReady[] = "Device not ready. Please connect Kestrune.";
const char GoFailure[] = "Failed to change wavelength and FWHM.";
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

    for (TPicture *picture : {Image_Button1_On, Image_Button1_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button1Click);
    for (TPicture *picture : {Image_Button2_On, Image_Button2_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button2Click);
    for (TPicture *picture : {Image_Button3_On, Image_Button3_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button3Click);
    for (TPicture *picture : {Image_Button4_On, Image_Button4_Off})
        connect(picture, &TPicture::Click, this, &TForm_ControlSet::Image_Button4Click);
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

void TForm_ControlSet::ApplyRemoteParameters(int mode, const QString &first,
                                             const QString &second) {
    // Only SETR enters edges; the pictures, the check and the reply then agree on the mode.
    InputMode = mode == 1 ? 1 : 0;
    Edit1->clear();
    Edit2->clear();
    Action_EditMode_Update();
    Edit1->setText(first);
    Edit2->setText(second);
    QCoreApplication::processEvents();
}

void TForm_ControlSet::Image_Button3Click() {
    if (Host.IsRemoteMode()) {
        Host.ShowStatusMessage(RemoteModeActive, StatusColour::Silver);
        return;
    }
    if (!Host.IsDeviceReady()) {
        Host.ShowStatusMessage(QString::fromLatin1(ResetNotReady), StatusColour::Silver);
        return;
    }
    if (PassLinkTestAndLock())
        RunReset(Caller::Operator);
}

void TForm_ControlSet::Action_RemoteControl_Reset() {
    if (!Host.IsDeviceReady()) {
        Host.SetRemoteReply("RESET FAIL", "NONE", ResetNotReady);
        Host.ShowStatusMessage(QString::fromLatin1(ResetNotReady), StatusColour::Silver);
        return;
    }
    if (PassLinkTestAndLock())
        RunReset(Caller::Remote);
}

void TForm_ControlSet::Image_Button4Click() {
    if (Host.IsRemoteMode()) {
        Host.ShowStatusMessage(RemoteModeActive, StatusColour::Silver);
        return;
    }
    if (!Host.IsDeviceReady()) {
        Host.ShowStatusMessage(QString::fromLatin1(GoNotReady), StatusColour::Silver);
        return;
    }
    if (PassLinkTestAndLock())
        RunGo(Caller::Operator);
}

void TForm_ControlSet::Action_RemoteControl_Go() {
    if (!Host.IsDeviceReady()) {
        Host.SetRemoteReply(RemoteCommand() + " FAIL", "NONE", GoNotReady);
        Host.ShowStatusMessage(QString::fromLatin1(GoNotReady), StatusColour::Silver);
        return;
    }
    if (PassLinkTestAndLock())
        RunGo(Caller::Remote);
}

// The position read runs before the lock is tried, so an operation refused by a busy lock has
// still talked to the instrument; a busy lock refuses without a word, as the holder reports.
bool TForm_ControlSet::PassLinkTestAndLock() {
    if (!Host.ReadPositions()) {
        Host.ShowStatusMessage(LinkLost, StatusColour::Red);
        Host.Action_DeviceClose();
        return false;
    }
    return Host.BeginOperation();
}

// Gives back the pressed picture and the lock after the body, also when the body throws: the
// remote dispatcher reports a failure raised inside a command and carries on, and a lock kept
// past it would refuse every later operation.
void TForm_ControlSet::RunLocked(void (TForm_ControlSet::*buttonUp)(),
                                 const std::function<void()> &body) {
    try {
        body();
    } catch (...) {
        (this->*buttonUp)();
        Host.EndOperation();
        throw;
    }
    (this->*buttonUp)();
    Host.EndOperation();
}

void TForm_ControlSet::RunReset(Caller caller) {
    RunLocked(&TForm_ControlSet::Action_Button3_Up, [this, caller] {
        const bool remote = caller == Caller::Remote;
        Action_Button3_Down();
        Host.ShowStatusMessage(QStringLiteral("Restarting device. Please wait..."),
                               StatusColour::Silver);
        if (Host.HomeAll()) {
            // Without a loaded table every bound reads 0 and the range would be a made-up
            // -10 to 10 nm; the view then keeps what it shows.
            if (Host.CalData().Loaded) {
                const TCalData &table = Host.CalData();
                Host.View().ShowRange(table.GetMinCW() - ViewMargin, table.GetMaxCW() + ViewMargin);
            }
            if (remote)
                Host.SetRemoteReply("RESET OK", "", "");
            Host.ShowStatusMessage(QStringLiteral("Reset complete."), StatusColour::Lime);
        } else {
            if (remote)
                Host.SetRemoteReply("RESET FAIL", "ERRDV03", ResetFailure);
            Host.ShowStatusMessage(QStringLiteral("ERRDV03 : ") + QString::fromLatin1(ResetFailure),
                                   StatusColour::Red);
        }
    });
}

void TForm_ControlSet::RunGo(Caller caller) {
    RunLocked(&TForm_ControlSet::Action_Button4_Up, [this, caller] {
        const bool remote = caller == Caller::Remote;
        Action_Button4_Down();
        Host.ShowStatusMessage(QStringLiteral("Changing wavelength and FWHM. Please wait..."),
                               StatusColour::Silver);
        // A failed check has shown (and for a remote client stored) its own message.
        if (!(remote ? ValidateRemoteSetPoint() : ValidateSetPoint()))
            return;
        if (Host.CalData().GoToSetPoint(SetPoint.CWL, SetPoint.FWHM)) {
            Host.View().ShowSetPoint(MinCW - ViewMargin, MaxCW + ViewMargin, SetPoint.CWL,
                                     SetPoint.FWHM, SetPoint.SW, SetPoint.LW);
            if (remote)
                Host.SetRemoteReply(RemoteCommand() + " OK", "", "");
            Host.ShowStatusMessage(QStringLiteral("Successfully changed wavelength and FWHM."),
                                   StatusColour::Lime);
        } else {
            if (remote)
                Host.SetRemoteReply(RemoteCommand() + " FAIL", "ERRDV04", GoFailure);
            Host.ShowStatusMessage(QStringLiteral("ERRDV04 : ") + QString::fromLatin1(GoFailure),
                                   StatusColour::Red);
        }
    });
}

bool TForm_ControlSet::ValidateSetPoint() {
    const TSetPointVerdict verdict = CheckEdits();
    if (!verdict.Passed)
        Host.ShowStatusMessage(verdict.Code + QStringLiteral(" : ") + verdict.Text,
                               StatusColour::Red);
    return verdict.Passed;
}

bool TForm_ControlSet::ValidateRemoteSetPoint() {
    const TSetPointVerdict verdict = CheckEdits();
    if (!verdict.Passed) {
        Host.SetRemoteReply(RemoteCommand() + " FAIL", verdict.Code.toLatin1(),
                            ToRemoteBytes(verdict.Text));
        Host.ShowStatusMessage(verdict.Code + QStringLiteral(" : ") + verdict.Text,
                               StatusColour::Red);
    }
    return verdict.Passed;
}

TSetPointVerdict TForm_ControlSet::CheckEdits() {
    const TSetPointVerdict verdict =
        CheckSetPoint(InputMode, Edit1->text(), Edit2->text(), Host.CalData());
    MinCW = verdict.Bounds.MinCW;
    MaxCW = verdict.Bounds.MaxCW;
    MinFWHM = verdict.Bounds.MinFWHM;
    MaxFWHM = verdict.Bounds.MaxFWHM;
    MinCWForFWHM = verdict.Bounds.MinCWForFWHM;
    MaxCWForFWHM = verdict.Bounds.MaxCWForFWHM;
    if (verdict.Passed)
        SetPoint = verdict.SetPoint;
    return verdict;
}

QByteArray TForm_ControlSet::RemoteCommand() const {
    return InputMode == 1 ? QByteArrayLiteral("SETR") : QByteArrayLiteral("SETC");
}
