#include "caldata/caldata.h"

#include "core/numbers.h"

#include <algorithm>

int TCalData::UsedRows() const {
    return std::clamp(RowCount, 0, MaxRows);
}

int TCalData::UsedCols() const {
    return std::clamp(ColCount, 0, MaxCols);
}

int TCalData::FindRow(double cw) const {
    const int rows = UsedRows();
    for (int r = 0; r < rows; ++r) {
        if (CWValues[r] == cw)
            return r;
    }
    return -1;
}

int TCalData::FindCol(double fwhm) const {
    const int cols = UsedCols();
    for (int c = 0; c < cols; ++c) {
        if (FWHMValues[c] == fwhm)
            return c;
    }
    return -1;
}

double TCalData::GetMinCW() const {
    if (!Loaded || UsedRows() == 0)
        return 0.0;
    return CWValues[0];
}

double TCalData::GetMaxCW() const {
    if (!Loaded || UsedRows() == 0)
        return 0.0;
    return CWValues[UsedRows() - 1];
}

double TCalData::GetMinFWHM() const {
    if (!Loaded || UsedCols() == 0)
        return 0.0;
    return FWHMValues[0];
}

double TCalData::GetMaxFWHM() const {
    if (!Loaded || UsedCols() == 0)
        return 0.0;
    return FWHMValues[UsedCols() - 1];
}

double TCalData::GetCWStep() const {
    if (!Loaded || UsedRows() < 2)
        return 0.0;
    return RoundTo(CWValues[1] - CWValues[0], -1);
}

bool TCalData::HasCWRow(double cw) const {
    return Loaded && FindRow(cw) >= 0;
}

// A value may head several lines; a matching line without a valid cell passes the search on to
// the next one.
double TCalData::FirstValidAlong(TLine line, double head, bool fromLast) const {
    if (!Loaded)
        return 0.0;
    const bool column = line == TLine::FWHMColumn;
    const int lines = column ? UsedCols() : UsedRows();
    const int length = column ? UsedRows() : UsedCols();
    const double *heads = column ? FWHMValues.data() : CWValues.data();
    for (int l = 0; l < lines; ++l) {
        if (heads[l] != head)
            continue;
        for (int i = 0; i < length; ++i) {
            const int k = fromLast ? length - 1 - i : i;
            const TCalCell &cell = column ? Cells[k][l] : Cells[l][k];
            if (cell.Valid)
                return column ? cell.CW : cell.FWHM;
        }
    }
    return 0.0;
}

double TCalData::GetMinCWForFWHM(double fwhm) const {
    return FirstValidAlong(TLine::FWHMColumn, fwhm, false);
}

double TCalData::GetMaxCWForFWHM(double fwhm) const {
    return FirstValidAlong(TLine::FWHMColumn, fwhm, true);
}

double TCalData::GetMinFWHMForCW(double cw) const {
    return FirstValidAlong(TLine::CWRow, cw, false);
}

double TCalData::GetMaxFWHMForCW(double cw) const {
    return FirstValidAlong(TLine::CWRow, cw, true);
}

std::optional<TCalCell> TCalData::FindCell(double cw, double fwhm) const {
    if (!Loaded)
        return std::nullopt;
    const int r = FindRow(cw);
    const int c = FindCol(fwhm);
    if (r < 0 || c < 0)
        return std::nullopt;
    return Cells[r][c];
}
