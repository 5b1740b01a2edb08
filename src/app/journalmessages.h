#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdio>

class QColor;
class QString;

// The message bar of a program that nobody watches. Without a display (the offscreen platform,
// as the headless service runs it) every message-bar text is also written to standard error, one
// line each, behind the syslog priority prefix that the journal reads as the line's priority:
// <3> for an error, <5> for a success, <6> for progress and notices. A text that repeats the one
// before it (the search says the same every second while it finds nothing) changes nothing in the
// bar and is not written again.
class TJournalMessages : public QObject {
    Q_OBJECT
public:
    explicit TJournalMessages(std::FILE *out = stderr, QObject *parent = nullptr);

    // True where no window can be seen.
    static bool Wanted();
    // The line for one message, with its priority and a final line feed.
    static QByteArray Line(const QString &text, const QColor &colour);

    void Write(const QString &text, const QColor &colour);

private:
    std::FILE *Out;
    QByteArray Last;
};
