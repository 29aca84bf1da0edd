#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/HyperfineLines.h"
#include "engine/LineShape.h"
#include "engine/Rotation.h"

// The coefficients of a stick spectrum's sum of line shapes as a Fourier
// series, built a chunk of frequencies at a time.
namespace ravelle {

// Frequencies worked on at a time, within the L1 cache.
inline constexpr std::size_t kFourierChunk = 512;

// The arrays of one chunk of frequencies, named by the enumeration `Name`
// (whose last member is Count). They lie a little more than a chunk apart:
// arrays a multiple of 4 KiB apart would make loads wait on unrelated stores.
template <typename Name>
class ChunkArrays {
public:
    ChunkArrays() : storage_(new double[static_cast<std::size_t>(Name::Count) * kStride]) {}
    double* operator[](Name name) { return storage_.get() + static_cast<std::size_t>(name) * kStride; }

private:
    static constexpr std::size_t kStride = kFourierChunk + 24;
    std::unique_ptr<double[]> storage_;
};

// With f = k / period and P(f) the stick spectrum's transform (the common
// factor of every line times one factor per group of equivalent nuclei), the
// sum of the line shapes has i A_k exp(2 pi i k x / period) + c.c. with
//   A_k = fourierScale / period * 2 pi f * E(f) * P(f),
// E the shape's envelope; the shape's majorant summed over the lines has
//   majorantFourierScale / period * M(f) * P(f).
class FourierCoefficients {
public:
    enum class Array {
        Frequency,         // k
        StickTransform,    // P_k
        StickBound,        // a bound on |P_k| and its error (tight bounds only)
        StickError,        // a bound on the error of P_k
        ShapeEnvelope,     // E_k
        UnitAmplitude,     // A_k / P_k
        Amplitude,         // A_k
        Magnitude,         // |A_k|
        Error,             // a bound on the error of A_k
        MajorantEnvelope,  // M_k
        MajorantAmplitude, // the majorant's coefficient
        MajorantMagnitude, // its magnitude
        MajorantError,     // a bound on its error
        Count
    };

    // Frequencies k = 0 ... `frequencies`; `tight` bounds follow every
    // coefficient rather than the largest possible product; `majorant` adds
    // the majorant's coefficients.
    FourierCoefficients(const HyperfineLines& lines, const LineShape& shape, long double period,
                        std::int64_t frequencies, bool tight, bool majorant);

    // Works out the next chunk; returns its first frequency in `first` and
    // its size (0 at the end).
    std::size_t next(std::int64_t& first);

    // The chunk's count rounded up to whole rotation blocks (rotations fill that many).
    std::size_t filled() const { return filled_; }
    const double* operator[](Array which) { return arrays_[which]; }
    // The majorant's coefficient at f = 0, counted once.
    double majorantAtZero(double lineCount) const { return majorantBase_ * lineCount / static_cast<double>(scale_); }

private:
    const LineShape& shape_;
    long double period_;
    std::int64_t frequencies_;
    bool tight_;
    bool majorant_;
    ChunkArrays<Array> arrays_;
    long double scale_;
    const std::vector<EquivalentNuclei>& groups_;
    std::vector<Rotation> rotations_;
    std::vector<double> factorError_;
    int factorCount_ = 0;
    double outerFactor_ = 1.0; // the largest magnitude of the factors' product
    double productRounding_ = 0, crudeError_ = 0, base_ = 0, majorantBase_ = 0;
    std::int64_t next_ = 0;
    std::size_t filled_ = 0;
};

} // namespace ravelle
