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
struct FieldEnds {
    double low;
    double high;
};

FieldEnds frameAroundCentre(const ProgramState& state, const SimulatedSpectrum& spectrum)
{
    const long double centre = state.CenterField;
    const double low = storeDouble(static_cast<long double>(spectrum.frameFieldLow) + centre);
    const double high = storeDouble(static_cast<long double>(spectrum.frameFieldHigh) + centre);
    return {low, high};
}

// Sets the new window on a scratch state and maps the first point there, so
// a window that cannot be mapped (the two ends equal after rounding) fails
// with the mapping's own error before anything visible has changed.
void checkWindowCanBeMapped(const ProgramState& state, const SimulatedSpectrum& spectrum, FieldEnds ends)
{
    ProgramState scratch;
    scratch.PlotWidth = state.PlotWidth > 0 ? state.PlotWidth : 1;
    scratch.PlotHeight = state.PlotHeight > 0 ? state.PlotHeight : 1;
    SetPlotWindow(scratch, ends.low, ends.high);
    const double firstField = spectrum.field.empty() ? ends.low : spectrum.field.front();
    FieldToX(scratch, storeDouble(static_cast<long double>(firstField) + state.CenterField));
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
    const FieldEnds ends = frameAroundCentre(state, spectrum);
    checkWindowCanBeMapped(state, spectrum, ends);

    publishSpectrum(state, std::move(spectrum));
    SetPlotWindow(state, ends.low, ends.high);
    writeBackParameters(state, host);
    host.redrawPlot();
}

} // namespace

void calculateCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, kNoMemoryForCalculation, [&] { runCalculate(state, host); });
}

} // namespace ravelle
