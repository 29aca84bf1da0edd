#pragma once

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/fit/GlobalStart.h"
#include "engine/fit/Layout.h"
#include "engine/fit/ModelBuilder.h"
#include "engine/fit/Values.h"

// What a fit needs to know of the model's geometry at given values: how wide
// its lines are and how far its pattern spreads; and from that where to
// start, how far to search, and when a parameter has run away.
namespace ravelle::fit {

class Geometry {
public:
    Geometry(const Layout& layout, const ModelBuilder& builder) : layout_(layout), builder_(builder) {}

    // Half the peak-to-peak width of the narrowest line of a species with
    // weight (sigma for a Gaussian line), at the base of any width law.
    double narrowestLine(const ModelValues& values) const;
    // Half that of the widest.
    double widestLine(const ModelValues& values) const;
    // How far the varied sets spread their lines: the sum of n I |a|.
    double setSpread(const ModelValues& values) const;
    // How far the farthest line of any species lies from the centre.
    double extent(const ModelValues& values) const;

    // Where the global search looks: the centre within the pattern's extent
    // and a few line widths of where it is (where the centre is varied, and
    // never beyond half the display range), the widths from a third to three
    // times theirs (where a width is varied).
    SearchSpace searchSpace(const ModelValues& values, double displayRange, bool slope) const;
    // Multiplies every varied width (sigma, gamma, and B and C of their laws).
    void scaleWidths(ModelValues& values, double factor) const;
    // The model's sum at the offsets first + j step with the widths scaled;
    // nothing where the engine refuses the model.
    std::vector<double> templateAt(const ModelValues& values, double factor, double first, double step,
                                   std::size_t count) const;

    // A start around `start`: each constant within 15 %, each sigma and
    // gamma within 20 %, the centre within two line widths.
    ModelValues scattered(const ModelValues& start, std::mt19937& random) const;

    // A parameter that left the range where the fit means anything. On
    // smoothed data the scale may pass through zero on its way: a smoothed
    // trace that matches badly at first is scaled down to nothing.
    std::optional<std::string> runAway(const FitProblem& problem, const ModelValues& current,
                                       const ModelValues& start, bool scaleMayTurn = false) const;

private:
    // Half the peak-to-peak widths of the species with weight.
    std::vector<double> lineWidths(const ModelValues& values) const;

    const Layout& layout_;
    const ModelBuilder& builder_;
};

} // namespace ravelle::fit
