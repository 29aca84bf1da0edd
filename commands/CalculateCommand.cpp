#include <memory>
#include <string>
#include <utility>

#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "commands/Parameters.h"
#include "commands/PlotSteps.h"
#include "commands/Reporting.h"
#include "engine/Synthesis.h"
#include "plot/PlotScene.h"
#include "plot/PlotWindow.h"
#include "commands/Commands.h"

namespace ravelle {

namespace {

// The frame around the centre field; the sums are formed in extended
// precision and stored as doubles.
PlotFrame frameAroundCentre(double centreField, const SimulatedSpectrum& spectrum)
{
    const long double centre = centreField;
    const double low = storeDouble(static_cast<long double>(spectrum.frameFieldLow) + centre);
    const double high = storeDouble(static_cast<long double>(spectrum.frameFieldHigh) + centre);
    return {low, high};
}

void runCalculate(ProgramState& state, CommandHost& host)
{
    readLeadingParameters(state, host);
    if (!requiredParametersDefined(host)) {
        host.showNotice(std::string(messages::kMissingParameters));
        return;
    }
    state.CalcValid = true;
    readSynthesisParameters(state, host);

    // The synthesis and the new picture are made apart from the program
    // state, possibly on another thread: the previous spectrum, window, boxes
    // and picture stay as they were until all of it has succeeded. A window
    // that cannot be mapped (its two ends equal after rounding) fails in the
    // drawing, before anything visible has changed.
    const SynthesisInput input = synthesisInput(state);
    PlotScene scene;
    scene.size = host.plotSize();
    scene.centre = state.CenterField;
    scene.scale = state.MutualScale;
    setObservedTrace(scene, state);
    SimulatedSpectrum spectrum;
    PlotFrame frame;
    std::unique_ptr<PlotPicture> picture;
    host.runLongWork(messages::kCalculating, WorkShown::Quietly, [&](const Progress& progress) {
        spectrum = synthesize(input);
        frame = frameAroundCentre(scene.centre, spectrum);
        scene.window = plotWindowOf(frame);
        scene.calcField = spectrum.field;
        scene.calcIntensity = spectrum.intensity;
        picture = host.drawPlot(scene, progress);
    });

    publishSpectrum(state, std::move(spectrum));
    state.CalcCenterField = scene.centre;
    state.CalcScale = scene.scale;
    SetPlotWindow(state, frame);
    writeBackParameters(state, host);
    showPicture(state, host, scene.size, std::move(picture));
}

} // namespace

void calculateCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForCalculation, [&] { runCalculate(state, host); });
}

} // namespace ravelle
