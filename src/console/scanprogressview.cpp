#include "console/scanprogressview.h"

#include "core/numbers.h"
#include "resources/consolewidgets.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {
const QColor Groove{0x23, 0x23, 0x23};
const QColor Bar{0xff, 0xff, 0x00}; // the message bar's colour while a scan runs
const QColor CaptionColour{0xc8, 0xc8, 0xc8};
constexpr int BarHeight = 3;
// As large as the message bar's footer, and bold like it, so that it reads at a glance.
constexpr int CaptionPixels = 11;
constexpr int BarInset = 12; // from the frame's window edges, as the message text
constexpr int CountdownMs = 1000;
} // namespace

qint64 ScanTimeLeftMs(const TScanProgress &progress, qint64 startToMoveMs, qint64 sinceMoveMs) {
    const qint64 dwell = progress.DwellMs;
    if (progress.Moved <= 0)
        return progress.Total * dwell;
    // At the k-th move k moves and k - 1 dwells lay behind.
    const qint64 perMove =
        std::max<qint64>(0, startToMoveMs - (progress.Moved - 1) * dwell) / progress.Moved;
    return std::max<qint64>(0, dwell - sinceMoveMs) +
           (progress.Total - progress.Moved) * (perMove + dwell);
}

TForm_ScanProgress::TForm_ScanProgress(const TInstrumentSession &session, QWidget *parent)
    : QWidget(parent), Session(session) {
    setObjectName(QStringLiteral("Form_ScanProgress"));
    setAttribute(Qt::WA_TransparentForMouseEvents); // the message bar keeps its double click
    setAccessibleName(QStringLiteral("Scan progress"));
    Countdown = new QTimer(this);
    Countdown->setInterval(CountdownMs);
    connect(Countdown, &QTimer::timeout, this, &TForm_ScanProgress::Refresh);
    connect(&Session, &TInstrumentSession::ScanProgressChanged, this, &TForm_ScanProgress::Refresh);
    hide();
}

void TForm_ScanProgress::Refresh() {
    const std::optional<TScanProgress> progress = Session.ScanProgress();
    if (!progress || progress->Total <= 0) {
        Countdown->stop();
        SinceStart.invalidate();
        CaptionText.clear();
        setToolTip(QString());
        hide();
        return;
    }
    if (!SinceStart.isValid()) {
        SinceStart.start();
        Countdown->start();
        Moved = 0;
        StartToMoveMs = 0;
    }
    if (progress->Moved != Moved) {
        Moved = progress->Moved;
        StartToMoveMs = SinceStart.elapsed();
    }
    Fraction = double(progress->Moved) / progress->Total;
    const qint64 leftMs =
        ScanTimeLeftMs(*progress, StartToMoveMs, SinceStart.elapsed() - StartToMoveMs);
    const qint64 leftS = (leftMs + 999) / 1000;
    const QString left = QStringLiteral("%1:%2").arg(leftS / 60).arg(leftS % 60, 2, 10, QChar('0'));
    CaptionText = QStringLiteral("Point %1 of %2 \u00b7 CWL %3 nm, FWHM %4 nm \u00b7 about %5 left")
                      .arg(std::max(progress->Moved, 1))
                      .arg(progress->Total)
                      .arg(FormatFloat(QStringLiteral("0.0"), progress->Band.CWL),
                           FormatFloat(QStringLiteral("0.0"), progress->Band.FWHM), left);
    setToolTip(CaptionText);
    show();
    update();
}

void TForm_ScanProgress::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QRect groove(BarInset, 1, width() - 2 * BarInset, BarHeight);
    p.fillRect(groove, Groove);
    p.fillRect(QRect(groove.topLeft(), QSize(qRound(groove.width() * Fraction), BarHeight)), Bar);
    QFont font = ConsoleFont(CaptionPixels);
    font.setWeight(QFont::DemiBold);
    p.setFont(font);
    p.setPen(CaptionColour);
    p.drawText(QRect(0, BarHeight + 3, width(), height() - BarHeight - 3), Qt::AlignCenter,
               CaptionText);
}
