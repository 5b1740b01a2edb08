#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// Waits until done() holds or timeoutMs passed, letting events run meanwhile (an in-process
// simulator works only while they do). Returns done().
bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000);

// The program's end of the simulated line, kept deliberately plain: a raw file descriptor on the
// device (or on the Ports/COMn link to it), so the simulator is tested without the program's link.
class ProgramSide {
public:
    explicit ProgramSide(const QString &path);
    ~ProgramSide();
    ProgramSide(const ProgramSide &) = delete;
    ProgramSide &operator=(const ProgramSide &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // Writes the request and its CR.
    bool send(const QByteArray &request);
    // Everything that arrives until the bytes read end with `ending` or timeoutMs passed.
    QByteArray readUntil(const QByteArray &ending = "\r", int timeoutMs = 5000);
    // Whatever arrives within the window; for proving that nothing does.
    QByteArray readFor(int windowMs);
    // True once the other side has gone (the pseudo-terminal's master was closed).
    bool waitHangUp(int timeoutMs = 5000);

    struct Chunk {
        qint64 atMs; // monotonic
        QByteArray bytes;
    };
    // Every read so far, with its arrival time.
    const QVector<Chunk> &chunks() const { return chunks_; }

private:
    // Reads what is waiting; false once the line reports a hang-up.
    bool pump();

    int fd_ = -1;
    bool hungUp_ = false;
    QByteArray pending_;
    QVector<Chunk> chunks_;
};
