#pragma once

#include <cstddef>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/fit/Pass.h"

// The observed points of a fit in field order, and the smoothed data of the
// coarse passes.
namespace ravelle::fit {

struct Points {
    std::vector<double> field; // ascending
    std::vector<double> data;
};

// The indices of the fields in ascending order of field, equal fields in
// their given order.
std::vector<std::size_t> ascendingOrder(const std::vector<double>& field);

Points sortedPoints(const FitProblem& problem);

double medianSpacing(const std::vector<double>& field);

// The points smoothed by a unit-area Gaussian of the given width, kept every
// `stride` points: the smoothed curve varies slowly, so fewer points carry it.
void smooth(const Points& points, double width, std::size_t stride, Pass& pass);

} // namespace ravelle::fit
