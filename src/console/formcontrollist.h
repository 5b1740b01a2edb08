#pragma once

#include "console/controlpanel.h"

#include <QString>

#include <memory>
#include <vector>

class QShortcut;
class QTableView;
class TBandListModel;
class TKeyButton;
class TLimitedEdit;
class TPicture;

// Where the LIST tab loads a list from and saves it to; empty when the operator cancels. Tests
// put scripted answers in place of the dialogs.
class IBandListFileDialog {
public:
    virtual ~IBandListFileDialog() = default;
    virtual QString OpenPath() = 0;
    virtual QString SavePath() = 0;
};

// The LIST tab: the session's band list as a table the operator edits (Insert adds a row after
// the current one, Delete removes it, a cell takes a new value as typed), each row marked with the
// rule it breaks for the loaded table; loading and saving a list file; the number of cycles; Go
// for a timed run, Step for a stepped run and Next to move it on (Space or Enter); Escape, Go or
// Step stops a run. The runs are the session's; what a remote client changes in the list shows
// here at once.
class TForm_ControlList : public TForm_ControlPanel {
    Q_OBJECT
public:
    // dialog must outlive the panel; without one the panel uses the console's dark file dialogs.
    explicit TForm_ControlList(TInstrumentSession &session, QWidget *parent = nullptr,
                               IBandListFileDialog *dialog = nullptr);
    ~TForm_ControlList() override;

    // The product line and what may be pressed now, drawn at once.
    void Action_UpdateUI() override;
    // Go shows pressed from a run's start (its checks included), Step instead once the run
    // turns out stepped; both are released at its end.
    void ShowRunPressed(bool pressed);

    QTableView *Table() const { return Grid; }
    QWidget *FirstBox() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Image_Button4Click() override;
    void StepClick();
    void NextClick();
    void AddClick();
    void RemoveClick();
    void LoadClick();
    void SaveClick();
    void Report(const QString &text, const QColor &colour);
    // What a run allows and which of Go and Step it holds down.
    void ShowRunState();

    std::unique_ptr<IBandListFileDialog> OwnDialog;
    IBandListFileDialog *Dialog = nullptr;
    TBandListModel *Model = nullptr;
    QTableView *Grid = nullptr;
    TLimitedEdit *Edit_Cycles = nullptr;
    TPicture *Image_Button5_On = nullptr; // Step
    TPicture *Image_Button5_Off = nullptr;
    TPicture *Image_Button6_On = nullptr; // Next
    TPicture *Image_Button6_Off = nullptr;
    TKeyButton *Key_Button5 = nullptr;
    TKeyButton *Key_Button6 = nullptr;
    TKeyButton *Key_Add = nullptr;
    TKeyButton *Key_Remove = nullptr;
    TKeyButton *Key_Load = nullptr;
    TKeyButton *Key_Save = nullptr;
    std::vector<QShortcut *> NextShortcuts; // on only while a stepped run goes on
};
