#include "caldata/caldataimport.h"

#include "core/commatext.h"
#include "core/numbers.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString DeviceFailure = QStringLiteral("ERRDV06 : Device might be problem.");
const QString InvalidFileName = QStringLiteral("ERRDV08 : Invalid calibration data file.");
const QString CopyFailure = QStringLiteral("ERRDV09 : Fail to copy calibration data file.");
const QString NoFile = QStringLiteral("ERRDV10 : No calibration data file.");
const QString ReadFailure = QStringLiteral("ERRDV20 : Calibration data file might be problem.");

constexpr int ModelLength = 4;
constexpr int SerialLength = 12;
constexpr int PickedNameLength = 30;
constexpr int EarliestFileDate = 20180101;
constexpr int HeaderLines = 6; // the row lines follow line 6
constexpr int MinimumLines = 7;

QString ContentFailure(int code, const QString &suffix) {
    return QStringLiteral("ERRDV%1 : Calibration data file might be problem. %2")
        .arg(code)
        .arg(suffix);
}

QString RowSuffix(int k) {
    return QStringLiteral("(%1)").arg(k);
}

QString CellSuffix(int k, int j) {
    return QStringLiteral("(%1/%2)").arg(k).arg(j);
}

// Model and serial come from the instrument's replies and become a file name inside Cal/; a path
// separator or a control character in them would let a faulty reply reach outside that folder.
bool IsPlainName(const QString &text) {
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127 || c == QLatin1Char('/') ||
            c == QLatin1Char('\\'))
            return false;
    }
    return true;
}

// The picked file's name carries its date (characters 1 to 8), the model code (10 to 13) and the
// serial number (15 to 26); the separators and the extension are not examined.
bool IsInstrumentFileName(const QString &name, const TCalData &table) {
    return name.size() == PickedNameLength && StrToIntDef(name.left(8), -1) >= EarliestFileDate &&
           name.mid(9, ModelLength) == table.Model && name.mid(14, SerialLength) == table.Serial;
}

bool CopyReplacing(const QString &from, const QString &to) {
    QFile::remove(to);
    return QFile::copy(from, to);
}

// A cell's parts are separated by ':' under the same rules as the fields of a line. The splitter
// knows only the comma, so the two characters trade places on the way in and back out.
QString SwapColonAndComma(QString text) {
    for (QChar &c : text) {
        if (c == QLatin1Char(':'))
            c = QLatin1Char(',');
        else if (c == QLatin1Char(','))
            c = QLatin1Char(':');
    }
    return text;
}

QStringList SplitCellParts(const QString &cell) {
    QStringList parts = SplitCommaText(SwapColonAndComma(cell));
    for (QString &part : parts)
        part = SwapColonAndComma(part);
    return parts;
}

// Stores the row lines; returns "" or the failure message.
QString StoreRows(TCalData &table, const QStringList &lines, int rows, int cols) {
    for (int k = 1; k <= rows; ++k) {
        const QStringList fields = SplitCommaText(lines.at(HeaderLines + k - 1));
        if (fields.size() < cols + 2)
            return ContentFailure(17, RowSuffix(k));
        // Row numbers may skip ahead but never fall behind the row's position.
        if (StrToIntDef(fields.at(0), -1) < k)
            return ContentFailure(18, RowSuffix(k));
        const double cw = StrToFloatDef(fields.at(1), 0.0);
        table.CWValues[k - 1] = cw;
        for (int j = 1; j <= cols; ++j) {
            TCalCell &cell = table.Cells[k - 1][j - 1];
            cell.FWHM = table.FWHMValues[j - 1];
            cell.CW = cw;
            const QString &text = fields.at(j + 1);
            if (text == QLatin1String("x")) {
                cell.Valid = false;
                cell.Pos1 = cell.Pos2 = cell.Pos3 = -1;
                continue;
            }
            const QStringList parts = SplitCellParts(text);
            if (parts.size() != 3)
                return ContentFailure(19, CellSuffix(k, j));
            cell.Pos1 = StrToIntDef(parts.at(0), -1);
            cell.Pos2 = StrToIntDef(parts.at(1), -1);
            cell.Pos3 = StrToIntDef(parts.at(2), -1);
            cell.Valid = cell.Pos1 >= 0 && cell.Pos2 >= 0 && cell.Pos3 >= 0;
        }
    }
    return QString();
}

// Reads the copy stage by stage; returns "" or the message of the stage that failed. `failure`
// always holds the message of the stage reached, so that a failure raised while reading (memory,
// an unexpected fault in the reader) is reported like the stage's own refusal.
QString StoreFile(TCalData &table, const QString &path, TReadTextLines readLines) {
    QString failure = ReadFailure;
    try {
        QStringList lines;
        if (QFileInfo(path).size() > MaxCalDataFileSize || !readLines(path, lines) ||
            lines.size() < MinimumLines)
            return failure;

        failure = ContentFailure(11, QStringLiteral("(Model)"));
        QStringList fields = SplitCommaText(lines.at(0));
        if (fields.size() < 2 || fields.at(0) != QLatin1String("Model") ||
            fields.at(1) != table.Model)
            return failure;

        failure = ContentFailure(12, QStringLiteral("(Serial)"));
        fields = SplitCommaText(lines.at(1));
        if (fields.size() < 3 || fields.at(0) != QLatin1String("Serial") ||
            fields.at(2) != table.Serial)
            return failure;

        failure = ContentFailure(13, QStringLiteral("(tCol)"));
        fields = SplitCommaText(lines.at(3));
        if (fields.size() < 2 || fields.at(0) != QLatin1String("COLUMN"))
            return failure;
        const int cols = StrToIntDef(fields.at(1), -1);
        if (cols < 0 || cols > TCalData::MaxCols)
            return failure;
        table.ColCount = cols;

        failure = ContentFailure(14, QStringLiteral("(tRow)"));
        fields = SplitCommaText(lines.at(4));
        if (fields.size() < 2 || fields.at(0) != QLatin1String("ROW"))
            return failure;
        const int rows = StrToIntDef(fields.at(1), -1);
        if (rows < 0 || rows > TCalData::MaxRows || lines.size() < rows + HeaderLines)
            return failure;
        table.RowCount = rows;

        failure = ContentFailure(15, QStringLiteral("(tWid)"));
        fields = SplitCommaText(lines.at(5));
        if (fields.size() < cols + 2)
            return failure;
        for (int j = 1; j <= cols; ++j)
            table.FWHMValues[j - 1] = StrToFloatDef(fields.at(j + 1), 0.0);

        failure = ContentFailure(16, QStringLiteral("(tWid)"));
        return StoreRows(table, lines, rows, cols);
    } catch (...) {
        return failure;
    }
}

} // namespace

QString ImportCalData(TCalData &table, bool infoValid, const QString &exePath,
                      ICalFileDialog &dialog) {
    return ImportCalData(table, infoValid, exePath, dialog, ReadTextFileLines);
}

QString ImportCalData(TCalData &table, bool infoValid, const QString &exePath,
                      ICalFileDialog &dialog, TReadTextLines readLines) {
    table.Loaded = false;
    if (!infoValid || table.Model.size() != ModelLength || table.Serial.size() != SerialLength ||
        !IsPlainName(table.Model) || !IsPlainName(table.Serial))
        return DeviceFailure;

    // A folder that cannot be created is not reported here: the copy into it fails (ERRDV09).
    const QString folder = exePath + QStringLiteral("Cal/");
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    const QString copyName = table.Model + QLatin1Char('_') + table.Serial + QStringLiteral(".csv");
    const QString target = folder + copyName;

    // The kept copy wins, even when the file it came from has changed since.
    if (!QFileInfo(target).isFile()) {
        TCalFileDialogSetup setup;
        setup.Title =
            QStringLiteral("Please Select Kestrune Calibration Data File, And Click OK. (") +
            table.Model + QLatin1Char('/') + table.Serial + QLatin1Char(')');
        setup.FileName = copyName;
        setup.Filter = QStringLiteral("Kestrune CalData File (*.csv)|*.csv");
        setup.DefaultExt = QStringLiteral("csv");
        setup.InitialDir = QStringLiteral(".");
        setup.MustExist = true;
        const QString chosen = dialog.Execute(setup);
        if (chosen.isEmpty())
            return NoFile;
        if (!IsInstrumentFileName(QFileInfo(chosen).fileName(), table))
            return InvalidFileName;
        if (!CopyReplacing(chosen, target))
            return CopyFailure;
    }

    const QString failure = StoreFile(table, target, readLines);
    if (!failure.isEmpty()) {
        // The counts guard the half-stored contents; the bad copy goes so that the next
        // connection asks for the file again.
        table.RowCount = 0;
        table.ColCount = 0;
        QFile::remove(target);
        return failure;
    }
    table.Loaded = true;
    return QString();
}
