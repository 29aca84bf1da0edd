#include "engine/model/Evaluation.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "engine/model/DirectModel.h"
#include "engine/model/FourierModel.h"
#include "engine/model/Prepared.h"

namespace ravelle::model {

namespace {

using namespace detail;

// The error bound aimed at, relative to the peak-to-peak height of F: ten
// times inside the promised 1e-9.
constexpr double kAccuracy = 1e-10;
// The first attempt guesses the height from the lines: a spectrum of many
// lines is far lower than one line of the same total weight.
constexpr double kFirstGuess = 1e-4;
// Nanoseconds beyond which a computation is not attempted.
constexpr double kMaxCost = 1e10;
// The line-by-line sum is considered only when the Fourier sum costs more.
constexpr double kDirectWorthTrying = 2e5;
constexpr std::size_t kMaxDirectLines = std::size_t{1} << 21;
// Of the derivative rows at fields off the grid, relative to their scale.
constexpr double kDerivativeAccuracy = 1e-7;
// The line shapes' own accuracy, for the bound of a line-by-line sum.
constexpr double kShapeAccuracy = 1e-13;
// The most the rows of a result and their working copies may take.
constexpr double kMaxResultBytes = 1.5e9;

void guardResultSize(std::size_t points, std::size_t quantities)
{
    if (3.0 * 8.0 * static_cast<double>(points) * static_cast<double>(1 + quantities) > kMaxResultBytes)
        throw UserError(std::string(ravelle::messages::kNoMemoryForSimulation));
}

struct Setup {
    PreparedModel model;
    std::vector<ResolvedQuantity> quantities;
    double lineScale = 0.0; // sum over components of weight x the line's peak-to-peak height
};

Setup setUp(const Model& model, std::span<const Quantity> quantities)
{
    Setup setup;
    setup.model = prepareModel(model, [&](int s, int g) { return namesGroup(quantities, s, g); });
    for (const Quantity& quantity : quantities)
        setup.quantities.push_back(resolveQuantity(setup.model, quantity));
    for (const PreparedSpecies& species : setup.model.species)
        for (const PreparedComponent& component : species.components)
            setup.lineScale += 2 * component.weight * lineSlopeBound(component.widths);
    return setup;
}

double heightOf(const std::vector<double>& values)
{
    if (values.empty())
        return 0.0;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

[[noreturn]] void refuseAsInfeasible(const FourierPlan& plan)
{
    throw UserError(std::string(plan.tooLarge ? std::string_view(ravelle::messages::kNoMemoryForSimulation) : messages::kNotFeasible));
}

// F and the derivatives at the points of an ascending grid, or at `fields`
// when the lines are summed one by one; the cheaper way.
struct Attempt {
    std::vector<std::vector<double>> rows; // F, then one row per quantity
    double errorBound = 0.0;
};

std::optional<std::vector<MergedLines>> directLines(const Setup& setup, std::size_t points, double rival)
{
    if (rival < kDirectWorthTrying)
        return std::nullopt;
    // Listing the lines is only worth it when even their largest possible
    // number would be summed faster than the rival method.
    const double bound = distinctLineBound(setup.model);
    const double perLine = 100.0 * static_cast<double>(setup.model.species.size() * (1 + setup.quantities.size()));
    if (bound > static_cast<double>(kMaxDirectLines) || bound * perLine * static_cast<double>(points) > 20 * rival)
        return std::nullopt;
    auto lines = mergeModelLines(setup.model, setup.quantities, kMaxDirectLines);
    if (lines && directCost(setup.model, *lines, points, setup.quantities.size()) < std::min(rival, kMaxCost))
        return lines;
    return std::nullopt;
}

Attempt directAttempt(const Setup& setup, const std::vector<MergedLines>& lines, std::span<const double> fields)
{
    Attempt attempt;
    attempt.rows = evaluateDirect(setup.model, lines, fields, setup.quantities);
    attempt.errorBound = kShapeAccuracy * setup.lineScale;
    return attempt;
}

Attempt gridAttempt(const Setup& setup, const AscendingGrid& grid, double tolerance)
{
    const std::size_t outputs = 1 + setup.quantities.size();
    const FourierPlan plan = planFourier(setup.model, grid, tolerance, 0, outputs);
    const double fourierCost = plan.feasible ? plan.cost : INFINITY;
    if (const auto lines = directLines(setup, static_cast<std::size_t>(grid.count), fourierCost)) {
        std::vector<double> fields(static_cast<std::size_t>(grid.count));
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i] = grid.start + static_cast<double>(i) * grid.step;
        return directAttempt(setup, *lines, fields);
    }
    if (!plan.feasible || plan.cost > kMaxCost)
        refuseAsInfeasible(plan);
    std::vector<OutputRequest> requests(outputs);
    for (std::size_t q = 1; q < outputs; ++q)
        requests[q].quantity = static_cast<int>(q - 1);
    FourierResult result = evaluateFourier(setup.model, grid, plan, setup.quantities, requests);
    return {std::move(result.outputs), result.errorBound};
}

// Runs `attempt` with a first guess of the tolerance, and once more with the
// tolerance the actual height asks for when the first bound falls short.
template <typename Run>
Attempt withTolerance(const Setup& setup, Run&& run)
{
    double tolerance = kAccuracy * kFirstGuess * setup.lineScale;
    Attempt attempt = run(tolerance);
    const double height = heightOf(attempt.rows[0]);
    if (attempt.errorBound > kAccuracy * height && height > 0.0 && tolerance > 0.5 * kAccuracy * height) {
        tolerance = 0.5 * kAccuracy * height;
        attempt = run(tolerance);
    }
    return attempt;
}

ModelValues valuesOf(Attempt&& attempt)
{
    ModelValues values;
    values.value = std::move(attempt.rows[0]);
    values.derivative.assign(std::make_move_iterator(attempt.rows.begin() + 1),
                             std::make_move_iterator(attempt.rows.end()));
    values.errorBound = attempt.errorBound;
    for (const auto& row : attempt.rows)
        for (const double v : row)
            if (!std::isfinite(v))
                throw UserError(std::string(ravelle::messages::kOverflow));
    for (const auto& row : values.derivative)
        for (const double v : row)
            if (!std::isfinite(v))
                throw UserError(std::string(ravelle::messages::kOverflow));
    return values;
}

template <typename Compute>
ModelValues guarded(Compute&& compute)
{
    try {
        return compute();
    } catch (const std::bad_alloc&) {
        throw UserError(std::string(ravelle::messages::kNoMemoryForSimulation));
    }
}

// How fields off an even grid are reached: each from its nearest node by a
// Taylor step of order `order`, the x-derivatives coming from the transform.
struct TaylorLayout {
    AscendingGrid grid;
    std::vector<std::int64_t> node;
    std::vector<double> offset;
    double farthest = 0.0; // the largest offset
    int order = 0;
    double remainder = 0.0;
};

// The bound on the error of a Taylor step of order `order` over `offset` for
// a function whose k-th derivative is at most derivativeBound(k + lift): F
// itself with lift 0, its slope with lift 1.
double taylorRemainder(const Setup& setup, int order, double offset, double period, int lift = 0)
{
    const int next = order + 1;
    return derivativeBound(setup.model, next + lift, period) * std::pow(offset, next) / std::tgamma(next + 1);
}

TaylorLayout taylorLayout(const Setup& setup, std::span<const double> fields, double tolerance)
{
    TaylorLayout layout;
    const std::size_t n = fields.size();
    const auto [lowIt, highIt] = std::minmax_element(fields.begin(), fields.end());
    const double low = *lowIt;
    const double high = *highIt;
    const double step = n > 1 ? (fields[n - 1] - fields[0]) / static_cast<double>(n - 1) : 0.0;
    bool even = step != 0.0;
    for (std::size_t i = 0; even && i < n; ++i)
        even = std::fabs(fields[i] - (fields[0] + static_cast<double>(i) * step)) <= 0.05 * std::fabs(step);
    if (even) {
        layout.grid = {std::min(fields[0], fields[n - 1]), std::fabs(step), static_cast<std::int64_t>(n)};
    } else {
        double reach = high - low;
        for (const PreparedSpecies& species : setup.model.species)
            for (const PreparedComponent& c : species.components)
                reach = std::max(reach, species.extent + c.widths.sigma + c.widths.gamma);
        const double spacing = high > low ? (high - low) / (2.0 * static_cast<double>(n - 1)) : reach / 64 + 1e-9;
        layout.grid = {low, spacing, high > low ? static_cast<std::int64_t>(2 * (n - 1) + 1) : 1};
    }
    for (int refine = 0;; ++refine) {
        const AscendingGrid& grid = layout.grid;
        layout.node.resize(n);
        layout.offset.resize(n);
        double& farthest = layout.farthest;
        farthest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double position = std::round((fields[i] - grid.start) / grid.step);
            layout.node[i] = std::clamp<std::int64_t>(static_cast<std::int64_t>(position), 0, grid.count - 1);
            layout.offset[i] = fields[i] - (grid.start + static_cast<double>(layout.node[i]) * grid.step);
            farthest = std::max(farthest, std::fabs(layout.offset[i]));
        }
        const double period = static_cast<double>(grid.count) * grid.step;
        for (layout.order = 0; layout.order <= 6; ++layout.order) {
            layout.remainder = farthest == 0.0 ? 0.0 : taylorRemainder(setup, layout.order, farthest, period);
            if (layout.remainder <= tolerance / 2)
                return layout;
        }
        if (refine == 8 || grid.count > (std::int64_t{1} << 24)) {
            layout.order = 6;
            return layout;
        }
        layout.grid = {low, grid.step / 2, 2 * (grid.count - 1) + 1};
    }
}

// The Taylor order of the derivative rows: the lowest that keeps them within
// kDerivativeAccuracy of their own scale, taking them to vary over the lines
// as F's slope does. They steer a fit's steps and give its uncertainties,
// which more accuracy would not change, and each order costs a transform
// per row.
int derivativeOrder(const Setup& setup, const TaylorLayout& layout)
{
    if (setup.quantities.empty() || layout.farthest == 0.0)
        return 0;
    const double period = static_cast<double>(layout.grid.count) * layout.grid.step;
    const double slope = derivativeBound(setup.model, 1, period);
    for (int order = 0; order < layout.order; ++order)
        if (taylorRemainder(setup, order, layout.farthest, period, 1) <= kDerivativeAccuracy * slope)
            return order;
    return layout.order;
}

Attempt fieldsAttempt(const Setup& setup, std::span<const double> fields, double tolerance)
{
    const TaylorLayout layout = taylorLayout(setup, fields, tolerance);
    const std::size_t outputs = 1 + setup.quantities.size();
    const auto orders = static_cast<std::size_t>(layout.order) + 1;
    const auto rowOrders = static_cast<std::size_t>(derivativeOrder(setup, layout)) + 1;
    // F to every order, the derivative rows to theirs; rows[q][j] is the
    // request of row q's j-th x-derivative.
    std::vector<OutputRequest> requests;
    std::vector<std::vector<std::size_t>> rows(outputs);
    for (std::size_t q = 0; q < outputs; ++q)
        for (std::size_t j = 0; j < (q == 0 ? orders : rowOrders); ++j) {
            rows[q].push_back(requests.size());
            requests.push_back(OutputRequest{static_cast<int>(q) - 1, static_cast<int>(j)});
        }
    const FourierPlan plan = planFourier(setup.model, layout.grid, tolerance / 2, layout.order, requests.size());
    const double fourierCost = plan.feasible ? plan.cost : INFINITY;
    if (const auto lines = directLines(setup, fields.size(), fourierCost))
        return directAttempt(setup, *lines, fields);
    if (!plan.feasible || plan.cost > kMaxCost)
        refuseAsInfeasible(plan);
    const FourierResult result = evaluateFourier(setup.model, layout.grid, plan, setup.quantities, requests);
    Attempt attempt;
    attempt.rows.assign(outputs, std::vector<double>(fields.size(), 0.0));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto node = static_cast<std::size_t>(layout.node[i]);
        for (std::size_t q = 0; q < outputs; ++q) {
            double sum = 0.0;
            double power = 1.0;
            for (std::size_t j = 0; j < rows[q].size(); ++j) {
                sum += result.outputs[rows[q][j]][node] * power;
                power *= layout.offset[i] / static_cast<double>(j + 1);
            }
            attempt.rows[q][i] = sum;
        }
    }
    attempt.errorBound = 2 * result.errorBound + layout.remainder;
    return attempt;
}

} // namespace

ModelValues evaluateModel(const Model& model, const UniformGrid& grid, std::span<const Quantity> quantities)
{
    if (grid.count < 0)
        throw std::invalid_argument("negative point count");
    if (!std::isfinite(grid.start) || !std::isfinite(grid.step))
        throw UserError(std::string(ravelle::messages::kInvalidOperation));
    guardResultSize(static_cast<std::size_t>(grid.count), quantities.size());
    if (grid.step == 0.0 || grid.count <= 1) {
        const std::vector<double> fields(static_cast<std::size_t>(grid.count), grid.start);
        return evaluateModelAt(model, fields, quantities);
    }
    return guarded([&] {
        const Setup setup = setUp(model, quantities);
        const bool descending = grid.step < 0.0;
        const double last = grid.start + static_cast<double>(grid.count - 1) * grid.step;
        const AscendingGrid ascending{descending ? last : grid.start, std::fabs(grid.step), grid.count};
        if (!std::isfinite(last))
            throw UserError(std::string(ravelle::messages::kOverflow));
        Attempt attempt = withTolerance(setup, [&](double tolerance) { return gridAttempt(setup, ascending, tolerance); });
        if (descending)
            for (auto& row : attempt.rows)
                std::reverse(row.begin(), row.end());
        return valuesOf(std::move(attempt));
    });
}

ModelValues evaluateModelAt(const Model& model, std::span<const double> fields, std::span<const Quantity> quantities)
{
    guardResultSize(fields.size(), quantities.size());
    for (const double x : fields)
        if (!std::isfinite(x))
            throw UserError(std::string(ravelle::messages::kInvalidOperation));
    return guarded([&] {
        const Setup setup = setUp(model, quantities);
        if (fields.empty())
            return valuesOf(Attempt{std::vector<std::vector<double>>(1 + quantities.size()), 0.0});
        return valuesOf(withTolerance(setup, [&](double tolerance) { return fieldsAttempt(setup, fields, tolerance); }));
    });
}

PeakToPeak peakToPeak(const ModelValues& values)
{
    PeakToPeak result;
    if (values.value.empty())
        return result;
    for (std::size_t i = 0; i < values.value.size(); ++i) {
        if (values.value[i] > values.value[result.highIndex])
            result.highIndex = i;
        if (values.value[i] < values.value[result.lowIndex])
            result.lowIndex = i;
    }
    result.high = values.value[result.highIndex];
    result.low = values.value[result.lowIndex];
    for (const auto& row : values.derivative) {
        result.highDerivative.push_back(row[result.highIndex]);
        result.lowDerivative.push_back(row[result.lowIndex]);
    }
    return result;
}

} // namespace ravelle::model
