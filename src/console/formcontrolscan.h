#pragma once

#include "console/controlpanel.h"
#include "console/scanplancheck.h"
#include "remote/remotehost.h"
#include "scan/autoscanhost.h"

#include <array>
#include <memory>

class QTimer;
class TLimitedEdit;
class TPicture;
class TThread_AutoScan;

// The SCAN tab: the operator types a scan plan (START, END, FWHM, STEP in nm and the time delay
// in s) and starts it with Go, or homes the instrument with Reset.
//
// The panel owns the scan worker and the scan flags. A scan holds the session's operation
// lock from its start to its finish; the worker only sets ScanFinished and ScanSucceeded, and
// Timer_CheckScan reports the end and releases the lock, so every report comes from one place.
// Every wait here lets events run, so a click, a timer tick, a remote command or a scan step may
// run inside any of these handlers; they read the flags afresh after each wait.
//
// Closing the panel (close(), which runs FormClose) stops the worker; the owner must close it
// before destroying it.
class TForm_ControlScan : public TForm_ControlPanel, public IRemoteScanPanel, public IAutoScanHost {
    Q_OBJECT
public:
    static constexpr int EditCount = 5;
    static constexpr int CheckScanIntervalMs = 1000;

    TForm_ControlScan(IInstrumentControl &instrument, IConsoleView &console,
                      QWidget *parent = nullptr);
    ~TForm_ControlScan() override;

    // The product line, drawn at once.
    void Action_UpdateUI() override;
    // The shared actions once more, as the remote server's interface asks for them.
    void Action_RemoteControl_Enable() override {
        TForm_ControlPanel::Action_RemoteControl_Enable();
    }
    void Action_RemoteControl_Disable() override {
        TForm_ControlPanel::Action_RemoteControl_Disable();
    }

    // Remote commands; each leaves its outcome in the remote reply, except when it
    // ends at the link test or at the busy lock.
    void ApplyRemoteParameters(const QString &start, const QString &end, const QString &fwhm,
                               const QString &step, const QString &timeDelay) override;
    void Action_RemoteControl_Reset() override { Reset(TCaller::Remote); }
    // Replies "SCAN OK" only once the scan has started.
    void Action_RemoteControl_Scan() override;
    // Asks the running scan to stop and waits up to 3 s, with events running, for the check
    // timer to report the abort.
    void Action_RemoteControl_Stop() override;
    bool IsScanning() const override { return Flags.Scanning; }

    // The worker's view of the panel, on the UI thread.
    TScanFlags &ScanFlags() override { return Flags; }
    bool IsLinkBusy() const override { return Instrument.IsLinkBusy(); }
    bool GoToSetPoint(double cwl, double fwhm) override;
    void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                      double LW) override;

    // The last validated plan; replaced as a whole by a validation that passes, and only then.
    TScanPlan ScanPlan;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormClose();

    void Image_Button4Click() override;
    void EditClick(TLimitedEdit *edit); // Edit1Click .. Edit5Click
    void Timer_CheckScanTimer();

    void ScanStart(TCaller caller);
    void ScanFinish();
    bool ValidateScanPlan();
    bool ValidateRemoteScanPlan();
    // The plan in the edits against the rules; a plan that passes becomes ScanPlan.
    TScanPlanVerdict CheckEdits();
    TScanPlanTexts PlanTexts() const;
    // Names and tooltips of the boxes, with the ranges of the loaded table.
    void DescribeEdits();

    bool Closing = false;
    TScanFlags Flags;
    std::unique_ptr<TThread_AutoScan> Worker;

    std::array<TPicture *, EditCount> Image_Edit{}; // Image_Edit1 .. Image_Edit5
    std::array<TLimitedEdit *, EditCount> Edit{};   // Edit1 .. Edit5: START .. TimeDelay
    QTimer *Timer_CheckScan = nullptr;
};
