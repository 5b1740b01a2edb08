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

void TRemoteServerFixture::SetUp() {
    ksim::InstrumentProfile profile = SessionRig::FastProfile();
    profile.rangeMin = 563.5;
    profile.rangeMax = 645.0;
    ASSERT_TRUE(rig.Start(profile));
    RemoteServer = std::make_unique<TRemoteServer>(Session());
    TRemoteServer *server = RemoteServer.get();
    QObject::connect(
        server, &TRemoteServer::SetBandRequested,
        [this](int mode, const QString &first, const QString &second) {
            Requests << QStringLiteral("SET %1 [%2] [%3]").arg(mode).arg(first, second);
        });
    QObject::connect(server, &TRemoteServer::ScanRequested, [this](const TScanPlanTexts &t) {
        Requests << QStringLiteral("SCAN [%1] [%2] [%3] [%4] [%5]")
                        .arg(t.START, t.END, t.FWHM, t.STEP, t.TimeDelay);
    });
    QObject::connect(server, &TRemoteServer::ResetRequested, [this] { Requests << "RESET"; });
    QObject::connect(server, &TRemoteServer::StopRequested, [this] { Requests << "STOP"; });
    server->Action_RemoteServerStart(0);
    ASSERT_TRUE(server->IsListening());
}

std::unique_ptr<TTestClient> TRemoteServerFixture::ConnectServed() {
    auto client = std::make_unique<TTestClient>();
    EXPECT_TRUE(client->Connect(Server().ServerPort()));
    EXPECT_TRUE(WaitUntil([this] { return Server().IsRemoteMode(); }));
    return client;
}

void TRemoteServerFixture::AtPress(TOperation operation, std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(
        rig.session.get(), &TInstrumentSession::OperationPressed,
        [operation, action = std::move(action), connection](TOperation pressed, bool down) {
            if (pressed != operation || !down)
                return;
            QObject::disconnect(*connection);
            action();
        });
}

void TRemoteServerFixture::AtMessage(const QString &message, std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        QObject::connect(rig.session.get(), &TInstrumentSession::StatusMessage,
                         [message, action = std::move(action), connection](const QString &text) {
                             if (text != message)
                                 return;
                             QObject::disconnect(*connection);
                             action();
                         });
}

void PrintTo(const QByteArray &bytes, std::ostream *os) {
    *os << '"' << bytes.toPercentEncoding(" []:.,<>=!?-+()/").constData() << '"';
}

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}
