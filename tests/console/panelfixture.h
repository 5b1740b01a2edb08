#pragma once

#include "caldata/caldata.h"
#include "caldata/caldatahost.h"
#include "console/consolehost.h"
#include "console/formcontrolview.h"
#include "device/devicerederedirada.h"
#include "remote/remotehost.h"
#include "sim/virtualinstrument.h"
#include "support/tempprogramfolder.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVector>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

struct StatusMessage {
    QString Text;
    QColor Colour;
    bool operator==(const StatusMessage &other) const {
        return Text == other.Text && Colour == other.Colour;
    }
};

// Readable failure output for the texts the panels produce.
void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QByteArray &bytes, std::ostream *os); // bytes above 0x7E as \xHH
void PrintTo(const StatusMessage &message, std::ostream *os);

// The main window as the SET and SCAN panels see it, with its rules: the lock is taken and
// given back only while the instrument is ready, ReadPositions is the link's POS (without a
// ready test), HomeAll and SetBken refuse while not ready, and Action_DeviceClose clears the
// flags and closes the link. It records what the panels report instead of drawing it.
class FakeConsoleHost : public IConsoleHost, public ICalDataHost {
public:
    FakeConsoleHost(TDevice_RedeRedirada &link, TCalData &table, IPositionView &view);

    void ShowStatusMessage(const QString &text, const QColor &colour) override;
    bool IsDeviceReady() const override { return DeviceReady; }
    bool IsRemoteMode() const override { return RemoteMode; }
    bool BeginOperation() override;
    bool EndOperation() override;
    QString GetProductLabel() const override;
    bool ReadPositions() override;
    bool IsLinkBusy() const override { return Link.isAwaitingReply(); }
    bool HomeAll() override;
    bool SetBken(bool on) override;
    void Action_DeviceClose() override;
    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText) override;
    TCalData &CalData() override { return Table; }
    IPositionView &View() override { return ViewPanel; }

    bool CommandGo(int pos1, int pos2, int pos3) override {
        return Link.CommandGo(pos1, pos2, pos3);
    }
    // Refreshes the panels added, as the main window refreshes its SET and SCAN panels.
    void Action_UpdateUI() override;
    void AddPanel(IControlPanel &panel) { Panels.append(&panel); }

    QStringList MessageTexts() const;

    // Switches. OperationBusy set by the test stands for a lock held by another operation.
    bool DeviceReady = true;
    bool RemoteMode = false;
    bool OperationBusy = false;

    QVector<StatusMessage> Messages; // every message, in order
    TRemoteReply RemoteReply;
    int DeviceCloseCount = 0;
    int BeginCount = 0; // BeginOperation calls that took the lock
    // Runs for each message once it is recorded and before pending events are processed, so a
    // test can look at the panel, or act, in the middle of an operation.
    std::function<void(const StatusMessage &)> OnMessage;

private:
    TDevice_RedeRedirada &Link;
    TCalData &Table;
    IPositionView &ViewPanel;
    QVector<IControlPanel *> Panels;
};

// A connected instrument for panel tests: the simulator with fast timings as Ports/COM1 of a
// fresh program folder, the real link opened there and identified, the calibration table
// imported from the program's Cal/ copy of the simulator's table, a real position view and the
// fake main window over them. The simulator's record starts empty once the set-up is done.
class PanelFixture : public ::testing::Test {
protected:
    static constexpr int ReplyTimeOutMs = 1000;

    void SetUp() override;

    // The request lines the instrument received since the set-up (or the last clearRecords).
    QStringList RequestLines() const;
    // "GO 3 a b c" for the simulator's cell at these CW and FWHM texts of its table, e.g.
    // ("600.0", "5.0"); empty when the cell is not reachable.
    QString GoLineFor(const QString &cw, const QString &fwhm) const;
    // A child of the position view by object name.
    QString ViewText(const char *name) const;
    int ViewLeft(const char *name) const;

    // Destroyed in reverse: the port closes before its pseudo-terminal goes.
    TempProgramFolder folder;
    std::unique_ptr<ksim::VirtualInstrument> sim;
    std::unique_ptr<TDevice_RedeRedirada> link;
    std::unique_ptr<TForm_ControlView> view;
    std::unique_ptr<TCalData> table; // large: on the heap
    std::unique_ptr<FakeConsoleHost> host;
};
