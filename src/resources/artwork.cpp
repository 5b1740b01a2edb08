#include "resources/artwork.h"

#include <QFont>
#include <QFontDatabase>

QPixmap ArtworkPixmap(const QString &name) {
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
