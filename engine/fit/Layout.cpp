#include "engine/fit/Layout.h"

#include <algorithm>

namespace ravelle::fit {

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

Layout layoutOf(const FitProblem& problem)
{
    Layout layout;
    for (std::size_t i = 0; i < problem.parameters.size(); ++i) {
        const FitParameter& parameter = problem.parameters[i];
        switch (parameter.kind) {
        case FitParameterKind::Hydrogen:
        case FitParameterKind::Nitrogen: {
            if (!parameter.vary) {
                layout.fixed.emplace_back(parameter.kind, parameter.value);
                break;
            }
            auto same = std::find_if(layout.sets.begin(), layout.sets.end(), [&](const CouplingSet& set) {
                return problem.keepEqualConstantsEqual && set.kind == parameter.kind && set.start == parameter.value;
            });
            if (same != layout.sets.end())
                same->members.push_back(i);
            else
                layout.sets.push_back({parameter.kind, {i}, parameter.value});
            break;
        }
        case FitParameterKind::Sigma:
            layout.sigma = i;
            layout.varySigma = parameter.vary;
            break;
        case FitParameterKind::Centre:
            layout.centre = i;
            layout.varyCentre = parameter.vary;
            break;
        case FitParameterKind::Scale:
            layout.scale = i;
            layout.varyScale = parameter.vary;
            break;
        }
    }
    return layout;
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
        values.push_back({parameter.box, parameter.kind, parameter.vary, parameter.value, parameter.value, 0.0});
    return values;
}

double valueOf(const FitProblem& problem, std::optional<std::size_t> index, double otherwise)
{
    return index ? problem.parameters[*index].value : otherwise;
}

} // namespace ravelle::fit
