#pragma once

#include <QString>

#include <array>
#include <optional>

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

    // Every lookup answers 0, false or nothing unless a table is loaded.
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

    // The cell of the first row whose CW is cw and the first column whose FWHM is fwhm, valid
    // or not.
    std::optional<TCalCell> FindCell(double cw, double fwhm) const;

    // The counts limited to the capacity, for anyone walking the arrays.
    int UsedRows() const;
    int UsedCols() const;

private:
    int FindRow(double cw) const;
    int FindCol(double fwhm) const;
    // The CW (along a column) or FWHM (along a row) of the first valid cell, from the first or
    // the last cell, in the lines headed by head; 0 when there is none.
    enum class TLine { FWHMColumn, CWRow };
    double FirstValidAlong(TLine line, double head, bool fromLast) const;
};
