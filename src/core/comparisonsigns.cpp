#include "core/comparisonsigns.h"

namespace {
constexpr char16_t GreaterOrEqual = 0x2265;
constexpr char16_t LessOrEqual = 0x2264;
constexpr char LeadByte = char(0xA1);
constexpr char GreaterOrEqualTrail = char(0xC3);
constexpr char LessOrEqualTrail = char(0xC2);
} // namespace

QByteArray ToRemoteBytes(const QString &text) {
    QByteArray bytes;
    bytes.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c.unicode() == GreaterOrEqual) {
            bytes.append(LeadByte).append(GreaterOrEqualTrail);
        } else if (c.unicode() == LessOrEqual) {
            bytes.append(LeadByte).append(LessOrEqualTrail);
        } else {
            bytes.append(c.unicode() < 256 ? char(c.unicode()) : '?');
        }
    }
    return bytes;
}

QString FromRemoteBytes(const QByteArray &bytes) {
    QString text;
    text.reserve(bytes.size());
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == LeadByte && i + 1 < bytes.size()) {
            if (bytes.at(i + 1) == GreaterOrEqualTrail) {
                text.append(QChar(GreaterOrEqual));
                ++i;
                continue;
            }
            if (bytes.at(i + 1) == LessOrEqualTrail) {
                text.append(QChar(LessOrEqual));
                ++i;
                continue;
            }
        }
        text.append(QChar(uchar(bytes.at(i))));
    }
    return text;
}
