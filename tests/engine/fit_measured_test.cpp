#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/fit/Fit.h"
#include "tests/support/MeasuredSpectra.h"

// Fits of spectra measured on real instruments, from by-eye starts: each
// must reach a residual close to the noise and the couplings the literature
// reports for the radical.
namespace ravelle {
namespace {

using testing::MeasuredCase;

double fittedValue(const FitResult& result, const std::string& box)
{
    for (const FittedValue& value : result.values)
        if (value.box == box)
            return value.value;
    ADD_FAILURE() << "no value " << box;
    return 0.0;
}

struct Range {
    const char* box;
    double low, high;
};

struct Expectation {
    const char* name;
    std::vector<Range> ranges;
};

const std::vector<Expectation>& expectations()
{
    static const std::vector<Expectation> table = {
        {"Galvinoxyl_toluene_N2", {{"H1", 5.55, 5.70}, {"H2", 1.30, 1.45}, {"H5", 1.30, 1.45}}},
        {"Aminoxyl_KABNO_H2O", {{"N1", 18.70, 18.85}}},
        {"Perylene_anion_probable",
         {{"H1", 4.00, 4.10}, {"H4", 4.00, 4.10}, {"H5", 3.03, 3.08}, {"H9", 0.43, 0.46}, {"H12", 0.43, 0.46}}},
        {"TEMPOL_H2O_10uM", {{"N1", 17.2, 17.5}}},
        {"WurstersBlue_TMPD_DMSO",
         {{"N1", 6.80, 6.95}, {"N2", 6.80, 6.95}, {"Species 1, group 1, coupling", 6.95, 7.05},
          {"Species 1, group 2, coupling", 1.94, 1.98}}},
        {"Hydroquinone_cation",
         {{"H1", 3.44, 3.50}, {"H3", 2.49, 2.55}, {"H5", 1.98, 2.04},
          {"Species 2, group 1, coupling", 3.43, 3.49}, {"Species 2, group 2, coupling", 2.37, 2.43},
          {"Species 2, group 3, coupling", 2.10, 2.16}, {"Species 2, weight", 40.0 / 60.0, 60.0 / 40.0}}},
        {"Fremy_glycerol", {{"Species 1, group 1, coupling", 12.9, 13.1}}},
    };
    return table;
}

TEST(FitMeasuredTest, ReachesTheResidualAndTheCouplingsFromByEyeStarts)
{
    if (!std::filesystem::exists(testing::measuredFolder()))
        GTEST_SKIP() << "The measured spectra are not here (" << testing::measuredFolder() << ").";
    for (const MeasuredCase& measured : testing::measuredCases()) {
        SCOPED_TRACE(measured.name);
        const auto problem = testing::measuredProblem(measured);
        if (!problem) {
            ADD_FAILURE() << "no fit problem for " << measured.file;
            continue;
        }
        std::atomic<bool> cancel{false};
        const FitResult result = runFit(*problem, cancel);
        ASSERT_TRUE(result.converged()) << result.message;
        EXPECT_EQ(result.pointCount, static_cast<int>(problem->field.size()));
        EXPECT_LE(result.rmsAfter, measured.rmsGoal) << "RMS before " << result.rmsBefore;
        std::printf("%-26s RMS %.4f -> %.4f, %d iterations:", measured.name, result.rmsBefore, result.rmsAfter,
                    result.iterations);
        for (const Expectation& expectation : expectations()) {
            if (std::string(expectation.name) != measured.name)
                continue;
            for (const Range& range : expectation.ranges) {
                const double value = fittedValue(result, range.box);
                std::printf(" %s %.3f", range.box, value);
                EXPECT_GE(value, range.low) << range.box;
                EXPECT_LE(value, range.high) << range.box;
            }
        }
        std::printf("\n");
    }
}

} // namespace
} // namespace ravelle
