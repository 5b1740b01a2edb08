#include "platform/portprobe.h"

#include "platform/comportname.h"
#include "platform/serialcomport.h"

#include <QDir>
#include <QFileInfo>

#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Character devices that other processes have open. Opening a tty, even to find out that it is
// taken, raises its modem lines for everybody, and an administrator's open passes TIOCEXCL; so a
// port in use is recognised from the outside, without opening it. Lock files (as QSerialPort
// takes them) are checked by the open itself.
QSet<dev_t> DevicesHeldByOthers(const QSet<dev_t> &wanted) {
    QSet<dev_t> held;
    const QString self = QString::number(::getpid());
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : processes) {
        if (pid == self || pid.isEmpty() || !pid.front().isDigit())
            continue;
        const QString fdFolder = QStringLiteral("/proc/") + pid + QStringLiteral("/fd/");
        const QStringList fds = QDir(fdFolder).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            struct stat info {};
            if (::stat(QFile::encodeName(fdFolder + fd).constData(), &info) == 0 &&
                S_ISCHR(info.st_mode) && wanted.contains(info.st_rdev))
                held.insert(info.st_rdev);
        }
    }
    return held;
}

} // namespace

QStringList ProbeComPorts() {
    struct Candidate {
        QString name;
        dev_t device;
    };
    QList<Candidate> candidates;
    QSet<dev_t> devices;
    for (int n = 1; n <= MaxComPort; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const QString path = ComPortDevice(name);
        struct stat info {};
        if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 ||
            !S_ISCHR(info.st_mode))
            continue;
        candidates.append({name, info.st_rdev});
        devices.insert(info.st_rdev);
    }
    if (candidates.isEmpty())
        return {};

    const QSet<dev_t> held = DevicesHeldByOthers(devices);
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
