#include "core/numbers.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

QChar LocaleDecimalSeparator() {
    // The default locale is the user's unless something sets another; reading and writing share
    // this one answer so that what is written reads back.
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.at(0);
}

double StrToFloatDef(const QString &text, double def) {
    const QChar separator = LocaleDecimalSeparator();
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin) == QChar(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QChar(' '))
        --end;

    // Validate the grammar by hand and build a plain form for the conversion, which ignores every
    // locale (the C library's one follows the environment once the application starts).
    QByteArray plain;
    int i = begin;
    if (i < end && (text.at(i) == QChar('+') || text.at(i) == QChar('-'))) {
        if (text.at(i) == QChar('-'))
            plain.append('-');
        ++i;
    }
    int digits = 0;
    bool seenSeparator = false;
    // Decimal position of the first significant digit, to tell an overflow from an underflow.
    int magnitude = 0;
    bool significant = false;
    for (; i < end; ++i) {
        const QChar c = text.at(i);
        if (c >= QChar('0') && c <= QChar('9')) {
            plain.append(c.toLatin1());
            ++digits;
            significant = significant || c != QChar('0');
            if (!seenSeparator && significant)
                ++magnitude;
            else if (seenSeparator && !significant)
                --magnitude;
        } else if (c == separator && !seenSeparator) {
            plain.append('.');
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return def;
    if (i < end && (text.at(i) == QChar('e') || text.at(i) == QChar('E'))) {
        plain.append('e');
        ++i;
        bool negativeExponent = false;
        if (i < end && (text.at(i) == QChar('+') || text.at(i) == QChar('-'))) {
            negativeExponent = text.at(i) == QChar('-');
            plain.append(text.at(i++).toLatin1());
        }
        int exponentDigits = 0;
        int exponent = 0;
        for (; i < end && text.at(i) >= QChar('0') && text.at(i) <= QChar('9'); ++i) {
            plain.append(text.at(i).toLatin1());
            ++exponentDigits;
            exponent = std::min(exponent * 10 + (text.at(i).unicode() - '0'), 100000);
        }
        if (exponentDigits == 0)
            return def;
        magnitude += negativeExponent ? -exponent : exponent;
    }
    if (i != end)
        return def;
    double value = 0.0;
    const auto [ptr, error] =
        std::from_chars(plain.constData(), plain.constData() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small for a double is zero; too large is not a number.
        if (magnitude > 0)
            return def;
        return plain.startsWith('-') ? -0.0 : 0.0;
    }
    if (error != std::errc() || ptr != plain.constData() + plain.size() || std::isinf(value))
        return def;
    return value;
}

int StrToIntDef(const QString &text, int def) {
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QChar('+') || text.at(i) == QChar('-')))
        negative = text.at(i++) == QChar('-');
    if (i == text.size())
        return def;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QChar('0') || c > QChar('9'))
            return def;
        value = value * 10 + (c.unicode() - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return def;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return def;
    return static_cast<int>(value);
}

double RoundTo(double x, int digits) {
    if (!std::isfinite(x) || digits > 0 || digits < -2)
        return x;
    const double factor = digits == 0 ? 1.0 : (digits == -1 ? 10.0 : 100.0);
    const long double scaled = static_cast<long double>(x) * static_cast<long double>(factor);
    // nearbyintl honours the default rounding mode: ties to even.
    const long double whole = std::nearbyintl(scaled);
    if (std::fabs(static_cast<double>(whole)) >= 9007199254740992.0)
        return x; // already an integer at this magnitude
    // Dividing two exact doubles gives the double nearest to the decimal multiple.
    return static_cast<double>(whole) / factor;
}

namespace {

// The decimal digits of |x| correctly rounded to 18 significant digits, and the power of ten of
// the first one: |x| ~ 0.d1d2...d18 * 10^(exponent + 1).
void EighteenDigits(double x, QByteArray &digits, int &exponent) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                      std::chars_format::scientific, 17);
    const QByteArray text(buffer, int(result.ptr - buffer));
    const int e = text.indexOf('e');
    digits = text.left(e);
    digits.remove(1, 1); // the '.'
    exponent = std::atoi(text.constData() + e + 1);
}

} // namespace

QString FormatFloat(const QString &pattern, double x) {
    const int decimals = pattern == QLatin1String("0.00") ? 2 : 1;
    if (std::isnan(x))
        return QStringLiteral("NAN");
    if (std::isinf(x))
        return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    QByteArray digits;
    int exponent = 0;
    EighteenDigits(x, digits, exponent);

    // Fixed form as an integer digit string scaled by 10^decimals, rounded half away from zero.
    // Position of the decimal point inside `digits`: exponent + 1.
    const int keep = exponent + 1 + decimals; // digits kept before rounding
    QByteArray kept;
    bool roundUp = false;
    if (keep <= 0) {
        kept = QByteArray();
        roundUp = keep == 0 && digits.at(0) >= '5';
    } else if (keep >= digits.size()) {
        kept = digits + QByteArray(keep - digits.size(), '0');
    } else {
        kept = digits.left(keep);
        roundUp = digits.at(keep) >= '5';
    }
    if (roundUp) {
        int i = kept.size() - 1;
        while (i >= 0 && kept.at(i) == '9') {
            kept[i] = '0';
            --i;
        }
        if (i < 0)
            kept.prepend('1');
        else
            kept[i] = static_cast<char>(kept.at(i) + 1);
    }
    if (kept.size() < decimals + 1)
        kept.prepend(QByteArray(decimals + 1 - kept.size(), '0'));
    while (kept.size() > decimals + 1 && kept.at(0) == '0')
        kept.remove(0, 1);

    const bool isZero = kept.count('0') == kept.size();
    QString result;
    if (x < 0 && !isZero)
        result.append(QChar('-'));
    result.append(QString::fromLatin1(kept.left(kept.size() - decimals)));
    result.append(LocaleDecimalSeparator());
    result.append(QString::fromLatin1(kept.right(decimals)));
    return result;
}
