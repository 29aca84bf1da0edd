#include <memory>
#include <string>
#include <utility>

#include "commands/Commands.h"
#include "commands/ModelReading.h"
#include "commands/Parameters.h"
#include "commands/PlotSteps.h"
#include "commands/Reporting.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/model/ModelSynthesis.h"
#include "plot/PlotScene.h"
#include "plot/PlotWindow.h"

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

// The document's Gaussian synthesis where the Model window asks for nothing
// beyond it, so that such a spectrum stays exactly what it has always been;
// the general model otherwise.
SimulatedSpectrum synthesizeWith(const ModelSettings& model, const SynthesisInput& input)
{
    if (model.isDocumentModel())
        return synthesize(input);
    return model::synthesizeModel(buildModel(model, input.couplingH, input.couplingN, input.sigma),
                                  input.displayRange, input.points);
}

void runCalculate(ProgramState& state, CommandHost& host)
{
    readLeadingParameters(state, host);
    const ModelTexts modelTexts = host.modelTexts();
    if (!requiredParametersDefined(host, modelTexts)) {
        host.showNotice(std::string(messages::kMissingParameters));
        return;
    }
    state.CalcValid = true;
    readSynthesisParameters(state, host);
    // The Model window is read with the boxes, at this moment only; a shift
    // given as a g-value is measured from the centre field just read.
    const ModelSettings model = readModelSettings(modelTexts, host.decimalSeparator(), state.CenterField);

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
    scene.baselineOffset = model.baselineOffset;
    scene.baselineSlope = model.baselineSlope;
    setObservedTrace(scene, state);
    SimulatedSpectrum spectrum;
    PlotFrame frame;
    std::unique_ptr<PlotPicture> picture;
    host.runLongWork(messages::kCalculating, WorkShown::Quietly, [&](const Progress& progress) {
        spectrum = synthesizeWith(model, input);
        frame = frameAroundCentre(scene.centre, spectrum);
        scene.window = plotWindowOf(frame);
        scene.calcField = spectrum.field;
        scene.calcIntensity = spectrum.intensity;
        picture = host.drawPlot(scene, progress);
    });

    publishSpectrum(state, std::move(spectrum));
    state.CalcCenterField = scene.centre;
    state.CalcScale = scene.scale;
    state.CalcBaselineOffset = scene.baselineOffset;
    state.CalcBaselineSlope = scene.baselineSlope;
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
