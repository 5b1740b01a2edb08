#include "core/numbers.h"

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double Def = -999.0;

// ---- An exact decimal oracle, independent of the library's conversions --------------------

// |x| = digits * 10^scale exactly, digits without leading zeros ("0" for zero).
struct Decimal {
    std::string digits;
    int scale = 0;
};

// x = m * 2^e, so for e < 0 |x| = m * 5^-e * 10^e: a big integer in base 10^9 limbs suffices.
Decimal ExactDecimal(double x) {
    int exponent = 0;
    const double mantissa = std::frexp(std::fabs(x), &exponent);
    std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
    int e = exponent - 53;
    std::vector<std::uint32_t> limbs;
    while (m > 0) {
        limbs.push_back(static_cast<std::uint32_t>(m % 1000000000u));
        m /= 1000000000u;
    }
    const auto multiply = [&limbs](std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (std::uint32_t &limb : limbs) {
            const std::uint64_t product = std::uint64_t(limb) * factor + carry;
            limb = static_cast<std::uint32_t>(product % 1000000000u);
            carry = product / 1000000000u;
        }
        if (carry > 0)
            limbs.push_back(static_cast<std::uint32_t>(carry));
    };
    Decimal result;
    for (; e > 0; --e)
        multiply(2);
    for (; e < 0; ++e) {
        multiply(5);
        --result.scale;
    }
    if (limbs.empty())
        return {"0", 0};
    result.digits = std::to_string(limbs.back());
    for (int i = int(limbs.size()) - 2; i >= 0; --i) {
        const std::string limb = std::to_string(limbs[i]);
        result.digits += std::string(9 - limb.size(), '0') + limb;
    }
    return result;
}

std::string Increment(std::string digits) {
    int i = int(digits.size()) - 1;
    for (; i >= 0 && digits[i] == '9'; --i)
        digits[i] = '0';
    if (i < 0)
        return "1" + digits;
    ++digits[i];
    return digits;
}

enum class Ties { Even, AwayFromZero };

// The integer nearest to value / 10^keep, as digits.
std::string RoundDecimal(const Decimal &value, int keep, Ties ties) {
    if (keep <= value.scale)
        return value.digits + std::string(value.scale - keep, '0');
    const std::size_t drop = std::size_t(keep - value.scale);
    const std::size_t length = value.digits.size();
    const std::string head = drop < length ? value.digits.substr(0, length - drop) : "";
    const std::string rest = drop <= length ? value.digits.substr(length - drop)
                                            : std::string(drop - length, '0') + value.digits;
    bool up = rest[0] > '5';
    if (rest[0] == '5') {
        const bool beyondHalf = rest.find_first_not_of('0', 1) != std::string::npos;
        const bool odd = !head.empty() && (head.back() - '0') % 2 == 1;
        up = beyondHalf || ties == Ties::AwayFromZero || odd;
    }
    const std::string rounded = up ? Increment(head.empty() ? "0" : head) : head;
    return rounded.empty() ? "0" : rounded;
}

std::string ExpectedFormat(double x, int decimals) {
    const Decimal exact = ExactDecimal(x);
    Decimal eighteen = exact;
    if (exact.digits != "0") {
        const int keep = exact.scale + int(exact.digits.size()) - 18;
        eighteen = {RoundDecimal(exact, keep, Ties::Even), keep};
    }
    std::string whole = RoundDecimal(eighteen, -decimals, Ties::AwayFromZero);
    if (whole.size() < std::size_t(decimals + 1))
        whole.insert(0, std::size_t(decimals + 1) - whole.size(), '0');
    const bool zero = whole.find_first_not_of('0') == std::string::npos;
    return std::string(x < 0 && !zero ? "-" : "") + whole.substr(0, whole.size() - decimals) + "." +
           whole.substr(whole.size() - decimals);
}

// The double nearest to the multiple of 10^digits nearest to x, ties to even on x exactly.
double ExpectedRoundTo(double x, int digits) {
    const std::string multiple = RoundDecimal(ExactDecimal(x), digits, Ties::Even);
    const std::string text =
        std::string(x < 0 ? "-" : "") + multiple + "e" + std::to_string(digits);
    return std::strtod(text.c_str(), nullptr);
}

// Restores the default locale that a test changes.
class NumbersTest : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

// ---- StrToFloatDef --------------------------------------------------------------------------

struct FloatCase {
    const char *text;
    double expected;
};

class StrToFloatDefGrammar : public ::testing::TestWithParam<FloatCase> {};

TEST_P(StrToFloatDefGrammar, ReadsOnlyWholeNumbers) {
    const FloatCase c = GetParam();
    const double value = StrToFloatDef(QString::fromUtf8(c.text), Def);
    EXPECT_EQ(value, c.expected) << "text: '" << c.text << "'";
    EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << "text: '" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Edges, StrToFloatDefGrammar,
    ::testing::Values(FloatCase{"600.0", 600.0}, FloatCase{"  1.5  ", 1.5}, FloatCase{"+1.5", 1.5},
                      FloatCase{"-1.5", -1.5}, FloatCase{".5", 0.5}, FloatCase{"5.", 5.0},
                      FloatCase{"-.5", -0.5}, FloatCase{"-0", -0.0}, FloatCase{"007", 7.0},
                      FloatCase{"1e3", 1000.0}, FloatCase{"1E3", 1000.0}, FloatCase{"1e+3", 1000.0},
                      FloatCase{"2.5e-1", 0.25}, FloatCase{".5e1", 5.0}, FloatCase{"5.e1", 50.0},
                      FloatCase{"1.7976931348623157e308", std::numeric_limits<double>::max()},
                      FloatCase{"1e-400", 0.0}, FloatCase{"-1e-400", -0.0},
                      FloatCase{"0e99999999999", 0.0}, FloatCase{"0.0001e-320", 0.0},
                      FloatCase{"", Def}, FloatCase{"   ", Def}, FloatCase{"+", Def},
                      FloatCase{"-", Def}, FloatCase{".", Def}, FloatCase{"-.", Def},
                      FloatCase{"+-1", Def}, FloatCase{"e3", Def}, FloatCase{".e3", Def},
                      FloatCase{"1e", Def}, FloatCase{"1e+", Def}, FloatCase{"1e3.5", Def},
                      FloatCase{"1.5x", Def}, FloatCase{"x1.5", Def}, FloatCase{"1 5", Def},
                      FloatCase{"1..5", Def}, FloatCase{"1.5.", Def}, FloatCase{"1,5", Def},
                      FloatCase{"\t1.5", Def}, FloatCase{"1.5\r", Def}, FloatCase{"0x10", Def},
                      FloatCase{"inf", Def}, FloatCase{"nan", Def}, FloatCase{"1e400", Def},
                      FloatCase{"-1e400", Def}, FloatCase{"1.8e308", Def},
                      FloatCase{"100000000000000000000e99999", Def},
                      FloatCase{"\xEF\xBC\x91", Def}));

// Text built from an integer and a scale reads as the double nearest to their quotient, which
// plain double division gives while both are exact (|n| < 2^53, 10^k <= 10^22).
TEST_F(NumbersTest, StrToFloatDefReadsRandomDecimalsExactly) {
    std::mt19937_64 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        const long long n = static_cast<long long>(random() % 1000000000000000ULL);
        const int k = int(random() % 16);
        std::string digits = std::to_string(n);
        if (digits.size() <= std::size_t(k))
            digits.insert(0, std::size_t(k) + 1 - digits.size(), '0');
        const bool negative = random() % 2 == 1;
        const std::string sign = negative ? "-" : (random() % 3 == 0 ? "+" : "");
        const std::string whole = digits.substr(0, digits.size() - k);
        const std::string fraction = digits.substr(digits.size() - k);
        std::string text;
        switch (random() % 3) {
        case 0:
            text = sign + whole + "." + fraction;
            break;
        case 1:
            text = sign + digits + "e-" + std::to_string(k);
            break;
        default:
            text = sign + "." + digits + "E+" + std::to_string(digits.size() - k);
        }
        if (random() % 4 == 0)
            text = "  " + text + " ";
        const double expected = (negative ? -1.0 : 1.0) * double(n) / std::pow(10.0, k);
        ASSERT_EQ(StrToFloatDef(QString::fromStdString(text), Def), expected) << text;
    }
}

TEST_F(NumbersTest, ReadingAndWritingFollowTheDefaultLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(LocaleDecimalSeparator(), QChar(','));
    EXPECT_EQ(StrToFloatDef(QStringLiteral("1,5"), Def), 1.5);
    EXPECT_EQ(StrToFloatDef(QStringLiteral(",5e1"), Def), 5.0);
    EXPECT_EQ(StrToFloatDef(QStringLiteral("1.5"), Def), Def);
    EXPECT_EQ(FormatFloat(QStringLiteral("0.00"), 1.5), QStringLiteral("1,50"));
    EXPECT_EQ(StrToFloatDef(FormatFloat(QStringLiteral("0.0"), -600.25), Def), -600.3);
}

// Switches the C library's number locale to one with a decimal comma, built into folder when
// none is installed; false when this machine can do neither.
bool UseCommaCLocale(const QString &folder) {
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr)
            return std::localeconv()->decimal_point[0] == ',';
    }
    QFile source(folder + QStringLiteral("/comma.src"));
    if (!source.open(QIODevice::WriteOnly))
        return false;
    source.write("LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\n"
                 "grouping 3;3\nEND LC_NUMERIC\n");
    source.close();
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-c"), QStringLiteral("-i"), source.fileName(),
                     QStringLiteral("-f"), QStringLiteral("ANSI_X3.4-1968"),
                     folder + QStringLiteral("/xx_COMMA")});
    localedef.waitForFinished(30000);
    qputenv("LOCPATH", folder.toLocal8Bit());
    const bool switched = std::setlocale(LC_NUMERIC, "xx_COMMA") != nullptr;
    qunsetenv("LOCPATH");
    return switched && std::localeconv()->decimal_point[0] == ',';
}

// The C library's number locale follows the environment once the application starts; the
// helpers must not depend on it.
TEST_F(NumbersTest, IgnoresTheCLibraryNumberLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    QTemporaryDir folder;
    if (!UseCommaCLocale(folder.path())) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << "no C library locale with a decimal comma can be had here";
    }
    QLocale::setDefault(QLocale::c());
    const double value = StrToFloatDef(QStringLiteral("600.25"), Def);
    const QString text = FormatFloat(QStringLiteral("0.00"), 0.125);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(value, 600.25);
    EXPECT_EQ(text.toStdString(), "0.13");
}

// ---- StrToIntDef ----------------------------------------------------------------------------

struct IntCase {
    const char *text;
    int expected;
};

class StrToIntDefGrammar : public ::testing::TestWithParam<IntCase> {};

TEST_P(StrToIntDefGrammar, ReadsOnlyDecimalIntegersThatFit) {
    EXPECT_EQ(StrToIntDef(QString::fromUtf8(GetParam().text), -7), GetParam().expected)
        << "text: '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Edges, StrToIntDefGrammar,
                         ::testing::Values(IntCase{"0", 0}, IntCase{"-0", 0}, IntCase{"+5", 5},
                                           IntCase{"0050", 50}, IntCase{"2147483647", 2147483647},
                                           IntCase{"-2147483648", INT32_MIN},
                                           IntCase{"2147483648", -7}, IntCase{"-2147483649", -7},
                                           IntCase{"99999999999999999999", -7}, IntCase{"", -7},
                                           IntCase{"+", -7}, IntCase{"-", -7}, IntCase{" 5", -7},
                                           IntCase{"5 ", -7}, IntCase{"1.0", -7},
                                           IntCase{"1e3", -7}, IntCase{"0x10", -7},
                                           IntCase{"--5", -7}, IntCase{"\xEF\xBC\x91", -7}));

TEST(StrToIntDef, ReadsBackEveryWrittenInteger) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 20000; ++round) {
        const long long wide = static_cast<long long>(random()) >> (random() % 40);
        const bool fits = wide >= INT32_MIN && wide <= INT32_MAX;
        const int expected = fits ? static_cast<int>(wide) : -7;
        ASSERT_EQ(StrToIntDef(QString::number(wide), -7), expected) << wide;
    }
}

// ---- RoundTo --------------------------------------------------------------------------------

struct RoundCase {
    double x;
    int digits;
    double expected;
};

class RoundToTable : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundToTable, RoundsTiesToEvenOnTheStoredValue) {
    const RoundCase c = GetParam();
    const double result = RoundTo(c.x, c.digits);
    if (std::isnan(c.expected))
        EXPECT_TRUE(std::isnan(result));
    else
        EXPECT_EQ(result, c.expected) << std::hexfloat << c.x << " to " << c.digits;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, RoundToTable,
    ::testing::Values(RoundCase{600.25, -1, 600.2}, RoundCase{600.75, -1, 600.8},
                      RoundCase{0.35, -1, 0.3}, RoundCase{600.04, -1, 600.0},
                      RoundCase{600.05, -1, 600.0}, RoundCase{-0.35, -1, -0.3},
                      RoundCase{-600.25, -1, -600.2}, RoundCase{0.1 + 0.2, -1, 0.3},
                      RoundCase{1.1 * 1.1, -2, 1.21}, RoundCase{0.125, -2, 0.12},
                      RoundCase{0.375, -2, 0.38}, RoundCase{1.005, -2, 1.0}, RoundCase{2.5, 0, 2.0},
                      RoundCase{3.5, 0, 4.0}, RoundCase{-2.5, 0, -2.0}, RoundCase{0.5, 0, 0.0},
                      RoundCase{-0.04, -1, -0.0}, RoundCase{9.96, -1, 10.0},
                      RoundCase{99.95, -1, 100.0}, RoundCase{1e300, -2, 1e300},
                      RoundCase{90071992547409.921875, -2, 90071992547409.921875},
                      RoundCase{900719925474099.125, -1, 900719925474099.125},
                      RoundCase{600.25, 1, 600.25}, RoundCase{600.25, -3, 600.25},
                      RoundCase{std::numeric_limits<double>::infinity(), -1,
                                std::numeric_limits<double>::infinity()},
                      RoundCase{std::nan(""), -1, std::nan("")}));

TEST(RoundTo, MatchesExactDecimalRoundingOnRandomValues) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-4.0, 15.5);
    for (int round = 0; round < 20000; ++round) {
        double x = 0.0;
        if (round % 2 == 0) {
            // A decimal with up to three places, often exactly or nearly on a tie.
            x = double(static_cast<long long>(random() % 2000000000000ULL)) /
                std::pow(10.0, double(random() % 4));
        } else {
            x = std::pow(10.0, exponent(random));
        }
        if (random() % 2 == 1)
            x = -x;
        for (const int digits : {0, -1, -2})
            ASSERT_EQ(RoundTo(x, digits), ExpectedRoundTo(x, digits))
                << std::hexfloat << x << " to " << digits;
    }
}

// ---- FormatFloat ----------------------------------------------------------------------------

struct FormatCase {
    const char *pattern;
    double x;
    const char *expected;
};

class FormatFloatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatFloatTable, RoundsHalvesAwayOnEighteenDigits) {
    const FormatCase c = GetParam();
    EXPECT_EQ(FormatFloat(QString::fromLatin1(c.pattern), c.x).toStdString(), c.expected)
        << std::hexfloat << c.x;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, FormatFloatTable,
    ::testing::Values(FormatCase{"0.0", 0.25, "0.3"}, FormatCase{"0.0", 0.35, "0.3"},
                      FormatCase{"0.0", 600.05, "600.0"}, FormatCase{"0.0", 600.25, "600.3"},
                      FormatCase{"0.0", -0.25, "-0.3"}, FormatCase{"0.0", -600.05, "-600.0"},
                      FormatCase{"0.0", 9.96, "10.0"}, FormatCase{"0.0", 99.95, "100.0"},
                      FormatCase{"0.0", -9.96, "-10.0"}, FormatCase{"0.0", 9.95, "9.9"},
                      FormatCase{"0.0", 0.05, "0.1"}, FormatCase{"0.0", 0.04, "0.0"},
                      FormatCase{"0.0", -0.04, "0.0"}, FormatCase{"0.0", -0.0, "0.0"},
                      FormatCase{"0.0", 0.0, "0.0"}, FormatCase{"0.0", 5e-324, "0.0"},
                      FormatCase{"0.0", 1e20, "100000000000000000000.0"},
                      FormatCase{"0.0", 123456789012345678.0, "123456789012345680.0"},
                      FormatCase{"0.00", 0.125, "0.13"}, FormatCase{"0.00", 0.005, "0.01"},
                      FormatCase{"0.00", 1.005, "1.00"}, FormatCase{"0.00", 2.675, "2.67"},
                      FormatCase{"0.00", 9.995, "9.99"}, FormatCase{"0.00", 99.995, "100.00"},
                      FormatCase{"0.00", 999.9951, "1000.00"}, FormatCase{"0.00", 597.5, "597.50"},
                      FormatCase{"0.00", -0.001, "0.00"}, FormatCase{"0.00", -0.005, "-0.01"},
                      FormatCase{"0.00", 0.45000000000000001, "0.45"},
                      FormatCase{"0.0", std::numeric_limits<double>::infinity(), "INF"},
                      FormatCase{"0.0", -std::numeric_limits<double>::infinity(), "-INF"},
                      FormatCase{"0.0", std::nan(""), "NAN"}));

TEST(FormatFloat, MatchesExactDecimalOracleOnRandomValues) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> exponent(-6.0, 12.0);
    for (int round = 0; round < 20000; ++round) {
        double x = 0.0;
        switch (round % 3) {
        case 0: // a half of the last place, and its neighbours
            x = (double(random() % 100000000) + 0.5) / std::pow(10.0, double(1 + random() % 2));
            if (random() % 3 == 0)
                x = std::nextafter(x, 0.0);
            else if (random() % 2 == 0)
                x = std::nextafter(x, 1e300);
            break;
        case 1:
            x = std::pow(10.0, exponent(random));
            break;
        default: // any bit pattern in a wide range
            do {
                const std::uint64_t bits = random();
                std::memcpy(&x, &bits, sizeof x);
            } while (!std::isfinite(x) || std::fabs(x) > 1e15 || std::fabs(x) < 1e-8);
        }
        if (random() % 2 == 1)
            x = -x;
        for (const int decimals : {1, 2}) {
            const QString pattern = decimals == 1 ? QStringLiteral("0.0") : QStringLiteral("0.00");
            ASSERT_EQ(FormatFloat(pattern, x).toStdString(), ExpectedFormat(x, decimals))
                << std::hexfloat << x;
        }
    }
}

// What the operator types reads as a number that writes back as the same text.
TEST(FormatFloat, WritesBackTheTextThatWasRead) {
    std::mt19937_64 random(5);
    for (int round = 0; round < 20000; ++round) {
        const int decimals = 1 + int(random() % 2);
        const long long n = static_cast<long long>(random() % 100000000000000ULL);
        std::string digits = std::to_string(n);
        if (digits.size() <= std::size_t(decimals))
            digits.insert(0, std::size_t(decimals) + 1 - digits.size(), '0');
        const std::string text = (n != 0 && random() % 2 ? "-" : "") +
                                 digits.substr(0, digits.size() - decimals) + "." +
                                 digits.substr(digits.size() - decimals);
        const QString pattern = decimals == 1 ? QStringLiteral("0.0") : QStringLiteral("0.00");
        const double value = StrToFloatDef(QString::fromStdString(text), Def);
        ASSERT_EQ(FormatFloat(pattern, value).toStdString(), text);
        ASSERT_EQ(FormatFloat(pattern, RoundTo(value, -decimals)).toStdString(), text);
    }
}

} // namespace
