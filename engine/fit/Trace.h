#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

#include "engine/fit/Curve.h"
#include "engine/fit/Fit.h"
#include "engine/fit/Pass.h"
#include "engine/fit/Points.h"

namespace ravelle::fit {

// A spectrum of up to this many points is shown whole; a longer one by the
// lowest and the highest point of each of half as many stretches.
inline constexpr std::size_t kTracePoints = 20000;

// The indices of the points a picture shows, ascending.
std::vector<std::size_t> tracePoints(std::span<const double> data, std::size_t most = kTracePoints);

// The observed points and the curve of `pass` at `values` for a picture.
// False on a cancel or values out of range.
bool traceOf(Curve& curve, const Pass& pass, const Samples& points, const ModelValues& values,
             const std::atomic<bool>& cancel, FitTrace& trace);

} // namespace ravelle::fit
