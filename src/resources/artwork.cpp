#include "resources/artwork.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

QPixmap ArtworkPixmap(const QString &name) {
    return ArtworkPixmap(name, qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
}

QPixmap ArtworkPixmap(const QString &name, qreal devicePixelRatio) {
    if (devicePixelRatio > 1.0) {
        QPixmap sharp(QStringLiteral(":/art/") + name + QStringLiteral("@2x.png"));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QPixmap(QStringLiteral(":/art/") + name + QStringLiteral(".png"));
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
