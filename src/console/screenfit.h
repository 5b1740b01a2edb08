#pragma once

#include <QSize>

class QWidget;

// The factor by which a window of size `needed` must shrink to fit `available` with its
// proportions kept; 1 when it fits already.
double ShrinkToFit(const QSize &available, const QSize &needed);

// The console has a fixed size, which a small screen or a large scale (a 1280 x 900 screen at
// 200 % offers 640 x 450) cannot show whole. Then the window's screen is drawn smaller by that
// factor: every window of the program on it shrinks alike, while text and pictures are drawn at
// the screen's own resolution and stay sharp, and every control stays in reach. It shrinks no
// further than one device pixel per console pixel. Call before the window's pictures are made,
// so that they are drawn for the screen's new pixel ratio.
void FitScreenToWindow(QWidget &window);
