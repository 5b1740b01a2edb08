#pragma once

#include "console/calfiledialog.h"
#include "session/instrumentsession.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class TForm_CalData;
class TForm_ControlHelp;
class TForm_ControlPanel;
class TForm_ControlList;
class TForm_ControlScan;
class TForm_ControlSet;
class TForm_ControlView;
class TForm_ScanProgress;
class TPicture;
struct TScanPlanTexts;

// The window's tabs, as its Mode holds them.
namespace ConsoleTab {
constexpr int Set = 0;
constexpr int Scan = 1;
constexpr int Help = 2;
constexpr int List = 3;
} // namespace ConsoleTab

// The program's only top-level window: it draws its own title bar, switches the tabs, dims
// itself with the opacity switch, docks the SET, SCAN and HELP panels and the position view, and
// shows in its message bar what the session reports. It draws the session it is given and what
// the remote server announces of a client's requests; it runs no operation of its own.
//
// Closing runs in two halves. The close event (FormClose) marks the session as shutting down,
// announces the close (the remote server stops), closes the link and lets pending events
// settle; any wait that was on the call stack when the close arrived (they all process events)
// returns on the shutdown flag. The panels are destroyed only in the destructor, once control is
// back at the top-level event loop, so that nothing still on the stack touches a released
// object. The session must outlive the window.
class TForm_Main : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultCloseSettleRounds = 20; // of 100 ms

    // debugMode allows the mapping data window.
    TForm_Main(TInstrumentSession &session, bool debugMode);
    ~TForm_Main() override;

    // Where a window of this size opens on a screen with this available area: centred, but
    // never with its top-left corner (and so its title bar) outside the area.
    static QPoint StartPosition(const QRect &available, const QSize &size);

    TInstrumentSession &Session() { return InstrumentSession; }
    bool IsShuttingDown() const { return InstrumentSession.IsShuttingDown(); }
    // The dialog the calibration import asks; tests put a scripted one in its place.
    void SetCalFileDialog(ICalFileDialog *dialog);
    // Rounds of 100 ms that the close lets pending events run; tests need fewer.
    void SetCloseSettleRounds(int rounds) { CloseSettleRounds = rounds; }

    // Message bar: text and colour, drawn before this returns.
    void ShowStatusMessage(const QString &text, const QColor &colour);

    // Shows the tab pictures for the selected tab, then refreshes the SET and the SCAN panel.
    void Action_UpdateUI();
    // Shows the panels for the selected tab: 0 SET, 1 SCAN, 3 LIST, anything else HELP.
    void Action_ChangeMode();

    int SelectedMode() const { return Mode; }
    // Mode := mode, then Action_ChangeMode and Action_UpdateUI; not held back by the lock.
    void SwitchToTab(int mode);

    // A remote client's request as the operator sees it, before the session runs it: the tab it
    // belongs to, and the texts it brought in the boxes.
    void ShowRemoteSetBand(int inputMode, const QString &first, const QString &second);
    void ShowRemoteScan(const TScanPlanTexts &texts);
    // The SCAN tab resets from its own panel; the HELP tab has none and hands over to SET.
    void ShowRemoteReset();
    void ShowRemoteStop();

signals:
    // The close has begun: the session is shutting down, its link not yet closed.
    void Closing();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateComponents();
    void FormCreate();
    void FormClose();
    void DestroyOwnedObjects();
    // Reset's button is the shown panel's; Go's belongs to the operation's panel.
    void ShowOperationPressed(TOperation operation, bool pressed);

    void Image_Title_BaseMouseDown(const QPoint &pos);
    void Image_Title_BaseMouseMove(const QPoint &pos);
    void Image_Title_Button1Click();
    void Image_Title_Button2Click();
    // False when the lock refused the switch.
    bool SelectTab(int mode);
    void KeyboardSelectTab(int mode, bool intoFirstBox);
    void FocusFirstBox();
    QWidget *TabPicture(int mode) const;
    void RedrawViewForTab();
    void Image_Slide_ButtonMouseDown(const QPoint &pos);
    void Image_Slide_ButtonMouseMove(const QPoint &pos);
    void Image_Slide_ButtonMouseUp();
    void ShowGrooveRest();
    void Image_Message_BaseDblClick();

    int Mode = 0;              // selected tab: 0 SET, 1 SCAN, 2 HELP, 3 LIST
    bool KnobDragging = false; // the opacity knob is being dragged
    int KnobGrabX = 0;         // where inside the knob the drag started
    // Without a window manager the system move is refused and the window follows the drag.
    bool TitleDragging = false;
    QPoint TitleGrab; // where inside the title bar the drag started
    int CloseSettleRounds = DefaultCloseSettleRounds;

    TInstrumentSession &InstrumentSession;
    const bool DebugMode;
    TCalFileDialog OpenDialog_CalData{this};

    QWidget *Panel_Title = nullptr;
    TPicture *Image_Title_Base = nullptr;
    TPicture *Image_Title_Button1 = nullptr;
    TPicture *Image_Title_Button2 = nullptr;
    TPicture *Image_Slide_Base = nullptr;
    TPicture *Image_Slide_Button = nullptr;
    QWidget *Panel_Slide_Rest = nullptr; // the empty groove right of the knob
    QWidget *Panel_TabControl = nullptr;
    TPicture *Image_Tab1_On = nullptr;
    TPicture *Image_Tab1_Off = nullptr;
    TPicture *Image_Tab2_On = nullptr;
    TPicture *Image_Tab2_Off = nullptr;
    TPicture *Image_Tab3_On = nullptr;
    TPicture *Image_Tab3_Off = nullptr;
    TPicture *Image_Tab4_On = nullptr;
    TPicture *Image_Tab4_Off = nullptr;
    QWidget *Panel_Main = nullptr;
    QWidget *Panel_View = nullptr;
    QWidget *Panel_Message = nullptr;
    TPicture *Image_Message_Base = nullptr;
    QLabel *Label_Message = nullptr;

    // Docked into Panel_Main and Panel_View but destroyed by this window, in a fixed order.
    TForm_ControlSet *Form_ControlSet = nullptr;
    TForm_ControlScan *Form_ControlScan = nullptr;
    TForm_ControlHelp *Form_ControlHelp = nullptr;
    TForm_ControlList *Form_ControlList = nullptr;
    TForm_ControlView *Form_ControlView = nullptr;
    TForm_ScanProgress *Form_ScanProgress = nullptr; // drawn from the session's scan progress
    TForm_ControlPanel *ResetPanel = nullptr;        // the one showing Reset pressed
    QPointer<TForm_CalData> Form_CalData;            // exists only while it is open
};
