// Hostile box texts: what the Calculate command's reading makes of each, as
// the value it stores or the message the user sees.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include "engine/BoxNumber.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {
namespace {

using Outcome = std::variant<double, std::int32_t, std::string>; // stored value or message

// A real box as Calculate reads it: parsed in extended precision, stored as a double.
Outcome readReal(const std::string& text)
{
    try {
        return storeDouble(parseBoxReal(text, '.'));
    } catch (const UserError& error) {
        return error.message();
    }
}

Outcome readInteger(const std::string& text)
{
    try {
        return parseBoxInteger(text);
    } catch (const UserError& error) {
        return error.message();
    }
}

double cLibraryValue(const char* text)
{
    return static_cast<double>(std::strtold(text, nullptr));
}

std::string printable(const std::string& text)
{
    std::string shown;
    for (const char c : text.substr(0, 40)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, c) : "\\x" + std::to_string(byte);
    }
    return text.size() > 40 ? shown + "... (" + std::to_string(text.size()) + " bytes)" : shown;
}

TEST(BadBoxText, EachHostileTextGivesAValueOrAClearMessage)
{
    // Built by insert: "1" + std::string trips a false -Wrestrict in g++ 12.
    const std::string millionDigits = std::string(999'999, '0').insert(0, 1, '1');
    const std::string millionDigitsQuoted = std::string(59, '0').insert(0, 1, '1') + "…" + std::string(20, '0');
    const std::string overflow(messages::kOverflow);
    const std::string nul("3\0" "5", 3);
    const std::string rightToLeftMark = "\xE2\x80\x8F";
    struct Row {
        std::string text;
        bool integer;
        Outcome outcome;
    };
    const Row rows[] = {
        // NoPnts: the parse takes the whole 32-bit range; the synthesis decides what it can use.
        {"2147483647", true, std::int32_t{2147483647}},
        {"2147483648", true, messages::notAnInteger("2147483648")},
        {"-1", true, std::int32_t{-1}},
        {"-11", true, std::int32_t{-11}},
        {"$7FFFFFFF", true, std::int32_t{2147483647}},
        {"$80000000", true, messages::notAnInteger("$80000000")},
        {" 0x10", true, std::int32_t{16}},
        {"0x", true, messages::notAnInteger("0x")},
        {"1 ", true, messages::notAnInteger("1 ")},
        {millionDigits, true, "'" + millionDigitsQuoted + "' は整数ではありません"},
        {std::string(1'000'000, '0') + "7", true, std::int32_t{7}},
        // Reals at and beyond the ends of a double.
        {"1e308", false, 1e308},
        {"-1e308", false, -1e308},
        {"1e400", false, overflow},
        {"-1e400", false, overflow},
        {"1e5000", false, messages::notAReal("1e5000")}, // beyond even extended precision
        {"1e-320", false, 1e-320},
        {"1e-160", false, 1e-160},
        {"1e-400", false, 0.0}, // silently zero, as underflow is
        {"-0", false, -0.0},
        {millionDigits, false, "'" + millionDigitsQuoted + "' は浮動小数点数ではありません"},
        {"0." + std::string(999'998, '0') + "1", false, 0.0},
        {"1." + std::string(999'998, '0'), false, 1.0},
        {"0." + std::string(999'999, '3'), false, 1.0 / 3.0},
        // Around the limits of the short-cut for texts of few digits: the same
        // value the C library reads, rounded once more to a double.
        {"9007199254740993", false, cLibraryValue("9007199254740993")},
        {"1234567890123456789e27", false, cLibraryValue("1234567890123456789e27")},
        {"1234567890123456789e-27", false, cLibraryValue("1234567890123456789e-27")},
        {"12345678901234567891e-28", false, cLibraryValue("12345678901234567891e-28")},
        {"0.1e-26", false, cLibraryValue("0.1e-26")},
        {"3e-28", false, cLibraryValue("3e-28")},
        {"-7e28", false, cLibraryValue("-7e28")},
        // Bytes no number holds: each quoted whole in the message.
        {nul, false, messages::notAReal(nul)},
        {"30\xFF", false, messages::notAReal("30\xFF")},
        {"\xC3", false, messages::notAReal("\xC3")},
        {rightToLeftMark + "30", false, messages::notAReal(rightToLeftMark + "30")},
        {"30" + rightToLeftMark, false, messages::notAReal("30" + rightToLeftMark)},
        {"\xEF\xBC\x93\xEF\xBC\x90", false, messages::notAReal("\xEF\xBC\x93\xEF\xBC\x90")}, // full-width digits
        {"30\t", false, messages::notAReal("30\t")},
        {"inf", false, messages::notAReal("inf")},
        {"nan", false, messages::notAReal("nan")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(printable(row.text));
        const Outcome outcome = row.integer ? readInteger(row.text) : readReal(row.text);
        ASSERT_EQ(outcome.index(), row.outcome.index());
        if (const auto* value = std::get_if<double>(&outcome)) {
            EXPECT_EQ(*value, std::get<double>(row.outcome));
            EXPECT_EQ(std::signbit(*value), std::signbit(std::get<double>(row.outcome)));
        } else {
            EXPECT_EQ(outcome, row.outcome);
        }
    }
}

TEST(BadBoxText, MessagesQuoteLongTextsByTheirEndsBetweenCharacters)
{
    const std::string kana = "\xE3\x81\x82"; // one character, three bytes
    struct Row {
        std::string text;
        std::string quoted;
    };
    const Row rows[] = {
        {std::string(100, '7'), std::string(100, '7')},
        {std::string(101, '7'), std::string(60, '7') + "…" + std::string(20, '7')},
        // 34 characters of 3 bytes: byte 60 starts a character, byte 82 is inside one.
        {[&] {
             std::string text;
             for (int k = 0; k < 34; ++k)
                 text += kana;
             return text;
         }(),
         [&] {
             std::string quoted;
             for (int k = 0; k < 20; ++k)
                 quoted += kana;
             quoted += "…";
             for (int k = 0; k < 6; ++k)
                 quoted += kana;
             return quoted;
         }()},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(messages::notAReal(row.text), "'" + row.quoted + "' は浮動小数点数ではありません");
        EXPECT_EQ(messages::notAnInteger(row.text), "'" + row.quoted + "' は整数ではありません");
    }
}

TEST(BadBoxText, AMessageKeepsTheBytesBehindANul)
{
    const std::string text("1\0e", 3);
    try {
        parseBoxReal(text, '.');
        FAIL() << "parsed";
    } catch (const UserError& error) {
        EXPECT_EQ(error.message(), std::string("'1") + '\0' + "e' は浮動小数点数ではありません");
    }
}

} // namespace
} // namespace ravelle
