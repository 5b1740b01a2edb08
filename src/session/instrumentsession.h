#pragma once

#include "caldata/caldata.h"
#include "session/band.h"
#include "session/instrumentcontrol.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class ICalFileDialog;
class QTimer;
class TDevice_RedeRedirada;
class TScanRecord;
class TSetup_RedeRedirada;

// A running scan as the session knows it; the SCAN panel feeds it.
struct TScanProgress {
    int Moved = 0;   // points moved to so far (0 before the first move)
    int Total = 0;   // points the plan visits, exactly the worker's walk
    TBand Band;      // band of the current point (the first point's before the first move)
    int DwellMs = 0; // the plan's dwell per point
};

// The instrument as the program knows it, without any window: the link, the calibration table,
// readiness and the instrument's information, the operation lock, the search for the instrument
// and its start-up, and the operations on it. Views and the remote server read its state and
// learn of changes through its signals; it never calls them.
//
// Every wait in here (the settling wait, the link's reply waits, the calibration-file dialog)
// processes events, so any handler may run inside an attempt or an operation. Two of them end a
// connection attempt: the program's close (BeginShutdown) and an operation that found the link
// lost and closed it (DeviceReady false again). The attempt tests for both after each wait and
// then returns without touching anything, since the close has already put the state right.
class TInstrumentSession : public QObject, public IInstrumentControl {
    Q_OBJECT
public:
    static constexpr int SettleRoundMs = 100;
    static constexpr int DefaultSettleRounds = 50; // about 5 s after the identification
    static constexpr int SearchIntervalMs = 1000;

    // setup must outlive the session; exePath ends with a separator. Creates the link (and its
    // communication log when DebugMode is on) and puts the stored port first in the port list.
    TInstrumentSession(TSetup_RedeRedirada &setup, const QString &exePath,
                       QObject *parent = nullptr);
    ~TInstrumentSession() override;

    // The dialog the calibration import asks when the program has no copy of an instrument's
    // table; without one the import finds no file.
    void SetCalFileDialog(ICalFileDialog *dialog) { CalDataDialog = dialog; }
    // Rounds of 100 ms between the identification and the first information read; the
    // instrument needs about 5 s, tests with a simulator need less.
    void SetSettleRounds(int rounds) { SettleRounds = rounds; }

    // Starts the search: the first tick comes a second from now.
    void StartSearch();
    // The program is closing: every wait on the stack returns, and no attempt starts again.
    void BeginShutdown() { ShuttingDown = true; }
    // Closes the link and stops the search for good.
    void EndSearch();
    bool IsShuttingDown() const { return ShuttingDown; }

    // IInstrumentControl
    bool IsDeviceReady() const override { return DeviceReady; }
    QString GetProductLabel() const override;
    bool BeginOperation() override;
    bool EndOperation() override;
    bool ReadPositions() override;
    bool IsLinkBusy() const override;
    bool HomeAll() override;
    bool SetBken(bool on) override;
    void Action_DeviceClose() override;
    const TCalData &CalData() const override { return *CalTable; }
    bool GoToSetPoint(double cwl, double fwhm) override;
    // While a scan runs, each move that the instrument confirms is one more point of it.
    void BeginScan(int pointCount, double firstCWL, double fwhm, int dwellMs) override;
    void EndScan(TScanOutcome outcome) override;

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

private:
    void DeviceStartUp(const QString &port);
    bool StartUpInterrupted() const;
    void SetOperationBusy(bool busy);
    void Report(const QString &text, const QColor &colour) { emit StatusMessage(text, colour); }
    void ReportRecordFailure();

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
    QString RangeTextRead;      // its information item 2
    double RangeMinNm = -1.0;
    double RangeMaxNm = -1.0;
    std::optional<TBand> Band;
    std::optional<TScanProgress> Progress;
    std::unique_ptr<TScanRecord> Record; // the running scan's, unless [Scan] Record is 0
    bool RecordFailureReported = false;

    QStringList Ports; // ports to try, see AddToPortList
    int NextPort = 0;  // entry of Ports that the next attempt tries
};
