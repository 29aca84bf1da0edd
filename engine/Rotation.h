#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

// exp(2 pi i nu k) for long runs of consecutive k, accurate to about one
// rounding of a double however large nu k grows: the cosines and sines of
// a Fourier series, and the factors of a stick spectrum's transform.
namespace ravelle {

// Rotations come in blocks of this many consecutive k; one table of
// rotations within a block serves every block.
inline constexpr std::size_t kRotationBlock = 64;

// Every block starts from a phase reduced exactly in extended precision;
// inside a block one product with a tabulated rotation adds about one
// rounding.
class Rotation {
public:
    explicit Rotation(long double cyclesPerStep);

    // Fills cosines (and sines when `sine` is given) for k = first ... first + count - 1;
    // count is a multiple of the block.
    void fill(std::int64_t first, std::size_t count, double* cosine, double* sine);

    // Multiplies product[k] by the factor cos(2 pi nu k) (hydrogen) or
    // 1 + 2 cos(2 pi nu k) (nitrogen), `repeats` times, and bound[k] by
    // |factor| + error (when given), for k = first ... first + count - 1;
    // count is a multiple of the block.
    void multiplyFactor(std::int64_t first, std::size_t count, bool nitrogen, int repeats, double error,
                        double* product, double* bound);

private:
    std::pair<double, double> blockStart(std::int64_t k);
    void unitRotation(std::int64_t k, long double& re, long double& im) const;

    long double high_ = 0, low_ = 0;
    double re_[kRotationBlock] = {};
    double im_[kRotationBlock] = {};
    long double blockRe_ = 1, blockIm_ = 0;
    long double baseRe_ = 1, baseIm_ = 0;
    std::int64_t nextBlock_ = -1;
    int stepsSinceExact_ = 0;
};

} // namespace ravelle
