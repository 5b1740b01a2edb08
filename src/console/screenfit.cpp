#include "console/screenfit.h"

#include <QScreen>
#include <QWidget>
#include <QtGui/private/qhighdpiscaling_p.h>

#include <algorithm>

double ShrinkToFit(const QSize &available, const QSize &needed) {
    if (needed.isEmpty() || available.isEmpty())
        return 1.0;
    const double across = double(available.width()) / needed.width();
    const double down = double(available.height()) / needed.height();
    return std::min({1.0, across, down});
}

// Qt scales a whole screen only through its high-DPI factor, which has no public setter; this
// one replaces a factor set for that screen by QT_SCREEN_SCALE_FACTORS, and multiplies with
// QT_SCALE_FACTOR as that does.
void FitScreenToWindow(QWidget &window) {
    QScreen *screen = window.screen();
    if (!screen)
        return;
    // Below one device pixel per console pixel Qt's widgets draw their text misplaced, so the
    // console shrinks no further than that: a screen of fewer than 910 x 624 pixels stays
    // too small.
    const double leastFactor = 1.0 / screen->devicePixelRatio();
    const double factor =
        std::max(leastFactor, ShrinkToFit(screen->availableGeometry().size(), window.size()));
    if (factor < 1.0)
        QHighDpiScaling::setScreenFactor(screen, factor);
}
