#include "console/formcontrolview.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <cmath>
#include <random>

namespace {

class PositionViewTest : public ::testing::Test {
protected:
    int Left(const char *name) const { return Widget(name)->x(); }
    QWidget *Widget(const char *name) const {
        auto *w = view.findChild<QWidget *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Text(const char *name) const {
        return view.findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
    void ExpectRest() const {
        EXPECT_EQ(Left("Image_Edit3_Base"), 364);
        EXPECT_EQ(Left("Label_Edit3"), 412);
        EXPECT_EQ(Left("Label_Edit6"), 468);
        EXPECT_EQ(Left("Image_Edit4_Base"), 351);
        EXPECT_EQ(Left("Label_Edit4"), 360);
        EXPECT_EQ(Left("Image_Edit5_Base"), 457);
        EXPECT_EQ(Left("Label_Edit5"), 495);
        EXPECT_EQ(Left("Image_Pos_CWL"), 451);
        EXPECT_EQ(Left("Image_Pos_SW"), 442);
        EXPECT_EQ(Left("Image_Pos_LW"), 460);
        EXPECT_EQ(Left("Image_Pos_Range"), 442);
        EXPECT_EQ(Widget("Image_Pos_Range")->width(), 26);
    }

    TForm_ControlView view;
};

// The pixel of a wavelength computed another way: long double, each half as a fraction of its
// length.
long double ExpectedPixel(double rangeMin, double rangeMax, double x) {
    const long double mid = std::nearbyint((rangeMin + rangeMax) * 0.5L * 10.0L) / 10.0L;
    if (x < mid)
        return 140.0L + (x - rangeMin) / (mid - rangeMin) * 314.0L;
    if (x > mid)
        return 454.0L + (x - mid) / (rangeMax - mid) * 314.0L;
    return 454.0L;
}

TEST_F(PositionViewTest, StartsClearedAtRest) {
    EXPECT_EQ(view.size(), QSize(910, 170));
    for (const char *label : {"Label_RangeMin", "Label_RangeMax", "Label_Edit3", "Label_Edit4",
                              "Label_Edit5", "Label_Edit6"})
        EXPECT_TRUE(Text(label).isEmpty()) << label;
    ExpectRest();
}

TEST_F(PositionViewTest, MapsBothHalvesOntoTheBar) {
    EXPECT_DOUBLE_EQ(TForm_ControlView::MapLinear(0, 10, 4, 30, 1), 15);
    EXPECT_DOUBLE_EQ(TForm_ControlView::MapLinear(0, 10, 4, 30, -2), 0); // extrapolates
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(590, 630, 590), 140);
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(590, 630, 610), 454);
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(590, 630, 630), 768);
    // 617.525 rounds to the mid 617.5; the halves then have different scales.
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(595.05, 640.0, 617.5), 454);
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(595.05, 640.0, 595.05), 140);
    EXPECT_EQ(TForm_ControlView::WavelengthToPixel(595.05, 640.0, 640.0), 768);
    EXPECT_NEAR(TForm_ControlView::WavelengthToPixel(595.05, 640.0, 606.275),
                140 + 314 * (606.275 - 595.05) / (617.5 - 595.05), 1e-9);
    EXPECT_NEAR(TForm_ControlView::WavelengthToPixel(595.05, 640.0, 628.75),
                454 + 314 * (628.75 - 617.5) / (640.0 - 617.5), 1e-9);
}

TEST_F(PositionViewTest, PlacesTheCWLBoxAndMarkerAtTheRangeEndsAndMiddle) {
    view.ShowSetPoint(590, 630, 610, 5, 607.5, 612.5);
    EXPECT_EQ(Left("Image_Edit3_Base"), 364);
    EXPECT_EQ(Left("Image_Pos_CWL"), 451);
    view.ShowSetPoint(590, 630, 590, 5, 587.5, 592.5);
    EXPECT_EQ(Left("Image_Edit3_Base"), 50);
    EXPECT_EQ(Left("Label_Edit3"), 98);
    EXPECT_EQ(Left("Label_Edit6"), 154);
    EXPECT_EQ(Left("Image_Pos_CWL"), 137);
    view.ShowSetPoint(590, 630, 630, 5, 627.5, 632.5);
    EXPECT_EQ(Left("Image_Edit3_Base"), 678);
    EXPECT_EQ(Left("Image_Pos_CWL"), 765);
}

TEST_F(PositionViewTest, StretchesTheBandFromTheSWToTheLWMarker) {
    // In the range 140 to 768 the left half maps every wavelength onto its own pixel.
    view.ShowSetPoint(140, 768, 320, 40, 300, 340);
    EXPECT_EQ(Left("Image_Edit4_Base"), 207);
    EXPECT_EQ(Left("Label_Edit4"), 216);
    EXPECT_EQ(Left("Image_Pos_SW"), 298);
    EXPECT_EQ(Left("Image_Edit5_Base"), 333);
    EXPECT_EQ(Left("Label_Edit5"), 371);
    EXPECT_EQ(Left("Image_Pos_LW"), 336);
    EXPECT_EQ(Left("Image_Pos_Range"), 298);
    EXPECT_EQ(Widget("Image_Pos_Range")->width(), 46);
    EXPECT_EQ(Widget("Image_Pos_Range")->height(), 33);
}

TEST_F(PositionViewTest, CutsPixelsTowardZero) {
    // CWL at pixel 89.5 puts the box at -0.5: trunc gives 0 where floor would give -1.
    view.ShowSetPoint(140, 768, 89.5, 5, 87, 92);
    EXPECT_EQ(Left("Image_Edit3_Base"), 0);
    EXPECT_EQ(Left("Image_Pos_CWL"), 87);
    // And 1.5 pixels further left, -2.0: no rounding at all.
    view.ShowSetPoint(140, 768, 88.0, 5, 87, 92);
    EXPECT_EQ(Left("Image_Edit3_Base"), -2);
}

TEST_F(PositionViewTest, WritesTheLabelTexts) {
    view.ShowSetPoint(590, 630, 600, 5, 597.5, 602.5);
    EXPECT_EQ(Text("Label_RangeMin"), "590.0");
    EXPECT_EQ(Text("Label_RangeMax"), "630.0");
    EXPECT_EQ(Text("Label_Edit3"), "600.00");
    EXPECT_EQ(Text("Label_Edit4"), "597.50");
    EXPECT_EQ(Text("Label_Edit5"), "602.50");
    EXPECT_EQ(Text("Label_Edit6"), "[ 5.00 ]");
}

TEST_F(PositionViewTest, ShowRangeAndClearViewReturnEverythingToRest) {
    view.ShowSetPoint(590, 630, 595, 5, 592.5, 597.5);
    view.ShowRange(480.0, 910.0);
    EXPECT_EQ(Text("Label_RangeMin"), "480.0");
    EXPECT_EQ(Text("Label_RangeMax"), "910.0");
    for (const char *label : {"Label_Edit3", "Label_Edit4", "Label_Edit5", "Label_Edit6"})
        EXPECT_TRUE(Text(label).isEmpty()) << label;
    ExpectRest();

    view.ShowSetPoint(590, 630, 595, 5, 592.5, 597.5);
    view.ClearView();
    EXPECT_TRUE(Text("Label_RangeMin").isEmpty());
    EXPECT_TRUE(Text("Label_RangeMax").isEmpty());
    EXPECT_TRUE(Text("Label_Edit6").isEmpty());
    ExpectRest();
}

TEST_F(PositionViewTest, MatchesAnIndependentComputationForRandomRanges) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> low(100.0, 900.0), width(20.0, 600.0), where(-0.1, 1.1);
    for (int i = 0; i < 500; ++i) {
        const double rangeMin = low(random);
        const double rangeMax = rangeMin + width(random);
        const auto at = [&](double f) { return rangeMin + f * (rangeMax - rangeMin); };
        const double cwl = at(where(random)), sw = at(where(random)), lw = at(where(random));
        view.ShowSetPoint(rangeMin, rangeMax, cwl, 1, sw, lw);

        // Two ways of rounding may only disagree right at an integer.
        const auto expectedLeft = [&](double nm, double offset) -> std::optional<int> {
            const long double pixel = ExpectedPixel(rangeMin, rangeMax, nm) - offset;
            if (std::fabs(pixel - std::nearbyint(pixel)) < 1e-7L)
                return std::nullopt;
            return static_cast<int>(std::trunc(pixel));
        };
        const auto centre = expectedLeft(cwl, 90), swBox = expectedLeft(sw, 93),
                   lwBox = expectedLeft(lw, 7);
        if (!centre || !swBox || !lwBox)
            continue;
        const std::string where = std::to_string(rangeMin) + ".." + std::to_string(rangeMax);
        EXPECT_EQ(Left("Image_Edit3_Base"), *centre) << where;
        // The markers stand on the edges' pixels; the boxes keep them unless they would overlap,
        // and then part around the band.
        EXPECT_EQ(Left("Image_Pos_SW"), *swBox + 91) << where;
        EXPECT_EQ(Left("Image_Pos_LW"), *lwBox + 3) << where;
        if (*lwBox >= *swBox + 103 + 4) {
            EXPECT_EQ(Left("Image_Edit4_Base"), *swBox) << where;
            EXPECT_EQ(Left("Image_Edit5_Base"), *lwBox) << where;
        } else {
            EXPECT_EQ(Left("Image_Edit5_Base") - Left("Image_Edit4_Base"), 103 + 4) << where;
            EXPECT_LE(Left("Image_Edit4_Base"), *swBox) << where;
            EXPECT_GE(Left("Image_Edit5_Base"), *lwBox) << where;
        }
        EXPECT_EQ(Left("Image_Pos_CWL"), Left("Image_Edit3_Base") + 87);
        EXPECT_EQ(Left("Image_Pos_Range"), Left("Image_Pos_SW"));
        EXPECT_EQ(Widget("Image_Pos_Range")->width(),
                  std::max(0, Left("Image_Pos_LW") + 8 - Left("Image_Pos_SW")));
    }
}

TEST_F(PositionViewTest, ARangeWithoutWidthSendsTheEdgesOffTheBarWithoutOverflow) {
    view.ShowSetPoint(600, 600, 600, 5, 597.5, 602.5);
    EXPECT_EQ(Left("Image_Edit3_Base"), 364);
    EXPECT_LT(Left("Image_Edit4_Base"), -100000);
    EXPECT_GT(Left("Image_Edit5_Base"), 100000);
    EXPECT_EQ(Widget("Image_Edit4_Base")->y(), 108); // tops never change
}

} // namespace
