#pragma once

#include "session/statuscolour.h"

#include <QByteArray>
#include <QColor>
#include <QString>

class IPositionView;

// What the SET and SCAN panels need from the window around them: the message bar, the position
// view and the remote client's side. The main window implements it; panel tests record instead.
class IConsoleView {
public:
    virtual ~IConsoleView() = default;

    // Message bar: text and colour, drawn before this returns.
    virtual void ShowStatusMessage(const QString &text, const QColor &colour) = 0;
    // A remote client is connected: the panels' own controls are locked out.
    virtual bool IsRemoteMode() const = 0;
    // Replaces the three remote reply texts at once (single-byte texts, see comparisonsigns.h).
    virtual void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                const QByteArray &errorText) = 0;
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
