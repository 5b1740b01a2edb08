// Round-trip latency of remote commands on loopback. One blocking client times VER, STATE, the
// read-backs PROGRESS and GETC and the SCPI queries *IDN? and SYST:ERR? (from a session without
// an instrument; the error queue stays empty) against the remote
// server and the same request against a minimal line-echo server, request by
// request in turn, so the ratio to the echo holds on a noisy machine. Both servers share one
// event-loop thread, as the remote server shares the user-interface thread in the program.

#include "benchmain.h"

#include "remote/remoteserver.h"
#include "session/instrumentsession.h"
#include "setup/setuprederedirada.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Requests = 10000;

// Sends every CR-ended line straight back: the cost of the loopback and the event loop alone.
void ServeLineEcho(QTcpServer &echo) {
    QObject::connect(&echo, &QTcpServer::newConnection, &echo, [&echo] {
        while (QTcpSocket *socket = echo.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto pending = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, pending] {
                pending->append(socket->readAll());
                const int end = pending->lastIndexOf('\r') + 1;
                socket->write(pending->left(end));
                socket->flush();
                pending->remove(0, end);
            });
        }
    });
}

struct TPorts {
    quint16 Remote;
    quint16 Echo;
};

// Both servers on one thread with its own event loop, until the thread is asked to quit.
class TServerThread {
public:
    TServerThread() {
        std::promise<TPorts> ready;
        std::future<TPorts> ports = ready.get_future();
        Thread.reset(QThread::create([&ready] {
            QTemporaryDir folder;
            TSetup_RedeRedirada setup(folder.path() + '/', QStringLiteral("RedeRedirada.ini"));
            TInstrumentSession session(setup, folder.path() + '/');
            TRemoteServer remote(session);
            remote.Action_RemoteServerStart(0);
            QTcpServer echo;
            ServeLineEcho(echo);
            echo.listen(QHostAddress::LocalHost, 0);
            ready.set_value({remote.ServerPort(), echo.serverPort()});
            QEventLoop loop;
            loop.exec();
        }));
        Thread->start();
        Ports = ports.get();
    }
    ~TServerThread() {
        Thread->quit();
        Thread->wait();
    }
    TPorts Ports{};

private:
    std::unique_ptr<QThread> Thread;
};

// A plain blocking client: one request, then wait for its CR-ended reply.
class TBlockingClient {
public:
    explicit TBlockingClient(quint16 port) : Fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(Fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect");
    }
    ~TBlockingClient() { close(Fd); }

    // Seconds from sending the line to the reply's CR.
    double RoundTrip(const std::string &line) {
        const auto start = std::chrono::steady_clock::now();
        const std::string request = line + '\r';
        if (send(Fd, request.data(), request.size(), 0) != ssize_t(request.size()))
            throw std::runtime_error("send failed");
        char c = 0;
        do {
            if (recv(Fd, &c, 1, 0) != 1)
                throw std::runtime_error("connection lost");
        } while (c != '\r');
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    int Fd;
};

double Percentile(std::vector<double> samples, double fraction) {
    const auto at = samples.begin() + std::ptrdiff_t(fraction * double(samples.size() - 1));
    std::nth_element(samples.begin(), at, samples.end());
    return *at;
}

void BM_RemoteRoundTrip(benchmark::State &state) {
    TServerThread servers;
    TBlockingClient remote(servers.Ports.Remote);
    TBlockingClient echo(servers.Ports.Echo);
    std::vector<double> echoTimes, verTimes, stateTimes, progressTimes, bandTimes, idnTimes,
        errorTimes;
    for (auto _ : state) {
        for (int i = 0; i < Requests; ++i) {
            echoTimes.push_back(echo.RoundTrip("VER"));
            verTimes.push_back(remote.RoundTrip("VER"));
            stateTimes.push_back(remote.RoundTrip("STATE"));
            progressTimes.push_back(remote.RoundTrip("PROGRESS"));
            bandTimes.push_back(remote.RoundTrip("GETC"));
            idnTimes.push_back(remote.RoundTrip("*IDN?"));
            errorTimes.push_back(remote.RoundTrip("SYST:ERR?"));
        }
    }
    const auto micro = [](double seconds) { return seconds * 1e6; };
    const double echoMedian = Percentile(echoTimes, 0.5);
    const double verMedian = Percentile(verTimes, 0.5);
    const double stateMedian = Percentile(stateTimes, 0.5);
    state.counters["echo_median_us"] = micro(echoMedian);
    state.counters["echo_p99_us"] = micro(Percentile(echoTimes, 0.99));
    state.counters["ver_median_us"] = micro(verMedian);
    state.counters["ver_p99_us"] = micro(Percentile(verTimes, 0.99));
    state.counters["state_median_us"] = micro(stateMedian);
    state.counters["state_p99_us"] = micro(Percentile(stateTimes, 0.99));
    state.counters["ver_per_echo"] = verMedian / echoMedian;
    state.counters["state_per_echo"] = stateMedian / echoMedian;
    for (const auto &[name, times] : {std::pair{"progress", &progressTimes},
                                      {"getc", &bandTimes},
                                      {"idn", &idnTimes},
                                      {"syst_err", &errorTimes}}) {
        const double median = Percentile(*times, 0.5);
        state.counters[std::string(name) + "_median_us"] = micro(median);
        state.counters[std::string(name) + "_p99_us"] = micro(Percentile(*times, 0.99));
        state.counters[std::string(name) + "_per_echo"] = median / echoMedian;
    }
}
BENCHMARK(BM_RemoteRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
