#pragma once

#include <QPixmap>
#include <QString>

// A picture of the interface by its artwork name (for example "tab_set_on"). The pictures are
// compiled in; an unknown name gives a null pixmap.
QPixmap ArtworkPixmap(const QString &name);

// Registers the built-in Open Sans and maps Tahoma, the console's default face, to a close
// substitute that exists on this system. Safe to call more than once.
void InstallInterfaceFonts();
