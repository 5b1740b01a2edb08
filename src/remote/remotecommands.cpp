// The remote command set: one line in RemoteLine, its answer in Reply.

#include "core/commatext.h"
#include "remote/remotereadback.h"
#include "remote/remoteserver.h"
#include "session/instrumentsession.h"

#include <QTcpServer>

namespace {

const QByteArray ProgramVersion = "Kestrune v1.0";
const QByteArray NowScanning = "Now Scanning.";

} // namespace

void TRemoteServer::Action_RemoteServerProcess() {
    if (!ServerSocket->isListening() || !RemoteConnected || RemoteLine.isEmpty())
        return; // the server sends the waiting ReplyText
    // An operation that throws must not unwind through the event loop; its partial effects
    // stay and the client learns that the command failed.
    try {
        // One character per byte, so that any byte a client sends reaches the session as itself.
        RunCommand(SplitCommaText(QString::fromLatin1(RemoteLine)));
    } catch (...) {
        SetRemoteReply("UNKNOWN ERROR", NoErrorCode, "Unknown Error.");
    }
}

// The operations report their outcome into the reply. One that ends at its link test or at the
// busy lock reports none, and the client gets whatever ReplyText holds (normally empty).
void TRemoteServer::RunCommand(const QStringList &fields) {
    const QString word = fields.value(0);

    if (RunCommonQuery(fields))
        return;
    // Like ECODE and ETEXT, the read-backs leave the last outcome as it is.
    if (const std::optional<QByteArray> state = ReadBackReply(Session, fields)) {
        Reply.ReplyText = *state;
        return;
    }

    if (fields.size() == 1) {
        if (word == QLatin1String("VER")) {
            SetRemoteReply(ProgramVersion, {}, {});
            return;
        }
        if (word == QLatin1String("STATE")) {
            SetRemoteReply(Session.IsBandListRunning() ? "LIST"
                           : Session.IsScanning()      ? "SCAN"
                                                       : "IDLE",
                           {}, {});
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
            Errors.Clear();
            return;
        }
        if (word == QLatin1String("RESET")) {
            if (Session.IsScanning()) {
                SetRemoteReply("RESET FAIL", NoErrorCode, NowScanning);
                return;
            }
            emit ResetRequested();
            Session.Reset(TRequester::Remote, KeepOutcome());
            return;
        }
        if (word == QLatin1String("STOP")) {
            if (!Session.IsScanning()) {
                SetRemoteReply("STOP FAIL", NoErrorCode, "No Scan.");
                return;
            }
            emit StopRequested();
            Session.StopScan(TRequester::Remote, KeepOutcome());
            return;
        }
    } else if (fields.size() == 3 &&
               (word == QLatin1String("SETC") || word == QLatin1String("SETR"))) {
        const bool edges = word == QLatin1String("SETR");
        if (Session.IsScanning()) {
            SetRemoteReply(edges ? "SETR FAIL" : "SETC FAIL", NoErrorCode, NowScanning);
            return;
        }
        // The texts go to the session whole, however long; the console shows them as they came.
        const int inputMode = edges ? 1 : 0;
        emit SetBandRequested(inputMode, fields.at(1), fields.at(2));
        Session.SetBand(TRequester::Remote, inputMode, fields.at(1), fields.at(2), KeepOutcome());
        return;
    } else if (fields.size() == 6 && word == QLatin1String("SCAN")) {
        if (Session.IsScanning()) {
            SetRemoteReply("SCAN FAIL", NoErrorCode, NowScanning);
            return;
        }
        const TScanPlanTexts texts{fields.at(1), fields.at(2), fields.at(3), fields.at(4),
                                   fields.at(5)};
        emit ScanRequested(texts);
        // "SCAN OK" comes once the scan has started, never ahead of it: a scan refused at the
        // link test or the busy lock must not be reported as started. It gets an empty reply
        // then, and ECODE/ETEXT read nothing left over from an earlier command.
        SetRemoteReply("", {}, {});
        Session.StartScan(TRequester::Remote, texts, KeepOutcome());
        return;
    }
    if (RunBandListCommand(fields))
        return;
    SetRemoteReply("UNKNOWN COMMAND", NoErrorCode, "Unknown Command.");
}
