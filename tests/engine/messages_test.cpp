#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "engine/Messages.h"
#include "engine/model/Model.h"

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

// The general model's refusals name the model's own limits, and a locale
// with a decimal comma changes none of them.
TEST(MessagesTest, ModelRefusalsFollowTheModelsLimitsInEveryLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue; // not installed here: the other rows still run
        struct Row {
            std::string message;
            std::string expected;
        };
        const Row rows[] = {
            {messages::tooManySpecies(),
             "The model has more than " + std::to_string(model::kMaxSpecies) + " species."},
            {messages::tooManyGroups(), "it has more than " + std::to_string(model::kMaxGroups) + " nucleus groups."},
            {messages::badNucleusCount(), "the number of equivalent nuclei must be between 1 and " +
                                               std::to_string(model::kMaxEquivalentNuclei) + "."},
            {messages::widthNotPositive("sigma", -1.5), "sigma falls to 0 or below at m = -1.5."},
            {messages::widthNotPositive("gamma", 12), "gamma falls to 0 or below at m = 12."},
            {messages::widthNotPositive("gamma", 0.5), "gamma falls to 0 or below at m = 0.5."},
            {messages::widthNotPositive("sigma", 0), "sigma falls to 0 or below at m = 0."},
            {messages::speciesProblem(3, "why."), "Species 3: why."},
            {messages::groupProblem(2, 11, "why."), "Species 2, group 11: why."},
        };
        for (const Row& row : rows)
            EXPECT_EQ(row.message, row.expected) << locale;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
} // namespace ravelle
