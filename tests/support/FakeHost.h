#pragma once

#include <QImage>

#include <deque>
#include <map>
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
    void redrawPlot() override;
    std::optional<std::string> runOpenDialog(const std::string& initialDir,
                                             const std::string& fileName) override;
    std::optional<std::string> runSaveDialog(const std::string& initialDir,
                                             const std::string& fileName) override;

    // Sets several boxes at once: {{"H1", "1.5"}, {"G", "30"}}.
    void setBoxes(const std::map<std::string, std::string>& texts);

    ProgramState& state;
    char separator;
    std::map<std::string, std::string, std::less<>> boxes;
    std::vector<std::string> notices;
    std::vector<std::string> errors;
    int redrawCount = 0;
    QImage raster; // created at the first redraw, 857 x 497 unless set before

    struct DialogCall {
        std::string initialDir;
        std::string fileName;
    };
    // Answers for the next dialogs, in order; nothing answers as a cancel.
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::vector<DialogCall> openCalls;
    std::vector<DialogCall> saveCalls;
    // Everything shown, in order, prefixed "notice: ", "error: ", "open: ", "save: ".
    std::vector<std::string> log;
};

} // namespace ravelle::testing
