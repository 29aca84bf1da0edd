#include "engine/LineShape.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/FastMath.h"
#include "engine/FloatingPoint.h"

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr double kEpsilon = 0x1p-53;
// Frequencies end where the envelope exp(-2 pi^2 (sigma f)^2) is e^-53.7.
constexpr double kSigmaFrequencyLimit = 1.65;

double shapeNorm()
{
    return std::sqrt(static_cast<double>(kProgramTwoPi));
}

} // namespace

double LineShape::checkedTerm(double x, double x0) const
{
    const long double difference = checkedResult(static_cast<long double>(x) - x0);
    long double exponent = checkedResult(-difference * difference);
    exponent = checkedResult(exponent / 2);
    exponent = checkedResult(exponent / sigma_);
    exponent = checkedResult(exponent / sigma_);
    long double value = checkedResult(std::exp(exponent));
    value = checkedResult(value * (static_cast<long double>(x0) - x));
    value = checkedResult(value / normalisation_);
    value = checkedResult(value / sigma_);
    value = checkedResult(value / sigma_);
    return storeDouble(value);
}

LineShape::LineShape(double sigma)
    : sigma_(sigma), width_(std::fabs(sigma)), normalisation_(std::sqrt(kProgramTwoPi * sigma_ * sigma_)),
      // The log of 0 would raise the division-by-zero flag.
      logScale_(width_ > 0.0 ? -0.5 * std::log(static_cast<double>(kProgramTwoPi)) - 2.0 * std::log(width_)
                             : std::numeric_limits<double>::infinity())
{
}

// -q exp(-q^2 / 2) / (c s^2) with q = (x - x0) / s, the exponential scaled
// where it alone would leave the double range.
double LineShape::farTerm(double x, double x0, double& error) const
{
    const double q = (x - x0) / width_;
    if (q == 0.0) {
        error = 0.0;
        return 0.0;
    }
    constexpr double kShift = 700.0;
    constexpr double kExpMinusShift = 0x1.14f2b0fb9307fp-1010; // e^-700
    const double logFactor = -0.5 * q * q + logScale_;
    double term = 0.0;
    if (logFactor > kShift)
        term = std::copysign(std::exp(logFactor + std::log(std::fabs(q))), -q);
    else if (logFactor < -kShift)
        term = -q * std::exp(logFactor + kShift) * kExpMinusShift;
    else
        term = -q * std::exp(logFactor);
    // The exponent carries about 1.5 q^2 roundings, the scale's logarithm a
    // few of its size.
    error = std::fabs(term) * (3.0 * q * q + 2.0 * std::fabs(logScale_) + 20.0) * kEpsilon;
    return term;
}

// |d| exp(-d^2/2s^2) / (c s^3) is largest at one sigma.
double LineShape::largestTerm() const
{
    return std::exp(-0.5 + logScale_);
}

double LineShape::logLargestTerm() const
{
    return -0.5 + logScale_;
}

double LineShape::tailBound(double distance) const
{
    return std::exp(logTailBound(distance));
}

double LineShape::logTailBound(double distance) const
{
    const double u = std::max(distance / width_, 1.0);
    return std::log(u) - 0.5 * u * u + logScale_;
}

double LineShape::relevantDepth(double distance, double lines, double fraction, double limit) const
{
    const double target = logTailBound(distance) + std::log(fraction) - std::log(lines);
    double depth = 0.0;
    while (depth < limit && logTailBound(distance + depth) > target)
        depth += width_;
    return std::min(depth, limit);
}

double LineShape::reach(double fraction) const
{
    double u = 1.0;
    while (u * std::exp(-0.5 * u * u + 0.5) > fraction)
        u += 1.0;
    return u * width_;
}

// Extended precision keeps exp(-d^2/2s^2) far past the double range, so the
// cut-off is set by the stored double alone: the term is below 2^-1076 there.
double LineShape::exactReach() const
{
    const double scale = logScale_;
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
    return (high + 0.05) * width_ * (1.0 + 1e-12);
}

// A line's slope is at most 1 / (c s^3), at the line itself.
double LineShape::slopeBound(double lines) const
{
    return lines / (shapeNorm() * width_ * width_ * width_);
}

// The second derivative of a line is at most 3 / (c s^4).
double LineShape::curvatureBound(double lines) const
{
    return 3.0 * lines / (shapeNorm() * width_ * width_ * width_ * width_);
}

double LineShape::windowScale() const
{
    return static_cast<double>(1.0L / (std::sqrt(kProgramTwoPi) * width_ * width_));
}

// Up to 37 widths the exponent stays above -708, where the vectorised
// exponential holds.
double LineShape::windowLimit() const
{
    return 37.0 * width_;
}

WindowSum LineShape::storedTermSum(double x, const double* position, const double* weight, std::size_t count) const
{
    WindowSum sum;
    for (std::size_t j = 0; j < count; ++j) {
        const double t = static_cast<double>(term(x, position[j])) * weight[j];
        sum.value += t;
        sum.magnitude += std::fabs(t);
    }
    // One rounding of the weight product, and the extended sum.
    sum.error = sum.magnitude * (2.0 * kEpsilon + static_cast<double>(count) * 0x1p-63);
    return sum;
}

template <typename Offset, typename Factor>
void LineShape::scaledTerms(Offset offset, Factor factor, std::size_t count, WindowScratch& scratch) const
{
    double* q = scratch.offset.data();
    double* exponent = scratch.exponent.data();
    double* term = scratch.term.data();
    double* termError = scratch.termError.data();
    const double inverseWidth = 1.0 / width_;
    // |q| <= 37, so the exponent stays above -708.
    for (std::size_t j = 0; j < count; ++j) {
        q[j] = offset(j) * inverseWidth;
        exponent[j] = -0.5 * q[j] * q[j];
    }
    expNonPositive(exponent, term, count);
    for (std::size_t j = 0; j < count; ++j) {
        term[j] *= -q[j] * factor(j);
        // The exponent carries about 1.5 q^2 roundings of relative size.
        termError[j] = std::fabs(term[j]) * (3.0 * q[j] * q[j] + 10.0);
    }
}

WindowSum LineShape::windowSum(double x, const double* position, const double* scaledWeight, std::size_t count,
                               WindowScratch& scratch) const
{
    scaledTerms([&](std::size_t j) { return x - position[j]; }, [&](std::size_t j) { return scaledWeight[j]; },
                count, scratch);
    WindowSum sum;
    for (std::size_t j = 0; j < count; ++j) {
        sum.value += scratch.term[j];
        sum.magnitude += std::fabs(scratch.term[j]);
        sum.error += scratch.termError[j];
    }
    sum.error *= kEpsilon;
    return sum;
}

void LineShape::lineTerms(double x0, const double* x, std::size_t count, WindowScratch& scratch) const
{
    const double scale = windowScale();
    scaledTerms([&](std::size_t j) { return x[j] - x0; }, [&](std::size_t) { return scale; }, count, scratch);
}

// The transform of the unit-area Gaussian derivative with 2 pi in place of
// 6.2831852 in its normalisation is 2 pi i f exp(-2 pi^2 s^2 f^2).
long double LineShape::fourierScale() const
{
    return std::sqrt(2 * kPi / kProgramTwoPi);
}

double LineShape::frequencyLimit() const
{
    return kSigmaFrequencyLimit / width_;
}

void LineShape::envelopeExponents(const double* k, double* exponent, std::size_t count, long double period) const
{
    const double gaussian = static_cast<double>(2 * kPi * kPi * width_ * width_ / (period * period));
    for (std::size_t j = 0; j < count; ++j)
        exponent[j] = -gaussian * k[j] * k[j];
}

double LineShape::truncationBound(double lines) const
{
    const double pi = std::numbers::pi;
    return lines * static_cast<double>(fourierScale()) / (2 * pi * width_ * width_)
           * std::exp(-2 * pi * pi * kSigmaFrequencyLimit * kSigmaFrequencyLimit);
}

long double LineShape::majorantFourierScale() const
{
    return std::sqrt(4 * kPi) * width_;
}

// The Gaussian's majorant has twice the variance: its envelope is E^2.
void LineShape::majorantEnvelope(const double* envelope, double* out, std::size_t count) const
{
    for (std::size_t j = 0; j < count; ++j)
        out[j] = envelope[j] * envelope[j];
}

double LineShape::majorantBeyond(double distance) const
{
    const double u = distance / width_;
    return std::exp(-0.25 * u * u);
}

double LineShape::majorantTruncationBound(double lines) const
{
    const double pi = std::numbers::pi;
    return lines * std::exp(-4 * pi * pi * kSigmaFrequencyLimit * kSigmaFrequencyLimit);
}

// |d| exp(-d^2 / 2 s^2) / s <= 0.858 exp(-d^2 / 4 s^2).
double LineShape::termBoundFromMajorant(double majorant) const
{
    return 0.858 * majorant * std::exp(logScale_);
}

// A line's slope is at most 1.146 exp(-d^2 / 4 s^2) / (c s^3).
double LineShape::slopeBoundFromMajorant(double majorant) const
{
    return 1.146 * majorant / (shapeNorm() * width_ * width_ * width_);
}

} // namespace ravelle
