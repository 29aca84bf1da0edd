#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace ravelle {

// exp(x) for every x[i] in [-708, 0] (nothing else may be passed), within
// 2 units in the last place. A plain loop the compiler turns into vector
// code, unlike calls to std::exp.
inline void expNonPositive(const double* x, double* y, std::size_t count)
{
    constexpr double kLog2e = 1.4426950408889634074;
    // ln 2 split so that k * kLn2High is exact for |k| < 2^11.
    constexpr double kLn2High = 6.93147180369123816490e-01;
    constexpr double kLn2Low = 1.90821492927058770002e-10;
    // Adding 1.5 * 2^52 rounds to an integer held in the low bits.
    constexpr double kShifter = 0x1.8p52;
    constexpr std::int64_t kShifterBits = std::bit_cast<std::int64_t>(kShifter);
    for (std::size_t i = 0; i < count; ++i) {
        const double value = x[i];
        const double shifted = value * kLog2e + kShifter;
        const double k = shifted - kShifter;
        const double r = (value - k * kLn2High) - k * kLn2Low; // |r| <= 0.35
        // Taylor series to r^13 (the remainder is below 4e-18), in Estrin's
        // scheme for short dependency chains.
        const double r2 = r * r;
        const double r4 = r2 * r2;
        const double p01 = 1.0 + r;
        const double p23 = 1.0 / 2.0 + r * (1.0 / 6.0);
        const double p45 = 1.0 / 24.0 + r * (1.0 / 120.0);
        const double p67 = 1.0 / 720.0 + r * (1.0 / 5040.0);
        const double p89 = 1.0 / 40320.0 + r * (1.0 / 362880.0);
        const double p1011 = 1.0 / 3628800.0 + r * (1.0 / 39916800.0);
        const double p1213 = 1.0 / 479001600.0 + r * (1.0 / 6227020800.0);
        const double p03 = p01 + r2 * p23;
        const double p47 = p45 + r2 * p67;
        const double p811 = p89 + r2 * p1011;
        const double p813 = p811 + r4 * p1213;
        const double p = p03 + r4 * (p47 + r4 * p813);
        const std::int64_t exponent = std::bit_cast<std::int64_t>(shifted) - kShifterBits;
        y[i] = p * std::bit_cast<double>((exponent + 1023) << 52);
    }
}

} // namespace ravelle
