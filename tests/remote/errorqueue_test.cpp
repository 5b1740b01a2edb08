// The error queue that SYST:ERR? reads: the numbers and texts of each kind of outcome, its order
// and its overflow; and, with the server on a session, that every outcome is queued exactly once
// whichever way it reaches the server.

#include "device/devicerederedirada.h"
#include "remote/errorqueue.h"
#include "remote/remoteserver.h"
#include "session/sessionrig.h"
#include "sim/controlcommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <functional>

#include <gtest/gtest.h>

namespace {

QList<QByteArray> TakeAll(TErrorQueue &queue) {
    QList<QByteArray> entries;
    for (QByteArray entry = queue.TakeOldest(); entry != "0,\"No error\"";
         entry = queue.TakeOldest())
        entries.append(entry);
    return entries;
}

} // namespace

TEST(ErrorQueue, NumbersEachKindOfErrorAndSkipsOutcomesWithoutOne) {
    TErrorQueue queue;
    EXPECT_EQ(queue.TakeOldest(), "0,\"No error\"");
    queue.Append("SETC FAIL", "ERRSE03", "Out of range.");
    queue.Append("SETC OK", {}, {});
    queue.Append("SCAN FAIL", "ERRDV05", "Scan failure.");
    queue.Append("SCAN SUCCESS", "NONE", "Scan successful.");
    queue.Append("SCAN ABORT", "NONE", "Scan aborted.");
    queue.Append("SCAN FAIL", "ERRSC22", "Out of range.");
    queue.Append("LIST FAIL", "ERRLS07", "Bad row.");
    queue.Append("STOP FAIL", "NONE", "No Scan.");
    queue.Append("UNKNOWN COMMAND", "NONE", "Unknown Command.");
    queue.Append("UNKNOWN ERROR", "NONE", "Unknown Error.");
    queue.Append("", "", "");
    EXPECT_EQ(TakeAll(queue), (QList<QByteArray>{
                                  "203,\"ERRSE03 : Out of range.\"",
                                  "105,\"ERRDV05 : Scan failure.\"",
                                  "322,\"ERRSC22 : Out of range.\"",
                                  "407,\"ERRLS07 : Bad row.\"",
                                  "-200,\"No Scan.\"",
                                  "-113,\"Undefined header\"",
                                  "-200,\"Unknown Error.\"",
                              }));
}

TEST(ErrorQueue, AFullQueueEndsInOneOverflowAndTakesErrorsAgainOnceRead) {
    TErrorQueue queue;
    for (int i = 1; i <= TErrorQueue::Capacity + 5; ++i)
        queue.Append("SETC FAIL", "ERRSE" + QByteArray::number(i).rightJustified(2, '0'), "t");
    ASSERT_EQ(queue.Size(), TErrorQueue::Capacity);
    EXPECT_EQ(queue.TakeOldest(), "201,\"ERRSE01 : t\"");
    queue.Append("RESET FAIL", "ERRDV03", "Reset failure.");
    const QList<QByteArray> rest = TakeAll(queue);
    ASSERT_EQ(rest.size(), TErrorQueue::Capacity);
    EXPECT_EQ(rest.at(17), "219,\"ERRSE19 : t\"");
    EXPECT_EQ(rest.at(18), "-350,\"Queue overflow\"");
    EXPECT_EQ(rest.at(19), "103,\"ERRDV03 : Reset failure.\"");
    queue.Append("SETC FAIL", "ERRSE01", "t");
    queue.Clear();
    EXPECT_EQ(queue.TakeOldest(), "0,\"No error\"");
}

// The operator's refused move reaches the server only through the session's announcement, a
// client's through its reply handler as well, a scan's failure through the scan's end: each must
// be queued once.
TEST(ErrorQueue, TheOperatorsAClientsAndAScansOutcomesAreQueuedOnceEach) {
    SessionRig rig;
    ASSERT_TRUE(rig.Start());
    TRemoteServer server(*rig.session);
    server.Action_RemoteServerStart(0);
    ASSERT_TRUE(server.IsListening());

    QTcpSocket client;
    QByteArray pending;
    const auto until = [](const std::function<bool()> &done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    };
    const auto ask = [&](const QByteArray &line) {
        client.write(line + '\r');
        until([&] {
            pending += client.readAll();
            return pending.contains('\r');
        });
        const int cr = pending.indexOf('\r');
        const QByteArray reply = cr < 0 ? QByteArray("<no reply>") : pending.left(cr);
        pending.remove(0, cr + 1);
        return reply;
    };
    const auto connectClient = [&] {
        client.connectToHost(QStringLiteral("127.0.0.1"), server.ServerPort());
        return until([&] { return rig.session->IsRemoteControlled(); });
    };

    rig.session->SetBand(TRequester::Operator, 0, QStringLiteral("-1.0"), QStringLiteral("5.0"));
    ASSERT_TRUE(connectClient());
    EXPECT_EQ(ask("SETR -1.0 5.0"), "SETR FAIL");
    EXPECT_EQ(ask("STOP"), "STOP FAIL");
    client.disconnectFromHost();
    ASSERT_TRUE(until([&] { return !rig.session->IsRemoteControlled(); }));

    // The scan's first move gets no reply: the scan fails. That leaves the link unusable, so it
    // comes last.
    rig.session->StartScan(TRequester::Operator, {"600.0", "601.0", "5.0", "0.5", "0.1"});
    ASSERT_TRUE(rig.session->IsScanning());
    rig.session->Device().SetTimeOut(200);
    ASSERT_TRUE(ksim::ExecuteControlCommand(*rig.sim, QStringLiteral("noreply 1"))
                    .reply.startsWith(QLatin1String("OK")));
    ASSERT_TRUE(until([&] { return !rig.session->IsScanning(); }));

    ASSERT_TRUE(connectClient());
    EXPECT_EQ(ask("SYST:ERR?"), "201,\"ERRSE01 : [CWL] value is invalid.\"");
    EXPECT_EQ(ask("syst:err:next?"), "211,\"ERRSE11 : [SW] value is invalid.\"");
    EXPECT_EQ(ask("System:Error?"), "-200,\"No Scan.\"");
    EXPECT_EQ(ask("SYST:ERR?"), "105,\"ERRDV05 : Scan failure.\"");
    EXPECT_EQ(ask("SYSTEM:ERROR:NEXT?"), "0,\"No error\"");
    EXPECT_EQ(ask("ECODE"), "ERRDV05");
}
