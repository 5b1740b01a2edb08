// The connection workflow of the main window: the search for the instrument, its start-up, the
// close of the link and the small operations through which the panels drive the instrument.
//
// Every wait here (the settling wait, the link's reply waits, the message bar, the calibration
// dialog) processes events, so any handler may run inside an attempt. Two of them end it: the
// window's close (ShuttingDown) and a panel that found the link lost and closed it
// (DeviceReady false again). The attempt tests for both after each wait and then returns without
// touching anything, since the close has already put the state right. The objects it uses stay
// alive throughout: the window releases them only in its destructor, once the event loop has
// returned and no attempt is left on the stack.

#include "console/formmain.h"

#include "caldata/caldataimport.h"
#include "console/formcontrolview.h"
#include "core/numbers.h"
#include "device/devicerederedirada.h"
#include "platform/portprobe.h"
#include "setup/setuprederedirada.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

const QString SearchBaudRate = QStringLiteral("38400"); // the instrument's; BaudRate is not read
constexpr int SearchTimeOutMs = 500;
constexpr int SettleRounds = 50; // of SettleStepMs each: about 5 s
constexpr unsigned long SettleStepMs = 100;
constexpr int RangeTextLength = 11; // "400.0-800.0"
constexpr double ViewMarginNm = 10.0;

const QString NotFound = QStringLiteral("ERRDV01 : Device not found. Please connect Kestrune.");
const QString InfoFailure = QStringLiteral("ERRDV06 : Device might be problem.");
const QString Searching = QStringLiteral("Searching device...");
const QString Found = QStringLiteral("Device found. Please wait...");
const QString ReadingInfo = QStringLiteral("Reading device infomation...");
const QString ReadingCalData = QStringLiteral("Reading calibration data...");
const QString Ready = QStringLiteral("Device ready.");

// One end of the range text, in nm rounded to 0.1; -1 when it is not a number.
double RangeEnd(const QString &text) {
    return RoundTo(StrToFloatDef(text, -1.0), -1);
}

} // namespace

void TForm_Main::Timer_AutoOpenTimer() {
    // Off while the tick runs, so that ticks never nest inside the attempt's waits.
    Timer_AutoOpen->stop();
    if (ShuttingDown) {
        Action_DeviceClose();
        return;
    }
    if (!DeviceReady) {
        try {
            Action_DeviceOpen();
        } catch (...) {
        }
    }
    // The window closed during the attempt: its close ran before the attempt had returned, and
    // the attempt may have reopened a port since; close once more and stay off.
    if (ShuttingDown) {
        Action_DeviceClose();
        return;
    }
    Timer_AutoOpen->start();
}

void TForm_Main::Action_DeviceOpen() {
    if (ShuttingDown || DeviceReady)
        return;
    try {
        if (PortIndex >= PortList.size()) {
            Action_RefreshPortList();
            PortIndex = 0;
        }
        if (PortList.isEmpty()) {
            ShowStatusMessage(NotFound, StatusColour::Red);
        } else {
            // Kept by name: a close that runs inside the waits below rebuilds PortList.
            const QString port = PortList.at(PortIndex);
            ShowStatusMessage(Searching, StatusColour::Silver);
            Device->SetTimeOut(SearchTimeOutMs);
            if (Device->OpenPort(port, SearchBaudRate)) {
                if (ShuttingDown)
                    return;
                const bool answered = Device->CommandDevice();
                if (ShuttingDown)
                    return;
                if (answered) {
                    QCoreApplication::processEvents();
                    if (ShuttingDown)
                        return;
                    if (Device->deviceId().startsWith(Setup->Info)) {
                        DeviceStartUp(port);
                        return;
                    }
                }
                Device->ClosePort();
            }
            ++PortIndex;
            ShowStatusMessage(Searching, StatusColour::Silver);
        }
    } catch (...) {
    }
    Action_UpdateUI();
}

bool TForm_Main::StartUpInterrupted() const {
    return ShuttingDown || !DeviceReady;
}

// The instrument on `port` has identified itself. The lock is held from here to the end, so that
// neither a panel's operation nor a tab or the close button cuts into the start-up.
void TForm_Main::DeviceStartUp(const QString &port) {
    DeviceReady = true;
    InfoValid = false;
    CalTable.Loaded = false;
    OperationBusy = true;
    ShowStatusMessage(Found, StatusColour::Silver);

    // The instrument needs time after the query before it takes commands.
    for (int round = 0; round < SettleRounds; ++round) {
        if (StartUpInterrupted())
            return;
        QThread::msleep(SettleStepMs);
        QCoreApplication::processEvents();
    }
    if (StartUpInterrupted())
        return;

    Setup->PortName = port;
    Device->SetTimeOut(Setup->TimeOut);
    ShowStatusMessage(ReadingInfo, StatusColour::Silver);
    Action_DeviceUpdateInfo();
    if (StartUpInterrupted())
        return;
    ShowStatusMessage(ReadingCalData, StatusColour::Silver);
    Action_DeviceReadCalDataFromFile();
    if (StartUpInterrupted())
        return;
    // BKEN goes off even when the information or the table is missing.
    SetBken(false);
    if (StartUpInterrupted())
        return;
    if (InfoValid && CalTable.Loaded) {
        HomeAll();
        if (StartUpInterrupted())
            return;
        Form_ControlView->ShowRange(CalTable.GetMinCW() - ViewMarginNm,
                                    CalTable.GetMaxCW() + ViewMarginNm);
        if (StartUpInterrupted())
            return;
        ShowStatusMessage(Ready, StatusColour::Lime);
    }
    // A missing piece leaves its error in the message bar and the link open: the instrument
    // counts as connected, but every table lookup answers 0 until the link is closed.
    Action_UpdateUI();
    // A close in these last repaints has stopped the search timer for good.
    if (StartUpInterrupted())
        return;
    OperationBusy = false;
    Timer_AutoOpen->start();
}

void TForm_Main::Action_DeviceUpdateInfo() {
    CalTable.Model.clear();
    CalTable.Serial.clear();
    RangeText.clear();
    RangeMin = -1.0;
    RangeMax = -1.0;
    // Each item is asked for only while the ones before it have answered.
    const auto readInfoItem = [this](int item, QString &into) {
        if (!Device->CommandInfo(item))
            return false;
        into = Device->GetInfo(item);
        QCoreApplication::processEvents();
        return true;
    };
    bool ok = true;
    try {
        if (StartUpInterrupted())
            return;
        ok = readInfoItem(0, CalTable.Model);
        if (StartUpInterrupted())
            return;
        ok = ok && readInfoItem(1, CalTable.Serial);
        if (StartUpInterrupted())
            return;
        if (ok) {
            if (Device->CommandInfo(2)) {
                RangeText = Device->GetInfo(2);
                // Five characters per end; the separator between them is not examined.
                if (RangeText.size() == RangeTextLength) {
                    RangeMin = RangeEnd(RangeText.mid(0, 5));
                    RangeMax = RangeEnd(RangeText.mid(6, 5));
                }
                ok = RangeText.size() == RangeTextLength && RangeMin >= 0.0 && RangeMax >= 0.0;
            } else {
                ok = false;
            }
        }
        if (StartUpInterrupted())
            return;
        // Also when an item is already missing: the read refreshes the positions the link keeps.
        if (Device->CommandPos())
            QCoreApplication::processEvents();
        else
            ok = false;
        if (StartUpInterrupted())
            return;
    } catch (...) {
        ok = false;
    }
    InfoValid = ok;
    if (!ok)
        ShowStatusMessage(InfoFailure, StatusColour::Red);
}

void TForm_Main::Action_DeviceReadCalDataFromFile() {
    const QString failure = ImportCalData(CalTable, InfoValid, ExePath, *CalDataDialog);
    if (!failure.isEmpty())
        ShowStatusMessage(failure, StatusColour::Red);
}

// Closes the link and returns to searching; the search timer is left as it is, so the search
// resumes with its next tick unless the window is closing.
void TForm_Main::Action_DeviceClose() {
    DeviceReady = false;
    InfoValid = false;
    CalTable.Loaded = false;
    OperationBusy = false;
    try {
        Device->ClosePort();
        Action_RefreshPortList();
        PortIndex = 0;
        Form_ControlView->ClearView();
        Action_UpdateUI();
    } catch (...) {
    }
}

void TForm_Main::Action_RefreshPortList() {
    PortList.clear();
    for (const QString &name : ProbeComPorts())
        AddToPortList(name);
}

void TForm_Main::AddToPortList(const QString &name) {
    const auto before = [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    };
    const auto at = std::lower_bound(PortList.begin(), PortList.end(), name, before);
    if (at != PortList.end() && QString::compare(*at, name, Qt::CaseInsensitive) == 0)
        return;
    PortList.insert(at, name);
}

bool TForm_Main::IsLinkBusy() const {
    return Device && Device->isAwaitingReply();
}

// The panels' link test, not tied to DeviceReady: it must fail on a closed port. A click, a
// remote command or a scan tick may arrive while another exchange waits for its reply (every
// wait processes events); a position read sent then would take that exchange's reply. The link
// is evidently alive, so the test passes without a word on the line, and the operation lock,
// which the running exchange's owner holds, refuses what follows.
bool TForm_Main::ReadPositions() {
    if (IsLinkBusy())
        return true;
    if (!Device->CommandPos())
        return false;
    Action_UpdateUI();
    return true;
}

bool TForm_Main::HomeAll() {
    if (!DeviceReady)
        return false;
    try {
        if (!Device->CommandHome())
            return false;
        Action_UpdateUI();
        return true;
    } catch (...) {
        return false;
    }
}

bool TForm_Main::SetBken(bool on) {
    if (!DeviceReady)
        return false;
    try {
        if (!Device->CommandBken(on))
            return false;
        Action_UpdateUI();
        return true;
    } catch (...) {
        return false;
    }
}
