#include <optional>
#include <string>
#include <utility>

#include "engine/Messages.h"
#include "engine/BoxNumber.h"
#include "engine/FloatingPoint.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "plot/PlotWindow.h"
#include "commands/Commands.h"
#include "commands/Reporting.h"

namespace ravelle {

namespace {

void runImport(ProgramState& state, CommandHost& host)
{
    LoadLastDir(state);
    const std::optional<std::string> chosen = host.runOpenDialog(state.LastDir, "*.dat");
    if (!chosen)
        return;
    const std::string fileName = absoluteFileName(*chosen);
    StoreLastDir(state, fileName);

    ObservedSpectrum spectrum = importObservedSpectrum(fileName, host.decimalSeparator());
    // The window and the box texts are worked out apart first, so that a
    // failure there too leaves the program state and the boxes as they were.
    const PlotFrame frame{spectrum.endLow, spectrum.endHigh};
    const PlotWindow window = plotWindowOf(frame);
    const double span = storeDouble(static_cast<long double>(window.frameFieldHigh) - window.frameFieldLow);
    const char separator = host.decimalSeparator();
    const std::pair<const char*, std::string> boxTexts[] = {
        {"Edit1", formatFixed(window.frameFieldLow, 2, separator)},
        {"Edit2", formatFixed(window.frameFieldHigh, 2, separator)},
        {"Edit3", formatFixed(window.frameIntLow, 2, separator)},
        {"Edit4", formatFixed(window.frameIntHigh, 2, separator)},
        {"GCntr", formatFixed(spectrum.centerField, 2, separator)},
        {"G", formatFixed(span, 2, separator)},
        {"NoPnts", std::to_string(state.CalcPoints)},
    };

    // Everything worked: only now does the new spectrum replace the old.
    state.ObsFileName = fileName;
    state.ObsCount = spectrum.count;
    state.ObsField = std::move(spectrum.field);
    state.ObsIntensity = std::move(spectrum.intensity);
    state.ObsLoaded = true;
    state.ObsEndLow = spectrum.endLow;
    state.ObsEndHigh = spectrum.endHigh;
    state.CenterField = spectrum.centerField;
    // The last simulated trace is drawn, and saved, around the new centre
    // with the scale it was calculated with.
    state.CalcCenterField = state.CenterField;
    SetPlotWindow(state, frame);
    for (const auto& [box, text] : boxTexts)
        host.setBoxText(box, text);
    host.redrawPlot();
}

} // namespace

void importCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForObservedFile, [&] { runImport(state, host); });
}

} // namespace ravelle
