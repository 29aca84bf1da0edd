#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ProgramState.h"
#include "tests/support/FakeHost.h"
#include "commands/Commands.h"

namespace ravelle {
namespace {

struct StepRun {
    const char* box;
    std::string start;
    char separator;
    std::vector<long double> steps;
    std::vector<std::string> texts; // the box after each step
};

TEST(StepBoxTest, SumIsPrintedWithFifteenSignificantDigits)
{
    const StepRun runs[] = {
        {"G", "30", '.', {10}, {"40"}},
        {"G", "30", '.', {1}, {"31"}},
        {"G", "30", '.', {0.1L}, {"30.1"}},
        {"Sigma", "0.1", '.', {-0.1L, -0.1L}, {"0", "-0.1"}},
        {"Sigma", "0.1", '.', {-0.001L}, {"0.099"}},
        {"Sigma",
         "0.1",
         '.',
         std::vector<long double>(10, 0.01L),
         {"0.11", "0.12", "0.13", "0.14", "0.15", "0.16", "0.17", "0.18", "0.19", "0.2"}},
        {"G", " 12.5 ", '.', {1}, {"13.5"}},
        {"G", "12,5", ',', {1, -0.1L}, {"13,5", "13,4"}},
        // A point reads in every locale; the sum is written the system's way.
        {"Sigma", "0.1", ',', {0.1L, -0.001L}, {"0,2", "0,199"}},
        {"G", " 12.5 ", ',', {1}, {"13,5"}},
        {"Scl", "1.0000", '.', {0.001L, -0.001L}, {"1.001", "1"}},
        {"GCntr", "3350.10", '.', {0.01L, -10}, {"3350.11", "3340.11"}},
        {"GCntr", "-0.05", '.', {0.1L}, {"0.05"}},
        {"G", ".5", '.', {1}, {"1.5"}},
        {"G", "1e3", '.', {1}, {"1001"}},
        // Past 15 integer digits the general format turns scientific.
        {"G", "999999999999999", '.', {1, -10}, {"1E15", "999999999999990"}},
        {"Sigma", "0.0011", '.', {-0.001L}, {"0.0001"}},
        {"Sigma", "0.00011", '.', {-0.0001L}, {"1E-5"}},
        // The largest text that parses still prints as a number, not an infinity.
        {"G", "1.18973149535723E4932", '.', {10}, {"1.18973149535723E4932"}},
        {"G", "-1.18973149535723E4932", '.', {-10}, {"-1.18973149535723E4932"}},
    };
    for (const auto& run : runs) {
        ProgramState state;
        testing::FakeHost host(state, run.separator);
        host.setBoxText(run.box, run.start);
        for (std::size_t i = 0; i < run.steps.size(); ++i) {
            SCOPED_TRACE("'" + run.start + "' step " + std::to_string(i + 1));
            EXPECT_TRUE(stepBox(host, run.box, run.steps[i]));
            EXPECT_EQ(host.boxText(run.box), run.texts[i]);
        }
        EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    }
}

TEST(StepBoxTest, TextThatIsNoNumberIsReportedAndKept)
{
    struct Row {
        const char* box;
        std::string text;
        char separator;
        std::string error;
    };
    const Row rows[] = {
        {"GCntr", "GCntr", '.', "'GCntr' は浮動小数点数ではありません"},
        {"Scl", "Scl", '.', "'Scl' は浮動小数点数ではありません"},
        {"G", "12,5", '.', "'12,5' は浮動小数点数ではありません"},
        {"G", "1,5.3", ',', "'1,5.3' は浮動小数点数ではありません"},
        {"G", "1.000,5", ',', "'1.000,5' は浮動小数点数ではありません"},
        {"G", " 12.5\t", '.', "' 12.5\t' は浮動小数点数ではありません"},
        {"Sigma", "", '.', "'' は浮動小数点数ではありません"},
        {"Sigma", "inf", '.', "'inf' は浮動小数点数ではありません"},
        {"G", "1e5000", '.', "'1e5000' は浮動小数点数ではありません"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("'" + row.text + "'");
        ProgramState state;
        testing::FakeHost host(state, row.separator);
        host.setBoxText(row.box, row.text);
        EXPECT_FALSE(stepBox(host, row.box, 1));
        EXPECT_EQ(host.boxText(row.box), row.text);
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_EQ(host.errors[0], row.error);
        EXPECT_TRUE(host.notices.empty());
        EXPECT_EQ(host.redrawCount, 0);
    }
}

TEST(StepBoxTest, StepTouchesOnlyItsOwnBox)
{
    ProgramState state;
    testing::FakeHost host(state);
    host.setBoxes({{"GCntr", "3350"}, {"Scl", "1.0000"}, {"G", "30"}, {"Sigma", "0.1"}});
    const auto before = host.boxes;
    ASSERT_TRUE(stepBox(host, "Sigma", 0.01L));
    for (const auto& [box, text] : before)
        EXPECT_EQ(host.boxes.at(box), box == "Sigma" ? "0.11" : text) << box;
}

} // namespace
} // namespace ravelle
