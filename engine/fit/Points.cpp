#include "engine/fit/Points.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace ravelle::fit {

std::vector<std::size_t> ascendingOrder(const std::vector<double>& field)
{
    std::vector<std::size_t> order(field.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return field[a] < field[b]; });
    return order;
}

Points sortedPoints(const FitProblem& problem)
{
    Points points;
    for (const std::size_t i : ascendingOrder(problem.field)) {
        points.field.push_back(problem.field[i]);
        points.data.push_back(problem.intensity[i]);
    }
    return points;
}

double medianSpacing(const std::vector<double>& field)
{
    std::vector<double> spacing;
    for (std::size_t i = 1; i < field.size(); ++i)
        if (field[i] > field[i - 1])
            spacing.push_back(field[i] - field[i - 1]);
    if (spacing.empty())
        return 0.0;
    std::nth_element(spacing.begin(), spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2), spacing.end());
    return spacing[spacing.size() / 2];
}

void smooth(const Points& points, double width, std::size_t stride, Pass& pass)
{
    const std::size_t n = points.field.size();
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; i += stride) {
        const double f = points.field[i];
        while (points.field[low] < f - 4 * width)
            ++low;
        while (high < n && points.field[high] <= f + 4 * width)
            ++high;
        double total = 0.0;
        double weights = 0.0;
        for (std::size_t j = low; j < high; ++j) {
            const double t = (points.field[j] - f) / width;
            const double w = std::exp(-0.5 * t * t);
            total += w * points.data[j];
            weights += w;
        }
        pass.field.push_back(f);
        pass.data.push_back(total / weights);
    }
}

} // namespace ravelle::fit
