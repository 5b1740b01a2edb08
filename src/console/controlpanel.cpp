#include "console/controlpanel.h"

#include "caldata/caldata.h"
#include "console/positionview.h"
#include "core/comparisonsigns.h"
#include "core/numbers.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>
#include <QScopeGuard>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor Alert{0xff, 0x00, 0x00};

const QString RemoteModeActive = QStringLiteral("Remote control mode is activated.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost.");
const QString ResetNotReady = QStringLiteral("Reset failure. Device not ready.");
const char ResetFailure[] = "Reset failure.";
} // namespace

TForm_ControlPanel::TForm_ControlPanel(IInstrumentControl &instrument, IConsoleView &console,
                                       const QString &name, const QString &artwork,
                                       const QRect &resetButton, const QRect &goButton,
                                       QWidget *parent)
    : QWidget(parent), Instrument(instrument), Console(console) {
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
}

void TForm_ControlPanel::GoOnEnter(std::initializer_list<TLimitedEdit *> edits) {
    for (TLimitedEdit *edit : edits)
        connect(edit, &TLimitedEdit::returnPressed, this, [this] { Image_Button4Click(); });
}

QString TForm_ControlPanel::RangeText(double low, double high) const {
    if (!Instrument.CalData().Loaded)
        return QStringLiteral("no calibration table loaded");
    return FormatFloat(QStringLiteral("0.0"), low) + QStringLiteral(" to ") +
           FormatFloat(QStringLiteral("0.0"), high) + QStringLiteral(" nm for the loaded table");
}

void TForm_ControlPanel::AddEntryControls(std::initializer_list<QWidget *> controls) {
    Controls.insert(Controls.end(), controls);
}

void TForm_ControlPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Action_UpdateUI();
}

void TForm_ControlPanel::Action_UpdateUI() {
    SetTextColour(Label_Product, Instrument.IsDeviceReady() ? ProductText : Alert);
    Label_Product->setText(Instrument.GetProductLabel());
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
    ShowButton4Released();
    QCoreApplication::processEvents();
}

void TForm_ControlPanel::ShowButton4Released() {
    ShowButtonPair(Image_Button4_On, Image_Button4_Off, false);
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

bool TForm_ControlPanel::RefuseInRemoteMode() {
    if (!Console.IsRemoteMode())
        return false;
    Console.ShowStatusMessage(RemoteModeActive, StatusColour::Silver);
    return true;
}

bool TForm_ControlPanel::RefuseUnlessReady(const QString &message) {
    if (Instrument.IsDeviceReady())
        return false;
    Console.ShowStatusMessage(message, StatusColour::Silver);
    return true;
}

bool TForm_ControlPanel::RefuseUnlessReady(const QString &message, const QByteArray &failReply) {
    if (Instrument.IsDeviceReady())
        return false;
    Console.SetRemoteReply(failReply, "NONE", message.toLatin1());
    Console.ShowStatusMessage(message, StatusColour::Silver);
    return true;
}

void TForm_ControlPanel::ReportRuleFailure(const QString &code, const QString &text) {
    Console.ShowStatusMessage(code + QStringLiteral(" : ") + text, StatusColour::Red);
}

void TForm_ControlPanel::ReportRuleFailure(const QString &code, const QString &text,
                                           const QByteArray &failReply) {
    Console.SetRemoteReply(failReply, code.toLatin1(), ToRemoteBytes(text));
    ReportRuleFailure(code, text);
}

bool TForm_ControlPanel::LinkTest() {
    if (Instrument.ReadPositions())
        return true;
    Console.ShowStatusMessage(LinkLost, StatusColour::Red);
    Instrument.Action_DeviceClose();
    return false;
}

// The position read runs before the lock is tried, so an operation refused by a busy lock has
// still talked to the instrument; a busy lock refuses without a word, as the holder reports.
bool TForm_ControlPanel::PassLinkTestAndLock() {
    return LinkTest() && Instrument.BeginOperation();
}

// Also when the body throws: the remote dispatcher reports a failure raised inside a command
// and carries on, and a lock kept past it would refuse every later operation.
void TForm_ControlPanel::RunLocked(void (TForm_ControlPanel::*buttonUp)(),
                                   const std::function<void()> &body) {
    const auto release = qScopeGuard([this, buttonUp] {
        (this->*buttonUp)();
        Instrument.EndOperation();
    });
    body();
}

void TForm_ControlPanel::Image_Button3Click() {
    if (!RefuseInRemoteMode())
        Reset(TCaller::Operator);
}

// A running scan holds the lock, so a Reset during a scan ends at the lock silently.
void TForm_ControlPanel::Reset(TCaller caller) {
    const bool remote = caller == TCaller::Remote;
    if (remote ? RefuseUnlessReady(ResetNotReady, "RESET FAIL") : RefuseUnlessReady(ResetNotReady))
        return;
    if (!PassLinkTestAndLock())
        return;
    RunLocked(&TForm_ControlPanel::Action_Button3_Up, [this, remote] {
        Action_Button3_Down();
        Console.ShowStatusMessage(QStringLiteral("Restarting device. Please wait..."),
                                  StatusColour::Silver);
        if (Instrument.HomeAll()) {
            ShowResetRange();
            if (remote)
                Console.SetRemoteReply("RESET OK", "", "");
            Console.ShowStatusMessage(QStringLiteral("Reset complete."), StatusColour::Lime);
        } else {
            if (remote)
                Console.SetRemoteReply("RESET FAIL", "ERRDV03", ResetFailure);
            Console.ShowStatusMessage(QStringLiteral("ERRDV03 : ") +
                                          QString::fromLatin1(ResetFailure),
                                      StatusColour::Red);
        }
    });
}

// Without a loaded table every bound reads 0 and the range would be a made-up -10 to 10 nm; the
// view then keeps what it shows.
void TForm_ControlPanel::ShowResetRange() {
    const TCalData &table = Instrument.CalData();
    if (table.Loaded)
        Console.View().ShowRange(table.GetMinCW() - ViewMargin, table.GetMaxCW() + ViewMargin);
}
