#pragma once

#include <QString>

namespace ksim {

class VirtualInstrument;

struct ControlResult {
    QString reply;     // "OK ..." or "ERR <reason>", one line
    bool quit = false; // the controller asked the simulator to end
};

// Runs one control line (from standard input, the control socket or a command-line option)
// against the instrument. The commands are listed by ControlHelp() and in sim/README.md.
ControlResult ExecuteControlCommand(VirtualInstrument &instrument, const QString &line);
QString ControlHelp();

} // namespace ksim
