#pragma once

#include "sim/instrumentmodel.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace ksim {

// The calibration table of a simulated instrument: rows of centre wavelengths, columns of
// bandwidths, and in each cell the three GO values or nothing where the band cannot be made.
// It writes the file that ships with an instrument and checks GO values against a table read
// from such a file.
class CalTable {
public:
    // A smooth, instrument-like table for the profile's model, serial number and range: CW rows
    // every 0.5 nm (1.0 nm if that would exceed 1000 rows), whole-number FWHM columns, "x" where
    // a narrow band cannot be formed near the ends or a wide one would run past them.
    static CalTable generate(const InstrumentProfile &profile);

    // Reads a file of the import layout. Returns nothing and sets *error for a file that is not.
    static std::optional<CalTable> read(const QString &path, QString *error);

    // The file's lines (CR LF endings, '.' as decimal separator).
    QByteArray fileText() const;
    // "YYYYMMDD_MODL_SERIAL012345.csv": 30 characters for a 4-character model code and a
    // 12-character serial number.
    QString fileName(const QDate &calibrated) const;
    // "MODL_SERIAL012345.csv": the name of the copy the program keeps in its Cal/ folder.
    QString keptName() const;
    // Writes fileText() as dir/name, creating dir. Returns the path, or an empty text and *error.
    QString write(const QString &dir, const QString &name, QString *error) const;

    QString model() const { return model_; }
    QString serial() const { return serial_; }
    int rowCount() const { return int(cwText_.size()); }
    int columnCount() const { return int(fwhmText_.size()); }
    QString cwText(int row) const { return cwText_.at(row); }
    QString fwhmText(int column) const { return fwhmText_.at(column); }
    // The GO values of a cell, nothing for an "x" cell or one that is not three values >= 0.
    std::optional<Positions> cell(int row, int column) const;

    struct CellRef {
        int row = -1;
        int column = -1;
    };
    // The first cell (row by row) holding these three values.
    std::optional<CellRef> find(const Positions &values) const;

private:
    void index();

    QString model_;
    QString serial_;
    QStringList cwText_;
    QStringList fwhmText_;
    QVector<std::optional<Positions>> cells_; // row-major
    QHash<quint64, int> byValues_;            // packed values -> first cell index
};

} // namespace ksim
