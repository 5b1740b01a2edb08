#include "session/scanplancheck.h"

#include "calfixture.h"
#include "ruletexts.h"

#include <gtest/gtest.h>

namespace {

// CW 563.5 .. 645.0 by 0.5 nm, FWHM columns 2, 5, 10 and 20; a band reaches only where it fits
// with a margin of its own width, so at 5 nm the rows 568.5 .. 640.0 are reachable.
class ScanPlanCheck : public ::testing::Test {
protected:
    void SetUp() override { fixture.Fill(563.5, 645.0, 0.5, {2, 5, 10, 20}, 1.0); }
    TScanPlanVerdict Check(const char *start, const char *end, const char *fwhm, const char *step,
                           const char *delay) {
        return CheckScanPlan({start, end, fwhm, step, delay}, fixture.table);
    }
    ReadyTable fixture;
};

struct RuleCase {
    const char *start, *end, *fwhm, *step, *delay;
    const char *code;
    const char *text;
};

class ScanPlanRules : public ScanPlanCheck, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ScanPlanRules, FirstHoldingRuleGivesItsCodeAndExactText) {
    const RuleCase &c = GetParam();
    const TScanPlanVerdict v = Check(c.start, c.end, c.fwhm, c.step, c.delay);
    EXPECT_FALSE(v.Passed);
    EXPECT_EQ(v.Code, QString::fromLatin1(c.code));
    EXPECT_EQ(v.Text, WithSigns(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    EveryRule, ScanPlanRules,
    ::testing::Values(
        RuleCase{"-1", "-1", "-1", "-1", "-1", "ERRSC01", "[START] value is invalid."},
        RuleCase{"600", "-1", "5", "1", "1", "ERRSC02", "[END] value is invalid."},
        RuleCase{"600", "610", "-5", "1", "1", "ERRSC03", "[FWHM] value is invalid."},
        RuleCase{"600", "610", "5", "-1", "1", "ERRSC04", "[STEP] value is invalid."},
        RuleCase{"600", "610", "5", "1", "-1", "ERRSC05", "[TimeDelay] value is invalid."},
        RuleCase{"", "", "", "", "", "ERRSC06", "Out of range. Please set [START] >= 563.5"},
        RuleCase{"500", "610", "5", "10", "1", "ERRSC06",
                 "Out of range. Please set [START] >= 563.5"},
        RuleCase{"abc", "610", "5", "10", "1", "ERRSC06",
                 "Out of range. Please set [START] >= 563.5"},
        RuleCase{"645.5", "610", "5", "10", "1", "ERRSC07",
                 "Out of range. Please set [START] <= 645.0"},
        RuleCase{"600", "563", "5", "10", "1", "ERRSC08",
                 "Out of range. Please set [END] >= 563.5"},
        RuleCase{"600", "700", "5", "10", "1", "ERRSC09",
                 "Out of range. Please set [END] <= 645.0"},
        RuleCase{"600", "610", "1", "10", "1", "ERRSC10", "Out of range. Please set [FWHM] >= 2.0"},
        RuleCase{"600", "610", "21", "10", "1", "ERRSC11",
                 "Out of range. Please set [FWHM] <= 20.0"},
        RuleCase{"600", "610", "5", "0.4", "1", "ERRSC12",
                 "Out of range. Please set [STEP] >= 0.5"},
        RuleCase{"600", "610", "5", "0.7", "1", "ERRSC13",
                 "The decimal place of [STEP] must be an even integer."},
        RuleCase{"600", "610", "5", "10", "0", "ERRSC14",
                 "Out of range. Please set [TimeDelay] >= 0.1"},
        RuleCase{"600", "610", "5", "10", "0.04", "ERRSC14",
                 "Out of range. Please set [TimeDelay] >= 0.1"},
        RuleCase{"600", "610", "5", "10", "600.1", "ERRSC15",
                 "Out of range. Please set [TimeDelay] <= 600.0"},
        RuleCase{"600.2", "610", "5", "10", "1", "ERRSC16",
                 "The decimal place of [START] must be an even integer."},
        RuleCase{"600", "610.3", "5", "10", "1", "ERRSC17",
                 "The decimal place of [END] must be an even integer."},
        RuleCase{"600", "610", "5.5", "10", "1", "ERRSC18",
                 "[FWHM] must be a positive integer value."},
        RuleCase{"565", "610", "5", "10", "1", "ERRSC19",
                 "Out of range. Please set [START] >= 568.5"},
        RuleCase{"600", "641", "5", "10", "1", "ERRSC20",
                 "Out of range. Please set [END] <= 640.0"},
        RuleCase{"600", "610", "6", "10", "1", "ERRSC20", "Out of range. Please set [END] <= 0.0"},
        RuleCase{"641", "600", "5", "10", "1", "ERRSC21",
                 "Out of range. Please set [START] <= 640.0"},
        RuleCase{"610", "600", "6", "10", "1", "ERRSC21",
                 "Out of range. Please set [START] <= 0.0"},
        RuleCase{"600", "565", "5", "10", "1", "ERRSC22",
                 "Out of range. Please set [END] >= 568.5"}));

TEST_F(ScanPlanCheck, ValidPlanIsStoredRoundedWithItsReachableRange) {
    const TScanPlanVerdict v = Check("580.04", "610", "5", "10", "1.25");
    ASSERT_TRUE(v.Passed) << v.Code.toStdString();
    EXPECT_DOUBLE_EQ(v.Plan.START, 580.0);
    EXPECT_DOUBLE_EQ(v.Plan.END, 610.0);
    EXPECT_DOUBLE_EQ(v.Plan.FWHM, 5.0);
    EXPECT_DOUBLE_EQ(v.Plan.STEP, 10.0);
    EXPECT_DOUBLE_EQ(v.Plan.TimeDelay, 1.2);
    EXPECT_DOUBLE_EQ(v.Plan.MinCWForFWHM, 568.5);
    EXPECT_DOUBLE_EQ(v.Plan.MaxCWForFWHM, 640.0);
}

TEST_F(ScanPlanCheck, BoundaryValuesPass) {
    EXPECT_TRUE(Check("580", "610", "5", "0.5", "0.1").Passed); // STEP = CW interval, least delay
    EXPECT_TRUE(Check("580", "610", "5", "1.5", "600").Passed); // 15 tenths is 3 intervals
    EXPECT_TRUE(Check("568.5", "640", "5", "10", "1").Passed);  // the reachable ends
    EXPECT_TRUE(Check("640", "568.5", "5", "10", "1").Passed);  // descending
}

TEST_F(ScanPlanCheck, SinglePointPlanSkipsTheDirectionalRules) {
    // 566.0 is outside the 5 nm reach, yet a plan that starts and ends there is not checked
    // against it.
    EXPECT_TRUE(Check("566", "566", "5", "10", "1").Passed);
    EXPECT_TRUE(Check("600", "600", "6", "10", "1").Passed);
}

TEST_F(ScanPlanCheck, StepOfOneAndAHalfIntervalsFailsTheMultipleRule) {
    ReadyTable wholeNm;
    wholeNm.Fill(563.0, 645.0, 1.0, {5}, 0.0);
    EXPECT_EQ(CheckScanPlan({"580", "610", "5", "1.5", "1"}, wholeNm.table).Code, "ERRSC13");
    EXPECT_TRUE(CheckScanPlan({"580", "610", "5", "2", "1"}, wholeNm.table).Passed);
}

TEST_F(ScanPlanCheck, TableWithoutIntervalFailsTheMultipleRuleInsteadOfDividingByZero) {
    ReadyTable oneRow;
    oneRow.Fill(600.0, 600.0, 0.5, {5}, 0.0);
    const TScanPlanVerdict v = CheckScanPlan({"600", "600", "5", "1", "1"}, oneRow.table);
    EXPECT_EQ(v.Code, "ERRSC13");

    fixture.table.Loaded = false; // nothing usable: every bound reads 0
    EXPECT_EQ(Check("0", "0", "0", "0", "1").Code, "ERRSC13");
}

TEST_F(ScanPlanCheck, HugeStepDoesNotOverflow) {
    EXPECT_TRUE(Check("580", "610", "5", "1e300", "1").Passed);
    EXPECT_EQ(Check("580", "610", "5", "0.55", "1").Code, "ERRSC13"); // 0.55 reads as 0.6
}

} // namespace

// The table's own first and last rows pass the range rules; whether the band reaches them is for
// the reach rules to say, in both directions.
TEST_F(ScanPlanCheck, StartAtTheLargestCWOrEndAtTheSmallestMeetsTheReachRules) {
    const TScanPlanVerdict fromTop = Check("645", "600", "5", "10", "1");
    EXPECT_EQ(fromTop.Code, "ERRSC21");
    EXPECT_EQ(fromTop.Text, WithSigns("Out of range. Please set [START] <= 640.0"));
    const TScanPlanVerdict toBottom = Check("600", "563.5", "5", "10", "1");
    EXPECT_EQ(toBottom.Code, "ERRSC22");
    EXPECT_EQ(toBottom.Text, WithSigns("Out of range. Please set [END] >= 568.5"));

    ReadyTable reachesItsEnds;
    reachesItsEnds.Fill(563.5, 645.0, 0.5, {5}, 0.0);
    EXPECT_TRUE(CheckScanPlan({"645", "563.5", "5", "0.5", "1"}, reachesItsEnds.table).Passed);
    EXPECT_TRUE(CheckScanPlan({"563.5", "645", "5", "0.5", "1"}, reachesItsEnds.table).Passed);
}
