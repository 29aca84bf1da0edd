#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "engine/fit/Fit.h"

// The observed points of a fit in field order, their averages for a very
// long spectrum, and the smoothed data of the coarse passes.
namespace ravelle::fit {

// Told the share of a long piece of work done (0 to 1) every so often;
// returns false when the work is to stop (a cancel).
using WorkTick = std::function<bool(double done)>;

// Points in ascending order of field, each with the weight its residual
// counts with (none: 1 for every point). They are the problem's own arrays
// when those are in order already, which the problem must then outlive.
class Samples {
public:
    Samples() = default;
    Samples(std::vector<double> field, std::vector<double> data, std::vector<double> weight = {});
    static Samples viewOf(const std::vector<double>& field, const std::vector<double>& data);
    // Moving keeps the arrays where they are; a copy would not.
    Samples(Samples&&) = default;
    Samples& operator=(Samples&&) = default;
    Samples(const Samples&) = delete;
    Samples& operator=(const Samples&) = delete;

    std::size_t size() const { return field_.size(); }
    std::span<const double> field() const { return field_; }
    std::span<const double> data() const { return data_; }
    std::span<const double> weight() const { return ownWeight_; }

private:
    std::vector<double> ownField_;
    std::vector<double> ownData_;
    std::vector<double> ownWeight_;
    std::span<const double> field_;
    std::span<const double> data_;
};

// The indices of the fields in ascending order of field, equal fields in
// their given order.
std::vector<std::size_t> ascendingOrder(const std::vector<double>& field);

// The problem's points in that order; a view of them when they are in order
// already. Nothing when `tick` asked to stop.
std::optional<Samples> sortedPoints(const FitProblem& problem, const WorkTick& tick);

// The median of the positive spacings between neighbours, from at most
// `most` of them evenly spread over the field.
double medianSpacing(std::span<const double> field, std::size_t most = static_cast<std::size_t>(-1));

// The points smoothed by a unit-area Gaussian of the given width, kept every
// `stride` points: the smoothed curve varies slowly, so fewer points carry it.
// Weighted points count as often as their weight squared.
Samples smooth(const Samples& points, double width, std::size_t stride);

// Averages of `size` neighbouring points (the last may have fewer): the mean
// field and the mean intensity, with the weight sqrt(count), since the noise
// of a mean of n points is that of one point over sqrt(n). Nothing when
// `tick` asked to stop.
std::optional<Samples> averaged(const Samples& points, std::size_t size, const WorkTick& tick);

} // namespace ravelle::fit
