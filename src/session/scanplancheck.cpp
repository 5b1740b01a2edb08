#include "session/scanplancheck.h"

#include "caldata/caldata.h"
#include "core/numbers.h"

#include <cmath>

namespace {

QString F(double value) {
    return FormatFloat(QStringLiteral("0.0"), value);
}

double ReadTenths(const QString &text) {
    return RoundTo(StrToFloatDef(text, 0.0), -1);
}

const QString GreaterOrEqual = QStringLiteral(" \u2265 ");
const QString LessOrEqual = QStringLiteral(" \u2264 ");

QString Range(const char *name, const QString &sign, double bound) {
    return QStringLiteral("Out of range. Please set [") + QLatin1String(name) +
           QStringLiteral("]") + sign + F(bound);
}

const QString TimeDelayInvalid = QStringLiteral("[TimeDelay] value is invalid.");

QString TimeDelayRange(const QString &sign, const char *bound) {
    return QStringLiteral("Out of range. Please set [TimeDelay]") + sign + QLatin1String(bound);
}

// STEP must be a whole multiple of the table's CW interval, both counted in tenths of a nm.
bool IsWholeMultipleOfInterval(double step, double interval) {
    const double s = RoundTo(step * 10.0, 0);
    const double c = RoundTo(interval * 10.0, 0);
    if (c == 0.0 || !std::isfinite(s))
        return false;
    return std::fmod(s, c) == 0.0;
}

} // namespace

TScanPlanVerdict CheckScanPlan(const TScanPlanTexts &texts, const TCalData &table) {
    TScanPlan p;
    p.START = ReadTenths(texts.START);
    p.END = ReadTenths(texts.END);
    p.FWHM = ReadTenths(texts.FWHM);
    p.STEP = ReadTenths(texts.STEP);
    p.TimeDelay = ReadTenths(texts.TimeDelay);

    const double minCW = table.GetMinCW();
    const double maxCW = table.GetMaxCW();
    const double minFWHM = table.GetMinFWHM();
    const double maxFWHM = table.GetMaxFWHM();
    const double interval = table.GetCWStep();

    TScanPlanVerdict verdict;
    auto fail = [&verdict](const char *code, const QString &text) {
        verdict.Code = QString::fromLatin1(code);
        verdict.Text = text;
        return verdict;
    };

    if (p.START < 0)
        return fail("ERRSC01", QStringLiteral("[START] value is invalid."));
    if (p.END < 0)
        return fail("ERRSC02", QStringLiteral("[END] value is invalid."));
    if (p.FWHM < 0)
        return fail("ERRSC03", QStringLiteral("[FWHM] value is invalid."));
    if (p.STEP < 0)
        return fail("ERRSC04", QStringLiteral("[STEP] value is invalid."));
    if (p.TimeDelay < 0)
        return fail("ERRSC05", TimeDelayInvalid);
    if (p.START < minCW)
        return fail("ERRSC06", Range("START", GreaterOrEqual, minCW));
    if (p.START > maxCW)
        return fail("ERRSC07", Range("START", LessOrEqual, maxCW));
    if (p.END < minCW)
        return fail("ERRSC08", Range("END", GreaterOrEqual, minCW));
    if (p.END > maxCW)
        return fail("ERRSC09", Range("END", LessOrEqual, maxCW));
    if (p.FWHM < minFWHM)
        return fail("ERRSC10", Range("FWHM", GreaterOrEqual, minFWHM));
    if (p.FWHM > maxFWHM)
        return fail("ERRSC11", Range("FWHM", LessOrEqual, maxFWHM));
    if (p.STEP < interval)
        return fail("ERRSC12", Range("STEP", GreaterOrEqual, interval));
    if (!IsWholeMultipleOfInterval(p.STEP, interval))
        return fail("ERRSC13",
                    QStringLiteral("The decimal place of [STEP] must be an even integer."));
    if (p.TimeDelay < 0.1)
        return fail("ERRSC14", TimeDelayRange(GreaterOrEqual, "0.1"));
    if (p.TimeDelay > 600.0)
        return fail("ERRSC15", TimeDelayRange(LessOrEqual, "600.0"));
    if (!table.HasCWRow(p.START))
        return fail("ERRSC16",
                    QStringLiteral("The decimal place of [START] must be an even integer."));
    if (!table.HasCWRow(p.END))
        return fail("ERRSC17",
                    QStringLiteral("The decimal place of [END] must be an even integer."));
    if (RoundTo(p.FWHM, 0) != p.FWHM)
        return fail("ERRSC18", QStringLiteral("[FWHM] must be a positive integer value."));

    const double lo = table.GetMinCWForFWHM(p.FWHM);
    const double hi = table.GetMaxCWForFWHM(p.FWHM);
    if (p.START < p.END && p.START < lo)
        return fail("ERRSC19", Range("START", GreaterOrEqual, lo));
    if (p.START < p.END && p.END > hi)
        return fail("ERRSC20", Range("END", LessOrEqual, hi));
    if (p.START > p.END && p.START > hi)
        return fail("ERRSC21", Range("START", LessOrEqual, hi));
    if (p.START > p.END && p.END < lo)
        return fail("ERRSC22", Range("END", GreaterOrEqual, lo));

    p.MinCWForFWHM = lo;
    p.MaxCWForFWHM = hi;
    verdict.Passed = true;
    verdict.Plan = p;
    return verdict;
}

std::optional<TRuleFailure> CheckTimeDelay(double timeDelay) {
    if (timeDelay < 0)
        return TRuleFailure{QStringLiteral("ERRSC05"), TimeDelayInvalid};
    if (timeDelay < 0.1)
        return TRuleFailure{QStringLiteral("ERRSC14"), TimeDelayRange(GreaterOrEqual, "0.1")};
    if (timeDelay > 600.0)
        return TRuleFailure{QStringLiteral("ERRSC15"), TimeDelayRange(LessOrEqual, "600.0")};
    return std::nullopt;
}
