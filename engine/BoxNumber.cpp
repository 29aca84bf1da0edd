#include "engine/BoxNumber.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <stdlib.h>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal exponents (value = 0.d1d2... x 10^e) outside which a long double
// certainly overflows or certainly rounds to zero.
constexpr std::int64_t kOverflowExponent = 4934;
constexpr std::int64_t kZeroExponent = -4952;
// Exponent digits stop counting here; far beyond any meaningful value, and
// safe from overflow however many mantissa digits shift the point.
constexpr std::int64_t kExponentCap = 1'000'000'000;

// Every rounding boundary of an extended value, the halfway points between
// neighbours, has fewer significant digits than this (about 11,500 at most,
// between the smallest subnormals), so digits past it only ever decide on
// which side of the kept ones the value lies.
constexpr std::size_t kKeptDigits = 20000;

// Integers of up to 19 digits are below 2^64 and powers of ten up to 10^27
// below 2^64 times a power of two: both exact in a 64-bit significand.
constexpr std::size_t kExactDigits = 19;
constexpr std::int64_t kExactPowerOfTen = 27;
static_assert(std::numeric_limits<long double>::digits >= 64, "the exact conversion needs extended precision");

long double exactPowerOfTen(int exponent)
{
    long double power = 1;
    for (int k = 0; k < exponent; ++k)
        power *= 10; // exact at every step up to 10^27
    return power;
}

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// A number as its significant decimal digits: value = 0.digits x 10^exponent.
// No digits means zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

void dropTrailingZeros(Decimal& decimal)
{
    while (!decimal.digits.empty() && decimal.digits.back() == '0')
        decimal.digits.pop_back();
}

// The exact decimal expansion of a finite value above zero. Every binary
// fraction has a finite one; asking for at least as many digits as it has
// makes the conversion exact, so ties can be recognised.
Decimal exactDecimal(long double value)
{
    int binaryExponent = 0;
    const long double fraction = std::frexp(value, &binaryExponent);
    const auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    const int lowestBit = binaryExponent - 64 + std::countr_zero(significand);
    const int integerDigits = std::max(1, static_cast<int>(std::ceil(binaryExponent * 0.30103)) + 1);
    const int precision = integerDigits + std::max(0, -lowestBit) + 2;

    std::vector<char> text(static_cast<std::size_t>(precision) + 16);
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::scientific, precision);
    // "d.ddd...e+XX"
    Decimal decimal;
    const char* p = text.data();
    for (; p != result.ptr && *p != 'e'; ++p)
        if (isDigit(*p))
            decimal.digits += *p;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), result.ptr, exponent);
    decimal.exponent = exponent + 1;
    dropTrailingZeros(decimal);
    return decimal;
}

// Rounds to `keep` significant digits (none or fewer: to a unit of the digit
// before the first), an exact half away from zero.
Decimal roundHalfAway(Decimal decimal, int keep)
{
    if (keep < 0 || decimal.digits.empty())
        return {};
    if (static_cast<std::size_t>(keep) >= decimal.digits.size())
        return decimal;
    const bool up = decimal.digits[static_cast<std::size_t>(keep)] >= '5';
    decimal.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int at = keep - 1;
        while (at >= 0 && decimal.digits[static_cast<std::size_t>(at)] == '9')
            decimal.digits[static_cast<std::size_t>(at--)] = '0';
        if (at >= 0) {
            ++decimal.digits[static_cast<std::size_t>(at)];
        } else {
            decimal.digits.assign(1, '1');
            ++decimal.exponent;
        }
    }
    dropTrailingZeros(decimal);
    return decimal;
}

// Where the number proper starts: after the leading blanks and an optional
// sign, which sets `negative`.
std::size_t skipBlanksAndSign(std::string_view text, bool& negative, const Tick& tick)
{
    std::size_t i = scanForward(text, 0, [](char c) { return c != ' '; }, tick);
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    return i;
}

std::string nonFinite(long double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::optional<long double> tryParseBoxReal(std::string_view text, char decimalSeparator, const Tick& tick)
{
    const std::size_t n = text.size();
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, negative, tick);

    // The mantissa: digits with at most one separator among or after them.
    const auto notADigit = [](char c) { return !isDigit(c); };
    const std::size_t mantissaStart = i;
    i = scanForward(text, i, notADigit, tick);
    std::size_t separatorAt = std::string_view::npos;
    if (i < n && text[i] == decimalSeparator) {
        separatorAt = i;
        i = scanForward(text, i + 1, notADigit, tick);
    }
    const std::size_t mantissaEnd = i;
    const bool sawSeparator = separatorAt != std::string_view::npos;
    const std::size_t digitCount = mantissaEnd - mantissaStart - (sawSeparator ? 1 : 0);
    if (digitCount == 0 && !sawSeparator)
        return std::nullopt;
    const std::size_t integerDigits = sawSeparator ? separatorAt - mantissaStart : digitCount;

    std::int64_t exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        i = scanForward(text, i, [&](char c) {
            if (!isDigit(c))
                return true;
            exponent = std::min(kExponentCap, exponent * 10 + (c - '0'));
            return false;
        }, tick);
        if (negativeExponent)
            exponent = -exponent;
    }
    if (scanForward(text, i, [](char c) { return c != ' '; }, tick) != n)
        return std::nullopt;

    // The significant digits run from the first non-zero digit to the last;
    // positions count digits only, the separator skipped.
    const long double zero = negative ? -0.0L : 0.0L;
    const auto nonZero = [](char c) { return c >= '1' && c <= '9'; };
    const std::string_view mantissa = text.substr(0, mantissaEnd);
    const std::size_t first = scanForward(mantissa, mantissaStart, nonZero, tick);
    if (first == mantissaEnd)
        return zero;
    const std::size_t last = scanBackward(mantissa, mantissaStart, nonZero, tick);
    const auto digitIndex = [&](std::size_t at) {
        return static_cast<std::int64_t>(at - mantissaStart) - (sawSeparator && at > separatorAt ? 1 : 0);
    };
    const std::int64_t decimalExponent = static_cast<std::int64_t>(integerDigits) - digitIndex(first) + exponent;
    if (decimalExponent > kOverflowExponent)
        return std::nullopt;
    if (decimalExponent < kZeroExponent)
        return zero;
    const auto significantDigits = static_cast<std::size_t>(digitIndex(last) - digitIndex(first) + 1);
    // Calls each(c) for the first `count` significant digits.
    const auto forDigits = [&](std::size_t count, auto&& each) {
        for (std::size_t at = first; count > 0; ++at) {
            if (at == separatorAt)
                continue;
            each(text[at]);
            --count;
        }
    };

    // Most texts have few digits and a small exponent: the digits and the
    // power of ten are then exact in extended precision, and one division or
    // multiplication rounds exactly as the full conversion below does.
    const std::int64_t scale = decimalExponent - static_cast<std::int64_t>(significantDigits);
    if (significantDigits <= kExactDigits && scale >= -kExactPowerOfTen && scale <= kExactPowerOfTen) {
        std::uint64_t digits = 0;
        forDigits(significantDigits, [&](char c) { digits = digits * 10 + static_cast<std::uint64_t>(c - '0'); });
        const long double power = exactPowerOfTen(static_cast<int>(scale < 0 ? -scale : scale));
        const long double magnitude =
            scale < 0 ? static_cast<long double>(digits) / power : static_cast<long double>(digits) * power;
        return negative ? -magnitude : magnitude;
    }

    // The validated number in the one form the C locale reads the same on
    // every system: "0.<digits>e<exponent>". Past kKeptDigits digits only
    // whether a non-zero one follows matters, and the last one is non-zero:
    // a 1 after the kept digits stands for all the rest and rounds the same.
    const std::size_t kept = std::min(significantDigits, kKeptDigits);
    std::string canonical = "0.";
    canonical.reserve(kept + 32);
    forDigits(kept, [&](char c) { canonical += c; });
    if (kept < significantDigits)
        canonical += '1';
    canonical += 'e';
    canonical += std::to_string(decimalExponent);
    errno = 0;
    const long double magnitude = strtold_l(canonical.c_str(), nullptr, cLocale());
    if (std::isinf(magnitude))
        return std::nullopt;
    return negative ? -magnitude : magnitude;
}

long double parseBoxReal(std::string_view text, char decimalSeparator)
{
    if (const auto value = tryParseBoxReal(text, decimalSeparator, {}))
        return *value;
    throw UserError(messages::notAReal(text));
}

std::optional<long double> tryParseRealEitherPoint(std::string_view text, char systemSeparator, const Tick& tick)
{
    const auto value = tryParseBoxReal(text, systemSeparator, tick);
    if (value || systemSeparator == '.')
        return value;
    return tryParseBoxReal(text, '.', tick);
}

long double parseRealEitherPoint(std::string_view text, char systemSeparator)
{
    if (const auto value = tryParseRealEitherPoint(text, systemSeparator, {}))
        return *value;
    throw UserError(messages::notAReal(text));
}

std::int32_t parseBoxInteger(std::string_view text)
{
    const auto fail = [&]() -> std::int32_t { throw UserError(messages::notAnInteger(text)); };
    const std::size_t n = text.size();
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, negative, {});

    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    // Hexadecimal stops at $7FFFFFFF whatever the sign.
    const std::uint64_t limit = hex ? 0x7FFF'FFFFu : (negative ? 0x8000'0000u : 0x7FFF'FFFFu);
    std::uint64_t magnitude = 0;
    const std::size_t firstDigit = i;
    for (; i < n; ++i) {
        const char c = text[i];
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit)
            return fail();
    }
    if (i == firstDigit || i != n)
        return fail();
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string formatGeneral(long double value, char decimalSeparator, int significantDigits)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return "0";
    const Decimal decimal = roundHalfAway(exactDecimal(std::fabs(value)), significantDigits);
    const std::string& digits = decimal.digits;
    const int e = decimal.exponent;

    std::string text = value < 0 ? "-" : "";
    if (e >= -3 && e <= significantDigits) {
        if (e <= 0) {
            text += '0';
            text += decimalSeparator;
            text.append(static_cast<std::size_t>(-e), '0');
            text += digits;
        } else {
            const auto integerDigits = static_cast<std::size_t>(e);
            text.append(digits, 0, integerDigits);
            if (digits.size() < integerDigits)
                text.append(integerDigits - digits.size(), '0');
            else if (digits.size() > integerDigits)
                text.append(1, decimalSeparator).append(digits, integerDigits);
        }
    } else {
        text += digits[0];
        if (digits.size() > 1)
            text.append(1, decimalSeparator).append(digits, 1);
        text += 'E';
        text += std::to_string(e - 1);
    }
    return text;
}

std::string formatFixed(double value, int decimals, char decimalSeparator)
{
    constexpr int kSignificantDigits = 11;
    if (!std::isfinite(value))
        return nonFinite(value);
    decimals = std::max(0, decimals);

    Decimal rounded;
    if (value != 0) {
        const Decimal exact = exactDecimal(std::fabs(static_cast<long double>(value)));
        rounded = roundHalfAway(exact, std::min(kSignificantDigits, exact.exponent + decimals));
    }
    if (!rounded.digits.empty() && rounded.exponent > kSignificantDigits)
        return formatGeneral(value, decimalSeparator, kSignificantDigits);

    // Digit of 10^(e - 1 - k) for k = 0, 1, ...: zero outside the digits.
    const auto digitAt = [&](int k) {
        return k >= 0 && static_cast<std::size_t>(k) < rounded.digits.size() ? rounded.digits[static_cast<std::size_t>(k)]
                                                                              : '0';
    };
    const int e = rounded.digits.empty() ? 0 : rounded.exponent;
    std::string text = value < 0 && !rounded.digits.empty() ? "-" : "";
    if (e <= 0)
        text += '0';
    for (int k = 0; k < e; ++k)
        text += digitAt(k);
    if (decimals > 0) {
        text += decimalSeparator;
        for (int k = 0; k < decimals; ++k)
            text += digitAt(e + k);
    }
    return text;
}

} // namespace ravelle
