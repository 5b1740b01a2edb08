#pragma once

#include "console/controlpanel.h"
#include "session/scanplancheck.h"

#include <array>

class TLimitedEdit;
class TPicture;

// The SCAN tab: the operator types a scan plan (START, END, FWHM, STEP in nm and the time delay
// in s) and starts it with Go, which stops it while it runs, or homes the instrument with
// Reset. The scan itself is the session's; a remote client's SCAN shows its texts here.
class TForm_ControlScan : public TForm_ControlPanel {
    Q_OBJECT
public:
    static constexpr int EditCount = 5;

    explicit TForm_ControlScan(TInstrumentSession &session, QWidget *parent = nullptr);

    // The product line, drawn at once.
    void Action_UpdateUI() override;
    // Puts the five texts into the edits whole, however long.
    void ShowRemoteParameters(const TScanPlanTexts &texts);
    QWidget *FirstBox() const override;

private:
    void FormCreate();

    void Image_Button4Click() override;
    void EditClick(TLimitedEdit *edit); // Edit1Click .. Edit5Click
    TScanPlanTexts PlanTexts() const;
    // Names and tooltips of the boxes, with the ranges of the loaded table.
    void DescribeEdits();
    // While a scan runs its plan stays in the boxes, which take no typing, and Go says Stop.
    void ShowScanRunning();

    std::array<TPicture *, EditCount> Image_Edit{}; // Image_Edit1 .. Image_Edit5
    std::array<TLimitedEdit *, EditCount> Edit{};   // Edit1 .. Edit5: START .. TimeDelay
    TPicture *Image_Button4_Stop = nullptr;         // over Go while a scan runs
    bool ShownRunning = false;
};
