#include "engine/fit/Fit.h"

#include <cmath>
#include <exception>
#include <new>

#include "engine/Messages.h"
#include "engine/fit/FitRun.h"
#include "engine/fit/Layout.h"
#include "engine/fit/LineTable.h"
#include "engine/fit/Model.h"
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
    FitProblem fixed = problem;
    for (FitParameter& parameter : fixed.parameters)
        parameter.vary = false;
    const Layout layout = layoutOf(fixed);
    Model model(fixed, buildLineTable(fixedLines(layout.fixed), {}));
    model.place({});
    const double sigma = std::abs(valueOf(fixed, layout.sigma, 0.1));
    Normalisation norm;
    model.normalisation(sigma, false, norm, nullptr);
    const double amplitude = 2 * valueOf(fixed, layout.scale, 1.0) / norm.height;
    const double centre = valueOf(fixed, layout.centre, 0.0);

    const std::vector<std::size_t> order = ascendingOrder(fields);
    std::vector<double> offsets;
    for (const std::size_t i : order)
        offsets.push_back(fields[i] - centre);
    Sums sums;
    model.sums(offsets, sigma, false, sums, nullptr);
    std::vector<double> curve(fields.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        curve[order[k]] = amplitude * sums.value[k];
    return curve;
}

} // namespace ravelle
