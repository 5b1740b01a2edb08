// The common SCPI queries that generic lab tools send first: *IDN?, SYST:ERR? and *OPC?. Their
// words are case-insensitive, as SCPI has them. Like the read-backs they never talk to the
// instrument and leave the last outcome as it is. SCPI commands that answer nothing (*CLS, *RST)
// stay unknown: every line gets exactly one reply, so a silent one would put a client's reads out
// of step.

#include "remote/remoteserver.h"
#include "session/instrumentsession.h"

namespace {

const QStringList ErrorQueries{QStringLiteral("SYST:ERR?"), QStringLiteral("SYSTEM:ERROR?"),
                               QStringLiteral("SYST:ERR:NEXT?"),
                               QStringLiteral("SYSTEM:ERROR:NEXT?")};

// Maker, model, serial, version; model and serial are 0 until the instrument is ready, as DEVICE
// tells them only then.
QByteArray Identification(const TInstrumentSession &session) {
    const bool ready = session.IsDeviceReady() && !session.IsStartingUp();
    const TCalData &table = session.CalData();
    return "Kestrune," + (ready ? table.Model.toLatin1() : "0") + ',' +
           (ready ? table.Serial.toLatin1() : "0") + ",1.0";
}

} // namespace

bool TRemoteServer::RunCommonQuery(const QStringList &fields) {
    if (fields.size() != 1)
        return false;
    const QString word = fields.at(0).toUpper();
    if (word == QLatin1String("*IDN?")) {
        Reply.ReplyText = Identification(Session);
        return true;
    }
    if (ErrorQueries.contains(word)) {
        Reply.ReplyText = Errors.TakeOldest();
        return true;
    }
    if (word == QLatin1String("*OPC?")) {
        if (Session.IsScanning())
            HoldCompletionReply();
        else
            Reply.ReplyText = "1";
        return true;
    }
    return false;
}
