#include "engine/fit/Curve.h"

#include <algorithm>

#include "engine/fit/GeneralCurve.h"
#include "engine/fit/LineCurve.h"

namespace ravelle::fit {

std::size_t Columns::count() const
{
    return static_cast<std::size_t>(std::count(set.begin(), set.end(), true) +
                                    std::count(quantity.begin(), quantity.end(), true));
}

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

std::unique_ptr<Curve> makeCurve(const FitProblem& problem, const Layout& layout, double mostLines)
{
    if (summedLineByLine(layout))
        if (auto table = lineTableOf(layout, mostLines))
            return std::make_unique<LineCurve>(problem, layout, std::move(*table));
    return std::make_unique<GeneralCurve>(problem, layout);
}

} // namespace ravelle::fit
