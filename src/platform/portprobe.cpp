#include "platform/portprobe.h"

#include "platform/comportname.h"
#include "platform/serialcomport.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Devices (by path) that other processes have open. Opening a tty, even to find out that it is
// taken, raises its modem lines for everybody, and an administrator's open passes TIOCEXCL; so a
// port in use is recognised from the outside, without opening it. The kernel names an open
// device by its real path, as the ports' canonical paths are. Lock files (as QSerialPort takes
// them) are checked by the open itself.
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
        while (const dirent *fd = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target);
            if (n > 5 && std::strncmp(target, "/dev/", 5) == 0) {
                const QByteArray path(target, n);
                if (wanted.contains(path))
                    held.insert(path);
            }
        }
        ::closedir(fds);
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
