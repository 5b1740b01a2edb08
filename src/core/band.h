#pragma once

#include "core/numbers.h"

// A pass band in nm: centre and width, and its two edges.
struct TBand {
    double CWL = 0.0;
    double FWHM = 0.0;
    double SW = 0.0;
    double LW = 0.0;

    // The edges of a centre and width, each rounded to 0.01 nm as the moves show them.
    static TBand FromCentre(double cwl, double fwhm) {
        return TBand{cwl, fwhm, RoundTo(cwl - fwhm * 0.5, -2), RoundTo(cwl + fwhm * 0.5, -2)};
    }
    // The centre and width of two edges, each rounded to 0.01 nm.
    static TBand FromEdges(double sw, double lw) {
        return TBand{RoundTo((lw + sw) * 0.5, -2), RoundTo(lw - sw, -2), sw, lw};
    }
};

// The position view shows this much beyond the first and last centre wavelength it can reach.
constexpr double ViewMarginNm = 10.0;
