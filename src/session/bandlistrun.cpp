#include "session/bandlistrun.h"

#include "core/eventwait.h"
#include "session/instrumentsession.h"

#include <QTimer>

namespace {
// A dwell that ends while another exchange holds the link tries again this soon.
constexpr int LinkBusyRetryMs = 5;
} // namespace

TBandListRun::TBandListRun(TInstrumentSession &session, std::function<void(TScanOutcome)> reportEnd,
                           QObject *parent)
    : QObject(parent), Session(session), ReportEnd(std::move(reportEnd)) {
    DwellTimer = new QTimer(this);
    DwellTimer->setObjectName(QStringLiteral("Timer_BandListDwell"));
    DwellTimer->setSingleShot(true);
    DwellTimer->setTimerType(Qt::PreciseTimer);
    connect(DwellTimer, &QTimer::timeout, this,
            [this] { RunOutsideHandlers(this, [this] { TimedStep(); }); });
    // A lost instrument ends the run, also a stepped one that waits for its next request; the
    // program's close, which closes the link too, ends it as aborted.
    connect(&Session, &TInstrumentSession::LinkClosed, this, [this] {
        End(Session.IsShuttingDown() ? TScanOutcome::Aborted : TScanOutcome::Failed);
    });
}

void TBandListRun::Begin(const QList<TPoint> &entries, int cycles, bool stepped) {
    Entries = entries;
    Cycles = cycles;
    NextPoint = 0;
    Stepped = stepped;
    Moving = false;
    Running = true;
    if (!Stepped)
        DwellTimer->start(0);
}

TBandListRun::TMove TBandListRun::MoveOn() {
    const quint64 run = RunNumber;
    const TPoint &point = Entries.at(NextPoint % Entries.size());
    ++NextPoint;
    Moving = true;
    const bool confirmed = Session.GoToSetPoint(point.Band.CWL, point.Band.FWHM);
    if (run != RunNumber)
        return TMove::Ended;
    Moving = false;
    if (!confirmed) {
        End(TScanOutcome::Failed);
        return TMove::Failed;
    }
    emit Session.SetPointShown(point.ViewMin, point.ViewMax, point.Band.CWL, point.Band.FWHM,
                               point.Band.SW, point.Band.LW);
    return TMove::Confirmed;
}

// The last point is held for its dwell too before the run succeeds, as a scan holds its END.
void TBandListRun::TimedStep() {
    if (!Running || Stepped || Moving)
        return;
    if (!HasNextPoint()) {
        End(TScanOutcome::Succeeded);
        return;
    }
    if (Session.IsLinkBusy()) {
        DwellTimer->start(LinkBusyRetryMs);
        return;
    }
    const int dwellMs = Entries.at(NextPoint % Entries.size()).DwellMs;
    if (MoveOn() == TMove::Confirmed)
        DwellTimer->start(dwellMs);
}

void TBandListRun::End(TScanOutcome outcome) {
    if (!Running)
        return;
    Running = false;
    Moving = false;
    ++RunNumber;
    DwellTimer->stop();
    ReportEnd(outcome);
}

void TBandListRun::Close() {
    if (Running) {
        Running = false;
        ++RunNumber;
        Session.EndScan(TScanOutcome::Aborted);
    }
    DwellTimer->stop();
}
