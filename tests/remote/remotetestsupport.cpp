#include "remotetestsupport.h"

#include <QHostAddress>

#include <ostream>

bool TTestClient::Connect(quint16 port) {
    // The flag, not the state: a rejected client may already be closed again when we look.
    bool connected = false;
    const auto once = QObject::connect(&Socket, &QTcpSocket::connected, [&] { connected = true; });
    Socket.connectToHost(QHostAddress::LocalHost, port);
    WaitUntil([&] { return connected || Socket.state() == QAbstractSocket::UnconnectedState; });
    QObject::disconnect(once);
    return connected;
}

void TTestClient::Send(const QByteArray &bytes) {
    Socket.write(bytes);
    Socket.flush();
}

std::optional<QByteArray> TTestClient::ReadReply(int timeoutMs) {
    const bool complete = WaitUntil(
        [this] {
            Drain();
            return Received.contains('\r');
        },
        timeoutMs);
    if (!complete)
        return std::nullopt;
    const int cr = Received.indexOf('\r');
    const QByteArray line = Received.left(cr);
    Received.remove(0, cr + 1);
    return line;
}

std::optional<QByteArray> TTestClient::Ask(const QByteArray &line) {
    Send(line + '\r');
    return ReadReply();
}

bool TTestClient::WaitDisconnected(int timeoutMs) {
    return WaitUntil(
        [this] {
            Drain();
            return Socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

void TTestClient::Drain() {
    Received.append(Socket.readAll());
}

TRemoteServerFixture::TRemoteServerFixture() {
    Host.Server = &Server;
}

void TRemoteServerFixture::SetUp() {
    Server.Action_RemoteServerStart(0);
    ASSERT_TRUE(Server.IsListening());
    Host.ResetRecord();
}

std::unique_ptr<TTestClient> TRemoteServerFixture::ConnectServed() {
    auto client = std::make_unique<TTestClient>();
    EXPECT_TRUE(client->Connect(Server.ServerPort()));
    EXPECT_TRUE(WaitUntil([this] { return Server.IsRemoteMode(); }));
    return client;
}

void PrintTo(const QByteArray &bytes, std::ostream *os) {
    *os << '"' << bytes.toPercentEncoding(" []:.,<>=!?-+()/").constData() << '"';
}

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}
