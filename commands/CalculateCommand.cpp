#include <string>
#include <utility>

#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "commands/Parameters.h"
#include "commands/Reporting.h"
#include "engine/Synthesis.h"
#include "plot/PlotWindow.h"
#include "commands/Commands.h"

namespace ravelle {

namespace {

// The frame around the centre field; the sums are formed in extended
// precision and stored as doubles.
PlotFrame frameAroundCentre(const ProgramState& state, const SimulatedSpectrum& spectrum)
{
    const long double centre = state.CenterField;
    const double low = storeDouble(static_cast<long double>(spectrum.frameFieldLow) + centre);
    const double high = storeDouble(static_cast<long double>(spectrum.frameFieldHigh) + centre);
    return {low, high};
}

// Maps the first point in the new window, so that a window that cannot be
// mapped (the two ends equal after rounding) fails with the mapping's own
// error before anything visible has changed.
void checkWindowCanBeMapped(const ProgramState& state, const SimulatedSpectrum& spectrum, PlotFrame frame)
{
    const double firstField = spectrum.field.empty() ? frame.low : spectrum.field.front();
    fieldToX(plotWindowOf(frame), state.PlotWidth > 0 ? state.PlotWidth : 1,
             storeDouble(static_cast<long double>(firstField) + state.CenterField));
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

    // Everything that can fail runs on copies; the previous spectrum, window,
    // boxes and picture stay as they were until all of it has succeeded.
    SimulatedSpectrum spectrum = synthesize(synthesisInput(state));
    const PlotFrame frame = frameAroundCentre(state, spectrum);
    checkWindowCanBeMapped(state, spectrum, frame);

    publishSpectrum(state, std::move(spectrum));
    state.CalcCenterField = state.CenterField;
    state.CalcScale = state.MutualScale;
    SetPlotWindow(state, frame);
    writeBackParameters(state, host);
    host.redrawPlot();
}

} // namespace

void calculateCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForCalculation, [&] { runCalculate(state, host); });
}

} // namespace ravelle
