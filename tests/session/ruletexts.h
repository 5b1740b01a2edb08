#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>
#include <vector>

// Rule texts in test tables write the comparison signs as ">=" and "<=".
inline QString WithSigns(const char *text) {
    return QString::fromUtf8(text)
        .replace(QStringLiteral(">="), QStringLiteral("\u2265"))
        .replace(QStringLiteral("<="), QStringLiteral("\u2264"));
}
// The same text as a remote client receives it: each sign as its code-page byte pair.
inline QByteArray WithClientSigns(const char *text) {
    return QByteArray(text).replace(">=", "\xA1\xC3").replace("<=", "\xA1\xC2");
}

struct SetPointRuleCase {
    int mode; // 0: CWL/FWHM, 1: SW/LW
    const char *first;
    const char *second;
    const char *code;
    const char *text;
};

inline void PrintTo(const SetPointRuleCase &c, std::ostream *os) {
    *os << c.code << " for '" << c.first << "', '" << c.second << "'";
}

// Entries that break one set-point rule each, against CW 590.0 .. 630.0 by 0.1 with FWHM
// columns 2..10 and 20, where a band reaches only with a margin of its own width at either end.
inline const std::vector<SetPointRuleCase> &SetPointRuleCases() {
    static const std::vector<SetPointRuleCase> cases{
        {0, "-1", "5", "ERRSE01", "[CWL] value is invalid."},
        {0, "-1", "-5", "ERRSE01", "[CWL] value is invalid."},
        {0, "600", "-5", "ERRSE02", "[FWHM] value is invalid."},
        {0, "700", "-5", "ERRSE02", "[FWHM] value is invalid."},
        {0, "", "", "ERRSE03", "Out of range. Please set [CWL] >= 590.0"},
        {0, "abc", "5", "ERRSE03", "Out of range. Please set [CWL] >= 590.0"},
        {0, "630.1", "5", "ERRSE04", "Out of range. Please set [CWL] <= 630.0"},
        {0, "600", "1", "ERRSE05", "Out of range. Please set [FWHM] >= 2.0"},
        {0, "600", "20.1", "ERRSE06", "Out of range. Please set [FWHM] <= 20.0"},
        {0, "600", "5.5", "ERRSE08", "[FWHM] must be a positive integer value."},
        {0, "600.04", "5.5", "ERRSE08", "[FWHM] must be a positive integer value."},
        {0, "591.0", "5", "ERRSE09", "Out of range. If [FWHM] = 5.0 Please set [CWL] >= 595.0"},
        {0, "594.9", "5", "ERRSE09", "Out of range. If [FWHM] = 5.0 Please set [CWL] >= 595.0"},
        {0, "625.1", "5", "ERRSE10", "Out of range. If [FWHM] = 5.0 Please set [CWL] <= 625.0"},
        {0, "626.0", "5", "ERRSE10", "Out of range. If [FWHM] = 5.0 Please set [CWL] <= 625.0"},
        {0, "600", "11", "ERRSE10", "Out of range. If [FWHM] = 11.0 Please set [CWL] <= 0.0"},
        {1, "-1", "600", "ERRSE11", "[SW] value is invalid."},
        {1, "-1", "-1", "ERRSE11", "[SW] value is invalid."},
        {1, "600", "-1", "ERRSE12", "[LW] value is invalid."},
        {1, "580", "590", "ERRSE13", "Out of range. Please set ([LW]+[SW])/2 >= 590.0"},
        {1, "630", "640", "ERRSE14", "Out of range. Please set ([LW]+[SW])/2 <= 630.0"},
        {1, "602.5", "597.5", "ERRSE15", "Out of range. Please set ([LW]-[SW]) >= 2.0"},
        {1, "589", "611", "ERRSE16", "Out of range! Please set ([LW]-[SW]) <= 20.0"},
        {1, "597.4", "602.5", "ERRSE17",
         "The decimal place of ([LW]+[SW])/2 must be an even integer."},
        {1, "597.4", "602.6", "ERRSE18", "([LW]-[SW]) must be a positive integer value."},
        {1, "588.5", "593.5", "ERRSE19",
         "Out of range. If ([LW]-[SW]) = 5.0 Please set ([LW]+[SW])/2 >= 595.0"},
        {1, "624.5", "629.5", "ERRSE20",
         "Out of range. If ([LW]-[SW]) = 5.0 Please set ([LW]+[SW])/2 <= 625.0"},
    };
    return cases;
}
