#pragma once

#include "remote/remotehost.h"
#include "support/scriptedpeer.h" // WaitUntil: the time-out only catches a hanging test

#include <QByteArray>
#include <QStringList>

#include <functional>

class TRemoteServer;
class TFakeRemoteHost;

// The SET panel as the real one answers a remote client when the device is ready and every
// set-point is valid; a test replaces an action with its own script.
class TFakeSetPanel : public IRemoteSetPanel {
public:
    explicit TFakeSetPanel(TFakeRemoteHost &host) : Host(host) {}

    void ApplyRemoteParameters(int mode, const QString &first, const QString &second) override;
    void Action_RemoteControl_Go() override;
    void Action_RemoteControl_Reset() override;
    void Action_RemoteControl_Enable() override;
    void Action_RemoteControl_Disable() override;

    std::function<void()> OnGo;
    std::function<void()> OnReset;
    int InputMode = 0;
    QString First, Second;
    bool RemoteEnabled = false;
    int EnableCount = 0;
    int DisableCount = 0;

private:
    TFakeRemoteHost &Host;
};

// The SCAN panel with a scan that runs until it is stopped; Stop waits for the abort report with
// events running, as the real panel does.
class TFakeScanPanel : public IRemoteScanPanel {
public:
    explicit TFakeScanPanel(TFakeRemoteHost &host) : Host(host) {}

    void ApplyRemoteParameters(const QString &start, const QString &end, const QString &fwhm,
                               const QString &step, const QString &timeDelay) override;
    void Action_RemoteControl_Scan() override;
    void Action_RemoteControl_Stop() override;
    void Action_RemoteControl_Reset() override;
    void Action_RemoteControl_Enable() override;
    void Action_RemoteControl_Disable() override;
    bool IsScanning() const override { return Scanning; }

    // The check timer's end-of-scan reports.
    void ReportAbort();
    void ReportSuccess();

    std::function<void()> OnScan;
    std::function<void()> OnStop;
    std::function<void()> OnReset;
    bool Scanning = false;
    QStringList Plan;
    bool RemoteEnabled = false;
    int EnableCount = 0;
    int DisableCount = 0;
    int StopCount = 0;

private:
    TFakeRemoteHost &Host;
};

class TFakeRemoteHost : public IRemoteHost {
public:
    int SelectedMode() const override { return CurrentMode; }
    void SwitchToTab(int mode) override;
    IRemoteSetPanel &RemoteSetPanel() override { return SetPanel; }
    IRemoteScanPanel &RemoteScanPanel() override { return ScanPanel; }

    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText);
    // Forgets the calls and counts so far.
    void ResetRecord();

    TRemoteServer *Server = nullptr;
    int CurrentMode = RemoteMode::Set;
    QStringList Calls; // every call from the server, in order
    TFakeSetPanel SetPanel{*this};
    TFakeScanPanel ScanPanel{*this};
};
