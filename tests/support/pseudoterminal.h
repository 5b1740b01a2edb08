#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair in raw mode. The program under test opens the slave side as its
// serial port; the test (or a simulator) plays the instrument on the master side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return masterFd_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return masterFd_; }

    bool write(const QByteArray &bytes);
    // Whatever the slave side has written so far, without waiting.
    QByteArray readAvailable();
    // Reads until `terminator` has arrived or timeoutMs passed; returns what was read.
    QByteArray readUntil(char terminator, int timeoutMs);
    // Closes the master side: for the slave's user the device is gone (an unplugged adapter).
    void closeMaster();

private:
    int masterFd_ = -1;
    int slaveKeepAliveFd_ = -1; // keeps the slave valid until the program under test opens it
    QString slavePath_;
};
