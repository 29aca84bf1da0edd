#include "engine/fit/Geometry.h"

#include <algorithm>
#include <cmath>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/Evaluation.h"
#include "engine/model/Isotopes.h"

namespace ravelle::fit {

namespace {

constexpr double kScatterConstant = 0.15;
constexpr double kScatterWidth = 0.20;
// The widths the global search tries: 3^(k/3), k = -3 ... 3.
constexpr int kWidthSteps = 3;
constexpr double kWidestFactor = 3.0;
// The search reaches this many of the widest line widths beyond the pattern.
constexpr double kReachWidths = 4.0;
// Where no line has a width to measure.
constexpr double kSomeWidth = 0.1;

double nucleiSpin(const model::NucleusGroup& group)
{
    const model::Isotope* isotope = model::findIsotope(group.isotope);
    return isotope == nullptr ? 0.0 : group.count * isotope->spin();
}

} // namespace

std::vector<double> Geometry::lineWidths(const ModelValues& values) const
{
    std::vector<double> widths;
    for (const model::Species& species : builder_.at(values).species) {
        if (species.weight == 0.0)
            continue;
        try {
            widths.push_back(model::peakToPeakWidth(species.shape, species.sigma, species.gamma) / 2);
        } catch (const UserError&) {
            // A width given only by its law: no base width to measure.
        }
    }
    return widths;
}

double Geometry::narrowestLine(const ModelValues& values) const
{
    const auto widths = lineWidths(values);
    return widths.empty() ? kSomeWidth : *std::min_element(widths.begin(), widths.end());
}

double Geometry::widestLine(const ModelValues& values) const
{
    const auto widths = lineWidths(values);
    return widths.empty() ? kSomeWidth : *std::max_element(widths.begin(), widths.end());
}

double Geometry::setSpread(const ModelValues& values) const
{
    const model::Model& model = layout_.model;
    double spread = 0.0;
    for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
        const CouplingSet& set = layout_.sets[g];
        for (const std::size_t member : set.members)
            spread += std::abs(values.set[g]) *
                      nucleiSpin(model.species[static_cast<std::size_t>(set.species)]
                                     .groups[static_cast<std::size_t>(layout_.group[member])]);
    }
    return spread;
}

double Geometry::extent(const ModelValues& values) const
{
    double farthest = 0.0;
    for (const model::Species& species : builder_.at(values).species) {
        double reach = std::abs(species.shift);
        for (const model::NucleusGroup& group : species.groups)
            reach += std::abs(group.coupling) * nucleiSpin(group);
        farthest = std::max(farthest, reach);
    }
    return farthest;
}

SearchSpace Geometry::searchSpace(const ModelValues& values, double displayRange, bool slope) const
{
    SearchSpace space;
    space.centre = values.centre;
    space.slope = slope;
    space.narrowestLine = 2 * narrowestLine(values);
    const bool widths = std::any_of(layout_.quantities.begin(), layout_.quantities.end(),
                                    [](const ShapeQuantity& quantity) { return isWidth(quantity.kind); });
    if (widths) {
        space.widthFactors.clear();
        for (int k = -kWidthSteps; k <= kWidthSteps; ++k)
            space.widthFactors.push_back(std::pow(kWidestFactor, static_cast<double>(k) / kWidthSteps));
    }
    if (layout_.varyCentre) {
        const double widest = widestLine(values) * (widths ? kWidestFactor : 1.0);
        space.reach = std::min(extent(values) + kReachWidths * widest, std::abs(displayRange) / 2);
    }
    return space;
}

void Geometry::scaleWidths(ModelValues& values, double factor) const
{
    for (std::size_t k = 0; k < layout_.quantities.size(); ++k)
        if (isWidth(layout_.quantities[k].kind))
            values.quantity[k] *= factor;
}

std::vector<double> Geometry::templateAt(const ModelValues& values, double factor, double first, double step,
                                         std::size_t count) const
{
    try {
        const model::UniformGrid grid{first, step, static_cast<std::int64_t>(count)};
        return model::evaluateModel(builder_.at(values, 0.0, factor), grid).value;
    } catch (const UserError&) {
        return {};
    }
}

ModelValues Geometry::scattered(const ModelValues& start, std::mt19937& random) const
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    ModelValues values = start;
    for (double& value : values.set)
        value *= 1 + kScatterConstant * unit(random);
    for (std::size_t k = 0; k < layout_.quantities.size(); ++k) {
        const FitParameterKind kind = layout_.quantities[k].kind;
        if (kind == FitParameterKind::Sigma || kind == FitParameterKind::Gamma)
            values.quantity[k] *= 1 + kScatterWidth * unit(random);
    }
    if (layout_.varyCentre)
        values.centre += 2 * narrowestLine(start) * unit(random);
    return values;
}

std::optional<std::string> Geometry::runAway(const FitProblem& problem, const ModelValues& current,
                                             const ModelValues& start, bool scaleMayTurn) const
{
    const double range = std::abs(problem.displayRange);
    for (std::size_t k = 0; k < layout_.quantities.size(); ++k) {
        const ShapeQuantity& quantity = layout_.quantities[k];
        const std::string& name = problem.parameters[quantity.parameter].box;
        const auto shape = layout_.model.species[static_cast<std::size_t>(quantity.species)].shape;
        // Only a Gaussian line needs its sigma; a Voigt line may lose it.
        if (quantity.kind == FitParameterKind::Sigma && shape == model::LineShape::Gaussian &&
            !(current.quantity[k] > 0))
            return name == "Sigma" ? std::string(messages::kFitSigmaThroughZero) : messages::fitWidthThroughZero(name);
        if (quantity.kind == FitParameterKind::Shift && std::abs(current.quantity[k]) > range &&
            std::abs(start.quantity[k]) <= range)
            return messages::fitShiftRanAway(name);
    }
    for (std::size_t g = 0; g < layout_.sets.size(); ++g) {
        if (std::abs(current.set[g]) > range && std::abs(layout_.sets[g].start) <= range)
            return messages::fitConstantRanAway(namesOf(problem, layout_.sets[g]));
    }
    if (layout_.varyCentre && std::abs(current.centre - start.centre) > range / 2)
        return std::string(messages::kFitCentreRanAway);
    if (!std::isfinite(current.amplitude) || (!scaleMayTurn && current.amplitude * start.amplitude < 0))
        return std::string(messages::kFitScaleThroughZero);
    return std::nullopt;
}

} // namespace ravelle::fit
