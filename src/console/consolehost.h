#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

class TCalData;
class IPositionView;

// Message-bar colours.
namespace StatusColour {
inline const QColor Silver{0xC0, 0xC0, 0xC0}; // progress texts and refusals
inline const QColor Lime{0x00, 0xFF, 0x00};   // success
inline const QColor Yellow{0xFF, 0xFF, 0x00}; // a scan is running
inline const QColor Red{0xFF, 0x00, 0x00};    // every message that carries an error code
} // namespace StatusColour

// What the SET and SCAN panels need from the main window. The main window implements it; panel
// tests use a fake.
class IConsoleHost {
public:
    virtual ~IConsoleHost() = default;

    virtual void ShowStatusMessage(const QString &text, const QColor &colour) = 0;
    virtual bool IsDeviceReady() const = 0;
    virtual bool IsRemoteMode() const = 0;
    virtual bool BeginOperation() = 0;
    virtual bool EndOperation() = 0;
    virtual QString GetProductLabel() const = 0;

    // The link test: false means the link to the instrument is lost. It passes without a word
    // on the line while another exchange awaits its reply.
    virtual bool ReadPositions() = 0;
    // The instrument link is waiting for the reply of an exchange further up the call stack.
    virtual bool IsLinkBusy() const = 0;
    virtual bool HomeAll() = 0;
    virtual bool SetBken(bool on) = 0;
    virtual void Action_DeviceClose() = 0;

    // Replaces the three remote reply texts at once (single-byte texts, see comparisonsigns.h).
    virtual void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                const QByteArray &errorText) = 0;

    virtual TCalData &CalData() = 0;
    virtual IPositionView &View() = 0;
};

// What the main window (and the remote server) need from the SET and SCAN panels.
class IControlPanel {
public:
    virtual ~IControlPanel() = default;
    virtual void Action_UpdateUI() = 0;
    virtual void Action_RemoteControl_Enable() = 0;
    virtual void Action_RemoteControl_Disable() = 0;
};
