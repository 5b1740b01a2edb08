#pragma once

#include "console/controlpanel.h"
#include "console/setpointcheck.h"
#include "remote/remotehost.h"

class TLimitedEdit;
class TPicture;

// The SET tab: the operator enters one pass band, as CWL and FWHM or as SW and LW, and moves the
// instrument there with Go, or homes it with Reset. A remote client does the same through the
// remote actions (SETC, SETR, RESET). The pressed picture and the lock are given back on every
// path once taken.
class TForm_ControlSet : public TForm_ControlPanel, public IRemoteSetPanel {
    Q_OBJECT
public:
    TForm_ControlSet(IInstrumentControl &instrument, IConsoleView &console,
                     QWidget *parent = nullptr);

    // The product line, and the boxes' tooltips with the ranges of the loaded table.
    void Action_UpdateUI() override;
    // Shows the selector and frame pictures of InputMode and draws them at once.
    void Action_EditMode_Update();
    // The shared actions once more, as the remote server's interface asks for them.
    void Action_RemoteControl_Enable() override {
        TForm_ControlPanel::Action_RemoteControl_Enable();
    }
    void Action_RemoteControl_Disable() override {
        TForm_ControlPanel::Action_RemoteControl_Disable();
    }

    // The remote commands' operations; each leaves its outcome in the remote reply, except when the
    // link test fails or the lock is taken.
    void Action_RemoteControl_Reset() override { Reset(TCaller::Remote); }
    void Action_RemoteControl_Go() override;
    // Switches to the entry mode (0 CWL/FWHM, 1 SW/LW) and puts the two texts into the edits
    // whole, however long.
    void ApplyRemoteParameters(int mode, const QString &first, const QString &second) override;

    // Check the edits against the calibration table. Both write the bounds on every run and
    // SetPoint only when the entry passes; on failure both show the rule's message, and the
    // remote one stores it in the remote reply first.
    bool ValidateSetPoint();
    bool ValidateRemoteSetPoint();

    int InputMode = 0; // 0: Edit1 and Edit2 hold CWL and FWHM; 1: they hold SW and LW
    // Table bounds as the last validation read them, in nm.
    double MinCW = 0.0;
    double MaxCW = 0.0;
    double MinFWHM = 0.0;
    double MaxFWHM = 0.0;
    double MinCWForFWHM = 0.0; // for the FWHM under test; 0.0 when it has no column
    double MaxCWForFWHM = 0.0;
    TSetPoint SetPoint; // the last set-point that passed

private:
    void FormCreate();

    void Image_Button1Click();
    void Image_Button2Click();
    void Image_Button4Click() override;
    void Edit1Click();
    void Edit2Click();

    // Body of Go, run with the lock held.
    void RunGo(TCaller caller);
    TSetPointVerdict CheckEdits();
    // Names and tooltips of the boxes, which change with InputMode and the table.
    void DescribeEdits();
    QByteArray RemoteCommand() const; // "SETC" or "SETR" by InputMode

    TPicture *Image_Button1_On = nullptr;
    TPicture *Image_Button1_Off = nullptr;
    TPicture *Image_Button2_On = nullptr;
    TPicture *Image_Button2_Off = nullptr;
    TPicture *Image_Edit1_Mode1 = nullptr;
    TPicture *Image_Edit1_Mode2 = nullptr;
    TPicture *Image_Edit2_Mode1 = nullptr;
    TPicture *Image_Edit2_Mode2 = nullptr;
    TLimitedEdit *Edit1 = nullptr;
    TLimitedEdit *Edit2 = nullptr;
    TKeyButton *Key_Button1 = nullptr; // the keyboard's CWL/FWHM and SW/LW selectors
    TKeyButton *Key_Button2 = nullptr;
};
