// The session's operations: set a band, reset, start and stop a scan, with their guards and
// their outcomes.

#include "session/instrumentsession.h"

#include "core/comparisonsigns.h"
#include "scan/threadautoscan.h"
#include "session/bandlistrun.h"
#include "session/scanrun.h"
#include "session/setpointcheck.h"
#include "session/statuscolour.h"

#include <QScopeGuard>

namespace {

const QString RemoteModeActive = QStringLiteral("Remote control mode is activated.");
const QString DeviceNotReady = QStringLiteral("Device not ready. Please connect Kestrune.");
const QString ResetNotReady = QStringLiteral("Reset failure. Device not ready.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost.");

// An outcome with an error code: the client reads code and text, the message bar shows both.
TOperationOutcome Failure(const QByteArray &reply, const QByteArray &code, const QByteArray &text) {
    return {reply, code, text, QString::fromLatin1(code + " : " + text), StatusColour::Red};
}

} // namespace

// The announcement and the asker first, then the message bar, whose repaint lets events run.
void TInstrumentSession::Conclude(const TOutcomeHandler &done, const TOperationOutcome &outcome) {
    emit OperationConcluded(outcome);
    if (done)
        done(outcome);
    if (!outcome.Message.isEmpty())
        Report(outcome.Message, outcome.Colour);
}

// A broken input rule; the client gets the comparison signs of its text as their byte pairs.
void TInstrumentSession::ConcludeRuleFailure(const TOutcomeHandler &done,
                                             const QByteArray &failReply, const QString &code,
                                             const QString &text) {
    Conclude(done, {failReply, code.toLatin1(), ToRemoteBytes(text),
                    code + QStringLiteral(" : ") + text, StatusColour::Red});
}

bool TInstrumentSession::RefusedInRemoteMode(TRequester from) {
    if (from != TRequester::Operator || !RemoteControlled)
        return false;
    Report(RemoteModeActive, StatusColour::Silver);
    return true;
}

bool TInstrumentSession::RefusedUnlessReady(const QString &message, const QByteArray &failReply,
                                            const TOutcomeHandler &done) {
    if (DeviceReady)
        return false;
    Conclude(done, {failReply, NoErrorCode, message.toLatin1(), message, StatusColour::Silver});
    return true;
}

// A lost link is reported and closed, so that the search for the instrument starts again.
bool TInstrumentSession::LinkTest() {
    if (ReadPositions())
        return true;
    Report(LinkLost, StatusColour::Red);
    Action_DeviceClose();
    return false;
}

// The position read runs before the lock is tried, so an operation refused by a busy lock has
// still talked to the instrument.
bool TInstrumentSession::PassLinkTestAndLock() {
    return LinkTest() && BeginOperation();
}

// The button is released and the lock given back also when the body throws: the remote
// dispatcher reports a failure raised inside a command and carries on, and a lock kept past it
// would refuse every later operation.
void TInstrumentSession::RunLocked(TOperation operation, const std::function<void()> &body) {
    const auto release = qScopeGuard([this, operation] {
        emit OperationPressed(operation, false);
        EndOperation();
    });
    emit OperationPressed(operation, true);
    body();
}

void TInstrumentSession::SetBand(TRequester from, int inputMode, const QString &first,
                                 const QString &second, const TOutcomeHandler &done) {
    const QByteArray command =
        inputMode == 1 ? QByteArrayLiteral("SETR") : QByteArrayLiteral("SETC");
    const QByteArray failReply = command + " FAIL";
    if (RefusedInRemoteMode(from) || RefusedUnlessReady(DeviceNotReady, failReply, done))
        return;
    if (!PassLinkTestAndLock())
        return;
    RunLocked(TOperation::SetBand, [&] {
        Report(QStringLiteral("Changing wavelength and FWHM. Please wait..."),
               StatusColour::Silver);
        const TSetPointVerdict verdict = CheckSetPoint(inputMode, first, second, *CalTable);
        if (!verdict.Passed) {
            ConcludeRuleFailure(done, failReply, verdict.Code, verdict.Text);
            return;
        }
        const TBand &band = verdict.SetPoint;
        if (!GoToSetPoint(band.CWL, band.FWHM)) {
            Conclude(done, Failure(failReply, "ERRDV04", "Failed to change wavelength and FWHM."));
            return;
        }
        emit SetPointShown(verdict.Bounds.MinCW - ViewMarginNm, verdict.Bounds.MaxCW + ViewMarginNm,
                           band.CWL, band.FWHM, band.SW, band.LW);
        Conclude(done, {command + " OK",
                        {},
                        {},
                        QStringLiteral("Successfully changed wavelength and FWHM."),
                        StatusColour::Lime});
    });
}

// A running scan holds the lock, so a Reset during a scan ends at the lock silently.
void TInstrumentSession::Reset(TRequester from, const TOutcomeHandler &done) {
    if (RefusedInRemoteMode(from) || RefusedUnlessReady(ResetNotReady, "RESET FAIL", done))
        return;
    if (!PassLinkTestAndLock())
        return;
    RunLocked(TOperation::Reset, [&] {
        Report(QStringLiteral("Restarting device. Please wait..."), StatusColour::Silver);
        if (!HomeAll()) {
            Conclude(done, Failure("RESET FAIL", "ERRDV03", "Reset failure."));
            return;
        }
        // Without a loaded table every bound reads 0 and the range would be a made-up -10 to
        // 10 nm; the view then keeps what it shows.
        if (CalTable->Loaded)
            emit RangeReady(CalTable->GetMinCW() - ViewMarginNm,
                            CalTable->GetMaxCW() + ViewMarginNm);
        Conclude(done, {"RESET OK", {}, {}, QStringLiteral("Reset complete."), StatusColour::Lime});
    });
}

bool TInstrumentSession::IsScanning() const {
    return Scan->IsScanning() || ListRun->IsRunning();
}

void TInstrumentSession::StartScan(TRequester from, const TScanPlanTexts &texts,
                                   const TOutcomeHandler &done) {
    if (RefusedInRemoteMode(from) || RefusedUnlessReady(DeviceNotReady, "SCAN FAIL", done))
        return;
    // A start that lands while a step waits for its move passes the link test without a word on
    // the line (the link is busy), so the move keeps its reply; the scan's lock refuses it.
    if (!LinkTest() || Scan->IsScanning() || !BeginOperation())
        return;
    ScanStart(texts, done);
}

// Entered with the operation lock taken; the lock and the pressed Go stay until the scan's end,
// or go at once when the plan is refused.
void TInstrumentSession::ScanStart(const TScanPlanTexts &texts, const TOutcomeHandler &done) {
    // Until the scan runs, a refusal or a failure raised on the way gives the button and the
    // lock back, as RunLocked does for the other operations.
    bool started = false;
    const auto releaseUnlessStarted = qScopeGuard([this, &started] {
        if (started)
            return;
        emit OperationPressed(TOperation::Scan, false);
        EndOperation();
        Scan->ClearFlags();
    });
    emit OperationPressed(TOperation::Scan, true);
    SetBken(false);
    const TScanPlanVerdict verdict = CheckScanPlan(texts, *CalTable);
    if (!verdict.Passed)
        ConcludeRuleFailure(done, "SCAN FAIL", verdict.Code, verdict.Text);
    // The waits above let events run; a run closed meanwhile has no worker left to start.
    if (!verdict.Passed || Scan->IsClosed())
        return;
    started = true;
    const TScanPlan &plan = verdict.Plan;
    Scan->Begin(plan);
    const TScanWalk walk{plan.START, plan.END, plan.STEP};
    BeginScan(walk.PointCount(), walk.First(), RoundTo(plan.FWHM, -1),
              static_cast<int>(plan.TimeDelay * 1000.0));
    Conclude(done, {"SCAN OK", {}, {}, QStringLiteral("Scanning..."), StatusColour::Yellow});
    Scan->EnsureChecking();
}

void TInstrumentSession::StopScan(TRequester from, const TOutcomeHandler &done) {
    if (from == TRequester::Operator) {
        if (RefusedInRemoteMode(from) || RefusedUnlessReady(DeviceNotReady, {}, done))
            return;
        if (LinkTest() && Scan->IsScanning())
            Scan->RequestAbort();
        else if (ListRun->IsRunning())
            ListRun->End(TScanOutcome::Aborted);
        return;
    }
    if (RefusedUnlessReady(DeviceNotReady, "STOP FAIL", done))
        return;
    if (!IsScanning()) {
        Conclude(done, {"STOP FAIL", NoErrorCode, "No Scan.", {}, {}});
        return;
    }
    // A run ends at once, also inside a move that waits: the move's caller leaves it alone.
    if (ListRun->IsRunning()) {
        ListRun->End(TScanOutcome::Aborted);
        Conclude(done, {"STOP OK", {}, {}, {}, {}});
        return;
    }
    Scan->RequestAbort();
    if (Scan->WaitForStop())
        Conclude(done, {"STOP OK", {}, {}, {}, {}});
    else
        Conclude(done, {"STOP FAIL", NoErrorCode, "Can't stop scan process.", {}, {}});
}

void TInstrumentSession::AbortScanForClose() {
    if (!Scan->IsScanning())
        return;
    Scan->ClearFlags();
    ReportScanEnd(TScanOutcome::Aborted);
}

// The scan is over and its flags cleared: the lock goes first, so that a command arriving in
// the report's repaint finds the instrument free.
void TInstrumentSession::ReportScanEnd(TScanOutcome outcome) {
    EndOperation();
    EndScan(outcome);
    TOperationOutcome report;
    switch (outcome) {
    case TScanOutcome::Aborted:
        report = {"SCAN ABORT", NoErrorCode, "Scan aborted.", QStringLiteral("Scan aborted."),
                  StatusColour::Silver};
        break;
    case TScanOutcome::Succeeded:
        report = {"SCAN SUCCESS", NoErrorCode, "Scan successful.",
                  QStringLiteral("Scan successful."), StatusColour::Lime};
        break;
    case TScanOutcome::Failed:
        report = Failure("SCAN FAIL", "ERRDV05", "Scan failure.");
        break;
    }
    emit ScanEnded(report);
    emit OperationPressed(TOperation::Scan, false);
    Report(report.Message, report.Colour);
}

void TInstrumentSession::SetRemoteControlled(bool controlled) {
    RemoteControlled = controlled;
    emit RemoteControlChanged(controlled);
}
