#include "plot/PlotScene.h"

#include <algorithm>
#include <cstddef>
#include <tuple>
#include <utility>
#include <vector>

namespace ravelle {

namespace {

// Entries first .. first + count - 1 of two arrays, cut to what both hold.
std::pair<std::span<const double>, std::span<const double>> points(const std::vector<double>& a,
                                                                    const std::vector<double>& b, std::size_t first,
                                                                    std::int64_t count)
{
    const std::size_t held = std::min(a.size(), b.size());
    if (count <= 0 || held <= first)
        return {};
    const std::size_t n = std::min(static_cast<std::size_t>(count), held - first);
    return {std::span<const double>(a).subspan(first, n), std::span<const double>(b).subspan(first, n)};
}

} // namespace

void setSimulatedTrace(PlotScene& scene, const ProgramState& state)
{
    scene.calcField = {};
    scene.calcIntensity = {};
    scene.baselineOffset = state.CalcBaselineOffset;
    scene.baselineSlope = state.CalcBaselineSlope;
    if (hasSimulatedSpectrum(state))
        std::tie(scene.calcField, scene.calcIntensity) =
            points(state.CalcField, state.CalcIntensity, 0, static_cast<std::int64_t>(state.CalcSpectrumPoints) + 1);
}

void setObservedTrace(PlotScene& scene, const ProgramState& state)
{
    scene.obsField = {};
    scene.obsIntensity = {};
    if (hasObservedSpectrum(state))
        std::tie(scene.obsField, scene.obsIntensity) = points(state.ObsField, state.ObsIntensity, 1, state.ObsCount);
}

PlotScene sceneOf(const ProgramState& state, PixelSize size)
{
    PlotScene scene;
    scene.size = size;
    scene.window = plotWindowOf(state);
    scene.centre = state.CalcCenterField;
    scene.scale = state.CalcScale;
    setSimulatedTrace(scene, state);
    setObservedTrace(scene, state);
    return scene;
}

} // namespace ravelle
