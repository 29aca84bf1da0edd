#include "engine/FastSynthesis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/DisplayGrid.h"
#include "engine/FloatingPoint.h"
#include "engine/FourierSum.h"
#include "engine/HyperfineLines.h"
#include "engine/Messages.h"
#include "engine/SummationCosts.h"
#include "engine/TailSigns.h"

namespace ravelle {

namespace {

// A result is taken when its error bound is below this share of its range.
constexpr double kAccuracyGoal = 2.5e-13;
// The most distinct positions a merged sum holds: 16 bytes each, and up to
// five times that while a stage is merged.
constexpr std::size_t kMergedLimit = std::size_t{1} << 18;

// The grid and what every method shares.
struct Problem {
    explicit Problem(const SynthesisInput& input)
        : lines(input.couplingH, input.couplingN), shape(input.sigma), points(input.points)
    {
    }

    HyperfineLines lines;
    LineShape shape;
    std::int32_t points = 0; // N
    DisplayGrid grid;
    double cutoff = 0.0;     // the shape's exact reach
    // Points first .. last (first + last = N) may have a nonzero term; the
    // others are exactly 0.
    std::int32_t first = 0;
    std::int32_t last = -1;
};

// The raw sums at every point with what is known of their accuracy.
struct RawSum {
    std::vector<double> value;
    double error = 0.0;         // |value - exact sum of the stored terms|
    double literalError = 0.0;  // |literal double sum - exact sum|
    bool allTermsZero = false;  // every term is known to be exactly 0
    bool exactlyLiteral = false; // the literal method's own sums, bit for bit
    bool storedTerms = false;   // sums of the literal method's own terms
    // The points whose sign the error bound leaves open, where their own
    // bounds tell them apart; otherwise those within `error` of 0.
    std::optional<std::vector<std::size_t>> doubtful;
    // The lines the sums were formed from, every line within [low, high].
    std::optional<MergedLines> lines;
    double linesLow = 0.0;
    double linesHigh = 0.0;
};

double range(const std::vector<double>& values)
{
    const RawExtremes extremes = rawExtremes(values);
    return extremes.high - extremes.low;
}

// Whether the literal method's sum cannot be flat: its range exceeds what
// both roundings together could close.
bool beyondRounding(const RawSum& sum, double spread)
{
    return spread > 4.0 * (sum.error + sum.literalError);
}

bool certainlyNotFlat(const RawSum& sum)
{
    return beyondRounding(sum, range(sum.value));
}

bool accurate(const RawSum& sum)
{
    const double spread = range(sum.value);
    return sum.error <= kAccuracyGoal * spread && beyondRounding(sum, spread);
}

// How far the literal method's double sum, term after term, can be from the
// exact sum of its terms, with at most `terms` nonzero terms whose magnitudes
// add up to `magnitude`: every rounding in one direction up to a hundred
// terms, ten times the random walk of independent roundings beyond (the
// worst case of millions of roundings all alike would keep any sum that
// nearly cancels from being told apart from a flat one).
double literalRounding(double terms, double magnitude)
{
    return std::min(terms, 10.0 * std::sqrt(terms)) * 1.2e-16 * magnitude;
}

// A bound on the sum of |term| over all lines at any point: each line at its
// largest, or what the shape's majorant allows.
double termMagnitudes(const Problem& problem, double largestMajorant)
{
    const double all = problem.lines.lineCount() * problem.shape.largestTerm();
    if (largestMajorant > 0)
        return std::min(all, problem.shape.termBoundFromMajorant(largestMajorant));
    return all;
}

// Lines merged by position; each point sums the lines within `reach`.
// In `exact` mode the terms are the literal's own stored doubles and the
// reach is the exact cut-off, so a term left out is exactly zero.
std::optional<RawSum> mergedSum(const Problem& problem, bool exact, std::size_t limit)
{
    const LineShape& shape = problem.shape;
    const std::vector<double>& field = problem.grid.field;
    const double reach =
        exact ? problem.cutoff : std::min(problem.cutoff, shape.reach(LineShape::kWindowFraction));
    const double lowPoint = std::min(field[problem.first], field[problem.last]);
    const double highPoint = std::max(field[problem.first], field[problem.last]);
    RawSum sum;
    sum.linesLow = lowPoint - reach;
    sum.linesHigh = highPoint + reach;
    sum.lines = mergeLines(problem.lines, sum.linesLow, sum.linesHigh, limit);
    if (!sum.lines)
        return std::nullopt;
    const std::vector<double>& position = sum.lines->position;
    const std::vector<double>& weight = sum.lines->weight;
    const std::size_t lineCount = position.size();

    std::vector<double> scaledWeight;
    WindowScratch scratch;
    if (!exact) {
        const double scale = shape.windowScale();
        scaledWeight.resize(lineCount);
        for (std::size_t j = 0; j < lineCount; ++j)
            scaledWeight[j] = scale * weight[j];
        scratch.reserve(lineCount);
    }

    sum.value.assign(field.size(), 0.0);
    if (!exact)
        sum.doubtful.emplace();
    const double lines = problem.lines.lineCount();
    const double tail = exact ? 0.0 : lines * shape.tailBound(reach);
    double worstError = 0.0;
    double worstMagnitude = 0.0;
    bool anyNonzero = false;
    // Points in ascending field, so that the lines in reach only move up.
    const bool ascending = problem.grid.step > 0;
    std::size_t begin = 0, end = 0;
    for (std::int32_t n = problem.first; n <= problem.last; ++n) {
        const auto i = static_cast<std::size_t>(ascending ? n : problem.first + problem.last - n);
        const double x = field[i];
        while (begin < lineCount && position[begin] < x - reach)
            ++begin;
        end = std::max(end, begin);
        while (end < lineCount && position[end] <= x + reach)
            ++end;
        const std::size_t count = end - begin;
        const WindowSum window =
            exact ? shape.storedTermSum(x, position.data() + begin, weight.data() + begin, count)
                  : shape.windowSum(x, position.data() + begin, scaledWeight.data() + begin, count, scratch);
        anyNonzero = anyNonzero || window.magnitude != 0.0;
        sum.value[i] = static_cast<double>(window.value);
        if (!exact && std::fabs(sum.value[i]) <= window.error + tail)
            sum.doubtful->push_back(i);
        worstError = std::max(worstError, window.error);
        worstMagnitude = std::max(worstMagnitude, window.magnitude);
    }
    sum.error = worstError + tail;
    sum.literalError = literalRounding(lines, worstMagnitude + tail);
    sum.allTermsZero = exact && !anyNonzero;
    sum.storedTerms = exact;
    return sum;
}

// Every line in list order at every point, summed exactly as the literal
// method does; whole branches of the list that stay beyond the cut-off are
// skipped, since their terms are exactly 0 and adding 0 changes no sum.
RawSum listOrderSum(const Problem& problem)
{
    const LineShape& shape = problem.shape;
    const std::vector<double>& field = problem.grid.field;
    const double reach = problem.cutoff;
    RawSum sum;
    sum.exactlyLiteral = true;
    sum.value.assign(field.size(), 0.0);
    // A point whose field is below 2^-66 of every line's |position| gets the
    // same extended difference x - x0 = -x0 from each line as the last point
    // summed, if that one did too: the same terms, the same sum.
    double summedAt = INFINITY;
    double absorbedBelow = 0.0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const double x = field[i];
        if (i > 0 && std::max(std::fabs(x), std::fabs(summedAt)) < absorbedBelow) {
            sum.value[i] = sum.value[i - 1];
            continue;
        }
        double total = 0.0;
        double nearest = INFINITY;
        visitLinesWithin(problem.lines, x - reach, x + reach, [&](double line) {
            nearest = std::min(nearest, std::fabs(line));
            const double term = static_cast<double>(shape.term(x, line));
            if (!std::isfinite(term))
                failWith(messages::kOverflow);
            total = static_cast<double>(static_cast<long double>(term) + total);
            if (!std::isfinite(total))
                failWith(messages::kOverflow);
        });
        sum.value[i] = total;
        summedAt = x;
        // Without a line in reach nothing is known of the next point's lines.
        absorbedBelow = std::isfinite(nearest) ? std::ldexp(nearest, -66) : 0.0;
    }
    return sum;
}

FourierWindow fourierWindow(const Problem& problem)
{
    return {std::fabs(problem.grid.step), static_cast<std::int64_t>(problem.last - problem.first)};
}

// The Fourier sum on the points that can be nonzero, moved from the even
// grid to the literal's rounded grid points by a first-order correction.
RawSum fourierRawSum(const Problem& problem, const FourierLayout& layout, bool tightBound)
{
    const FourierWindow window = fourierWindow(problem);
    const std::vector<double>& field = problem.grid.field;
    const long double step = problem.grid.step;
    const auto n = static_cast<long double>(problem.points);
    // The even grid the transform samples: (i - N/2) * step.
    std::vector<long double> shift(static_cast<std::size_t>(problem.last - problem.first + 1));
    bool shifted = false;
    for (std::int32_t i = problem.first; i <= problem.last; ++i) {
        const long double ideal = (2 * static_cast<long double>(i) - n) * step / 2;
        const long double offset = field[static_cast<std::size_t>(i)] - ideal;
        shift[static_cast<std::size_t>(i - problem.first)] = offset;
        shifted = shifted || offset != 0.0L;
    }
    const FourierSum fourier = fourierSum(problem.lines, problem.shape, window, layout, {shifted, tightBound});

    RawSum sum;
    sum.value.assign(field.size(), 0.0);
    double worstShift = 0.0;
    for (std::int32_t i = problem.first; i <= problem.last; ++i) {
        // The transform runs upwards in field; a negative step runs the grid down.
        const auto m = static_cast<std::size_t>(step > 0 ? i - problem.first : problem.last - i);
        const long double offset = shift[static_cast<std::size_t>(i - problem.first)];
        long double value = fourier.value[m];
        if (shifted)
            value += offset * fourier.slope[m];
        sum.value[static_cast<std::size_t>(i)] = static_cast<double>(value);
        worstShift = std::max(worstShift, static_cast<double>(std::fabs(offset)));
    }
    sum.error = fourier.valueError + worstShift * fourier.slopeError
                + 0.5 * worstShift * worstShift * fourier.curvatureBound;
    sum.literalError =
        literalRounding(problem.lines.lineCount(), termMagnitudes(problem, fourier.largestMajorant));
    return sum;
}

// The Fourier series summed at each point that can be nonzero.
RawSum seriesRawSum(const Problem& problem, const FourierLayout& layout, bool tightBound)
{
    const std::vector<double>& field = problem.grid.field;
    const std::vector<double> points(field.begin() + problem.first, field.begin() + problem.last + 1);
    const FourierSum series = fourierSeries(problem.lines, problem.shape, layout, points, tightBound);
    RawSum sum;
    sum.value.assign(field.size(), 0.0);
    std::copy(series.value.begin(), series.value.end(), sum.value.begin() + problem.first);
    sum.error = series.valueError;
    sum.literalError = literalRounding(problem.lines.lineCount(), termMagnitudes(problem, series.largestMajorant));
    return sum;
}

// How the Fourier series is summed: by one transform on a grid-aligned
// period, or term by term at each point.
struct SeriesPlan {
    bool transform = true;
    FourierLayout layout;
    double cost = INFINITY;

    RawSum run(const Problem& problem, bool tightBound) const
    {
        return transform ? fourierRawSum(problem, layout, tightBound) : seriesRawSum(problem, layout, tightBound);
    }
};

// The most points a term-by-term series keeps a rotation for (1 KiB each).
constexpr std::size_t kSeriesPointLimit = 8192;

SeriesPlan seriesPlan(const Problem& problem, SummationMethod requested)
{
    SeriesPlan plan;
    plan.layout = fourierLayout(problem.lines, problem.shape, fourierWindow(problem));
    plan.cost = fourierCost(problem.lines, plan.layout, {true, true});
    const auto points = static_cast<std::size_t>(problem.last - problem.first + 1);
    if (requested == SummationMethod::Fourier || points > kSeriesPointLimit)
        return plan;
    const std::vector<double>& field = problem.grid.field;
    const double reach = std::max(std::fabs(field[problem.first]), std::fabs(field[problem.last]));
    const FourierLayout layout = seriesLayout(problem.lines, problem.shape, reach);
    const double cost = seriesCost(problem.lines, layout, points, true);
    if (requested == SummationMethod::FourierSeries || cost < plan.cost)
        plan = {false, layout, cost};
    return plan;
}

// Where a sum is too small for its error bound to vouch for its sign, the
// nearest lines decide it again with the literal method's own terms.
void settleTails(const Problem& problem, RawSum& sum)
{
    if (sum.exactlyLiteral || sum.storedTerms)
        return;
    KnownLines known;
    if (sum.lines)
        known = {&*sum.lines, sum.linesLow, sum.linesHigh};
    if (!sum.doubtful) {
        sum.doubtful.emplace();
        for (auto i = static_cast<std::size_t>(problem.first); i <= static_cast<std::size_t>(problem.last); ++i)
            if (std::fabs(sum.value[i]) <= sum.error)
                sum.doubtful->push_back(i);
    }
    settleTailSigns(problem.lines, problem.shape, problem.cutoff, problem.grid.field, std::move(*sum.doubtful), known,
                    sum.value);
}

// Range and normalisation with the literal method's arithmetic: a flat sum
// fails at the first point with 0 / 0 or x / 0.
SimulatedSpectrum finish(Problem& problem, RawSum&& sum)
{
    SimulatedSpectrum spectrum;
    spectrum.points = problem.points;
    spectrum.frameFieldLow = problem.grid.low;
    spectrum.frameFieldHigh = problem.grid.high;
    const RawExtremes extremes = rawExtremes(sum.value);
    const long double span = static_cast<long double>(extremes.high) - extremes.low;
    if (span == 0.0L)
        failDivisionByZero(sum.value[0]);
    spectrum.rawLow = extremes.low;
    spectrum.rawHigh = extremes.high;
    spectrum.intensity = std::move(sum.value);
    for (double& value : spectrum.intensity)
        value = static_cast<double>(2 * static_cast<long double>(value) / span);
    spectrum.field = std::move(problem.grid.field);
    return spectrum;
}

// Predicted nanoseconds of a merged sum and the number of distinct positions
// it would hold.
struct MergedEstimate {
    double positions = 1.0;
    double cost = 0.0;
};

MergedEstimate mergedEstimate(const Problem& problem)
{
    MergedEstimate estimate;
    estimate.positions = problem.lines.distinctPositions();
    const double points = problem.last - problem.first + 1;
    const double nearPoints =
        2.0 * problem.shape.reach(LineShape::kWindowFraction) / std::fabs(static_cast<double>(problem.grid.step)) + 1.0;
    const double terms = estimate.positions * std::min(points, nearPoints);
    estimate.cost = costs::kMergedSetUp + costs::kMergedPerPosition * estimate.positions
                    + costs::kMergedPerTerm * terms + costs::kMergedPerPoint * points;
    return estimate;
}

std::optional<FastSpectrum> synthesize(const SynthesisInput& input, SummationMethod requested)
{
    // The literal method's failures before any sum, in its order: what it
    // refuses, a stored line beyond the double range, 0 points, sigma 0.
    refuseUnusableInput(input);
    Problem problem(input);
    if (problem.lines.overflows())
        failWith(messages::kOverflow);
    problem.grid = displayGrid(input.displayRange, input.points);
    const std::vector<double>& field = problem.grid.field;
    const LineShape& shape = problem.shape;
    if (shape.width() == 0.0) {
        // The first term divides -d^2/2 by 0: 0 / 0 when the first point
        // lies on the first line.
        failDivisionByZero(static_cast<long double>(field[0]) - problem.lines.firstLine());
    }

    // Sums at a steep enough sigma may overflow partway, depending on the
    // order of the terms: only the literal order can tell.
    const double lineCount = problem.lines.lineCount();
    const bool mayOverflow =
        std::log(lineCount) + shape.logLargestTerm() + std::log(4.0) >= std::log(std::numeric_limits<double>::max());

    problem.cutoff = shape.exactReach();
    // Only points this close to zero can have a line within the cut-off.
    const double reach = problem.lines.extent() + problem.cutoff;
    std::int32_t firstNear = -1, lastNear = -1;
    for (std::int32_t i = 0; i <= problem.points; ++i) {
        if (std::fabs(field[static_cast<std::size_t>(i)]) <= reach) {
            if (firstNear < 0)
                firstNear = i;
            lastNear = i;
        }
    }
    if (problem.cutoff == 0.0 || firstNear < 0)
        failWith(messages::kInvalidOperation); // every term is 0: a flat sum of zeros
    problem.first = std::min(firstNear, problem.points - lastNear);
    problem.last = problem.points - problem.first;

    const auto done = [&](RawSum&& sum, SummationMethod method) {
        settleTails(problem, sum);
        return FastSpectrum{finish(problem, std::move(sum)), method};
    };
    const auto careful = [&]() -> FastSpectrum {
        // Terms exactly as the literal stores them: a zero is a true zero.
        if (auto exact = mergedSum(problem, true, kMergedLimit)) {
            if (exact->allTermsZero)
                failWith(messages::kInvalidOperation);
            if (accurate(*exact))
                return done(std::move(*exact), SummationMethod::MergedLines);
        }
        return done(listOrderSum(problem), SummationMethod::ListOrder);
    };

    if (mayOverflow || requested == SummationMethod::ListOrder)
        return done(listOrderSum(problem), SummationMethod::ListOrder);

    const SeriesPlan series = seriesPlan(problem, requested);
    const FourierLayout& layout = series.layout;
    const SummationMethod seriesMethod = series.transform ? SummationMethod::Fourier : SummationMethod::FourierSeries;
    if (requested == SummationMethod::Fourier || requested == SummationMethod::FourierSeries) {
        if (!layout.feasible)
            return std::nullopt;
        return done(series.run(problem, true), seriesMethod);
    }
    if (requested == SummationMethod::MergedLines) {
        auto merged = mergedSum(problem, false, kMergedLimit);
        if (!merged)
            return std::nullopt;
        return done(std::move(*merged), SummationMethod::MergedLines);
    }

    const MergedEstimate mergedGuess = mergedEstimate(problem);
    const double fourierPrice = series.cost;
    // The Fourier sum's bound is mostly the rounding of the stored positions,
    // about 2 drift / width of the range where the lines crowd most.
    const bool fourierLikelyAccurate = 2.0 * problem.lines.roundingDrift() / shape.width() <= kAccuracyGoal;
    const double carefulBudget = std::max(4.0 * fourierPrice, costs::kCarefulBudget);
    const auto mergedWithin = [&](double budget) -> std::optional<RawSum> {
        // Give up once the distinct positions alone would cost more than the budget.
        const double perPosition = mergedGuess.cost / mergedGuess.positions;
        const double affordable = std::min(static_cast<double>(kMergedLimit), budget / perPosition);
        return mergedSum(problem, false, static_cast<std::size_t>(std::max(affordable, 64.0)));
    };

    bool mergedTried = false;
    const bool mergedCheaper = mergedGuess.cost <= fourierPrice;
    if (mergedCheaper || !layout.feasible || (!fourierLikelyAccurate && mergedGuess.cost <= carefulBudget)) {
        mergedTried = true;
        const double budget = !layout.feasible ? INFINITY
                              : mergedCheaper  ? 2.0 * std::max(mergedGuess.cost, fourierPrice)
                                               : 2.0 * carefulBudget;
        if (auto merged = mergedWithin(budget)) {
            if (accurate(*merged))
                return done(std::move(*merged), SummationMethod::MergedLines);
            return careful();
        }
        if (!layout.feasible)
            return careful();
    }
    // The tight bound only matters when a merged sum could replace the result.
    const bool tightBound = !mergedTried && mergedGuess.cost <= carefulBudget;
    RawSum fourier = series.run(problem, tightBound);
    if (!certainlyNotFlat(fourier) && !tightBound)
        fourier = series.run(problem, true);
    if (!certainlyNotFlat(fourier))
        return careful();
    if (!accurate(fourier) && !mergedTried && mergedGuess.cost <= carefulBudget) {
        if (auto merged = mergedWithin(2.0 * carefulBudget); merged && accurate(*merged))
            return done(std::move(*merged), SummationMethod::MergedLines);
    }
    // Short of the goal only by its rigorous bound, which supposes every
    // stored position rounded the same way; the literal method's own
    // rounding over this many lines is larger.
    return done(std::move(fourier), seriesMethod);
}

} // namespace

std::optional<FastSpectrum> synthesizeFastWith(const SynthesisInput& input, SummationMethod method)
{
    const StatusFlagsKept flags;
    return synthesize(input, method);
}

std::optional<SimulatedSpectrum> synthesizeFast(const SynthesisInput& input)
{
    auto result = synthesizeFastWith(input, SummationMethod::Automatic);
    if (!result)
        return std::nullopt;
    return std::move(result->spectrum);
}

} // namespace ravelle
