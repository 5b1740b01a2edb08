#include "sim/requestrecord.h"

#include <QStringList>

#include <chrono>

namespace ksim {

namespace {

const QString kWallFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

QString Escape(const QByteArray &bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

std::optional<QByteArray> Unescape(const QString &text) {
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\')) {
            out += text[i].toLatin1();
            continue;
        }
        bool ok = false;
        const int byte = text.mid(i + 2, 2).toInt(&ok, 16);
        if (text.mid(i + 1, 1) != QLatin1String("x") || !ok)
            return std::nullopt;
        out += char(byte);
        i += 3;
    }
    return out;
}

} // namespace

qint64 MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString FormatRecord(const RequestRecord &record) {
    return QStringList{QStringLiteral("RX"),
                       QString::number(record.monotonicMs),
                       record.wallTime.toString(kWallFormat),
                       RequestKindName(record.kind),
                       Escape(record.text),
                       record.check}
        .join(QLatin1Char('\t'));
}

std::optional<RequestRecord> ParseRecord(const QString &line) {
    const QStringList f = line.split(QLatin1Char('\t'));
    if (f.size() != 6 || f[0] != QLatin1String("RX"))
        return std::nullopt;
    RequestRecord record;
    bool ok = false;
    record.monotonicMs = f[1].toLongLong(&ok);
    record.wallTime = QDateTime::fromString(f[2], kWallFormat);
    const std::optional<RequestKind> kind = RequestKindFromName(f[3]);
    const std::optional<QByteArray> text = Unescape(f[4]);
    if (!ok || !record.wallTime.isValid() || !kind || !text)
        return std::nullopt;
    record.kind = *kind;
    record.text = *text;
    record.check = f[5];
    return record;
}

} // namespace ksim
