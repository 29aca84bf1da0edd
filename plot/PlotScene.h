#pragma once

#include <cstdint>
#include <span>

#include "engine/ProgramState.h"
#include "plot/PlotWindow.h"

// What a redraw draws, apart from where it comes from: the program state
// after a command, or the new spectrum and window a command is about to
// publish. No Qt here.
namespace ravelle {

// The plot raster's size in pixels (PlotWidth, PlotHeight).
struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Everything a redraw reads; the arrays are views into spectra held
// elsewhere, which must outlive the scene.
struct PlotScene {
    PixelSize size;
    PlotWindow window;
    // The simulated trace, every point of the views: the field centre +
    // calcField[i], the intensity scale * calcIntensity[i] + baselineOffset +
    // baselineSlope * calcField[i] (tracedIntensity). None when empty.
    std::span<const double> calcField;
    std::span<const double> calcIntensity;
    double centre = 0.0;
    double scale = 0.0;
    double baselineOffset = 0.0;
    double baselineSlope = 0.0; // per gauss
    // The observed trace, every point of the views. None when empty.
    std::span<const double> obsField;
    std::span<const double> obsIntensity;
};

// The simulated points 0 .. CalcSpectrumPoints of the state, never beyond
// what its arrays hold, and the baseline they were made with; empty while
// there is no simulated spectrum.
void setSimulatedTrace(PlotScene& scene, const ProgramState& state);
// The observed points 1 .. ObsCount of the state, never beyond what its
// arrays hold; empty while there is no observed spectrum.
void setObservedTrace(PlotScene& scene, const ProgramState& state);

// The scene RedrawPlot draws: the state's window, its simulated trace around
// CalcCenterField scaled by CalcScale with its baseline, and its observed
// trace.
PlotScene sceneOf(const ProgramState& state, PixelSize size);

// A drawn plot that is not on screen yet; what it holds is the host's affair.
class PlotPicture {
public:
    virtual ~PlotPicture() = default;
};

} // namespace ravelle
