#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <optional>
#include <string>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {
namespace {

TEST(BoxNumberTest, RealParseFollowsTheBoxGrammar)
{
    struct Row {
        std::string text;
        char separator;
        std::optional<long double> value; // nothing: the parse fails
    };
    const std::optional<long double> fails;
    const Row rows[] = {
        {"3400", '.', 3400.0L},
        {"  -12.5  ", '.', -12.5L},
        {"+0.1", '.', 0.1L}, // extended, not the double 0.1
        {"5.", '.', 5.0L},
        {".5", '.', 0.5L},
        {".", '.', 0.0L},
        {"-.", '.', -0.0L},
        {".E5", '.', 0.0L},
        {"007.250", '.', 7.25L},
        {"1E3", '.', 1000.0L},
        {"1e-3", '.', 0.001L},
        {"2.5E+2", '.', 250.0L},
        {"7E", '.', 7.0L},
        {"7e-", '.', 7.0L},
        {"7E+ ", '.', 7.0L},
        {"0.0001e4", '.', 1.0L},
        {"1000000000000000000000000000000E-30", '.', 1.0L},
        {"0E999999999999999999", '.', 0.0L},
        {"12,5", ',', 12.5L},
        {" -,25 ", ',', -0.25L},
        {"1e400", '.', 1e400L},      // beyond a double, fine in extended
        {"1e4932", '.', 1e4932L},
        {"4e-4951", '.', 0x1p-16445L}, // the smallest subnormal
        {"1e-5000", '.', 0.0L},
        {"-1e-99999999999999", '.', -0.0L},
        // Failures.
        {"", '.', fails},
        {"   ", '.', fails},
        {"+", '.', fails},
        {"-", '.', fails},
        {"E5", '.', fails},
        {"- 5", '.', fails},
        {"+-1", '.', fails},
        {"1..2", '.', fails},
        {"1.2.", '.', fails},
        {"1 2", '.', fails},
        {"1.5E3.2", '.', fails},
        {"1e5x", '.', fails},
        {"\t1", '.', fails},
        {"1\t", '.', fails},
        {"inf", '.', fails},
        {"INF", '.', fails},
        {"nan", '.', fails},
        {"0x10", '.', fails},
        {"$10", '.', fails},
        {"12,5", '.', fails},
        {"12.5", ',', fails},
        {"1.2e4932", '.', fails}, // beyond the largest extended value
        {"1e99999999999999999999", '.', fails},
        {"0.000001e4939", '.', fails},
    };
    for (const auto& row : rows) {
        const auto parsed = tryParseBoxReal(row.text, row.separator);
        ASSERT_EQ(parsed.has_value(), row.value.has_value()) << '"' << row.text << '"';
        if (!parsed)
            continue;
        EXPECT_EQ(*parsed, *row.value) << '"' << row.text << '"';
        EXPECT_EQ(std::signbit(*parsed), std::signbit(*row.value)) << '"' << row.text << '"';
    }
}

TEST(BoxNumberTest, EitherPointTakesTheSystemSeparatorOrAPoint)
{
    const auto fails = std::optional<long double>();
    const struct {
        const char* text;
        char separator;
        std::optional<long double> value;
    } rows[] = {
        {"0.1", ',', 0.1L},     {"0,1", ',', 0.1L},   {" 12.5 ", ',', 12.5L}, {",5", ',', 0.5L},
        {".", ',', 0.0L},       {"-1.5e3", ',', -1500.0L}, {"0.1", '.', 0.1L},  {"0,1", '.', fails},
        {"1,5.3", ',', fails},  {"1.5,3", ',', fails}, {"1.000,5", ',', fails}, {"1,000.5", ',', fails},
        {"", ',', fails},       {"abc", ',', fails},   {"1;5", ';', 1.5L},      {"1.5", ';', 1.5L},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("'") + row.text + "' with '" + row.separator + "'");
        EXPECT_EQ(tryParseRealEitherPoint(row.text, row.separator), row.value);
        if (row.value) {
            EXPECT_EQ(parseRealEitherPoint(row.text, row.separator), *row.value);
        } else {
            try {
                parseRealEitherPoint(row.text, row.separator);
                ADD_FAILURE() << "no error";
            } catch (const UserError& error) {
                EXPECT_EQ(error.message(), std::string("'") + row.text + "' は浮動小数点数ではありません");
            }
        }
    }
}

// Texts of any length read exactly: past the digits any rounding can
// depend on, only whether a non-zero digit follows counts.
TEST(BoxNumberTest, VeryLongTextsReadExactly)
{
    // 1 + 2^-64 lies exactly halfway between 1 and the next extended value;
    // the exact tie goes to the even 1, anything above it to the next value.
    const std::string halfway = "1.0000000000000000000542101086242752217003726400434970855712890625";
    const long double above = std::nextafter(1.0L, 2.0L);
    const struct {
        const char* what;
        std::string text;
        long double value;
    } rows[] = {
        {"the exact tie", halfway, 1.0L},
        {"the tie and 40000 zeros", halfway + std::string(40000, '0'), 1.0L},
        {"a 1 far behind the tie", halfway + std::string(40000, '0') + "1", above},
        {"a 1 just behind the tie", halfway + "1", above},
        {"a million leading zeros", std::string(1000000, '0') + "2.5", 2.5L},
        {"a million zeros after the point", "0." + std::string(1000000, '0') + "1e1000003", 100.0L},
        {"a million digits and an exponent", "0." + std::string(999999, '0') + "1" + "e1000000", 1.0L},
        {"a million-digit exponent of zeros", "7e" + std::string(1000000, '0'), 7.0L},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(tryParseBoxReal(row.text, '.'), row.value);
    }
}

TEST(BoxNumberTest, LongTextsTickAndATickMayStopThem)
{
    const std::string zeros(3 * kTickCharacters + 5, '0');
    int ticks = 0;
    EXPECT_EQ(tryParseBoxReal(zeros, '.', [&] { ++ticks; }), 0.0L);
    EXPECT_GE(ticks, 3);
    ticks = 0;
    EXPECT_EQ(tryParseBoxReal("12.5", '.', [&] { ++ticks; }), 12.5L);
    EXPECT_EQ(ticks, 0) << "a short text never ticks";

    struct Stop {};
    EXPECT_THROW(tryParseBoxReal(zeros, '.', [] { throw Stop(); }), Stop);
    EXPECT_THROW(tryParseRealEitherPoint(" " + zeros, ',', [] { throw Stop(); }), Stop);
}

TEST(BoxNumberTest, ScansFindTheirCharacterAcrossTickBlocks)
{
    std::string text(2 * kTickCharacters + 10, 'x');
    text[kTickCharacters + 10] = 'y';
    text[5] = 'y';
    int ticks = 0;
    const auto isY = [](char c) { return c == 'y'; };
    EXPECT_EQ(scanForward(text, 6, isY, [&] { ++ticks; }), kTickCharacters + 10);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(scanForward(text, kTickCharacters + 11, isY, {}), text.size());
    EXPECT_EQ(scanBackward(text, 0, isY, {}), kTickCharacters + 10);
    EXPECT_EQ(scanBackward(text, kTickCharacters + 11, isY, {}), std::string::npos);
    EXPECT_EQ(scanBackward(std::string_view(text).substr(0, kTickCharacters), 0, isY, {}), 5u);
    EXPECT_EQ(scanForward("", 0, isY, {}), 0u);
    EXPECT_EQ(scanBackward("", 0, isY, {}), std::string::npos);
}

TEST(BoxNumberTest, RealParseFailureQuotesTheWholeText)
{
    for (const std::string text : {"abc", "", " 1\t", "H2x"}) {
        try {
            parseBoxReal(text, '.');
            ADD_FAILURE() << text;
        } catch (const UserError& error) {
            EXPECT_EQ(error.message(), "'" + text + "' は浮動小数点数ではありません");
        }
    }
    EXPECT_EQ(parseBoxReal(" 12.5 ", '.'), 12.5L);
}

TEST(BoxNumberTest, IntegerParse)
{
    struct Row {
        std::string text;
        std::optional<std::int32_t> value;
    };
    const std::optional<std::int32_t> fails;
    const Row rows[] = {
        {"+200", 200},
        {"500", 500},
        {"  007", 7},
        {"0", 0},
        {"-1", -1},
        {" 0x10", 16},
        {"x1F", 31},
        {"X1f", 31},
        {"$ff", 255},
        {"-$10", -16},
        {"+0X7fffffff", 2147483647},
        {"$7FFFFFFF", 2147483647},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", fails},
        {"-2147483649", fails},
        {"$80000000", fails},
        {"-$80000000", fails},
        {"99999999999999999999999", fails},
        {"10 ", fails},
        {"", fails},
        {" ", fails},
        {"-", fails},
        {"$", fails},
        {"0x", fails},
        {"$-1", fails},
        {"12a", fails},
        {"1.0", fails},
        {"1e3", fails},
        {"\t5", fails},
        {"+-1", fails},
        {"NoPnts", fails},
    };
    for (const auto& row : rows) {
        if (row.value) {
            EXPECT_EQ(parseBoxInteger(row.text), *row.value) << '"' << row.text << '"';
            continue;
        }
        try {
            parseBoxInteger(row.text);
            ADD_FAILURE() << '"' << row.text << '"';
        } catch (const UserError& error) {
            EXPECT_EQ(error.message(), "'" + row.text + "' は整数ではありません");
        }
    }
}

TEST(BoxNumberTest, FixedPointRoundsTheExactBinaryValueHalfAwayFromZero)
{
    struct Row {
        double value;
        int decimals;
        char separator;
        std::string text;
    };
    const Row rows[] = {
        {3349.125, 2, '.', "3349.13"},  // exact half
        {-0.125, 2, '.', "-0.13"},
        {2.675, 2, '.', "2.67"},        // binary slightly below the half
        {0.005, 2, '.', "0.01"},        // binary slightly above
        {0.015, 2, '.', "0.01"},
        {9.995, 2, '.', "9.99"},
        {-0.995, 2, '.', "-0.99"},
        {0.999, 2, '.', "1.00"},
        {-0.004, 2, '.', "0.00"},       // no "-0.00"
        {-0.0, 2, '.', "0.00"},
        {0.0, 4, '.', "0.0000"},
        {3400.0, 2, '.', "3400.00"},
        {2.0, 4, '.', "2.0000"},
        {1.001, 4, '.', "1.0010"},
        {1.00005, 4, '.', "1.0001"},
        {1.0005, 4, '.', "1.0005"},
        {-1.1, 2, '.', "-1.10"},
        {0.00004, 4, '.', "0.0000"},
        {123456789.125, 2, '.', "123456789.13"},
        {1234567890.125, 2, '.', "1234567890.10"}, // 11 significant digits
        {12345678901.5, 2, '.', "12345678902.00"},
        {99999999999.5, 2, '.', "1E11"},           // 12 integer digits after rounding
        {123456789012.0, 2, '.', "1.2345678901E11"},
        {-123456789012.0, 4, '.', "-1.2345678901E11"},
        {3349.125, 2, ',', "3349,13"},
        {-1.1, 4, ',', "-1,1000"},
        {1e300, 2, ',', "1E300"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formatFixed(row.value, row.decimals, row.separator), row.text) << row.value;
}

TEST(BoxNumberTest, GeneralFormat)
{
    struct Row {
        long double value;
        char separator;
        int digits;
        std::string text;
    };
    const Row rows[] = {
        {0.0001L, '.', 15, "0.0001"},
        {0.00001L, '.', 15, "1E-5"},
        {1E15L, '.', 15, "1E15"},
        {40.0L, '.', 15, "40"},
        {3350.35L, '.', 15, "3350.35"},
        {0.0L, '.', 15, "0"},
        {-0.0L, '.', 15, "0"},
        {0.1L - 0.1L, '.', 15, "0"},
        {0.0L - 0.1L, '.', 15, "-0.1"},
        {0.1L + 0.01L, '.', 15, "0.11"},
        {0.1L - 0.001L, '.', 15, "0.099"},
        {30.0L + 0.1L, '.', 15, "30.1"},
        {3350.25L + 0.1L, '.', 15, "3350.35"},
        {1.0L + 0.001L, '.', 15, "1.001"},
        {-0.001L, '.', 15, "-0.001"},
        {0.000123456L, '.', 15, "0.000123456"},
        {100000000000000.0L, '.', 15, "100000000000000"},
        {123456789012345.0L, '.', 15, "123456789012345"},
        {1234567890123456.0L, '.', 15, "1.23456789012346E15"},
        {999999999999999.9L, '.', 15, "1E15"},
        {1.5E-7L, '.', 15, "1.5E-7"},
        {-2.5E300L, '.', 15, "-2.5E300"},
        {1E4000L, '.', 15, "1E4000"},
        {1.0L / 3.0L, '.', 15, "0.333333333333333"},
        {2.0L / 3.0L, '.', 15, "0.666666666666667"},
        {2.5L, '.', 1, "3"},   // exact half away from zero
        {-2.5L, '.', 1, "-3"},
        {0.125L, '.', 2, "0.13"},
        {123456789012.0L, '.', 11, "1.2345678901E11"},
        {3350.35L, ',', 15, "3350,35"},
        {1.5E-7L, ',', 15, "1,5E-7"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formatGeneral(row.value, row.separator, row.digits), row.text) << static_cast<double>(row.value);
}

TEST(BoxNumberTest, SteppingThroughTheTextDoesNotBuildUpRounding)
{
    // Each step parses the text of the one before, as the steppers do.
    std::string text = "0.1";
    for (int step = 1; step <= 10; ++step)
        text = formatGeneral(parseBoxReal(text, '.') + 0.01L, '.');
    EXPECT_EQ(text, "0.2");

    text = "0.1";
    text = formatGeneral(parseBoxReal(text, '.') - 0.1L, '.');
    EXPECT_EQ(text, "0");
    text = formatGeneral(parseBoxReal(text, '.') - 0.1L, '.');
    EXPECT_EQ(text, "-0.1");
}

TEST(BoxNumberTest, TheCLibraryLocaleChangesNothing)
{
    // A locale with a decimal comma where the system has one; the C one
    // otherwise. Either way the separator comes only from the argument.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"})
        if (std::setlocale(LC_ALL, name))
            break;
    EXPECT_EQ(tryParseBoxReal("12.5", '.'), 12.5L);
    EXPECT_EQ(tryParseBoxReal("12,5", ','), 12.5L);
    EXPECT_FALSE(tryParseBoxReal("12,5", '.'));
    EXPECT_EQ(formatFixed(3349.125, 2, '.'), "3349.13");
    EXPECT_EQ(formatFixed(3349.125, 2, ','), "3349,13");
    EXPECT_EQ(formatGeneral(0.5L, '.'), "0.5");
    EXPECT_EQ(formatGeneral(0.5L, ','), "0,5");
    std::setlocale(LC_ALL, previous.c_str());
}

} // namespace
} // namespace ravelle
