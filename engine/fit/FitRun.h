#pragma once

#include <atomic>

#include "engine/fit/Fit.h"

namespace ravelle::fit {

// The fit itself: the passes, the scattered starts, progress and cancel.
// Throws on trouble it cannot report (no memory); runFit turns that into a
// result.
FitResult fitFrom(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress);

} // namespace ravelle::fit
