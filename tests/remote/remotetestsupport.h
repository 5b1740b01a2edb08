#pragma once

#include "remote/remoteserver.h"
#include "session/sessionrig.h"
#include "support/scriptedpeer.h" // WaitUntil: the time-out only catches a hanging test

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

// A remote client on 127.0.0.1 that lives in the test's own event loop.
class TTestClient {
public:
    bool Connect(quint16 port);
    void Send(const QByteArray &bytes);
    // The next reply line without its CR, or nothing when none arrives in time.
    std::optional<QByteArray> ReadReply(int timeoutMs = 10000);
    // Sends line + CR and reads its reply (empty optional on time-out).
    std::optional<QByteArray> Ask(const QByteArray &line);
    bool WaitDisconnected(int timeoutMs = 10000);
    void Close() { Socket.close(); }
    // Every byte received and not yet taken as a reply.
    QByteArray Pending() const { return Received; }
    QTcpSocket &Raw() { return Socket; }

private:
    void Drain();
    QTcpSocket Socket;
    QByteArray Received;
};

// A ready instrument on the simulator, with the table of the protocol's examples (563.5 to
// 645.0 nm), and a server for its session started on a free port. Requests records the console's
// view of each request the server let through, in order: "SET <mode> [first] [second]",
// "SCAN [start] [end] [fwhm] [step] [delay]", "RESET", "STOP".
class TRemoteServerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    // A client that the server serves (remote mode on once this returns).
    std::unique_ptr<TTestClient> ConnectServed();
    TRemoteServer &Server() { return *RemoteServer; }
    TInstrumentSession &Session() { return *rig.session; }
    // Runs `action` once, at the first press of `operation`'s button (inside the operation,
    // with the lock taken).
    void AtPress(TOperation operation, std::function<void()> action);
    // Runs `action` once, when the session first reports `message` for the message bar.
    void AtMessage(const QString &message, std::function<void()> action);

    static constexpr const char *LongScan = "SCAN 580 610 5 10 600"; // dwells 10 min per point
    SessionRig rig;
    std::unique_ptr<TRemoteServer> RemoteServer;
    QStringList Requests;
};

// Readable failure output.
void PrintTo(const QByteArray &bytes, std::ostream *os);
void PrintTo(const QString &text, std::ostream *os);
