#include "platform/textfile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

enum class Layout { Bytes, Utf16Le, Utf16Be };

// Lines are split on the raw bytes (or 16-bit units) before decoding: CR and LF can never be
// part of a multi-byte sequence in the encodings we read, and decoding each line on its own
// keeps a broken sequence from swallowing the line break that follows it.
template <typename UnitAt>
void SplitLines(const char *data, qsizetype size, int unit, UnitAt unitAt, QStringDecoder &decoder,
                QStringList &lines) {
    const qsizetype units = size / unit;
    qsizetype start = 0;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t c = unitAt(data + i * unit);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(decoder.decode(QByteArrayView(data + start * unit, (i - start) * unit)));
        if (c == u'\r' && i + 1 < units && unitAt(data + (i + 1) * unit) == u'\n')
            ++i;
        start = i + 1;
    }
    const qsizetype tailStart = start * unit;
    if (tailStart < size) {
        QString tail = decoder.decode(QByteArrayView(data + tailStart, (units - start) * unit));
        // A lone byte after the last whole UTF-16 unit is kept as a visible replacement.
        if (size % unit != 0)
            tail.append(QChar(QChar::ReplacementCharacter));
        lines.append(tail);
    }
}

} // namespace

bool ReadTextFileLines(const QString &path, QStringList &lines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    QStringDecoder::Encoding encoding = QStringDecoder::System;
    Layout layout = Layout::Bytes;
    qsizetype skip = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = QStringDecoder::Utf8;
        skip = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        layout = Layout::Utf16Le;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        layout = Layout::Utf16Be;
        skip = 2;
    }
    // Each line is decoded on its own; a U+FEFF at the start of a line is text, not a mark.
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless |
                                         QStringDecoder::Flag::ConvertInitialBom);

    QStringList result;
    const char *data = bytes.constData() + skip;
    const qsizetype size = bytes.size() - skip;
    switch (layout) {
    case Layout::Bytes:
        SplitLines(
            data, size, 1, [](const char *p) { return char16_t(uchar(*p)); }, decoder, result);
        break;
    case Layout::Utf16Le:
        SplitLines(
            data, size, 2, [](const char *p) { return char16_t(uchar(p[0]) | (uchar(p[1]) << 8)); },
            decoder, result);
        break;
    case Layout::Utf16Be:
        SplitLines(
            data, size, 2, [](const char *p) { return char16_t((uchar(p[0]) << 8) | uchar(p[1])); },
            decoder, result);
        break;
    }
    lines.swap(result);
    return true;
}
