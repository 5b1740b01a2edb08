#pragma once

#include "core/band.h"

#include <QString>

class TCalData;

// A set-point is a pass band: centre and width, or the two edges.
using TSetPoint = TBand;

// The table bounds a set-point check reads; the SET panel keeps them after every run.
struct TSetPointBounds {
    double MinCW = 0.0;
    double MaxCW = 0.0;
    double MinFWHM = 0.0;
    double MaxFWHM = 0.0;
    double MinCWForFWHM = 0.0;
    double MaxCWForFWHM = 0.0;
};

struct TSetPointVerdict {
    bool Passed = false;
    QString Code;           // "ERRSE01" .. "ERRSE20" when not passed
    QString Text;           // the error text without the code, signs as Unicode characters
    TSetPointBounds Bounds; // always filled
    TSetPoint SetPoint;     // the full set-point, each value rounded to two decimals; when passed
};

// The rules shared by the local and the remote set-point validation. inputMode 0: first = CWL,
// second = FWHM; 1: first = SW, second = LW. The first rule that fails decides.
TSetPointVerdict CheckSetPoint(int inputMode, const QString &first, const QString &second,
                               const TCalData &table);
