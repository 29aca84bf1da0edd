#include "engine/fit/Layout.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ravelle::fit {

namespace {

// The document's model: one Gaussian species with a group of one nucleus for
// each H and N parameter, in their order.
model::Model documentModel(const FitProblem& problem)
{
    model::Species species;
    species.shape = model::LineShape::Gaussian;
    species.sigma = 0.1;
    for (const FitParameter& parameter : problem.parameters) {
        if (parameter.kind == FitParameterKind::Hydrogen)
            species.groups.push_back({"1H", 1, parameter.value, false});
        else if (parameter.kind == FitParameterKind::Nitrogen)
            species.groups.push_back({"14N", 1, parameter.value, false});
    }
    return model::Model{{species}};
}

model::Species& speciesOf(model::Model& model, const FitParameter& parameter)
{
    if (parameter.species < 0 || static_cast<std::size_t>(parameter.species) >= model.species.size())
        throw std::invalid_argument("fit parameter " + parameter.box + " names no species of the model");
    return model.species[static_cast<std::size_t>(parameter.species)];
}

bool isModelQuantity(FitParameterKind kind)
{
    switch (kind) {
    case FitParameterKind::Centre:
    case FitParameterKind::Scale:
    case FitParameterKind::Offset:
    case FitParameterKind::Slope:
        return false;
    default:
        return true;
    }
}

} // namespace

bool isCoupling(FitParameterKind kind)
{
    return kind == FitParameterKind::Hydrogen || kind == FitParameterKind::Nitrogen ||
           kind == FitParameterKind::Coupling;
}

bool isWidth(FitParameterKind kind)
{
    switch (kind) {
    case FitParameterKind::Sigma:
    case FitParameterKind::Gamma:
    case FitParameterKind::SigmaB:
    case FitParameterKind::SigmaC:
    case FitParameterKind::GammaB:
    case FitParameterKind::GammaC:
        return true;
    default:
        return false;
    }
}

bool isInGauss(FitParameterKind kind)
{
    return isCoupling(kind) || isWidth(kind) || kind == FitParameterKind::Shift || kind == FitParameterKind::Centre;
}

double& quantityOf(model::Species& species, FitParameterKind kind)
{
    switch (kind) {
    case FitParameterKind::Sigma:
        return species.sigma;
    case FitParameterKind::Gamma:
        return species.gamma;
    case FitParameterKind::Weight:
        return species.weight;
    case FitParameterKind::Shift:
        return species.shift;
    case FitParameterKind::SigmaB:
        return species.sigmaLaw.linear;
    case FitParameterKind::SigmaC:
        return species.sigmaLaw.quadratic;
    case FitParameterKind::GammaB:
        return species.gammaLaw.linear;
    case FitParameterKind::GammaC:
        return species.gammaLaw.quadratic;
    default:
        throw std::invalid_argument("not a quantity of a species");
    }
}

int Layout::freeCount() const
{
    return static_cast<int>(sets.size() + quantities.size()) + int{varyCentre} + int{varyScale} + int{varyOffset} +
           int{varySlope};
}

Layout layoutOf(const FitProblem& problem)
{
    Layout layout;
    const bool document = problem.model.species.empty();
    layout.model = document ? documentModel(problem) : problem.model;
    layout.group.assign(problem.parameters.size(), -1);
    int nextBoxGroup = 0;
    for (std::size_t i = 0; i < problem.parameters.size(); ++i) {
        const FitParameter& parameter = problem.parameters[i];
        if (!isModelQuantity(parameter.kind))
            continue;
        model::Species& species = speciesOf(layout.model, parameter);
        if (!isCoupling(parameter.kind)) {
            double& value = quantityOf(species, parameter.kind);
            value = parameter.kind == FitParameterKind::Sigma ? std::abs(parameter.value) : parameter.value;
            continue;
        }
        const int group = document && parameter.kind != FitParameterKind::Coupling ? nextBoxGroup++ : parameter.group;
        if (group < 0 || static_cast<std::size_t>(group) >= species.groups.size())
            throw std::invalid_argument("fit parameter " + parameter.box + " names no group of the model");
        species.groups[static_cast<std::size_t>(group)].coupling = parameter.value;
        layout.group[i] = group;
    }
    model::validateModel(layout.model);

    for (std::size_t i = 0; i < problem.parameters.size(); ++i) {
        const FitParameter& parameter = problem.parameters[i];
        const auto place = [&](std::optional<std::size_t>& index, bool& vary) {
            index = i;
            vary = parameter.vary;
        };
        switch (parameter.kind) {
        case FitParameterKind::Centre:
            place(layout.centre, layout.varyCentre);
            continue;
        case FitParameterKind::Scale:
            place(layout.scale, layout.varyScale);
            continue;
        case FitParameterKind::Offset:
            place(layout.offset, layout.varyOffset);
            continue;
        case FitParameterKind::Slope:
            place(layout.slope, layout.varySlope);
            continue;
        default:
            break;
        }
        if (!parameter.vary)
            continue;
        const auto& species = layout.model.species[static_cast<std::size_t>(parameter.species)];
        if (!isCoupling(parameter.kind)) {
            double value = parameter.value;
            if (parameter.kind == FitParameterKind::Sigma)
                value = std::abs(value);
            layout.quantities.push_back({parameter.kind, parameter.species, i, value});
            continue;
        }
        // Equivalent nuclei: one species, one isotope, the same start. The
        // group whose m_I sets the widths is always a set of its own.
        const auto& group = species.groups[static_cast<std::size_t>(layout.group[i])];
        const auto sameKind = [&](std::size_t other) {
            const auto& otherGroup = species.groups[static_cast<std::size_t>(layout.group[other])];
            return problem.parameters[other].species == parameter.species && otherGroup.isotope == group.isotope &&
                   otherGroup.naturalAbundance == group.naturalAbundance &&
                   layout.group[other] != species.widthGroup && layout.group[i] != species.widthGroup;
        };
        auto same = std::find_if(layout.sets.begin(), layout.sets.end(), [&](const CouplingSet& set) {
            return problem.keepEqualConstantsEqual && set.start == parameter.value && sameKind(set.members.front());
        });
        if (same != layout.sets.end())
            same->members.push_back(i);
        else
            layout.sets.push_back({parameter.species, {i}, parameter.value});
    }
    return layout;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string namesOf(const FitProblem& problem, const CouplingSet& set)
{
    std::vector<std::string> names;
    for (const std::size_t member : set.members)
        names.push_back(problem.parameters[member].box);
    return joined(names);
}

std::vector<FittedValue> startingValues(const FitProblem& problem)
{
    std::vector<FittedValue> values;
    values.reserve(problem.parameters.size());
    for (const FitParameter& parameter : problem.parameters)
        values.push_back({parameter.box, parameter.kind, parameter.vary, parameter.value, parameter.value, 0.0,
                          parameter.species, parameter.group});
    return values;
}

double valueOf(const FitProblem& problem, std::optional<std::size_t> index, double otherwise)
{
    return index ? problem.parameters[*index].value : otherwise;
}

} // namespace ravelle::fit
