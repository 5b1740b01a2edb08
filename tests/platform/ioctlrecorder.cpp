#include "ioctlrecorder.h"

#include <QFile>

#include <cstdarg>
#include <dlfcn.h>
#include <mutex>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::mutex recordMutex;
bool recording = false;
QList<TerminalCall> calls;

void Record(int fd, unsigned long request, const void *arg) {
    std::lock_guard<std::mutex> lock(recordMutex);
    if (!recording)
        return;
    char path[256] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), path, sizeof path - 1);
    const bool modem = request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET;
    calls.append({n > 0 ? QFile::decodeName(QByteArray(path, n)) : QString(), request,
                  modem && arg ? *static_cast<const int *>(arg) : 0});
}

} // namespace

void StartRecordingTerminalCalls() {
    std::lock_guard<std::mutex> lock(recordMutex);
    calls.clear();
    recording = true;
}

QList<TerminalCall> StopRecordingTerminalCalls() {
    std::lock_guard<std::mutex> lock(recordMutex);
    recording = false;
    return calls;
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    using Real = int (*)(int, unsigned long, ...);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
    Record(fd, request, arg);
    return real(fd, request, arg);
}

extern "C" int tcsetattr(int fd, int action, const struct termios *settings) noexcept {
    using Real = int (*)(int, int, const struct termios *);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    Record(fd, TCSETS, nullptr);
    return real(fd, action, settings);
}
