#include "engine/Rotation.h"

#include <cmath>

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr std::size_t kBlock = kRotationBlock;

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

// Rounds |value| < 2^62 to an integer: adding 1.5 * 2^63 leaves no
// fraction bits in the 64-bit significand.
long double nearestInteger(long double value)
{
    constexpr long double kShifter = 0x1.8p63L;
    return (value + kShifter) - kShifter;
}

} // namespace

Rotation::Rotation(long double cyclesPerStep)
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

void Rotation::fill(std::int64_t first, std::size_t count, double* cosine, double* sine)
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

void Rotation::multiplyFactor(std::int64_t first, std::size_t count, bool nitrogen, int repeats, double error,
                              double* product, double* bound)
{
    for (std::size_t start = 0; start < count; start += kBlock) {
        const auto [re, im] = blockStart(first + static_cast<std::int64_t>(start));
        multiplyFactorBlock(re_, im_, re, im, nitrogen, repeats, error, product + start,
                            bound == nullptr ? nullptr : bound + start);
    }
}

// exp(2 pi i nu k) for the start k of a block. Consecutive blocks step by
// one product in extended precision, about 1e-19 each; an exact start
// every 256 blocks keeps that far below a double's rounding.
std::pair<double, double> Rotation::blockStart(std::int64_t k)
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

// exp(2 pi i nu k): the phase nu k reduced exactly to a quarter turn q and a
// remainder of at most an eighth of a turn, whose sine and cosine need no
// further reduction.
void Rotation::unitRotation(std::int64_t k, long double& re, long double& im) const
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

} // namespace ravelle
