#include "closesignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Write end of the pipe; -1 while nobody listens.
volatile sig_atomic_t CloseSignalWriteFd = -1;

void OnCloseSignal(int) {
    const int savedErrno = errno;
    const int fd = CloseSignalWriteFd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TCloseSignals::TCloseSignals() {
    if (::pipe2(Pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("Kestrune: cannot create the pipe for close signals");
    CloseSignalWriteFd = Pipe[1];
    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    Notifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    Notifier->setEnabled(false);
    connect(Notifier, &QSocketNotifier::activated, this, &TCloseSignals::Arrived);
}

TCloseSignals::~TCloseSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    CloseSignalWriteFd = -1;
    delete Notifier;
    ::close(Pipe[0]);
    ::close(Pipe[1]);
}

void TCloseSignals::Enable() {
    Notifier->setEnabled(true);
}

void TCloseSignals::Arrived() {
    char drain[64];
    while (::read(Pipe[0], drain, sizeof drain) > 0) {
    }
    emit CloseRequested();
}
