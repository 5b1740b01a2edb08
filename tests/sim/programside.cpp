#include "programside.h"

#include "sim/requestrecord.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ::poll(nullptr, 0, 2);
    }
    return true;
}

ProgramSide::ProgramSide(const QString &path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
}

ProgramSide::~ProgramSide() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool ProgramSide::send(const QByteArray &request) {
    const QByteArray line = request + '\r';
    return fd_ >= 0 && ::write(fd_, line.constData(), line.size()) == line.size();
}

bool ProgramSide::pump() {
    if (fd_ < 0 || hungUp_)
        return false;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            chunks_.append({ksim::MonotonicMs(), QByteArray(buffer, int(n))});
            pending_.append(buffer, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        hungUp_ = true; // EIO: the master side is closed
        return false;
    }
}

QByteArray ProgramSide::readUntil(const QByteArray &ending, int timeoutMs) {
    WaitFor([&] { return !pump() || pending_.endsWith(ending); }, timeoutMs);
    const QByteArray got = pending_;
    pending_.clear();
    return got;
}

QByteArray ProgramSide::readFor(int windowMs) {
    WaitFor([&] { return !pump(); }, windowMs);
    const QByteArray got = pending_;
    pending_.clear();
    return got;
}

bool ProgramSide::waitHangUp(int timeoutMs) {
    return WaitFor([&] { return !pump(); }, timeoutMs) && hungUp_;
}
