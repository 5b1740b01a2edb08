#pragma once

#include <QByteArray>
#include <QString>

// Messages are built with the signs U+2265 and U+2264, which the message bar shows. Remote
// clients receive single-byte text in which each sign is the code-page-949 byte pair:
// 0xA1 0xC3 for the greater-or-equal sign, 0xA1 0xC2 for the less-or-equal sign. Every other
// character of these texts is ASCII and travels as itself.
QByteArray ToRemoteBytes(const QString &text);

// The reverse, for showing a remote byte text on screen.
QString FromRemoteBytes(const QByteArray &bytes);
