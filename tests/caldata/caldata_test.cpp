#include "caldata/caldata.h"
#include "caldata/calfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

// One cell text of a table written by hand: "x" or three values.
struct CellValues {
    int Pos1 = -1, Pos2 = -1, Pos3 = -1;
    bool Valid = false;
};
CellValues X() {
    return {};
}
CellValues P(int a, int b, int c) {
    return {a, b, c, a >= 0 && b >= 0 && c >= 0};
}

class CalDataTest : public ::testing::Test {
protected:
    CalDataTest() : table(std::make_unique<TCalData>()) {}

    // Fills the table as an import would: counts, values, every cell, Loaded.
    void Fill(const std::vector<double> &cws, const std::vector<double> &fwhms,
              const std::function<CellValues(int r, int c)> &cell) {
        table->RowCount = int(cws.size());
        table->ColCount = int(fwhms.size());
        for (size_t c = 0; c < fwhms.size(); ++c)
            table->FWHMValues[c] = fwhms[c];
        for (size_t r = 0; r < cws.size(); ++r) {
            table->CWValues[r] = cws[r];
            for (size_t c = 0; c < fwhms.size(); ++c) {
                const CellValues values = cell(int(r), int(c));
                table->Cells[r][c] = {fwhms[c],    cws[r],      values.Valid,
                                      values.Pos1, values.Pos2, values.Pos3};
            }
        }
        table->Loaded = true;
    }

    // The table of the reference file (4 rows, FWHM 5, 10, 20; "x" at [0][2] and [3][0]).
    void FillExample() {
        const CellValues cells[4][3] = {
            {P(1200, 3400, 150), P(1180, 3390, 300), X()},
            {P(1210, 3405, 150), P(1190, 3395, 300), P(1170, 3380, 600)},
            {P(1220, 3410, 150), P(1200, 3400, 300), P(1180, 3390, 600)},
            {X(), P(1210, 3405, 300), P(1190, 3395, 600)}};
        Fill({500.0, 500.5, 501.0, 501.5}, {5.0, 10.0, 20.0},
             [&](int r, int c) { return cells[r][c]; });
    }

    // The three GO values of the cell at cw and fwhm; empty when the table has none.
    std::vector<int> CellAt(double cw, double fwhm) const {
        const std::optional<TCalCell> cell = table->FindCell(cw, fwhm);
        return cell ? std::vector<int>{cell->Pos1, cell->Pos2, cell->Pos3} : std::vector<int>{};
    }

    std::unique_ptr<TCalData> table; // ~0.6 MB: kept off the stack
};

// Every lookup at once, for the tests that only care that the table answers nothing.
void ExpectAnswersNothing(TCalData &t) {
    EXPECT_EQ(t.GetMinCW(), 0.0);
    EXPECT_EQ(t.GetMaxCW(), 0.0);
    EXPECT_EQ(t.GetMinFWHM(), 0.0);
    EXPECT_EQ(t.GetMaxFWHM(), 0.0);
    EXPECT_EQ(t.GetCWStep(), 0.0);
    EXPECT_FALSE(t.HasCWRow(500.0));
    EXPECT_EQ(t.GetMinCWForFWHM(10.0), 0.0);
    EXPECT_EQ(t.GetMaxCWForFWHM(10.0), 0.0);
    EXPECT_EQ(t.GetMinFWHMForCW(500.5), 0.0);
    EXPECT_EQ(t.GetMaxFWHMForCW(500.5), 0.0);
    EXPECT_FALSE(t.FindCell(500.5, 10.0));
}

TEST_F(CalDataTest, FreshTable_IsEmptyAndAnswersNothing) {
    EXPECT_FALSE(table->Loaded);
    EXPECT_EQ(table->RowCount, 0);
    EXPECT_EQ(table->ColCount, 0);
    EXPECT_EQ(table->Cells[999][19].Pos3, 0);
    ExpectAnswersNothing(*table);
}

TEST_F(CalDataTest, ValuesOfATableNoLongerLoaded_AreNotUsed) {
    FillExample();
    table->Loaded = false; // as after the instrument was closed
    ExpectAnswersNothing(*table);
}

struct LookupCase {
    const char *Name;
    std::function<double(const TCalData &)> Lookup;
    double Expected;
};

class CalDataExampleLookupTest : public CalDataTest,
                                 public ::testing::WithParamInterface<LookupCase> {};

TEST_P(CalDataExampleLookupTest, AnswersAsTheReferenceTable) {
    FillExample();
    EXPECT_EQ(GetParam().Lookup(*table), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Example, CalDataExampleLookupTest,
    ::testing::Values(
        LookupCase{"MinCW", [](const TCalData &t) { return t.GetMinCW(); }, 500.0},
        LookupCase{"MaxCW", [](const TCalData &t) { return t.GetMaxCW(); }, 501.5},
        LookupCase{"CWStep", [](const TCalData &t) { return t.GetCWStep(); }, 0.5},
        LookupCase{"MinFWHM", [](const TCalData &t) { return t.GetMinFWHM(); }, 5.0},
        LookupCase{"MaxFWHM", [](const TCalData &t) { return t.GetMaxFWHM(); }, 20.0},
        LookupCase{"MinCWFor5", [](const TCalData &t) { return t.GetMinCWForFWHM(5.0); }, 500.0},
        LookupCase{"MaxCWFor5", [](const TCalData &t) { return t.GetMaxCWForFWHM(5.0); }, 501.0},
        LookupCase{"MinCWFor20", [](const TCalData &t) { return t.GetMinCWForFWHM(20.0); }, 500.5},
        LookupCase{"MaxCWFor20", [](const TCalData &t) { return t.GetMaxCWForFWHM(20.0); }, 501.5},
        LookupCase{"MinFWHMFor500", [](const TCalData &t) { return t.GetMinFWHMForCW(500.0); },
                   5.0},
        LookupCase{"MaxFWHMFor500", [](const TCalData &t) { return t.GetMaxFWHMForCW(500.0); },
                   10.0},
        LookupCase{"MinFWHMFor501_5", [](const TCalData &t) { return t.GetMinFWHMForCW(501.5); },
                   10.0},
        LookupCase{"NoSuchFWHM", [](const TCalData &t) { return t.GetMinCWForFWHM(7.5); }, 0.0},
        LookupCase{"NoSuchCW", [](const TCalData &t) { return t.GetMaxFWHMForCW(499.5); }, 0.0},
        LookupCase{"HasRow501", [](const TCalData &t) { return double(t.HasCWRow(501.0)); }, 1.0},
        LookupCase{"HasRow501_2", [](const TCalData &t) { return double(t.HasCWRow(501.2)); },
                   0.0}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(CalDataTest, OneRow_MinEqualsMaxAndStepIsZero) {
    Fill({650.0}, {5.0, 10.0}, [](int, int) { return P(1, 2, 3); });
    EXPECT_EQ(table->GetMinCW(), 650.0);
    EXPECT_EQ(table->GetMaxCW(), 650.0);
    EXPECT_EQ(table->GetCWStep(), 0.0);
}

TEST_F(CalDataTest, SingleColumn_StepIsTheIntervalOfTheFirstTwoRowsRounded) {
    Fill({400.0, 400.5, 402.0}, {5.0}, [](int, int) { return P(1, 2, 3); });
    EXPECT_EQ(table->GetCWStep(), 0.5);
    EXPECT_EQ(table->GetMinFWHM(), 5.0);
    EXPECT_EQ(table->GetMaxFWHM(), 5.0);
    // 500.1 - 500.0 is not exactly 0.1 in doubles; the rounding makes it the set-point's 0.1.
    Fill({500.0, 500.1}, {5.0}, [](int, int) { return P(1, 2, 3); });
    EXPECT_EQ(table->GetCWStep(), 0.1);
}

TEST_F(CalDataTest, RowValues_AreComparedExactly) {
    Fill({400.05, 400.5}, {5.0}, [](int, int) { return P(1, 2, 3); });
    EXPECT_FALSE(table->HasCWRow(400.0));
    EXPECT_FALSE(table->HasCWRow(400.1));
    EXPECT_TRUE(table->HasCWRow(400.5));
    EXPECT_FALSE(table->FindCell(400.0, 5.0));
}

TEST_F(CalDataTest, ColumnValidOnlyInRows10To40_BoundsAreThoseRows) {
    std::vector<double> cws;
    for (int r = 0; r < 50; ++r)
        cws.push_back(600.0 + r);
    Fill(cws, {5.0, 10.0},
         [](int r, int c) { return c == 1 && (r < 10 || r > 40) ? X() : P(r, c, 7); });
    EXPECT_EQ(table->GetMinCWForFWHM(10.0), 610.0);
    EXPECT_EQ(table->GetMaxCWForFWHM(10.0), 640.0);
    EXPECT_EQ(table->GetMinCWForFWHM(5.0), 600.0);
    EXPECT_EQ(table->GetMaxCWForFWHM(5.0), 649.0);
}

TEST_F(CalDataTest, RowWithXAtBothEnds_BoundsAreTheInnerColumns) {
    Fill({500.0, 500.5}, {2.0, 5.0, 10.0, 20.0},
         [](int r, int c) { return r == 1 && (c == 0 || c == 3) ? X() : P(1, 2, 3); });
    EXPECT_EQ(table->GetMinFWHMForCW(500.5), 5.0);
    EXPECT_EQ(table->GetMaxFWHMForCW(500.5), 10.0);
}

TEST_F(CalDataTest, CellWithANegativePart_CountsAsUnreachable) {
    Fill({500.0}, {5.0, 10.0}, [](int, int c) { return c == 0 ? P(1, -1, 3) : P(4, 5, 6); });
    EXPECT_EQ(table->GetMinFWHMForCW(500.0), 10.0);
}

TEST_F(CalDataTest, RowWithoutValidCells_AnswersZero) {
    Fill({500.0, 500.5}, {5.0, 10.0}, [](int r, int) { return r == 0 ? X() : P(1, 2, 3); });
    EXPECT_EQ(table->GetMinFWHMForCW(500.0), 0.0);
    EXPECT_EQ(table->GetMaxFWHMForCW(500.0), 0.0);
}

TEST_F(CalDataTest, DuplicateRows_TheCellIsTheFirstRows) {
    Fill({500.0, 500.5, 500.5}, {5.0, 10.0},
         [](int r, int) { return r == 2 ? P(21, 22, 23) : P(r, 2, 3); });
    EXPECT_EQ(CellAt(500.5, 5.0), (std::vector<int>{1, 2, 3}));
}

TEST_F(CalDataTest, DuplicateRows_SearchGoesOnWhenTheFirstHasNoValidCell) {
    Fill({500.0, 500.5, 500.5}, {5.0, 10.0}, [](int r, int) { return r == 1 ? X() : P(r, 2, 3); });
    EXPECT_TRUE(table->HasCWRow(500.5));
    EXPECT_EQ(table->GetMinFWHMForCW(500.5), 5.0);
    EXPECT_EQ(table->GetMaxFWHMForCW(500.5), 10.0);
    // The first 500.5 row holds "x": its cell is the answer, marked invalid.
    EXPECT_FALSE(table->FindCell(500.5, 5.0)->Valid);
}

TEST_F(CalDataTest, DuplicateColumns_SearchGoesOnToTheNextMatchingColumn) {
    Fill({500.0, 500.5}, {5.0, 10.0, 10.0}, [](int r, int c) { return c == 1 ? X() : P(r, c, 1); });
    EXPECT_EQ(table->GetMinCWForFWHM(10.0), 500.0);
    EXPECT_EQ(table->GetMaxCWForFWHM(10.0), 500.5);
    EXPECT_FALSE(table->FindCell(500.0, 10.0)->Valid); // the first 10.0 column holds "x"
}

TEST_F(CalDataTest, FindCell_AnswersTheCellOfTheFirstMatchingRowAndColumn) {
    FillExample();
    EXPECT_EQ(CellAt(501.0, 20.0), (std::vector<int>{1180, 3390, 600}));
    EXPECT_EQ(CellAt(500.0, 5.0), (std::vector<int>{1200, 3400, 150}));
    // A cell marked "x" is found with values the instrument link refuses to send.
    EXPECT_EQ(CellAt(500.0, 20.0), (std::vector<int>{-1, -1, -1}));
    EXPECT_FALSE(table->FindCell(500.0, 20.0)->Valid);
}

struct MissCase {
    const char *Name;
    double Cw;
    double Fwhm;
};

class CalDataCellMissTest : public CalDataTest, public ::testing::WithParamInterface<MissCase> {};

TEST_P(CalDataCellMissTest, AnswersNoCell) {
    FillExample();
    EXPECT_FALSE(table->FindCell(GetParam().Cw, GetParam().Fwhm));
}

INSTANTIATE_TEST_SUITE_P(Cases, CalDataCellMissTest,
                         ::testing::Values(MissCase{"RowWithoutThatColumn", 500.5, 7.5},
                                           MissCase{"ColumnWithoutThatRow", 502.0, 10.0},
                                           MissCase{"CloseButNotEqual", 500.05, 5.0}),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST_F(CalDataTest, CountsBeyondTheCapacity_AreLimitedToIt) {
    Fill({500.0, 500.5}, {5.0}, [](int, int) { return P(1, 2, 3); });
    table->RowCount = 5000;
    table->ColCount = 99;
    EXPECT_EQ(table->UsedRows(), TCalData::MaxRows);
    EXPECT_EQ(table->UsedCols(), TCalData::MaxCols);
    EXPECT_EQ(table->GetMaxCW(), table->CWValues[TCalData::MaxRows - 1]);
    EXPECT_FALSE(table->HasCWRow(12345.0));
}

} // namespace
