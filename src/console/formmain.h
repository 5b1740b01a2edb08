#pragma once

#include "console/calfiledialog.h"
#include "console/consolehost.h"
#include "remote/remotehost.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class TForm_CalData;
class TForm_ControlHelp;
class TForm_ControlScan;
class TForm_ControlSet;
class TForm_ControlView;
class TForm_ScanProgress;
class TInstrumentSession;
class TPicture;
class TRemoteServer;
class TSetup_RedeRedirada;

// The program's only top-level window: it draws its own title bar, switches the tabs, dims
// itself with the opacity switch, docks the SET, SCAN and HELP panels and the position view, and
// shows in its message bar what the session and the panels report. The instrument, its table
// and the search for it live in the session, which the window owns for the whole run together
// with the settings and the remote server.
//
// Closing runs in two halves. The close event (FormClose) marks the session as shutting down,
// closes the link and lets pending events settle; any wait that was on the call stack when the
// close arrived (they all process events) returns on the shutdown flag. The objects are destroyed
// only in the destructor, once control is back at the top-level event loop, so that nothing
// still on the stack touches a released object.
class TForm_Main : public QWidget, public IConsoleView, public IRemoteHost {
    Q_OBJECT
public:
    static constexpr int DefaultCloseSettleRounds = 20; // of 100 ms

    TForm_Main();
    ~TForm_Main() override;

    // Where a window of this size opens on a screen with this available area: centred, but
    // never with its top-left corner (and so its title bar) outside the area.
    static QPoint StartPosition(const QRect &available, const QSize &size);

    TInstrumentSession &Session() { return *InstrumentSession; }
    TSetup_RedeRedirada &Settings() { return *Setup; }
    TRemoteServer &RemoteServer() { return *ServerSocket; }
    bool IsShuttingDown() const;
    // The dialog the calibration import asks; tests put a scripted one in its place.
    void SetCalFileDialog(ICalFileDialog *dialog);
    // Rounds of 100 ms that the close lets pending events run; tests need fewer.
    void SetCloseSettleRounds(int rounds) { CloseSettleRounds = rounds; }

    // IConsoleView: what the panels draw through the window.
    void ShowStatusMessage(const QString &text, const QColor &colour) override;
    bool IsRemoteMode() const override;
    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText) override;
    IPositionView &View() override;

    // Shows the tab pictures for the selected tab, then refreshes the SET and the SCAN panel.
    void Action_UpdateUI();
    // Shows the panels for the selected tab: 0 SET, 1 SCAN, anything else HELP.
    void Action_ChangeMode();

    // The remote server's view of the window.
    int SelectedMode() const override { return Mode; }
    void SwitchToTab(int mode) override;
    IRemoteSetPanel &RemoteSetPanel() override;
    IRemoteScanPanel &RemoteScanPanel() override;

signals:
    // Every message-bar text as it is shown, for whoever else needs to hear it.
    void StatusMessageShown(const QString &text, const QColor &colour);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateComponents();
    void FormCreate();
    void FormClose();
    void DestroyOwnedObjects();

    void Image_Title_BaseMouseDown(const QPoint &pos);
    void Image_Title_BaseMouseMove(const QPoint &pos);
    void Image_Title_Button1Click();
    void Image_Title_Button2Click();
    void SelectTab(int mode);
    void KeyboardSelectTab(int mode);
    void Image_Slide_ButtonMouseDown(const QPoint &pos);
    void Image_Slide_ButtonMouseMove(const QPoint &pos);
    void Image_Slide_ButtonMouseUp();
    void ShowGrooveRest();
    void Image_Message_BaseDblClick();

    int Mode = 0;              // selected tab: 0 SET, 1 SCAN, 2 HELP
    bool KnobDragging = false; // the opacity knob is being dragged
    int KnobGrabX = 0;         // where inside the knob the drag started
    // Without a window manager the system move is refused and the window follows the drag.
    bool TitleDragging = false;
    QPoint TitleGrab; // where inside the title bar the drag started
    int CloseSettleRounds = DefaultCloseSettleRounds;

    std::unique_ptr<TSetup_RedeRedirada> Setup;
    std::unique_ptr<TInstrumentSession> InstrumentSession;
    std::unique_ptr<TRemoteServer> ServerSocket;
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
    QWidget *Panel_Main = nullptr;
    QWidget *Panel_View = nullptr;
    QWidget *Panel_Message = nullptr;
    TPicture *Image_Message_Base = nullptr;
    QLabel *Label_Message = nullptr;

    // Docked into Panel_Main and Panel_View but destroyed by this window, in a fixed order.
    TForm_ControlSet *Form_ControlSet = nullptr;
    TForm_ControlScan *Form_ControlScan = nullptr;
    TForm_ControlHelp *Form_ControlHelp = nullptr;
    TForm_ControlView *Form_ControlView = nullptr;
    TForm_ScanProgress *Form_ScanProgress = nullptr; // drawn from the session's scan progress
    QPointer<TForm_CalData> Form_CalData;            // exists only while it is open
};
