// The calibration file import, end to end: the input is the program's own copy of an
// instrument's file, Cal/F612_AX0000000017.csv in a temporary program folder, and the real
// import reads it from there.

#include "fuzzsupport.h"

#include "caldata/caldataimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace {

// The copy exists before every import, so the operator is never asked.
class TNoDialog final : public ICalFileDialog {
public:
    QString Execute(const TCalFileDialogSetup &) override {
        FUZZ_REQUIRE(!"the dialog was shown although the copy exists");
        return {};
    }
};

struct TFixture {
    TFixture() {
        FUZZ_REQUIRE(Folder.isValid());
        ExePath = Folder.path() + QLatin1Char('/');
        FUZZ_REQUIRE(QDir().mkpath(ExePath + QStringLiteral("Cal")));
        Copy = ExePath + QStringLiteral("Cal/F612_AX0000000017.csv");
    }

    QTemporaryDir Folder;
    QString ExePath;
    QString Copy;
    TNoDialog Dialog;
    std::unique_ptr<TCalData> Table = std::make_unique<TCalData>(); // too big for the stack
};

TFixture &Fixture() {
    static TFixture fixture;
    return fixture;
}

const QRegularExpression FailureMessage(
    QStringLiteral("^ERRDV20 : Calibration data file might be problem\\.$|"
                   "^ERRDV1[1-9] : Calibration data file might be problem\\. "
                   "\\((Model|Serial|tCol|tRow|tWid|[1-9][0-9]*|[1-9][0-9]*/[1-9][0-9]*)\\)$"));

void CheckLoaded(TFixture &f) {
    const TCalData &table = *f.Table;
    FUZZ_REQUIRE(table.RowCount >= 0 && table.RowCount <= TCalData::MaxRows);
    FUZZ_REQUIRE(table.ColCount >= 0 && table.ColCount <= TCalData::MaxCols);
    FUZZ_REQUIRE(QFileInfo::exists(f.Copy));
    for (int r = 0; r < table.RowCount; ++r) {
        for (int c = 0; c < table.ColCount; ++c) {
            const TCalCell &cell = table.Cells[r][c];
            FUZZ_REQUIRE(cell.CW == table.CWValues[r] && cell.FWHM == table.FWHMValues[c]);
            if (cell.Valid)
                FUZZ_REQUIRE(cell.Pos1 >= 0 && cell.Pos2 >= 0 && cell.Pos3 >= 0);
        }
    }
    if (table.RowCount == 0 || table.ColCount == 0)
        return;

    // The lookups on the loaded table, at both ends; a move to the last cell sends the values of
    // the first cell with the same CW and FWHM.
    const int lastRow = table.RowCount - 1;
    const int lastCol = table.ColCount - 1;
    for (const int r : {0, lastRow}) {
        const double cw = table.CWValues[r];
        FUZZ_REQUIRE(table.HasCWRow(cw));
        table.GetMinFWHMForCW(cw);
        table.GetMaxFWHMForCW(cw);
    }
    for (const int c : {0, lastCol}) {
        table.GetMinCWForFWHM(table.FWHMValues[c]);
        table.GetMaxCWForFWHM(table.FWHMValues[c]);
    }
    table.GetMinCW();
    table.GetMaxCW();
    table.GetMinFWHM();
    table.GetMaxFWHM();
    table.GetCWStep();
    const std::optional<TCalCell> found =
        f.Table->FindCell(table.CWValues[lastRow], table.FWHMValues[lastCol]);
    FUZZ_REQUIRE(found.has_value());
    int row = 0;
    while (table.CWValues[row] != table.CWValues[lastRow])
        ++row;
    int col = 0;
    while (table.FWHMValues[col] != table.FWHMValues[lastCol])
        ++col;
    const TCalCell &cell = table.Cells[row][col];
    FUZZ_REQUIRE(found->Pos1 == cell.Pos1 && found->Pos2 == cell.Pos2 && found->Pos3 == cell.Pos3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFixture &f = Fixture();
    {
        QFile copy(f.Copy);
        FUZZ_REQUIRE(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_REQUIRE(copy.write(reinterpret_cast<const char *>(data), qint64(size)) ==
                     qint64(size));
    }
    TCalData &table = *f.Table;
    table.Model = QStringLiteral("F612");
    table.Serial = QStringLiteral("AX0000000017");
    table.RowCount = 0;
    table.ColCount = 0;

    const QString message = ImportCalData(table, true, f.ExePath, f.Dialog);
    FUZZ_REQUIRE(message.isEmpty() == table.Loaded);
    if (table.Loaded) {
        CheckLoaded(f);
        return 0;
    }
    // A copy that fails is never half-used: the counts guard nothing and the copy is gone.
    FUZZ_REQUIRE(FailureMessage.match(message).hasMatch());
    FUZZ_REQUIRE(table.RowCount == 0 && table.ColCount == 0);
    FUZZ_REQUIRE(!QFileInfo::exists(f.Copy));
    return 0;
}
