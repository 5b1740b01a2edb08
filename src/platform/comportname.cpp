#include "platform/comportname.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFileInfo>

int ComPortNumber(const QString &name) {
    if (!name.startsWith(QLatin1String("COM")) || name.size() < 4 || name.size() > 5)
        return 0;
    const QStringView digits = QStringView(name).mid(3);
    if (digits.front() == QLatin1Char('0'))
        return 0;
    int n = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        n = n * 10 + (c.unicode() - '0');
    }
    return n <= MaxComPort ? n : 0;
}

QString ComPortDevice(const QString &name) {
    const int n = ComPortNumber(name);
    if (n == 0)
        return QString();
    const QString ports = ProgramFolder() + QStringLiteral("Ports");
    if (QFileInfo(ports).isDir()) {
        const QFileInfo entry(ports + QStringLiteral("/COM%1").arg(n));
        if (!entry.isSymLink())
            return QString();
        return entry.canonicalFilePath(); // empty when the target is gone
    }
    if (n <= 32)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 1);
    if (n <= 48)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 33);
    return QStringLiteral("/dev/ttyS%1").arg(n - 49);
}
