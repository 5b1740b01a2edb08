// Wall time of one position read (CommandPos) against an instrument that answers at once, on a
// pseudo-terminal. The link polls every 100 ms, so one poll is the floor.
#include "benchmain.h"

#include "device/devicerederedirada.h"
#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers every request line at once, from a thread of its own, so the reply is waiting
// before the link's first poll.
class InstantInstrument {
public:
    InstantInstrument() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
        slavePath_ = QString::fromLocal8Bit(name);
        thread_ = std::thread([this] { Serve(); });
    }
    ~InstantInstrument() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(master_);
        ::close(slave_);
    }
    QString slavePath() const { return slavePath_; }

private:
    void Serve() {
        QByteArray pending;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            pending.append(buffer, n);
            qsizetype end;
            while ((end = pending.indexOf('\r')) >= 0) {
                pending.remove(0, end + 1);
                static const char Reply[] = "POS 3 1200 3400 560\r";
                if (::write(master_, Reply, sizeof Reply - 1) < 0)
                    return;
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_CommandPos_InstantReply(benchmark::State &state) {
    QTemporaryDir folder;
    InstantInstrument instrument;
    QDir(folder.path()).mkpath(QStringLiteral("Ports"));
    QFile::link(instrument.slavePath(), folder.path() + QStringLiteral("/Ports/COM3"));
    SetProgramFolder(folder.path() + QLatin1Char('/'));
    TDevice_RedeRedirada link;
    if (!link.OpenPort(QStringLiteral("COM3"))) {
        state.SkipWithError("cannot open the pseudo-terminal as COM3");
        return;
    }
    for (auto _ : state) {
        if (!link.CommandPos())
            state.SkipWithError("position read failed");
    }
}

BENCHMARK(BM_CommandPos_InstantReply)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(21)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks<QCoreApplication>(argc, argv);
}
