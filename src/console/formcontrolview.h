#pragma once

#include <QWidget>

class QLabel;
class TPicture;

// The position view: a bar under the SET and SCAN panels that shows the wavelength range and
// where the current band lies in it. The range maps onto the bar in two straight halves that meet
// at the range's midpoint rounded to 0.1 nm, so that the centre of a symmetric table lands on the
// bar's middle pixel.
class TForm_ControlView : public QWidget {
    Q_OBJECT
public:
    static constexpr int PixelStart = 140;  // x of the range minimum
    static constexpr int PixelCentre = 454; // x of the range midpoint
    static constexpr int PixelEnd = 769;    // one past the x of the range maximum

    explicit TForm_ControlView(QWidget *parent = nullptr);

    // Wavelengths in nm.
    void ClearView();
    void ShowRange(double rangeMin, double rangeMax);
    void ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM, double SW,
                      double LW);

    // y0 + (x - x0) * (y1 - y0) / (x1 - x0).
    static double MapLinear(double x0, double y0, double x1, double y1, double x);
    // The x pixel of wavelength x; values outside the range extrapolate along the nearer half.
    static double WavelengthToPixel(double rangeMin, double rangeMax, double x);

private:
    void SetRangeLabels(double rangeMin, double rangeMax);
    void EmptyValueLabels();
    void ApplyRestPlacement();
    void PlaceBand();
    void SetLeft(QWidget *widget, int left);

    QWidget *Panel_Base = nullptr;
    TPicture *Image_Base = nullptr;
    QLabel *Label_RangeMin = nullptr;
    QLabel *Label_RangeMax = nullptr;
    TPicture *Image_Edit4_Base = nullptr;
    TPicture *Image_Edit5_Base = nullptr;
    QLabel *Label_Edit4 = nullptr;
    QLabel *Label_Edit5 = nullptr;
    TPicture *Image_Edit3_Base = nullptr;
    QLabel *Label_Edit3 = nullptr;
    QLabel *Label_Edit6 = nullptr;
    TPicture *Image_Pos_Range = nullptr;
    TPicture *Image_Pos_CWL = nullptr;
    TPicture *Image_Pos_SW = nullptr;
    TPicture *Image_Pos_LW = nullptr;
};
