#include "engine/fit/Fit.h"

#include <cmath>
#include <exception>
#include <new>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/fit/Curve.h"
#include "engine/fit/FitRun.h"
#include "engine/fit/Layout.h"
#include "engine/fit/Points.h"

namespace ravelle {

using namespace fit;

FitResult runFit(const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback& progress)
{
    FitResult failed;
    try {
        return fitFrom(problem, cancel, progress);
    } catch (const std::bad_alloc&) {
        failed.message = messages::kFitNoMemory;
    } catch (const UserError& error) {
        failed.message = error.message();
    } catch (const std::exception& error) {
        failed.message = messages::fitFailed(error.what());
    } catch (...) {
        failed.message = messages::kFitFailedUnexpectedly;
    }
    failed.outcome = FitOutcome::Failed;
    failed.values = startingValues(problem);
    return failed;
}

std::vector<double> displayedCurve(const FitProblem& problem, const std::vector<double>& fields)
{
    FitProblem fixed;
    fixed.displayRange = problem.displayRange;
    fixed.points = problem.points;
    fixed.model = problem.model;
    fixed.parameters = problem.parameters;
    for (FitParameter& parameter : fixed.parameters)
        parameter.vary = false;
    const Layout layout = layoutOf(fixed);
    const auto curve = makeCurve(fixed, layout);
    ModelValues values;
    values.centre = valueOf(fixed, layout.centre, 0.0);
    values.offset = valueOf(fixed, layout.offset, 0.0);
    values.slope = valueOf(fixed, layout.slope, 0.0);
    Normalisation norm;
    if (!curve->prepare(values, 0.0, {}) || !curve->normalisation(false, norm, nullptr))
        throw UserError(curve->refusal());
    const double amplitude = 2 * valueOf(fixed, layout.scale, 1.0) / norm.height;

    const std::vector<std::size_t> order = ascendingOrder(fields);
    std::vector<double> offsets;
    for (const std::size_t i : order)
        offsets.push_back(fields[i] - values.centre);
    Sums sums;
    if (!curve->sums(offsets, false, sums, nullptr))
        throw UserError(curve->refusal());
    std::vector<double> curveValues(fields.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        curveValues[order[k]] = amplitude * sums.value[k] + values.offset + values.slope * offsets[k];
    return curveValues;
}

} // namespace ravelle
