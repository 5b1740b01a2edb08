#include "e2esupport.h"

#include "support/scriptedpeer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>

#include <csignal>

namespace e2e {

namespace {

// The simulator prints READY once its link is in place; a start under a sanitizer is slow.
constexpr int StartTimeOutMs = 20000;

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

quint16 FreeTcpPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) ? probe.serverPort() : 0;
}

ProgramFolder::ProgramFolder() {
    if (!dir_.isValid())
        return;
    const QString target = filePath(QStringLiteral("kestrune"));
    if (!QFile::copy(QStringLiteral(KESTRUNE_EXECUTABLE), target) ||
        !QDir().mkpath(filePath(QStringLiteral("Ports"))))
        dir_.remove();
}

bool ProgramFolder::isValid() const {
    return dir_.isValid() && QFile::exists(filePath(QStringLiteral("kestrune")));
}

QString ProgramFolder::path() const {
    return dir_.path() + QLatin1Char('/');
}

bool ProgramFolder::writeSettings(const QString &portName, quint16 portNum, bool debugMode) const {
    QFile file(filePath(QStringLiteral("RedeRedirada.ini")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray text =
        "[Info]\r\nType=Kestrune v1\r\n[ComPort]\r\nPortName=" + portName.toLatin1() +
        "\r\n[Device]\r\nDebugMode=" + (debugMode ? "1" : "0") +
        "\r\n[Remote]\r\nPortNum=" + QByteArray::number(portNum) + "\r\n";
    return file.write(text) == text.size();
}

QByteArray ProgramFolder::settingsText() const {
    return ReadAll(filePath(QStringLiteral("RedeRedirada.ini")));
}

QStringList ProgramFolder::logFiles() const {
    QStringList files;
    const QDir log(filePath(QStringLiteral("Log")));
    for (const QString &name :
         log.entryList({QStringLiteral("Log *.ini")}, QDir::Files, QDir::Name))
        files << log.filePath(name);
    return files;
}

QStringList ProgramFolder::logLines() const {
    QStringList lines;
    for (const QString &file : logFiles())
        lines << LogLinesOf(file);
    return lines;
}

QStringList LogLinesOf(const QString &file) {
    QByteArray text = ReadAll(file);
    // An entry being written has no CR LF yet; it is left for the next look.
    const int end = text.lastIndexOf("\r\n");
    text.truncate(end < 0 ? 0 : end + 2);
    QStringList lines;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.isEmpty())
            lines << QString::fromLatin1(line.chopped(line.endsWith('\r') ? 1 : 0));
    }
    return lines;
}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(const ProgramFolder &folder, int comPort, const QStringList &extra) {
    recordPath_ = folder.filePath(QStringLiteral("sim-record.txt"));
    controlPath_ = folder.filePath(QStringLiteral("sim-control"));
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral(KESTRUNE_SIM_EXECUTABLE),
                   QStringList{QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"),
                               QString::number(comPort), QStringLiteral("--install-cal"),
                               QStringLiteral("--fast"), QStringLiteral("--range"),
                               QStringLiteral("563.5-645.0"), QStringLiteral("--record"),
                               recordPath_, QStringLiteral("--control"), controlPath_} +
                       extra);
    if (!process_.waitForStarted(StartTimeOutMs))
        return false;
    const bool ready = WaitUntil(
        [this] {
            output_ += process_.readAllStandardOutput();
            return output_.contains("READY\n") || process_.state() == QProcess::NotRunning;
        },
        StartTimeOutMs);
    if (!ready || !output_.contains("READY\n"))
        return false;
    controlSocket_.connectToServer(controlPath_);
    return WaitUntil([this] { return controlSocket_.state() == QLocalSocket::ConnectedState; },
                     StartTimeOutMs);
}

QByteArray Simulator::control(const QByteArray &command) {
    controlSocket_.write(command + '\n');
    controlSocket_.flush();
    QByteArray reply;
    WaitUntil([&] {
        reply += controlSocket_.readAll();
        return reply.endsWith('\n') || controlSocket_.state() != QLocalSocket::ConnectedState;
    });
    return reply.trimmed();
}

QList<ksim::RequestRecord> Simulator::records() const {
    QList<ksim::RequestRecord> result;
    for (const QByteArray &line : ReadAll(recordPath_).split('\n')) {
        if (const std::optional<ksim::RequestRecord> r =
                ksim::ParseRecord(QString::fromLatin1(line)))
            result.append(*r);
    }
    return result;
}

QList<ksim::RequestRecord> Simulator::records(ksim::RequestKind kind) const {
    QList<ksim::RequestRecord> result;
    for (const ksim::RequestRecord &r : records()) {
        if (r.kind == kind)
            result.append(r);
    }
    return result;
}

bool Simulator::waitForRequest(ksim::RequestKind kind, int seen, int timeoutMs) const {
    return WaitUntil([&] { return records(kind).size() > seen; }, timeoutMs);
}

void Simulator::stop() {
    controlSocket_.abort();
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(StartTimeOutMs))
        process_.kill();
    process_.waitForFinished(StartTimeOutMs);
}

Program::~Program() {
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(30000))
        process_.kill();
    process_.waitForFinished(5000);
}

bool Program::start(const ProgramFolder &folder) {
    // No arguments and another working folder: the program finds its files beside itself.
    process_.setWorkingDirectory(QDir::rootPath());
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    clock_.start();
    process_.start(folder.filePath(QStringLiteral("kestrune")), QStringList());
    return process_.waitForStarted(StartTimeOutMs);
}

bool Program::terminate(int timeoutMs) {
    if (process_.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(process_.processId()), SIGTERM);
    const bool ended =
        WaitUntil([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs);
    errorOutput();
    return ended && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

QByteArray Program::errorOutput() {
    errors_ += process_.readAllStandardError();
    return errors_;
}

bool RemoteClient::connectTo(quint16 port, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    // The server listens once the program's window exists; until then the connection is refused.
    while (clock.elapsed() < timeoutMs) {
        socket_.abort();
        socket_.connectToHost(QHostAddress::LocalHost, port);
        if (WaitUntil(
                [this] {
                    return socket_.state() == QAbstractSocket::ConnectedState ||
                           socket_.state() == QAbstractSocket::UnconnectedState;
                },
                5000) &&
            socket_.state() == QAbstractSocket::ConnectedState)
            return true;
        WaitUntil([] { return false; }, 100);
    }
    return false;
}

std::optional<QByteArray> RemoteClient::ask(const QByteArray &line, int timeoutMs) {
    socket_.write(line + '\r');
    socket_.flush();
    return nextReply(timeoutMs);
}

std::optional<QByteArray> RemoteClient::nextReply(int timeoutMs) {
    int cr = -1;
    WaitUntil(
        [&] {
            pending_ += socket_.readAll();
            cr = pending_.indexOf('\r');
            return cr >= 0 || socket_.state() != QAbstractSocket::ConnectedState;
        },
        timeoutMs);
    if (cr < 0)
        return std::nullopt;
    const QByteArray reply = pending_.left(cr + 1);
    pending_.remove(0, cr + 1);
    return reply;
}

std::optional<QByteArray>
RemoteClient::askUntil(const QByteArray &line, const std::function<bool(const QByteArray &)> &done,
                       int timeoutMs, int pauseMs) {
    QElapsedTimer clock;
    clock.start();
    std::optional<QByteArray> reply;
    do {
        reply = ask(line);
        if (!reply || done(*reply))
            return reply;
        WaitUntil([] { return false; }, pauseMs);
    } while (clock.elapsed() < timeoutMs);
    return reply;
}

bool RemoteClient::waitClosedByServer(int timeoutMs) {
    return WaitUntil(
        [this] {
            pending_ += socket_.readAll();
            return socket_.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}

void RemoteClient::close() {
    socket_.disconnectFromHost();
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        socket_.waitForDisconnected(5000);
    pending_.clear();
}

int CountLogLines(const ProgramFolder &folder, const QString &text) {
    int count = 0;
    for (const QString &line : folder.logLines()) {
        if (line.endsWith(text))
            ++count;
    }
    return count;
}

bool WaitForLogLine(const ProgramFolder &folder, const QString &text, int skip, int timeoutMs) {
    return WaitUntil([&] { return CountLogLines(folder, text) > skip; }, timeoutMs);
}

QString LogText(const QString &line) {
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{6}-\\d{6}\\] "));
    const QRegularExpressionMatch match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QString();
}

QString HexData(const QByteArray &bytes) {
    QString hex;
    for (const char c : bytes)
        hex += QStringLiteral("{%1}").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
    return hex;
}

} // namespace e2e
