#include "engine/fit/Model.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "engine/FastMath.h"
#include "engine/Synthesis.h"

namespace ravelle::fit {

namespace {

// The synthesis's value of 2 pi, so that the fitted curve is the drawn one.
constexpr double kTwoPi = static_cast<double>(kProgramTwoPi);
// Terms further than this many sigmas from their line are below 1e-30 of the
// line's peak: far too small to move a fit, and skipping them is what makes
// a fit fast.
constexpr double kCutOffSigmas = 12.0;

} // namespace

void Evaluator::place(const std::vector<double>& setValues)
{
    const std::size_t lines = table_.size();
    const std::size_t sets = table_.sets;
    std::vector<double> position(lines);
    for (std::size_t l = 0; l < lines; ++l) {
        double p = table_.base[l];
        for (std::size_t g = 0; g < sets; ++g)
            p += table_.coefficient[l * sets + g] * setValues[g];
        position[l] = p;
    }
    order_.resize(lines);
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return position[a] < position[b]; });
    position_.resize(lines);
    weight_.resize(lines);
    coefficient_.resize(lines * sets);
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t l = order_[i];
        position_[i] = position[l];
        weight_[i] = table_.weight[l];
        std::copy_n(table_.coefficient.begin() + static_cast<std::ptrdiff_t>(l * sets), sets,
                    coefficient_.begin() + static_cast<std::ptrdiff_t>(i * sets));
    }
    exponent_.resize(lines);
    gaussian_.resize(lines);
    slope_.resize(lines);
}

bool Evaluator::sum(const std::vector<double>& x, double sigma, bool derivatives, Sums& out,
                    const std::atomic<bool>* cancel) const
{
    const std::size_t n = x.size();
    const std::size_t sets = table_.sets;
    const std::size_t lines = position_.size();
    out.value.assign(n, 0.0);
    if (derivatives) {
        out.dCentre.assign(n, 0.0);
        out.dSigma.assign(n, 0.0);
        out.dSet.assign(n * sets, 0.0);
    }
    const double inverse = 1.0 / sigma;
    const double norm = 1.0 / (std::sqrt(kTwoPi) * sigma * sigma * sigma);
    const double reach = kCutOffSigmas * sigma;
    std::vector<double> setSum(sets);
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if ((i & 255u) == 0 && cancel && cancel->load(std::memory_order_relaxed))
            return false;
        const double xi = x[i];
        while (low < lines && position_[low] < xi - reach)
            ++low;
        if (high < low)
            high = low;
        while (high < lines && position_[high] <= xi + reach)
            ++high;
        // The exponentials of the window in one vectorisable batch.
        const std::size_t count = high - low;
        const double* position = position_.data() + low;
        const double* weight = weight_.data() + low;
        for (std::size_t j = 0; j < count; ++j) {
            const double t = (xi - position[j]) * inverse;
            exponent_[j] = -0.5 * t * t;
        }
        expNonPositive(exponent_.data(), gaussian_.data(), count);
        double value = 0.0;
        if (!derivatives) {
            for (std::size_t j = 0; j < count; ++j)
                value -= weight[j] * (xi - position[j]) * gaussian_[j];
            out.value[i] = value * norm;
            continue;
        }
        double centre = 0.0;
        double width = 0.0;
        std::fill(setSum.begin(), setSum.end(), 0.0);
        for (std::size_t j = 0; j < count; ++j) {
            const double d = xi - position[j];
            const double t2 = -2.0 * exponent_[j];
            const double e = weight[j] * gaussian_[j];
            const double slope = e * (1.0 - t2); // d/d(position), without norm
            value -= d * e;
            centre += slope;
            width -= d * e * (t2 - 3.0);
            slope_[j] = slope;
        }
        const double* m = coefficient_.data() + low * sets;
        for (std::size_t j = 0; j < count; ++j)
            for (std::size_t g = 0; g < sets; ++g)
                setSum[g] += slope_[j] * m[j * sets + g];
        out.value[i] = value * norm;
        out.dCentre[i] = centre * norm;
        out.dSigma[i] = width * norm * inverse;
        for (std::size_t g = 0; g < sets; ++g)
            out.dSet[i * sets + g] = setSum[g] * norm;
    }
    return true;
}

// The display grid of Calculate: offsets (G/N) i - G/2, i = 0 .. N, ascending.
std::vector<double> displayGrid(double range, std::int32_t points)
{
    const long double step = static_cast<long double>(range) / points;
    const double low = static_cast<double>(-static_cast<long double>(range) / 2);
    std::vector<double> grid(static_cast<std::size_t>(points) + 1);
    for (std::size_t i = 0; i < grid.size(); ++i)
        grid[i] = static_cast<double>(step * static_cast<long double>(i) + low);
    if (range < 0)
        std::reverse(grid.begin(), grid.end());
    return grid;
}

bool Model::normalisation(double sigma, bool derivatives, Normalisation& out, const std::atomic<bool>* cancel) const
{
    Sums onGrid;
    if (!evaluator_.sum(grid_, sigma, false, onGrid, cancel))
        return false;
    const auto [low, high] = std::minmax_element(onGrid.value.begin(), onGrid.value.end());
    out.height = *high - *low;
    if (!derivatives)
        return true;
    std::vector<double> extremes{grid_[static_cast<std::size_t>(low - onGrid.value.begin())],
                                 grid_[static_cast<std::size_t>(high - onGrid.value.begin())]};
    const bool swapped = extremes[0] > extremes[1];
    if (swapped)
        std::swap(extremes[0], extremes[1]);
    Sums at;
    evaluator_.sum(extremes, sigma, true, at, nullptr);
    const std::size_t lowAt = swapped ? 1 : 0;
    const std::size_t highAt = 1 - lowAt;
    out.dSigma = at.dSigma[highAt] - at.dSigma[lowAt];
    out.dSet.resize(table_.sets);
    for (std::size_t g = 0; g < table_.sets; ++g)
        out.dSet[g] = at.dSet[highAt * table_.sets + g] - at.dSet[lowAt * table_.sets + g];
    return true;
}

} // namespace ravelle::fit
