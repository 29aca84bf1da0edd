#include "io/formats/TextScan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

namespace ravelle::formats {

namespace {

char lowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether text is a spelled-out non-finite value: "nan", "inf" or "infinity"
// with an optional sign, in any case.
bool isNonFiniteWord(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    return equalsIgnoringCase(text, "nan") || equalsIgnoringCase(text, "inf")
        || equalsIgnoringCase(text, "infinity") || startsWithIgnoringCase(text, "nan(");
}

} // namespace

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at == start && text[at] == '\x1A')
            return lines;
        const char c = text[at];
        if (c == '\n' || c == '\r') {
            lines.push_back(text.substr(start, at - start));
            at += (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
            start = at;
        } else {
            ++at;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerChar);
    return lower;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerChar(x) == lowerChar(y);
           });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    return lowerAscii(text).find(lowerAscii(part)) != std::string::npos;
}

std::string_view withoutUtf8Mark(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

Decimal parseDecimal(std::string_view text, char decimalMark)
{
    if (isNonFiniteWord(text))
        return {Decimal::notFinite, 0.0};
    // The form is checked here: from_chars alone would also take "inf",
    // "nan" and forms this program does not write.
    std::size_t at = 0;
    const std::size_t size = text.size();
    if (at < size && (text[at] == '+' || text[at] == '-'))
        ++at;
    std::size_t digits = 0;
    while (at < size && isDigit(text[at]))
        ++at, ++digits;
    std::size_t markAt = std::string_view::npos;
    if (at < size && text[at] == decimalMark) {
        markAt = at++;
        while (at < size && isDigit(text[at]))
            ++at, ++digits;
    }
    if (digits == 0)
        return {};
    bool negativeExponent = false;
    if (at < size && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < size && (text[at] == '+' || text[at] == '-'))
            negativeExponent = text[at++] == '-';
        std::size_t exponentDigits = 0;
        while (at < size && isDigit(text[at]))
            ++at, ++exponentDigits;
        if (exponentDigits == 0)
            return {};
    }
    if (at != size)
        return {};

    std::string plain(text.front() == '+' ? text.substr(1) : text);
    if (markAt != std::string_view::npos && decimalMark != '.')
        plain[markAt - (text.front() == '+' ? 1 : 0)] = '.';
    double value = 0.0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range)
        return negativeExponent ? Decimal{Decimal::number, 0.0} : Decimal{Decimal::notFinite, 0.0};
    if (error != std::errc() || end != plain.data() + plain.size())
        return {};
    return {Decimal::number, value};
}

std::optional<std::uint64_t> parseCount(std::string_view text)
{
    std::size_t at = 0;
    std::uint64_t value = 0;
    bool saturated = false;
    while (at < text.size() && isDigit(text[at])) {
        const auto digit = static_cast<std::uint64_t>(text[at] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            saturated = true;
        else
            value = value * 10 + digit;
        ++at;
    }
    if (at == 0)
        return std::nullopt;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] == '0')
            ++at;
    }
    if (at != text.size())
        return std::nullopt;
    return saturated ? std::numeric_limits<std::uint64_t>::max() : value;
}

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b)
{
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a)
        return std::numeric_limits<std::uint64_t>::max();
    return a * b;
}

std::string inQuotes(std::string_view text)
{
    constexpr std::size_t kKept = 28;
    std::string shown;
    if (text.size() <= 2 * kKept + 4) {
        shown.assign(text);
    } else {
        shown.assign(text.substr(0, kKept));
        shown.append("\xE2\x80\xA6"); // an ellipsis
        shown.append(text.substr(text.size() - kKept));
    }
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F')
            c = ' ';
    return "'" + shown + "'";
}

std::string baseName(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string countText(std::uint64_t count)
{
    return std::to_string(count);
}

std::string numberText(double value, int significant)
{
    std::array<char, 40> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::general, significant);
    return error == std::errc() ? std::string(buffer.data(), end) : std::string("?");
}

} // namespace ravelle::formats
