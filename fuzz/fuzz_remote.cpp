// The remote server's line handling and command dispatch, over a real connection on the loopback
// interface: the client's bytes arrive in pieces, every complete line is answered with one line,
// and the answers are those of the command set for the lines as the server cuts them.
//
// Input: one byte that chooses how the rest is cut into arrivals (TChunker), one byte of flags
// (HangUp, SecondClient, and in bits 2-3 the tab shown when the client connects), then the bytes
// the client sends.

#include "fuzzsupport.h"

#include "core/commatext.h"
#include "remote/remoteserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
constexpr int TabShift = 2;
constexpr int MaxLine = TRemoteServer::RemoteBufferSize - 1;
constexpr int WaitMs = 5000; // only a lost line or connection takes this long

class TFuzzHost;

// Panels that let events run inside their actions, as the real ones do while they talk to the
// instrument, and then report success. The texts they received travel in ErrorText, so that a
// client's ETEXT shows what reached them.
class TFuzzSetPanel final : public IRemoteSetPanel {
public:
    explicit TFuzzSetPanel(TFuzzHost &host) : Host(host) {}
    void ApplyRemoteParameters(int mode, const QString &first, const QString &second) override {
        EditMode = mode;
        Received = (first + QLatin1Char('|') + second).toLatin1();
    }
    void Action_RemoteControl_Go() override;
    void Action_RemoteControl_Reset() override;
    void Action_RemoteControl_Enable() override { ++EnableCount; }
    void Action_RemoteControl_Disable() override {}

    int EnableCount = 0;

private:
    TFuzzHost &Host;
    int EditMode = 0;
    QByteArray Received;
};

class TFuzzScanPanel final : public IRemoteScanPanel {
public:
    explicit TFuzzScanPanel(TFuzzHost &host) : Host(host) {}
    void ApplyRemoteParameters(const QString &start, const QString &end, const QString &fwhm,
                               const QString &step, const QString &timeDelay) override {
        Received = QStringList{start, end, fwhm, step, timeDelay}.join(QLatin1Char('|')).toLatin1();
    }
    void Action_RemoteControl_Scan() override;
    void Action_RemoteControl_Stop() override;
    void Action_RemoteControl_Reset() override;
    void Action_RemoteControl_Enable() override {}
    void Action_RemoteControl_Disable() override {}
    bool IsScanning() const override { return Scanning; }

    bool Scanning = false;

private:
    TFuzzHost &Host;
    QByteArray Received;
};

class TFuzzHost final : public IRemoteHost {
public:
    int SelectedMode() const override { return CurrentMode; }
    void SwitchToTab(int mode) override { CurrentMode = mode; }
    IRemoteSetPanel &RemoteSetPanel() override { return SetPanel; }
    IRemoteScanPanel &RemoteScanPanel() override { return ScanPanel; }

    TRemoteServer *Server = nullptr;
    int CurrentMode = RemoteMode::Set;
    TFuzzSetPanel SetPanel{*this};
    TFuzzScanPanel ScanPanel{*this};
};

void TFuzzSetPanel::Action_RemoteControl_Go() {
    QCoreApplication::processEvents();
    Host.Server->SetRemoteReply(EditMode == 0 ? "SETC OK" : "SETR OK", {}, Received);
}

void TFuzzSetPanel::Action_RemoteControl_Reset() {
    QCoreApplication::processEvents();
    Host.Server->SetRemoteReply("RESET OK", {}, "SET");
}

void TFuzzScanPanel::Action_RemoteControl_Scan() {
    QCoreApplication::processEvents();
    Scanning = true;
    Host.Server->SetRemoteReply("SCAN OK", {}, Received);
}

void TFuzzScanPanel::Action_RemoteControl_Stop() {
    QCoreApplication::processEvents();
    Scanning = false;
    Host.Server->SetRemoteReply("STOP OK", {}, {});
}

void TFuzzScanPanel::Action_RemoteControl_Reset() {
    QCoreApplication::processEvents();
    Host.Server->SetRemoteReply("RESET OK", {}, "SCAN");
}

// The replies the command set gives with the panels above, line by line.
class TModel {
public:
    explicit TModel(int mode) : Mode(mode) {}

    QByteArray Answer(const QByteArray &line) {
        if (line.isEmpty())
            return {}; // nothing runs; the reply text was cleared after the last reply
        const QStringList fields = SplitCommaText(QString::fromLatin1(line));
        const QString word = fields.value(0);
        auto fieldsFrom = [&](int first) {
            return fields.mid(first).join(QLatin1Char('|')).toLatin1();
        };
        if (fields.size() == 1) {
            if (word == QLatin1String("VER"))
                return Set("Kestrune v1.0", {}, {});
            if (word == QLatin1String("STATE"))
                return Set(Scanning ? "SCAN" : "IDLE", {}, {});
            if (word == QLatin1String("ECODE"))
                return Code;
            if (word == QLatin1String("ETEXT"))
                return Text;
            if (word == QLatin1String("ECLEAR"))
                return Set("OK", {}, {});
            if (word == QLatin1String("RESET")) {
                if (Scanning)
                    return Set("RESET FAIL", "NONE", "Now Scanning.");
                if (Mode == RemoteMode::Scan)
                    return Set("RESET OK", {}, "SCAN");
                Mode = RemoteMode::Set;
                return Set("RESET OK", {}, "SET");
            }
            if (word == QLatin1String("STOP")) {
                if (!Scanning)
                    return Set("STOP FAIL", "NONE", "No Scan.");
                Mode = RemoteMode::Scan;
                Scanning = false;
                return Set("STOP OK", {}, {});
            }
        } else if (fields.size() == 3 &&
                   (word == QLatin1String("SETC") || word == QLatin1String("SETR"))) {
            const QByteArray name = word.toLatin1();
            if (Scanning)
                return Set(name + " FAIL", "NONE", "Now Scanning.");
            Mode = RemoteMode::Set;
            return Set(name + " OK", {}, fieldsFrom(1));
        } else if (fields.size() == 6 && word == QLatin1String("SCAN")) {
            if (Scanning)
                return Set("SCAN FAIL", "NONE", "Now Scanning.");
            Mode = RemoteMode::Scan;
            Scanning = true;
            return Set("SCAN OK", {}, fieldsFrom(1));
        }
        return Set("UNKNOWN COMMAND", "NONE", "Unknown Command.");
    }

private:
    QByteArray Set(const QByteArray &reply, const QByteArray &code, const QByteArray &text) {
        Code = code;
        Text = text;
        return reply;
    }

    bool Scanning = false;
    int Mode;
    QByteArray Code;
    QByteArray Text;
};

struct TFixture {
    TFixture() {
        Host.Server = &Server;
        Server.Action_RemoteServerStart(0);
        FUZZ_REQUIRE(Server.IsListening());
    }
    TFuzzHost Host;
    TRemoteServer Server{Host};
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
    const int tab = (flags >> TabShift) % 3;
    f.Host.CurrentMode = tab;
    f.Host.ScanPanel.Scanning = false;
    server.SetRemoteReply({}, {}, {});

    FUZZ_REQUIRE(server.IsListening());
    const int enabled = f.Host.SetPanel.EnableCount;
    const int client = ConnectClient(server.ServerPort());
    WaitFor([&] { return f.Host.SetPanel.EnableCount > enabled && server.IsRemoteMode(); });

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

    QByteArray received;
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
        TModel model(tab);
        const QList<QByteArray> lines = CompleteLines(stream);
        for (int i = 0; i < lines.size(); ++i)
            FUZZ_REQUIRE(replies.at(i) == model.Answer(lines.at(i)));
    }

    // The client goes; remote mode ends and the connection is released. A scan still running
    // is stopped, unless it started only after the client had gone (it hung up while the panel
    // was on its way to starting it).
    close(client);
    WaitFor([&] { return server.RemoteClientCount() == 0 && !server.IsRemoteMode(); });
    if (!(flags & HangUp))
        FUZZ_REQUIRE(!f.Host.ScanPanel.Scanning);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
