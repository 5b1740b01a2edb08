// The remote command set: one line in RemoteLine, its answer in Reply.

#include "core/commatext.h"
#include "remote/remotereadback.h"
#include "remote/remoteserver.h"

#include <QTcpServer>

namespace {

const QByteArray ProgramVersion = "Kestrune v1.0";
const QByteArray NoCode = "NONE";
const QByteArray NowScanning = "Now Scanning.";

} // namespace

void TRemoteServer::Action_RemoteServerProcess() {
    if (!ServerSocket->isListening() || !RemoteConnected || RemoteLine.isEmpty())
        return; // the server sends the waiting ReplyText
    // A panel action that throws must not unwind through the event loop; its partial effects
    // stay and the client learns that the command failed.
    try {
        // One character per byte, so that any byte a client sends reaches the panels as itself.
        RunCommand(SplitCommaText(QString::fromLatin1(RemoteLine)));
    } catch (...) {
        SetRemoteReply("UNKNOWN ERROR", NoCode, "Unknown Error.");
    }
}

// The panel actions set the reply themselves. When one ends at its link test or at the busy
// lock it sets none, and the client gets whatever ReplyText holds (normally empty).
void TRemoteServer::RunCommand(const QStringList &fields) {
    IRemoteSetPanel &set = Host.RemoteSetPanel();
    IRemoteScanPanel &scan = Host.RemoteScanPanel();
    const QString word = fields.value(0);

    // Like ECODE and ETEXT, the read-backs leave the last outcome as it is.
    if (Instrument) {
        if (const std::optional<QByteArray> state = ReadBackReply(*Instrument, fields)) {
            Reply.ReplyText = *state;
            return;
        }
    }

    if (fields.size() == 1) {
        if (word == QLatin1String("VER")) {
            SetRemoteReply(ProgramVersion, {}, {});
            return;
        }
        if (word == QLatin1String("STATE")) {
            SetRemoteReply(scan.IsScanning() ? "SCAN" : "IDLE", {}, {});
            return;
        }
        // ECODE and ETEXT read the last outcome without replacing it.
        if (word == QLatin1String("ECODE")) {
            Reply.ReplyText = Reply.ErrorCode;
            return;
        }
        if (word == QLatin1String("ETEXT")) {
            Reply.ReplyText = Reply.ErrorText;
            return;
        }
        if (word == QLatin1String("ECLEAR")) {
            SetRemoteReply("OK", {}, {});
            return;
        }
        if (word == QLatin1String("RESET")) {
            if (scan.IsScanning()) {
                SetRemoteReply("RESET FAIL", NoCode, NowScanning);
                return;
            }
            // The SCAN tab resets from its own panel; the HELP tab has none and hands over to SET.
            if (Host.SelectedMode() == RemoteMode::Scan) {
                scan.Action_RemoteControl_Reset();
                return;
            }
            if (Host.SelectedMode() != RemoteMode::Set)
                Host.SwitchToTab(RemoteMode::Set);
            set.Action_RemoteControl_Reset();
            return;
        }
        if (word == QLatin1String("STOP")) {
            if (!scan.IsScanning()) {
                SetRemoteReply("STOP FAIL", NoCode, "No Scan.");
                return;
            }
            Host.SwitchToTab(RemoteMode::Scan);
            scan.Action_RemoteControl_Stop();
            return;
        }
    } else if (fields.size() == 3 &&
               (word == QLatin1String("SETC") || word == QLatin1String("SETR"))) {
        const bool edges = word == QLatin1String("SETR");
        if (scan.IsScanning()) {
            SetRemoteReply(edges ? "SETR FAIL" : "SETC FAIL", NoCode, NowScanning);
            return;
        }
        Host.SwitchToTab(RemoteMode::Set);
        set.ApplyRemoteParameters(edges ? 1 : 0, fields.at(1), fields.at(2));
        set.Action_RemoteControl_Go();
        return;
    } else if (fields.size() == 6 && word == QLatin1String("SCAN")) {
        if (scan.IsScanning()) {
            SetRemoteReply("SCAN FAIL", NoCode, NowScanning);
            return;
        }
        Host.SwitchToTab(RemoteMode::Scan);
        scan.ApplyRemoteParameters(fields.at(1), fields.at(2), fields.at(3), fields.at(4),
                                   fields.at(5));
        // "SCAN OK" comes from the panel once the scan has started, never ahead of it: a scan
        // refused at the link test or the busy lock must not be reported as started. It gets an
        // empty reply then, and ECODE/ETEXT read nothing left over from an earlier command.
        SetRemoteReply("", {}, {});
        scan.Action_RemoteControl_Scan();
        return;
    }
    SetRemoteReply("UNKNOWN COMMAND", NoCode, "Unknown Command.");
}
