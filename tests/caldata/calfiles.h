#pragma once

// Calibration files and stand-ins for the table's surroundings, shared by the calibration tests,
// the mapping window's tests and the benchmarks.

#include "caldata/calfiledialog.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <vector>

namespace calfiles {

inline const QString Model = QStringLiteral("F612");
inline const QString Serial = QStringLiteral("AX0000000017");
inline const QString PickedName = QStringLiteral("20190301_F612_AX0000000017.csv");
inline const QString CopyName = QStringLiteral("F612_AX0000000017.csv");

// The calibration file of the F612 / AX0000000017 instrument that service staff use as the
// reference: 4 rows from 500.0 nm in 0.5 nm steps, FWHM 5, 10 and 20 nm, two unreachable cells.
inline QStringList ExampleLines() {
    return {QStringLiteral("Model,F612"),
            QStringLiteral("Serial,,AX0000000017"),
            QStringLiteral("any text"),
            QStringLiteral("COLUMN,3"),
            QStringLiteral("ROW,4"),
            QStringLiteral("FWHM,,5.0,10.0,20.0"),
            QStringLiteral("1,500.0,1200:3400:150,1180:3390:300,x"),
            QStringLiteral("2,500.5,1210:3405:150,1190:3395:300,1170:3380:600"),
            QStringLiteral("3,501.0,1220:3410:150,1200:3400:300,1180:3390:600"),
            QStringLiteral("4,501.5,x,1210:3405:300,1190:3395:600")};
}

// A full-size file: `rows` rows from 400.0 nm in 0.1 nm steps, `cols` FWHM columns from 1.0 nm
// in 1.0 nm steps; cell (r, c) holds r:c:r+c, except an "x" on the diagonal.
inline QStringList GeneratedLines(int rows, int cols) {
    QStringList lines{QStringLiteral("Model,F612"), QStringLiteral("Serial,,AX0000000017"),
                      QStringLiteral("generated"), QStringLiteral("COLUMN,%1").arg(cols),
                      QStringLiteral("ROW,%1").arg(rows)};
    QString fwhm = QStringLiteral("FWHM,");
    for (int c = 0; c < cols; ++c)
        fwhm += QStringLiteral(",%1.0").arg(c + 1);
    lines.append(fwhm);
    for (int r = 0; r < rows; ++r) {
        // Tenths written as text, so that the values are the doubles nearest to one-decimal text.
        QString line = QStringLiteral("%1,%2.%3").arg(r + 1).arg(400 + r / 10).arg(r % 10);
        for (int c = 0; c < cols; ++c) {
            if (r == c)
                line += QStringLiteral(",x");
            else
                line += QStringLiteral(",%1:%2:%3").arg(r).arg(c).arg(r + c);
        }
        lines.append(line);
    }
    return lines;
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline bool WriteLines(const QString &path, const QStringList &lines,
                       const QString &lineEnd = QStringLiteral("\n")) {
    return WriteBytes(path, (lines.join(lineEnd) + lineEnd).toUtf8());
}

// Plays the operator in front of the open-file dialog: picks `Pick` or, when it is empty,
// cancels. Records what the dialog was asked to show.
class ScriptedDialog : public ICalFileDialog {
public:
    QString Pick;
    int Shown = 0;
    TCalFileDialogSetup LastSetup;

    QString Execute(const TCalFileDialogSetup &setup) override {
        ++Shown;
        LastSetup = setup;
        return Pick;
    }
};

} // namespace calfiles
