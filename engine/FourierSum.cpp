#include "engine/FourierSum.h"

#include "engine/FastMath.h"
#include "engine/Synthesis.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <utility>

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr double kEpsilon = 0x1p-53;
// Frequencies end where the Gaussian factor exp(-2 pi^2 (sigma f)^2) is e^-53.7.
constexpr double kSigmaFrequencyLimit = 1.65;
// Periodic images keep this many sigma away from the stretch: e^-112.
constexpr double kImageDistance = 15.0;
constexpr std::int64_t kMaxSize = std::int64_t{1} << 22;
constexpr std::int64_t kMaxFrequencies = std::int64_t{1} << 28;
constexpr std::size_t kBlock = 64;  // one table of rotations serves every block
constexpr std::size_t kChunk = 512; // frequencies worked on at a time, within the L1 cache

// What every line shares of the stick spectrum's transform: a hydrogen gives
// 2 cos(pi f a), a nitrogen 1 + 2 cos(2 pi f b), so each hydrogen brings a
// factor 2 and a nitrogen of constant zero a factor 3.
long double commonFactor(const HyperfineLines& lines)
{
    long double scale = 1.0L;
    for (const HyperfineStage& stage : lines.stages()) {
        if (!stage.nitrogen)
            scale *= 2;
        else if (stage.offset == 0.0L)
            scale *= 3;
    }
    return scale;
}

// One block of Rotation::multiplyFactor, the innermost loop of the sum: the
// factor is Re((re + i im) * tabulated rotation), and vector units as wide as
// the processor has are worth using here.
__attribute__((target_clones("avx2", "default"))) void
multiplyFactorBlock(const double* tableRe, const double* tableIm, double re, double im, bool nitrogen, int repeats,
                    double error, double* product, double* bound)
{
    double factor[kBlock];
    const double scale = nitrogen ? 2.0 : 1.0;
    const double offset = nitrogen ? 1.0 : 0.0;
    for (std::size_t r = 0; r < kBlock; ++r)
        factor[r] = offset + scale * (re * tableRe[r] - im * tableIm[r]);
    for (int c = 0; c < repeats; ++c) {
        if (bound == nullptr) {
            for (std::size_t r = 0; r < kBlock; ++r)
                product[r] *= factor[r];
        } else {
            for (std::size_t r = 0; r < kBlock; ++r) {
                product[r] *= factor[r];
                bound[r] *= std::fabs(factor[r]) + error;
            }
        }
    }
}

// exp(2 pi i nu k) for runs of consecutive k. Every block of 64 starts from
// a phase reduced exactly in extended precision; inside a block one product
// with a tabulated rotation adds about one rounding.
class Rotation {
public:
    explicit Rotation(long double cyclesPerStep)
    {
        // The high part has 32 significant bits, so nu_high * k is exact.
        int exponent = 0;
        const long double mantissa = std::frexp(cyclesPerStep, &exponent);
        high_ = std::ldexp(std::trunc(std::ldexp(mantissa, 32)), exponent - 32);
        low_ = cyclesPerStep - high_;
        long double stepRe = 0, stepIm = 0;
        unitRotation(1, stepRe, stepIm);
        long double re = 1.0L, im = 0.0L;
        for (std::size_t r = 0; r < kBlock; ++r) {
            re_[r] = static_cast<double>(re);
            im_[r] = static_cast<double>(im);
            const long double nextRe = re * stepRe - im * stepIm;
            im = re * stepIm + im * stepRe;
            re = nextRe;
        }
        unitRotation(kBlock, blockRe_, blockIm_);
    }

    // Fills cosines (and sines when `sine` is given) for k = first ... first + count - 1;
    // count is a multiple of the block.
    void fill(std::int64_t first, std::size_t count, double* cosine, double* sine)
    {
        for (std::size_t start = 0; start < count; start += kBlock) {
            const auto [re, im] = blockStart(first + static_cast<std::int64_t>(start));
            double* c = cosine + start;
            for (std::size_t r = 0; r < kBlock; ++r)
                c[r] = re * re_[r] - im * im_[r];
            if (sine != nullptr) {
                double* s = sine + start;
                for (std::size_t r = 0; r < kBlock; ++r)
                    s[r] = re * im_[r] + im * re_[r];
            }
        }
    }

    // Multiplies product[k] by the factor cos(2 pi nu k) (hydrogen) or
    // 1 + 2 cos(2 pi nu k) (nitrogen), `repeats` times, and bound[k] by
    // |factor| + error (when given), for k = first ... first + count - 1.
    void multiplyFactor(std::int64_t first, std::size_t count, bool nitrogen, int repeats, double error,
                        double* product, double* bound)
    {
        for (std::size_t start = 0; start < count; start += kBlock) {
            const auto [re, im] = blockStart(first + static_cast<std::int64_t>(start));
            multiplyFactorBlock(re_, im_, re, im, nitrogen, repeats, error, product + start,
                                bound == nullptr ? nullptr : bound + start);
        }
    }

private:
    // exp(2 pi i nu k) for the start k of a block. Consecutive blocks step by
    // one product in extended precision, about 1e-19 each; an exact start
    // every 256 blocks keeps that far below a double's rounding.
    std::pair<double, double> blockStart(std::int64_t k)
    {
        if (k != nextBlock_ || stepsSinceExact_ == 256) {
            unitRotation(k, baseRe_, baseIm_);
            stepsSinceExact_ = 0;
        }
        const std::pair<double, double> start{static_cast<double>(baseRe_), static_cast<double>(baseIm_)};
        const long double nextRe = baseRe_ * blockRe_ - baseIm_ * blockIm_;
        baseIm_ = baseRe_ * blockIm_ + baseIm_ * blockRe_;
        baseRe_ = nextRe;
        nextBlock_ = k + static_cast<std::int64_t>(kBlock);
        ++stepsSinceExact_;
        return start;
    }

    // exp(2 pi i nu k): the phase nu k reduced exactly to a quarter turn q
    // and a remainder of at most an eighth of a turn, whose sine and cosine
    // need no further reduction.
    void unitRotation(std::int64_t k, long double& re, long double& im) const
    {
        const auto kk = static_cast<long double>(k);
        long double turns = high_ * kk;
        turns -= nearestInteger(turns);
        turns += low_ * kk;
        const long double quarters = turns * 4;
        const long double quarter = nearestInteger(quarters);
        const long double angle = (quarters - quarter) * (kPi / 2);
        const long double c = std::cos(angle);
        const long double s = std::sin(angle);
        switch (static_cast<int>(quarter) & 3) {
        case 0: re = c; im = s; break;
        case 1: re = -s; im = c; break;
        case 2: re = -c; im = -s; break;
        default: re = s; im = -c; break;
        }
    }

    // Rounds |value| < 2^62 to an integer: adding 1.5 * 2^63 leaves no
    // fraction bits in the 64-bit significand.
    static long double nearestInteger(long double value)
    {
        constexpr long double kShifter = 0x1.8p63L;
        return (value + kShifter) - kShifter;
    }

    long double high_ = 0, low_ = 0;
    double re_[kBlock] = {};
    double im_[kBlock] = {};
    long double blockRe_ = 1, blockIm_ = 0;
    long double baseRe_ = 1, baseIm_ = 0;
    std::int64_t nextBlock_ = -1;
    int stepsSinceExact_ = 0;
};

// FFTW plans by size, made once: the planner is not thread-safe, executing a
// plan on new arrays is.
class PlanCache {
public:
    fftw_plan complexToReal(int size)
    {
        std::lock_guard lock(mutex_);
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
    std::mutex mutex_;
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

// The largest term of one line at distance `distance` or more (at least one
// sigma away), for lines of unit weight.
double tailTerm(double distance, double sigma)
{
    const double u = std::max(distance / sigma, 1.0);
    return u * std::exp(-0.5 * u * u) / (std::sqrt(static_cast<double>(kProgramTwoPi)) * sigma * sigma);
}

} // namespace

FourierLayout fourierLayout(const HyperfineLines& lines, const FourierWindow& window)
{
    FourierLayout layout;
    const long double halfStretch = static_cast<long double>(window.width) / 2 * window.step;
    const long double needed =
        std::max(halfStretch + lines.extent() + kImageDistance * window.sigma,
                 static_cast<long double>(window.width + 1) * window.step);
    const long double steps = std::ceil(needed / window.step);
    if (!(steps <= static_cast<long double>(kMaxSize)))
        return layout;
    layout.size = std::max<std::int64_t>(16, static_cast<std::int64_t>(std::bit_ceil(static_cast<std::uint64_t>(steps))));
    layout.period = static_cast<long double>(layout.size) * window.step;
    const long double frequencies = std::floor(kSigmaFrequencyLimit / window.sigma * layout.period);
    if (!(frequencies <= static_cast<long double>(kMaxFrequencies)))
        return layout;
    layout.frequencies = static_cast<std::int64_t>(frequencies);
    layout.feasible = layout.size <= kMaxSize;
    return layout;
}

double fourierCost(const HyperfineLines& lines, const FourierLayout& layout, const FourierOptions& options)
{
    if (!layout.feasible)
        return INFINITY;
    double factors = 0;
    for (const auto& group : lines.equivalentNuclei())
        factors += 1.0 + 0.5 * (group.count - 1);
    const auto k = static_cast<double>(layout.frequencies + 1);
    const auto n = static_cast<double>(layout.size);
    const bool majorant = options.tightBound && lines.roundingDrift() > 0;
    const double transforms = 1.0 + (options.slope ? 1.0 : 0.0) + (majorant ? 1.0 : 0.0);
    return 5000.0 + k * (3.0 + factors * (options.tightBound ? 1.0 : 0.6))
           + transforms * n * (0.6 + 0.25 * std::log2(n));
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

// A sum in four independent partial sums, for speed.
double sumOf(const double* values, std::size_t count)
{
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t j = 0;
    for (; j + 4 <= count; j += 4)
        for (std::size_t lane = 0; lane < 4; ++lane)
            partial[lane] += values[j + lane];
    for (; j < count; ++j)
        partial[0] += values[j];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// k = first ... first + count - 1 as doubles (32-bit conversions vectorise),
// and the Gaussian's exponents -gaussian k^2.
void frequencyList(double* __restrict k, double* __restrict exponent, std::int64_t first, std::size_t count,
                   double gaussian)
{
    const auto start = static_cast<double>(first);
    for (std::size_t j = 0; j < count; ++j) {
        k[j] = start + static_cast<double>(static_cast<std::int32_t>(j));
        exponent[j] = -gaussian * k[j] * k[j];
    }
}

// A_k = base k gauss_k P_k, and the bound on its error from that of P_k:
// bound_k - |P_k| plus the rounding of the product (productRounding < 0: the
// crude error instead).
void amplitudes(std::size_t count, const double* __restrict frequency, double base, double productRounding,
                double crudeError, const double* __restrict gauss, const double* __restrict product,
                const double* __restrict bound, double* __restrict envelope, double* __restrict productError,
                double* __restrict amplitude, double* __restrict magnitude, double* __restrict error)
{
    if (productRounding >= 0.0) {
        for (std::size_t j = 0; j < count; ++j)
            productError[j] = (bound[j] - std::fabs(product[j])) + productRounding * bound[j];
    } else {
        std::fill_n(productError, count, crudeError);
    }
    for (std::size_t j = 0; j < count; ++j) {
        envelope[j] = base * frequency[j] * gauss[j];
        amplitude[j] = envelope[j] * product[j];
        magnitude[j] = std::fabs(amplitude[j]);
        error[j] = envelope[j] * productError[j];
    }
}

// The majorant's amplitudes base gauss_k^2 P_k and their error bounds.
void majorantAmplitudes(std::size_t count, double base, const double* __restrict gauss,
                        const double* __restrict product, const double* __restrict productError,
                        double* __restrict amplitude, double* __restrict magnitude, double* __restrict error)
{
    for (std::size_t j = 0; j < count; ++j) {
        const double envelope = base * gauss[j] * gauss[j];
        amplitude[j] = envelope * product[j];
        magnitude[j] = std::fabs(amplitude[j]);
        error[j] = envelope * productError[j];
    }
}

// The coefficients i A_k exp(i theta_k): re = -A sin(theta), im = A cos(theta).
void rotate(std::size_t count, const double* __restrict amplitude, const double* __restrict cosine,
            const double* __restrict sine, double* __restrict re, double* __restrict im)
{
    for (std::size_t j = 0; j < count; ++j) {
        re[j] = -amplitude[j] * sine[j];
        im[j] = amplitude[j] * cosine[j];
    }
}

void multiply(std::size_t count, const double* __restrict a, const double* __restrict b, double* __restrict out)
{
    for (std::size_t j = 0; j < count; ++j)
        out[j] = a[j] * b[j];
}

// d/dx multiplies a coefficient by 2 pi i f; the curvature's bound by (2 pi f)^2.
void slopeCoefficients(std::size_t count, const double* __restrict frequency, double twoPiOverPeriod,
                       const double* __restrict re, const double* __restrict im, const double* __restrict magnitude,
                       const double* __restrict error, const double* __restrict envelope,
                       const double* __restrict bound, double* __restrict slopeRe, double* __restrict slopeIm,
                       double* __restrict magnitudeF, double* __restrict errorF, double* __restrict curvature)
{
    for (std::size_t j = 0; j < count; ++j) {
        const double angular = twoPiOverPeriod * frequency[j];
        slopeRe[j] = -angular * im[j];
        slopeIm[j] = angular * re[j];
        magnitudeF[j] = magnitude[j] * angular;
        errorF[j] = error[j] * angular;
        curvature[j] = envelope[j] * bound[j] * angular * angular;
    }
}

} // namespace

namespace {

// The coefficients of the sum's Fourier series, a chunk of frequencies at a
// time. With f = k / period and P(f) the stick spectrum's transform (scale
// times the factors), the sum has i A_k exp(2 pi i k x / period) + c.c. with
// A_k = sqrt(2 pi / 6.2831852) / period * 2 pi f * exp(-2 pi^2 s^2 f^2) * P(f),
// and the majorant sum_j exp(-(x - p_j)^2 / 4 s^2) has
// sqrt(4 pi) s / period * exp(-4 pi^2 s^2 f^2) * P(f).
class Coefficients {
public:
    enum Array { Frequency, Product, Bound, ProductError, Envelope, Gauss, Amplitude, Magnitude, Error,
                 MajorantAmplitude, MajorantMagnitude, MajorantError, Scratch1, Scratch2, Scratch3, Scratch4,
                 Scratch5, Scratch6, Scratch7, Scratch8, Scratch9, ArrayCount };

    Coefficients(const HyperfineLines& lines, double sigma, long double period, std::int64_t frequencies, bool tight,
                 bool majorant)
        : frequencies_(frequencies), tight_(tight), majorant_(majorant),
          // Arrays a multiple of 4 KiB apart would make loads wait on unrelated stores.
          storage_(new double[ArrayCount * kStride]),
          scale_(commonFactor(lines)), groups_(lines.equivalentNuclei())
    {
        rotations_.reserve(groups_.size());
        for (const auto& group : groups_) {
            const long double cycles = group.offset / period;
            rotations_.emplace_back(cycles);
            factorCount_ += group.count;
            for (int c = 0; c < group.count; ++c)
                outerFactor_ *= group.nitrogen ? 3.0 : 1.0;
            // A cosine is off by a few roundings and by its phase error, which
            // grows with the frequency from the rounding of nu.
            const double phase = 2.0 * std::numbers::pi * static_cast<double>(cycles)
                                 * static_cast<double>(frequencies) * 0x1p-61;
            const double cosine = 6.0 * kEpsilon + phase;
            factorError_.push_back(group.nitrogen ? 2.0 * cosine + kEpsilon : cosine);
        }
        productRounding_ = (factorCount_ + 2.0) * kEpsilon;
        crudeError_ = productRounding_ * outerFactor_;
        for (std::size_t g = 0; g < groups_.size(); ++g)
            crudeError_ += groups_[g].count * factorError_[g] * outerFactor_;
        base_ = static_cast<double>(scale_ * lineShape() * 2 * kPi / (period * period));
        majorantBase_ = static_cast<double>(scale_ * std::sqrt(4 * kPi) * sigma / period);
        gaussian_ = static_cast<double>(2 * kPi * kPi * sigma * sigma / (period * period));
    }

    static long double lineShape() { return std::sqrt(2 * kPi / kProgramTwoPi); }

    // Works out the next chunk; returns its first frequency and its size (0 at the end).
    std::size_t next(std::int64_t& first)
    {
        first = next_;
        if (first > frequencies_)
            return 0;
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, frequencies_ + 1 - first));
        next_ += static_cast<std::int64_t>(count);
        filled_ = (count + kBlock - 1) / kBlock * kBlock;
        // bound = prod (|factor| + its error) >= |product|: its excess over
        // |product| bounds the product's error.
        std::fill_n(array(Product), filled_, 1.0);
        std::fill_n(array(Bound), filled_, tight_ ? 1.0 : outerFactor_);
        for (std::size_t g = 0; g < groups_.size(); ++g)
            rotations_[g].multiplyFactor(first, filled_, groups_[g].nitrogen, groups_[g].count, factorError_[g],
                                         array(Product), tight_ ? array(Bound) : nullptr);
        // The exponent stays above -2 pi^2 1.65^2 = -53.7 up to the last frequency.
        frequencyList(array(Frequency), array(Gauss), first, count, gaussian_);
        expNonPositive(array(Gauss), array(Gauss), count);
        amplitudes(count, array(Frequency), base_, tight_ ? productRounding_ : -1.0, crudeError_, array(Gauss),
                   array(Product), array(Bound), array(Envelope), array(ProductError), array(Amplitude),
                   array(Magnitude), array(Error));
        if (majorant_)
            majorantAmplitudes(count, majorantBase_, array(Gauss), array(Product), array(ProductError),
                               array(MajorantAmplitude), array(MajorantMagnitude), array(MajorantError));
        if (first == 0) { // f = 0 is no pair of frequencies: the sum has none, the majorant is P(0) = M
            for (const Array which : {Amplitude, Magnitude, Error, MajorantAmplitude, MajorantMagnitude, MajorantError})
                array(which)[0] = 0.0;
        }
        return count;
    }

    // The chunk's count rounded up to whole blocks (rotations fill that many).
    std::size_t filled() const { return filled_; }
    double* array(Array which) { return storage_.get() + which * kStride; }
    // The majorant's coefficient at f = 0, counted once.
    double majorantAtZero(double lineCount) const { return majorantBase_ * lineCount / static_cast<double>(scale_); }

private:
    static constexpr std::size_t kStride = kChunk + 24;
    std::int64_t frequencies_;
    bool tight_;
    bool majorant_;
    std::unique_ptr<double[]> storage_;
    long double scale_;
    const std::vector<EquivalentNuclei>& groups_;
    std::vector<Rotation> rotations_;
    std::vector<double> factorError_;
    int factorCount_ = 0;
    double outerFactor_ = 1.0; // the largest magnitude of the factors' product
    double productRounding_ = 0, crudeError_ = 0, base_ = 0, majorantBase_ = 0, gaussian_ = 0;
    std::int64_t next_ = 0;
    std::size_t filled_ = 0;
};

// The bounds shared by both ways of summing the series: frequencies cut off,
// periodic images, and the drift of the stored positions, given the largest
// majorant (or, without one, all lines at their steepest).
double commonError(const HyperfineLines& lines, double sigma, std::optional<double> largestMajorant)
{
    const double pi = std::numbers::pi;
    const double lineCount = lines.lineCount();
    const double shapeNorm = std::sqrt(static_cast<double>(kProgramTwoPi));
    const double truncation = lineCount * static_cast<double>(Coefficients::lineShape()) / (2 * pi * sigma * sigma)
                              * std::exp(-2 * pi * pi * kSigmaFrequencyLimit * kSigmaFrequencyLimit);
    const double images = 2.0 * lineCount * tailTerm(kImageDistance * sigma, sigma);
    // A line's slope is at most 1.146 exp(-d^2 / 4 s^2) / (c s^3) at distance
    // d, so the majorant bounds the sum of the slopes.
    double slopes = lineCount / (shapeNorm * sigma * sigma * sigma);
    if (largestMajorant)
        slopes = std::min(slopes, 1.146 * *largestMajorant / (shapeNorm * sigma * sigma * sigma));
    return truncation + images + lines.roundingDrift() * slopes;
}

// What the majorant's own errors can add to its largest value.
double majorantError(double transformRounding, double sumMagnitude, double sumError, double lineCount)
{
    const double pi = std::numbers::pi;
    return 2 * (transformRounding * sumMagnitude + sumError)
           + lineCount * std::exp(-4 * pi * pi * kSigmaFrequencyLimit * kSigmaFrequencyLimit)
           + 2.0 * lineCount * std::exp(-0.25 * kImageDistance * kImageDistance);
}

} // namespace

FourierSum fourierSum(const HyperfineLines& lines, const FourierWindow& window, const FourierLayout& layout,
                      const FourierOptions& options)
{
    using Array = Coefficients::Array;
    const bool slope = options.slope;
    const std::int64_t n = layout.size;
    const auto un = static_cast<std::uint64_t>(n);
    const double sigma = window.sigma;
    const bool majorant = options.tightBound && lines.roundingDrift() > 0;
    Coefficients coefficients(lines, sigma, layout.period, layout.frequencies, options.tightBound, majorant);
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
    double* phaseRe = coefficients.array(Array::Scratch1);
    double* phaseIm = coefficients.array(Array::Scratch2);
    double* re = coefficients.array(Array::Scratch3);
    double* im = coefficients.array(Array::Scratch4);
    std::int64_t first = 0;
    while (const std::size_t count = coefficients.next(first)) {
        shift.fill(first, coefficients.filled(), phaseRe, phaseIm);
        const double* amplitude = coefficients.array(Array::Amplitude);
        const double* magnitude = coefficients.array(Array::Magnitude);
        const double* error = coefficients.array(Array::Error);
        rotate(count, amplitude, phaseRe, phaseIm, re, im);
        sumA += sumOf(magnitude, count);
        sumError += sumOf(error, count);
        spectrum.add(first, count, re, im);
        if (slope) {
            double* slopeRe = coefficients.array(Array::Scratch5);
            double* slopeIm = coefficients.array(Array::Scratch6);
            double* magnitudeF = coefficients.array(Array::Scratch7);
            double* errorF = coefficients.array(Array::Scratch8);
            double* curvature = coefficients.array(Array::Scratch9);
            slopeCoefficients(count, coefficients.array(Array::Frequency), twoPiOverPeriod, re, im, magnitude, error,
                              coefficients.array(Array::Envelope), coefficients.array(Array::Bound), slopeRe, slopeIm,
                              magnitudeF, errorF, curvature);
            sumAF += sumOf(magnitudeF, count);
            sumErrorF += sumOf(errorF, count);
            sumCurvature += sumOf(curvature, count);
            slopeSpectrum->add(first, count, slopeRe, slopeIm);
        }
        if (majorant) {
            double* majorantRe = coefficients.array(Array::Scratch5);
            double* majorantIm = coefficients.array(Array::Scratch6);
            // The majorant is even: its coefficients carry no factor i.
            multiply(count, coefficients.array(Array::MajorantAmplitude), phaseRe, majorantRe);
            multiply(count, coefficients.array(Array::MajorantAmplitude), phaseIm, majorantIm);
            sumMajorant += sumOf(coefficients.array(Array::MajorantMagnitude), count);
            sumMajorantError += sumOf(coefficients.array(Array::MajorantError), count);
            majorantSpectrum->add(first, count, majorantRe, majorantIm);
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
                          + majorantError(transformRounding, sumMajorant, sumMajorantError, lines.lineCount());
    }
    result.valueError = 2 * (transformRounding * sumA + sumError) + commonError(lines, sigma, largestMajorant);
    result.largestMajorant = largestMajorant.value_or(0.0);
    // The second derivative of a line is at most 3 / (c s^4).
    const double shapeNorm = std::sqrt(static_cast<double>(kProgramTwoPi));
    result.slopeError = 2 * (transformRounding * sumAF + sumErrorF)
                        + 3.0 * lines.roundingDrift() * lines.lineCount() / (shapeNorm * sigma * sigma * sigma * sigma);
    result.curvatureBound = 2 * sumCurvature;
    return result;
}

FourierLayout seriesLayout(const HyperfineLines& lines, double sigma, double reach)
{
    FourierLayout layout;
    layout.period = static_cast<long double>(reach) + lines.extent() + kImageDistance * sigma;
    const long double frequencies = std::floor(kSigmaFrequencyLimit / sigma * layout.period);
    if (!(frequencies <= static_cast<long double>(kMaxFrequencies)))
        return layout;
    layout.frequencies = static_cast<std::int64_t>(frequencies);
    layout.feasible = true;
    return layout;
}

double seriesCost(const HyperfineLines& lines, const FourierLayout& layout, std::size_t points, bool tightBound)
{
    if (!layout.feasible)
        return INFINITY;
    const auto k = static_cast<double>(layout.frequencies + 1);
    const double perPoint = 1500.0 + k * (tightBound && lines.roundingDrift() > 0 ? 2.4 : 1.4);
    return fourierCost(lines, {true, 16, layout.period, layout.frequencies}, {false, tightBound})
           + static_cast<double>(points) * perPoint;
}

FourierSum fourierSeries(const HyperfineLines& lines, double sigma, const FourierLayout& layout,
                         const std::vector<double>& points, bool tightBound)
{
    using Array = Coefficients::Array;
    const bool majorant = tightBound && lines.roundingDrift() > 0;
    Coefficients coefficients(lines, sigma, layout.period, layout.frequencies, tightBound, majorant);
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
    double* cosine = coefficients.array(Array::Scratch1);
    double* sine = coefficients.array(Array::Scratch2);
    double* product = coefficients.array(Array::Scratch3);
    std::int64_t first = 0;
    while (const std::size_t count = coefficients.next(first)) {
        const double* amplitude = coefficients.array(Array::Amplitude);
        sumA += sumOf(coefficients.array(Array::Magnitude), count);
        sumError += sumOf(coefficients.array(Array::Error), count);
        if (majorant) {
            sumMajorant += sumOf(coefficients.array(Array::MajorantMagnitude), count);
            sumMajorantError += sumOf(coefficients.array(Array::MajorantError), count);
        }
        for (std::size_t p = 0; p < points.size(); ++p) {
            rotations[p].fill(first, coefficients.filled(), cosine, sine);
            // i A e^{i theta} + c.c. = -2 A sin(theta).
            multiply(count, amplitude, sine, product);
            value[p] -= 2 * static_cast<long double>(sumOf(product, count));
            if (majorant) {
                multiply(count, coefficients.array(Array::MajorantAmplitude), cosine, product);
                majorantValue[p] += 2 * static_cast<long double>(sumOf(product, count));
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
        largestMajorant = largest + majorantError(termRounding, sumMajorant, sumMajorantError, lines.lineCount());
    }
    result.valueError = 2 * (termRounding * sumA + sumError) + commonError(lines, sigma, largestMajorant);
    result.largestMajorant = largestMajorant.value_or(0.0);
    return result;
}

} // namespace ravelle
