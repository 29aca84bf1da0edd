#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/model/LineShapes.h"
#include "engine/model/Model.h"

namespace ravelle::model {
namespace {

using LongComplex = std::complex<long double>;
const long double kPi = std::numbers::pi_v<long double>;

// w(z) by its power series sum (iz)^n / Gamma(n/2 + 1) (small |z|), or by
// the Laplace continued fraction (i / sqrt pi) / (z - (1/2) / (z - 1 / (z - ...)))
// (Im z well above 0), in extended precision.
LongComplex referenceFaddeeva(LongComplex z)
{
    if (std::abs(z) <= 3.0L) {
        LongComplex sum = 0.0L;
        LongComplex power = 1.0L;
        const LongComplex iz(-z.imag(), z.real());
        for (int n = 0; n < 200; ++n, power *= iz)
            sum += power / std::tgamma(n / 2.0L + 1.0L);
        return sum;
    }
    LongComplex tail = z;
    for (int k = 400; k >= 1; --k)
        tail = z - (k / 2.0L) / tail;
    return LongComplex(0.0L, 1.0L / std::sqrt(kPi)) / tail;
}

TEST(LineShapeTest, FaddeevaAndItsDerivativesMatchIndependentSums)
{
    const std::complex<double> points[] = {
        {0.0, 0.0}, {0.5, 0.5}, {1.0, 2.0}, {2.5, 0.1}, {-2.0, 1.0}, {3.5, 1.0}, {5.0, 5.0},
        {7.9, 0.6}, {8.1, 0.6}, {-20.0, 1.0}, {0.1, 10.0}, {100.0, 0.5},
    };
    for (const auto z : points) {
        const LongComplex zl(z.real(), z.imag());
        const LongComplex w = referenceFaddeeva(zl);
        const LongComplex w1 = -2.0L * zl * w + LongComplex(0.0L, 2.0L / std::sqrt(kPi));
        const LongComplex w2 = -2.0L * w - 2.0L * zl * w1;
        const auto got = faddeevaWithDerivatives(z);
        EXPECT_LE(std::abs(LongComplex(got[0]) - w), 2e-13L * std::abs(w)) << z;
        EXPECT_LE(std::abs(LongComplex(got[1]) - w1), 2e-12L * std::abs(w1)) << z;
        EXPECT_LE(std::abs(LongComplex(got[2]) - w2), 2e-11L * std::abs(w2) + 1e-15L) << z;
        EXPECT_LE(std::abs(faddeeva(z) - got[0]), 1e-16 * std::abs(got[0]) + 1e-300) << z;
    }
}

TEST(LineShapeTest, FaddeevaOnTheAxes)
{
    // w(x) = exp(-x^2) + i (2 / sqrt pi) D(x) and w(iy) = exp(y^2) erfc(y).
    for (const double x : {0.3, 1.0, 2.7, 5.5}) {
        EXPECT_NEAR(faddeeva({x, 0.0}).real(), std::exp(-x * x), 1e-14) << x;
        EXPECT_NEAR(faddeeva({-x, 0.0}).imag(), -faddeeva({x, 0.0}).imag(), 1e-15) << x;
    }
    for (const long double y : {0.01L, 0.7L, 3.0L, 12.0L}) {
        const long double expected = std::exp(y * y) * std::erfc(y);
        EXPECT_NEAR(faddeeva({0.0, static_cast<double>(y)}).real(), static_cast<double>(expected),
                    1e-13 * static_cast<double>(expected))
            << y;
    }
}

TEST(LineShapeTest, VoigtTendsToItsPureShapes)
{
    for (const double u : {-3.0, -0.7, 0.2, 1.0, 4.0}) {
        const double gaussian = lineSlope({1.0, 0.0}, u);
        const double lorentzian = lineSlope({0.0, 1.0}, u);
        EXPECT_NEAR(gaussian, -u * std::exp(-u * u / 2) / std::sqrt(2 * std::numbers::pi), 1e-15) << u;
        EXPECT_NEAR(lorentzian, -2 * u / (std::numbers::pi * (u * u + 1) * (u * u + 1)), 1e-15) << u;
        EXPECT_NEAR(lineSlope({1.0, 1e-9}, u), gaussian, 1e-8) << u;
        EXPECT_NEAR(lineSlope({1e-7, 1.0}, u), lorentzian, 1e-12) << u;
    }
}

TEST(LineShapeTest, TermsAreTheDerivativesOfTheSlope)
{
    struct Row {
        double sigma, gamma, u;
    };
    const Row rows[] = {
        {0.7, 0.0, 0.3},  {0.7, 0.0, -2.1}, {0.0, 0.4, 0.1}, {0.0, 0.4, -3.0},
        {0.5, 0.3, 0.2},  {0.5, 0.3, -1.4}, {0.1, 2.0, 5.0}, {2.0, 0.05, 30.0},
    };
    for (const Row& r : rows) {
        const LineTerms t = lineTerms({r.sigma, r.gamma}, r.u);
        const auto central = [](auto f, double x, double h) { return (f(x + h) - f(x - h)) / (2 * h); };
        const double h = 1e-5 * (r.sigma + r.gamma);
        const double curvature = central([&](double u) { return lineSlope({r.sigma, r.gamma}, u); }, r.u, h);
        const double scale = std::fabs(curvature) + std::fabs(t.curvature) + 1e-12;
        EXPECT_NEAR(t.slope, lineSlope({r.sigma, r.gamma}, r.u), 1e-14 * std::fabs(t.slope) + 1e-300);
        EXPECT_NEAR(t.curvature, curvature, 1e-6 * scale) << r.sigma << " " << r.gamma << " " << r.u;
        if (r.sigma > 0.0) {
            const double dSigma = central([&](double s) { return lineSlope({s, r.gamma}, r.u); }, r.sigma, h);
            EXPECT_NEAR(t.dSigma, dSigma, 1e-6 * (std::fabs(dSigma) + 1e-12)) << r.sigma << " " << r.u;
        }
        if (r.gamma > 0.0) {
            const double dGamma = central([&](double g) { return lineSlope({r.sigma, g}, r.u); }, r.gamma, h);
            EXPECT_NEAR(t.dGamma, dGamma, 1e-6 * (std::fabs(dGamma) + 1e-12)) << r.gamma << " " << r.u;
        }
    }
}

TEST(LineShapeTest, PeakToPeakWidthsPutTheExtremesThere)
{
    EXPECT_DOUBLE_EQ(peakToPeakWidth(LineShape::Gaussian, 0.3, 9.0), 0.6);
    EXPECT_DOUBLE_EQ(peakToPeakWidth(LineShape::Gaussian, -0.3, 0.0), 0.6);
    EXPECT_DOUBLE_EQ(peakToPeakWidth(LineShape::Lorentzian, 9.0, 0.3), 0.6 / std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(peakToPeakWidth(LineShape::Voigt, 0.0, 0.3), 0.6 / std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(peakToPeakWidth(LineShape::Voigt, 0.3, 0.0), 0.6);
    struct Row {
        double sigma, gamma;
    };
    for (const Row r : {Row{1.0, 1.0}, Row{1.0, 1e-3}, Row{1e-3, 1.0}, Row{0.2, 3.0}}) {
        const double width = peakToPeakWidth(LineShape::Voigt, r.sigma, r.gamma);
        // Between the two pure widths' bounds, and the slope is largest at -width/2.
        EXPECT_GE(width, std::min(2 * r.sigma, 2 * r.gamma / std::sqrt(3.0)) * (1 - 1e-12));
        EXPECT_LE(width, 2 * r.sigma + 2 * r.gamma / std::sqrt(3.0));
        const double peak = lineSlope({r.sigma, r.gamma}, -width / 2);
        EXPECT_GT(peak, 0.0);
        for (const double step : {1e-4, -1e-4})
            EXPECT_LT(lineSlope({r.sigma, r.gamma}, -width / 2 + step * width), peak) << r.sigma << " " << r.gamma;
        EXPECT_NEAR(lineSlope({r.sigma, r.gamma}, width / 2), -peak, 1e-15 * peak);
    }
    EXPECT_NEAR(peakToPeakWidth(LineShape::Voigt, 1.0, 1e-9), 2.0, 1e-8);
    EXPECT_NEAR(peakToPeakWidth(LineShape::Voigt, 1e-6, 1.0), 2.0 / std::sqrt(3.0), 1e-9);
}

} // namespace
} // namespace ravelle::model
