// The remote server's line handling and command dispatch, over a real connection on the loopback
// interface: the client's bytes arrive in pieces, every complete line is answered with one line,
// and the answers are those of the command set for the lines as the server cuts them. The server
// runs on a real session without an instrument, so every operation is refused as not ready; the
// error queue follows every outcome.
//
// Input: one byte that chooses how the rest is cut into arrivals (TChunker), one byte of flags
// (HangUp, SecondClient; the other bits are unused), then the bytes the client sends.

#include "fuzzsupport.h"

#include "core/commatext.h"
#include "remote/remoteserver.h"
#include "session/instrumentsession.h"
#include "setup/setuprederedirada.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr uint8_t HangUp = 0x01;       // the client goes as soon as it has sent everything
constexpr uint8_t SecondClient = 0x02; // another client knocks while the first one is served
constexpr int MaxLine = TRemoteServer::RemoteBufferSize - 1;
constexpr int WaitMs = 5000; // only a lost line or connection takes this long

// The replies the command set gives without an instrument, line by line, with the error queue.
class TModel {
public:
    QByteArray Answer(const QByteArray &line) {
        if (line.isEmpty())
            return {}; // nothing runs; the reply text was cleared after the last reply
        const QStringList fields = SplitCommaText(QString::fromLatin1(line));
        const QString word = fields.value(0);
        if (fields.size() == 1) {
            const QString upper = word.toUpper();
            if (upper == QLatin1String("*IDN?"))
                return "Kestrune,0,0,1.0";
            if (upper == QLatin1String("SYST:ERR?") || upper == QLatin1String("SYSTEM:ERROR?") ||
                upper == QLatin1String("SYST:ERR:NEXT?") ||
                upper == QLatin1String("SYSTEM:ERROR:NEXT?"))
                return Errors.isEmpty() ? "0,\"No error\"" : Errors.takeFirst();
            if (upper == QLatin1String("*OPC?"))
                return "1";
            if (word == QLatin1String("DEVICE"))
                return "SEARCHING";
            if (word == QLatin1String("PROGRESS"))
                return "IDLE";
            for (const char *unknown : {"GETC", "GETR", "GETP", "LIMITS"})
                if (word == QLatin1String(unknown))
                    return "NONE";
            if (word == QLatin1String("VER"))
                return Set("Kestrune v1.0", {}, {});
            if (word == QLatin1String("STATE"))
                return Set("IDLE", {}, {});
            if (word == QLatin1String("ECODE"))
                return Code;
            if (word == QLatin1String("ETEXT"))
                return Text;
            if (word == QLatin1String("ECLEAR")) {
                Errors.clear();
                return Set("OK", {}, {});
            }
            if (word == QLatin1String("RESET"))
                return Set("RESET FAIL", "NONE", "Reset failure. Device not ready.");
            if (word == QLatin1String("STOP"))
                return Set("STOP FAIL", "NONE", "No Scan.");
        } else if (fields.size() == 2 && word == QLatin1String("LIMITS")) {
            return "NONE";
        } else if (fields.size() == 3 &&
                   (word == QLatin1String("SETC") || word == QLatin1String("SETR"))) {
            return Set(word.toLatin1() + " FAIL", "NONE", NotReady);
        } else if (fields.size() == 6 && word == QLatin1String("SCAN")) {
            return Set("SCAN FAIL", "NONE", NotReady);
        }
        return Set("UNKNOWN COMMAND", "NONE", "Unknown Command.");
    }

private:
    static constexpr const char *NotReady = "Device not ready. Please connect Kestrune.";

    // Every refusal here has the code NONE: an execution error, or an undefined header.
    QByteArray Set(const QByteArray &reply, const QByteArray &code, const QByteArray &text) {
        Code = code;
        Text = text;
        if (!code.isEmpty()) {
            const QByteArray entry =
                reply == "UNKNOWN COMMAND" ? "-113,\"Undefined header\"" : "-200,\"" + text + '"';
            if (Errors.size() < 20)
                Errors.append(entry);
            else
                Errors.last() = "-350,\"Queue overflow\"";
        }
        return reply;
    }

    QByteArray Code;
    QByteArray Text;
    QList<QByteArray> Errors;
};

// A session that searches for nothing: no instrument is ever ready.
struct TFixture {
    TFixture() {
        FUZZ_REQUIRE(Folder.isValid());
        Server.Action_RemoteServerStart(0);
        FUZZ_REQUIRE(Server.IsListening());
    }
    QTemporaryDir Folder;
    TSetup_RedeRedirada Setup{Folder.path() + QLatin1Char('/'), QStringLiteral("RedeRedirada.ini")};
    TInstrumentSession Session{Setup, Folder.path() + QLatin1Char('/')};
    TRemoteServer Server{Session};
};

TFixture &Fixture() {
    static TFixture *fixture = new TFixture; // outlives the application's static teardown
    return *fixture;
}

// Runs events until `done` holds; a failure once the wait runs out.
void WaitFor(const std::function<bool()> &done) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents();
        if (done())
            return;
        FUZZ_REQUIRE(clock.elapsed() < WaitMs);
        usleep(100);
    }
}

int ConnectClient(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Every input opens a connection, and each closed one holds its local port for a while: a
    // long run can briefly find no free local port, which says nothing about the server.
    for (int attempt = 0;; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        FUZZ_REQUIRE(fd >= 0);
        // Each piece leaves at once, so that it arrives as the piece it is.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return fd;
        const int error = errno;
        close(fd);
        if (error != EADDRNOTAVAIL || attempt == 100) {
            std::fprintf(stderr, "connect: %s\n", std::strerror(error));
            FUZZ_REQUIRE(!"the client could connect");
        }
        usleep(10000);
    }
}

void Drain(int fd, QByteArray &received) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            return;
        received.append(buffer, int(n));
    }
}

// The lines as the server cuts them: at each CR, keeping the newest bytes of an over-long line.
QList<QByteArray> CompleteLines(const QByteArray &stream) {
    QList<QByteArray> lines = stream.split('\r');
    lines.removeLast(); // not ended by a CR
    for (QByteArray &line : lines)
        line = line.right(MaxLine);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    EnsureCoreApplication((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return -1;
    TChunker chunker(data[0]);
    const uint8_t flags = data[1];
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), int(size - 2));

    TFixture &f = Fixture();
    TRemoteServer &server = f.Server;

    FUZZ_REQUIRE(server.IsListening());
    const int client = ConnectClient(server.ServerPort());
    WaitFor([&] { return server.IsRemoteMode() && f.Session.IsRemoteControlled(); });
    // Each input starts from an empty queue and outcome.
    QByteArray received;
    FUZZ_REQUIRE(send(client, "ECLEAR\r", 7, MSG_NOSIGNAL) == 7);
    WaitFor([&] {
        Drain(client, received);
        return received.endsWith('\r');
    });
    FUZZ_REQUIRE(received == "OK\r");
    received.clear();

    if (flags & SecondClient) {
        // Turned away at once; the first client stays served.
        const int other = ConnectClient(server.ServerPort());
        QByteArray ignored;
        WaitFor([&] {
            Drain(other, ignored);
            char next;
            return recv(other, &next, 1, MSG_DONTWAIT | MSG_PEEK) == 0; // the server closed it
        });
        close(other);
        WaitFor([&] { return server.RemoteClientCount() == 1; });
        FUZZ_REQUIRE(server.IsRemoteMode());
    }

    int linesSent = 0;
    std::size_t at = 0;
    while (at < std::size_t(stream.size())) {
        const std::size_t piece = chunker.Next(stream.size() - at);
        FUZZ_REQUIRE(send(client, stream.constData() + at, piece, MSG_NOSIGNAL) == ssize_t(piece));
        linesSent +=
            int(std::count(stream.constData() + at, stream.constData() + at + piece, '\r'));
        at += piece;
        QCoreApplication::processEvents();
        if (!(flags & HangUp)) {
            WaitFor([&] {
                Drain(client, received);
                return received.count('\r') >= linesSent;
            });
        }
    }

    if (!(flags & HangUp)) {
        // One reply per line, each the command set's answer to that line, and nothing else.
        FUZZ_REQUIRE(received.count('\r') == linesSent);
        QList<QByteArray> replies = received.split('\r');
        replies.removeLast();
        TModel model;
        const QList<QByteArray> lines = CompleteLines(stream);
        for (int i = 0; i < lines.size(); ++i)
            FUZZ_REQUIRE(replies.at(i) == model.Answer(lines.at(i)));
    }

    // The client goes; remote mode ends and the connection is released.
    close(client);
    WaitFor([&] {
        return server.RemoteClientCount() == 0 && !server.IsRemoteMode() &&
               !f.Session.IsRemoteControlled();
    });
    FUZZ_REQUIRE(!f.Session.IsScanning());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
