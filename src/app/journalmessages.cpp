#include "journalmessages.h"

#include "session/statuscolour.h"

#include <QApplication>

namespace {
// Priorities of syslog(3), as the journal reads them from a line's "<n>" prefix.
constexpr int Error = 3;
constexpr int Notice = 5;
constexpr int Info = 6;

int Priority(const QColor &colour) {
    if (colour == StatusColour::Red)
        return Error;
    if (colour == StatusColour::Lime)
        return Notice;
    return Info; // silver progress and refusals, the yellow of a running scan
}
} // namespace

TJournalMessages::TJournalMessages(std::FILE *out, QObject *parent) : QObject(parent), Out(out) {}

bool TJournalMessages::Wanted() {
    return QApplication::platformName() == QLatin1String("offscreen");
}

QByteArray TJournalMessages::Line(const QString &text, const QColor &colour) {
    // A line break inside a text would start a line of the wrong priority.
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return '<' + QByteArray::number(Priority(colour)) + '>' + flat.toUtf8() + '\n';
}

void TJournalMessages::Write(const QString &text, const QColor &colour) {
    const QByteArray line = Line(text, colour);
    if (line == Last)
        return;
    Last = line;
    std::fwrite(line.constData(), 1, size_t(line.size()), Out);
    std::fflush(Out);
}
