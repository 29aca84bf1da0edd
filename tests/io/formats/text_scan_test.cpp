#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "io/formats/TextScan.h"

namespace ravelle::formats {
namespace {

TEST(TextScan, ParsesDecimalNumbersAndNothingElse)
{
    const Decimal::Status number = Decimal::number;
    const Decimal::Status no = Decimal::notANumber;
    const Decimal::Status infinite = Decimal::notFinite;
    const struct {
        const char* text;
        char mark;
        Decimal::Status status;
        double value;
    } cases[] = {
        {"3332.700000", '.', number, 3332.7},
        {"-0.00372509839210326", '.', number, -0.00372509839210326},
        {"+9.806665e+09", '.', number, 9.806665e9},
        {"1E-3", '.', number, 1e-3},
        {".25", '.', number, 0.25},
        {"5.", '.', number, 5},
        {"340,05", ',', number, 340.05},
        {"+1,5e2", ',', number, 150},
        {"1e-400", '.', number, 0},          // below the range of a double: zero
        {"1e400", '.', infinite, 0},
        {"-1e999", '.', infinite, 0},
        {"NaN", '.', infinite, 0},
        {"-inf", '.', infinite, 0},
        {"Infinity", '.', infinite, 0},
        {"340,05", '.', no, 0},
        {"340.05", ',', no, 0},
        {"", '.', no, 0},
        {".", '.', no, 0},
        {"-", '.', no, 0},
        {"1e", '.', no, 0},
        {"1e+", '.', no, 0},
        {" 1", '.', no, 0},
        {"1 ", '.', no, 0},
        {"0x1A", '.', no, 0},
        {"1.2.3", '.', no, 0},
        {"--1", '.', no, 0},
        {"12:13:14", '.', no, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        const Decimal parsed = parseDecimal(row.text, row.mark);
        EXPECT_EQ(parsed.status, row.status);
        if (row.status == number) {
            EXPECT_EQ(parsed.value, row.value);
        }
    }
}

TEST(TextScan, ParsesCountsSaturatingAtTheTop)
{
    constexpr auto kTop = std::numeric_limits<std::uint64_t>::max();
    const struct {
        const char* text;
        std::optional<std::uint64_t> count;
    } cases[] = {
        {"1500", 1500},
        {"4096.000000", 4096},
        {"0", 0},
        {"2147483648", 2147483648u},
        {"18446744073709551615", kTop},
        {"18446744073709551616", kTop},
        {"99999999999999999999999999", kTop},
        {"4096.5", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {"1e3", std::nullopt},
        {"", std::nullopt},
        {" 12", std::nullopt},
    };
    for (const auto& row : cases)
        EXPECT_EQ(parseCount(row.text), row.count) << row.text;
}

TEST(TextScan, CutsLinesAtEveryKindOfLineEnd)
{
    const struct {
        std::string text;
        std::vector<std::string_view> lines;
    } cases[] = {
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"a\n\r\nb", {"a", "", "b"}},
        {"\n", {""}},
        {"", {}},
        {"a\n\x1A" "b\n", {"a"}},   // Ctrl-Z at a line start ends the text
        {"a\x1A" "b\n", {"a\x1A" "b"}},
    };
    for (const auto& row : cases) {
        const auto lines = splitLines(row.text, 100);
        ASSERT_TRUE(lines.has_value());
        EXPECT_EQ(*lines, row.lines) << row.text;
    }
    EXPECT_FALSE(splitLines("a\nb\nc", 2).has_value());
    EXPECT_TRUE(splitLines("a\nb\n", 2).has_value());
}

TEST(TextScan, QuotesTextsShortAndReadable)
{
    const std::string e = "\xC3\xA9"; // é in UTF-8
    std::string accents;
    for (int i = 0; i < 40; ++i)
        accents += e;
    const std::string xAccents = std::string(1, 'x').append(accents);
    const auto cut = [](const std::string& head, const std::string& tail) {
        return std::string("'").append(head).append("\xE2\x80\xA6").append(tail).append("'");
    };
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"Total", "'Total'"},
        {"a\tb\x01", "'a b '"},
        {"Intensit\xE4t", "'Intensit\xC3\xA4t'"}, // Latin-1 becomes UTF-8
        {std::string(100, 'x'), cut(std::string(28, 'x'), std::string(28, 'x'))},
        // Cut between characters, never inside one.
        {accents, cut(accents.substr(0, 28), accents.substr(80 - 28))},
        {xAccents, cut(xAccents.substr(0, 27), accents.substr(80 - 28))},
    };
    for (const auto& row : cases)
        EXPECT_EQ(inQuotes(row.text), row.shown);
}

} // namespace
} // namespace ravelle::formats
