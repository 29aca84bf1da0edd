#include <new>
#include <optional>
#include <string>

#include "engine/BoxNumber.h"
#include "engine/UserError.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "plot/PlotWindow.h"
#include "ui/Commands.h"

namespace ravelle {

void importCommand(ProgramState& state, CommandHost& host)
{
    try {
        LoadLastDir(state);
        const std::optional<std::string> chosen = host.runOpenDialog(state.LastDir, "*.dat");
        if (!chosen)
            return;
        const std::string fileName = absoluteFileName(*chosen);
        StoreLastDir(state, fileName);

        ObservedSpectrum spectrum = importObservedSpectrum(fileName, host.decimalSeparator());
        // The window is worked out apart first, so that a failure there too
        // leaves the program state as it was.
        ProgramState window;
        SetPlotWindow(window, spectrum.endLow, spectrum.endHigh);

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

        const char separator = host.decimalSeparator();
        const double span = static_cast<double>(static_cast<long double>(state.FrameFieldHigh) - state.FrameFieldLow);
        host.setBoxText("Edit1", formatFixed(state.FrameFieldLow, 2, separator));
        host.setBoxText("Edit2", formatFixed(state.FrameFieldHigh, 2, separator));
        host.setBoxText("Edit3", formatFixed(state.FrameIntLow, 2, separator));
        host.setBoxText("Edit4", formatFixed(state.FrameIntHigh, 2, separator));
        host.setBoxText("GCntr", formatFixed(state.CenterField, 2, separator));
        host.setBoxText("G", formatFixed(span, 2, separator));
        host.setBoxText("NoPnts", std::to_string(state.CalcPoints));
        host.redrawPlot();
    } catch (const UserError& error) {
        host.showError(error.message());
    } catch (const std::bad_alloc&) {
        host.showError(std::string(kNoMemoryForObservedFile));
    }
}

} // namespace ravelle
