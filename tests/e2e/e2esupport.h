#pragma once

// The pieces of an end-to-end run: a program folder with its own copy of the kestrune executable,
// the kestrune-sim program as the instrument on the folder's Ports/, the running program, and a
// remote client. Everything is observed from outside: over TCP, in the simulator's record and in
// the files the program writes.

#include "sim/requestrecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace e2e {

// A TCP port that nothing listens on at the moment, chosen by the system.
quint16 FreeTcpPort();

// A temporary program folder holding a copy of the kestrune executable, as an installation
// would; Ports/ exists from the start so that the program never looks at the machine's own
// serial devices.
class ProgramFolder {
public:
    ProgramFolder();
    bool isValid() const;
    QString path() const; // ends with '/'
    QString filePath(const QString &relative) const { return path() + relative; }

    // RedeRedirada.ini with this program's type and the given keys; others take their defaults.
    bool writeSettings(const QString &portName, quint16 portNum, bool debugMode) const;
    QByteArray settingsText() const;
    // Lines of all communication logs in Log/, in file-name (start time) order, without CR LF.
    QStringList logLines() const;
    QStringList logFiles() const;

private:
    QTemporaryDir dir_;
};

// The kestrune-sim program as COMn of a program folder, with a record of every request and a
// control socket. The range 563.5..645.0 gives the table of the remote protocol's example.
class Simulator {
public:
    ~Simulator();
    bool start(const ProgramFolder &folder, int comPort, const QStringList &extra = {});
    // One control command and its reply line ("OK ..." or "ERR ..."), over the control socket.
    QByteArray control(const QByteArray &command);
    QList<ksim::RequestRecord> records() const;
    QList<ksim::RequestRecord> records(ksim::RequestKind kind) const;
    // Waits until the simulator has heard a request of this kind beyond the first `seen` ones.
    bool waitForRequest(ksim::RequestKind kind, int seen = 0, int timeoutMs = 20000) const;
    void stop();

private:
    QProcess process_;
    QLocalSocket controlSocket_;
    QString recordPath_;
    QString controlPath_;
    QByteArray output_;
};

// The copied kestrune executable, run headless from another working folder and ended the way
// the system ends it.
class Program {
public:
    ~Program();
    bool start(const ProgramFolder &folder);
    // SIGTERM, then the wait for the end; true when the program ended by itself with code 0.
    bool terminate(int timeoutMs = 30000);
    qint64 msSinceStart() const { return clock_.elapsed(); }
    // Standard error so far: sanitizer reports land here.
    QByteArray errorOutput();

private:
    QProcess process_;
    QElapsedTimer clock_;
    QByteArray errors_;
};

// One connection to the remote server; request and reply lines end with CR.
class RemoteClient {
public:
    bool connectTo(quint16 port, int timeoutMs = 20000);
    // Sends the line with its CR and returns the reply line with its CR, byte for byte; nothing
    // when no complete reply came in time or the connection went.
    std::optional<QByteArray> ask(const QByteArray &line, int timeoutMs = 15000);
    // The next reply line without a request: one more of several lines sent at once.
    std::optional<QByteArray> nextReply(int timeoutMs = 15000);
    // Asks until the reply satisfies `done` or the deadline passes, pausing between attempts.
    std::optional<QByteArray> askUntil(const QByteArray &line,
                                       const std::function<bool(const QByteArray &)> &done,
                                       int timeoutMs, int pauseMs = 100);
    bool isConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // True once the server has closed the connection.
    bool waitClosedByServer(int timeoutMs = 10000);
    // Bytes that came in beyond the replies taken so far.
    QByteArray received() const { return pending_; }
    void close();

private:
    QTcpSocket socket_;
    QByteArray pending_;
};

// The lines of one communication log file, without CR LF.
QStringList LogLinesOf(const QString &file);

// Waits (letting events run) until the communication log holds a line ending with `text` beyond
// the first `skip` such lines.
bool WaitForLogLine(const ProgramFolder &folder, const QString &text, int skip = 0,
                    int timeoutMs = 30000);
int CountLogLines(const ProgramFolder &folder, const QString &text);

// The text of a log line without its "[yymmdd-hhnnss] " time stamp; empty when it has none.
QString LogText(const QString &line);

// "{50}{4F}..." for the bytes.
QString HexData(const QByteArray &bytes);

} // namespace e2e
