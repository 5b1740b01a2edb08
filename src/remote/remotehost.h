#pragma once

#include <QByteArray>
#include <QString>

// The SET panel as the remote server and its dispatcher use it.
class IRemoteSetPanel {
public:
    virtual ~IRemoteSetPanel() = default;
    // mode 0: first = CWL, second = FWHM; mode 1: first = SW, second = LW. Texts as received.
    virtual void ApplyRemoteParameters(int mode, const QString &first, const QString &second) = 0;
    virtual void Action_RemoteControl_Go() = 0;
    virtual void Action_RemoteControl_Reset() = 0;
    virtual void Action_RemoteControl_Enable() = 0;
    virtual void Action_RemoteControl_Disable() = 0;
};

// The SCAN panel as the remote server and its dispatcher use it.
class IRemoteScanPanel {
public:
    virtual ~IRemoteScanPanel() = default;
    virtual void ApplyRemoteParameters(const QString &start, const QString &end,
                                       const QString &fwhm, const QString &step,
                                       const QString &timeDelay) = 0;
    virtual void Action_RemoteControl_Scan() = 0;
    virtual void Action_RemoteControl_Stop() = 0;
    virtual void Action_RemoteControl_Reset() = 0;
    virtual void Action_RemoteControl_Enable() = 0;
    virtual void Action_RemoteControl_Disable() = 0;
    virtual bool IsScanning() const = 0;
};

// The main window's tabs, as its Mode holds them.
namespace RemoteMode {
constexpr int Set = 0;
constexpr int Scan = 1;
constexpr int Help = 2;
} // namespace RemoteMode

// What the remote server needs from the main window.
class IRemoteHost {
public:
    virtual ~IRemoteHost() = default;
    virtual int SelectedMode() const = 0; // the tab shown: 0 SET, 1 SCAN, 2 HELP
    // Mode := mode, then the main window's Action_ChangeMode and Action_UpdateUI.
    virtual void SwitchToTab(int mode) = 0;
    virtual IRemoteSetPanel &RemoteSetPanel() = 0;
    virtual IRemoteScanPanel &RemoteScanPanel() = 0;
};

// The three single-byte texts of the last remote outcome.
struct TRemoteReply {
    QByteArray ReplyText; // the line sent back for the current command; cleared after each reply
    QByteArray ErrorCode; // an ERRxxnn code, "NONE", or empty after a plain success
    QByteArray ErrorText; // its text, with the comparison signs as code-page byte pairs
};
