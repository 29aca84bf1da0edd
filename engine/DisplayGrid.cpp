#include "engine/DisplayGrid.h"

#include "engine/FloatingPoint.h"

namespace ravelle {

DisplayGrid displayGrid(double range, std::int32_t points)
{
    if (points == 0)
        failDivisionByZero(range);
    DisplayGrid grid;
    grid.step = static_cast<long double>(range) / points;
    grid.low = static_cast<double>(-static_cast<long double>(range) / 2);
    grid.high = static_cast<double>(static_cast<long double>(range) / 2);
    const auto count = static_cast<std::size_t>(points) + 1;
    grid.field.reserve(count + 9);
    grid.field.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        grid.field[i] = static_cast<double>(grid.step * static_cast<long double>(i) + grid.low);
    return grid;
}

} // namespace ravelle
