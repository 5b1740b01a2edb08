#pragma once

#include <QPixmap>
#include <QString>

// A picture of the interface by its artwork name (for example "tab_set_on"). The pictures are
// compiled in; an unknown name gives a null pixmap. On a screen scaled above 1 (the application's
// device pixel ratio, or the one given) it is the picture drawn at twice the size, with a device
// pixel ratio of 2, so it takes the same place and stays sharp; at a ratio other than 1 or 2 it
// is resampled smoothly to that ratio's pixels.
QPixmap ArtworkPixmap(const QString &name);
QPixmap ArtworkPixmap(const QString &name, qreal devicePixelRatio);

// Registers the built-in Open Sans and maps Tahoma, the console's default face, to a close
// substitute that exists on this system. Safe to call more than once.
void InstallInterfaceFonts();
