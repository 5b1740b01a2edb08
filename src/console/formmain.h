#pragma once

#include "caldata/caldata.h"
#include "caldata/caldatahost.h"
#include "console/calfiledialog.h"
#include "console/consolehost.h"
#include "remote/remotehost.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QSocketNotifier;
class QTimer;
class TDevice_RedeRedirada;
class TForm_CalData;
class TForm_ControlHelp;
class TForm_ControlScan;
class TForm_ControlSet;
class TForm_ControlView;
class TPicture;
class TRemoteServer;
class TSetup_RedeRedirada;

// The program's only top-level window and the owner of everything for the whole run: the
// settings, the instrument link, the calibration table, the SET, SCAN and HELP panels and the
// position view. It draws its own title bar, switches the tabs, dims itself with the opacity
// switch and reports every operation in its message bar. Create it on the heap: the calibration
// table it holds is large.
//
// Closing runs in two halves. The close event (FormClose) marks the window as shutting down,
// closes the link and lets pending events settle; any wait that was on the call stack when the
// close arrived (they all process events) returns on the shutdown flag. The objects are destroyed
// only in the destructor, once control is back at the top-level event loop, so that nothing
// still on the stack touches a released object.
class TForm_Main : public QWidget, public IConsoleHost, public ICalDataHost, public IRemoteHost {
    Q_OBJECT
public:
    TForm_Main();
    ~TForm_Main() override;

    // Message bar: text and colour, drawn before this returns.
    void ShowStatusMessage(const QString &text, const QColor &colour) override;
    bool IsDeviceReady() const override;
    bool IsRemoteMode() const override;
    // The single operation lock. Both refuse (false, nothing changes) while no instrument is
    // ready, so a lock left set when the instrument went away is cleared by Action_DeviceClose.
    bool BeginOperation() override;
    bool EndOperation() override;
    QString GetProductLabel() const override;

    // The connection workflow (formmain_connection.cpp). The operations that the panels and
    // the close use:
    bool ReadPositions() override; // the link test: false means the link is lost
    bool IsLinkBusy() const override;
    bool HomeAll() override;        // false while no instrument is ready
    bool SetBken(bool on) override; // false while no instrument is ready
    // Closes the link and returns to searching with the next tick.
    void Action_DeviceClose() override;
    // Rebuilds PortList from the ports COM1 ... COM64 that can be opened now.
    void Action_RefreshPortList();

    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText) override;
    TCalData &CalData() override { return CalTable; }
    IPositionView &View() override;
    bool CommandGo(int pos1, int pos2, int pos3) override;

    // Shows the tab pictures for Mode, then refreshes the SET and the SCAN panel.
    void Action_UpdateUI() override;
    // Shows the panels for Mode: 0 SET, 1 SCAN, anything else HELP.
    void Action_ChangeMode();

    // The remote server's view of the window.
    int SelectedMode() const override { return Mode; }
    void SwitchToTab(int mode) override;
    IRemoteSetPanel &RemoteSetPanel() override;
    IRemoteScanPanel &RemoteScanPanel() override;

    // Puts a port name into PortList: sorted without regard to case (COM10 before COM2), each
    // name once.
    void AddToPortList(const QString &name);

    // The search: each tick of Timer_AutoOpen makes one connection attempt on the port at
    // PortIndex while no instrument is ready. An attempt that identifies the instrument holds
    // the operation lock through its whole start-up: settling wait, information, calibration
    // table, BKEN off, homing.
    void Timer_AutoOpenTimer();
    void Action_DeviceOpen();
    // Reads model code, serial number and range; InfoValid tells whether all of it came.
    void Action_DeviceUpdateInfo();
    // Loads the table from Cal/, or once from the file the operator picks in CalDataDialog.
    void Action_DeviceReadCalDataFromFile();

    QString ExePath;            // the program folder, with a trailing separator
    int Mode = 0;               // selected tab: 0 SET, 1 SCAN, 2 HELP
    bool OperationBusy = false; // the operation lock
    bool ShuttingDown = false;  // set once by FormClose, never cleared
    bool KnobDragging = false;  // the opacity knob is being dragged
    int KnobGrabX = 0;          // where inside the knob the drag started

    // Connection workflow.
    QStringList PortList;     // ports to try, see AddToPortList
    int PortIndex = 0;        // entry of PortList that the next attempt tries
    bool DeviceReady = false; // an instrument was identified on the open port
    bool InfoValid = false;   // its information items were read completely
    QString RangeText;        // its information item 2
    double RangeMin = -1.0;   // its range in nm, -1.0 until read
    double RangeMax = -1.0;

    // The remote server keeps the three reply texts; the panels and validators set them here.
    const TRemoteReply &RemoteReply() const;
    std::unique_ptr<TRemoteServer> ServerSocket;

    std::unique_ptr<TSetup_RedeRedirada> Setup;
    std::unique_ptr<TDevice_RedeRedirada> Device;
    TCalData CalTable;
    TCalFileDialog OpenDialog_CalData{this};
    // The dialog the calibration import asks; tests put a scripted one in its place.
    ICalFileDialog *CalDataDialog = &OpenDialog_CalData;
    QTimer *Timer_AutoOpen = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateComponents();
    void FormCreate();
    void FormClose();
    void DestroyOwnedObjects();
    void DeviceStartUp(const QString &port);
    bool StartUpInterrupted() const;

    void Image_Title_BaseMouseDown();
    void Image_Title_Button1Click();
    void Image_Title_Button2Click();
    void Image_Tab1Click();
    void Image_Tab2Click();
    void Image_Tab3Click();
    void SelectTab(int mode);
    void Image_Slide_ButtonMouseDown(const QPoint &pos);
    void Image_Slide_ButtonMouseMove(const QPoint &pos);
    void Image_Slide_ButtonMouseUp();
    void Image_Message_BaseDblClick();

    // SIGTERM and SIGINT close the window the way the system's close does.
    void InstallCloseSignals();
    void RemoveCloseSignals();
    void CloseSignalArrived();

    QWidget *Panel_Title = nullptr;
    TPicture *Image_Title_Base = nullptr;
    TPicture *Image_Title_Button1 = nullptr;
    TPicture *Image_Title_Button2 = nullptr;
    TPicture *Image_Slide_Base = nullptr;
    TPicture *Image_Slide_Button = nullptr;
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
    QPointer<TForm_CalData> Form_CalData; // exists only while it is open

    std::array<int, 2> CloseSignalPipe{-1, -1};
    QSocketNotifier *CloseSignalNotifier = nullptr;
};
