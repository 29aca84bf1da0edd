#pragma once

#include <vector>

namespace ravelle::fit {

// The values of one fit's parameters, as a pass varies them.
struct ModelValues {
    std::vector<double> set;      // one per coupling set
    std::vector<double> quantity; // one per shape quantity (widths, weights, shifts, width laws)
    double centre = 0.0;
    double amplitude = 0.0; // simulated = amplitude * the model's sum, plus the baseline
    double offset = 0.0;
    double slope = 0.0; // per gauss from the centre
};

} // namespace ravelle::fit
