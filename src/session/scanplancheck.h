#pragma once

#include <QString>

#include <optional>

class TCalData;

// A validated scan: centre wavelengths START to END by STEP at a fixed FWHM (nm), dwelling
// TimeDelay seconds at each point, with the CW range available at that FWHM.
struct TScanPlan {
    double START = 0.0;
    double END = 0.0;
    double FWHM = 0.0;
    double STEP = 0.0;
    double TimeDelay = 0.0;
    double MinCWForFWHM = 0.0;
    double MaxCWForFWHM = 0.0;
};

struct TScanPlanTexts {
    QString START, END, FWHM, STEP, TimeDelay;
};

struct TScanPlanVerdict {
    bool Passed = false;
    QString Code;   // "ERRSC01" .. "ERRSC22" when not passed
    QString Text;   // the text without the code, signs as Unicode characters
    TScanPlan Plan; // when passed
};

// The rules shared by the local and the remote scan-plan validation; the first that holds
// decides. A table without a CW interval (none loaded, or a single row) fails the STEP multiple
// rule instead of dividing by zero.
TScanPlanVerdict CheckScanPlan(const TScanPlanTexts &texts, const TCalData &table);

// A rule that failed: its code and its text, signs as Unicode characters.
struct TRuleFailure {
    QString Code;
    QString Text;
};

// The TimeDelay rules alone, in their order (ERRSC05, ERRSC14, ERRSC15), for a dwell read as
// the plan reads TimeDelay; none when it passes. A band-list entry's dwell keeps a scan's rules.
std::optional<TRuleFailure> CheckTimeDelay(double timeDelay);
