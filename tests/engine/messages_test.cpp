#include <gtest/gtest.h>

#include "engine/Messages.h"

namespace ravelle {
namespace {

TEST(MessagesTest, ErrorBoxAppendsPointAfterLettersDigitsAndJapanese)
{
    struct Row {
        std::string message;
        std::string shown;
    };
    const Row rows[] = {
        {messages::notAReal("GCntr"), "'GCntr' は浮動小数点数ではありません."},
        {"I/O エラー (5)", "I/O エラー (5)"}, // ")" sorts before "."
        {"The Observed Data will also be saved!!", "The Observed Data will also be saved!!"},
        {"abc,", "abc,"},
        {"done.", "done."},
        {"value 7", "value 7."},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(messages::errorBoxText(row.message), row.shown) << row.message;
}

TEST(MessagesTest, SynthesisRefusalsNameTheirLimits)
{
    EXPECT_EQ(messages::kPointCountOutOfRange, "The number of points (NoPnts) must be between 0 and 1000000.");
    EXPECT_EQ(messages::kTooManyCouplings,
              "At most 15 hydrogen and 6 nitrogen coupling constants can take part in a simulation.");
    // Negative numbers and zero compose too.
    EXPECT_EQ(messages::detail::compose(std::string_view("from "), -120, std::string_view(" to "), 0).view(),
              "from -120 to 0");
}

TEST(MessagesTest, PlaceholdersTakeTheOffendingText)
{
    EXPECT_EQ(messages::notAReal(""), "'' は浮動小数点数ではありません");
    EXPECT_EQ(messages::notAnInteger("12a"), "'12a' は整数ではありません");
    EXPECT_EQ(messages::ioError(28), "I/O エラー (28)");
    EXPECT_EQ(messages::notARegularFile("/dev/zero"), "'/dev/zero' is not a regular file.");
    // A file name is quoted whole, however long: the user needs all of it.
    const std::string longName = "/" + std::string(300, 'x');
    EXPECT_EQ(messages::notARegularFile(longName), "'" + longName + "' is not a regular file.");
}

// Numbers in messages come from the limits they report.
TEST(MessagesTest, LimitsAreFormattedFromTheirConstants)
{
    EXPECT_EQ(messages::tooManyObservedLines(10'000'000), "The file has too many lines to import (at most 10000000).");
    EXPECT_EQ(messages::tooManyObservedLines(3), "The file has too many lines to import (at most 3).");
}

} // namespace
} // namespace ravelle
