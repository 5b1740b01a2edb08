#pragma once

#include "console/controlpanel.h"

class TLimitedEdit;
class TPicture;

// The SET tab: the operator enters one pass band, as CWL and FWHM or as SW and LW, and moves the
// instrument there with Go, or homes it with Reset. A remote client's SETC and SETR show their
// texts here.
class TForm_ControlSet : public TForm_ControlPanel {
    Q_OBJECT
public:
    explicit TForm_ControlSet(TInstrumentSession &session, QWidget *parent = nullptr);

    // The product line, and the boxes' tooltips with the ranges of the loaded table.
    void Action_UpdateUI() override;
    // Shows the selector and frame pictures of InputMode and draws them at once.
    void Action_EditMode_Update();
    // Switches to the entry mode (0 CWL/FWHM, 1 SW/LW) and puts the two texts into the edits
    // whole, however long.
    void ShowRemoteParameters(int mode, const QString &first, const QString &second);

    QWidget *FirstBox() const override;

    int InputMode = 0; // 0: Edit1 and Edit2 hold CWL and FWHM; 1: they hold SW and LW

private:
    void FormCreate();

    void Image_Button1Click();
    void Image_Button2Click();
    void Image_Button4Click() override;
    void Edit1Click();
    void Edit2Click();

    // Names and tooltips of the boxes, which change with InputMode and the table.
    void DescribeEdits();

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
