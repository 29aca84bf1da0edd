#pragma once

#include <cstddef>
#include <vector>

#include "engine/fit/Layout.h"
#include "engine/fit/Values.h"
#include "engine/model/Evaluation.h"
#include "engine/model/Model.h"

// The general model at a fit's values. The members of an equivalent set
// become one group of all their nuclei (in pieces of at most 30), so that
// the set's coupling is one quantity to differentiate however many boxes
// hold it.
namespace ravelle::fit {

class ModelBuilder {
public:
    explicit ModelBuilder(const Layout& layout);

    // The model at `values`. Smoothed by a Gaussian of width `smoothing`,
    // every line is widened to match: a Gaussian or Voigt sigma s becomes
    // sqrt(s^2 + smoothing^2), a Lorentzian a Voigt line of that sigma (exact
    // for lines of one width; the m_I-dependent part of a width law is kept as
    // it is). `widthFactor` multiplies every varied width.
    model::Model at(const ModelValues& values, double smoothing = 0.0, double widthFactor = 1.0) const;

    // The quantities of the engine that make up set g: the coupling of each
    // of its groups (a derivative of the set is the sum of theirs).
    const std::vector<model::Quantity>& setQuantities(std::size_t g) const { return setQuantities_[g]; }
    // The engine's quantity of the layout's k-th shape quantity.
    model::Quantity shapeQuantity(std::size_t k) const;

private:
    model::Model base_; // the varied sets taken out of their species, merged
    std::vector<std::vector<model::Quantity>> setQuantities_;
    std::vector<ShapeQuantity> quantities_;
};

} // namespace ravelle::fit
