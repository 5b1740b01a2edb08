#pragma once

// A pass band in nm: centre and width, and its two edges.
struct TBand {
    double CWL = 0.0;
    double FWHM = 0.0;
    double SW = 0.0;
    double LW = 0.0;
};
