#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/fit/Fit.h"

// Which parameters a fit varies: the coupling sets, the fixed constants and
// where Sigma, GCntr and Scl stand in the problem.
namespace ravelle::fit {

struct CouplingSet {
    FitParameterKind kind;
    std::vector<std::size_t> members; // indices into the problem's parameters
    double start = 0.0;
};

struct Layout {
    std::vector<CouplingSet> sets;
    std::vector<std::pair<FitParameterKind, double>> fixed;
    std::optional<std::size_t> sigma, centre, scale; // problem parameter indices
    bool varySigma = false, varyCentre = false, varyScale = false;
};

Layout layoutOf(const FitProblem& problem);

// "H1, H2".
std::string joined(const std::vector<std::string>& names);

// The boxes of a set, "H1, H2".
std::string namesOf(const FitProblem& problem, const CouplingSet& set);

// Every parameter at its start, as a fit that has not moved reports it.
std::vector<FittedValue> startingValues(const FitProblem& problem);

double valueOf(const FitProblem& problem, std::optional<std::size_t> index, double otherwise);

} // namespace ravelle::fit
