#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

// exp(2 pi i nu k) for blocks of consecutive k. Each block starts from the
// phase k nu reduced exactly to one turn; inside a block one product with a
// tabulated rotation adds about two roundings, however long the series.
namespace ravelle::model::detail {

inline constexpr std::size_t kBlock = 128;

class PhaseSeries {
public:
    PhaseSeries() = default;
    explicit PhaseSeries(long double cyclesPerStep)
    {
        // The high part has 32 significant bits, so k * high is exact for k < 2^32.
        int exponent = 0;
        const long double mantissa = std::frexp(cyclesPerStep, &exponent);
        high_ = std::ldexp(std::trunc(std::ldexp(mantissa, 32)), exponent - 32);
        low_ = cyclesPerStep - high_;
        constexpr std::size_t kFine = 16;
        std::array<double, kFine> fineRe{}, fineIm{};
        for (std::size_t r = 0; r < kFine; ++r)
            turn(static_cast<std::int64_t>(r), fineRe[r], fineIm[r]);
        for (std::size_t j = 0; j < kBlock / kFine; ++j) {
            double coarseRe = 0, coarseIm = 0;
            turn(static_cast<std::int64_t>(j * kFine), coarseRe, coarseIm);
            for (std::size_t r = 0; r < kFine; ++r) {
                re_[j * kFine + r] = coarseRe * fineRe[r] - coarseIm * fineIm[r];
                im_[j * kFine + r] = coarseRe * fineIm[r] + coarseIm * fineRe[r];
            }
        }
    }

    // exp(2 pi i nu k) for k = first ... first + count - 1 (count <= kBlock).
    void fill(std::int64_t first, std::size_t count, double* re, double* im) const
    {
        double startRe = 0, startIm = 0;
        turn(first, startRe, startIm);
        for (std::size_t r = 0; r < count; ++r) {
            re[r] = startRe * re_[r] - startIm * im_[r];
            im[r] = startRe * im_[r] + startIm * re_[r];
        }
    }

    // The real part only: cos(2 pi nu k).
    void fillCos(std::int64_t first, std::size_t count, double* re) const
    {
        double startRe = 0, startIm = 0;
        turn(first, startRe, startIm);
        for (std::size_t r = 0; r < count; ++r)
            re[r] = startRe * re_[r] - startIm * im_[r];
    }

private:
    void turn(std::int64_t k, double& re, double& im) const
    {
        const auto steps = static_cast<long double>(k);
        long double phase = steps * high_;
        phase -= std::floor(phase);
        phase += steps * low_;
        phase -= std::floor(phase);
        const double angle = static_cast<double>(2 * std::numbers::pi_v<long double> * phase);
        re = std::cos(angle);
        im = std::sin(angle);
    }

    long double high_ = 0.0L;
    long double low_ = 0.0L;
    std::array<double, kBlock> re_{};
    std::array<double, kBlock> im_{};
};

} // namespace ravelle::model::detail
