#include "engine/model/ModelSynthesis.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/model/Evaluation.h"

namespace ravelle::model {

namespace {

[[noreturn]] void refuse(std::string_view message)
{
    throw UserError(std::string(message));
}

} // namespace

SimulatedSpectrum synthesizeModel(const Model& model, double displayRange, std::int32_t points)
{
    if (points < 0 || points > kMaxCalcPoints)
        refuse(ravelle::messages::kPointCountOutOfRange);
    if (!std::isfinite(displayRange))
        refuse(messages::kInvalidOperation);
    validateModel(model);
    if (points == 0) // the grid step G / N
        refuse(displayRange == 0.0 ? messages::kInvalidOperation : messages::kDivisionByZero);
    if (displayRange == 0.0) // every point at the centre: a flat sum
        refuse(messages::kInvalidOperation);

    SimulatedSpectrum spectrum;
    spectrum.points = points;
    spectrum.frameFieldLow = -displayRange / 2;
    spectrum.frameFieldHigh = displayRange / 2;
    const auto count = static_cast<std::size_t>(points) + 1;
    // Room for the entries the published arrays carry beyond the points.
    spectrum.field.reserve(count + 9);
    spectrum.field.resize(count);
    const long double step = static_cast<long double>(displayRange) / points;
    for (std::size_t i = 0; i < count; ++i)
        spectrum.field[i] = static_cast<double>(step * static_cast<long double>(i) + spectrum.frameFieldLow);

    const UniformGrid grid{spectrum.frameFieldLow, static_cast<double>(step), static_cast<std::int64_t>(count)};
    ModelValues values = evaluateModel(model, grid);
    spectrum.intensity = std::move(values.value);
    spectrum.intensity.reserve(count + 9);

    const RawExtremes extremes = rawExtremes(spectrum.intensity);
    spectrum.rawLow = extremes.low;
    spectrum.rawHigh = extremes.high;
    // A sum no higher than its own error bound is flat as far as anyone can
    // tell (every line too far from the grid): scaling its rounding up to a
    // height of 2 would show noise as a spectrum.
    const double span = extremes.high - extremes.low;
    if (!(span > values.errorBound))
        refuse(messages::kInvalidOperation);
    if (!std::isfinite(span))
        refuse(messages::kOverflow);
    for (double& value : spectrum.intensity)
        value = 2 * value / span;
    return spectrum;
}

} // namespace ravelle::model
