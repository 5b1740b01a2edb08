#pragma once

#include "session/instrumentsession.h"

#include <QString>
#include <QWidget>

#include <initializer_list>
#include <vector>

class QLabel;
class QRect;
class TKeyButton;
class TLimitedEdit;
class TPicture;

// What the SET and SCAN panels share: the product line and the red "Remote" tag, the Reset and
// Go buttons as On/Off picture pairs (each pair at one place with exactly one of the two
// visible), and Reset itself. The operations are the session's: a panel passes on what the
// operator asked for and draws what the session reports.
class TForm_ControlPanel : public QWidget {
    Q_OBJECT
public:
    // The product line, red while no instrument is ready.
    virtual void Action_UpdateUI();
    void Action_Button3_Down();
    void Action_Button3_Up();
    void Action_Button4_Down();
    void Action_Button4_Up();
    // The button of an operation pressed (Reset's for Reset, Go's otherwise) or released again,
    // drawn at once.
    void ShowOperationPressed(TOperation operation, bool pressed);
    // A remote client drives the panel: "Remote" shown, buttons and edits take no input.
    void Action_RemoteControl_Enable();
    void Action_RemoteControl_Disable();
    // The box the panel's shortcut puts the keyboard into.
    virtual QWidget *FirstBox() const = 0;

protected:
    // The panel's pictures are the artwork named artwork + "_base", "_button3_on" and so on.
    TForm_ControlPanel(TInstrumentSession &session, const QString &name, const QString &artwork,
                       const QRect &resetButton, const QRect &goButton, QWidget *parent);

    void showEvent(QShowEvent *event) override;

    // The panel's own entry controls, which remote control disables with the buttons.
    void AddEntryControls(std::initializer_list<QWidget *> controls);
    // Enter in any of these boxes is a click on Go.
    void GoOnEnter(std::initializer_list<TLimitedEdit *> edits);
    // "400.0 to 800.0 nm for the loaded table", or that no table is loaded.
    QString RangeText(double low, double high) const;
    // What the loaded table allows, for the boxes' tooltips: "400.0 to 800.0 nm in steps of
    // 0.5 nm", and "2, 3, 5 or 10 nm", the widths that have a column.
    QString CentreText() const;
    QString WidthsText() const;

    void Image_Button3Click();
    virtual void Image_Button4Click() = 0;

    TInstrumentSession &Session;

    QWidget *Panel_Main = nullptr;
    TPicture *Image_Base = nullptr;
    QLabel *Label_Product = nullptr;
    QLabel *Label_Remote = nullptr;
    TPicture *Image_Button3_On = nullptr;
    TPicture *Image_Button3_Off = nullptr;
    TPicture *Image_Button4_On = nullptr;
    TPicture *Image_Button4_Off = nullptr;
    // The keyboard's Reset and Go, over the picture pairs.
    TKeyButton *Key_Button3 = nullptr;
    TKeyButton *Key_Button4 = nullptr;

private:
    void SetControlsEnabled(bool enabled);
    // One of a button's two pictures is visible: the pressed one or the released one.
    static void ShowButtonPair(TPicture *pressedPicture, TPicture *releasedPicture, bool pressed);

    std::vector<QWidget *> Controls; // what remote control disables
};
