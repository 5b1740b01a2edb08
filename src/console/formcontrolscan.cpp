#include "console/formcontrolscan.h"

#include "caldata/caldata.h"
#include "console/positionview.h"
#include "core/comparisonsigns.h"
#include "resources/consolewidgets.h"
#include "scan/threadautoscan.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {
const QColor Background{0x16, 0x16, 0x16};
const QColor ProductText{0xa4, 0xa4, 0xa4};
const QColor EditBackground{0x22, 0x22, 0x22};
constexpr int EditTypingLimit = 5;
constexpr std::array<int, TForm_ControlScan::EditCount> CapLefts{56, 176, 296, 416, 536};

// A remote STOP waits this long for the check timer, whose period is a second, to report.
constexpr int StopWaitMs = 3000;
constexpr int StopPollMs = 100;

const QByteArray NoCode = "NONE";
const QString DeviceNotReady = QStringLiteral("Device not ready. Please connect Kestrune.");
const QString RemoteModeActive = QStringLiteral("Remote control mode is activated.");
const QString ResetNotReady = QStringLiteral("Reset failure. Device not ready.");
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
        TLimitedEdit *edit = Edit[i];
        connect(edit, &TLimitedEdit::Click, this, [this, edit] { EditClick(edit); });
    }
    Image_Button3_Off = new TPicture(Panel_Main, QStringLiteral("Image_Button3_Off"),
                                     QStringLiteral("scan_button3_off"), QRect(674, 88, 75, 135));
    Image_Button3_On = new TPicture(Panel_Main, QStringLiteral("Image_Button3_On"),
                                    QStringLiteral("scan_button3_on"), QRect(674, 88, 75, 135));
    Image_Button4_Off = new TPicture(Panel_Main, QStringLiteral("Image_Button4_Off"),
                                     QStringLiteral("scan_button4_off"), QRect(756, 88, 101, 135));
    Image_Button4_On = new TPicture(Panel_Main, QStringLiteral("Image_Button4_On"),
                                    QStringLiteral("scan_button4_on"), QRect(756, 88, 101, 135));
    for (TPicture *button : {Image_Button3_Off, Image_Button3_On})
        connect(button, &TPicture::Click, this, &TForm_ControlScan::Image_Button3Click);
    for (TPicture *button : {Image_Button4_Off, Image_Button4_On})
        connect(button, &TPicture::Click, this, &TForm_ControlScan::Image_Button4Click);

    Timer_CheckScan = new QTimer(this);
    Timer_CheckScan->setObjectName(QStringLiteral("Timer_CheckScan"));
    Timer_CheckScan->setInterval(CheckScanIntervalMs);
    connect(Timer_CheckScan, &QTimer::timeout, this, &TForm_ControlScan::Timer_CheckScanTimer);

    FormCreate();
}

// The worker goes with the panel even when nobody closed it; its destruction stops it.
TForm_ControlScan::~TForm_ControlScan() = default;

void TForm_ControlScan::FormCreate() {
    for (TLimitedEdit *edit : Edit)
        edit->clear();
    Action_Button3_Up();
    Action_Button4_Up();
    Action_RemoteControl_Disable();
    Action_UpdateUI();
    Worker = std::make_unique<TThread_AutoScan>(*this);
    Worker->Start();
    Timer_CheckScan->start();
}

void TForm_ControlScan::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Action_UpdateUI();
}

void TForm_ControlScan::closeEvent(QCloseEvent *event) {
    FormClose();
    event->accept();
}

// Stopping never waits on this thread, so it may run inside a scan step; the step then leaves
// the panel alone.
void TForm_ControlScan::FormClose() {
    Closing = true;
    Timer_CheckScan->stop();
    Worker.reset();
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

// A click empties the box, ready for a new value.
void TForm_ControlScan::EditClick(TLimitedEdit *edit) {
    edit->clear();
}

void TForm_ControlScan::ApplyRemoteParameters(const QString &start, const QString &end,
                                              const QString &fwhm, const QString &step,
                                              const QString &timeDelay) {
    const std::array<const QString *, EditCount> texts{&start, &end, &fwhm, &step, &timeDelay};
    for (int i = 0; i < EditCount; ++i)
        Edit[i]->setText(*texts[i]);
    QCoreApplication::processEvents();
}

// The position read doubles as the link test. A lost link is reported and closed, so that the
// search for the instrument starts again.
bool TForm_ControlScan::LinkTest() {
    if (Host.ReadPositions())
        return true;
    Host.ShowStatusMessage(QStringLiteral("ERRDV02 : Communication error. Connection lost."),
                           StatusColour::Red);
    Host.Action_DeviceClose();
    return false;
}

void TForm_ControlScan::Image_Button3Click() {
    if (Host.IsRemoteMode()) {
        Host.ShowStatusMessage(RemoteModeActive, StatusColour::Silver);
        return;
    }
    Reset(TOrigin::Local);
}

void TForm_ControlScan::Action_RemoteControl_Reset() {
    Reset(TOrigin::Remote);
}

void TForm_ControlScan::Reset(TOrigin origin) {
    const bool remote = origin == TOrigin::Remote;
    if (!Host.IsDeviceReady()) {
        if (remote)
            Host.SetRemoteReply("RESET FAIL", NoCode, ResetNotReady.toLatin1());
        Host.ShowStatusMessage(ResetNotReady, StatusColour::Silver);
        return;
    }
    // A running scan holds the lock, so a Reset during a scan ends here silently.
    if (!LinkTest() || !Host.BeginOperation())
        return;
    Action_Button3_Down();
    Host.ShowStatusMessage(QStringLiteral("Restarting device. Please wait..."),
                           StatusColour::Silver);
    if (Host.HomeAll()) {
        const TCalData &table = Host.CalData();
        Host.View().ShowRange(table.GetMinCW() - 10.0, table.GetMaxCW() + 10.0);
        if (remote)
            Host.SetRemoteReply("RESET OK", {}, {});
        Host.ShowStatusMessage(QStringLiteral("Reset complete."), StatusColour::Lime);
    } else {
        if (remote)
            Host.SetRemoteReply("RESET FAIL", "ERRDV03", "Reset failure.");
        Host.ShowStatusMessage(QStringLiteral("ERRDV03 : Reset failure."), StatusColour::Red);
    }
    Action_Button3_Up();
    Host.EndOperation();
}

void TForm_ControlScan::Image_Button4Click() {
    if (Host.IsRemoteMode()) {
        Host.ShowStatusMessage(RemoteModeActive, StatusColour::Silver);
        return;
    }
    if (!Host.IsDeviceReady()) {
        Host.ShowStatusMessage(DeviceNotReady, StatusColour::Silver);
        return;
    }
    // A click that lands while a step waits for its move passes the link test without a word on
    // the line (the host sees the link busy), so the move keeps its reply.
    if (!LinkTest())
        return;
    // Go stops a running scan; the check timer reports the abort and releases the lock.
    if (Flags.Scanning) {
        Flags.AbortRequested = true;
        return;
    }
    if (!Host.BeginOperation())
        return;
    ScanStart(TOrigin::Local);
}

void TForm_ControlScan::Action_RemoteControl_Scan() {
    if (!Host.IsDeviceReady()) {
        Host.SetRemoteReply("SCAN FAIL", NoCode, DeviceNotReady.toLatin1());
        Host.ShowStatusMessage(DeviceNotReady, StatusColour::Silver);
        return;
    }
    if (!LinkTest() || Flags.Scanning || !Host.BeginOperation())
        return;
    ScanStart(TOrigin::Remote);
}

// Entered with the operation lock taken; the lock and the pressed Go picture stay until the scan
// finish, or go at once when the plan is refused.
void TForm_ControlScan::ScanStart(TOrigin origin) {
    Action_Button4_Down();
    Host.SetBken(false);
    const bool valid = origin == TOrigin::Remote ? ValidateRemoteScanPlan() : ValidateScanPlan();
    // The waits above let events run; a panel closed meanwhile has no worker left to start.
    if (!valid || Closing) {
        ScanFinish();
        return;
    }
    Worker->MinCWForFWHM = ScanPlan.MinCWForFWHM;
    Worker->MaxCWForFWHM = ScanPlan.MaxCWForFWHM;
    Worker->START = ScanPlan.START;
    Worker->END = ScanPlan.END;
    Worker->FWHM = ScanPlan.FWHM;
    Worker->STEP = ScanPlan.STEP;
    Worker->TimeDelay = ScanPlan.TimeDelay;
    Worker->StepCount = 0;
    // The plan before the flags: the next step moves as soon as it sees Scanning.
    Flags.ScanFinished = false;
    Flags.ScanSucceeded = false;
    Flags.AbortRequested = false;
    Flags.Scanning = true;
    if (origin == TOrigin::Remote)
        Host.SetRemoteReply("SCAN OK", {}, {});
    Host.ShowStatusMessage(QStringLiteral("Scanning..."), StatusColour::Yellow);
    Timer_CheckScan->start();
}

void TForm_ControlScan::ScanFinish() {
    Action_Button4_Up();
    Host.EndOperation();
    Flags = TScanFlags{};
}

void TForm_ControlScan::Action_RemoteControl_Stop() {
    if (!Host.IsDeviceReady()) {
        Host.SetRemoteReply("STOP FAIL", NoCode, DeviceNotReady.toLatin1());
        Host.ShowStatusMessage(DeviceNotReady, StatusColour::Silver);
        return;
    }
    if (!Flags.Scanning) {
        Host.SetRemoteReply("STOP FAIL", NoCode, "No Scan.");
        return;
    }
    Flags.AbortRequested = true;
    // The check timer reports the abort from inside this wait. A closing panel's timer no longer
    // runs, so there is nothing to wait for then.
    const QDeadlineTimer deadline(StopWaitMs);
    while (Flags.Scanning && !Closing && !deadline.hasExpired()) {
        QThread::msleep(static_cast<unsigned long>(
            std::clamp<qint64>(deadline.remainingTime(), 0, StopPollMs)));
        QCoreApplication::processEvents();
    }
    if (Flags.Scanning)
        Host.SetRemoteReply("STOP FAIL", NoCode, "Can't stop scan process.");
    else
        Host.SetRemoteReply("STOP OK", {}, {});
}

void TForm_ControlScan::Timer_CheckScanTimer() {
    Timer_CheckScan->stop();
    if (Closing)
        return;
    if (Flags.Scanning && (Flags.AbortRequested || Flags.ScanFinished)) {
        // An abort wins over an end that came with it.
        const bool aborted = Flags.AbortRequested;
        const bool succeeded = Flags.ScanSucceeded;
        // Idle before the report, whose repaint lets events run: a remote STOP arriving there
        // finds no scan rather than waiting for this very report. The lock stays held until the
        // finish, so no other operation starts in between.
        Flags = TScanFlags{};
        if (aborted) {
            Host.SetRemoteReply("SCAN ABORT", NoCode, "Scan aborted.");
            Host.ShowStatusMessage(QStringLiteral("Scan aborted."), StatusColour::Silver);
        } else if (succeeded) {
            Host.SetRemoteReply("SCAN SUCCESS", NoCode, "Scan successful.");
            Host.ShowStatusMessage(QStringLiteral("Scan successful."), StatusColour::Lime);
        } else {
            Host.SetRemoteReply("SCAN FAIL", "ERRDV05", "Scan failure.");
            Host.ShowStatusMessage(QStringLiteral("ERRDV05 : Scan failure."), StatusColour::Red);
        }
        ScanFinish();
    }
    if (!Closing)
        Timer_CheckScan->start();
}

TScanPlanTexts TForm_ControlScan::PlanTexts() const {
    return {Edit[0]->text(), Edit[1]->text(), Edit[2]->text(), Edit[3]->text(), Edit[4]->text()};
}

bool TForm_ControlScan::ValidateScanPlan() {
    const TScanPlanVerdict verdict = CheckScanPlan(PlanTexts(), Host.CalData());
    if (!verdict.Passed) {
        Host.ShowStatusMessage(verdict.Code + QStringLiteral(" : ") + verdict.Text,
                               StatusColour::Red);
        return false;
    }
    ScanPlan = verdict.Plan;
    return true;
}

bool TForm_ControlScan::ValidateRemoteScanPlan() {
    const TScanPlanVerdict verdict = CheckScanPlan(PlanTexts(), Host.CalData());
    if (!verdict.Passed) {
        Host.SetRemoteReply("SCAN FAIL", verdict.Code.toLatin1(), ToRemoteBytes(verdict.Text));
        Host.ShowStatusMessage(verdict.Code + QStringLiteral(" : ") + verdict.Text,
                               StatusColour::Red);
        return false;
    }
    ScanPlan = verdict.Plan;
    return true;
}

// The move waits with events running, and the panel may be closed and destroyed meanwhile:
// nothing of it is touched once the move has returned.
bool TForm_ControlScan::GoToSetPoint(double cwl, double fwhm) {
    return Host.CalData().GoToSetPoint(cwl, fwhm);
}

void TForm_ControlScan::ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM,
                                     double SW, double LW) {
    Host.View().ShowSetPoint(rangeMin, rangeMax, CWL, FWHM, SW, LW);
}
