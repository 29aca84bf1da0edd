#pragma once

#include <cstdint>
#include <vector>

#include "engine/HyperfineLines.h"
#include "engine/LineShape.h"

// The sum of the line shapes over a whole stick spectrum on a stretch of an
// even grid, from the spectrum's Fourier series: the stick spectrum
// transforms into one cosine factor per nucleus, the line shape into its own
// envelope, and one inverse FFT gives every grid point at once. No line is
// listed, so the cost does not grow with the number of lines.
namespace ravelle {

// The stretch of grid to fill: the points u * step for u = -W/2 ... W/2
// (W = `width`, so W + 1 points, centred on zero; half-integer u when W is odd).
struct FourierWindow {
    long double step = 0.0L;  // > 0
    std::int64_t width = 0;   // W >= 0
};

// The transform: a period of `size` grid steps (a power of two), long enough
// that no periodic image of a line reaches the stretch, and the frequencies
// k / period for k = 1 ... `frequencies`, beyond which the shape's envelope
// has vanished.
struct FourierLayout {
    bool feasible = false;
    std::int64_t size = 0;
    long double period = 0.0L;
    std::int64_t frequencies = 0;
};

FourierLayout fourierLayout(const HyperfineLines& lines, const LineShape& shape, const FourierWindow& window);

struct FourierOptions {
    bool slope = false;     // also the derivative
    bool tightBound = true; // an error bound that follows the coefficients, at some extra cost
};

// Predicted nanoseconds for fourierSum.
double fourierCost(const HyperfineLines& lines, const FourierLayout& layout, const FourierOptions& options);

struct FourierSum {
    // The raw sum at u = -W/2 + m, m = 0 ... W, for lines at their stored
    // positions.
    std::vector<double> value;
    // Its derivative with respect to the field there, when asked for.
    std::vector<double> slope;
    // Bounds on |value - exact sum| and |slope - exact derivative| at every point.
    double valueError = 0.0;
    double slopeError = 0.0;
    // A bound on |second derivative| anywhere, for the remainder of a
    // first-order shift of the points.
    double curvatureBound = 0.0;
    // With the tight bound: an upper bound on the shape's majorant summed
    // over the lines at the points; 0 when not worked out.
    double largestMajorant = 0.0;
};

FourierSum fourierSum(const HyperfineLines& lines, const LineShape& shape, const FourierWindow& window,
                      const FourierLayout& layout, const FourierOptions& options);

// The same series summed term by term at any points within `reach` of zero,
// for grids too fine for a transform over the lines' whole extent (a period
// that need not be a multiple of a grid step, one rotation per point).
FourierLayout seriesLayout(const HyperfineLines& lines, const LineShape& shape, double reach);
double seriesCost(const HyperfineLines& lines, const FourierLayout& layout, std::size_t points, bool tightBound);
// Only `value` and `valueError` are filled.
FourierSum fourierSeries(const HyperfineLines& lines, const LineShape& shape, const FourierLayout& layout,
                         const std::vector<double>& points, bool tightBound);

} // namespace ravelle
