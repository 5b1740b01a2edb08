#pragma once

#include "caldata/caldata.h"

#include <cmath>

// A table filled directly: CW rows from `first` by `interval` nm,
// whole-number FWHM columns, and cells reachable only where the band fits inside
// [first + reachMargin * FWHM, last - reachMargin * FWHM].
class ReadyTable {
public:
    void Fill(double first, double last, double interval, std::initializer_list<double> widths,
              double reachMargin = 0.0) {
        table.RowCount = 0;
        for (int r = 0;; ++r) {
            // Each row value is the double nearest to its one-decimal text, as an import gives.
            const double cw = std::round((first + r * interval) * 10.0) / 10.0;
            if (cw > last + 1e-9 || r >= TCalData::MaxRows)
                break;
            table.CWValues[r] = cw;
            table.RowCount = r + 1;
        }
        table.ColCount = 0;
        for (double w : widths)
            table.FWHMValues[table.ColCount++] = w;
        for (int r = 0; r < table.RowCount; ++r) {
            for (int c = 0; c < table.ColCount; ++c) {
                TCalCell &cell = table.Cells[r][c];
                cell.CW = table.CWValues[r];
                cell.FWHM = table.FWHMValues[c];
                const double margin = reachMargin * cell.FWHM;
                cell.Valid = cell.CW >= first + margin && cell.CW <= last - margin;
                cell.Pos1 = cell.Valid ? r : -1;
                cell.Pos2 = cell.Valid ? c : -1;
                cell.Pos3 = cell.Valid ? 1 : -1;
            }
        }
        table.Loaded = true;
    }

    TCalData table;
};
