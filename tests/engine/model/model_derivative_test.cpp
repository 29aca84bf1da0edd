#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/model/Evaluation.h"
#include "tests/engine/model/ModelReference.h"

namespace ravelle::model {
namespace {

using namespace testing;

// A handle on the model value a quantity stands for.
double& valueOf(Model& model, const Quantity& q)
{
    Species& s = model.species[static_cast<std::size_t>(q.species)];
    switch (q.kind) {
    case QuantityKind::Coupling: return s.groups[static_cast<std::size_t>(q.group)].coupling;
    case QuantityKind::Sigma: return s.sigma;
    case QuantityKind::Gamma: return s.gamma;
    case QuantityKind::Weight: return s.weight;
    case QuantityKind::Shift: return s.shift;
    case QuantityKind::SigmaLinear: return s.sigmaLaw.linear;
    case QuantityKind::SigmaQuadratic: return s.sigmaLaw.quadratic;
    case QuantityKind::GammaLinear: return s.gammaLaw.linear;
    case QuantityKind::GammaQuadratic: return s.gammaLaw.quadratic;
    case QuantityKind::Field: break;
    }
    throw std::logic_error("no model value");
}

struct Case {
    std::string name;
    Model model;
    UniformGrid grid;
    double step; // of the finite differences
    double jitter = 0.0; // in steps: the grid's fields moved off it, evaluated as arbitrary fields

    ModelValues evaluate(const Model& m, double fieldShift, std::span<const Quantity> quantities = {}) const
    {
        UniformGrid shifted = grid;
        shifted.start += fieldShift;
        if (jitter == 0.0)
            return evaluateModel(m, shifted, quantities);
        std::vector<double> fields = gridFields(shifted.start, shifted.step, static_cast<std::size_t>(shifted.count));
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i] += jitter * shifted.step * std::sin(3.0 * static_cast<double>(i));
        return evaluateModelAt(m, fields, quantities);
    }
};

std::vector<Case> cases()
{
    Species nitroxide = species({group("14N", 1, 15.0), group("1H", 3, 0.9), group("1H", 2, 0.9)}, LineShape::Voigt,
                                -0.3, 0.2, 1.0, 0.4);
    nitroxide.widthGroup = 0;
    nitroxide.sigmaLaw = {0.05, 0.03};
    nitroxide.gammaLaw = {-0.04, 0.06};
    const Species copper = species({group("63Cu", 1, 9.0, true), group("1H", 2, 2.5)}, LineShape::Lorentzian, 0, 0.6,
                                   0.8, -2.0);
    const Species narrow = species({group("1H", 1, 3.0), group("14N", 1, 5.0)}, LineShape::Lorentzian, 0, 3e-5, 1.0, 0.01);
    const Species narrowVoigt = species({group("1H", 1, 3.0)}, LineShape::Voigt, 2e-5, 3e-5, 1.0, 0.01);
    return {
        {"two species", Model{{nitroxide, copper}}, UniformGrid{-30, 0.06, 1001}, 1e-6},
        {"descending grid", Model{{copper}}, UniformGrid{20, -0.05, 801}, 1e-6},
        {"narrow lines, summed one by one", Model{{narrow, narrowVoigt}}, UniformGrid{-6, 0.0004, 301}, 1e-9},
        {"arbitrary fields", Model{{nitroxide, copper}}, UniformGrid{-30, 0.06, 1001}, 1e-6, 0.3},
        // As a file's fields printed to a few decimals are: F takes Taylor
        // steps of a higher order than the derivative rows need.
        {"fields a hair off the grid", Model{{nitroxide, copper}}, UniformGrid{-30, 0.06, 1001}, 1e-6, 1e-5},
    };
}

// Every quantity of every species (and the field) at once, against central
// differences of F.
TEST(ModelDerivativeTest, DerivativesMatchFiniteDifferences)
{
    for (const Case& c : cases()) {
        std::vector<Quantity> quantities{{QuantityKind::Field}};
        for (int s = 0; s < static_cast<int>(c.model.species.size()); ++s) {
            for (const QuantityKind kind : {QuantityKind::Sigma, QuantityKind::Gamma, QuantityKind::Weight,
                                            QuantityKind::Shift, QuantityKind::SigmaLinear, QuantityKind::SigmaQuadratic,
                                            QuantityKind::GammaLinear, QuantityKind::GammaQuadratic})
                quantities.push_back({kind, s, 0});
            for (int g = 0; g < static_cast<int>(c.model.species[static_cast<std::size_t>(s)].groups.size()); ++g)
                quantities.push_back({QuantityKind::Coupling, s, g});
        }
        const ModelValues values = c.evaluate(c.model, 0.0, quantities);
        ASSERT_EQ(values.derivative.size(), quantities.size());
        const auto [low, high] = std::minmax_element(values.value.begin(), values.value.end());
        for (std::size_t q = 0; q < quantities.size(); ++q) {
            std::vector<double> plus, minus;
            if (quantities[q].kind == QuantityKind::Field) {
                plus = c.evaluate(c.model, c.step).value;
                minus = c.evaluate(c.model, -c.step).value;
            } else {
                Model changed = c.model;
                valueOf(changed, quantities[q]) += c.step;
                plus = c.evaluate(changed, 0.0).value;
                valueOf(changed, quantities[q]) -= 2 * c.step;
                minus = c.evaluate(changed, 0.0).value;
            }
            const std::vector<double>& analytic = values.derivative[q];
            double largest = 0.0, worst = 0.0;
            for (std::size_t i = 0; i < analytic.size(); ++i) {
                largest = std::max(largest, std::fabs(analytic[i]));
                worst = std::max(worst, std::fabs(analytic[i] - (plus[i] - minus[i]) / (2 * c.step)));
            }
            // Differences of F carry its rounding divided by the step.
            EXPECT_LE(worst, 1e-5 * largest + 1e-8 * (*high - *low) / c.step / 1e6)
                << c.name << ": quantity " << q << " (kind " << static_cast<int>(quantities[q].kind) << ", species "
                << quantities[q].species << ", group " << quantities[q].group << ") largest " << largest;
        }
    }
}

TEST(ModelDerivativeTest, UnusedWidthsHaveNoEffect)
{
    // A Gaussian ignores gamma, a Lorentzian sigma, a species without a width
    // group the width laws.
    const Model model{{species({group("1H", 1, 2.0)}, LineShape::Gaussian, 0.3, 0.2),
                       species({group("1H", 1, 2.0)}, LineShape::Lorentzian, 0.3, 0.2)}};
    const std::vector<Quantity> quantities{{QuantityKind::Gamma, 0}, {QuantityKind::Sigma, 1},
                                           {QuantityKind::SigmaLinear, 0}, {QuantityKind::GammaQuadratic, 1}};
    const ModelValues values = evaluateModel(model, UniformGrid{-5, 0.05, 201}, quantities);
    for (const auto& row : values.derivative)
        for (const double d : row)
            EXPECT_EQ(d, 0.0);
}

TEST(ModelDerivativeTest, PeakToPeakFollowsTheExtremes)
{
    const Model model{{species({group("1H", 2, 2.0), group("14N", 1, 1.3)}, LineShape::Voigt, 0.25, 0.15)}};
    const UniformGrid grid{-8, 0.004, 4001};
    const std::vector<Quantity> quantities{{QuantityKind::Sigma, 0}, {QuantityKind::Coupling, 0, 1}};
    const ModelValues values = evaluateModel(model, grid, quantities);
    const PeakToPeak extremes = peakToPeak(values);
    EXPECT_EQ(extremes.high, *std::max_element(values.value.begin(), values.value.end()));
    EXPECT_EQ(extremes.low, *std::min_element(values.value.begin(), values.value.end()));
    EXPECT_EQ(values.value[extremes.highIndex], extremes.high);
    EXPECT_LT(extremes.highIndex, extremes.lowIndex); // positive on the low-field side
    for (std::size_t q = 0; q < quantities.size(); ++q) {
        Model changed = model;
        const double h = 1e-6;
        valueOf(changed, quantities[q]) += h;
        const PeakToPeak plus = peakToPeak(evaluateModel(changed, grid));
        valueOf(changed, quantities[q]) -= 2 * h;
        const PeakToPeak minus = peakToPeak(evaluateModel(changed, grid));
        const double expected = ((plus.high - plus.low) - (minus.high - minus.low)) / (2 * h);
        const double got = extremes.highDerivative[q] - extremes.lowDerivative[q];
        EXPECT_NEAR(got, expected, 1e-4 * std::fabs(expected)) << q;
    }
    EXPECT_TRUE(peakToPeak(ModelValues{}).highDerivative.empty());
}

} // namespace
} // namespace ravelle::model
