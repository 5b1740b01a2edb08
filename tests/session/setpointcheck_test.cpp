#include "session/setpointcheck.h"

#include "calfixture.h"
#include "ruletexts.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

// CW 590.0 .. 630.0 by 0.1, FWHM columns 2..10 and 20; a band reaches only where it fits with
// a margin of its own width on either side (so [2 * FWHM] is cut at each end).
class SetPointCheck : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.Fill(590.0, 630.0, 0.1, {2, 3, 4, 5, 6, 7, 8, 9, 10, 20}, 1.0);
    }
    TSetPointVerdict Centre(const QString &cwl, const QString &fwhm) {
        return CheckSetPoint(0, cwl, fwhm, fixture.table);
    }
    TSetPointVerdict Edges(const QString &sw, const QString &lw) {
        return CheckSetPoint(1, sw, lw, fixture.table);
    }
    ReadyTable fixture;
};

class SetPointRules : public SetPointCheck,
                      public ::testing::WithParamInterface<SetPointRuleCase> {};

TEST_P(SetPointRules, FirstFailingRuleGivesItsCodeAndExactText) {
    const SetPointRuleCase &c = GetParam();
    const TSetPointVerdict v = CheckSetPoint(c.mode, QString::fromLatin1(c.first),
                                             QString::fromLatin1(c.second), fixture.table);
    EXPECT_FALSE(v.Passed);
    EXPECT_EQ(v.Code, QString::fromLatin1(c.code));
    EXPECT_EQ(v.Text, WithSigns(c.text));
}

INSTANTIATE_TEST_SUITE_P(EveryRule, SetPointRules, ::testing::ValuesIn(SetPointRuleCases()));

TEST_F(SetPointCheck, CentreModeDerivesEdgesAndPassesOnTheBounds) {
    const TSetPointVerdict v = Centre("600.0", "5.0");
    ASSERT_TRUE(v.Passed) << v.Code.toStdString();
    EXPECT_DOUBLE_EQ(v.SetPoint.CWL, 600.0);
    EXPECT_DOUBLE_EQ(v.SetPoint.FWHM, 5.0);
    EXPECT_DOUBLE_EQ(v.SetPoint.SW, 597.5);
    EXPECT_DOUBLE_EQ(v.SetPoint.LW, 602.5);
    // A value equal to its bound passes.
    EXPECT_TRUE(Centre("595.0", "5").Passed);
    EXPECT_TRUE(Centre("625.0", "5").Passed);
    EXPECT_EQ(v.Bounds.MinCW, 590.0);
    EXPECT_EQ(v.Bounds.MaxCW, 630.0);
    EXPECT_EQ(v.Bounds.MinFWHM, 2.0);
    EXPECT_EQ(v.Bounds.MaxFWHM, 20.0);
    EXPECT_EQ(v.Bounds.MinCWForFWHM, 595.0);
    EXPECT_EQ(v.Bounds.MaxCWForFWHM, 625.0);
}

TEST_F(SetPointCheck, EdgeModeDerivesCentreAndWidth) {
    const TSetPointVerdict v = Edges("597.5", "602.5");
    ASSERT_TRUE(v.Passed) << v.Code.toStdString();
    EXPECT_DOUBLE_EQ(v.SetPoint.CWL, 600.0);
    EXPECT_DOUBLE_EQ(v.SetPoint.FWHM, 5.0);
    EXPECT_DOUBLE_EQ(v.SetPoint.SW, 597.5);
    EXPECT_DOUBLE_EQ(v.SetPoint.LW, 602.5);
}

TEST_F(SetPointCheck, EntriesAreRoundedHalfToEvenBeforeAnyRule) {
    EXPECT_DOUBLE_EQ(Centre("600.25", "5").SetPoint.CWL, 600.2);
    EXPECT_DOUBLE_EQ(Centre("600.75", "5").SetPoint.CWL, 600.8);
    EXPECT_DOUBLE_EQ(Centre("600.04", "5").SetPoint.CWL, 600.0);
    // 600.25 rounds to a row value, so the membership rule passes.
    EXPECT_TRUE(Centre("600.25", "5").Passed);
}

TEST_F(SetPointCheck, CentreThatIsNoTableRowFailsMembership) {
    ReadyTable coarse;
    coarse.Fill(590.0, 630.0, 0.5, {5}, 0.0);
    const TSetPointVerdict v = CheckSetPoint(0, "600.2", "5", coarse.table);
    EXPECT_EQ(v.Code, "ERRSE07");
    EXPECT_EQ(v.Text, "The decimal place of [CWL] must be an even integer.");
}

TEST_F(SetPointCheck, FailureKeepsTheBoundsButNoSetPoint) {
    const TSetPointVerdict v = Centre("626.0", "5");
    EXPECT_FALSE(v.Passed);
    EXPECT_EQ(v.Bounds.MaxCWForFWHM, 625.0);
    EXPECT_EQ(v.SetPoint.CWL, 0.0);
}

TEST_F(SetPointCheck, NoUsableTableQuotesZeroBounds) {
    fixture.table.Loaded = false;
    EXPECT_EQ(Centre("600", "5").Code, "ERRSE04");
    EXPECT_EQ(Centre("600", "5").Text, WithSigns("Out of range. Please set [CWL] <= 0.0"));
    EXPECT_EQ(Edges("597.5", "602.5").Code, "ERRSE14");
}

// Random entries in both modes against rules written out independently.
TEST_F(SetPointCheck, RandomEntriesAgreeWithIndependentRules) {
    QRandomGenerator random(20261209);
    for (int i = 0; i < 5000; ++i) {
        const int tenthsCentre = random.bounded(5800, 6400);
        const int tenthsWidth = random.bounded(-20, 260);
        const QString cwl =
            QString::number(tenthsCentre / 10) + "." + QString::number(std::abs(tenthsCentre % 10));
        const QString fwhm = QString::number(tenthsWidth / 10.0, 'f', 1);
        const TSetPointVerdict v = Centre(cwl, fwhm);
        const double c = tenthsCentre / 10.0;
        const double w = tenthsWidth / 10.0;
        QString expected;
        const bool whole = tenthsWidth % 10 == 0;
        const bool isColumn = whole && ((w >= 2 && w <= 10) || w == 20);
        if (w < 0)
            expected = "ERRSE02";
        else if (c < 590.0)
            expected = "ERRSE03";
        else if (c > 630.0)
            expected = "ERRSE04";
        else if (w < 2)
            expected = "ERRSE05";
        else if (w > 20)
            expected = "ERRSE06";
        else if (!whole)
            expected = "ERRSE08";
        else if (!isColumn)
            expected = "ERRSE10";
        else if (c < 590.0 + w)
            expected = "ERRSE09";
        else if (c > 630.0 - w)
            expected = "ERRSE10";
        EXPECT_EQ(v.Code, expected) << cwl.toStdString() << " " << fwhm.toStdString();
        EXPECT_EQ(v.Passed, expected.isEmpty());
    }
}

} // namespace
