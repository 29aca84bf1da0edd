#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/model/Model.h"

// Which parameters a fit varies: the coupling sets, the other model
// quantities, and where the centre, the scale and the baseline stand in the
// problem; and the model they act on.
namespace ravelle::fit {

struct CouplingSet {
    int species = 0;
    std::vector<std::size_t> members; // indices into the problem's parameters
    double start = 0.0;
};

// A varied model quantity other than a coupling: a width, a weight, a shift
// or a coefficient of a width law.
struct ShapeQuantity {
    FitParameterKind kind = FitParameterKind::Sigma;
    int species = 0;
    std::size_t parameter = 0; // index into the problem's parameters
    double start = 0.0;
};

struct Layout {
    // The problem's model with every parameter's starting value written in
    // (the document's model for a problem without one).
    model::Model model;
    // Per problem parameter, the group of a coupling in `model` (-1 otherwise).
    std::vector<int> group;
    std::vector<CouplingSet> sets;
    std::vector<ShapeQuantity> quantities;
    std::optional<std::size_t> centre, scale, offset, slope; // problem parameter indices
    bool varyCentre = false, varyScale = false, varyOffset = false, varySlope = false;

    // The free parameters of the fit.
    int freeCount() const;
};

// Throws UserError when the problem's model is not a valid one.
Layout layoutOf(const FitProblem& problem);

// Whether a parameter of this kind is a coupling constant.
bool isCoupling(FitParameterKind kind);
// Whether it is one of the line widths (sigma, gamma, or their B and C).
bool isWidth(FitParameterKind kind);
// Whether its value is in gauss (a coupling, a width, a shift, the centre).
bool isInGauss(FitParameterKind kind);

// The member of a species that a non-coupling model quantity is.
double& quantityOf(model::Species& species, FitParameterKind kind);

// "H1, H2".
std::string joined(const std::vector<std::string>& names);

// The boxes of a set, "H1, H2".
std::string namesOf(const FitProblem& problem, const CouplingSet& set);

// Every parameter at its start, as a fit that has not moved reports it.
std::vector<FittedValue> startingValues(const FitProblem& problem);

double valueOf(const FitProblem& problem, std::optional<std::size_t> index, double otherwise);

} // namespace ravelle::fit
