#include "console/formcontrolscan.h"

#include "caldata/caldata.h"
#include "console/positionview.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "resources/consolewidgets.h"
#include "scan/threadautoscan.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QShortcut>
#include <QTimer>

#include <array>

namespace {
const QColor EditBackground{0x22, 0x22, 0x22};
constexpr int EditTypingLimit = 5;
constexpr std::array<int, TForm_ControlScan::EditCount> CapLefts{56, 176, 296, 416, 536};

// A remote STOP waits this long for the check timer, whose period is a second, to report.
constexpr int StopWaitRounds = 30; // of StopPollMs each: about 3 s
constexpr int StopPollMs = 100;

const QByteArray NoCode = "NONE";
} // namespace

TForm_ControlScan::TForm_ControlScan(IInstrumentControl &instrument, IConsoleView &console,
                                     QWidget *parent)
    : TForm_ControlPanel(instrument, console, QStringLiteral("Form_ControlScan"),
                         QStringLiteral("scan"), QRect(674, 88, 75, 135), QRect(756, 88, 101, 135),
                         parent) {
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
    QWidget::setTabOrder(Edit[EditCount - 1], Key_Button3);
    QWidget::setTabOrder(Key_Button3, Key_Button4);
    Key_Button4->setToolTip(QStringLiteral("Starts the scan (Space, or Enter in a box); while it "
                                           "runs, stops it (Space or Escape)"));
    GoOnEnter({Edit[0], Edit[1], Edit[2], Edit[3], Edit[4]});
    AddEntryControls({Edit[0], Edit[1], Edit[2], Edit[3], Edit[4]});
    // Escape stops a running scan the way Go does; in remote mode the client decides.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (Flags.Scanning && !Console.IsRemoteMode())
            Image_Button4Click();
    });

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

void TForm_ControlScan::closeEvent(QCloseEvent *event) {
    FormClose();
    event->accept();
}

// Stopping never waits on this thread, so it may run inside a scan step; the step then leaves
// the panel alone.
void TForm_ControlScan::FormClose() {
    if (Flags.Scanning && !Closing)
        Instrument.EndScan(TScanOutcome::Aborted);
    Closing = true;
    Timer_CheckScan->stop();
    Worker.reset();
}

void TForm_ControlScan::Action_UpdateUI() {
    TForm_ControlPanel::Action_UpdateUI();
    DescribeEdits();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::DescribeEdits() {
    const TCalData &table = Instrument.CalData();
    const QString cw = RangeText(table.GetMinCW(), table.GetMaxCW());
    const struct {
        const char *name;
        QString toolTip;
    } boxes[EditCount] = {
        {"START", QStringLiteral("Centre wavelength of the first point: ") + cw},
        {"END", QStringLiteral("Centre wavelength of the last point: ") + cw},
        {"FWHM", QStringLiteral("Width of every band, a column of the table: ") +
                     RangeText(table.GetMinFWHM(), table.GetMaxFWHM())},
        {"STEP", table.Loaded ? QStringLiteral("Distance between points: a whole multiple of ") +
                                    FormatFloat(QStringLiteral("0.0"), table.GetCWStep()) +
                                    QStringLiteral(" nm, the table's CW interval")
                              : QStringLiteral("Distance between points: no calibration table "
                                               "loaded")},
        {"Time delay", QStringLiteral("Dwell at each point: 0.1 to 600 s")},
    };
    for (int i = 0; i < EditCount; ++i) {
        Edit[i]->setAccessibleName(QString::fromLatin1(boxes[i].name));
        Edit[i]->setToolTip(boxes[i].toolTip);
    }
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

void TForm_ControlScan::Image_Button4Click() {
    if (RefuseInRemoteMode() || RefuseUnlessReady(DeviceNotReady))
        return;
    // A click that lands while a step waits for its move passes the link test without a word on
    // the line (the host sees the link busy), so the move keeps its reply.
    if (!LinkTest())
        return;
    // Go stops a running scan; the check timer reports the abort and releases the lock.
    if (Flags.Scanning) {
        Flags.AbortRequested = true;
        return;
    }
    if (!Instrument.BeginOperation())
        return;
    ScanStart(TCaller::Operator);
}

void TForm_ControlScan::Action_RemoteControl_Scan() {
    if (RefuseUnlessReady(DeviceNotReady, "SCAN FAIL"))
        return;
    if (!LinkTest() || Flags.Scanning || !Instrument.BeginOperation())
        return;
    ScanStart(TCaller::Remote);
}

// Entered with the operation lock taken; the lock and the pressed Go picture stay until the scan
// finish, or go at once when the plan is refused.
void TForm_ControlScan::ScanStart(TCaller caller) {
    Action_Button4_Down();
    Instrument.SetBken(false);
    const bool valid = caller == TCaller::Remote ? ValidateRemoteScanPlan() : ValidateScanPlan();
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
    const TScanWalk walk{ScanPlan.START, ScanPlan.END, ScanPlan.STEP};
    Instrument.BeginScan(walk.PointCount(), walk.First(), RoundTo(ScanPlan.FWHM, -1),
                         static_cast<int>(ScanPlan.TimeDelay * 1000.0));
    if (caller == TCaller::Remote)
        Console.SetRemoteReply("SCAN OK", {}, {});
    Console.ShowStatusMessage(QStringLiteral("Scanning..."), StatusColour::Yellow);
    if (!Timer_CheckScan->isActive()) // a running check keeps its period
        Timer_CheckScan->start();
}

void TForm_ControlScan::ScanFinish() {
    Action_Button4_Up();
    Instrument.EndOperation();
    Flags = TScanFlags{};
}

void TForm_ControlScan::Action_RemoteControl_Stop() {
    if (RefuseUnlessReady(DeviceNotReady, "STOP FAIL"))
        return;
    if (!Flags.Scanning) {
        Console.SetRemoteReply("STOP FAIL", NoCode, "No Scan.");
        return;
    }
    Flags.AbortRequested = true;
    // The check timer reports the abort from inside this wait. A closing panel's timer no longer
    // runs, so there is nothing to wait for then.
    const auto stopped = [this] { return !Flags.Scanning || Closing; };
    if (!stopped())
        WaitWithEvents(StopWaitRounds, StopPollMs, stopped);
    if (Flags.Scanning)
        Console.SetRemoteReply("STOP FAIL", NoCode, "Can't stop scan process.");
    else
        Console.SetRemoteReply("STOP OK", {}, {});
}

void TForm_ControlScan::Timer_CheckScanTimer() {
    Timer_CheckScan->stop();
    if (Closing)
        return;
    if (Flags.Scanning && (Flags.AbortRequested || Flags.ScanFinished)) {
        // An abort wins over an end that came with it.
        const bool aborted = Flags.AbortRequested;
        const bool succeeded = Flags.ScanSucceeded;
        // The panel is idle before anything of the report is drawn: the repaint lets events
        // run, and a command arriving there must find the scan over and the lock free, or a
        // remote STOP would wait for this very report and STATE would answer IDLE while every
        // operation is still refused.
        Flags = TScanFlags{};
        Instrument.EndOperation();
        Instrument.EndScan(aborted     ? TScanOutcome::Aborted
                           : succeeded ? TScanOutcome::Succeeded
                                       : TScanOutcome::Failed);
        ShowButton4Released(); // drawn by the report's repaint
        if (aborted) {
            Console.SetRemoteReply("SCAN ABORT", NoCode, "Scan aborted.");
            Console.ShowStatusMessage(QStringLiteral("Scan aborted."), StatusColour::Silver);
        } else if (succeeded) {
            Console.SetRemoteReply("SCAN SUCCESS", NoCode, "Scan successful.");
            Console.ShowStatusMessage(QStringLiteral("Scan successful."), StatusColour::Lime);
        } else {
            Console.SetRemoteReply("SCAN FAIL", "ERRDV05", "Scan failure.");
            Console.ShowStatusMessage(QStringLiteral("ERRDV05 : Scan failure."), StatusColour::Red);
        }
    }
    if (!Closing)
        Timer_CheckScan->start();
}

TScanPlanTexts TForm_ControlScan::PlanTexts() const {
    return {Edit[0]->text(), Edit[1]->text(), Edit[2]->text(), Edit[3]->text(), Edit[4]->text()};
}

bool TForm_ControlScan::ValidateScanPlan() {
    const TScanPlanVerdict verdict = CheckEdits();
    if (!verdict.Passed)
        ReportRuleFailure(verdict.Code, verdict.Text);
    return verdict.Passed;
}

bool TForm_ControlScan::ValidateRemoteScanPlan() {
    const TScanPlanVerdict verdict = CheckEdits();
    if (!verdict.Passed)
        ReportRuleFailure(verdict.Code, verdict.Text, "SCAN FAIL");
    return verdict.Passed;
}

TScanPlanVerdict TForm_ControlScan::CheckEdits() {
    const TScanPlanVerdict verdict = CheckScanPlan(PlanTexts(), Instrument.CalData());
    if (verdict.Passed)
        ScanPlan = verdict.Plan;
    return verdict;
}

// The move waits with events running, and the panel may be closed and destroyed meanwhile:
// nothing of it is touched once the move has returned.
bool TForm_ControlScan::GoToSetPoint(double cwl, double fwhm) {
    return Instrument.GoToSetPoint(cwl, fwhm);
}

void TForm_ControlScan::ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM,
                                     double SW, double LW) {
    Console.View().ShowSetPoint(rangeMin, rangeMax, CWL, FWHM, SW, LW);
}
