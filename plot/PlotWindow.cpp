#include "plot/PlotWindow.h"

#include <limits>
#include <tuple>
#include <string>

#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

constexpr long double kFieldMargin = 0.012L;
constexpr long double kIntensityMargin = 0.025L;
constexpr double kFrameIntensity = 1.1;

// The quotient of a mapping when the window has no extent: the division
// itself raises the flag, so the message is the runtime's own (division by
// zero, or invalid operation for 0 / 0).
[[noreturn]] void throwEmptyWindow(long double numerator)
{
    clearFloatingPointErrors();
    floatingPointBarrier(floatingPointBarrier(numerator) / floatingPointBarrier(0.0L));
    throwOnFloatingPointError();
    // Only reached if the flags were not raised (they always are on x86).
    throw UserError(std::string(numerator == 0.0L ? messages::kInvalidOperation : messages::kDivisionByZero));
}

// Rounds to nearest with ties to even, then limits to the signed 32-bit
// range: within it nothing is clamped, beyond it the handling is free and
// the line drawing clips exactly anyway.
std::int64_t roundToPixel(long double value)
{
    constexpr long double kLow = static_cast<long double>(std::numeric_limits<std::int32_t>::min());
    constexpr long double kHigh = static_cast<long double>(std::numeric_limits<std::int32_t>::max());
    if (!(value >= kLow)) // also catches NaN, which is never stored
        return std::numeric_limits<std::int32_t>::min();
    if (value > kHigh)
        return std::numeric_limits<std::int32_t>::max();
    // Adding 2^63 leaves no fraction bits in the 64-bit significand, so the
    // sum is rounded in the default mode, to nearest with ties to even
    // (nearbyint does the same but costs a library call per point).
    constexpr long double kShift = 9223372036854775808.0L;
    const long double magnitude = value < 0 ? -value : value;
    const long double rounded = (magnitude + kShift) - kShift;
    return static_cast<std::int64_t>(value < 0 ? -rounded : rounded);
}

std::int64_t mapToPixel(long double value, long double windowMin, long double windowMax, std::int32_t pixels)
{
    const long double numerator = (value - windowMin) * static_cast<long double>(pixels);
    const long double extent = windowMax - windowMin;
    if (extent == 0.0L)
        throwEmptyWindow(numerator);
    return roundToPixel(numerator / extent);
}

std::int32_t clampToInt32(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

// The state's frame and window variables and a window's values, in one order.
template <typename State>
auto windowVariables(State& state)
{
    return std::tie(state.FrameFieldLow, state.FrameFieldHigh, state.FrameIntLow, state.FrameIntHigh,
                    state.PlotFieldMin, state.PlotFieldMax, state.PlotIntMin, state.PlotIntMax);
}

template <typename Window>
auto windowValues(Window& window)
{
    return std::tie(window.frameFieldLow, window.frameFieldHigh, window.frameIntLow, window.frameIntHigh,
                    window.fieldMin, window.fieldMax, window.intMin, window.intMax);
}

} // namespace

PlotWindow plotWindowOf(PlotFrame frame)
{
    PlotWindow window;
    window.frameFieldLow = frame.low;
    window.frameFieldHigh = frame.high;
    window.frameIntLow = -kFrameIntensity;
    window.frameIntHigh = kFrameIntensity;

    const long double fieldLow = window.frameFieldLow;
    const long double fieldHigh = window.frameFieldHigh;
    const long double intLow = window.frameIntLow;
    const long double intHigh = window.frameIntHigh;
    // Fields of the order of 1e308 can overflow when the margins are added;
    // that ends the command like any other overflow.
    window.fieldMin = storeDouble(fieldLow - (fieldHigh - fieldLow) * kFieldMargin);
    window.fieldMax = storeDouble(fieldHigh + (fieldHigh - fieldLow) * kFieldMargin);
    window.intMin = storeDouble(intLow - (intHigh - intLow) * kIntensityMargin);
    window.intMax = storeDouble(intHigh + (intHigh - intLow) * kIntensityMargin);
    return window;
}

PlotWindow plotWindowOf(const ProgramState& state)
{
    PlotWindow window;
    windowValues(window) = windowVariables(state);
    return window;
}

void SetPlotWindow(ProgramState& state, PlotFrame frame)
{
    const PlotWindow window = plotWindowOf(frame);
    windowVariables(state) = windowValues(window);
}

std::int32_t fieldToX(const PlotWindow& window, std::int32_t width, double f)
{
    return clampToInt32(mapToPixel(f, window.fieldMin, window.fieldMax, width));
}

std::int32_t intensityToY(const PlotWindow& window, std::int32_t height, double v)
{
    const std::int64_t fromBottom = mapToPixel(v, window.intMin, window.intMax, height);
    return clampToInt32(static_cast<std::int64_t>(height) - fromBottom);
}

std::int32_t FieldToX(const ProgramState& state, double f)
{
    return fieldToX(plotWindowOf(state), state.PlotWidth, f);
}

std::int32_t IntensityToY(const ProgramState& state, double v)
{
    return intensityToY(plotWindowOf(state), state.PlotHeight, v);
}

} // namespace ravelle
