#include "engine/model/LineShapes.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace ravelle::model {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
const double kSqrtPi = std::sqrt(kPi);
const double kSqrt2 = std::sqrt(2.0);

// J. A. C. Weideman, "Computation of the complex error function", SIAM J.
// Numer. Anal. 31 (1994) 1497: with Z = (L + iz) / (L - iz),
// w(z) = 1 / (sqrt(pi) (L - iz)) + 2 / (L - iz)^2 sum_{n=0}^{N-1} a_{n+1} Z^n,
// L = 2^(-1/4) N^(1/2), where a_n are the Fourier coefficients of
// f(theta) = exp(-t^2) (L^2 + t^2), t = L tan(theta / 2).
constexpr int kWeidemanTerms = 40;

struct Weideman {
    double L = 0.0;
    std::array<double, kWeidemanTerms> a{}; // a[n] = a_{n+1}

    Weideman()
    {
        const long double l = std::sqrt(static_cast<long double>(kWeidemanTerms) / std::sqrt(2.0L));
        L = static_cast<double>(l);
        // f is smooth and periodic: the trapezoidal rule on many more points than
        // coefficients gives them to full precision.
        constexpr int kSamples = 16 * kWeidemanTerms;
        const long double pi = std::numbers::pi_v<long double>;
        std::vector<long double> f(kSamples);
        for (int k = 0; k < kSamples; ++k) {
            const long double theta = -pi + 2 * pi * k / kSamples;
            if (k == 0) {
                f[k] = 0.0L; // t -> infinity
                continue;
            }
            const long double t = l * std::tan(theta / 2);
            f[k] = std::exp(-t * t) * (l * l + t * t);
        }
        for (int n = 1; n <= kWeidemanTerms; ++n) {
            long double sum = 0.0L;
            for (int k = 0; k < kSamples; ++k)
                sum += f[k] * std::cos(n * (-pi + 2 * pi * k / kSamples));
            a[static_cast<std::size_t>(n - 1)] = static_cast<double>(sum / kSamples);
        }
    }
};

const Weideman& weideman()
{
    static const Weideman instance;
    return instance;
}

// Beyond this |z| the asymptotic series of w and its first three derivatives
// is exact to better than 1e-20 of their size (its smallest term is about
// exp(-|z|^2) times a power of |z|).
constexpr double kAsymptoticRadius = 8.0;

// w^(k)(z) for k = 0..3 from w(z) ~ (i / sqrt pi) sum_n c_n z^-(2n+1),
// c_n = (2n - 1)!! / 2^n, differentiated term by term; summed until the terms
// are negligible, never past the smallest one.
std::array<Complex, 4> asymptoticFaddeeva(Complex z)
{
    const Complex inverse = 1.0 / z;
    const Complex inverse2 = inverse * inverse;
    const double inverseSize2 = std::norm(inverse);
    std::array<Complex, 4> sums{};
    double c = 1.0;          // c_n
    Complex power = inverse; // z^-(2n+1)
    for (int n = 0; n < 200; ++n) {
        const double order = 2.0 * n + 1; // the power of 1/z
        Complex term = c * power;
        double factor = 1.0;
        bool negligible = true;
        for (std::size_t k = 0; k < 4; ++k) {
            const Complex contribution = factor * term;
            sums[k] += contribution;
            negligible = negligible && std::abs(contribution) <= 1e-18 * std::abs(sums[k]);
            // d/dz z^-(order+k) = -(order + k) z^-(order+k+1)
            factor *= -(order + static_cast<double>(k));
            term *= inverse;
        }
        // The next term's ratio to this one, for the highest derivative.
        const double growth = (2.0 * n + 1) / 2.0 * inverseSize2 * (order + 5) / (order + 2);
        if (negligible || growth >= 1.0)
            break;
        c *= (2.0 * n + 1) / 2.0;
        power *= inverse2;
    }
    const Complex scale(0.0, 1.0 / kSqrtPi);
    for (Complex& s : sums)
        s *= scale;
    return sums;
}

} // namespace

std::complex<double> faddeeva(std::complex<double> z)
{
    if (std::abs(z) >= kAsymptoticRadius)
        return asymptoticFaddeeva(z)[0];
    const Weideman& table = weideman();
    const Complex iz(-z.imag(), z.real());
    const Complex denominator = table.L - iz;
    const Complex Z = (table.L + iz) / denominator;
    Complex p = 0.0;
    for (int n = kWeidemanTerms - 1; n >= 0; --n)
        p = p * Z + table.a[static_cast<std::size_t>(n)];
    return 1.0 / (kSqrtPi * denominator) + 2.0 * p / (denominator * denominator);
}

std::array<std::complex<double>, 4> faddeevaWithDerivatives(std::complex<double> z)
{
    if (std::abs(z) >= kAsymptoticRadius)
        return asymptoticFaddeeva(z);
    std::array<Complex, 4> w;
    w[0] = faddeeva(z);
    w[1] = -2.0 * z * w[0] + Complex(0.0, 2.0 / kSqrtPi);
    w[2] = -2.0 * w[0] - 2.0 * z * w[1];
    w[3] = -4.0 * w[1] - 2.0 * z * w[2];
    return w;
}

LineTerms lineTerms(const LineWidths& widths, double u)
{
    LineTerms terms;
    const double s = widths.sigma;
    const double g = widths.gamma;
    if (g == 0.0) {
        // G(u) = exp(-u^2 / 2 s^2) / (s sqrt(2 pi)); dG'/ds = s G'''.
        const double s2 = s * s;
        const double value = std::exp(-u * u / (2 * s2)) / (s * kSqrt2 * kSqrtPi);
        terms.slope = -u / s2 * value;
        terms.curvature = (u * u / s2 - 1.0) / s2 * value;
        terms.dSigma = s * (3.0 * u / (s2 * s2) - u * u * u / (s2 * s2 * s2)) * value;
        return terms;
    }
    if (s == 0.0) {
        // L^(k)(u) = Im[(-1)^k k! / (u - i g)^(k+1)] / pi; dL/dg = Re[1 / (u - i g)^2] / pi.
        const Complex r = 1.0 / Complex(u, -g);
        const Complex r2 = r * r;
        const Complex r3 = r2 * r;
        terms.slope = -r2.imag() / kPi;
        terms.curvature = 2.0 * r3.imag() / kPi;
        terms.dGamma = -2.0 * r3.real() / kPi;
        return terms;
    }
    // V(u) = Re w(z) / (s sqrt(2 pi)), z = (u + i g) / (s sqrt 2).
    const Complex z = Complex(u, g) / (s * kSqrt2);
    const auto w = faddeevaWithDerivatives(z);
    terms.slope = w[1].real() / (2 * s * s * kSqrtPi);
    terms.curvature = w[2].real() / (2 * kSqrt2 * s * s * s * kSqrtPi);
    terms.dSigma = s * w[3].real() / (4 * s * s * s * s * kSqrtPi);
    terms.dGamma = -w[2].imag() / (2 * kSqrt2 * s * s * s * kSqrtPi);
    return terms;
}

double lineSlope(const LineWidths& widths, double u)
{
    const double s = widths.sigma;
    const double g = widths.gamma;
    if (g == 0.0)
        return -u / (s * s) * std::exp(-u * u / (2 * s * s)) / (s * kSqrt2 * kSqrtPi);
    if (s == 0.0) {
        const Complex r = 1.0 / Complex(u, -g);
        return -(r * r).imag() / kPi;
    }
    const Complex z = Complex(u, g) / (s * kSqrt2);
    if (std::abs(z) >= kAsymptoticRadius)
        return asymptoticFaddeeva(z)[1].real() / (2 * s * s * kSqrtPi);
    const Complex w1 = -2.0 * z * faddeeva(z) + Complex(0.0, 2.0 / kSqrtPi);
    return w1.real() / (2 * s * s * kSqrtPi);
}

double derivativePeakToPeak(const LineWidths& widths)
{
    if (widths.gamma == 0.0)
        return 2.0 * widths.sigma;
    if (widths.sigma == 0.0)
        return 2.0 * widths.gamma / std::sqrt(3.0);
    // The extremes of V' are where V'' changes sign: negative at the centre,
    // positive beyond the wider of the two pure shapes' extremes.
    double low = 0.0;
    double high = widths.sigma + widths.gamma;
    while (lineTerms(widths, high).curvature <= 0.0)
        high *= 2;
    for (int i = 0; i < 200 && high - low > 1e-15 * high; ++i) {
        const double middle = 0.5 * (low + high);
        (lineTerms(widths, middle).curvature < 0.0 ? low : high) = middle;
    }
    return low + high; // twice the middle
}

} // namespace ravelle::model
