#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/model/Model.h"

// The model's unnormalised sum F(x) = sum over species of weight times the
// unit-intensity stick spectrum convolved with the derivative line, and its
// partial derivatives with respect to chosen model quantities: what a fit
// needs. Throws UserError for a bad model (validateModel's messages), for a
// request that needs too much memory and for one that cannot be computed in
// reasonable time.
namespace ravelle::model {

enum class QuantityKind {
    Coupling,       // a group's coupling constant (species, group)
    Sigma,          // a species' sigma (d/dsigma of |sigma|)
    Gamma,          // a species' gamma
    Weight,
    Shift,
    SigmaLinear,    // B of sigma + B m + C m^2
    SigmaQuadratic, // C
    GammaLinear,    // B' of gamma + B' m + C' m^2
    GammaQuadratic, // C'
    Field,          // the field x itself: dF/dx (the centre field enters as -x)
};

struct Quantity {
    QuantityKind kind = QuantityKind::Field;
    int species = 0; // index into Model::species (not for Field)
    int group = 0;   // index into Species::groups (Coupling only)
};

// The fields start + i step, i = 0 ... count - 1 (step may be negative).
struct UniformGrid {
    double start = 0.0;
    double step = 0.0;
    std::int64_t count = 0;
};

struct ModelValues {
    std::vector<double> value;                   // F at each field
    std::vector<std::vector<double>> derivative; // one row per quantity asked for, F's derivative at each field
    // On |value - exact F| at every field (for a grid, at start + i step
    // exactly: a field rounded to a double moves by its own last digit).
    double errorBound = 0.0;
};

// Quantities out of range (a species or group that does not exist) throw
// std::invalid_argument: they are the caller's mistake, not the user's.
ModelValues evaluateModel(const Model& model, const UniformGrid& grid, std::span<const Quantity> quantities = {});

// The same at arbitrary fields (any order, repeats allowed). Fields that form
// an even grid to within a small fraction of a step cost about as much as the
// grid; others are reached from a finer grid by Taylor steps. Off the grid the
// derivative rows come within about 1e-7 of their own size, not to F's bound.
ModelValues evaluateModelAt(const Model& model, std::span<const double> fields,
                            std::span<const Quantity> quantities = {});

// The largest and the smallest value with their positions (the first of
// equals) and, by the envelope theorem, the derivatives of each: the
// derivative rows at those positions.
struct PeakToPeak {
    double high = 0.0;
    double low = 0.0;
    std::size_t highIndex = 0;
    std::size_t lowIndex = 0;
    std::vector<double> highDerivative;
    std::vector<double> lowDerivative;
};
PeakToPeak peakToPeak(const ModelValues& values);

} // namespace ravelle::model
