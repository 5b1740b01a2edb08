#include "device/commlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <new>

bool TCommLog::StartLog(const QString &folder) {
    try {
        QDir().mkpath(folder);
        Folder = folder;
        Stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        Enabled = true;
        return true;
    } catch (const std::bad_alloc &) {
        Enabled = false;
        return false;
    }
}

QString TCommLog::filePath() const {
    if (!Enabled)
        return QString();
    return Folder + QStringLiteral("Log ") + Stamp + QStringLiteral(".ini");
}

bool TCommLog::AddLog(const QString &text, const char *data, int count) const {
    if (!Enabled)
        return false;
    // Composing an entry can fail only for want of memory; the entry is then lost, as one that
    // cannot be written.
    try {
        static const char Hex[] = "0123456789ABCDEF";
        QByteArray line =
            QDateTime::currentDateTime().toString(QStringLiteral("[yyMMdd-HHmmss] ")).toLatin1();
        // A text with line breaks of its own (a reply of several lines, logged whole) becomes
        // several lines of the file, each ended by CR LF like every other line.
        QByteArray body = text.toLatin1();
        body.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
        line += body;
        if (count >= 1 && data) {
            line.reserve(line.size() + 4 * count + 4);
            line += " #";
            for (int i = 0; i < count; ++i) {
                const auto byte = static_cast<unsigned char>(data[i]);
                line += '{';
                line += Hex[byte >> 4];
                line += Hex[byte & 0x0F];
                line += '}';
            }
            line += '#';
        }
        line += "\r\n";
        // Appending leaves the same file as rewriting it with the new line at the end, at a
        // cost that does not grow with the log.
        QFile file(filePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        const bool written = file.write(line) == line.size();
        file.close();
        return written && file.error() == QFileDevice::NoError;
    } catch (const std::bad_alloc &) {
        return false;
    }
}
