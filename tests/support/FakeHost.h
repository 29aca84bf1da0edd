#pragma once

#include <QImage>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"

namespace ravelle::testing {

// A CommandHost on plain strings: the thirty boxes with their initial texts,
// recorded notices and errors, scripted dialog answers and a real raster.
class FakeHost : public CommandHost {
public:
    explicit FakeHost(ProgramState& state, char separator = '.');

    std::string boxText(std::string_view box) const override;
    void setBoxText(std::string_view box, const std::string& text) override;
    ModelTexts modelTexts() const override { return model; }
    void setModelTexts(const ModelTexts& texts) override { model = texts; }
    char decimalSeparator() const override { return separator; }
    void showNotice(const std::string& message) override
    {
        notices.push_back(message);
        log.push_back("notice: " + message);
    }
    void showError(const std::string& message) override
    {
        errors.push_back(message);
        log.push_back("error: " + message);
    }
    void runLongWork(std::string_view title, WorkShown shown,
                     const std::function<void(const Progress&)>& work) override;
    PixelSize plotSize() const override;
    std::unique_ptr<PlotPicture> drawPlot(const PlotScene& scene, const Progress& progress) const override;
    void showPlot(std::unique_ptr<PlotPicture> picture) override;

    // Repaints the raster from the program state, as the window would
    // (RedrawPlot); counts as a redraw.
    void redrawPlot();
    std::optional<std::string> runOpenDialog(const std::string& initialDir,
                                             const std::string& fileName) override;
    std::optional<std::string> runSaveDialog(const std::string& initialDir,
                                             const std::string& fileName) override;

    // Records the choice and answers from columnAnswers; with none left,
    // the preselected column, as Return in the dialog gives it.
    std::optional<std::size_t> chooseIntensityColumn(const ColumnChoice& choice) override;

    // Sets several boxes at once: {{"H1", "1.5"}, {"G", "30"}}.
    void setBoxes(const std::map<std::string, std::string>& texts);

    ProgramState& state;
    char separator;
    ModelTexts model; // the Model window's content
    std::map<std::string, std::string, std::less<>> boxes;
    std::vector<std::string> notices;
    std::vector<std::string> errors;
    int redrawCount = 0;
    QImage raster; // null until the first picture is shown; 857 x 497 unless set before

    // Long work runs inline. Each run is recorded with the number of
    // progress reports it made. A scripted cancel: report `cancelAtReport`
    // (0 the first) of run `cancelInWork` (0 the next one) throws
    // WorkCancelled, as a user pressing Cancel would; both are reset when it
    // has.
    struct Work {
        std::string title;
        WorkShown shown;
        int reports = 0;
    };
    std::vector<Work> works;
    int cancelAtReport = -1;
    int cancelInWork = 0;

    struct DialogCall {
        std::string initialDir;
        std::string fileName;
    };
    // Answers for the next dialogs, in order; nothing answers as a cancel.
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::vector<DialogCall> openCalls;
    std::vector<DialogCall> saveCalls;
    // The column dialog: its answers in order (nothing answers as a cancel)
    // and what it was asked.
    std::deque<std::optional<std::size_t>> columnAnswers;
    std::vector<ColumnChoice> columnCalls;
    // Everything shown, in order, prefixed "notice: ", "error: ", "open: ",
    // "save: ", "columns: ".
    std::vector<std::string> log;
};

} // namespace ravelle::testing
