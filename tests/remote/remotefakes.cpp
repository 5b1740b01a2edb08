#include "remotefakes.h"

#include "remote/remoteserver.h"

#include <QTimer>

void TFakeSetPanel::ApplyRemoteParameters(int mode, const QString &first, const QString &second) {
    Host.Calls << QStringLiteral("SET Apply %1 [%2] [%3]").arg(mode).arg(first, second);
    InputMode = mode;
    First = first;
    Second = second;
}

void TFakeSetPanel::Action_RemoteControl_Go() {
    Host.Calls << QStringLiteral("SET Go");
    if (OnGo)
        OnGo();
    else
        Host.SetRemoteReply(InputMode == 0 ? "SETC OK" : "SETR OK", "", "");
}

void TFakeSetPanel::Action_RemoteControl_Reset() {
    Host.Calls << QStringLiteral("SET Reset");
    if (OnReset)
        OnReset();
    else
        Host.SetRemoteReply("RESET OK", "", "");
}

void TFakeSetPanel::Action_RemoteControl_Enable() {
    Host.Calls << QStringLiteral("SET Enable");
    ++EnableCount;
    RemoteEnabled = true;
}

void TFakeSetPanel::Action_RemoteControl_Disable() {
    Host.Calls << QStringLiteral("SET Disable");
    ++DisableCount;
    RemoteEnabled = false;
}

void TFakeScanPanel::ApplyRemoteParameters(const QString &start, const QString &end,
                                           const QString &fwhm, const QString &step,
                                           const QString &timeDelay) {
    Plan = QStringList{start, end, fwhm, step, timeDelay};
    Host.Calls << QStringLiteral("SCAN Apply [%1]").arg(Plan.join(QStringLiteral("] [")));
}

void TFakeScanPanel::Action_RemoteControl_Scan() {
    Host.Calls << QStringLiteral("SCAN Scan");
    if (OnScan) {
        OnScan();
        return;
    }
    Scanning = true;
    Host.SetRemoteReply("SCAN OK", "", "");
}

void TFakeScanPanel::Action_RemoteControl_Stop() {
    Host.Calls << QStringLiteral("SCAN Stop");
    ++StopCount;
    if (OnStop) {
        OnStop();
        return;
    }
    if (!Scanning) {
        Host.SetRemoteReply("STOP FAIL", "NONE", "No Scan.");
        return;
    }
    // The check timer reports the abort while the stop waits for it.
    QTimer::singleShot(0, [this] { ReportAbort(); });
    if (WaitUntil([this] { return !Scanning; }, 3000))
        Host.SetRemoteReply("STOP OK", "", "");
    else
        Host.SetRemoteReply("STOP FAIL", "NONE", "Can't stop scan process.");
}

void TFakeScanPanel::Action_RemoteControl_Reset() {
    Host.Calls << QStringLiteral("SCAN Reset");
    if (OnReset)
        OnReset();
    else
        Host.SetRemoteReply("RESET OK", "", "");
}

void TFakeScanPanel::Action_RemoteControl_Enable() {
    Host.Calls << QStringLiteral("SCAN Enable");
    ++EnableCount;
    RemoteEnabled = true;
}

void TFakeScanPanel::Action_RemoteControl_Disable() {
    Host.Calls << QStringLiteral("SCAN Disable");
    ++DisableCount;
    RemoteEnabled = false;
}

void TFakeScanPanel::ReportAbort() {
    Scanning = false;
    Host.SetRemoteReply("SCAN ABORT", "NONE", "Scan aborted.");
}

void TFakeScanPanel::ReportSuccess() {
    Scanning = false;
    Host.SetRemoteReply("SCAN SUCCESS", "NONE", "Scan successful.");
}

void TFakeRemoteHost::SwitchToTab(int mode) {
    Calls << QStringLiteral("Tab %1").arg(mode);
    CurrentMode = mode;
}

void TFakeRemoteHost::SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                     const QByteArray &errorText) {
    Server->SetRemoteReply(replyText, errorCode, errorText);
}

void TFakeRemoteHost::ResetRecord() {
    Calls.clear();
    SetPanel.EnableCount = SetPanel.DisableCount = 0;
    ScanPanel.EnableCount = ScanPanel.DisableCount = ScanPanel.StopCount = 0;
}
