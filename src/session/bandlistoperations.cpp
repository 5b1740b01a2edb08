// The session's band-list runs: start, step and end, with their guards and outcomes.

#include "session/bandlistrun.h"
#include "session/instrumentsession.h"
#include "session/statuscolour.h"

namespace {

const QString NotReady = QStringLiteral("Device not ready. Please connect Kestrune.");
constexpr int MaxCycles = 10000;

// A whole number written as one, from 1 to MaxCycles; 0 otherwise.
int ReadCycles(const QString &text) {
    bool whole = false;
    const int cycles = text.toInt(&whole);
    return whole && cycles >= 1 && cycles <= MaxCycles ? cycles : 0;
}

} // namespace

bool TInstrumentSession::IsBandListRunning() const {
    return ListRun->IsRunning();
}

bool TInstrumentSession::IsBandListStepped() const {
    return ListRun->IsStepped();
}

void TInstrumentSession::RunBandList(TRequester from, const QString &cycles, bool stepped,
                                     const TOutcomeHandler &done) {
    const QByteArray failReply = stepped ? "STEPLIST FAIL" : "RUNLIST FAIL";
    if (RefusedInRemoteMode(from) || RefusedUnlessReady(NotReady, failReply, done))
        return;
    if (!LinkTest() || IsScanning() || !BeginOperation())
        return;
    BandListStart(cycles, stepped, done);
}

// Entered with the lock taken; it stays until the run's end, or goes at once when the run is
// refused. The entries become their points only here, against the table loaded now.
void TInstrumentSession::BandListStart(const QString &cyclesText, bool stepped,
                                       const TOutcomeHandler &done) {
    const QByteArray failReply = stepped ? "STEPLIST FAIL" : "RUNLIST FAIL";
    emit OperationPressed(TOperation::BandList, true);
    const auto refuse = [&](const QString &code, const QString &text) {
        ConcludeRuleFailure(done, failReply, code, text);
        emit OperationPressed(TOperation::BandList, false);
        EndOperation();
    };
    const QList<TBandListEntry> &entries = List->Entries();
    if (entries.isEmpty())
        return refuse(QStringLiteral("ERRLS02"), QStringLiteral("Band list is empty."));
    const int cycles = ReadCycles(cyclesText);
    if (cycles == 0)
        return refuse(QStringLiteral("ERRLS03"),
                      QStringLiteral("[Cycles] must be an integer from 1 to 10000."));
    const QList<TBandListVerdict> verdicts = CheckBandList(entries, *CalTable);
    QList<TBandListRun::TPoint> points;
    points.reserve(entries.size());
    for (int k = 0; k < entries.size(); ++k) {
        const TBandListEntry &entry = entries.at(k);
        const TBandListVerdict &verdict = verdicts.at(k);
        if (!verdict.Passed)
            return refuse(verdict.Code, QStringLiteral("Entry %1: ").arg(k + 1) + verdict.Text);
        points.append({TBand::FromCentre(entry.CWL, entry.FWHM),
                       static_cast<int>(entry.Dwell * 1000.0),
                       CalTable->GetMinCWForFWHM(entry.FWHM) - ViewMarginNm,
                       CalTable->GetMaxCWForFWHM(entry.FWHM) + ViewMarginNm});
    }
    // The progress view reckons the time left from one dwell per point: a timed run's mean one;
    // a stepped run waits for its client, whose pace nobody knows beforehand.
    qint64 dwellSumMs = 0;
    for (const TBandListRun::TPoint &point : points)
        dwellSumMs += point.DwellMs;
    const TBandListRun::TPoint &first = points.first();
    BeginScan(int(points.size()) * cycles, first.Band.CWL, first.Band.FWHM,
              stepped ? 0 : int(dwellSumMs / points.size()), int(points.size()));
    ListRun->Begin(points, cycles, stepped);
    if (!stepped) {
        Conclude(
            done,
            {"RUNLIST OK", {}, {}, QStringLiteral("Band list running..."), StatusColour::Yellow});
        return;
    }
    // The run's end has been reported when the first move failed or a stop came during it;
    // the reply only says so.
    switch (ListRun->MoveOn()) {
    case TBandListRun::TMove::Confirmed:
        break;
    case TBandListRun::TMove::Failed:
        Conclude(done, {failReply, "ERRDV05", "Scan failure.", {}, {}});
        return;
    case TBandListRun::TMove::Ended:
        Conclude(done, {failReply, NoErrorCode, "Band list aborted.", {}, {}});
        return;
    }
    Conclude(
        done,
        {"STEPLIST OK", {}, {}, QStringLiteral("Band list stepping..."), StatusColour::Yellow});
}

void TInstrumentSession::NextBandListPoint(TRequester from, const TOutcomeHandler &done) {
    if (RefusedInRemoteMode(from))
        return;
    if (!ListRun->IsStepped()) {
        Conclude(done, {"NEXT FAIL", NoErrorCode, "No stepped run.", {}, {}});
        return;
    }
    if (ListRun->IsMoving()) {
        Conclude(done, {"NEXT FAIL", NoErrorCode, "Band list is moving.", {}, {}});
        return;
    }
    if (!ListRun->HasNextPoint()) {
        ListRun->End(TScanOutcome::Succeeded);
        Conclude(done, {"NEXT END", {}, {}, {}, {}});
        return;
    }
    switch (ListRun->MoveOn()) {
    case TBandListRun::TMove::Confirmed:
        Conclude(done,
                 {"NEXT OK " + QByteArray::number(Progress ? Progress->Moved : 0), {}, {}, {}, {}});
        return;
    case TBandListRun::TMove::Failed:
        Conclude(done, {"NEXT FAIL", "ERRDV05", "Scan failure.", {}, {}});
        return;
    case TBandListRun::TMove::Ended:
        Conclude(done, {"NEXT FAIL", NoErrorCode, "No stepped run.", {}, {}});
        return;
    }
}

// As a scan's end: the lock goes first, so that a command arriving in the report's repaint finds
// the instrument free.
void TInstrumentSession::ReportBandListEnd(TScanOutcome outcome) {
    EndOperation();
    EndScan(outcome);
    TOperationOutcome report;
    switch (outcome) {
    case TScanOutcome::Aborted:
        report = {"LIST ABORT", NoErrorCode, "Band list aborted.",
                  QStringLiteral("Band list aborted."), StatusColour::Silver};
        break;
    case TScanOutcome::Succeeded:
        report = {"LIST SUCCESS", NoErrorCode, "Band list finished.",
                  QStringLiteral("Band list finished."), StatusColour::Lime};
        break;
    case TScanOutcome::Failed:
        report = {"LIST FAIL", "ERRDV05", "Scan failure.",
                  QStringLiteral("ERRDV05 : Scan failure."), StatusColour::Red};
        break;
    }
    emit ScanEnded(report);
    emit OperationPressed(TOperation::BandList, false);
    Report(report.Message, report.Colour);
}
