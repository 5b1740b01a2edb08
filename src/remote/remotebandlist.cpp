// The band-list words of the remote command set.

#include "core/comparisonsigns.h"
#include "remote/remoteserver.h"
#include "session/instrumentsession.h"

namespace {
const QByteArray NowScanning = "Now Scanning.";
const QByteArray NotReady = "Device not ready. Please connect Kestrune.";
} // namespace

// The list's edits say nothing in the message bar: a client loads thousands of entries, and the
// console's table shows each one. A run's request goes to the session as SCAN's does.
bool TRemoteServer::RunBandListCommand(const QStringList &fields) {
    const QString word = fields.value(0);
    if (fields.size() == 1 && word == QLatin1String("LISTCLEAR")) {
        if (Session.IsScanning()) {
            SetRemoteReply("LISTCLEAR FAIL", NoErrorCode, NowScanning);
            return true;
        }
        Session.BandList().Clear();
        SetRemoteReply("LISTCLEAR OK", {}, {});
        return true;
    }
    if (fields.size() == 4 && word == QLatin1String("LISTADD")) {
        if (!Session.IsDeviceReady()) {
            SetRemoteReply("LISTADD FAIL", NoErrorCode, NotReady);
            return true;
        }
        if (Session.IsScanning()) {
            SetRemoteReply("LISTADD FAIL", NoErrorCode, NowScanning);
            return true;
        }
        const TBandListEntry entry = ReadBandListEntry(fields.at(1), fields.at(2), fields.at(3));
        const TBandListVerdict verdict = CheckBandListEntry(entry, Session.CalData());
        if (!verdict.Passed) {
            SetRemoteReply("LISTADD FAIL", verdict.Code.toLatin1(), ToRemoteBytes(verdict.Text));
            return true;
        }
        if (!Session.BandList().Append(entry)) {
            SetRemoteReply("LISTADD FAIL", "ERRLS01", "Band list is full.");
            return true;
        }
        SetRemoteReply("LISTADD OK " + QByteArray::number(Session.BandList().Count()), {}, {});
        return true;
    }
    if (fields.size() == 2 &&
        (word == QLatin1String("RUNLIST") || word == QLatin1String("STEPLIST"))) {
        const bool stepped = word == QLatin1String("STEPLIST");
        if (Session.IsScanning()) {
            SetRemoteReply(stepped ? "STEPLIST FAIL" : "RUNLIST FAIL", NoErrorCode, NowScanning);
            return true;
        }
        // As for SCAN: a run refused at the link test or the busy lock gets an empty reply.
        SetRemoteReply("", {}, {});
        Session.RunBandList(TRequester::Remote, fields.at(1), stepped, KeepOutcome());
        return true;
    }
    if (fields.size() == 1 && word == QLatin1String("NEXT")) {
        Session.NextBandListPoint(TRequester::Remote, KeepOutcome());
        return true;
    }
    return false;
}
