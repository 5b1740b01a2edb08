#pragma once

#include "core/band.h"
#include "session/scanrecord.h"

#include <QList>
#include <QObject>

#include <functional>

class QTimer;
class TInstrumentSession;

// A band-list run from its start to its outcome: the points (the checked entries, cycle after
// cycle), the move to each one and, in a timed run, the dwell there. The dwell counts from the
// instrument's confirmation of the move, so the time a move takes never eats into it; its timer
// is precise, and its move waits outside the remote server's line handler like every timed
// operation. A stepped run moves only when asked (MoveOn).
//
// Every move waits with events running, so a stop, the link's close or the program's close may
// end the run inside it; the move's caller then finds the run over and leaves it alone. The end
// is reported at once, once per run, through reportEnd.
class TBandListRun : public QObject {
    Q_OBJECT
public:
    // A checked entry: where to go, how long to stay, and the CW range the position view shows
    // around it.
    struct TPoint {
        TBand Band;
        int DwellMs = 0;
        double ViewMin = 0.0;
        double ViewMax = 0.0;
    };
    enum class TMove { Confirmed, Failed, Ended };

    TBandListRun(TInstrumentSession &session, std::function<void(TScanOutcome)> reportEnd,
                 QObject *parent = nullptr);

    bool IsRunning() const { return Running; }
    bool IsStepped() const { return Running && Stepped; }
    bool IsMoving() const { return Moving; }
    bool HasNextPoint() const { return NextPoint < PointCount(); }
    int PointCount() const { return int(Entries.size()) * Cycles; }

    // A timed run makes its first move from the event loop; a stepped one waits for MoveOn.
    void Begin(const QList<TPoint> &entries, int cycles, bool stepped);
    // Moves to the next point. Failed: the instrument did not confirm, and the run has ended as
    // failed; Ended: the run was ended while the move waited.
    TMove MoveOn();
    // Ends a running run now with this outcome and reports it.
    void End(TScanOutcome outcome);
    // The session goes: a running run ends as aborted, without a report.
    void Close();

private:
    void TimedStep();

    TInstrumentSession &Session;
    const std::function<void(TScanOutcome)> ReportEnd;
    QTimer *DwellTimer = nullptr;
    QList<TPoint> Entries;
    int Cycles = 0;
    int NextPoint = 0;     // points moved to, or tried, so far
    quint64 RunNumber = 0; // changes at each end, so that a move's caller can tell
    bool Running = false;
    bool Stepped = false;
    bool Moving = false;
};
