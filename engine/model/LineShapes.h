#pragma once

#include <array>
#include <complex>

// The derivative line shapes in real space: the Faddeeva function for the
// Voigt profile, and one line's value and the derivatives a fit needs.
namespace ravelle::model {

// w(z) = exp(-z^2) erfc(-iz) for Im z >= 0, and its first three derivatives
// (w' = -2 z w + 2i / sqrt(pi), w'' = -2 w - 2 z w', w''' = -4 w' - 2 z w''),
// each to about 1e-13 of its size.
std::array<std::complex<double>, 4> faddeevaWithDerivatives(std::complex<double> z);
std::complex<double> faddeeva(std::complex<double> z);

// The widths of one line: sigma 0 means no Gaussian part, gamma 0 no
// Lorentzian part (not both).
struct LineWidths {
    double sigma = 0.0;
    double gamma = 0.0;
};

// One unit-area line at distance u = x - centre from its centre: the first
// derivative V'(u), the second V''(u), and the derivatives of V'(u) with
// respect to sigma and gamma.
struct LineTerms {
    double slope = 0.0;
    double curvature = 0.0;
    double dSigma = 0.0;
    double dGamma = 0.0;
};

// V'(u) only.
double lineSlope(const LineWidths& widths, double u);
LineTerms lineTerms(const LineWidths& widths, double u);

// The distance between the extremes of V' (see peakToPeakWidth).
double derivativePeakToPeak(const LineWidths& widths);

} // namespace ravelle::model
