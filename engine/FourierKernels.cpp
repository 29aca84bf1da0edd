#include "engine/FourierKernels.h"

#include <algorithm>
#include <cmath>

namespace ravelle {

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

void frequencyList(double* __restrict k, std::int64_t first, std::size_t count)
{
    const auto start = static_cast<double>(first);
    for (std::size_t j = 0; j < count; ++j)
        k[j] = start + static_cast<double>(static_cast<std::int32_t>(j));
}

void amplitudes(std::size_t count, const double* __restrict frequency, double base, double productRounding,
                double crudeError, const double* __restrict shapeEnvelope, const double* __restrict stickTransform,
                const double* __restrict stickBound, double* __restrict unitAmplitude, double* __restrict stickError,
                double* __restrict amplitude, double* __restrict magnitude, double* __restrict error)
{
    if (productRounding >= 0.0) {
        for (std::size_t j = 0; j < count; ++j)
            stickError[j] = (stickBound[j] - std::fabs(stickTransform[j])) + productRounding * stickBound[j];
    } else {
        std::fill_n(stickError, count, crudeError);
    }
    for (std::size_t j = 0; j < count; ++j) {
        unitAmplitude[j] = base * frequency[j] * shapeEnvelope[j];
        amplitude[j] = unitAmplitude[j] * stickTransform[j];
        magnitude[j] = std::fabs(amplitude[j]);
        error[j] = unitAmplitude[j] * stickError[j];
    }
}

void majorantAmplitudes(std::size_t count, double base, const double* __restrict majorantEnvelope,
                        const double* __restrict stickTransform, const double* __restrict stickError,
                        double* __restrict amplitude, double* __restrict magnitude, double* __restrict error)
{
    for (std::size_t j = 0; j < count; ++j) {
        const double envelope = base * majorantEnvelope[j];
        amplitude[j] = envelope * stickTransform[j];
        magnitude[j] = std::fabs(amplitude[j]);
        error[j] = envelope * stickError[j];
    }
}

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

void slopeCoefficients(std::size_t count, const double* __restrict frequency, double twoPiOverPeriod,
                       const double* __restrict re, const double* __restrict im, const double* __restrict magnitude,
                       const double* __restrict error, const double* __restrict unitAmplitude,
                       const double* __restrict stickBound, double* __restrict slopeRe, double* __restrict slopeIm,
                       double* __restrict slopeMagnitude, double* __restrict slopeError, double* __restrict curvature)
{
    for (std::size_t j = 0; j < count; ++j) {
        const double angular = twoPiOverPeriod * frequency[j];
        slopeRe[j] = -angular * im[j];
        slopeIm[j] = angular * re[j];
        slopeMagnitude[j] = magnitude[j] * angular;
        slopeError[j] = error[j] * angular;
        curvature[j] = unitAmplitude[j] * stickBound[j] * angular * angular;
    }
}

} // namespace ravelle
