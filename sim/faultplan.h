#pragma once

#include <QByteArray>
#include <QMap>

namespace ksim {

enum class UnplugMode {
    RemoveLink, // the port disappears from Ports/, as when an adapter is pulled
    DangleLink  // Ports/COMn stays and points at a device that is gone
};

// How one information item is answered instead of the profile's value.
struct InfoAnswer {
    enum class Mode {
        Value, // "INFO n <value>"
        Empty, // "INFO n" with no value
        Silent // no reply at all
    };
    Mode mode = Mode::Value;
    QByteArray value;
};

// The faults the simulated instrument shows on demand. All off by default; every switch can be
// changed at run time and takes effect with the next request.
struct FaultPlan {
    static constexpr int kEveryRequest = -1;

    // Requests heard but left unanswered: 0 none, N the next N, kEveryRequest all. The
    // instrument acts as if it never got them, so positions do not change.
    int unanswered = 0;
    int extraDelayMs = 0;       // added to the working time before every reply
    int noiseBytes = 0;         // printable garbage (never CR) written in front of each reply
    bool echo = false;          // the request line and its CR come back in front of the reply
    bool crlf = false;          // replies end with CR LF instead of CR
    int splitPieces = 1;        // each reply written in this many parts...
    int splitPauseMs = 150;     // ...with this pause between them
    QByteArray identification;  // answers "?" when not empty
    bool bkenInverted = false;  // BKEN reports the state opposite to the one requested
    QMap<int, InfoAnswer> info; // per item number
    int unplugAfter = 0;        // unplug once this many further requests are done; 0 off
    UnplugMode unplugMode = UnplugMode::RemoveLink;
};

} // namespace ksim
