#include "support/pseudoterminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    masterFd_ = master;
    slaveKeepAliveFd_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    if (slaveKeepAliveFd_ >= 0)
        ::close(slaveKeepAliveFd_);
}

bool PseudoTerminal::write(const QByteArray &bytes) {
    if (masterFd_ < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd_, bytes.constData() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                pollfd p{masterFd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray PseudoTerminal::readAvailable() {
    QByteArray result;
    if (masterFd_ < 0)
        return result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray PseudoTerminal::readUntil(char terminator, int timeoutMs) {
    QByteArray result;
    QElapsedTimer clock;
    clock.start();
    while (masterFd_ >= 0 && !result.contains(terminator)) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd p{masterFd_, POLLIN, 0};
        if (::poll(&p, 1, int(left)) > 0)
            result.append(readAvailable());
    }
    return result;
}

void PseudoTerminal::closeMaster() {
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}
