#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/ModelTexts.h"
#include "plot/PlotScene.h"

namespace ravelle {

// Thrown out of long work when the user cancels it; the command then ends
// without a message and leaves everything as it was (the remembered folder
// aside, as after a failure).
struct WorkCancelled {};

// Long work reports how far it has got, from 0 to 1, as often as it can (the
// import and the saves every few milliseconds); the report throws
// WorkCancelled once the user has asked to stop, so the work must leave
// nothing half done when it unwinds.
using Progress = std::function<void(double fraction)>;

// How long work shows itself. Calculate works quietly: a stepper's next
// step must follow at once, and a window opening over the stepper would end
// its repeat. Imports and saves show their progress with a Cancel button
// once they have taken more than half a second.
enum class WorkShown { Quietly, WithProgress };

// A text table with several columns that may hold the spectrum: what the
// import offers the user to choose from.
struct ColumnChoice {
    std::string fileName;             // without its folder
    std::vector<std::string> labels;  // every column's label, in file order
    std::size_t fieldColumn = 0;      // the column the field is read from
    std::vector<std::size_t> candidates; // the columns to choose from, in file order
    std::size_t preselected = 0;      // one of the candidates
};

// What a command needs from the window it runs in. The main window implements
// it with its real boxes, message boxes, dialogs and plot; tests implement it
// with plain strings and scripted answers, so every command runs headless.
class CommandHost {
public:
    virtual ~CommandHost() = default;

    // Text of a box by its name ("GCntr", "H1", "Edit3", ...), as UTF-8.
    virtual std::string boxText(std::string_view box) const = 0;
    virtual void setBoxText(std::string_view box, const std::string& text) = 0;

    // The Model window's content, read and written whole like the boxes.
    virtual ModelTexts modelTexts() const = 0;
    virtual void setModelTexts(const ModelTexts& texts) = 0;

    // The system's decimal separator, used when boxes are read and written.
    virtual char decimalSeparator() const = 0;

    // A plain modal notice without an icon ("DispRange, Sigma, ...").
    virtual void showNotice(const std::string& message) = 0;
    // The standard error box (stop icon). The host appends the "." itself.
    virtual void showError(const std::string& message) = 0;

    // Runs `work` to its end and lets out whatever it throws (WorkCancelled
    // when the user cancels). `title` says what is being done. The work may
    // read the program state and call drawPlot, but nothing else of the
    // host: the window may run it on another thread, staying responsive
    // meanwhile but taking no other command.
    virtual void runLongWork(std::string_view title, WorkShown shown,
                             const std::function<void(const Progress&)>& work) = 0;

    // The size of the plot raster, in pixels.
    virtual PixelSize plotSize() const = 0;
    // Draws a scene into a new picture off screen (RedrawPlot's drawing);
    // may be called inside long work. Throws UserError when the field window
    // cannot be mapped.
    virtual std::unique_ptr<PlotPicture> drawPlot(const PlotScene& scene, const Progress& progress) const = 0;
    // Puts a picture that drawPlot made on the screen.
    virtual void showPlot(std::unique_ptr<PlotPicture> picture) = 0;

    // Modal file dialogs: start in initialDir (empty: the dialog's choice) with
    // fileName in the file-name box. The chosen full name, or nothing when the
    // user cancels.
    virtual std::optional<std::string> runOpenDialog(const std::string& initialDir,
                                                     const std::string& fileName) = 0;
    virtual std::optional<std::string> runSaveDialog(const std::string& initialDir,
                                                     const std::string& fileName) = 0;
    // The same for parameter sets, whose dialogs list their own file type;
    // a host without a window of its own runs the dialogs above.
    virtual std::optional<std::string> runOpenParametersDialog(const std::string& initialDir,
                                                               const std::string& fileName)
    {
        return runOpenDialog(initialDir, fileName);
    }
    virtual std::optional<std::string> runSaveParametersDialog(const std::string& initialDir,
                                                               const std::string& fileName)
    {
        return runSaveDialog(initialDir, fileName);
    }

    // Asks which column of a table holds the spectrum: the chosen one of
    // choice.candidates, or nothing when the user cancels. A host without a
    // window takes the preselected column, as Return in the dialog would.
    virtual std::optional<std::size_t> chooseIntensityColumn(const ColumnChoice& choice)
    {
        return choice.preselected;
    }
};

} // namespace ravelle
