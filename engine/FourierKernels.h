#pragma once

#include <cstddef>
#include <cstdint>

// The vector loops of the Fourier sums, over one chunk of frequencies at a
// time: plain loops the compiler turns into vector code. Arrays passed to
// one call never overlap.
namespace ravelle {

// A sum in four independent partial sums, for speed.
double sumOf(const double* values, std::size_t count);

// k = first ... first + count - 1 as doubles (32-bit conversions vectorise).
void frequencyList(double* k, std::int64_t first, std::size_t count);

// The amplitudes A_k = unit_k P_k with unit_k = base k E_k (E the line
// shape's envelope, P the stick spectrum's transform), their magnitudes, and
// the bound on their error from that of P_k: stickBound_k - |P_k| plus the
// rounding of the product (productRounding < 0: the crude error instead).
void amplitudes(std::size_t count, const double* frequency, double base, double productRounding, double crudeError,
                const double* shapeEnvelope, const double* stickTransform, const double* stickBound,
                double* unitAmplitude, double* stickError, double* amplitude, double* magnitude, double* error);

// The majorant's amplitudes base M_k P_k (M its envelope) and their error bounds.
void majorantAmplitudes(std::size_t count, double base, const double* majorantEnvelope,
                        const double* stickTransform, const double* stickError, double* amplitude,
                        double* magnitude, double* error);

// The coefficients i A_k exp(i theta_k): re = -A sin(theta), im = A cos(theta).
void rotate(std::size_t count, const double* amplitude, const double* cosine, const double* sine, double* re,
            double* im);

// out = a b, elementwise.
void multiply(std::size_t count, const double* a, const double* b, double* out);

// The coefficients of the derivative d/dx, which multiplies a coefficient by
// 2 pi i f, with their magnitudes and error bounds, and the bounds on the
// curvature's coefficients, (2 pi f)^2 unit_k stickBound_k.
void slopeCoefficients(std::size_t count, const double* frequency, double twoPiOverPeriod, const double* re,
                       const double* im, const double* magnitude, const double* error, const double* unitAmplitude,
                       const double* stickBound, double* slopeRe, double* slopeIm, double* slopeMagnitude,
                       double* slopeError, double* curvature);

} // namespace ravelle
