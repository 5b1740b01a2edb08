#include "session/instrumentsession.h"

#include "caldata/caldataimport.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "device/devicerederedirada.h"
#include "platform/portprobe.h"
#include "session/bandlistrun.h"
#include "session/scanrecord.h"
#include "session/scanrun.h"
#include "session/statuscolour.h"
#include "setup/setuprederedirada.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <new>

namespace {

const QString SearchBaudRate = QStringLiteral("38400"); // the instrument's; BaudRate is not read
constexpr int SearchTimeOutMs = 500;
constexpr int RangeTextLength = 11; // "400.0-800.0"

const QString NotFound = QStringLiteral("ERRDV01 : Device not found. Please connect Kestrune.");
const QString InfoFailure = QStringLiteral("ERRDV06 : Device might be problem.");
const QString Searching = QStringLiteral("Searching device...");
const QString Found = QStringLiteral("Device found. Please wait...");
const QString ReadingInfo = QStringLiteral("Reading device infomation...");
const QString ReadingCalData = QStringLiteral("Reading calibration data...");
const QString Ready = QStringLiteral("Device ready.");
const QString RecordFailure = QStringLiteral("Scan record cannot be written.");
const QString BandListUnreadable =
    QStringLiteral("BandList.csv cannot be read; it is kept as BandList.csv.bad.");
const QString BandListUnwritable = QStringLiteral("BandList.csv cannot be written.");

// One end of the range text, in nm rounded to 0.1; -1 when it is not a number.
double RangeEnd(const QString &text) {
    return RoundTo(StrToFloatDef(text, -1.0), -1);
}

} // namespace

TInstrumentSession::TInstrumentSession(TSetup_RedeRedirada &setup, const QString &exePath,
                                       QObject *parent)
    : QObject(parent), Setup(setup), ExePath(exePath),
      Link(std::make_unique<TDevice_RedeRedirada>()), CalTable(std::make_unique<TCalData>()) {
    if (Setup.DebugMode)
        Link->StartLog(ExePath + QStringLiteral("Log/"));
    AddToPortList(Setup.PortName);
    Timer_AutoOpen = new QTimer(this);
    Timer_AutoOpen->setObjectName(QStringLiteral("Timer_AutoOpen"));
    Timer_AutoOpen->setInterval(SearchIntervalMs);
    // An attempt runs for seconds with events running; started inside a handler that must stay
    // responsive (a remote client's line), it would hold that handler's replies back throughout,
    // so it waits for the handler to return. Off while it waits, so that no second tick queues.
    connect(Timer_AutoOpen, &QTimer::timeout, this, [this] {
        Timer_AutoOpen->stop();
        RunOutsideHandlers(this, [this] { Timer_AutoOpenTimer(); });
    });
    List = std::make_unique<TBandList>(ExePath + QStringLiteral("BandList.csv"));
    connect(List.get(), &TBandList::WriteFailed, this,
            [this] { Report(BandListUnwritable, StatusColour::Silver); });
    ListRun = std::make_unique<TBandListRun>(
        *this, [this](TScanOutcome outcome) { ReportBandListEnd(outcome); });
    Scan =
        std::make_unique<TScanRun>(*this, [this](TScanOutcome outcome) { ReportScanEnd(outcome); });
}

TInstrumentSession::~TInstrumentSession() {
    ListRun->Close();
    Scan->Close();
}

void TInstrumentSession::StartSearch() {
    if (!List->Load())
        Report(BandListUnreadable, StatusColour::Silver);
    Timer_AutoOpen->start();
}

void TInstrumentSession::EndSearch() {
    Action_DeviceClose();
    Timer_AutoOpen->stop();
}

QString TInstrumentSession::GetProductLabel() const {
    if (!DeviceReady)
        return QStringLiteral("No Device");
    try {
        const QString &model = CalTable->Model;
        const bool known = model.size() == 4 && model.at(0) == QLatin1Char('F') &&
                           StrToIntDef(model.mid(1, 3), -1) >= 0 && RangeMinNm >= 100.0 &&
                           RangeMinNm <= 950.0 && RangeMaxNm >= 100.0 && RangeMaxNm <= 950.0 &&
                           RangeMinNm < RangeMaxNm;
        if (!known)
            return QStringLiteral("KESTRUNE (Unknown Model)");
        return QStringLiteral("KESTRUNE-") + model.mid(1, 3) + QStringLiteral(" ( ") +
               FormatFloat(QStringLiteral("0.0"), RangeMinNm) + QStringLiteral(" nm - ") +
               FormatFloat(QStringLiteral("0.0"), RangeMaxNm) + QStringLiteral(" nm )");
    } catch (const std::bad_alloc &) {
        // Composing can only fail for want of memory; the literal needs none.
        return QStringLiteral("KESTRUNE (Wrong Infomation)");
    }
}

// An exchange under way belongs to an operation (or to a link test) that started before; a new
// one must not begin inside its wait.
bool TInstrumentSession::BeginOperation() {
    if (!DeviceReady || OperationBusy || IsLinkBusy())
        return false;
    SetOperationBusy(true);
    return true;
}

bool TInstrumentSession::EndOperation() {
    if (!DeviceReady || !OperationBusy)
        return false;
    SetOperationBusy(false);
    return true;
}

void TInstrumentSession::SetOperationBusy(bool busy) {
    if (OperationBusy == busy)
        return;
    OperationBusy = busy;
    emit OperationBusyChanged(busy);
}

// An attempt that fails with an exception counts as a failed attempt: the search must go on.
void TInstrumentSession::Timer_AutoOpenTimer() {
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
    // The program closed during the attempt: its close ran before the attempt had returned,
    // and the attempt may have reopened a port since; close once more and stay off.
    if (ShuttingDown) {
        Action_DeviceClose();
        return;
    }
    Timer_AutoOpen->start();
}

void TInstrumentSession::Action_DeviceOpen() {
    if (ShuttingDown || DeviceReady)
        return;
    if (NextPort >= Ports.size()) {
        Action_RefreshPortList();
        NextPort = 0;
    }
    if (Ports.isEmpty()) {
        Report(NotFound, StatusColour::Red);
    } else {
        // Kept by name: a close that runs inside the waits below rebuilds the port list.
        const QString port = Ports.at(NextPort);
        Report(Searching, StatusColour::Silver);
        Link->SetTimeOut(SearchTimeOutMs);
        if (Link->OpenPort(port, SearchBaudRate)) {
            if (ShuttingDown)
                return;
            const bool answered = Link->CommandDevice();
            if (ShuttingDown)
                return;
            if (answered) {
                QCoreApplication::processEvents();
                if (ShuttingDown)
                    return;
                if (Link->deviceId().startsWith(Setup.Info)) {
                    DeviceStartUp(port);
                    return;
                }
            }
            Link->ClosePort();
        }
        ++NextPort;
        Report(Searching, StatusColour::Silver);
    }
    emit UpdateUIRequested();
}

bool TInstrumentSession::StartUpInterrupted() const {
    return ShuttingDown || !DeviceReady;
}

// The instrument on `port` has identified itself. The lock is held from here to the end, so that
// neither a panel's operation nor a tab or the close button cuts into the start-up.
void TInstrumentSession::DeviceStartUp(const QString &port) {
    struct TStartingUp {
        bool &Flag;
        explicit TStartingUp(bool &flag) : Flag(flag) { Flag = true; }
        ~TStartingUp() { Flag = false; }
    } startingUp(StartingUp);
    DeviceReady = true;
    InfoValid = false;
    CalTable->Loaded = false;
    SetOperationBusy(true);
    Report(Found, StatusColour::Silver);

    // The instrument needs time after the query before it takes commands.
    if (StartUpInterrupted())
        return;
    if (SettleRounds > 0)
        WaitWithEvents(SettleRounds, SettleRoundMs, [this] { return StartUpInterrupted(); });
    if (StartUpInterrupted())
        return;

    Setup.PortName = port;
    Link->SetTimeOut(Setup.TimeOut);
    Report(ReadingInfo, StatusColour::Silver);
    Action_DeviceUpdateInfo();
    if (StartUpInterrupted())
        return;
    Report(ReadingCalData, StatusColour::Silver);
    Action_DeviceReadCalDataFromFile();
    if (StartUpInterrupted())
        return;
    // BKEN goes off even when the information or the table is missing.
    SetBken(false);
    if (StartUpInterrupted())
        return;
    if (InfoValid && CalTable->Loaded) {
        HomeAll();
        if (StartUpInterrupted())
            return;
        emit RangeReady(CalTable->GetMinCW() - ViewMarginNm, CalTable->GetMaxCW() + ViewMarginNm);
        if (StartUpInterrupted())
            return;
        Report(Ready, StatusColour::Lime);
    }
    // A missing piece leaves its error in the message bar and the link open: the instrument
    // counts as connected, but every table lookup answers 0 until the link is closed.
    emit UpdateUIRequested();
    // A close in these last repaints has stopped the search timer for good.
    if (StartUpInterrupted())
        return;
    SetOperationBusy(false);
    Timer_AutoOpen->start();
}

// A failure raised inside a read counts as a missing item: ERRDV06.
void TInstrumentSession::Action_DeviceUpdateInfo() {
    CalTable->Model.clear();
    CalTable->Serial.clear();
    RangeTextRead.clear();
    RangeMinNm = -1.0;
    RangeMaxNm = -1.0;
    // Each item is asked for only while the ones before it have answered.
    const auto readInfoItem = [this](int item, QString &into) {
        if (!Link->CommandInfo(item))
            return false;
        into = Link->GetInfo(item);
        QCoreApplication::processEvents();
        return true;
    };
    bool ok = true;
    try {
        if (StartUpInterrupted())
            return;
        ok = readInfoItem(0, CalTable->Model);
        if (StartUpInterrupted())
            return;
        ok = ok && readInfoItem(1, CalTable->Serial);
        if (StartUpInterrupted())
            return;
        if (ok) {
            if (Link->CommandInfo(2)) {
                RangeTextRead = Link->GetInfo(2);
                // Five characters per end; the separator between them is not examined.
                if (RangeTextRead.size() == RangeTextLength) {
                    RangeMinNm = RangeEnd(RangeTextRead.mid(0, 5));
                    RangeMaxNm = RangeEnd(RangeTextRead.mid(6, 5));
                }
                ok = RangeTextRead.size() == RangeTextLength && RangeMinNm >= 0.0 &&
                     RangeMaxNm >= 0.0;
            } else {
                ok = false;
            }
        }
        if (StartUpInterrupted())
            return;
        // Also when an item is already missing: the read refreshes the positions the link keeps.
        if (Link->CommandPos())
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
        Report(InfoFailure, StatusColour::Red);
}

void TInstrumentSession::Action_DeviceReadCalDataFromFile() {
    struct TNoDialog : ICalFileDialog {
        QString Execute(const TCalFileDialogSetup &) override { return {}; }
    };
    TNoDialog noDialog;
    const QString failure =
        ImportCalData(*CalTable, InfoValid, ExePath, CalDataDialog ? *CalDataDialog : noDialog);
    if (!failure.isEmpty())
        Report(failure, StatusColour::Red);
}

// Closes the link and returns to searching; the search timer is left as it is, so the search
// resumes with its next tick unless the program is closing.
void TInstrumentSession::Action_DeviceClose() {
    DeviceReady = false;
    InfoValid = false;
    CalTable->Loaded = false;
    SetOperationBusy(false);
    Band.reset();
    Link->ClosePort();
    Action_RefreshPortList();
    NextPort = 0;
    emit LinkClosed();
    emit UpdateUIRequested();
}

void TInstrumentSession::Action_RefreshPortList() {
    Ports.clear();
    for (const QString &name : ProbeComPorts())
        AddToPortList(name);
}

void TInstrumentSession::AddToPortList(const QString &name) {
    const auto before = [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    };
    const auto at = std::lower_bound(Ports.begin(), Ports.end(), name, before);
    if (at != Ports.end() && QString::compare(*at, name, Qt::CaseInsensitive) == 0)
        return;
    Ports.insert(at, name);
}

std::array<int, 3> TInstrumentSession::LastPositions() const {
    return Link->positions();
}

bool TInstrumentSession::IsLinkBusy() const {
    return Link->isAwaitingReply();
}

// The panels' link test, not tied to DeviceReady: it must fail on a closed port. A click, a
// remote command or a scan tick may arrive while another exchange waits for its reply (every
// wait processes events); a position read sent then would take that exchange's reply. The link
// is evidently alive, so the test passes without a word on the line, and the operation lock,
// which the running exchange's owner holds, refuses what follows.
bool TInstrumentSession::ReadPositions() {
    if (IsLinkBusy())
        return true;
    if (!Link->CommandPos())
        return false;
    emit UpdateUIRequested();
    return true;
}

// HomeAll, SetBken and GoToSetPoint turn a failure raised inside the link into false: the
// operation that called them reports it like a refusal.
bool TInstrumentSession::HomeAll() {
    if (!DeviceReady)
        return false;
    // Unknown from the moment the axes start moving, whatever the outcome.
    Band.reset();
    try {
        if (!Link->CommandHome())
            return false;
    } catch (...) {
        return false;
    }
    emit UpdateUIRequested();
    return true;
}

bool TInstrumentSession::SetBken(bool on) {
    if (!DeviceReady)
        return false;
    try {
        if (!Link->CommandBken(on))
            return false;
    } catch (...) {
        return false;
    }
    emit UpdateUIRequested();
    return true;
}

bool TInstrumentSession::GoToSetPoint(double cwl, double fwhm) {
    if (!DeviceReady)
        return false;
    const std::optional<TCalCell> cell = CalTable->FindCell(cwl, fwhm);
    if (!cell)
        return false;
    // The cell's Valid is deliberately not consulted: an "x" cell carries -1 values, which the
    // link refuses without sending, so the instrument stays where it is.
    Band.reset();
    const TBand target = TBand::FromCentre(cwl, fwhm);
    if (Progress && Record)
        Record->MoveSent(target, cell->Pos1, cell->Pos2, cell->Pos3);
    bool accepted = false;
    try {
        accepted = Link->CommandGo(cell->Pos1, cell->Pos2, cell->Pos3);
    } catch (...) {
    }
    if (Progress && Record) {
        if (accepted)
            Record->MoveConfirmed();
        ReportRecordFailure();
    }
    if (!accepted)
        return false;
    Band = target;
    if (Progress) {
        ++Progress->Moved;
        Progress->Band = *Band;
        emit ScanProgressChanged();
    }
    emit UpdateUIRequested();
    return true;
}

void TInstrumentSession::BeginScan(int pointCount, double firstCWL, double fwhm, int dwellMs,
                                   int bandListEntries) {
    Progress = TScanProgress{0, pointCount, TBand::FromCentre(firstCWL, fwhm), dwellMs};
    Record.reset();
    if (Setup.ScanRecord)
        Record = std::make_unique<TScanRecord>(ExePath + QStringLiteral("Scans/"), bandListEntries);
    RecordFailureReported = false;
    emit ScanProgressChanged();
}

void TInstrumentSession::EndScan(TScanOutcome outcome) {
    if (!Progress)
        return;
    Progress.reset();
    if (Record) {
        Record->Finish(outcome);
        ReportRecordFailure();
        Record.reset();
    }
    emit ScanProgressChanged();
}

// Once per scan, and not as an error: the scan goes on without its record.
void TInstrumentSession::ReportRecordFailure() {
    if (!Record->Failed() || RecordFailureReported)
        return;
    RecordFailureReported = true;
    Report(RecordFailure, StatusColour::Silver);
}
