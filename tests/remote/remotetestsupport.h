#pragma once

#include "remotefakes.h"

#include "remote/remoteserver.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>
#include <gtest/gtest.h>

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
    bool IsConnected() const { return Socket.state() == QAbstractSocket::ConnectedState; }
    // Every byte received and not yet taken as a reply.
    QByteArray Pending() const { return Received; }
    QTcpSocket &Raw() { return Socket; }

private:
    void Drain();
    QTcpSocket Socket;
    QByteArray Received;
};

// A started server on a free port with scripted fake panels.
class TRemoteServerFixture : public ::testing::Test {
protected:
    TRemoteServerFixture();
    void SetUp() override;
    // A client that the server serves (remote mode on once this returns).
    std::unique_ptr<TTestClient> ConnectServed();

    TFakeRemoteHost Host;
    TRemoteServer Server{Host};
};

// Readable failure output.
void PrintTo(const QByteArray &bytes, std::ostream *os);
void PrintTo(const QString &text, std::ostream *os);
