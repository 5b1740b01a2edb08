#pragma once

#include "caldata/caldatahost.h"

#include <QString>

#include <array>

// One cell of the calibration table: the three GO values that put the filter at the row's CW
// with the column's FWHM.
struct TCalCell {
    double FWHM = 0.0;
    double CW = 0.0;
    bool Valid = false; // all three values are 0 or greater
    int Pos1 = 0;
    int Pos2 = 0;
    int Pos3 = 0;
};

// The calibration (mapping) table of the connected instrument. Fixed capacity, so that an import
// never allocates and the owner can hold it as a plain member. Rows and columns keep the file's
// order; "minimum" and "maximum" mean first and last. Wavelengths are compared for exact double
// equality: callers pass set-points rounded to one decimal, which yields the same double as the
// file's one-decimal text.
class TCalData {
public:
    static constexpr int MaxRows = 1000;
    static constexpr int MaxCols = 20;

    QString Model;  // model code of the instrument, 4 characters for an import
    QString Serial; // serial number of the instrument, 12 characters for an import
    int RowCount = 0;
    int ColCount = 0;
    std::array<double, MaxRows> CWValues{};
    std::array<double, MaxCols> FWHMValues{};
    std::array<std::array<TCalCell, MaxCols>, MaxRows> Cells{};
    bool Loaded = false; // true only while the table holds a completely imported file

    // The owner that reports readiness, sends GO and refreshes its UI; without one the table is
    // never usable.
    void SetHost(ICalDataHost *host) { Host = host; }

    // Every lookup answers 0 or false unless the instrument is ready and a table is loaded.
    double GetMinCW() const;
    double GetMaxCW() const;
    double GetMinFWHM() const;
    double GetMaxFWHM() const;
    double GetCWStep() const;
    bool HasCWRow(double cw) const;
    double GetMinCWForFWHM(double fwhm) const;
    double GetMaxCWForFWHM(double fwhm) const;
    double GetMinFWHMForCW(double cw) const;
    double GetMaxFWHMForCW(double cw) const;

    // Sends GO with the values of the first row whose CW is cwl and the first column whose FWHM
    // is fwhm, and refreshes the owner's UI when the instrument accepted it.
    bool GoToSetPoint(double cwl, double fwhm);

    // The counts limited to the capacity, for anyone walking the arrays.
    int UsedRows() const;
    int UsedCols() const;

private:
    bool IsUsable() const;
    int FindRow(double cw) const;
    int FindCol(double fwhm) const;
    // The CW (along a column) or FWHM (along a row) of the first valid cell, from the first or
    // the last cell, in the lines headed by head; 0 when there is none.
    enum class TLine { FWHMColumn, CWRow };
    double FirstValidAlong(TLine line, double head, bool fromLast) const;

    ICalDataHost *Host = nullptr;
};
