#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/model/Evaluation.h"
#include "tests/engine/model/ModelReference.h"
#include "tests/support/EngineTesting.h"
#include "tests/support/MeasuredData.h"

namespace ravelle::model {
namespace {

using namespace testing;

struct Case {
    std::string name;
    Model model;
    double start, step;
    std::size_t count;
    // Whether the rounding part of the bound stays within 1e-9 of the height:
    // not where the fields see only the far tails of the lines.
    bool boundWithinGoal = true;
};

Model one(Species s) { return Model{{std::move(s)}}; }

Species withWidthLaw(Species s, int group, WidthLaw sigmaLaw, WidthLaw gammaLaw)
{
    s.widthGroup = group;
    s.sigmaLaw = sigmaLaw;
    s.gammaLaw = gammaLaw;
    return s;
}

std::vector<Case> cases()
{
    const std::vector<NucleusGroup> nitroxide{group("14N", 1, 15.6), group("1H", 6, 0.4)};
    const std::vector<NucleusGroup> mixed{group("1H", 2, 5.1), group("1H", 1, 1.7), group("14N", 1, 3.3),
                                          group("13C", 4, 2.8, true)};
    return {
        {"gaussian narrow", one(species(mixed, LineShape::Gaussian, 0.01, 0)), -15, 0.06, 501},
        {"gaussian wide", one(species(mixed, LineShape::Gaussian, 5, 0)), -40, 0.16, 501},
        {"lorentzian narrow", one(species(mixed, LineShape::Lorentzian, 0, 0.01)), -15, 0.6, 51},
        {"lorentzian 5000", one(species(mixed, LineShape::Lorentzian, 0, 0.12)), -15, 0.006, 5001},
        {"lorentzian wide", one(species(mixed, LineShape::Lorentzian, 0, 5)), -30, 0.12, 501},
        {"voigt", one(species(mixed, LineShape::Voigt, 0.08, 0.05)), -15, 0.06, 501},
        {"voigt wide", one(species(mixed, LineShape::Voigt, 2, 3)), -15, 0.3, 101},
        {"lines far outside", one(species(mixed, LineShape::Lorentzian, 0, 0.3, 1.0, 60)), -5, 0.02, 501, false},
        {"negative sigma", one(species(mixed, LineShape::Gaussian, -0.2, 0)), -15, 0.06, 501},
        {"descending grid", one(species(mixed, LineShape::Voigt, 0.1, 0.3, 1.0, 1.1)), 15, -0.3, 101},
        {"several species",
         Model{{species(mixed, LineShape::Lorentzian, 0, 0.2, 1.0, -1.5),
                species(nitroxide, LineShape::Gaussian, 0.3, 0, 0.5, 2.0),
                species({group("63Cu", 1, 6.0, true)}, LineShape::Voigt, 0.4, 0.3, 2.0, 0.0)}},
         -30, 0.1, 601},
        {"m_I widths",
         one(withWidthLaw(species(nitroxide, LineShape::Voigt, 0.3, 0.2), 0, {0.05, 0.04}, {-0.08, 0.1})),
         -25, 0.1, 501},
        {"m_I lorentzian", one(withWidthLaw(species(nitroxide, LineShape::Lorentzian, 0, 0.5), 0, {}, {0.2, 0.1})),
         -25, 0.05, 1001},
    };
}

long double heightOf(const std::vector<long double>& values)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

double worstDifference(const std::vector<double>& got, const std::vector<long double>& expected)
{
    long double worst = 0.0L;
    for (std::size_t i = 0; i < got.size(); ++i)
        worst = std::max(worst, std::fabs(got[i] - expected[i]));
    return static_cast<double>(worst);
}

TEST(ModelAccuracyTest, FourierSumMatchesEveryLineSummed)
{
    for (const Case& c : cases()) {
        const std::vector<double> fields = gridFields(c.start, c.step, c.count);
        const std::vector<long double> reference = referenceSum(c.model, fields);
        const long double height = heightOf(reference);
        const ModelValues values = evaluateModel(c.model, UniformGrid{c.start, c.step, static_cast<std::int64_t>(c.count)});
        ASSERT_EQ(values.value.size(), fields.size()) << c.name;
        const double worst = worstDifference(values.value, reference);
        EXPECT_LE(worst, 1e-9 * static_cast<double>(height)) << c.name << ": worst " << worst / static_cast<double>(height);
        if (c.boundWithinGoal) {
            EXPECT_LE(values.errorBound, 1e-9 * static_cast<double>(height)) << c.name;
        }
        EXPECT_GE(values.errorBound, worst) << c.name;
    }
}

TEST(ModelAccuracyTest, NarrowLinesAreSummedOneByOne)
{
    // Lines far narrower than the grid: too many frequencies for the Fourier
    // sum, few lines.
    struct Row {
        std::string name;
        Species species;
    };
    const Row rows[] = {
        {"lorentzian", species({group("1H", 2, 4.0), group("14N", 1, 7.0)}, LineShape::Lorentzian, 0, 2e-6)},
        {"voigt", species({group("1H", 2, 4.0)}, LineShape::Voigt, 1e-6, 2e-6, 1.0, 0.013)},
        {"gaussian", species({group("14N", 2, 0.7)}, LineShape::Gaussian, 3e-6, 0, 1.0, 0.002)},
    };
    for (const Row& row : rows) {
        const Model model{{row.species}};
        const std::vector<double> fields = gridFields(-15, 0.03, 1001);
        const auto reference = referenceSum(model, fields);
        const ModelValues values = evaluateModel(model, UniformGrid{-15, 0.03, 1001});
        EXPECT_LE(worstDifference(values.value, reference), 1e-9 * heightOf(reference)) << row.name;
    }
}

TEST(ModelAccuracyTest, ArbitraryFieldsMatchEveryLineSummed)
{
    const Model model{{species({group("1H", 2, 5.1), group("14N", 1, 3.3), group("13C", 2, 2.8, true)},
                               LineShape::Voigt, 0.1, 0.07, 1.0, 0.3),
                       species({group("1H", 1, 2.2)}, LineShape::Lorentzian, 0, 0.4, 0.5, -2.0)}};
    std::vector<double> jittered = gridFields(-12, 0.024, 1001);
    for (std::size_t i = 0; i < jittered.size(); ++i)
        jittered[i] += 1e-4 * std::sin(7.0 * static_cast<double>(i)); // as printed fields are
    std::vector<double> scattered = gridFields(-12, 0.1, 241);
    for (std::size_t i = 0; i < scattered.size(); ++i)
        scattered[i] = -12 + 24 * std::fmod(0.6180339887 * static_cast<double>(i * i), 1.0);
    std::vector<double> descending = gridFields(12, -0.024, 1001);
    std::vector<double> one = {0.37};
    for (const std::vector<double>* fields : {&jittered, &scattered, &descending, &one}) {
        const auto reference = referenceSum(model, *fields);
        const ModelValues values = evaluateModelAt(model, *fields);
        const long double height = fields->size() > 1 ? heightOf(reference) : std::fabs(reference[0]);
        EXPECT_LE(worstDifference(values.value, reference), 1e-9 * height) << fields->size();
        EXPECT_LE(values.errorBound, 1e-9 * static_cast<double>(height)) << fields->size();
    }
    EXPECT_TRUE(evaluateModelAt(model, std::vector<double>{}).value.empty());
}

// The field column of a measured spectrum, as offsets from its middle.
std::vector<double> measuredFields(const std::string& name)
{
    std::ifstream file(ravelle::testing::measuredFolder() + "/" + name);
    std::vector<double> fields;
    for (std::string line; std::getline(file, line);) {
        double field = 0.0;
        const auto start = line.find_first_not_of(' ');
        if (start != std::string::npos
            && std::from_chars(line.data() + start, line.data() + line.size(), field).ec == std::errc{})
            fields.push_back(field);
    }
    if (!fields.empty()) {
        const double middle = 0.5 * (fields.front() + fields.back());
        for (double& field : fields)
            field -= middle;
    }
    return fields;
}

TEST(ModelAccuracyTest, MeasuredFieldAxes)
{
    // Field columns printed with a fixed number of decimals: an even grid up
    // to the rounding of the last digit.
    struct Row {
        std::string file;
        Model model;
    };
    const Row rows[] = {
        {"Perylene_anion_probable.dat",
         Model{{species({group("1H", 4, 4.1), group("1H", 4, 3.08), group("1H", 4, 0.46)}, LineShape::Lorentzian, 0, 0.06)}}},
        {"Fremy_glycerol.dat", Model{{species({group("14N", 1, 13.07)}, LineShape::Voigt, 0.3, 0.25, 1.0, 0.4)}}},
    };
    for (const Row& row : rows) {
        const std::vector<double> fields = measuredFields(row.file);
        if (fields.size() < 1000)
            GTEST_SKIP() << "The measured spectra are not at " << ravelle::testing::measuredFolder();
        const auto reference = referenceSum(row.model, fields);
        const ModelValues values = evaluateModelAt(row.model, fields);
        EXPECT_LE(worstDifference(values.value, reference), 1e-9 * heightOf(reference)) << row.file;
    }
}

TEST(ModelAccuracyTest, MixturesAreTheWeightedSumsOfTheirParts)
{
    const Species parts[] = {
        species({group("1H", 3, 2.5), group("14N", 1, 6.0)}, LineShape::Voigt, 0.2, 0.1, 0.7, -1.0),
        species({group("63Cu", 1, 4.0, true)}, LineShape::Lorentzian, 0, 0.3, 2.0, 1.5),
        species({group("19F", 2, 3.0)}, LineShape::Gaussian, 0.4, 0, 1.3, 0.0),
    };
    const UniformGrid grid{-20, 0.05, 801};
    std::vector<double> sum(801, 0.0);
    double scale = 0.0;
    for (const Species& part : parts) {
        Species unit = part;
        unit.weight = 1.0;
        const ModelValues alone = evaluateModel(Model{{unit}}, grid);
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += part.weight * alone.value[i];
        const auto [low, high] = std::minmax_element(alone.value.begin(), alone.value.end());
        scale = std::max(scale, *high - *low);
    }
    const ModelValues mixture = evaluateModel(Model{{parts[0], parts[1], parts[2]}}, grid);
    for (std::size_t i = 0; i < sum.size(); ++i)
        EXPECT_NEAR(mixture.value[i], sum[i], 1e-10 * scale) << i;
}

TEST(ModelAccuracyTest, EqualWeightsGiveEqualDoubleIntegrals)
{
    // The double integral of a derivative spectrum is its total intensity:
    // the weight, whatever the splitting, shift and widths.
    struct Row {
        Species species;
        double expected;
    };
    const Row rows[] = {
        {species({group("1H", 1, 2.0)}, LineShape::Gaussian, 0.3, 0, 1.0, 0.0), 1.0},
        {species({group("14N", 2, 3.0), group("1H", 4, 1.1)}, LineShape::Gaussian, 0.3, 0, 1.0, 2.0), 1.0},
        {species({group("63Cu", 1, 6.0, true)}, LineShape::Gaussian, 0.8, 0, 1.0, -3.0), 1.0},
        {species({group("14N", 1, 5.0)}, LineShape::Gaussian, 0.2, 0, 2.5, 0.0), 2.5},
    };
    const double step = 0.01;
    for (const Row& row : rows) {
        const ModelValues values = evaluateModel(Model{{row.species}}, UniformGrid{-40, step, 8001});
        long double absorption = 0.0L, area = 0.0L;
        for (const double v : values.value) {
            absorption += v * step;
            area += absorption * step;
        }
        EXPECT_NEAR(static_cast<double>(area), row.expected, 1e-6 * row.expected);
    }
}

TEST(ModelAccuracyTest, AnyNumberOfLines)
{
    // 2^15 3^6 lines of the protons and nitrogens, 2^30 of the fluorines and
    // 3^6 states of the carbons: about 2e19 lines, none of them listed.
    Species settings = species({group("19F", 30, 0.9), group("13C", 6, 4.4, true)}, LineShape::Voigt, 0.05, 0.04);
    std::vector<double> h, n;
    for (int i = 0; i < 15; ++i)
        h.push_back(0.1 + 0.173 * i);
    for (int i = 0; i < 6; ++i)
        n.push_back(0.3 + 0.61 * i);
    const Model model{{speciesFromBoxes(h, n, settings)}};
    const ModelValues values = evaluateModel(model, UniformGrid{-60, 0.12, 1001});
    // The pattern is symmetric about the centre, so the sum is odd about it.
    const auto [low, high] = std::minmax_element(values.value.begin(), values.value.end());
    for (std::size_t i = 0; i < 1001; ++i)
        EXPECT_NEAR(values.value[i], -values.value[1000 - i], 1e-9 * (*high - *low)) << i;
    EXPECT_GT(*high - *low, 0.0);
    EXPECT_LE(values.errorBound, 1e-9 * (*high - *low));
}

TEST(ModelAccuracyTest, ImpossibleRequestsAreRefused)
{
    // Millions of lines, each far narrower than the range: neither way is feasible.
    std::vector<double> h, n;
    for (int i = 0; i < 15; ++i)
        h.push_back(0.3137 + 0.4571 * i);
    for (int i = 0; i < 6; ++i)
        n.push_back(0.7061 + 0.7267 * i);
    const Model model{{speciesFromBoxes(h, n, species({}, LineShape::Lorentzian, 0, 1e-9))}};
    EXPECT_EQ(ravelle::testing::messageOf([&] { evaluateModel(model, UniformGrid{-5e4, 100.0, 1001}); }),
              messages::kNotFeasible);
    // Results that would not fit in memory are refused before anything is allocated.
    const Model small{{species({group("1H", 1, 1.0)}, LineShape::Gaussian, 0.1, 0)}};
    EXPECT_EQ(ravelle::testing::messageOf([&] { evaluateModel(small, UniformGrid{-5, 1e-7, 100'000'000}); }),
              ravelle::messages::kNoMemoryForSimulation);
    // So are transforms that would not: a fine grid among thousands of
    // lines spread far wider, too many to sum one by one.
    Species spreadLines = species({}, LineShape::Lorentzian, 0, 0.01);
    for (int i = 0; i < 15; ++i)
        spreadLines.groups.push_back(group("1H", 1, 1e5 * std::sqrt(2.0 + i)));
    const Model spread{{spreadLines}};
    EXPECT_EQ(ravelle::testing::messageOf([&] { evaluateModel(spread, UniformGrid{-0.5, 1e-6, 1'000'001}); }),
              ravelle::messages::kNoMemoryForSimulation);
}

} // namespace
} // namespace ravelle::model
