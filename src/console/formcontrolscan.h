#pragma once

#include "console/consolehost.h"

#include <QWidget>

#include <array>

class QLabel;
class TLimitedEdit;
class TPicture;

// The SCAN tab: the operator types a scan plan (START, END, FWHM, STEP in nm and the time delay
// in s) and starts it with Go, or homes the instrument with Reset. Each On/Off picture pair lies
// at one place with exactly one of the two visible.
class TForm_ControlScan : public QWidget, public IControlPanel {
    Q_OBJECT
public:
    static constexpr int EditCount = 5;

    explicit TForm_ControlScan(IConsoleHost &host, QWidget *parent = nullptr);

    // The product line of the main window, red while no instrument is ready; drawn at once.
    void Action_UpdateUI() override;
    void Action_Button3_Down();
    void Action_Button3_Up();
    void Action_Button4_Down();
    void Action_Button4_Up();
    // A remote client drives the panel: "Remote" shown, buttons and edits take no input.
    void Action_RemoteControl_Enable() override;
    void Action_RemoteControl_Disable() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void SetControlsEnabled(bool enabled);

    IConsoleHost &Host;

    QWidget *Panel_Main = nullptr;
    TPicture *Image_Base = nullptr;
    QLabel *Label_Product = nullptr;
    QLabel *Label_Remote = nullptr;
    std::array<TPicture *, EditCount> Image_Edit{}; // Image_Edit1 .. Image_Edit5
    std::array<TLimitedEdit *, EditCount> Edit{};   // Edit1 .. Edit5: START .. TimeDelay
    TPicture *Image_Button3_Off = nullptr;
    TPicture *Image_Button3_On = nullptr;
    TPicture *Image_Button4_Off = nullptr;
    TPicture *Image_Button4_On = nullptr;
};
