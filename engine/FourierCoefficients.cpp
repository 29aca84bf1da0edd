#include "engine/FourierCoefficients.h"

#include <algorithm>
#include <numbers>

#include "engine/FastMath.h"
#include "engine/FourierKernels.h"

namespace ravelle {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr double kEpsilon = 0x1p-53;

// What every line shares of the stick spectrum's transform: a hydrogen gives
// 2 cos(pi f a), a nitrogen 1 + 2 cos(2 pi f b), so each hydrogen brings a
// factor 2 and a nitrogen of constant zero a factor 3.
long double commonFactor(const HyperfineLines& lines)
{
    long double scale = 1.0L;
    for (const HyperfineStage& stage : lines.stages()) {
        if (!stage.nitrogen)
            scale *= 2;
        else if (stage.offset == 0.0L)
            scale *= 3;
    }
    return scale;
}

} // namespace

FourierCoefficients::FourierCoefficients(const HyperfineLines& lines, const LineShape& shape, long double period,
                                         std::int64_t frequencies, bool tight, bool majorant)
    : shape_(shape), period_(period), frequencies_(frequencies), tight_(tight), majorant_(majorant),
      scale_(commonFactor(lines)), groups_(lines.equivalentNuclei())
{
    rotations_.reserve(groups_.size());
    for (const auto& group : groups_) {
        const long double cycles = group.offset / period;
        rotations_.emplace_back(cycles);
        factorCount_ += group.count;
        for (int c = 0; c < group.count; ++c)
            outerFactor_ *= group.nitrogen ? 3.0 : 1.0;
        // A cosine is off by a few roundings and by its phase error, which
        // grows with the frequency from the rounding of nu.
        const double phase =
            2.0 * std::numbers::pi * static_cast<double>(cycles) * static_cast<double>(frequencies) * 0x1p-61;
        const double cosine = 6.0 * kEpsilon + phase;
        factorError_.push_back(group.nitrogen ? 2.0 * cosine + kEpsilon : cosine);
    }
    productRounding_ = (factorCount_ + 2.0) * kEpsilon;
    crudeError_ = productRounding_ * outerFactor_;
    for (std::size_t g = 0; g < groups_.size(); ++g)
        crudeError_ += groups_[g].count * factorError_[g] * outerFactor_;
    base_ = static_cast<double>(scale_ * shape.fourierScale() * 2 * kPi / (period * period));
    majorantBase_ = static_cast<double>(scale_ * shape.majorantFourierScale() / period);
}

std::size_t FourierCoefficients::next(std::int64_t& first)
{
    first = next_;
    if (first > frequencies_)
        return 0;
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kFourierChunk, frequencies_ + 1 - first));
    next_ += static_cast<std::int64_t>(count);
    filled_ = (count + kRotationBlock - 1) / kRotationBlock * kRotationBlock;
    double* stickTransform = arrays_[Array::StickTransform];
    double* stickBound = arrays_[Array::StickBound];
    // stickBound = prod (|factor| + its error) >= |P|: its excess over |P|
    // bounds the error of P.
    std::fill_n(stickTransform, filled_, 1.0);
    std::fill_n(stickBound, filled_, tight_ ? 1.0 : outerFactor_);
    for (std::size_t g = 0; g < groups_.size(); ++g)
        rotations_[g].multiplyFactor(first, filled_, groups_[g].nitrogen, groups_[g].count, factorError_[g],
                                     stickTransform, tight_ ? stickBound : nullptr);
    double* frequency = arrays_[Array::Frequency];
    double* shapeEnvelope = arrays_[Array::ShapeEnvelope];
    frequencyList(frequency, first, count);
    shape_.envelopeExponents(frequency, shapeEnvelope, count, period_);
    expNonPositive(shapeEnvelope, shapeEnvelope, count);
    amplitudes(count, frequency, base_, tight_ ? productRounding_ : -1.0, crudeError_, shapeEnvelope, stickTransform,
               stickBound, arrays_[Array::UnitAmplitude], arrays_[Array::StickError], arrays_[Array::Amplitude],
               arrays_[Array::Magnitude], arrays_[Array::Error]);
    if (majorant_) {
        shape_.majorantEnvelope(shapeEnvelope, arrays_[Array::MajorantEnvelope], count);
        majorantAmplitudes(count, majorantBase_, arrays_[Array::MajorantEnvelope], stickTransform,
                           arrays_[Array::StickError], arrays_[Array::MajorantAmplitude],
                           arrays_[Array::MajorantMagnitude], arrays_[Array::MajorantError]);
    }
    if (first == 0) { // f = 0 is no pair of frequencies: the sum has none, the majorant is P(0) = M
        for (const Array which : {Array::Amplitude, Array::Magnitude, Array::Error, Array::MajorantAmplitude,
                                  Array::MajorantMagnitude, Array::MajorantError})
            arrays_[which][0] = 0.0;
    }
    return count;
}

} // namespace ravelle
