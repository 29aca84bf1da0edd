#pragma once

#include <algorithm>
#include <cstdint>

// A one-pixel line rasteriser with exact clipping. Pixels are those of a
// Bresenham line from the start towards the end point, the end point itself
// excluded (as the platform's line primitive does, so a polyline paints each
// shared vertex once). Only the pixels inside width x height are visited, so
// a segment running millions of pixels outside costs no more than its
// visible part, and the visible part is exactly where the whole line would
// lie: clipping does not bend it.
namespace ravelle {

namespace line_raster_detail {

using Wide = __int128;

inline Wide floorDiv(Wide numerator, Wide denominator) // denominator > 0
{
    Wide quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0)
        --quotient;
    return quotient;
}

inline Wide ceilDiv(Wide numerator, Wide denominator) // denominator > 0
{
    return -floorDiv(-numerator, denominator);
}

} // namespace line_raster_detail

// Calls plot(x, y) for every pixel of the segment inside the raster, from
// the start point on. Coordinates may lie anywhere in the 32-bit range.
template <typename Plot>
void rasterLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::int32_t width,
                std::int32_t height, Plot&& plot)
{
    using line_raster_detail::ceilDiv;
    using line_raster_detail::floorDiv;
    using Wide = line_raster_detail::Wide;

    if (width <= 0 || height <= 0)
        return;
    // Wholly beside the raster: nothing to paint (the common case of a
    // trace running far outside a narrow window).
    if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 >= width && x1 >= width) || (y0 >= height && y1 >= height))
        return;
    const std::int64_t dx = x1 - x0;
    const std::int64_t dy = y1 - y0;
    const std::int64_t adx = dx < 0 ? -dx : dx;
    const std::int64_t ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx >= ady;
    const std::int64_t steps = xMajor ? adx : ady;
    if (steps == 0)
        return;

    // Step i (0 <= i < steps) lies at major m0 + majorSign * i and minor
    // k0 + minorSign * q(i) with q(i) = floor((2 i a + steps) / (2 steps)):
    // the minor coordinate rounded, an exact half away from the start.
    const std::int64_t minorDelta = xMajor ? ady : adx;
    const std::int64_t m0 = xMajor ? x0 : y0;
    const std::int64_t k0 = xMajor ? y0 : x0;
    const int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t majorLimit = xMajor ? width : height;
    const std::int64_t minorLimit = xMajor ? height : width;

    Wide first = 0;
    Wide last = steps - 1;
    if (majorSign > 0) {
        first = std::max<Wide>(first, -m0);
        last = std::min<Wide>(last, majorLimit - 1 - m0);
    } else {
        first = std::max<Wide>(first, m0 - (majorLimit - 1));
        last = std::min<Wide>(last, m0);
    }
    const Wide qLow = minorSign > 0 ? -k0 : k0 - (minorLimit - 1);
    const Wide qHigh = minorSign > 0 ? minorLimit - 1 - k0 : k0;
    const Wide twoSteps = Wide(2) * steps;
    if (minorDelta == 0) {
        if (qLow > 0 || qHigh < 0)
            return;
    } else {
        const Wide twoDelta = Wide(2) * minorDelta;
        first = std::max<Wide>(first, ceilDiv(twoSteps * qLow - steps, twoDelta));
        last = std::min<Wide>(last, ceilDiv(twoSteps * qHigh + steps, twoDelta) - 1);
    }
    if (first > last)
        return;

    // Bresenham from the first visible step on; the error term starts exact.
    const Wide startNumerator = Wide(2) * first * minorDelta + steps;
    std::int64_t q = static_cast<std::int64_t>(floorDiv(startNumerator, twoSteps));
    std::int64_t remainder = static_cast<std::int64_t>(startNumerator - Wide(q) * twoSteps);
    const std::int64_t twoStepsNarrow = 2 * steps;
    const std::int64_t twoDeltaNarrow = 2 * minorDelta;
    std::int64_t major = m0 + majorSign * static_cast<std::int64_t>(first);
    for (auto count = static_cast<std::int64_t>(last - first + 1); count > 0; --count) {
        const std::int64_t minor = k0 + minorSign * q;
        if (xMajor)
            plot(static_cast<std::int32_t>(major), static_cast<std::int32_t>(minor));
        else
            plot(static_cast<std::int32_t>(minor), static_cast<std::int32_t>(major));
        major += majorSign;
        remainder += twoDeltaNarrow;
        if (remainder >= twoStepsNarrow) {
            remainder -= twoStepsNarrow;
            ++q;
        }
    }
}

} // namespace ravelle
