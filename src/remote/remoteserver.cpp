#include "remote/remoteserver.h"

#include "core/eventwait.h"
#include "session/instrumentsession.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <utility>

TRemoteServer::TRemoteServer(TInstrumentSession &session, QObject *parent)
    : QObject(parent), Session(session), ServerSocket(new QTcpServer(this)) {
    connect(ServerSocket, &QTcpServer::newConnection, this, &TRemoteServer::ServerSocketAccept);
    // A scan's end is every client's to read back, whoever started the scan.
    connect(&Session, &TInstrumentSession::ScanEnded, this,
            [this](const TOperationOutcome &outcome) {
                KeepReplyState(outcome.Reply, outcome.ErrorCode, outcome.ErrorText);
                Errors.Append(outcome.Reply, outcome.ErrorCode, outcome.ErrorText);
                SendHeldCompletionReply();
            });
    // Every other outcome of the session, the operator's as well as a client's.
    connect(&Session, &TInstrumentSession::OperationConcluded, this,
            [this](const TOperationOutcome &outcome) {
                Errors.Append(outcome.Reply, outcome.ErrorCode, outcome.ErrorText);
            });
}

// No operation runs here; the connections only lose their handlers before the socket objects go
// with the listening server.
TRemoteServer::~TRemoteServer() {
    ReleaseConnections();
}

void TRemoteServer::Action_RemoteServerStart(quint16 port) {
    if (ServerSocket->isListening())
        return;
    RemoteConnected = false;
    RemoteReading = false;
    CompletionHeld = false;
    ClientCount = 0;
    // Remote control is optional: a port in use leaves the program local.
    try {
        EndRemoteControl();
        ServerSocket->listen(QHostAddress::Any, port);
    } catch (...) {
    }
}

void TRemoteServer::Action_RemoteServerStop() {
    RemoteConnected = false;
    RemoteReading = false;
    CompletionHeld = false;
    ClientCount = 0;
    RemoteClient = nullptr;
    ++RemoteSession; // a line still being processed further up the stack sends nothing
    try {
        EndRemoteControl();
    } catch (...) {
    }
    ServerSocket->close();
    ReleaseConnections();
}

bool TRemoteServer::IsListening() const {
    return ServerSocket->isListening();
}

quint16 TRemoteServer::ServerPort() const {
    return ServerSocket->isListening() ? ServerSocket->serverPort() : 0;
}

bool TRemoteServer::IsRemoteMode() const {
    return ServerSocket->isListening() && RemoteConnected;
}

void TRemoteServer::KeepReplyState(const QByteArray &replyText, const QByteArray &errorCode,
                                   const QByteArray &errorText) {
    Reply.ReplyText = replyText;
    Reply.ErrorCode = errorCode;
    Reply.ErrorText = errorText;
}

void TRemoteServer::SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                   const QByteArray &errorText) {
    KeepReplyState(replyText, errorCode, errorText);
    Errors.Append(replyText, errorCode, errorText);
}

void TRemoteServer::ServerSocketAccept() {
    while (ServerSocket->hasPendingConnections())
        ServerSocketClientConnect(ServerSocket->nextPendingConnection());
}

void TRemoteServer::ServerSocketClientConnect(QTcpSocket *client) {
    Connections.append(client);
    connect(client, &QTcpSocket::disconnected, this,
            [this, client] { ServerSocketClientDisconnect(client); });
    connect(client, &QTcpSocket::errorOccurred, this,
            [this, client](QAbstractSocket::SocketError) { ServerSocketClientError(client); });
    ++ClientCount;
    if (RemoteConnected) {
        client->close(); // counted until its disconnect, which follows from here
        return;
    }
    RemoteBuffer.clear();
    RemoteConnected = true;
    RemoteReading = false;
    CompletionHeld = false;
    RemoteClient = client;
    ++RemoteSession;
    // One short line per request and reply: waiting to coalesce them only adds latency.
    client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(client, &QTcpSocket::readyRead, this,
            [this, client] { ServerSocketClientRead(client); });
    Session.SetRemoteControlled(true);
}

void TRemoteServer::ServerSocketClientDisconnect(QTcpSocket *client) {
    if (!Connections.removeOne(client))
        return; // already released by Action_RemoteServerStop
    disconnect(client, nullptr, this, nullptr);
    Release(client);
    if (ClientCount > 0)
        --ClientCount;
    if (RemoteClient.data() != client)
        return; // a rejected connection went away; the served client keeps remote mode
    RemoteClient = nullptr;
    const quint64 session = ++RemoteSession;
    if (Session.IsScanning()) {
        // A scan must not run on unattended once its client is gone; a failing stop still ends
        // remote mode below.
        try {
            Session.StopScan(TRequester::Remote, KeepOutcome());
        } catch (...) {
        }
    }
    // The stop waits with events running: the server may have been stopped or restarted there.
    if (session != RemoteSession)
        return;
    RemoteConnected = false;
    RemoteReading = false;
    CompletionHeld = false;
    EndRemoteControl();
}

// A SCAN whose client left while the command ran starts its scan after the disconnect, which
// found nothing to stop. Nobody is there to stop it now, so it is stopped as the disconnect would
// have. A server that was stopped meanwhile is closing the program, which ends the scan anyway.
void TRemoteServer::StopScanOfDepartedClient() {
    if (RemoteClient || !ServerSocket->isListening() || !Session.IsScanning())
        return;
    try {
        Session.StopScan(TRequester::Remote, KeepOutcome());
    } catch (...) {
    }
}

// Qt reports the error from inside the socket's own notification code; the connection is closed
// once that code has returned, and its disconnect event ends the session. Nothing is shown.
void TRemoteServer::ServerSocketClientError(QTcpSocket *client) {
    QMetaObject::invokeMethod(
        client, [client] { client->abort(); }, Qt::QueuedConnection);
}

void TRemoteServer::ServerSocketClientRead(QTcpSocket *client) {
    if (RemoteClient.data() != client)
        return;
    FillRemoteBuffer(*client);
    // Qt does not re-emit readyRead inside its own handler, but the guard keeps one line in
    // process at a time whatever the socket layer does: new bytes wait in the buffer. Behind a
    // held *OPC? they wait for the scan's end.
    if (RemoteReading || CompletionHeld)
        return;
    RemoteReading = true;
    ReadingSockets.append(client);
    const quint64 session = RemoteSession;
    const QPointer<QTcpSocket> served(client);
    // Every complete line is answered, in order, before the handler returns: bytes that came in
    // while a line was processed raise no new read event, so they must not be left waiting. A
    // long operation that a timer started in here is held until the handler returns; the lines
    // still waiting are then taken up again from the event loop, after that operation has begun.
    bool yielded = false;
    {
        const THandlerScope responsive;
        while (TakeRemoteLine()) {
            Action_RemoteServerProcess();
            RemoteLine.clear();
            if (CompletionHeld)
                break;
            // The client may have gone away inside the command; its reply is then dropped.
            const bool send = IsServing(session, served);
            if (send)
                SendReply(served);
            // Cleared before events run, so that a scan outcome reported in between is kept for
            // the next reply instead of being wiped with this one.
            Reply.ReplyText.clear();
            if (!send) {
                StopScanOfDepartedClient();
                break;
            }
            QCoreApplication::processEvents();
            if (!IsServing(session, served))
                break;
            if (OperationsHeld()) {
                yielded = true;
                break;
            }
            FillRemoteBuffer(*served);
        }
    }
    RemoteReading = false;
    ReadingSockets.removeOne(client);
    if (!ReadingSockets.contains(client) && ReleasedWhileReading.removeOne(client))
        client->deleteLater();
    // After the held operation, which has just been given the next turn: it starts first, and
    // these lines are answered from inside its waits.
    if (yielded)
        RunAtNextTurn(this, [this, served] {
            if (served)
                ServerSocketClientRead(served);
        });
}

// Moves the socket's bytes into the buffer. Complete lines are never dropped: once the buffer is
// full and holds a CR, the rest stays in the socket until lines have been taken. Only a line that
// outgrows the buffer loses its oldest bytes.
void TRemoteServer::FillRemoteBuffer(QTcpSocket &client) {
    while (client.bytesAvailable() > 0) {
        qint64 room = RemoteBufferSize - RemoteBuffer.size();
        if (room == 0) {
            if (RemoteBuffer.contains('\r'))
                return;
            // Take the next bytes up to the line's CR at most, and as many of its oldest bytes
            // give way: however the bytes arrive, the line keeps its newest 1023.
            const QByteArray ahead = client.peek(RemoteBufferSize);
            const int cr = ahead.indexOf('\r');
            room = cr >= 0 ? cr + 1 : ahead.size();
            RemoteBuffer.remove(0, int(room));
        }
        const QByteArray bytes = client.read(room);
        if (bytes.isEmpty())
            return;
        RemoteBuffer.append(bytes);
    }
}

bool TRemoteServer::TakeRemoteLine() {
    const int cr = RemoteBuffer.indexOf('\r');
    if (cr < 0)
        return false;
    RemoteLine = RemoteBuffer.left(cr);
    RemoteBuffer.remove(0, cr + 1);
    return true;
}

void TRemoteServer::SendReply(QTcpSocket *client) {
    client->write(Reply.ReplyText + '\r');
    client->flush();
}

void TRemoteServer::EndRemoteControl() {
    Session.SetRemoteControlled(false);
}

TOutcomeHandler TRemoteServer::KeepOutcome() {
    return [server = QPointer<TRemoteServer>(this)](const TOperationOutcome &outcome) {
        if (server)
            server->KeepReplyState(outcome.Reply, outcome.ErrorCode, outcome.ErrorText);
    };
}

void TRemoteServer::Release(QTcpSocket *client) {
    if (ReadingSockets.contains(client))
        ReleasedWhileReading.append(client);
    else
        client->deleteLater();
}

void TRemoteServer::ReleaseConnections() {
    const QList<QTcpSocket *> open = std::exchange(Connections, {});
    for (QTcpSocket *client : open) {
        disconnect(client, nullptr, this, nullptr);
        client->close();
        Release(client);
    }
}

void TRemoteServer::HoldCompletionReply() {
    CompletionHeld = true;
    CompletionSession = RemoteSession;
}

// The held *OPC? gets its 1, and the lines that came after it are taken up from the next turn of
// the event loop, in order. A client that has left meanwhile gets nothing.
void TRemoteServer::SendHeldCompletionReply() {
    if (!CompletionHeld)
        return;
    CompletionHeld = false;
    if (!IsServing(CompletionSession, RemoteClient))
        return;
    QTcpSocket *const client = RemoteClient;
    client->write("1\r");
    client->flush();
    RunAtNextTurn(this, [this, served = RemoteClient] {
        if (served)
            ServerSocketClientRead(served);
    });
}

bool TRemoteServer::IsServing(quint64 session, const QPointer<QTcpSocket> &client) const {
    return session == RemoteSession && !client.isNull();
}
