#pragma once

#include "caldata/caldata.h"
#include "core/band.h"
#include "session/bandlist.h"
#include "session/operationoutcome.h"
#include "session/scanplancheck.h"
#include "session/scanrecord.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class ICalFileDialog;
class QTimer;
class TDevice_RedeRedirada;
class TBandListRun;
class TScanRun;
class TSetup_RedeRedirada;

// The operations whose button the console shows pressed while they run.
enum class TOperation { SetBand, Reset, Scan, BandList };

// A running scan or band-list run as the session knows it.
struct TScanProgress {
    int Moved = 0;   // points moved to so far (0 before the first move)
    int Total = 0;   // points the plan visits, exactly the worker's walk
    TBand Band;      // band of the current point (the first point's before the first move)
    int DwellMs = 0; // the plan's dwell per point
};

// The instrument as the program knows it, without any window: the link, the calibration table,
// readiness and the instrument's information, the operation lock, the search for the instrument
// and its start-up, and the operations on it: set a band, reset, start and stop a scan. The SET
// and SCAN panels and the remote server call the same operations; each reports its outcome to
// the one who asked, and its messages through StatusMessage. Views and the remote server read
// its state and learn of changes through its signals; it never calls them.
//
// Every wait in here (the settling wait, the link's reply waits, the calibration-file dialog)
// processes events, so any handler may run inside an attempt or an operation. Two of them end a
// connection attempt: the program's close (BeginShutdown) and an operation that found the link
// lost and closed it (DeviceReady false again). The attempt tests for both after each wait and
// then returns without touching anything, since the close has already put the state right.
class TInstrumentSession : public QObject {
    Q_OBJECT
public:
    static constexpr int SettleRoundMs = 100;
    static constexpr int DefaultSettleRounds = 50; // about 5 s after the identification
    static constexpr int SearchIntervalMs = 1000;

    // setup must outlive the session; exePath ends with a separator. Creates the link (and its
    // communication log when DebugMode is on), puts the stored port first in the port list and
    // starts the scan worker.
    TInstrumentSession(TSetup_RedeRedirada &setup, const QString &exePath,
                       QObject *parent = nullptr);
    // Ends a running scan as aborted, without a report, and stops its worker.
    ~TInstrumentSession() override;

    // The dialog the calibration import asks when the program has no copy of an instrument's
    // table; without one the import finds no file.
    void SetCalFileDialog(ICalFileDialog *dialog) { CalDataDialog = dialog; }
    // Rounds of 100 ms between the identification and the first information read; the
    // instrument needs about 5 s, tests with a simulator need less.
    void SetSettleRounds(int rounds) { SettleRounds = rounds; }

    // Reads the band list and starts the search: the first tick comes a second from now.
    void StartSearch();
    // The program is closing: every wait on the stack returns, and no attempt starts again.
    void BeginShutdown() { ShuttingDown = true; }
    // Closes the link and stops the search for good.
    void EndSearch();
    bool IsShuttingDown() const { return ShuttingDown; }

    // The operations. Each opens with its guards in this order: remote control (the operator's
    // requests only), a ready instrument, the position read as link test, the operation lock.
    // A refusal at the link test reports the lost link and closes it; one at the lock says
    // nothing, as the lock's holder reports. Neither gives the asker an outcome.
    //
    // A band from two texts: inputMode 0 reads CWL and FWHM, 1 reads SW and LW; the replies
    // are SETC's and SETR's.
    void SetBand(TRequester from, int inputMode, const QString &first, const QString &second,
                 const TOutcomeHandler &done = {});
    void Reset(TRequester from, const TOutcomeHandler &done = {});
    // Replies "SCAN OK" once the scan runs; the check timer reports its end (ScanEnded).
    void StartScan(TRequester from, const TScanPlanTexts &texts, const TOutcomeHandler &done = {});
    // The operator's stop passes the link test and asks the scan to stop; the check timer
    // reports the abort. A remote stop needs no link test: it waits up to about 3 s for that
    // report and replies whether the scan stopped.
    void StopScan(TRequester from, const TOutcomeHandler &done = {});
    // A scan or a band-list run goes on: every other operation is refused meanwhile.
    bool IsScanning() const;
    // The program closes while a scan runs: the operator ended it, so it ends as an abort,
    // reported at once, before the link is closed under it.
    void AbortScanForClose();

    // The band list, kept in BandList.csv of the program folder.
    TBandList &BandList() { return *List; }
    const TBandList &BandList() const { return *List; }
    // A run through the band list `cycles` times (a whole number from 1 to 10000, as text), with
    // the guards of a scan's start; every entry must pass for the loaded table before anything
    // moves. A timed run ("RUNLIST") replies once it runs and holds each entry for its dwell from
    // the instrument's confirmation; a stepped one ("STEPLIST") replies once the instrument has
    // confirmed the first entry and moves on at each NextBandListPoint. It holds the lock to its
    // end, which StopScan, a failed move or the link's loss bring about, and which ScanEnded
    // reports with LIST replies.
    void RunBandList(TRequester from, const QString &cycles, bool stepped,
                     const TOutcomeHandler &done = {});
    // "NEXT OK <k>" once the instrument has confirmed point k, "NEXT END" after the last point,
    // which ends the run as a success. Refused while the previous move still waits: one move at
    // a time.
    void NextBandListPoint(TRequester from, const TOutcomeHandler &done = {});
    bool IsBandListRunning() const;
    bool IsBandListStepped() const;

    // A remote client drives the instrument: the operator's requests are refused meanwhile.
    void SetRemoteControlled(bool controlled);
    bool IsRemoteControlled() const { return RemoteControlled; }

    bool IsDeviceReady() const { return DeviceReady; }
    // The product line: model and range, or why there is none.
    QString GetProductLabel() const;
    // The single operation lock. Both refuse (false, nothing changes) while no instrument is
    // ready, so a lock left set when the instrument went away is cleared by Action_DeviceClose.
    bool BeginOperation();
    bool EndOperation();
    // The link test: false means the link to the instrument is lost. It passes without a word
    // on the line while another exchange awaits its reply.
    bool ReadPositions();
    // The instrument link is waiting for the reply of an exchange further up the call stack.
    bool IsLinkBusy() const;
    bool HomeAll();
    bool SetBken(bool on);
    // Closes the link and returns to searching with the next tick.
    void Action_DeviceClose();
    const TCalData &CalData() const { return *CalTable; }
    // Moves to the table cell of the first row whose CW is cwl and the first column whose FWHM
    // is fwhm; true once the instrument has confirmed it.
    bool GoToSetPoint(double cwl, double fwhm);
    // The scan's account, from the moment it runs to its outcome: each move in between that
    // the instrument confirms is one more point of it.
    // A band-list run passes the number of its entries, and its record names cycle and entry.
    void BeginScan(int pointCount, double firstCWL, double fwhm, int dwellMs,
                   int bandListEntries = 0);
    void EndScan(TScanOutcome outcome);
    TScanRun &ScanRun() { return *Scan; }

    bool IsOperationBusy() const { return OperationBusy; }
    bool IsInfoValid() const { return InfoValid; }
    // From the identification to the end of the start-up, however it ends.
    bool IsStartingUp() const { return StartingUp; }
    QString RangeText() const { return RangeTextRead; }
    double RangeMin() const { return RangeMinNm; } // -1.0 until read
    double RangeMax() const { return RangeMaxNm; }
    // The band of the last move the instrument confirmed; none while the position is unknown:
    // before the first move, after homing, after a move that failed, and without an instrument.
    std::optional<TBand> CurrentBand() const { return Band; }
    // The axis positions of the instrument's last POS or GO reply; 0 0 0 after homing.
    std::array<int, 3> LastPositions() const;
    std::optional<TScanProgress> ScanProgress() const {
        return Progress;
    } // none while no scan runs

    // The connection workflow. Each tick of the search timer makes one attempt on the port at
    // PortIndex while no instrument is ready. An attempt that identifies the instrument holds
    // the operation lock through its whole start-up: settling wait, information, calibration
    // table, BKEN off, homing.
    void Timer_AutoOpenTimer();
    void Action_DeviceOpen();
    // Reads model code, serial number and range; InfoValid tells whether all of it came.
    void Action_DeviceUpdateInfo();
    // Loads the table from Cal/, or once from the file the operator picks.
    void Action_DeviceReadCalDataFromFile();
    // Rebuilds the port list from the ports COM1 ... COM64 that can be opened now.
    void Action_RefreshPortList();
    // Puts a port name into the list: sorted without regard to case (COM10 before COM2), each
    // name once.
    void AddToPortList(const QString &name);
    const QStringList &PortList() const { return Ports; }
    int PortIndex() const { return NextPort; }

    TDevice_RedeRedirada &Device() { return *Link; }
    const TDevice_RedeRedirada &Device() const { return *Link; }
    QTimer &SearchTimer() { return *Timer_AutoOpen; }

signals:
    // A message for the message bar; a view draws it before the emission returns.
    void StatusMessage(const QString &text, const QColor &colour);
    // Readiness, the product line or the lock changed: views redraw what depends on them.
    void UpdateUIRequested();
    // The instrument is homed and its table loaded: the CW range a position view shows.
    void RangeReady(double rangeMin, double rangeMax);
    // The operation lock was taken or given back.
    void OperationBusyChanged(bool busy);
    // The link was closed; the instrument's position is unknown until it is found again.
    void LinkClosed();
    // The scan's progress changed: its start, each move, its end.
    void ScanProgressChanged();
    // An operation's button is to be shown pressed, or released again.
    void OperationPressed(TOperation operation, bool pressed);
    // A band the instrument has moved to, with the CW range the position view shows around it.
    void SetPointShown(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                       double LW);
    // A scan ended; emitted before its message. Its outcome is every remote client's to read.
    void ScanEnded(const TOperationOutcome &outcome);
    // Any other operation's outcome, whoever asked, before the asker learns it: the remote
    // server's error queue keeps the operator's errors as well as the clients'.
    void OperationConcluded(const TOperationOutcome &outcome);
    // A remote client began or ceased to drive the instrument.
    void RemoteControlChanged(bool controlled);

private:
    void DeviceStartUp(const QString &port);
    bool StartUpInterrupted() const;
    void SetOperationBusy(bool busy);
    void Report(const QString &text, const QColor &colour) { emit StatusMessage(text, colour); }
    void ReportRecordFailure();

    // The operations' shared steps (sessionoperations.cpp).
    void Conclude(const TOutcomeHandler &done, const TOperationOutcome &outcome);
    void ConcludeRuleFailure(const TOutcomeHandler &done, const QByteArray &failReply,
                             const QString &code, const QString &text);
    bool RefusedInRemoteMode(TRequester from);
    bool RefusedUnlessReady(const QString &message, const QByteArray &failReply,
                            const TOutcomeHandler &done);
    bool LinkTest();
    bool PassLinkTestAndLock();
    void RunLocked(TOperation operation, const std::function<void()> &body);
    void ScanStart(const TScanPlanTexts &texts, const TOutcomeHandler &done);
    void ReportScanEnd(TScanOutcome outcome);
    void BandListStart(const QString &cycles, bool stepped, const TOutcomeHandler &done);
    void ReportBandListEnd(TScanOutcome outcome);

    TSetup_RedeRedirada &Setup;
    const QString ExePath;
    std::unique_ptr<TDevice_RedeRedirada> Link;
    std::unique_ptr<TCalData> CalTable; // large: on the heap
    ICalFileDialog *CalDataDialog = nullptr;
    QTimer *Timer_AutoOpen = nullptr;
    int SettleRounds = DefaultSettleRounds;

    bool ShuttingDown = false;  // set once by the close, never cleared
    bool OperationBusy = false; // the operation lock
    bool DeviceReady = false;   // an instrument was identified on the open port
    bool InfoValid = false;     // its information items were read completely
    bool StartingUp = false;    // DeviceStartUp is on the stack
    bool RemoteControlled = false;
    QString RangeTextRead; // its information item 2
    double RangeMinNm = -1.0;
    double RangeMaxNm = -1.0;
    std::optional<TBand> Band;
    std::optional<TScanProgress> Progress;
    std::unique_ptr<TScanRecord> Record; // the running scan's, unless [Scan] Record is 0
    bool RecordFailureReported = false;

    QStringList Ports; // ports to try, see AddToPortList
    int NextPort = 0;  // entry of Ports that the next attempt tries

    std::unique_ptr<TBandList> List;
    std::unique_ptr<TBandListRun> ListRun;
    std::unique_ptr<TScanRun> Scan; // last, so that it goes first
};
