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

bool isValidUtf8(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || at + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
                return false;
        at += length;
    }
    return true;
}

} // namespace

std::optional<std::string_view> LineCursor::next()
{
    if (ended_ || rest_.empty() || rest_.front() == '\x1A') {
        ended_ = true;
        return std::nullopt;
    }
    const std::size_t end = rest_.find_first_of("\r\n");
    const std::string_view line = rest_.substr(0, end);
    if (end == std::string_view::npos) {
        rest_ = {};
    } else {
        const bool pair = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
        rest_.remove_prefix(end + (pair ? 2 : 1));
    }
    return line;
}

std::optional<std::vector<std::string_view>> splitLines(std::string_view text, std::size_t atMost)
{
    std::vector<std::string_view> lines;
    LineCursor cursor(text);
    while (const auto line = cursor.next()) {
        if (lines.size() >= atMost)
            return std::nullopt;
        lines.push_back(*line);
    }
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

std::string asUtf8(std::string_view text)
{
    if (isValidUtf8(text))
        return std::string(text);
    std::string converted;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted.push_back(c);
        } else {
            converted.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            converted.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return converted;
}

std::string inQuotes(std::string_view text)
{
    constexpr std::size_t kKept = 28;
    std::string shown = asUtf8(text);
    if (shown.size() > 2 * kKept + 4) {
        const auto isContinuation = [&](std::size_t at) { return (static_cast<unsigned char>(shown[at]) & 0xC0) == 0x80; };
        std::size_t head = kKept;
        while (head > 0 && isContinuation(head))
            --head;
        std::size_t tail = shown.size() - kKept;
        while (tail < shown.size() && isContinuation(tail))
            ++tail;
        shown = shown.substr(0, head) + "\xE2\x80\xA6" + shown.substr(tail); // an ellipsis between
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
