#pragma once

#include "session/instrumentsession.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class QTimer;

// Estimated time left of a scan, in ms, given the time from its start to its latest move and
// the time since that move. A move's duration is learnt from the moves seen so far (the time to
// the latest move less the dwells done by then); before the first move only the dwells count.
qint64 ScanTimeLeftMs(const TScanProgress &progress, qint64 startToMoveMs, qint64 sinceMoveMs);

// The running scan inside the message frame, under the message: a thin bar of the points moved
// and the line "Point k of n · CWL … nm, FWHM … nm · about m:ss left". Drawn from the session's
// scan progress, the same that the remote protocol reads; hidden while no scan runs.
class TForm_ScanProgress : public QWidget {
    Q_OBJECT
public:
    TForm_ScanProgress(const TInstrumentSession &session, QWidget *parent);

    QString Caption() const { return CaptionText; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Refresh();

    const TInstrumentSession &Session;
    QElapsedTimer SinceStart;
    QTimer *Countdown = nullptr; // redraws the time left between moves
    int Moved = 0;               // the progress's move count when last drawn
    qint64 StartToMoveMs = 0;    // from the scan's start to that move
    double Fraction = 0.0;
    QString CaptionText;
};
