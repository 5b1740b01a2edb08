#pragma once

#include <QList>
#include <QString>

// Records the terminal control calls that this test program makes (its own and those of the
// libraries it uses) by standing in for ioctl() and tcsetattr(); each call is still made.
struct TerminalCall {
    QString device;        // what the descriptor was open on, e.g. /dev/pts/3
    unsigned long request; // the ioctl request, or TCSETS for tcsetattr
    int modemLines;        // the argument of TIOCMBIS/TIOCMBIC/TIOCMSET, else 0
};

void StartRecordingTerminalCalls();
QList<TerminalCall> StopRecordingTerminalCalls();
