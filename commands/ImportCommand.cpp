#include <charconv>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "engine/Messages.h"
#include "engine/BoxNumber.h"
#include "engine/FloatingPoint.h"
#include "io/ColumnMemory.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "io/formats/SpectrumFile.h"
#include "io/formats/TextScan.h"
#include "plot/PlotScene.h"
#include "plot/PlotWindow.h"
#include "commands/Commands.h"
#include "commands/PlotSteps.h"
#include "commands/Reporting.h"

namespace ravelle {

namespace {

// The Model window's frequency field as the import fills it: GHz to the
// hertz, without trailing zeros, with the boxes' decimal separator.
std::string frequencyText(double gigahertz, char separator)
{
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, gigahertz, std::chars_format::fixed, 9);
    std::string result(text, error == std::errc() ? end : text);
    while (!result.empty() && result.back() == '0')
        result.pop_back();
    if (!result.empty() && result.back() == '.')
        result.pop_back();
    for (char& c : result)
        if (c == '.')
            c = separator;
    return result;
}

// One import: the file is read, normalised and drawn apart from the program
// state, possibly on another thread, so that a failure or a cancel leaves
// the state, the boxes and the picture as they were.
class Import {
public:
    Import(ProgramState& state, CommandHost& host, std::string fileName)
        : state_(state), host_(host), fileName_(std::move(fileName)), separator_(host.decimalSeparator())
    {
        // The last simulated trace is drawn around the new centre with the
        // scale it was made with.
        scene_.size = host.plotSize();
        scene_.scale = state.CalcScale;
        setSimulatedTrace(scene_, state);
    }

    void run()
    {
        const std::string title = messages::importing(fileName_);
        bool choosing = false;
        host_.runLongWork(title, WorkShown::WithProgress, [&](const Progress& progress) {
            raw_ = formats::readSpectrumFile(fileName_, {}, reading(progress));
            choosing = raw_ && offersColumns(*raw_);
            if (!choosing)
                takeAndDraw(progress);
        });
        std::optional<std::size_t> chosen;
        if (choosing) {
            chosen = chooseColumn();
            if (!chosen)
                return;
            host_.runLongWork(title, WorkShown::WithProgress, [&](const Progress& progress) {
                if (*chosen != raw_->table->intensityColumn)
                    raw_ = formats::readSpectrumFile(fileName_, {*chosen, raw_->table->fieldColumn, {}}, reading(progress));
                takeAndDraw(progress);
            });
        }
        publish();
        if (chosen && raw_ && raw_->table && raw_->table->intensityColumn == *chosen)
            rememberColumn(state_, raw_->table->headerSignature, *chosen);
        if (raw_ && !raw_->notices.empty()) {
            std::string notices;
            for (const std::string& notice : raw_->notices)
                notices += (notices.empty() ? "" : "\n\n") + notice;
            host_.showNotice(notices);
        }
    }

private:
    static constexpr double kReadShare = 0.9; // of the progress; the drawing takes the rest

    static std::function<void(double)> reading(const Progress& progress)
    {
        return [&progress](double done) { progress(kReadShare * done); };
    }

    static bool offersColumns(const formats::RawSpectrum& raw)
    {
        return raw.table && raw.table->intensityCandidates.size() > 1;
    }

    // The column the user picks, starting from the one picked last for
    // tables with this header, else the first.
    std::optional<std::size_t> chooseColumn() const
    {
        const formats::TableColumns& table = *raw_->table;
        ColumnChoice choice{formats::baseName(fileName_), table.labels, table.fieldColumn,
                            table.intensityCandidates, table.intensityCandidates.front()};
        const auto remembered = rememberedColumn(state_, table.headerSignature);
        for (const std::size_t column : table.intensityCandidates)
            if (column == remembered)
                choice.preselected = column;
        return host_.chooseIntensityColumn(choice);
    }

    // The spectrum of a spectrometer's file, or else of the plain
    // two-column text, normalised; then its picture.
    void takeAndDraw(const Progress& progress)
    {
        if (raw_) {
            spectrum_ = formats::asObservedSpectrum(*raw_);
            raw_->field = {};
            raw_->intensity = {};
            normaliseObservedSpectrum(spectrum_);
        } else {
            spectrum_ = importObservedSpectrum(fileName_, separator_, reading(progress));
        }
        progress(kReadShare);
        frame_ = {spectrum_.endLow, spectrum_.endHigh};
        scene_.window = plotWindowOf(frame_);
        scene_.centre = spectrum_.centerField;
        const auto count = static_cast<std::size_t>(spectrum_.count);
        scene_.obsField = std::span<const double>(spectrum_.field).subspan(1, count);
        scene_.obsIntensity = std::span<const double>(spectrum_.intensity).subspan(1, count);
        picture_ = host_.drawPlot(scene_, [&](double done) { progress(kReadShare + (1 - kReadShare) * done); });
    }

    // Everything worked: only now does the new spectrum replace the old.
    void publish()
    {
        const PlotWindow& window = scene_.window;
        const double span = storeDouble(static_cast<long double>(window.frameFieldHigh) - window.frameFieldLow);
        const std::pair<const char*, std::string> boxTexts[] = {
            {"Edit1", formatFixed(window.frameFieldLow, 2, separator_)},
            {"Edit2", formatFixed(window.frameFieldHigh, 2, separator_)},
            {"Edit3", formatFixed(window.frameIntLow, 2, separator_)},
            {"Edit4", formatFixed(window.frameIntHigh, 2, separator_)},
            {"GCntr", formatFixed(spectrum_.centerField, 2, separator_)},
            {"G", formatFixed(span, 2, separator_)},
            {"NoPnts", std::to_string(state_.CalcPoints)},
        };
        ModelTexts model = host_.modelTexts();
        if (raw_ && raw_->frequencyGHz)
            model.frequency = frequencyText(*raw_->frequencyGHz, separator_);

        state_.ObsFileName = fileName_;
        state_.ObsCount = spectrum_.count;
        state_.ObsField = std::move(spectrum_.field);
        state_.ObsIntensity = std::move(spectrum_.intensity);
        state_.ObsLoaded = true;
        state_.ObsEndLow = spectrum_.endLow;
        state_.ObsEndHigh = spectrum_.endHigh;
        state_.CenterField = spectrum_.centerField;
        state_.CalcCenterField = spectrum_.centerField;
        SetPlotWindow(state_, frame_);
        for (const auto& [box, text] : boxTexts)
            host_.setBoxText(box, text);
        if (raw_ && raw_->frequencyGHz)
            host_.setModelTexts(model);
        showPicture(state_, host_, scene_.size, std::move(picture_));
    }

    ProgramState& state_;
    CommandHost& host_;
    const std::string fileName_;
    const char separator_;
    PlotScene scene_;
    std::optional<formats::RawSpectrum> raw_;
    ObservedSpectrum spectrum_;
    PlotFrame frame_;
    std::unique_ptr<PlotPicture> picture_;
};

void runImport(ProgramState& state, CommandHost& host)
{
    LoadLastDir(state);
    const std::optional<std::string> chosen = host.runOpenDialog(state.LastDir, "*.dat");
    if (!chosen)
        return;
    const std::string fileName = absoluteFileName(*chosen);
    StoreLastDir(state, fileName);
    Import(state, host, fileName).run();
}

} // namespace

void importCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForObservedFile, [&] { runImport(state, host); });
}

} // namespace ravelle
