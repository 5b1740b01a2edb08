#pragma once

#include "console/consolehost.h"
#include "console/controlpanel.h"
#include "console/formcontrolview.h"
#include "remote/remotehost.h"
#include "session/sessionrig.h"

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

// The window around the panels, recording what they report instead of drawing it: the message
// bar, the remote reply and the remote lock-out switch; the position view is a real one.
class RecordingConsole : public IConsoleView {
public:
    explicit RecordingConsole(IPositionView &view) : ViewPanel(view) {}

    void ShowStatusMessage(const QString &text, const QColor &colour) override;
    bool IsRemoteMode() const override { return RemoteMode; }
    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText) override;
    IPositionView &View() override { return ViewPanel; }

    QStringList MessageTexts() const;

    bool RemoteMode = false;
    QVector<StatusMessage> Messages; // every message, in order
    TRemoteReply RemoteReply;
    // Runs for each message once it is recorded and before pending events are processed, so a
    // test can look at the panel, or act, in the middle of an operation.
    std::function<void(const StatusMessage &)> OnMessage;

private:
    IPositionView &ViewPanel;
};

// A connected instrument for panel tests: the real session on the simulator (see SessionRig), a
// real position view and the recording console. The session's refreshes reach the panels added,
// as the main window passes them on, and its link closes clear the view.
class PanelFixture : public ::testing::Test {
protected:
    void SetUp() override;

    void AddPanel(TForm_ControlPanel &panel);
    // Another operation holds the lock.
    void HoldLock() { ASSERT_TRUE(session().BeginOperation()); }
    // The instrument went away: the link is closed as a failed link test closes it.
    void LoseInstrument() { session().Action_DeviceClose(); }
    // Lock takes and link closes since the set-up.
    int LockTakes() const { return lockTakes; }
    int LinkCloses() const { return linkCloses; }

    TInstrumentSession &session() const { return *rig.session; }
    QStringList RequestLines() const { return rig.RequestLines(); }
    QString GoLineFor(const QString &cw, const QString &fwhm) const {
        return rig.GoLineFor(cw, fwhm);
    }
    // A child of the position view by object name.
    QString ViewText(const char *name) const;
    int ViewLeft(const char *name) const;

    bool installCalCopy = true; // set before SetUp for a start-up that finds no table
    SessionRig rig;
    std::unique_ptr<TForm_ControlView> view;
    std::unique_ptr<RecordingConsole> console;

private:
    int lockTakes = 0;
    int linkCloses = 0;
};
