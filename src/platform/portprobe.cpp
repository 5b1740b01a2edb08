#include "platform/portprobe.h"

#include "platform/comportname.h"
#include "platform/serialcomport.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The pseudo-terminal index of a /dev/ptmx descriptor, from its fdinfo; -1 for anything else.
int PtyIndexOfMaster(int fdFolder, const char *fdName) {
    char path[PATH_MAX];
    std::snprintf(path, sizeof path, "../fdinfo/%s", fdName);
    const int info = ::openat(fdFolder, path, O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return -1;
    char text[512];
    const ssize_t n = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char *line = std::strstr(text, "tty-index:");
    return line ? std::atoi(line + std::strlen("tty-index:")) : -1;
}

// Devices (by path) that other processes have open. Opening a tty, even to find out that it is
// taken, raises its modem lines for everybody, and an administrator's open passes TIOCEXCL; so a
// port in use is recognised from the outside, without opening it. The kernel names an open
// device by its real path, as the ports' canonical paths are. Lock files (as QSerialPort takes
// them) are checked by the open itself.
// A pseudo-terminal's slave held by the process that also holds its master is not in use: that
// process is the device (an instrument simulator keeps its slave open so that the device stays
// valid between users).
QSet<QByteArray> DevicesHeldByOthers(const QSet<QByteArray> &wanted) {
    QSet<QByteArray> held;
    const long self = long(::getpid());
    DIR *processes = ::opendir("/proc");
    if (!processes)
        return held;
    while (const dirent *process = ::readdir(processes)) {
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        const QByteArray fdFolder = QByteArray("/proc/") + process->d_name + "/fd";
        DIR *fds = ::opendir(fdFolder.constData());
        if (!fds)
            continue;
        QSet<QByteArray> heldHere;
        QSet<QByteArray> ownSlaves;
        while (const dirent *fd = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target);
            if (n <= 5 || std::strncmp(target, "/dev/", 5) != 0)
                continue;
            const QByteArray path(target, n);
            if (wanted.contains(path)) {
                heldHere.insert(path);
            } else if (path == "/dev/ptmx" || path == "/dev/pts/ptmx") {
                const int index = PtyIndexOfMaster(::dirfd(fds), fd->d_name);
                if (index >= 0)
                    ownSlaves.insert("/dev/pts/" + QByteArray::number(index));
            }
        }
        ::closedir(fds);
        for (const QByteArray &path : std::as_const(heldHere))
            if (!ownSlaves.contains(path))
                held.insert(path);
    }
    ::closedir(processes);
    return held;
}

} // namespace

QStringList ProbeComPorts() {
    struct Candidate {
        QString name;
        QByteArray device;
    };
    QList<Candidate> candidates;
    QSet<QByteArray> devices;
    for (int n = 1; n <= MaxComPort; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const QString path = ComPortDevice(name);
        struct stat info {};
        if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 ||
            !S_ISCHR(info.st_mode))
            continue;
        const QByteArray device = QFile::encodeName(QFileInfo(path).canonicalFilePath());
        candidates.append({name, device});
        devices.insert(device);
    }
    if (candidates.isEmpty())
        return {};

    const QSet<QByteArray> held = DevicesHeldByOthers(devices);
    QStringList result;
    for (const Candidate &candidate : candidates) {
        if (held.contains(candidate.device))
            continue;
        TSerialComPort port;
        port.SetPort(candidate.name);
        if (port.Open()) {
            result.append(candidate.name);
            port.Close();
        }
    }
    return result;
}
