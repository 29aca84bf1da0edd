#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <numbers>
#include <vector>

#include "engine/model/PhaseSeries.h"
#include "engine/model/Prepared.h"

namespace ravelle::model::detail {

// One group's factor for a block of frequencies, and its derivative with
// respect to the coupling where asked: per position
// p = sum_iso prob (1 / (2I + 1)) sum_m cos(2 m theta), theta = pi f a scale,
// with cos(j theta) = T_j(c) and sin(j theta) = s U_(j-1)(c); the factor is p^n.
class GroupFactor {
public:
    GroupFactor(const PreparedGroup& group, double period) : group_(group)
    {
        for (const PositionIsotope& isotope : group.isotopes)
            if (isotope.twiceSpin > 0)
                phases_.emplace_back(static_cast<long double>(group.coupling) * isotope.scale / (2.0L * period));
    }

    // factor[r] = p^n; derivative[r] = d(p^n)/da when not null; f[r] the frequencies.
    __attribute__((target_clones("avx2", "default"))) void fill(std::int64_t first, std::size_t count, const double* f,
                                                                double* factor, double* derivative) const
    {
        double position[kBlock];
        double slope[kBlock];
        double c[kBlock], s[kBlock];
        std::fill_n(position, count, 0.0);
        std::fill_n(slope, count, 0.0);
        std::size_t phase = 0;
        for (const PositionIsotope& isotope : group_.isotopes) {
            const double p = isotope.probability;
            if (isotope.twiceSpin == 0) {
                for (std::size_t r = 0; r < count; ++r)
                    position[r] += p;
                continue;
            }
            const PhaseSeries& series = phases_[phase++];
            const double states = isotope.twiceSpin + 1;
            if (derivative == nullptr && isotope.twiceSpin <= 2) {
                // cos theta, and (1 + 2 cos 2 theta) / 3 = (4 cos^2 theta - 1) / 3
                series.fillCos(first, count, c);
                if (isotope.twiceSpin == 1)
                    for (std::size_t r = 0; r < count; ++r)
                        position[r] += p * c[r];
                else
                    for (std::size_t r = 0; r < count; ++r)
                        position[r] += p * (4 * c[r] * c[r] - 1) / 3;
                continue;
            }
            series.fill(first, count, c, s);
            // d/da of cos(2 pi f a scale m) is -2 pi f scale m sin(2 m theta).
            const double slopeScale = -2 * std::numbers::pi * isotope.scale * p / states;
            for (std::size_t r = 0; r < count; ++r) {
                double t0 = 1.0, t1 = c[r];    // T_(j-1), T_j
                double u0 = 0.0, u1 = 1.0;     // U_(j-2), U_(j-1)
                double cosines = 0.0, sines = 0.0;
                // j runs 1 ... 2I; the states m = j / 2 with j of 2I's parity.
                if (isotope.twiceSpin % 2 == 0)
                    cosines = 1.0;
                for (int j = 1; j <= isotope.twiceSpin; ++j) {
                    if ((isotope.twiceSpin - j) % 2 == 0) {
                        cosines += 2 * t1;
                        sines += j * u1; // 2 |m| sin(2 |m| theta) / s, both signs of m
                    }
                    const double t2 = 2 * c[r] * t1 - t0;
                    const double u2 = 2 * c[r] * u1 - u0;
                    t0 = t1;
                    t1 = t2;
                    u0 = u1;
                    u1 = u2;
                }
                position[r] += p * cosines / states;
                slope[r] += slopeScale * f[r] * s[r] * sines;
            }
        }
        // p^n by squaring, each step over the whole block.
        double power[kBlock];
        std::fill_n(power, count, 1.0);
        std::copy_n(position, count, c);
        for (int exponent = group_.count - 1; exponent > 0; exponent >>= 1) {
            if (exponent & 1)
                for (std::size_t r = 0; r < count; ++r)
                    power[r] *= c[r];
            for (std::size_t r = 0; r < count; ++r)
                c[r] *= c[r];
        }
        for (std::size_t r = 0; r < count; ++r)
            factor[r] = power[r] * position[r];
        if (derivative != nullptr)
            for (std::size_t r = 0; r < count; ++r)
                derivative[r] = group_.count * power[r] * slope[r];
    }

private:
    const PreparedGroup& group_;
    std::vector<PhaseSeries> phases_;
};

} // namespace ravelle::model::detail
