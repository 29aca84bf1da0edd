#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ravelle {

// What a command needs from the window it runs in. The main window implements
// it with its real boxes, message boxes, dialogs and plot; tests implement it
// with plain strings and scripted answers, so every command runs headless.
class CommandHost {
public:
    virtual ~CommandHost() = default;

    // Text of a box by its name ("GCntr", "H1", "Edit3", ...), as UTF-8.
    virtual std::string boxText(std::string_view box) const = 0;
    virtual void setBoxText(std::string_view box, const std::string& text) = 0;

    // The system's decimal separator, used when boxes are read and written.
    virtual char decimalSeparator() const = 0;

    // A plain modal notice without an icon ("DispRange, Sigma, ...").
    virtual void showNotice(const std::string& message) = 0;
    // The standard error box (stop icon). The host appends the "." itself.
    virtual void showError(const std::string& message) = 0;

    // Repaints the plot raster from the program state (RedrawPlot). May throw
    // UserError when the plot window cannot be mapped.
    virtual void redrawPlot() = 0;

    // Modal file dialogs: start in initialDir (empty: the dialog's choice) with
    // fileName in the file-name box. The chosen full name, or nothing when the
    // user cancels.
    virtual std::optional<std::string> runOpenDialog(const std::string& initialDir,
                                                     const std::string& fileName) = 0;
    virtual std::optional<std::string> runSaveDialog(const std::string& initialDir,
                                                     const std::string& fileName) = 0;
};

} // namespace ravelle
