#pragma once

#include "remote/errorqueue.h"
#include "session/operationoutcome.h"
#include "session/scanplancheck.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QTcpServer;
class TInstrumentSession;
class QTcpSocket;

// The three single-byte texts of the last remote outcome.
struct TRemoteReply {
    QByteArray ReplyText; // the line sent back for the current command; cleared after each reply
    QByteArray ErrorCode; // an ERRxxnn code, "NONE", or empty after a plain success
    QByteArray ErrorText; // its text, with the comparison signs as code-page byte pairs
};

// The remote-control server: listens on one TCP port, serves one client at a time, cuts its
// request lines on CR and answers each with one line. It keeps the protocol's state (the reply,
// the error code and text) and fills it from the outcomes of the session's operations; what the
// console shows of a request it learns from this server's signals. All of it runs on the thread
// that owns the object (the user-interface thread in the program).
class TRemoteServer : public QObject {
    Q_OBJECT

public:
    static constexpr int RemoteBufferSize = 1024;

    // session must outlive the server.
    explicit TRemoteServer(TInstrumentSession &session, QObject *parent = nullptr);
    ~TRemoteServer() override;

    // Listens on all interfaces. A port that cannot be opened leaves the server inactive without
    // any report; the program then works locally only. Port 0 takes any free port.
    void Action_RemoteServerStart(quint16 port);
    // Stops listening and closes every connection; no client event handler runs for them.
    void Action_RemoteServerStop();

    bool IsListening() const;
    quint16 ServerPort() const; // 0 unless listening
    bool IsRemoteMode() const;  // listening and a client is being served
    int RemoteClientCount() const { return ClientCount; }

    const TRemoteReply &RemoteReply() const { return Reply; }

signals:
    // A request the session is about to run, as the console shows it: the tab and the boxes.
    // Each comes only for a request that got past the scan-running refusal.
    void SetBandRequested(int inputMode, const QString &first, const QString &second);
    void ScanRequested(const TScanPlanTexts &texts);
    void ResetRequested();
    void StopRequested();

private:
    void ServerSocketAccept();
    void ServerSocketClientConnect(QTcpSocket *client);
    void ServerSocketClientDisconnect(QTcpSocket *client);
    void ServerSocketClientError(QTcpSocket *client);
    void ServerSocketClientRead(QTcpSocket *client);

    void FillRemoteBuffer(QTcpSocket &client);
    bool TakeRemoteLine();
    void SendReply(QTcpSocket *client);
    // Replaces the three reply texts at once.
    void KeepReplyState(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText);
    // An outcome of the server's own (a refusal, an unknown command, a plain answer): the reply
    // texts, and its entry in the error queue. The session's outcomes reach the queue through its
    // OperationConcluded and ScanEnded signals, each once, whoever asked.
    void SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                        const QByteArray &errorText);
    // Takes an operation's outcome into the reply; dropped once the server is gone.
    TOutcomeHandler KeepOutcome();
    void EndRemoteControl();
    void StopScanOfDepartedClient();
    void Release(QTcpSocket *client);
    void ReleaseConnections();
    bool IsServing(quint64 session, const QPointer<QTcpSocket> &client) const;

    // The command dispatcher: runs RemoteLine and leaves the answer in Reply.
    void Action_RemoteServerProcess();
    void RunCommand(const QStringList &fields);
    // *IDN?, SYST:ERR? and *OPC? (remotecommonqueries.cpp); false for any other line.
    bool RunCommonQuery(const QStringList &fields);
    // *OPC? while a scan runs: its reply and the lines after it wait for the scan's end.
    void HoldCompletionReply();
    void SendHeldCompletionReply();
    // The band-list words; false for any other line.
    bool RunBandListCommand(const QStringList &fields);

    TInstrumentSession &Session;
    QTcpServer *ServerSocket;
    QList<QTcpSocket *> Connections; // open and counted; each leaves this list exactly once
    // A socket must outlive its own readyRead emission: one released while its line is being
    // processed is handed to deleteLater only when that processing unwinds. A deleteLater posted
    // from a deeper handler would otherwise run in the command's own event processing.
    QList<QTcpSocket *> ReadingSockets;
    QList<QTcpSocket *> ReleasedWhileReading;
    QPointer<QTcpSocket> RemoteClient;
    // Changes whenever the served connection begins or ends, so that a line whose processing
    // outlives its connection can tell that its reply is to be dropped.
    quint64 RemoteSession = 0;
    bool RemoteConnected = false;
    bool RemoteReading = false;  // a line is being processed further up the call stack
    bool CompletionHeld = false; // an *OPC? of the served client awaits the scan's end
    quint64 CompletionSession = 0;
    int ClientCount = 0;
    QByteArray RemoteBuffer; // received bytes not yet consumed, at most RemoteBufferSize
    QByteArray RemoteLine;
    TRemoteReply Reply;
    TErrorQueue Errors;
};
