#include <optional>
#include <string>
#include <utility>

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
    ProgramState window;
    SetPlotWindow(window, spectrum.endLow, spectrum.endHigh);
    const double span = storeDouble(static_cast<long double>(window.FrameFieldHigh) - window.FrameFieldLow);
    const char separator = host.decimalSeparator();
    const std::pair<const char*, std::string> boxTexts[] = {
        {"Edit1", formatFixed(window.FrameFieldLow, 2, separator)},
        {"Edit2", formatFixed(window.FrameFieldHigh, 2, separator)},
        {"Edit3", formatFixed(window.FrameIntLow, 2, separator)},
        {"Edit4", formatFixed(window.FrameIntHigh, 2, separator)},
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
    state.FrameFieldLow = window.FrameFieldLow;
    state.FrameFieldHigh = window.FrameFieldHigh;
    state.FrameIntLow = window.FrameIntLow;
    state.FrameIntHigh = window.FrameIntHigh;
    state.PlotFieldMin = window.PlotFieldMin;
    state.PlotFieldMax = window.PlotFieldMax;
    state.PlotIntMin = window.PlotIntMin;
    state.PlotIntMax = window.PlotIntMax;
    for (const auto& [box, text] : boxTexts)
        host.setBoxText(box, text);
    host.redrawPlot();
}

} // namespace

void importCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, kNoMemoryForObservedFile, [&] { runImport(state, host); });
}

} // namespace ravelle
