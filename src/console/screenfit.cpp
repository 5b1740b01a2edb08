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
    const double factor = ShrinkToFit(screen->availableGeometry().size(), window.size());
    if (factor < 1.0)
        QHighDpiScaling::setScreenFactor(screen, factor);
}
