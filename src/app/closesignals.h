#pragma once

#include <QObject>

#include <array>

class QSocketNotifier;

// SIGTERM and SIGINT (a logout, `kill`, Ctrl+C in a terminal) as a Qt signal on the thread that
// runs the event loop. A signal handler may only write to a descriptor, so the handler writes a
// byte into a pipe and CloseRequested is emitted when the event loop reads it. Installed once for
// the process: the object must outlive the window whose close it asks for, so that a signal that
// arrives while the settings are written back is swallowed rather than ending the process
// half-way.
class TCloseSignals : public QObject {
    Q_OBJECT
public:
    TCloseSignals();
    ~TCloseSignals() override;

    // Only from here on is CloseRequested emitted; a signal that arrived before has waited in the
    // pipe and is delivered as soon as the event loop runs.
    void Enable();

signals:
    void CloseRequested();

private:
    void Arrived();

    std::array<int, 2> Pipe{-1, -1};
    QSocketNotifier *Notifier = nullptr;
};
