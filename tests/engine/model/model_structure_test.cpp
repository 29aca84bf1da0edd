#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/DirectModel.h"
#include "engine/model/Evaluation.h"
#include "engine/model/Prepared.h"
#include "tests/engine/model/ModelReference.h"
#include "tests/support/EngineTesting.h"

namespace ravelle::model {
namespace {

using namespace testing;
using ravelle::testing::messageOf;

TEST(ModelStructureTest, TotalSpinIntensitiesAreTheHandCountedPatterns)
{
    struct Row {
        int twiceSpin, count;
        std::vector<double> counts;
    };
    const Row rows[] = {
        {1, 1, {1, 1}},
        {1, 2, {1, 2, 1}},
        {1, 3, {1, 3, 3, 1}},
        {2, 1, {1, 1, 1}},
        {2, 2, {1, 2, 3, 2, 1}},
        {2, 3, {1, 3, 6, 7, 6, 3, 1}},
        {3, 2, {1, 2, 3, 4, 3, 2, 1}},
        {5, 1, {1, 1, 1, 1, 1, 1}},
        {5, 2, {1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1}},
        {0, 7, {1}},
    };
    for (const Row& row : rows) {
        const std::vector<double> p = detail::totalSpinProbabilities(row.twiceSpin, row.count);
        ASSERT_EQ(p.size(), row.counts.size()) << row.twiceSpin << " " << row.count;
        const double total = std::pow(row.twiceSpin + 1.0, row.count);
        for (std::size_t i = 0; i < p.size(); ++i)
            EXPECT_NEAR(p[i], row.counts[i] / total, 1e-16) << row.twiceSpin << " " << row.count << " " << i;
    }
}

// The distinct lines of a one-species model, merged: (position, weight).
std::vector<std::pair<double, double>> sticks(const Species& species)
{
    const Model model{{species}};
    const auto prepared = detail::prepareModel(model, {});
    const auto lines = detail::mergeModelLines(prepared, {}, 1000);
    std::vector<std::pair<double, double>> result;
    const auto& list = lines->front();
    for (std::size_t i = 0; i < list.position.size(); ++i)
        result.emplace_back(list.position[i], list.weight[i]);
    return result;
}

TEST(ModelStructureTest, StickSpectraOfGroupsAndIsotopologues)
{
    const double q = 0.0107 / 2; // one 13C line
    const double p0 = 0.9893;
    const double r = 2.3817 / 2.2233; // 65Cu / 63Cu
    const double d = 0.857438 / 2.792847 * 0.5 / 1.0; // 2H / 1H g-factors
    struct Row {
        std::string name;
        Species species;
        std::vector<std::pair<double, double>> expected;
    };
    const Row rows[] = {
        {"two nitrogens", species({group("14N", 2, 1.0)}, LineShape::Gaussian, 1, 0),
         {{-2, 1 / 9.0}, {-1, 2 / 9.0}, {0, 3 / 9.0}, {1, 2 / 9.0}, {2, 1 / 9.0}}},
        {"17O, spin 5/2", species({group("17O", 1, 2.0)}, LineShape::Gaussian, 1, 0),
         {{-5, 1 / 6.0}, {-3, 1 / 6.0}, {-1, 1 / 6.0}, {1, 1 / 6.0}, {3, 1 / 6.0}, {5, 1 / 6.0}}},
        {"equal groups merge", species({group("1H", 1, 2.0), group("1H", 1, 2.0)}, LineShape::Gaussian, 1, 0),
         {{-2, 0.25}, {0, 0.5}, {2, 0.25}}},
        {"one 13C at natural abundance", species({group("13C", 1, 4.0, true)}, LineShape::Gaussian, 1, 0),
         {{-2, q}, {0, p0}, {2, q}}},
        {"two 13C at natural abundance", species({group("13C", 2, 4.0, true)}, LineShape::Gaussian, 1, 0),
         {{-4, q * q}, {-2, 2 * q * p0}, {0, p0 * p0 + 2 * q * q}, {2, 2 * q * p0}, {4, q * q}}},
        {"copper at natural abundance", species({group("63Cu", 1, 10.0, true)}, LineShape::Gaussian, 1, 0),
         {{-15 * r, 0.3085 / 4}, {-15, 0.6915 / 4}, {-5 * r, 0.3085 / 4}, {-5, 0.6915 / 4},
          {5, 0.6915 / 4}, {5 * r, 0.3085 / 4}, {15, 0.6915 / 4}, {15 * r, 0.3085 / 4}}},
        {"hydrogen at natural abundance", species({group("1H", 1, 10.0, true)}, LineShape::Gaussian, 1, 0),
         {{-5, 0.999885 / 2}, {-10 * d, 0.000115 / 3}, {0, 0.000115 / 3}, {10 * d, 0.000115 / 3},
          {5, 0.999885 / 2}}},
    };
    for (const Row& row : rows) {
        const auto got = sticks(row.species);
        ASSERT_EQ(got.size(), row.expected.size()) << row.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, row.expected[i].first, 1e-4) << row.name << " " << i; // g-factor digits
            EXPECT_NEAR(got[i].second, row.expected[i].second, 1e-15) << row.name << " " << i;
        }
    }
}

TEST(ModelStructureTest, BoxesMapOntoTheFirstSpecies)
{
    Species settings = species({group("13C", 6, 3.0, true), group("14N", 1, 15.0)}, LineShape::Voigt, 0.2, 0.1, 2.0, 0.5);
    settings.widthGroup = 1;
    const Species made = speciesFromBoxes({5.0, 1.5}, {3.0}, settings);
    ASSERT_EQ(made.groups.size(), 5u);
    const char* isotopes[] = {"1H", "1H", "14N", "13C", "14N"};
    const double couplings[] = {5.0, 1.5, 3.0, 3.0, 15.0};
    for (std::size_t g = 0; g < 5; ++g) {
        EXPECT_EQ(made.groups[g].isotope, isotopes[g]);
        EXPECT_EQ(made.groups[g].coupling, couplings[g]);
    }
    EXPECT_EQ(made.groups[0].count, 1);
    EXPECT_FALSE(made.groups[2].naturalAbundance);
    EXPECT_TRUE(made.groups[3].naturalAbundance);
    EXPECT_EQ(made.widthGroup, 4); // still the nitrogen of 15 G
    EXPECT_EQ(made.shape, LineShape::Voigt);
    EXPECT_EQ(made.weight, 2.0);
    EXPECT_EQ(speciesFromBoxes({}, {}, Species{}).widthGroup, kNoWidthGroup);
}

TEST(ModelStructureTest, BadValuesAreRefusedWithTheirPlace)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto base = [] { return species({group("1H", 2, 3.0), group("14N", 1, 1.0)}, LineShape::Voigt, 0.1, 0.1); };
    struct Row {
        std::string name;
        std::function<void(Model&)> change;
        std::string message;
    };
    const auto groupMessage = [](int s, int g, std::string_view what) { return messages::groupProblem(s, g, what); };
    const auto speciesMessage = [](int s, std::string_view what) { return messages::speciesProblem(s, what); };
    const std::vector<Row> rows = {
        {"no species", [](Model& m) { m.species.clear(); }, std::string(messages::kNoSpecies)},
        {"nine species", [&](Model& m) { m.species.assign(9, base()); }, std::string(messages::tooManySpecies())},
        {"unknown isotope", [](Model& m) { m.species[0].groups[1].isotope = "14n"; },
         groupMessage(1, 2, messages::kUnknownIsotope)},
        {"no nuclei", [](Model& m) { m.species[0].groups[0].count = 0; }, groupMessage(1, 1, messages::badNucleusCount())},
        {"31 nuclei", [](Model& m) { m.species[0].groups[0].count = 31; }, groupMessage(1, 1, messages::badNucleusCount())},
        {"coupling NaN", [&](Model& m) { m.species[0].groups[0].coupling = nan; },
         groupMessage(1, 1, messages::kBadCoupling)},
        {"natural spin 0", [](Model& m) { m.species[0].groups[0] = group("12C", 1, 1.0, true); },
         groupMessage(1, 1, messages::kNaturalNeedsSpin)},
        {"negative weight", [](Model& m) { m.species[0].weight = -1; }, speciesMessage(1, messages::kBadWeight)},
        {"infinite weight", [&](Model& m) { m.species[0].weight = inf; }, speciesMessage(1, messages::kBadWeight)},
        {"all weights 0", [](Model& m) { m.species[0].weight = 0; }, std::string(messages::kAllWeightsZero)},
        {"shift NaN", [&](Model& m) { m.species[0].shift = nan; }, speciesMessage(1, messages::kBadShift)},
        {"sigma infinite", [&](Model& m) { m.species[0].sigma = -inf; }, speciesMessage(1, messages::kBadSigma)},
        {"negative gamma", [](Model& m) { m.species[0].gamma = -0.1; }, speciesMessage(1, messages::kBadGamma)},
        {"negative gamma, Gaussian", [](Model& m) { m.species[0].shape = LineShape::Gaussian; m.species[0].gamma = -1; },
         speciesMessage(1, messages::kBadGamma)},
        {"width law NaN", [&](Model& m) { m.species[0].gammaLaw.quadratic = nan; },
         speciesMessage(1, messages::kBadWidthLaw)},
        {"Gaussian sigma 0", [](Model& m) { m.species[0].shape = LineShape::Gaussian; m.species[0].sigma = 0; },
         speciesMessage(1, messages::kGaussianNeedsSigma)},
        {"Lorentzian gamma 0", [](Model& m) { m.species[0].shape = LineShape::Lorentzian; m.species[0].gamma = 0; },
         speciesMessage(1, messages::kLorentzianNeedsGamma)},
        {"Voigt without width", [](Model& m) { m.species[0].sigma = 0; m.species[0].gamma = 0; },
         speciesMessage(1, messages::kVoigtNeedsWidth)},
        {"no such width group", [](Model& m) { m.species[0].widthGroup = 2; },
         speciesMessage(1, messages::kNoSuchWidthGroup)},
        {"natural width group",
         [](Model& m) { m.species[0].groups[0].naturalAbundance = true; m.species[0].widthGroup = 0; },
         speciesMessage(1, messages::kMixedWidthGroup)},
        {"sigma falls to 0", [](Model& m) { m.species[0].widthGroup = 1; m.species[0].sigmaLaw = {0.1, 0.0}; },
         speciesMessage(1, messages::widthNotPositive("sigma", -1))},
        {"gamma falls below 0", [](Model& m) { m.species[0].widthGroup = 0; m.species[0].gammaLaw = {0.0, -0.2}; },
         speciesMessage(1, messages::widthNotPositive("gamma", -1))},
        {"too far", [](Model& m) { m.species[0].shift = 2e12; }, speciesMessage(1, messages::kTooFar)},
        {"second species", [&](Model& m) { m.species.push_back(base()); m.species[1].groups[0].count = -3; },
         groupMessage(2, 1, messages::badNucleusCount())},
    };
    for (const Row& row : rows) {
        Model model{{base()}};
        row.change(model);
        EXPECT_EQ(messageOf([&] { validateModel(model); }), row.message) << row.name;
        EXPECT_EQ(messageOf([&] { evaluateModel(model, UniformGrid{-5, 0.1, 101}); }), row.message) << row.name;
    }
    EXPECT_EQ(messages::widthNotPositive("sigma", -1.5), "sigma falls to 0 or below at m = -1.5.");
    // What is left alone: a negative sigma, a width law without a width group,
    // a spin-0 group, a weight of 0 beside another species.
    Model fine{{base(), base()}};
    fine.species[0].sigma = -0.1;
    fine.species[0].gammaLaw = {-5.0, -5.0};
    fine.species[0].groups.push_back(group("12C", 3, 7.0));
    fine.species[1].weight = 0.0;
    EXPECT_EQ(messageOf([&] { validateModel(fine); }), "");
}

TEST(ModelStructureTest, QuantitiesOutOfRangeAreTheCallersMistake)
{
    const Model model{{species({group("1H", 1, 3.0)}, LineShape::Gaussian, 0.2, 0)}};
    for (const Quantity q : {Quantity{QuantityKind::Sigma, 1, 0}, Quantity{QuantityKind::Coupling, 0, 1},
                             Quantity{QuantityKind::Coupling, 0, -1}, Quantity{QuantityKind::Weight, -1, 0}}) {
        const std::vector<Quantity> quantities{q};
        EXPECT_THROW(evaluateModel(model, UniformGrid{-5, 0.1, 11}, quantities), std::invalid_argument);
    }
    EXPECT_THROW(evaluateModel(model, UniformGrid{-5, 0.1, -1}), std::invalid_argument);
}

} // namespace
} // namespace ravelle::model
