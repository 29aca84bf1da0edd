// The box number parses and the two printers. The first byte picks the
// decimal separator and what the rest is: a box text for the parses, or the
// bytes of a double (or an extended value) for the printers.
//
// Parses are checked against a reading of the same grammar by the C library;
// printed values must read back: exactly where enough digits are printed,
// within half a unit of the last printed digit otherwise, and print the same
// text again.

#include <locale.h>
#include <stdlib.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "fuzz/FuzzSupport.h"

namespace ravelle::fuzz {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// The real grammar read by hand, the value by strtold in the C locale;
// nothing for a text outside the grammar or a value beyond long double.
std::optional<long double> referenceReal(std::string_view text, char separator)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    std::string number;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        number += text[i++];
    number += '0';
    bool digits = false;
    bool sawSeparator = false;
    for (; i < n; ++i) {
        if (isDigit(text[i])) {
            number += text[i];
            digits = true;
        } else if (text[i] == separator && !sawSeparator) {
            number += '.';
            sawSeparator = true;
        } else {
            break;
        }
    }
    if (!digits && !sawSeparator)
        return std::nullopt;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        std::string exponent = "e";
        if (i < n && (text[i] == '+' || text[i] == '-'))
            exponent += text[i++];
        bool exponentDigits = false;
        for (; i < n && isDigit(text[i]); ++i) {
            exponent += text[i];
            exponentDigits = true;
        }
        if (exponentDigits)
            number += exponent;
    }
    while (i < n && text[i] == ' ')
        ++i;
    if (i != n)
        return std::nullopt;
    const long double value = strtold_l(number.c_str(), nullptr, cLocale());
    if (std::isinf(value))
        return std::nullopt;
    return value;
}

// The integer grammar: blanks, sign, decimal digits or hex after "$", "x",
// "X" or "0x"/"0X" (at most $7FFFFFFF), nothing else; 32-bit range.
std::optional<std::int32_t> referenceInteger(std::string_view text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-')
        ++i;
    int base = 10;
    if (text.substr(i, 1) == "$" || text.substr(i, 1) == "x" || text.substr(i, 1) == "X") {
        base = 16;
        i += 1;
    } else if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
        base = 16;
        i += 2;
    }
    std::string_view digits = text.substr(i);
    const std::string_view accepted = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(accepted) != std::string_view::npos)
        return std::nullopt;
    digits.remove_prefix(std::min(digits.size() - 1, digits.find_first_not_of('0') == std::string_view::npos
                                                          ? digits.size() - 1
                                                          : digits.find_first_not_of('0')));
    if (digits.size() > 16)
        return std::nullopt; // beyond any accepted value
    const unsigned long long magnitude = std::strtoull(std::string(digits).c_str(), nullptr, base);
    const unsigned long long limit = base == 16 || !negative ? 0x7FFFFFFFull : 0x80000000ull;
    if (magnitude > limit)
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude));
}

bool sameValue(long double a, long double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

void checkParses(std::string_view text, char separator)
{
    const auto value = tryParseBoxReal(text, separator);
    const auto reference = referenceReal(text, separator);
    RAVELLE_FUZZ_CHECK(value.has_value() == reference.has_value(), "parses exactly what the grammar allows");
    if (value)
        RAVELLE_FUZZ_CHECK(sameValue(*value, *reference), "the value strtold reads");
    try {
        const long double parsed = parseBoxReal(text, separator);
        RAVELLE_FUZZ_CHECK(value && sameValue(parsed, *value), "parseBoxReal agrees");
    } catch (const UserError& error) {
        RAVELLE_FUZZ_CHECK(!value && error.message() == messages::notAReal(text), error.message());
    }

    const auto integer = referenceInteger(text);
    try {
        const std::int32_t parsed = parseBoxInteger(text);
        RAVELLE_FUZZ_CHECK(integer && parsed == *integer, "the integer the grammar gives");
        RAVELLE_FUZZ_CHECK(parseBoxInteger(std::to_string(parsed)) == parsed, "an integer reads back");
    } catch (const UserError& error) {
        RAVELLE_FUZZ_CHECK(!integer && error.message() == messages::notAnInteger(text), error.message());
    }
}

void checkGeneral(long double value, char separator)
{
    // Enough digits for the value to read back exactly (zero loses its sign).
    const int exactDigits = static_cast<long double>(static_cast<double>(value)) == value ? 17 : 21;
    const std::string exact = formatGeneral(value, separator, exactDigits);
    const auto exactBack = tryParseBoxReal(exact, separator);
    RAVELLE_FUZZ_CHECK(exactBack, "'" + exact + "' parses");
    if (exactDigits == 17)
        RAVELLE_FUZZ_CHECK(static_cast<double>(*exactBack) == static_cast<double>(value), "'" + exact + "' reads back");
    else
        RAVELLE_FUZZ_CHECK(*exactBack == value, "'" + exact + "' reads back");

    // The steppers' 15 digits. Below the normal range an extended value has
    // fewer than 15 digits of its own, so only the exact print is checked.
    if (std::fabs(value) < LDBL_MIN)
        return;
    const std::string text = formatGeneral(value, separator, 15);
    const auto back = tryParseBoxReal(text, separator);
    RAVELLE_FUZZ_CHECK(back, "'" + text + "' parses");
    RAVELLE_FUZZ_CHECK(std::fabs(*back - value) <= std::fabs(value) * 5.01e-15L, "'" + text + "' is the value");
    RAVELLE_FUZZ_CHECK(formatGeneral(*back, separator, 15) == text, "'" + text + "' prints as itself");
}

void checkFixed(double value, int decimals, char separator)
{
    const std::string text = formatFixed(value, decimals, separator);
    const auto back = tryParseBoxReal(text, separator);
    RAVELLE_FUZZ_CHECK(back, "'" + text + "' parses");
    const double reread = static_cast<double>(*back);
    // Rounded to 11 digits, a value next to the largest double can print
    // beyond it; a box read of that text then ends with the overflow error.
    if (std::isfinite(reread))
        RAVELLE_FUZZ_CHECK(formatFixed(reread, decimals, separator) == text, "'" + text + "' prints as itself");
    // Rounded to the decimals and to 11 significant digits, whichever is coarser.
    const long double unit = std::max(std::pow(10.0L, -decimals), std::fabs(static_cast<long double>(value)) * 1e-10L);
    RAVELLE_FUZZ_CHECK(std::fabs(*back - value) <= unit * 0.5000001L, "'" + text + "' is the value");

    if (std::fabs(value) < 1e11) {
        // -d.dd..., exactly `decimals` decimals, no negative zero.
        std::size_t i = text[0] == '-' ? 1 : 0;
        const std::size_t point = text.find(separator);
        RAVELLE_FUZZ_CHECK(point != std::string::npos && point > i, "'" + text + "' has digits and a separator");
        RAVELLE_FUZZ_CHECK(text.size() - point - 1 == static_cast<std::size_t>(decimals), "'" + text + "' decimals");
        for (; i < text.size(); ++i)
            RAVELLE_FUZZ_CHECK(i == point || isDigit(text[i]), "'" + text + "' is plain fixed point");
        if (text[0] == '-')
            RAVELLE_FUZZ_CHECK(text.find_first_of("123456789") != std::string::npos, "'" + text + "' is no -0");
    }
}

} // namespace
} // namespace ravelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle::fuzz;
    if (size == 0)
        return -1;
    const char separator = (data[0] & 1) != 0 ? ',' : '.';
    const int mode = (data[0] >> 1) % 3;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

    if (mode == 0) {
        checkParses(rest, separator);
        return 0;
    }
    if (mode == 1 && rest.size() >= sizeof(double)) {
        double value;
        std::memcpy(&value, rest.data(), sizeof value);
        if (!std::isfinite(value))
            return -1;
        checkGeneral(value, separator);
        checkFixed(value, 2, separator);
        checkFixed(value, 4, separator);
        return 0;
    }
    if (mode == 2 && rest.size() >= 10) {
        // An extended value from its sign and exponent and its 64-bit significand;
        // the top bit of the significand is set as in every normal value.
        std::uint64_t significand;
        std::uint16_t exponent;
        std::memcpy(&significand, rest.data(), sizeof significand);
        std::memcpy(&exponent, rest.data() + 8, sizeof exponent);
        if ((exponent & 0x7FFF) == 0x7FFF || (exponent & 0x7FFF) == 0)
            return -1;
        significand |= std::uint64_t{1} << 63;
        const long double value =
            std::ldexp(static_cast<long double>(significand), (exponent & 0x7FFF) - 16383 - 63) * ((exponent & 0x8000) ? -1 : 1);
        checkGeneral(value, separator);
        return 0;
    }
    return -1;
}
