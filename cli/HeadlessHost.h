#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/CommandHost.h"

// The window's commands run from a command line: the boxes are plain
// strings, the open dialog answers with the file being processed, errors and
// notices are collected for the caller to print, and nothing is drawn.
namespace ravelle::cli {

class HeadlessHost : public CommandHost {
public:
    // Every box with its start-up text, the default model, "." as the
    // decimal separator whatever the system's number format.
    HeadlessHost();

    std::string boxText(std::string_view box) const override;
    void setBoxText(std::string_view box, const std::string& text) override;
    ModelTexts modelTexts() const override { return model_; }
    void setModelTexts(const ModelTexts& texts) override { model_ = texts; }
    char decimalSeparator() const override { return '.'; }
    void showNotice(const std::string& message) override { notices_.push_back(message); }
    void showError(const std::string& message) override { errors_.push_back(message); }
    void runLongWork(std::string_view title, WorkShown shown,
                     const std::function<void(const Progress&)>& work) override;
    PixelSize plotSize() const override;
    std::unique_ptr<PlotPicture> drawPlot(const PlotScene& scene, const Progress& progress) const override;
    void showPlot(std::unique_ptr<PlotPicture> picture) override;
    // The file given by answerOpenDialogWith, once; then a cancel.
    std::optional<std::string> runOpenDialog(const std::string& initialDir, const std::string& fileName) override;
    // The command line saves its files itself: a save dialog is cancelled.
    std::optional<std::string> runSaveDialog(const std::string& initialDir, const std::string& fileName) override;

    void answerOpenDialogWith(const std::string& fileName) { openAnswer_ = fileName; }

    const std::vector<std::string>& errors() const { return errors_; }
    const std::vector<std::string>& notices() const { return notices_; }

private:
    std::map<std::string, std::string, std::less<>> boxes_;
    ModelTexts model_;
    std::optional<std::string> openAnswer_;
    std::vector<std::string> errors_;
    std::vector<std::string> notices_;
};

} // namespace ravelle::cli
