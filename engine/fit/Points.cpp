#include "engine/fit/Points.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace ravelle::fit {

namespace {

// Long loops hear their tick this often, a few milliseconds apart.
constexpr std::size_t kTickPoints = 1 << 16;

using Keyed = std::vector<std::pair<double, std::size_t>>;

bool byField(const std::pair<double, std::size_t>& a, const std::pair<double, std::size_t>& b)
{
    return a.first < b.first;
}

// Sorts (field, index) pairs by field, equal fields in their given order: a
// merge sort of blocks, so that no step runs long without a tick.
bool stableSortByField(Keyed& keyed, const WorkTick& tick)
{
    const std::size_t n = keyed.size();
    // Each merge level is one more share of the work.
    double levels = 1;
    for (std::size_t width = kTickPoints; width < n; width *= 2)
        ++levels;
    for (std::size_t begin = 0; begin < n; begin += kTickPoints) {
        const auto first = keyed.begin() + static_cast<std::ptrdiff_t>(begin);
        std::stable_sort(first, first + static_cast<std::ptrdiff_t>(std::min(kTickPoints, n - begin)), byField);
        if (!tick(static_cast<double>(begin) / static_cast<double>(n) / levels))
            return false;
    }
    Keyed spare(n);
    double level = 1;
    for (std::size_t width = kTickPoints; width < n; width *= 2, ++level) {
        for (std::size_t begin = 0; begin < n; begin += 2 * width) {
            const auto at = [&](std::size_t i) { return keyed.begin() + static_cast<std::ptrdiff_t>(std::min(i, n)); };
            std::merge(at(begin), at(begin + width), at(begin + width), at(begin + 2 * width),
                       spare.begin() + static_cast<std::ptrdiff_t>(begin), byField);
            if (!tick((level + static_cast<double>(begin) / static_cast<double>(n)) / levels))
                return false;
        }
        keyed.swap(spare);
    }
    return true;
}

} // namespace

Samples::Samples(std::vector<double> field, std::vector<double> data, std::vector<double> weight)
    : ownField_(std::move(field)), ownData_(std::move(data)), ownWeight_(std::move(weight)), field_(ownField_),
      data_(ownData_)
{
}

Samples Samples::viewOf(const std::vector<double>& field, const std::vector<double>& data)
{
    Samples view;
    view.field_ = field;
    view.data_ = data;
    return view;
}

std::vector<std::size_t> ascendingOrder(const std::vector<double>& field)
{
    std::vector<std::size_t> order(field.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return field[a] < field[b]; });
    return order;
}

std::optional<Samples> sortedPoints(const FitProblem& problem, const WorkTick& tick)
{
    if (std::is_sorted(problem.field.begin(), problem.field.end()))
        return Samples::viewOf(problem.field, problem.intensity);
    const std::size_t n = problem.field.size();
    Keyed keyed(n);
    for (std::size_t i = 0; i < n; ++i)
        keyed[i] = {problem.field[i], i};
    if (!stableSortByField(keyed, tick))
        return std::nullopt;
    std::vector<double> field(n);
    std::vector<double> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        field[i] = keyed[i].first;
        data[i] = problem.intensity[keyed[i].second];
        if (i % kTickPoints == 0 && !tick(1.0))
            return std::nullopt;
    }
    return Samples(std::move(field), std::move(data));
}

double medianSpacing(std::span<const double> field, std::size_t most)
{
    const std::size_t gaps = field.empty() ? 0 : field.size() - 1;
    const std::size_t stride = gaps > most ? (gaps + most - 1) / most : 1;
    std::vector<double> spacing;
    for (std::size_t i = 1; i < field.size(); i += stride)
        if (field[i] > field[i - 1])
            spacing.push_back(field[i] - field[i - 1]);
    if (spacing.empty())
        return 0.0;
    std::nth_element(spacing.begin(), spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2), spacing.end());
    return spacing[spacing.size() / 2];
}

Samples smooth(const Samples& points, double width, std::size_t stride)
{
    const std::span<const double> field = points.field();
    const std::span<const double> data = points.data();
    const std::span<const double> weight = points.weight();
    const std::size_t n = field.size();
    std::vector<double> smoothedField;
    std::vector<double> smoothedData;
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; i += stride) {
        const double f = field[i];
        while (field[low] < f - 4 * width)
            ++low;
        while (high < n && field[high] <= f + 4 * width)
            ++high;
        double total = 0.0;
        double weights = 0.0;
        for (std::size_t j = low; j < high; ++j) {
            const double t = (field[j] - f) / width;
            double w = std::exp(-0.5 * t * t);
            if (!weight.empty())
                w *= weight[j] * weight[j];
            total += w * data[j];
            weights += w;
        }
        smoothedField.push_back(f);
        smoothedData.push_back(total / weights);
    }
    return Samples(std::move(smoothedField), std::move(smoothedData));
}

std::optional<Samples> averaged(const Samples& points, std::size_t size, const WorkTick& tick)
{
    const std::span<const double> field = points.field();
    const std::span<const double> data = points.data();
    const std::size_t n = field.size();
    const std::size_t count = (n + size - 1) / size;
    std::vector<double> meanField(count);
    std::vector<double> meanData(count);
    std::vector<double> weight(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t begin = k * size;
        const std::size_t end = std::min(n, begin + size);
        double fieldSum = 0.0;
        double dataSum = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            fieldSum += field[i];
            dataSum += data[i];
        }
        const auto members = static_cast<double>(end - begin);
        meanField[k] = fieldSum / members;
        meanData[k] = dataSum / members;
        weight[k] = std::sqrt(members);
        if (begin / kTickPoints != end / kTickPoints && !tick(static_cast<double>(end) / static_cast<double>(n)))
            return std::nullopt;
    }
    return Samples(std::move(meanField), std::move(meanData), std::move(weight));
}

} // namespace ravelle::fit
