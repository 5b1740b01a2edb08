#pragma once

#include "console/consolehost.h"
#include "session/instrumentcontrol.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <vector>

class QLabel;
class QRect;
class TKeyButton;
class TLimitedEdit;
class TPicture;

// What the SET and SCAN panels share: the product line and the red "Remote" tag, the Reset and
// Go buttons as On/Off picture pairs (each pair at one place with exactly one of the two
// visible), the refusals and the link test that open their operations, and Reset itself.
//
// The device operations share one guard order: remote mode (local clicks only), instrument
// ready, the position read as link test, the session's operation lock. Every wait inside an
// operation processes events, so clicks and remote input can arrive in the middle of one; the
// lock keeps them from starting a second operation.
class TForm_ControlPanel : public QWidget, public IControlPanel {
    Q_OBJECT
public:
    // The product line, red while no instrument is ready.
    void Action_UpdateUI() override;
    void Action_Button3_Down();
    void Action_Button3_Up();
    void Action_Button4_Down();
    void Action_Button4_Up();
    // The Go button's released picture, drawn with the next repaint.
    void ShowButton4Released();
    // A remote client drives the panel: "Remote" shown, buttons and edits take no input.
    void Action_RemoteControl_Enable() override;
    void Action_RemoteControl_Disable() override;

protected:
    enum class TCaller { Operator, Remote };

    static constexpr double ViewMargin = 10.0; // nm shown beyond the table's first and last CW row
    static inline const QString DeviceNotReady =
        QStringLiteral("Device not ready. Please connect Kestrune.");

    // The panel's pictures are the artwork named artwork + "_base", "_button3_on" and so on.
    TForm_ControlPanel(IInstrumentControl &instrument, IConsoleView &console, const QString &name,
                       const QString &artwork, const QRect &resetButton, const QRect &goButton,
                       QWidget *parent);

    void showEvent(QShowEvent *event) override;

    // The panel's own entry controls, which remote control disables with the buttons.
    void AddEntryControls(std::initializer_list<QWidget *> controls);
    // Enter in any of these boxes is a click on Go.
    void GoOnEnter(std::initializer_list<TLimitedEdit *> edits);
    // "400.0 to 800.0 nm for the loaded table", or that no table is loaded.
    QString RangeText(double low, double high) const;

    // Each refusal shows its message and answers true when the operation ends there; a remote
    // caller's refusal stores the reply (failReply, "NONE", message) first.
    bool RefuseInRemoteMode();
    bool RefuseUnlessReady(const QString &message);
    bool RefuseUnlessReady(const QString &message, const QByteArray &failReply);
    // A broken input rule: "code : text" in red; a remote caller's failure also stores the reply
    // (failReply, code, text with the signs as the client's byte pairs) first.
    void ReportRuleFailure(const QString &code, const QString &text);
    void ReportRuleFailure(const QString &code, const QString &text, const QByteArray &failReply);
    // The position read doubles as the link test. A lost link is reported and closed, so that
    // the search for the instrument starts again.
    bool LinkTest();
    // The link test, then the lock. False ends the operation.
    bool PassLinkTestAndLock();
    // Runs body with the lock held, then gives back the pressed picture and the lock.
    void RunLocked(void (TForm_ControlPanel::*buttonUp)(), const std::function<void()> &body);

    void Image_Button3Click();
    virtual void Image_Button4Click() = 0;
    // Local Reset (after the remote-mode refusal) and remote Reset.
    void Reset(TCaller caller);
    // The view range Reset shows once the instrument is homed.
    void ShowResetRange();

    IInstrumentControl &Instrument;
    IConsoleView &Console;

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
