#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "engine/fit/Points.h"
#include "engine/model/Model.h"

// A coarse global search for a fit's start: the centre field, a common factor
// on the line widths, the scale and the baseline, with the couplings as they
// are. For each width on a log grid the model is laid on an even grid once;
// a cross-correlation with the data then gives, for every centre at once,
// the sums from which the scale and the baseline follow exactly (they are
// linear), and with them the residual sum of squares. The best of all is the
// start. A start whose centre is off by a coupling, whose scale has the wrong
// sign or whose widths are off by a factor of 3 is brought near the answer,
// where the local method takes over.
namespace ravelle::fit {

struct SearchSpace {
    double centre = 0.0;       // where the search starts
    double reach = 0.0;        // the centre is searched within centre -/+ reach (0: kept)
    std::vector<double> widthFactors{1.0};
    bool slope = false;        // a baseline slope is fitted along with the offset
    // The scale's amplitude, when the scale is fixed: a function of the width factor.
    std::function<std::optional<double>(double factor)> fixedAmplitude;
    double narrowestLine = 0.0; // the narrowest peak-to-peak width at factor 1, for the grid's spacing
};

struct SearchResult {
    double centre = 0.0;
    double widthFactor = 1.0;
    double amplitude = 0.0;
    double offset = 0.0;
    double slope = 0.0; // per gauss from `centre`
    double rss = 0.0;   // on the search's grid
};

// The model laid on an even grid of offsets from the centre for one width factor.
using TemplateOf = std::function<std::vector<double>(double factor, double start, double step, std::size_t count)>;

// Nothing when `tick` asked to stop, or when no centre gives the model any
// overlap with the data.
std::optional<SearchResult> searchStart(const Samples& samples, const SearchSpace& space, const TemplateOf& templateOf,
                                        const WorkTick& tick);

} // namespace ravelle::fit
