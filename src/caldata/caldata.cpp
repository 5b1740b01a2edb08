#include "caldata/caldata.h"

#include "core/numbers.h"

#include <algorithm>

int TCalData::UsedRows() const {
    return std::clamp(RowCount, 0, MaxRows);
}

int TCalData::UsedCols() const {
    return std::clamp(ColCount, 0, MaxCols);
}

bool TCalData::IsUsable() const {
    return Loaded && Host != nullptr && Host->IsDeviceReady();
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
    if (!IsUsable() || UsedRows() == 0)
        return 0.0;
    return CWValues[0];
}

double TCalData::GetMaxCW() const {
    if (!IsUsable() || UsedRows() == 0)
        return 0.0;
    return CWValues[UsedRows() - 1];
}

double TCalData::GetMinFWHM() const {
    if (!IsUsable() || UsedCols() == 0)
        return 0.0;
    return FWHMValues[0];
}

double TCalData::GetMaxFWHM() const {
    if (!IsUsable() || UsedCols() == 0)
        return 0.0;
    return FWHMValues[UsedCols() - 1];
}

double TCalData::GetCWStep() const {
    if (!IsUsable() || UsedRows() < 2)
        return 0.0;
    return RoundTo(CWValues[1] - CWValues[0], -1);
}

bool TCalData::HasCWRow(double cw) const {
    return IsUsable() && FindRow(cw) >= 0;
}

// A value may head several columns; a matching column without a valid cell passes the search on
// to the next one.
double TCalData::GetMinCWForFWHM(double fwhm) const {
    if (!IsUsable())
        return 0.0;
    const int rows = UsedRows();
    const int cols = UsedCols();
    for (int c = 0; c < cols; ++c) {
        if (FWHMValues[c] != fwhm)
            continue;
        for (int r = 0; r < rows; ++r) {
            if (Cells[r][c].Valid)
                return Cells[r][c].CW;
        }
    }
    return 0.0;
}

double TCalData::GetMaxCWForFWHM(double fwhm) const {
    if (!IsUsable())
        return 0.0;
    const int rows = UsedRows();
    const int cols = UsedCols();
    for (int c = 0; c < cols; ++c) {
        if (FWHMValues[c] != fwhm)
            continue;
        for (int r = rows - 1; r >= 0; --r) {
            if (Cells[r][c].Valid)
                return Cells[r][c].CW;
        }
    }
    return 0.0;
}

double TCalData::GetMinFWHMForCW(double cw) const {
    if (!IsUsable())
        return 0.0;
    const int rows = UsedRows();
    const int cols = UsedCols();
    for (int r = 0; r < rows; ++r) {
        if (CWValues[r] != cw)
            continue;
        for (int c = 0; c < cols; ++c) {
            if (Cells[r][c].Valid)
                return Cells[r][c].FWHM;
        }
    }
    return 0.0;
}

double TCalData::GetMaxFWHMForCW(double cw) const {
    if (!IsUsable())
        return 0.0;
    const int rows = UsedRows();
    const int cols = UsedCols();
    for (int r = 0; r < rows; ++r) {
        if (CWValues[r] != cw)
            continue;
        for (int c = cols - 1; c >= 0; --c) {
            if (Cells[r][c].Valid)
                return Cells[r][c].FWHM;
        }
    }
    return 0.0;
}

bool TCalData::GoToSetPoint(double cwl, double fwhm) {
    if (!IsUsable())
        return false;
    const int r = FindRow(cwl);
    const int c = FindCol(fwhm);
    if (r < 0 || c < 0)
        return false;
    // Valid is deliberately not consulted: an "x" cell carries -1 values, which the link refuses
    // without sending, so the instrument stays where it is.
    const TCalCell &cell = Cells[r][c];
    bool accepted = false;
    try {
        accepted = Host->CommandGo(cell.Pos1, cell.Pos2, cell.Pos3);
    } catch (...) {
        // A failure inside the link ends the move here; the caller reports it.
        return false;
    }
    if (!accepted)
        return false;
    Host->Action_UpdateUI();
    return true;
}
