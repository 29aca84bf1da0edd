#include "engine/FourierSum.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kProgramTwoPi = 6.2831852L; // the line shape's own 2 pi
constexpr double kEpsilon = 0x1p-53;
// Frequencies end where the Gaussian factor exp(-2 pi^2 (sigma f)^2) is e^-64.
constexpr double kSigmaFrequencyLimit = 1.8;
// Periodic images keep this many sigma away from the stretch: e^-112.
constexpr double kImageDistance = 15.0;
constexpr std::int64_t kMaxSize = std::int64_t{1} << 22;
constexpr std::int64_t kMaxFrequencies = std::int64_t{1} << 28;
constexpr std::size_t kBlock = 64;   // rotations are exact at every block start
constexpr std::size_t kChunk = 2048; // frequencies worked on at a time

// One nucleus kind and |offset| with how many nuclei share it: equivalent
// nuclei give one factor raised to their number.
struct FactorGroup {
    long double offset = 0.0L;
    bool nitrogen = false;
    int count = 0;
};

std::vector<FactorGroup> factorGroups(const HyperfineLines& lines, long double& scale)
{
    std::vector<FactorGroup> groups;
    scale = 1.0L;
    for (const HyperfineStage& stage : lines.stages()) {
        // A hydrogen gives 2 cos(pi f a), a nitrogen 1 + 2 cos(2 pi f b); a
        // zero constant only multiplies every line.
        if (!stage.nitrogen)
            scale *= 2;
        const long double offset = std::fabs(stage.offset);
        if (offset == 0.0L) {
            if (stage.nitrogen)
                scale *= 3;
            continue;
        }
        auto same = std::find_if(groups.begin(), groups.end(), [&](const FactorGroup& group) {
            return group.offset == offset && group.nitrogen == stage.nitrogen;
        });
        if (same == groups.end())
            groups.push_back({offset, stage.nitrogen, 1});
        else
            ++same->count;
    }
    return groups;
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
    void fill(std::int64_t first, std::size_t count, double* cosine, double* sine) const
    {
        long double baseRe = 0, baseIm = 0;
        unitRotation(first, baseRe, baseIm);
        for (std::size_t start = 0; start < count; start += kBlock) {
            const double re = static_cast<double>(baseRe);
            const double im = static_cast<double>(baseIm);
            double* c = cosine + start;
            for (std::size_t r = 0; r < kBlock; ++r)
                c[r] = re * re_[r] - im * im_[r];
            if (sine != nullptr) {
                double* s = sine + start;
                for (std::size_t r = 0; r < kBlock; ++r)
                    s[r] = re * im_[r] + im * re_[r];
            }
            const long double nextRe = baseRe * blockRe_ - baseIm * blockIm_;
            baseIm = baseRe * blockIm_ + baseIm * blockRe_;
            baseRe = nextRe;
        }
    }

private:
    // exp(2 pi i nu k) with the phase nu k reduced to [-1/2, 1/2) exactly.
    void unitRotation(std::int64_t k, long double& re, long double& im) const
    {
        const auto kk = static_cast<long double>(k);
        long double turns = high_ * kk;
        turns -= std::nearbyint(turns);
        turns += low_ * kk;
        turns -= std::nearbyint(turns);
        const long double angle = 2 * kPi * turns;
        re = std::cos(angle);
        im = std::sin(angle);
    }

    long double high_ = 0, low_ = 0;
    double re_[kBlock] = {};
    double im_[kBlock] = {};
    long double blockRe_ = 1, blockIm_ = 0;
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

double fourierCost(const HyperfineLines& lines, const FourierLayout& layout, bool slope)
{
    if (!layout.feasible)
        return INFINITY;
    long double scale = 0;
    const auto groups = factorGroups(lines, scale);
    double factors = 0;
    for (const auto& group : groups)
        factors += 1.0 + 0.5 * (group.count - 1);
    const auto k = static_cast<double>(layout.frequencies + 1);
    const auto n = static_cast<double>(layout.size);
    const double transforms = slope ? 2.0 : 1.0;
    const double chunks = std::ceil(k / kChunk);
    return 2000.0 + k * (12.0 + 1.3 * factors) + chunks * (static_cast<double>(groups.size()) + 1) * 300.0
           + transforms * n * (1.0 + 0.6 * std::log2(n));
}

FourierSum fourierSum(const HyperfineLines& lines, const FourierWindow& window, const FourierLayout& layout,
                      bool slope)
{
    const std::int64_t n = layout.size;
    const long double period = layout.period;
    const double sigma = window.sigma;

    long double scale = 0;
    const std::vector<FactorGroup> groups = factorGroups(lines, scale);
    std::vector<Rotation> rotations;
    rotations.reserve(groups.size());
    int factorCount = 0;
    double outerNitrogens = 1.0; // the largest magnitude of the factors' product
    double phaseCycles = 0.0;     // the largest total phase of the factors
    for (const auto& group : groups) {
        const long double cycles = group.offset / period;
        rotations.emplace_back(cycles);
        factorCount += group.count;
        for (int c = 0; c < group.count; ++c)
            outerNitrogens *= group.nitrogen ? 3.0 : 1.0;
        phaseCycles += static_cast<double>(cycles) * group.count * static_cast<double>(layout.frequencies);
    }
    // The stretch starts W/2 steps below zero: a phase of -W/(2n) cycles per k.
    const Rotation shift(-static_cast<long double>(window.width) / (2 * static_cast<long double>(n)));

    // A_k = scale * sqrt(2 pi / 6.2831852) / period * 2 pi f * exp(-2 pi^2 s^2 f^2) * P(f), f = k / period.
    const long double lineShape = std::sqrt(2 * kPi / kProgramTwoPi);
    const auto base = static_cast<double>(scale * lineShape * 2 * kPi / (period * period));
    const auto twoPiOverPeriod = static_cast<double>(2 * kPi / period);
    const auto gaussian = static_cast<double>(2 * kPi * kPi * sigma * sigma / (period * period));

    const auto half = static_cast<std::size_t>(n / 2);
    ComplexBuffer spectrum(fftw_alloc_complex(half + 1));
    ComplexBuffer slopeSpectrum(slope ? fftw_alloc_complex(half + 1) : nullptr);
    std::fill_n(&spectrum[0][0], 2 * (half + 1), 0.0);
    if (slope)
        std::fill_n(&slopeSpectrum[0][0], 2 * (half + 1), 0.0);

    std::vector<double> product(kChunk), factor(kChunk), phaseRe(kChunk), phaseIm(kChunk);
    double sumA = 0, sumBase = 0, sumBaseF = 0, sumBaseF2 = 0, sumAF = 0;
    const std::uint64_t mask = static_cast<std::uint64_t>(n) - 1;
    for (std::int64_t first = 0; first <= layout.frequencies; first += static_cast<std::int64_t>(kChunk)) {
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, layout.frequencies + 1 - first));
        const std::size_t filled = (count + kBlock - 1) / kBlock * kBlock;
        std::fill_n(product.begin(), filled, 1.0);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            rotations[g].fill(first, filled, factor.data(), nullptr);
            if (groups[g].nitrogen)
                for (std::size_t j = 0; j < filled; ++j)
                    factor[j] = 1.0 + 2.0 * factor[j];
            for (int c = 0; c < groups[g].count; ++c)
                for (std::size_t j = 0; j < filled; ++j)
                    product[j] *= factor[j];
        }
        shift.fill(first, filled, phaseRe.data(), phaseIm.data());

        for (std::size_t j = 0; j < count; ++j) {
            const std::int64_t k = first + static_cast<std::int64_t>(j);
            const auto kd = static_cast<double>(k);
            const double envelope = base * kd * std::exp(-gaussian * kd * kd);
            const double a = envelope * product[j];
            const double angular = twoPiOverPeriod * kd;
            sumA += std::fabs(a);
            sumAF += std::fabs(a) * angular;
            sumBase += envelope;
            sumBaseF += envelope * angular;
            sumBaseF2 += envelope * angular * angular;
            // d_k = i A_k exp(i theta_k); the term of -k is its conjugate.
            const double dRe = -a * phaseIm[j];
            const double dIm = a * phaseRe[j];
            const std::uint64_t bin = static_cast<std::uint64_t>(k) & mask;
            const std::uint64_t mirror = (static_cast<std::uint64_t>(n) - bin) & mask;
            if (bin <= half) {
                spectrum[bin][0] += dRe;
                spectrum[bin][1] += dIm;
            }
            if (mirror <= half) {
                spectrum[mirror][0] += dRe;
                spectrum[mirror][1] -= dIm;
            }
            if (slope) {
                // d/dx multiplies d_k by 2 pi i f.
                const double sRe = -angular * dIm;
                const double sIm = angular * dRe;
                if (bin <= half) {
                    slopeSpectrum[bin][0] += sRe;
                    slopeSpectrum[bin][1] += sIm;
                }
                if (mirror <= half) {
                    slopeSpectrum[mirror][0] += sRe;
                    slopeSpectrum[mirror][1] -= sIm;
                }
            }
        }
    }

    FourierSum result;
    const auto points = static_cast<std::size_t>(window.width) + 1;
    const fftw_plan plan = planCache().complexToReal(static_cast<int>(n));
    RealBuffer out(fftw_alloc_real(static_cast<std::size_t>(n)));
    fftw_execute_dft_c2r(plan, spectrum.get(), out.get());
    result.value.assign(out.get(), out.get() + points);
    if (slope) {
        fftw_execute_dft_c2r(plan, slopeSpectrum.get(), out.get());
        result.slope.assign(out.get(), out.get() + points);
    }

    // Error bounds, each term for both signs of k. A factor is off by a few
    // roundings and by its phase error; every other factor is at most 1
    // (hydrogen) or 3 (nitrogen) in magnitude.
    const double pi = std::numbers::pi;
    const double lineCount = lines.lineCount();
    const double transformRounding = (5.0 * std::log2(static_cast<double>(n)) + 16.0) * kEpsilon;
    const double factorRounding = (9.0 * factorCount * kEpsilon + 4.0 * pi * phaseCycles * 0x1p-61) * outerNitrogens;
    const double shapeNorm = std::sqrt(static_cast<double>(kProgramTwoPi));
    const double truncation = lineCount * static_cast<double>(lineShape) / (2 * pi * sigma * sigma)
                              * std::exp(-2 * pi * pi * kSigmaFrequencyLimit * kSigmaFrequencyLimit);
    const double images = 2.0 * lineCount * tailTerm(kImageDistance * sigma, sigma);
    // Stored positions differ from exact sums by at most the drift; the
    // first derivative of a line is at most 1 / (c s^3), the second 3 / (c s^4).
    const double drift = lines.roundingDrift();
    result.valueError = 2 * (transformRounding * sumA + factorRounding * sumBase) + truncation + images
                        + drift * lineCount / (shapeNorm * sigma * sigma * sigma);
    result.slopeError = 2 * (transformRounding * sumAF + factorRounding * sumBaseF)
                        + 3.0 * drift * lineCount / (shapeNorm * sigma * sigma * sigma * sigma);
    result.curvatureBound = 2 * sumBaseF2 * outerNitrogens;
    return result;
}

} // namespace ravelle
