#pragma once

#include "console/consolehost.h"

#include <QWidget>

class QLabel;
class TLimitedEdit;
class TPicture;

// The SET tab: the operator enters one pass band, as CWL and FWHM or as SW and LW, and moves the
// instrument there with Go, or homes it with Reset. Every On/Off picture pair lies at one place
// with exactly one of the two visible.
class TForm_ControlSet : public QWidget, public IControlPanel {
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

    int InputMode = 0; // 0: Edit1 and Edit2 hold CWL and FWHM; 1: they hold SW and LW

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void SetControlsEnabled(bool enabled);

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
