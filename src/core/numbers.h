#pragma once

#include <QString>

// Reads a decimal number: optional blanks, an optional sign, digits with at most one decimal
// separator (the locale's), an optional exponent. Anything else, or an overflow, gives def.
double StrToFloatDef(const QString &text, double def);

// Reads a decimal integer (optional sign, no blanks) that fits in 32 bits; anything else gives def.
int StrToIntDef(const QString &text, int def);

// The multiple of 10^digits nearest to x, ties to even, for digits 0, -1 and -2. x is scaled in
// extended precision so that a value stored just below a tie (0.35) rounds down.
double RoundTo(double x, int digits);

// Writes x with the pattern "0.0" or "0.00": halves rounded away from zero on the value's
// 18-significant-digit decimal form, the locale's decimal separator, no thousands separator.
QString FormatFloat(const QString &pattern, double x);

// The decimal separator of the user's regional settings.
QChar LocaleDecimalSeparator();
