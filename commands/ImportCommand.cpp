#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "engine/Messages.h"
#include "engine/BoxNumber.h"
#include "engine/FloatingPoint.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "plot/PlotScene.h"
#include "plot/PlotWindow.h"
#include "commands/Commands.h"
#include "commands/PlotSteps.h"
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

    // The file is read, normalised and drawn apart from the program state,
    // possibly on another thread, so that a failure or a cancel leaves the
    // state, the boxes and the picture as they were. The last simulated
    // trace is drawn around the new centre with the scale it was made with.
    const char separator = host.decimalSeparator();
    PlotScene scene;
    scene.size = host.plotSize();
    scene.scale = state.CalcScale;
    setSimulatedTrace(scene, state);
    ObservedSpectrum spectrum;
    PlotFrame frame;
    std::unique_ptr<PlotPicture> picture;
    host.runLongWork(messages::importing(fileName), WorkShown::WithProgress, [&](const Progress& progress) {
        constexpr double kReadShare = 0.9; // of the progress; the drawing takes the rest
        spectrum = importObservedSpectrum(fileName, separator, [&](double done) { progress(kReadShare * done); });
        progress(kReadShare);
        frame = {spectrum.endLow, spectrum.endHigh};
        scene.window = plotWindowOf(frame);
        scene.centre = spectrum.centerField;
        const auto count = static_cast<std::size_t>(spectrum.count);
        scene.obsField = std::span<const double>(spectrum.field).subspan(1, count);
        scene.obsIntensity = std::span<const double>(spectrum.intensity).subspan(1, count);
        picture = host.drawPlot(scene, [&](double done) { progress(kReadShare + (1 - kReadShare) * done); });
    });

    const PlotWindow& window = scene.window;
    const double span = storeDouble(static_cast<long double>(window.frameFieldHigh) - window.frameFieldLow);
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
    state.CalcCenterField = spectrum.centerField;
    SetPlotWindow(state, frame);
    for (const auto& [box, text] : boxTexts)
        host.setBoxText(box, text);
    showPicture(state, host, scene.size, std::move(picture));
}

} // namespace

void importCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForObservedFile, [&] { runImport(state, host); });
}

} // namespace ravelle
