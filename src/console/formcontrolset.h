#pragma once

#include "console/consolehost.h"
#include "console/setpointcheck.h"
#include "remote/remotehost.h"

#include <QWidget>

#include <functional>

class QLabel;
class TLimitedEdit;
class TPicture;

// The SET tab: the operator enters one pass band, as CWL and FWHM or as SW and LW, and moves the
// instrument there with Go, or homes it with Reset. A remote client does the same through the
// remote actions (SETC, SETR, RESET). Every On/Off picture pair lies at one place with exactly
// one of the two visible.
//
// The device operations share one guard order: remote mode (local clicks only), instrument
// ready, the position read as link test, the main window's operation lock. Every wait inside an
// operation processes events, so clicks and remote input can arrive in the middle of one; the
// lock keeps them from starting a second operation, and the pressed picture and the lock are
// given back on every path once taken.
class TForm_ControlSet : public QWidget, public IControlPanel, public IRemoteSetPanel {
    Q_OBJECT
public:
    explicit TForm_ControlSet(IConsoleHost &host, QWidget *parent = nullptr);

    // The product line of the main window, red while no instrument is ready.
    void Action_UpdateUI() override;
    // Shows the selector and frame pictures of InputMode and draws them at once.
    void Action_EditMode_Update();
    void Action_Button3_Down();
    void Action_Button3_Up();
    void Action_Button4_Down();
    void Action_Button4_Up();
    // A remote client drives the panel: "Remote" shown, buttons and edits take no input.
    void Action_RemoteControl_Enable() override;
    void Action_RemoteControl_Disable() override;

    // The remote commands' operations; each leaves its outcome in the main window's remote
    // reply, except when the link test fails or the lock is taken.
    void Action_RemoteControl_Reset() override;
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

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void SetControlsEnabled(bool enabled);

    void Image_Button1Click();
    void Image_Button2Click();
    void Image_Button3Click();
    void Image_Button4Click();
    void Edit1Click();
    void Edit2Click();

    enum class Caller { Operator, Remote };
    // The guards after the refusals: the link test, then the lock. False ends the operation.
    bool PassLinkTestAndLock();
    void RunLocked(void (TForm_ControlSet::*buttonUp)(), const std::function<void()> &body);
    // Bodies of Reset and Go, run with the lock held; they give back the button and the lock.
    void RunReset(Caller caller);
    void RunGo(Caller caller);
    TSetPointVerdict CheckEdits();
    QByteArray RemoteCommand() const; // "SETC" or "SETR" by InputMode

    IConsoleHost &Host;

    QWidget *Panel_Main = nullptr;
    TPicture *Image_Base = nullptr;
    TPicture *Image_Button1_On = nullptr;
    TPicture *Image_Button1_Off = nullptr;
    TPicture *Image_Button2_On = nullptr;
    TPicture *Image_Button2_Off = nullptr;
    TPicture *Image_Edit1_Mode1 = nullptr;
    TPicture *Image_Edit1_Mode2 = nullptr;
    TPicture *Image_Edit2_Mode1 = nullptr;
    TPicture *Image_Edit2_Mode2 = nullptr;
    TPicture *Image_Button3_On = nullptr;
    TPicture *Image_Button3_Off = nullptr;
    TPicture *Image_Button4_On = nullptr;
    TPicture *Image_Button4_Off = nullptr;
    QLabel *Label_Product = nullptr;
    QLabel *Label_Remote = nullptr;
    TLimitedEdit *Edit1 = nullptr;
    TLimitedEdit *Edit2 = nullptr;
};
