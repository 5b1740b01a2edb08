#include "resources/artwork.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

QPixmap ArtworkPixmap(const QString &name) {
    return ArtworkPixmap(name, qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
}

QPixmap ArtworkPixmap(const QString &name, qreal devicePixelRatio) {
    QPixmap picture;
    if (devicePixelRatio > 1.0) {
        picture.load(QStringLiteral(":/art/") + name + QStringLiteral("@2x.png"));
        picture.setDevicePixelRatio(2.0);
    }
    if (picture.isNull())
        picture.load(QStringLiteral(":/art/") + name + QStringLiteral(".png"));
    // A screen shrunk to fit the console (or scaled by a fraction) would have the painter shrink
    // the picture pixel by pixel; resampled once to the screen's own pixels it stays sharp.
    const qreal drawn = picture.devicePixelRatio();
    if (picture.isNull() || qFuzzyCompare(drawn, devicePixelRatio) || devicePixelRatio <= 0.0)
        return picture;
    const QSize logical = (QSizeF(picture.size()) / drawn).toSize();
    QPixmap resampled =
        picture.scaled(logical * devicePixelRatio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    resampled.setDevicePixelRatio(devicePixelRatio);
    return resampled;
}

void InstallInterfaceFonts() {
    static const bool installed = [] {
        // The embedded copy keeps the labels right on a system without Open Sans.
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/OpenSans-Regular.ttf"));
        QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("Verdana"),
                                    QStringLiteral("Open Sans")});
        return true;
    }();
    Q_UNUSED(installed);
}
