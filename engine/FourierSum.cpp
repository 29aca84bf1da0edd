#include "engine/FourierSum.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>

#include "engine/FftwPlanner.h"
#include "engine/FourierCoefficients.h"
#include "engine/FourierKernels.h"
#include "engine/Rotation.h"
#include "engine/SummationCosts.h"

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr double kEpsilon = 0x1p-53;
// Periodic images of the lines keep so far from the stretch that their
// terms are below this share of a line's largest.
constexpr double kImageFraction = 1e-45;
constexpr std::int64_t kMaxSize = std::int64_t{1} << 22;
constexpr std::int64_t kMaxFrequencies = std::int64_t{1} << 28;

// FFTW plans by size, made once.
class PlanCache {
public:
    fftw_plan complexToReal(int size)
    {
        const std::lock_guard lock(fftwPlannerMutex());
        auto found = plans_.find(size);
        if (found != plans_.end())
            return found->second;
        auto* in = fftw_alloc_complex(static_cast<std::size_t>(size / 2 + 1));
        double* out = fftw_alloc_real(static_cast<std::size_t>(size));
        const fftw_plan plan = fftw_plan_dft_c2r_1d(size, in, out, FFTW_ESTIMATE);
        fftw_free(in);
        fftw_free(out);
        plans_.emplace(size, plan);
        return plan;
    }

private:
    std::map<int, fftw_plan> plans_;
};

PlanCache& planCache()
{
    static PlanCache cache;
    return cache;
}

struct FftwFree {
    void operator()(void* memory) const { fftw_free(memory); }
};
using ComplexBuffer = std::unique_ptr<fftw_complex[], FftwFree>;
using RealBuffer = std::unique_ptr<double[], FftwFree>;

} // namespace

FourierLayout fourierLayout(const HyperfineLines& lines, const LineShape& shape, const FourierWindow& window)
{
    FourierLayout layout;
    const long double halfStretch = static_cast<long double>(window.width) / 2 * window.step;
    const long double needed = std::max(halfStretch + lines.extent() + shape.reach(kImageFraction),
                                        static_cast<long double>(window.width + 1) * window.step);
    const long double steps = std::ceil(needed / window.step);
    if (!(steps <= static_cast<long double>(kMaxSize)))
        return layout;
    layout.size = std::max<std::int64_t>(16, static_cast<std::int64_t>(std::bit_ceil(static_cast<std::uint64_t>(steps))));
    layout.period = static_cast<long double>(layout.size) * window.step;
    const long double frequencies = std::floor(shape.frequencyLimit() * layout.period);
    if (!(frequencies <= static_cast<long double>(kMaxFrequencies)))
        return layout;
    layout.frequencies = static_cast<std::int64_t>(frequencies);
    layout.feasible = layout.size <= kMaxSize;
    return layout;
}

double fourierCost(const HyperfineLines& lines, const FourierLayout& layout, const FourierOptions& options)
{
    using namespace costs;
    if (!layout.feasible)
        return INFINITY;
    double factors = 0;
    for (const auto& group : lines.equivalentNuclei())
        factors += 1.0 + kRepeatedFactor * (group.count - 1);
    const auto k = static_cast<double>(layout.frequencies + 1);
    const auto n = static_cast<double>(layout.size);
    const bool majorant = options.tightBound && lines.roundingDrift() > 0;
    const double transforms = 1.0 + (options.slope ? 1.0 : 0.0) + (majorant ? 1.0 : 0.0);
    return kFourierSetUp
           + k * (kFourierPerFrequency + factors * (options.tightBound ? kFourierPerFactorTight : kFourierPerFactorCrude))
           + transforms * n * (kTransformPerPoint + kTransformPerHalving * std::log2(n));
}

namespace {

// The spectrum of a real signal on n points, from the coefficients of the
// frequencies k = 1 ... K; that of -k is the conjugate. Frequencies beyond
// the grid's Nyquist limit alias onto bin k mod n; then the bins are
// collected over a whole period first and folded into 0 ... n/2 at the end.
class Spectrum {
public:
    Spectrum(std::uint64_t n, std::int64_t frequencies)
        : n_(n), wraps_(static_cast<std::uint64_t>(frequencies) >= n / 2),
          size_(wraps_ ? n : n / 2 + 1), bins_(fftw_alloc_complex(size_))
    {
        std::fill_n(&bins_[0][0], 2 * size_, 0.0);
    }

    void add(std::int64_t first, std::size_t count, const double* re, const double* im)
    {
        auto k = static_cast<std::uint64_t>(first);
        std::size_t j = 0;
        while (j < count) {
            const std::uint64_t bin = wraps_ ? k & (n_ - 1) : k;
            const std::size_t run = std::min<std::size_t>(count - j, size_ - bin);
            addRun(&bins_[bin][0], re + j, im + j, run);
            j += run;
            k += run;
        }
    }

    // Bins 0 ... n/2, as the complex-to-real transform reads them.
    fftw_complex* bins()
    {
        if (wraps_) {
            // Bin r collects k = r (mod n) and, conjugated, k = -r (mod n).
            for (std::uint64_t r = 0; r <= n_ / 2; ++r) {
                const std::uint64_t mirror = (n_ - r) & (n_ - 1);
                const double re = bins_[r][0] + bins_[mirror][0];
                const double im = bins_[r][1] - bins_[mirror][1];
                bins_[r][0] = re;
                bins_[r][1] = im;
            }
            wraps_ = false;
        }
        return bins_.get();
    }

private:
    static void addRun(double* __restrict bins, const double* __restrict re, const double* __restrict im,
                       std::size_t count)
    {
        for (std::size_t j = 0; j < count; ++j) {
            bins[2 * j] += re[j];
            bins[2 * j + 1] += im[j];
        }
    }

    std::uint64_t n_;
    bool wraps_;
    std::size_t size_;
    ComplexBuffer bins_;
};

// The bounds shared by both ways of summing the series: frequencies cut off,
// periodic images, and the drift of the stored positions, given the largest
// majorant (or, without one, all lines at their steepest).
double commonError(const HyperfineLines& lines, const LineShape& shape, std::optional<double> largestMajorant)
{
    const double lineCount = lines.lineCount();
    const double truncation = shape.truncationBound(lineCount);
    const double images = 2.0 * lineCount * shape.tailBound(shape.reach(kImageFraction));
    double slopes = shape.slopeBound(lineCount);
    if (largestMajorant)
        slopes = std::min(slopes, shape.slopeBoundFromMajorant(*largestMajorant));
    return truncation + images + lines.roundingDrift() * slopes;
}

// What the majorant's own errors can add to its largest value.
double majorantError(const LineShape& shape, double transformRounding, double sumMagnitude, double sumError,
                     double lineCount)
{
    return 2 * (transformRounding * sumMagnitude + sumError) + shape.majorantTruncationBound(lineCount)
           + 2.0 * lineCount * shape.majorantBeyond(shape.reach(kImageFraction));
}

// The working arrays of a transform, one chunk of frequencies each.
enum class TransformArray {
    PhaseRe, PhaseIm,               // exp(2 pi i k u0 / n) for the stretch's start u0
    Re, Im,                         // the coefficients of the sum
    SlopeRe, SlopeIm,               // those of its derivative
    SlopeMagnitude, SlopeError,     // their magnitudes and error bounds
    Curvature,                      // bounds on the second derivative's coefficients
    MajorantRe, MajorantIm,         // the majorant's coefficients
    Count
};

// The working arrays of a series summed point by point.
enum class SeriesArray { Cosine, Sine, Term, Count };

} // namespace

FourierSum fourierSum(const HyperfineLines& lines, const LineShape& shape, const FourierWindow& window,
                      const FourierLayout& layout, const FourierOptions& options)
{
    using Coefficient = FourierCoefficients::Array;
    using Work = TransformArray;
    const bool slope = options.slope;
    const std::int64_t n = layout.size;
    const auto un = static_cast<std::uint64_t>(n);
    const bool majorant = options.tightBound && lines.roundingDrift() > 0;
    FourierCoefficients coefficients(lines, shape, layout.period, layout.frequencies, options.tightBound, majorant);
    ChunkArrays<TransformArray> work;
    // The stretch starts W/2 steps below zero: a phase of -W/(2n) cycles per k.
    Rotation shift(-static_cast<long double>(window.width) / (2 * static_cast<long double>(n)));
    const auto twoPiOverPeriod = static_cast<double>(2 * kPi / layout.period);

    Spectrum spectrum(un, layout.frequencies);
    std::optional<Spectrum> slopeSpectrum, majorantSpectrum;
    if (slope)
        slopeSpectrum.emplace(un, layout.frequencies);
    if (majorant)
        majorantSpectrum.emplace(un, layout.frequencies);

    // Sums of |coefficient| (for the transform's rounding), of the bounds on
    // the coefficients' own errors, and of the curvature's coefficients.
    double sumA = 0, sumAF = 0, sumError = 0, sumErrorF = 0, sumCurvature = 0, sumMajorant = 0, sumMajorantError = 0;
    double* phaseRe = work[Work::PhaseRe];
    double* phaseIm = work[Work::PhaseIm];
    double* re = work[Work::Re];
    double* im = work[Work::Im];
    std::int64_t first = 0;
    while (const std::size_t count = coefficients.next(first)) {
        shift.fill(first, coefficients.filled(), phaseRe, phaseIm);
        const double* magnitude = coefficients[Coefficient::Magnitude];
        const double* error = coefficients[Coefficient::Error];
        rotate(count, coefficients[Coefficient::Amplitude], phaseRe, phaseIm, re, im);
        sumA += sumOf(magnitude, count);
        sumError += sumOf(error, count);
        spectrum.add(first, count, re, im);
        if (slope) {
            slopeCoefficients(count, coefficients[Coefficient::Frequency], twoPiOverPeriod, re, im, magnitude, error,
                              coefficients[Coefficient::UnitAmplitude], coefficients[Coefficient::StickBound],
                              work[Work::SlopeRe], work[Work::SlopeIm], work[Work::SlopeMagnitude],
                              work[Work::SlopeError], work[Work::Curvature]);
            sumAF += sumOf(work[Work::SlopeMagnitude], count);
            sumErrorF += sumOf(work[Work::SlopeError], count);
            sumCurvature += sumOf(work[Work::Curvature], count);
            slopeSpectrum->add(first, count, work[Work::SlopeRe], work[Work::SlopeIm]);
        }
        if (majorant) {
            // The majorant is even: its coefficients carry no factor i.
            multiply(count, coefficients[Coefficient::MajorantAmplitude], phaseRe, work[Work::MajorantRe]);
            multiply(count, coefficients[Coefficient::MajorantAmplitude], phaseIm, work[Work::MajorantIm]);
            sumMajorant += sumOf(coefficients[Coefficient::MajorantMagnitude], count);
            sumMajorantError += sumOf(coefficients[Coefficient::MajorantError], count);
            majorantSpectrum->add(first, count, work[Work::MajorantRe], work[Work::MajorantIm]);
        }
    }

    FourierSum result;
    const auto points = static_cast<std::size_t>(window.width) + 1;
    const fftw_plan plan = planCache().complexToReal(static_cast<int>(n));
    RealBuffer out(fftw_alloc_real(static_cast<std::size_t>(n)));
    fftw_execute_dft_c2r(plan, spectrum.bins(), out.get());
    result.value.assign(out.get(), out.get() + points);
    if (slope) {
        fftw_execute_dft_c2r(plan, slopeSpectrum->bins(), out.get());
        result.slope.assign(out.get(), out.get() + points);
    }

    // Error bounds, each sum over k counted for both signs of k.
    const double transformRounding = (5.0 * std::log2(static_cast<double>(n)) + 16.0) * kEpsilon;
    std::optional<double> largestMajorant;
    if (majorant) {
        fftw_complex* bins = majorantSpectrum->bins();
        bins[0][0] += coefficients.majorantAtZero(lines.lineCount());
        fftw_execute_dft_c2r(plan, bins, out.get());
        largestMajorant = *std::max_element(out.get(), out.get() + points)
                          + majorantError(shape, transformRounding, sumMajorant, sumMajorantError, lines.lineCount());
    }
    result.valueError = 2 * (transformRounding * sumA + sumError) + commonError(lines, shape, largestMajorant);
    result.largestMajorant = largestMajorant.value_or(0.0);
    result.slopeError = 2 * (transformRounding * sumAF + sumErrorF)
                        + lines.roundingDrift() * shape.curvatureBound(lines.lineCount());
    result.curvatureBound = 2 * sumCurvature;
    return result;
}

FourierLayout seriesLayout(const HyperfineLines& lines, const LineShape& shape, double reach)
{
    FourierLayout layout;
    layout.period = static_cast<long double>(reach) + lines.extent() + shape.reach(kImageFraction);
    const long double frequencies = std::floor(shape.frequencyLimit() * layout.period);
    if (!(frequencies <= static_cast<long double>(kMaxFrequencies)))
        return layout;
    layout.frequencies = static_cast<std::int64_t>(frequencies);
    layout.feasible = true;
    return layout;
}

double seriesCost(const HyperfineLines& lines, const FourierLayout& layout, std::size_t points, bool tightBound)
{
    using namespace costs;
    if (!layout.feasible)
        return INFINITY;
    const auto k = static_cast<double>(layout.frequencies + 1);
    const double perPoint =
        kSeriesPerPoint + k * (tightBound && lines.roundingDrift() > 0 ? kSeriesPerTermWithMajorant : kSeriesPerTerm);
    return fourierCost(lines, {true, 16, layout.period, layout.frequencies}, {false, tightBound})
           + static_cast<double>(points) * perPoint;
}

FourierSum fourierSeries(const HyperfineLines& lines, const LineShape& shape, const FourierLayout& layout,
                         const std::vector<double>& points, bool tightBound)
{
    using Coefficient = FourierCoefficients::Array;
    const bool majorant = tightBound && lines.roundingDrift() > 0;
    FourierCoefficients coefficients(lines, shape, layout.period, layout.frequencies, tightBound, majorant);
    ChunkArrays<SeriesArray> work;
    // exp(2 pi i k x / period) for each point, one rotation each.
    std::vector<Rotation> rotations;
    rotations.reserve(points.size());
    double phaseCycles = 0.0;
    for (const double x : points) {
        rotations.emplace_back(static_cast<long double>(x) / layout.period);
        phaseCycles = std::max(phaseCycles, std::fabs(x) / static_cast<double>(layout.period));
    }
    std::vector<long double> value(points.size(), 0.0L), majorantValue(points.size(), 0.0L);
    double sumA = 0, sumError = 0, sumMajorant = 0, sumMajorantError = 0;
    double* cosine = work[SeriesArray::Cosine];
    double* sine = work[SeriesArray::Sine];
    double* term = work[SeriesArray::Term];
    std::int64_t first = 0;
    while (const std::size_t count = coefficients.next(first)) {
        const double* amplitude = coefficients[Coefficient::Amplitude];
        sumA += sumOf(coefficients[Coefficient::Magnitude], count);
        sumError += sumOf(coefficients[Coefficient::Error], count);
        if (majorant) {
            sumMajorant += sumOf(coefficients[Coefficient::MajorantMagnitude], count);
            sumMajorantError += sumOf(coefficients[Coefficient::MajorantError], count);
        }
        for (std::size_t p = 0; p < points.size(); ++p) {
            rotations[p].fill(first, coefficients.filled(), cosine, sine);
            // i A e^{i theta} + c.c. = -2 A sin(theta).
            multiply(count, amplitude, sine, term);
            value[p] -= 2 * static_cast<long double>(sumOf(term, count));
            if (majorant) {
                multiply(count, coefficients[Coefficient::MajorantAmplitude], cosine, term);
                majorantValue[p] += 2 * static_cast<long double>(sumOf(term, count));
            }
        }
    }

    FourierSum result;
    result.value.assign(value.begin(), value.end());
    // Each term carries a few roundings and the rotation's phase error.
    const double termRounding = (16.0 + 2.0 * std::numbers::pi * phaseCycles
                                 * static_cast<double>(layout.frequencies) * 0x1p-61 / kEpsilon)
                                * kEpsilon + static_cast<double>(layout.frequencies) * 0x1p-63;
    std::optional<double> largestMajorant;
    if (majorant) {
        const double atZero = coefficients.majorantAtZero(lines.lineCount());
        double largest = 0.0;
        for (const long double b : majorantValue)
            largest = std::max(largest, static_cast<double>(b) + atZero);
        largestMajorant =
            largest + majorantError(shape, termRounding, sumMajorant, sumMajorantError, lines.lineCount());
    }
    result.valueError = 2 * (termRounding * sumA + sumError) + commonError(lines, shape, largestMajorant);
    result.largestMajorant = largestMajorant.value_or(0.0);
    return result;
}

} // namespace ravelle
