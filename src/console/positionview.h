#pragma once

// The position view's operations, as the panels, the connection workflow and the scan worker
// use them. Wavelengths in nm.
class IPositionView {
public:
    virtual ~IPositionView() = default;
    virtual void ClearView() = 0;
    virtual void ShowRange(double rangeMin, double rangeMax) = 0;
    virtual void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                              double LW) = 0;
};
