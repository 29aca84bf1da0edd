#include "engine/model/Prepared.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/Isotopes.h"

namespace ravelle::model::detail {

namespace {

constexpr double kFarthest = 1e12; // gauss

[[noreturn]] void refuseSpecies(std::size_t species, std::string_view what)
{
    throw UserError(messages::speciesProblem(static_cast<int>(species) + 1, what));
}

[[noreturn]] void refuseGroup(std::size_t species, std::size_t group, std::string_view what)
{
    throw UserError(messages::groupProblem(static_cast<int>(species) + 1, static_cast<int>(group) + 1, what));
}

const Isotope& checkedIsotope(const NucleusGroup& group, std::size_t s, std::size_t g)
{
    const Isotope* isotope = findIsotope(group.isotope);
    if (isotope == nullptr)
        refuseGroup(s, g, messages::kUnknownIsotope);
    if (group.count < 1 || group.count > kMaxEquivalentNuclei)
        refuseGroup(s, g, messages::badNucleusCount());
    if (!std::isfinite(group.coupling))
        refuseGroup(s, g, messages::kBadCoupling);
    if (group.naturalAbundance && isotope->twiceSpin == 0)
        refuseGroup(s, g, messages::kNaturalNeedsSpin);
    return *isotope;
}

std::vector<PositionIsotope> positionIsotopes(const Isotope& isotope, bool natural)
{
    if (!natural)
        return {PositionIsotope{1.0, isotope.twiceSpin, 1.0}};
    std::vector<PositionIsotope> mixture;
    for (const Isotope& other : isotopesOfElement(isotope))
        mixture.push_back(PositionIsotope{other.abundance, other.twiceSpin, other.gFactor() / isotope.gFactor()});
    return mixture;
}

// The width of one component: base + B m + C m^2, where the shape uses it.
double componentWidth(bool used, double base, const WidthLaw& law, double m, std::size_t s, std::string_view name)
{
    if (!used)
        return 0.0;
    const double width = base + law.linear * m + law.quadratic * m * m;
    if (!(width > 0.0))
        refuseSpecies(s, messages::widthNotPositive(name, m));
    return width;
}

bool lawIsZero(double base, const WidthLaw& law)
{
    return base == 0.0 && law.linear == 0.0 && law.quadratic == 0.0;
}

PreparedSpecies prepareSpecies(const Species& species, std::size_t s, const std::function<bool(int, int)>& keepGroup)
{
    if (species.groups.size() > kMaxGroups)
        refuseSpecies(s, messages::tooManyGroups());
    if (!std::isfinite(species.weight) || species.weight < 0.0)
        refuseSpecies(s, messages::kBadWeight);
    if (!std::isfinite(species.shift))
        refuseSpecies(s, messages::kBadShift);
    if (!std::isfinite(species.sigma))
        refuseSpecies(s, messages::kBadSigma);
    if (!std::isfinite(species.gamma) || species.gamma < 0.0)
        refuseSpecies(s, messages::kBadGamma);
    for (const WidthLaw& law : {species.sigmaLaw, species.gammaLaw})
        if (!std::isfinite(law.linear) || !std::isfinite(law.quadratic))
            refuseSpecies(s, messages::kBadWidthLaw);
    const bool hasWidthGroup = species.widthGroup != kNoWidthGroup;
    if (hasWidthGroup && (species.widthGroup < 0 || static_cast<std::size_t>(species.widthGroup) >= species.groups.size()))
        refuseSpecies(s, messages::kNoSuchWidthGroup);

    PreparedSpecies prepared;
    prepared.index = static_cast<int>(s);
    prepared.weight = species.weight;
    prepared.sigmaSign = species.sigma < 0.0 ? -1.0 : 1.0;
    const double sigma = std::fabs(species.sigma);
    const WidthLaw noLaw;
    const WidthLaw& sigmaLaw = hasWidthGroup ? species.sigmaLaw : noLaw;
    const WidthLaw& gammaLaw = hasWidthGroup ? species.gammaLaw : noLaw;
    switch (species.shape) {
    case LineShape::Gaussian:
        prepared.usesSigma = true;
        if (lawIsZero(sigma, sigmaLaw))
            refuseSpecies(s, messages::kGaussianNeedsSigma);
        break;
    case LineShape::Lorentzian:
        prepared.usesGamma = true;
        if (lawIsZero(species.gamma, gammaLaw))
            refuseSpecies(s, messages::kLorentzianNeedsGamma);
        break;
    case LineShape::Voigt:
        prepared.usesSigma = !lawIsZero(sigma, sigmaLaw);
        prepared.usesGamma = !lawIsZero(species.gamma, gammaLaw);
        if (!prepared.usesSigma && !prepared.usesGamma)
            refuseSpecies(s, messages::kVoigtNeedsWidth);
        break;
    }

    int widthTwiceSpin = 0;
    int widthCount = 1;
    for (std::size_t g = 0; g < species.groups.size(); ++g) {
        const NucleusGroup& group = species.groups[g];
        const Isotope& isotope = checkedIsotope(group, s, g);
        if (hasWidthGroup && g == static_cast<std::size_t>(species.widthGroup)) {
            if (group.naturalAbundance)
                refuseSpecies(s, messages::kMixedWidthGroup);
            prepared.widthSource = species.widthGroup;
            prepared.widthCoupling = group.coupling;
            widthTwiceSpin = isotope.twiceSpin;
            widthCount = group.count;
            continue;
        }
        // Equal groups act as one group of all their nuclei, unless one of
        // them is to be differentiated by itself.
        const bool keep = keepGroup && keepGroup(static_cast<int>(s), static_cast<int>(g));
        const auto same = std::find_if(prepared.groups.begin(), prepared.groups.end(), [&](const PreparedGroup& other) {
            return !keep && !other.kept && other.isotope == isotope.name && other.natural == group.naturalAbundance
                   && other.coupling == group.coupling;
        });
        if (same != prepared.groups.end()) {
            same->count += group.count;
            same->source = -1;
            continue;
        }
        PreparedGroup added;
        added.count = group.count;
        added.coupling = group.coupling;
        added.isotopes = positionIsotopes(isotope, group.naturalAbundance);
        added.source = static_cast<int>(g);
        added.isotope = isotope.name;
        added.natural = group.naturalAbundance;
        added.kept = keep;
        prepared.groups.push_back(std::move(added));
    }

    // One component per total m of the width group.
    const std::vector<double> probabilities = totalSpinProbabilities(widthTwiceSpin, widthCount);
    const double mLowest = -0.5 * widthTwiceSpin * widthCount;
    for (std::size_t i = 0; i < probabilities.size(); ++i) {
        PreparedComponent component;
        component.m = mLowest + static_cast<double>(i);
        component.probability = probabilities[i];
        component.weight = species.weight * probabilities[i];
        component.centre = species.shift + component.m * prepared.widthCoupling;
        component.widths.sigma = componentWidth(prepared.usesSigma, sigma, sigmaLaw, component.m, s, "sigma");
        component.widths.gamma = componentWidth(prepared.usesGamma, species.gamma, gammaLaw, component.m, s, "gamma");
        prepared.components.push_back(component);
    }
    for (const PreparedGroup& group : prepared.groups)
        prepared.extent += group.extent();
    double farthest = prepared.extent;
    for (const PreparedComponent& component : prepared.components)
        farthest = std::max(farthest, std::fabs(component.centre) + prepared.extent);
    if (!(farthest <= kFarthest))
        refuseSpecies(s, messages::kTooFar);
    return prepared;
}

} // namespace

double PreparedGroup::extent() const
{
    double largest = 0.0;
    for (const PositionIsotope& isotope : isotopes)
        largest = std::max(largest, 0.5 * isotope.twiceSpin * std::fabs(coupling * isotope.scale));
    return count * largest;
}

std::vector<double> totalSpinProbabilities(int twiceSpin, int count)
{
    std::vector<double> probabilities{1.0};
    const auto states = static_cast<std::size_t>(twiceSpin) + 1;
    for (int n = 0; n < count && states > 1; ++n) {
        std::vector<double> next(probabilities.size() + states - 1, 0.0);
        for (std::size_t i = 0; i < probabilities.size(); ++i)
            for (std::size_t j = 0; j < states; ++j)
                next[i + j] += probabilities[i] / static_cast<double>(states);
        probabilities.swap(next);
    }
    return probabilities;
}

double lineSlopeBound(const LineWidths& widths)
{
    const double pi = std::numbers::pi;
    double bound = INFINITY;
    // The Voigt is the Gaussian smoothed by the Lorentzian and the other way
    // round, so neither pure shape's peak is exceeded.
    if (widths.sigma > 0.0)
        bound = std::exp(-0.5) / (widths.sigma * widths.sigma * std::sqrt(2 * pi));
    if (widths.gamma > 0.0)
        bound = std::min(bound, 3.0 * std::sqrt(3.0) / (8.0 * pi * widths.gamma * widths.gamma));
    return bound;
}

PreparedModel prepareModel(const Model& model, const std::function<bool(int, int)>& keepGroup)
{
    if (model.species.empty())
        throw UserError(std::string(messages::kNoSpecies));
    if (model.species.size() > kMaxSpecies)
        throw UserError(std::string(messages::tooManySpecies()));
    PreparedModel prepared;
    bool anyWeight = false;
    for (std::size_t s = 0; s < model.species.size(); ++s) {
        prepared.species.push_back(prepareSpecies(model.species[s], s, keepGroup));
        anyWeight = anyWeight || prepared.species.back().weight > 0.0;
    }
    if (!anyWeight)
        throw UserError(std::string(messages::kAllWeightsZero));
    return prepared;
}

} // namespace ravelle::model::detail

namespace ravelle::model::detail {

ResolvedQuantity resolveQuantity(const PreparedModel& model, const Quantity& quantity)
{
    ResolvedQuantity resolved;
    resolved.kind = quantity.kind;
    if (quantity.kind == QuantityKind::Field)
        return resolved;
    if (quantity.species < 0 || static_cast<std::size_t>(quantity.species) >= model.species.size())
        throw std::invalid_argument("no such species");
    resolved.species = quantity.species;
    if (quantity.kind != QuantityKind::Coupling)
        return resolved;
    const PreparedSpecies& species = model.species[static_cast<std::size_t>(quantity.species)];
    if (quantity.group == species.widthSource && quantity.group != kNoWidthGroup)
        return resolved; // group -1: the width group
    for (std::size_t g = 0; g < species.groups.size(); ++g)
        if (species.groups[g].source == quantity.group && quantity.group >= 0) {
            resolved.group = static_cast<int>(g);
            return resolved;
        }
    throw std::invalid_argument("no such group");
}

bool namesGroup(std::span<const Quantity> quantities, int species, int group)
{
    for (const Quantity& quantity : quantities)
        if (quantity.kind == QuantityKind::Coupling && quantity.species == species && quantity.group == group)
            return true;
    return false;
}

} // namespace ravelle::model::detail
