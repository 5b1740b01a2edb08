#include "session/setpointcheck.h"

#include "caldata/caldata.h"
#include "core/numbers.h"

namespace {

QString F(double value) {
    return FormatFloat(QStringLiteral("0.0"), value);
}

const QString GreaterOrEqual = QStringLiteral(" \u2265 ");
const QString LessOrEqual = QStringLiteral(" \u2264 ");

// The texts of one entry mode; the two modes test the same conditions in the same order.
struct RuleTexts {
    const char *codes[10];
    QString firstInvalid, secondInvalid;
    QString centreName, widthName; // as quoted in the range texts
    QString widthRangeIntro;       // "Out of range." or, for one rule, "Out of range!"
    QString centreNotRow, widthNotWhole;
};

const RuleTexts &TextsFor(int inputMode) {
    static const RuleTexts centreWidth{
        {"ERRSE01", "ERRSE02", "ERRSE03", "ERRSE04", "ERRSE05", "ERRSE06", "ERRSE07", "ERRSE08",
         "ERRSE09", "ERRSE10"},
        QStringLiteral("[CWL] value is invalid."),
        QStringLiteral("[FWHM] value is invalid."),
        QStringLiteral("[CWL]"),
        QStringLiteral("[FWHM]"),
        QStringLiteral("Out of range."),
        QStringLiteral("The decimal place of [CWL] must be an even integer."),
        QStringLiteral("[FWHM] must be a positive integer value.")};
    static const RuleTexts edges{
        {"ERRSE11", "ERRSE12", "ERRSE13", "ERRSE14", "ERRSE15", "ERRSE16", "ERRSE17", "ERRSE18",
         "ERRSE19", "ERRSE20"},
        QStringLiteral("[SW] value is invalid."),
        QStringLiteral("[LW] value is invalid."),
        QStringLiteral("([LW]+[SW])/2"),
        QStringLiteral("([LW]-[SW])"),
        QStringLiteral("Out of range!"),
        QStringLiteral("The decimal place of ([LW]+[SW])/2 must be an even integer."),
        QStringLiteral("([LW]-[SW]) must be a positive integer value.")};
    return inputMode == 1 ? edges : centreWidth;
}

} // namespace

TSetPointVerdict CheckSetPoint(int inputMode, const QString &first, const QString &second,
                               const TCalData &table) {
    TSetPointVerdict verdict;
    TSetPointBounds &b = verdict.Bounds;
    b.MinCW = table.GetMinCW();
    b.MaxCW = table.GetMaxCW();
    b.MinFWHM = table.GetMinFWHM();
    b.MaxFWHM = table.GetMaxFWHM();

    const double a = RoundTo(StrToFloatDef(first, 0.0), -1);
    const double z = RoundTo(StrToFloatDef(second, 0.0), -1);
    const TSetPoint p = inputMode == 1 ? TBand::FromEdges(a, z) : TBand::FromCentre(a, z);
    b.MinCWForFWHM = table.GetMinCWForFWHM(p.FWHM);
    b.MaxCWForFWHM = table.GetMaxCWForFWHM(p.FWHM);

    const RuleTexts &t = TextsFor(inputMode);
    const QString rangeIntro = QStringLiteral("Out of range. Please set ");
    const QString perWidthIntro = QStringLiteral("Out of range. If ") + t.widthName +
                                  QStringLiteral(" = ") + F(p.FWHM) +
                                  QStringLiteral(" Please set ") + t.centreName;
    // In the edge mode the two checked values are the derived centre and width.
    const double firstValue = inputMode == 1 ? p.SW : p.CWL;
    const double secondValue = inputMode == 1 ? p.LW : p.FWHM;

    struct Rule {
        bool fails;
        QString text;
    };
    const Rule rules[10] = {
        {firstValue < 0.0, t.firstInvalid},
        {secondValue < 0.0, t.secondInvalid},
        {p.CWL < b.MinCW, rangeIntro + t.centreName + GreaterOrEqual + F(b.MinCW)},
        {p.CWL > b.MaxCW, rangeIntro + t.centreName + LessOrEqual + F(b.MaxCW)},
        {p.FWHM < b.MinFWHM, rangeIntro + t.widthName + GreaterOrEqual + F(b.MinFWHM)},
        {p.FWHM > b.MaxFWHM, t.widthRangeIntro + QStringLiteral(" Please set ") + t.widthName +
                                 LessOrEqual + F(b.MaxFWHM)},
        {!table.HasCWRow(p.CWL), t.centreNotRow},
        {RoundTo(p.FWHM, 0) != p.FWHM, t.widthNotWhole},
        {p.CWL < b.MinCWForFWHM, perWidthIntro + GreaterOrEqual + F(b.MinCWForFWHM)},
        {p.CWL > b.MaxCWForFWHM, perWidthIntro + LessOrEqual + F(b.MaxCWForFWHM)},
    };
    for (int i = 0; i < 10; ++i) {
        if (rules[i].fails) {
            verdict.Code = QString::fromLatin1(t.codes[i]);
            verdict.Text = rules[i].text;
            return verdict;
        }
    }
    verdict.Passed = true;
    verdict.SetPoint = {RoundTo(p.CWL, -2), RoundTo(p.FWHM, -2), RoundTo(p.SW, -2),
                        RoundTo(p.LW, -2)};
    return verdict;
}
