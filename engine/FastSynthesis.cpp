#include "engine/FastSynthesis.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/FastMath.h"
#include "engine/FourierSum.h"
#include "engine/HyperfineLines.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

constexpr double kEpsilon = 0x1p-53;
// The merged sum stops at this many sigma: the terms beyond are below 1e-20
// of a line's peak, and their total enters the error bound.
constexpr double kNearCutoff = 10.0;
// A result is taken when its error bound is below this share of its range.
constexpr double kAccuracyGoal = 2.5e-13;
// A merged sum this cheap (in predicted nanoseconds) replaces a Fourier sum
// whose bound falls short of the goal.
constexpr double kCarefulBudget = 400e3;
// The most distinct positions a merged sum holds: 16 bytes each, and up to
// five times that while a stage is merged.
constexpr std::size_t kMergedLimit = std::size_t{1} << 18;

[[noreturn]] void fail(std::string_view message)
{
    throw UserError(std::string(message));
}

// The methods detect failures from values, not from the status flags; what
// their own arithmetic raises (an FFT planner, a division by a zero step
// while sizing) must not be mistaken for a failure afterwards.
class StatusFlagsKept {
public:
    StatusFlagsKept() { std::fegetexceptflag(&saved_, FE_ALL_EXCEPT); }
    ~StatusFlagsKept() { std::fesetexceptflag(&saved_, FE_ALL_EXCEPT); }
    StatusFlagsKept(const StatusFlagsKept&) = delete;
    StatusFlagsKept& operator=(const StatusFlagsKept&) = delete;

private:
    std::fexcept_t saved_{};
};

// ln(1 / (sqrt(6.2831852) s^2)): the log of the term scale.
double logScale(double sigma)
{
    return -0.5 * std::log(static_cast<double>(kProgramTwoPi)) - 2.0 * std::log(sigma);
}

// The distance from a line beyond which its term, |d| exp(-d^2/2s^2) / (c s^3),
// is below 2^-1076 and so stored as exactly 0; zero when no term can be
// nonzero at all. Extended precision keeps exp(-d^2/2s^2) far past the
// double range, so the cut-off is set by the stored double alone.
double exactCutoff(double sigma)
{
    const double scale = logScale(sigma);
    const double limit = -1076.0 * std::log(2.0);
    const auto logTerm = [&](double u) { return std::log(u) - 0.5 * u * u + scale; };
    if (logTerm(1.0) < limit)
        return 0.0;
    double low = 1.0, high = 1.0;
    while (logTerm(high) >= limit)
        high *= 2.0;
    for (int i = 0; i < 40; ++i) {
        const double middle = 0.5 * (low + high);
        (logTerm(middle) >= limit ? low : high) = middle;
    }
    return (high + 0.05) * sigma * (1.0 + 1e-12);
}

// The largest term of a line of unit weight at `distance` or more from it.
double termBeyond(double distance, double sigma)
{
    const double u = std::max(distance / sigma, 1.0);
    return std::exp(std::log(u) - 0.5 * u * u + logScale(sigma));
}

// The grid and what every method shares.
struct Problem {
    explicit Problem(const SynthesisInput& input) : lines(input.couplingH, input.couplingN) {}

    HyperfineLines lines;
    double sigma = 0.0;       // |s|
    double signedSigma = 0.0; // s as given, for the literal shape
    std::int32_t points = 0;  // N
    long double step = 0.0L;  // G / N as the literal computes it
    std::vector<double> field;
    double frameFieldLow = 0.0;
    double frameFieldHigh = 0.0;
    double cutoff = 0.0;      // exact cut-off
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
// largest, or, from the majorant B (the largest sum of exp(-d^2 / 4 s^2)),
// |d| exp(-d^2 / 2 s^2) / s <= 0.858 exp(-d^2 / 4 s^2).
double termMagnitudes(const Problem& problem, double largestMajorant)
{
    const double largestTerm = std::exp(-0.5 + logScale(problem.sigma));
    const double all = problem.lines.lineCount() * largestTerm;
    if (largestMajorant > 0)
        return std::min(all, 0.858 * largestMajorant * std::exp(logScale(problem.sigma)));
    return all;
}

// Lines merged by position; each point sums the lines within `reach`.
// In `exact` mode the terms are the literal's own stored doubles and the
// reach is the exact cut-off, so a term left out is exactly zero.
std::optional<RawSum> mergedSum(const Problem& problem, bool exact, std::size_t limit)
{
    const double reach = exact ? problem.cutoff : std::min(problem.cutoff, kNearCutoff * problem.sigma);
    const double lowPoint = std::min(problem.field[problem.first], problem.field[problem.last]);
    const double highPoint = std::max(problem.field[problem.first], problem.field[problem.last]);
    const auto merged = mergeLines(problem.lines, lowPoint - reach, highPoint + reach, limit);
    if (!merged)
        return std::nullopt;
    const std::vector<double>& position = merged->position;
    const std::vector<double>& weight = merged->weight;
    const std::size_t lineCount = position.size();

    const double sigma = problem.sigma;
    const double inverseSigma = 1.0 / sigma;
    const auto scale = static_cast<double>(1.0L / (std::sqrt(kProgramTwoPi) * sigma * sigma));
    std::vector<double> scaledWeight(lineCount);
    for (std::size_t j = 0; j < lineCount; ++j)
        scaledWeight[j] = scale * weight[j];
    std::vector<double> q(lineCount), exponent(lineCount), term(lineCount), termError(lineCount);
    const GaussianShape shape(problem.signedSigma);

    RawSum sum;
    sum.value.assign(problem.field.size(), 0.0);
    double worstError = 0.0;
    double worstMagnitude = 0.0;
    bool anyNonzero = false;
    // Points in ascending field, so that the lines in reach only move up.
    const bool ascending = problem.step > 0;
    std::size_t begin = 0, end = 0;
    for (std::int32_t n = problem.first; n <= problem.last; ++n) {
        const auto i = static_cast<std::size_t>(ascending ? n : problem.first + problem.last - n);
        const double x = problem.field[i];
        while (begin < lineCount && position[begin] < x - reach)
            ++begin;
        end = std::max(end, begin);
        while (end < lineCount && position[end] <= x + reach)
            ++end;
        const std::size_t count = end - begin;
        long double total = 0.0L;
        double magnitude = 0.0;
        double error = 0.0;
        if (exact) {
            for (std::size_t j = begin; j < end; ++j) {
                const double t = static_cast<double>(shape.term(x, position[j])) * weight[j];
                anyNonzero = anyNonzero || t != 0.0;
                total += t;
                magnitude += std::fabs(t);
            }
            // One rounding of the weight product, and the extended sum.
            error = magnitude * (2.0 * kEpsilon + static_cast<double>(count) * 0x1p-63);
        } else {
            // |q| <= the near cut-off, so the exponent stays above -708.
            for (std::size_t j = 0; j < count; ++j) {
                q[j] = (x - position[begin + j]) * inverseSigma;
                exponent[j] = -0.5 * q[j] * q[j];
            }
            expNonPositive(exponent.data(), term.data(), count);
            for (std::size_t j = 0; j < count; ++j) {
                term[j] *= -q[j] * scaledWeight[begin + j];
                // The exponent carries about 1.5 q^2 roundings of relative size.
                termError[j] = std::fabs(term[j]) * (3.0 * q[j] * q[j] + 10.0);
            }
            for (std::size_t j = 0; j < count; ++j) {
                total += term[j];
                magnitude += std::fabs(term[j]);
                error += termError[j];
            }
            error *= kEpsilon;
        }
        sum.value[i] = static_cast<double>(total);
        worstError = std::max(worstError, error);
        worstMagnitude = std::max(worstMagnitude, magnitude);
    }
    const double lines = problem.lines.lineCount();
    const double tail = exact ? 0.0 : lines * termBeyond(reach, sigma);
    sum.error = worstError + tail;
    sum.literalError = literalRounding(lines, worstMagnitude + tail);
    sum.allTermsZero = exact && !anyNonzero;
    return sum;
}

// Every line in list order at every point, summed exactly as the literal
// method does; whole branches of the list that stay beyond the cut-off are
// skipped, since their terms are exactly 0 and adding 0 changes no sum.
RawSum listOrderSum(const Problem& problem)
{
    const GaussianShape shape(problem.signedSigma);
    const double reach = problem.cutoff;
    RawSum sum;
    sum.exactlyLiteral = true;
    sum.value.assign(problem.field.size(), 0.0);
    // A point whose field is below 2^-66 of every line's |position| gets the
    // same extended difference x - x0 = -x0 from each line as the last point
    // summed, if that one did too: the same terms, the same sum.
    double summedAt = INFINITY;
    double absorbedBelow = 0.0;
    for (std::size_t i = 0; i < problem.field.size(); ++i) {
        const double x = problem.field[i];
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
                fail(messages::kOverflow);
            total = static_cast<double>(static_cast<long double>(term) + total);
            if (!std::isfinite(total))
                fail(messages::kOverflow);
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
    return {problem.sigma, std::fabs(problem.step), static_cast<std::int64_t>(problem.last - problem.first)};
}

// The Fourier sum on the points that can be nonzero, moved from the even
// grid to the literal's rounded grid points by a first-order correction.
RawSum fourierRawSum(const Problem& problem, const FourierLayout& layout, bool tightBound)
{
    const FourierWindow window = fourierWindow(problem);
    const auto n = static_cast<long double>(problem.points);
    // The even grid the transform samples: (i - N/2) * step.
    std::vector<long double> shift(static_cast<std::size_t>(problem.last - problem.first + 1));
    bool shifted = false;
    for (std::int32_t i = problem.first; i <= problem.last; ++i) {
        const long double ideal = (2 * static_cast<long double>(i) - n) * problem.step / 2;
        const long double offset = problem.field[static_cast<std::size_t>(i)] - ideal;
        shift[static_cast<std::size_t>(i - problem.first)] = offset;
        shifted = shifted || offset != 0.0L;
    }
    const FourierSum fourier = fourierSum(problem.lines, window, layout, {shifted, tightBound});

    RawSum sum;
    sum.value.assign(problem.field.size(), 0.0);
    double worstShift = 0.0;
    for (std::int32_t i = problem.first; i <= problem.last; ++i) {
        // The transform runs upwards in field; a negative step runs the grid down.
        const auto m = static_cast<std::size_t>(problem.step > 0 ? i - problem.first : problem.last - i);
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
    const std::vector<double> points(problem.field.begin() + problem.first, problem.field.begin() + problem.last + 1);
    const FourierSum series = fourierSeries(problem.lines, problem.sigma, layout, points, tightBound);
    RawSum sum;
    sum.value.assign(problem.field.size(), 0.0);
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
    plan.layout = fourierLayout(problem.lines, fourierWindow(problem));
    plan.cost = fourierCost(problem.lines, plan.layout, {true, true});
    const auto points = static_cast<std::size_t>(problem.last - problem.first + 1);
    if (requested == SummationMethod::Fourier || points > kSeriesPointLimit)
        return plan;
    const double reach = std::max(std::fabs(problem.field[problem.first]), std::fabs(problem.field[problem.last]));
    const FourierLayout layout = seriesLayout(problem.lines, problem.sigma, reach);
    const double cost = seriesCost(problem.lines, layout, points, true);
    if (requested == SummationMethod::FourierSeries || cost < plan.cost)
        plan = {false, layout, cost};
    return plan;
}

// Range and normalisation with the literal method's arithmetic: a flat sum
// fails at the first point with 0 / 0 or x / 0.
SimulatedSpectrum finish(Problem& problem, RawSum&& sum)
{
    SimulatedSpectrum spectrum;
    spectrum.points = problem.points;
    spectrum.frameFieldLow = problem.frameFieldLow;
    spectrum.frameFieldHigh = problem.frameFieldHigh;
    const RawExtremes extremes = rawExtremes(sum.value);
    const long double span = static_cast<long double>(extremes.high) - extremes.low;
    if (span == 0.0L)
        fail(sum.value[0] == 0.0 ? messages::kInvalidOperation : messages::kDivisionByZero);
    spectrum.rawLow = extremes.low;
    spectrum.rawHigh = extremes.high;
    spectrum.intensity = std::move(sum.value);
    for (double& value : spectrum.intensity)
        value = static_cast<double>(2 * static_cast<long double>(value) / span);
    spectrum.field = std::move(problem.field);
    return spectrum;
}

// Predicted nanoseconds of a merged sum and the number of distinct positions
// it would hold, from the groups of equal constants (rounding can split a
// few more).
struct MergedEstimate {
    double positions = 1.0;
    double cost = 0.0;
};

MergedEstimate mergedEstimate(const Problem& problem)
{
    MergedEstimate estimate;
    for (const EquivalentNuclei& group : problem.lines.equivalentNuclei())
        estimate.positions *= group.nitrogen ? 2.0 * group.count + 1.0 : group.count + 1.0;
    const double points = problem.last - problem.first + 1;
    const double nearPoints = 2.0 * kNearCutoff * problem.sigma / std::fabs(static_cast<double>(problem.step)) + 1.0;
    const double terms = estimate.positions * std::min(points, nearPoints);
    estimate.cost = 3300.0 + 20.0 * estimate.positions + 4.5 * terms + 7.0 * points;
    return estimate;
}

// The literal method's failures that come before any sum, in its order:
// a stored line beyond the double range, 0 points, sigma 0.
void failAsTheLiteralWouldBeforeSumming(const SynthesisInput& input, const Problem& problem)
{
    if (problem.lines.overflows())
        fail(messages::kOverflow);
    if (input.points == 0)
        fail(input.displayRange == 0.0 ? messages::kInvalidOperation : messages::kDivisionByZero);
}

std::optional<FastSpectrum> synthesize(const SynthesisInput& input, SummationMethod requested)
{
    // What the literal method refuses, it refuses with its own messages.
    const auto finite = [](double value) { return std::isfinite(value); };
    if (input.points < kMinCalcPoints || input.points > kMaxCalcPoints || input.couplingH.size() > kMaxHydrogens
        || input.couplingN.size() > kMaxNitrogens || !finite(input.displayRange) || !finite(input.sigma)
        || !std::all_of(input.couplingH.begin(), input.couplingH.end(), finite)
        || !std::all_of(input.couplingN.begin(), input.couplingN.end(), finite))
        return std::nullopt;

    Problem problem(input);
    failAsTheLiteralWouldBeforeSumming(input, problem);

    problem.points = input.points;
    problem.signedSigma = input.sigma;
    problem.sigma = std::fabs(input.sigma);
    problem.frameFieldLow = static_cast<double>(-static_cast<long double>(input.displayRange) / 2);
    problem.frameFieldHigh = static_cast<double>(static_cast<long double>(input.displayRange) / 2);
    problem.step = static_cast<long double>(input.displayRange) / input.points;
    problem.field.resize(static_cast<std::size_t>(input.points) + 1);
    for (std::size_t i = 0; i < problem.field.size(); ++i)
        problem.field[i] = static_cast<double>(problem.step * static_cast<long double>(i) + problem.frameFieldLow);

    if (problem.sigma == 0.0) {
        // The first term divides -d^2/2 by 0: 0 / 0 when the first point
        // lies on the first line.
        fail(problem.field[0] == problem.lines.firstLine() ? messages::kInvalidOperation
                                                           : messages::kDivisionByZero);
    }

    // Sums at a steep enough sigma may overflow partway, depending on the
    // order of the terms: only the literal order can tell.
    const double lineCount = problem.lines.lineCount();
    const bool mayOverflow =
        std::log(lineCount) - 0.5 + logScale(problem.sigma) + std::log(4.0) >= std::log(std::numeric_limits<double>::max());

    problem.cutoff = exactCutoff(problem.sigma);
    // Only points this close to zero can have a line within the cut-off.
    const double reach = problem.lines.extent() + problem.cutoff;
    std::int32_t firstNear = -1, lastNear = -1;
    for (std::int32_t i = 0; i <= problem.points; ++i) {
        if (std::fabs(problem.field[static_cast<std::size_t>(i)]) <= reach) {
            if (firstNear < 0)
                firstNear = i;
            lastNear = i;
        }
    }
    if (problem.cutoff == 0.0 || firstNear < 0)
        fail(messages::kInvalidOperation); // every term is 0: a flat sum of zeros
    problem.first = std::min(firstNear, problem.points - lastNear);
    problem.last = problem.points - problem.first;

    const auto done = [&](RawSum&& sum, SummationMethod method) {
        return FastSpectrum{finish(problem, std::move(sum)), method};
    };
    const auto careful = [&]() -> FastSpectrum {
        // Terms exactly as the literal stores them: a zero is a true zero.
        if (auto exact = mergedSum(problem, true, kMergedLimit)) {
            if (exact->allTermsZero)
                fail(messages::kInvalidOperation);
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
    // about 2 drift / sigma of the range where the lines crowd most.
    const bool fourierLikelyAccurate = 2.0 * problem.lines.roundingDrift() / problem.sigma <= kAccuracyGoal;
    const double carefulBudget = std::max(4.0 * fourierPrice, kCarefulBudget);
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
