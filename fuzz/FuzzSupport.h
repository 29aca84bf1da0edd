#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"

// What the fuzz targets share: a host on plain strings with a real raster,
// the check that ends a run on a broken rule, and comparisons of program
// states that treat doubles bit for bit.
namespace ravelle::fuzz {

// Prints what broke and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const char* file, int line, const std::string& what);

#define RAVELLE_FUZZ_CHECK(condition, what)                                                                  \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::ravelle::fuzz::fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what));            \
    } while (false)

// The box texts in the order the Calculate target fills them.
inline constexpr std::string_view kCalculateBoxOrder[] = {
    "GCntr", "Scl", "NoPnts", "G", "Sigma", "H1", "H2", "H3", "H4", "H5", "H6", "H7", "H8", "H9", "H10",
    "H11", "H12", "H13", "H14", "H15", "N1", "N2", "N3", "N4", "N5", "N6", "Edit1", "Edit2", "Edit3", "Edit4",
};

// Box texts by box name.
using BoxTexts = std::map<std::string, std::string, std::less<>>;

class FuzzHost : public CommandHost {
public:
    explicit FuzzHost(ProgramState& state, BoxTexts startBoxes = {});

    std::string boxText(std::string_view box) const override;
    void setBoxText(std::string_view box, const std::string& text) override;
    ModelTexts modelTexts() const override { return model; }
    void setModelTexts(const ModelTexts& texts) override { model = texts; }
    char decimalSeparator() const override { return separator; }
    void showNotice(const std::string& message) override { notices.push_back(message); }
    void showError(const std::string& message) override { errors.push_back(message); }
    void runLongWork(std::string_view, WorkShown, const std::function<void(const Progress&)>& work) override
    {
        work([](double) {});
    }
    PixelSize plotSize() const override { return {raster.width(), raster.height()}; }
    std::unique_ptr<PlotPicture> drawPlot(const PlotScene& scene, const Progress& progress) const override;
    void showPlot(std::unique_ptr<PlotPicture> picture) override;
    std::optional<std::string> runOpenDialog(const std::string& initialDir, const std::string& fileName) override;
    std::optional<std::string> runSaveDialog(const std::string& initialDir, const std::string& fileName) override;

    // Forgets the messages and the redraw count of earlier commands.
    void clearLog();

    ProgramState& state;
    char separator = '.';
    ModelTexts model; // the Model window's content
    BoxTexts boxes;
    std::vector<std::string> notices;
    std::vector<std::string> errors;
    int redraws = 0;
    QImage raster{857, 497, QImage::Format_RGB32};
    std::optional<std::string> openAnswer;
    std::optional<std::string> saveAnswer;
};

// Whether a message is one the program shows: a runtime message, a file
// error, a conversion error quoting a text, or one of its own refusals.
bool isProgramMessage(std::string_view message);

// Which parts of the program state may differ in sameState.
enum StatePart : unsigned {
    kParameters = 1u << 0, // CenterField, MutualScale, CalcPoints, DisplayRange, SigmaValue,
                           // HCount, NCount, the couplings and CalcValid
    kLastDir = 1u << 1,
};

// Every member equal (doubles bit for bit, arrays entry for entry) except
// those in `mayDiffer`; a description of the first difference, or nothing.
std::optional<std::string> stateDifference(const ProgramState& a, const ProgramState& b, unsigned mayDiffer = 0);

// No NaN or infinity anywhere in the state; entries beyond the counts too.
void checkStateFinite(const ProgramState& state);

// A box the program wrote holds a finite number in the host's format.
void checkBoxNumber(const FuzzHost& host, std::string_view box);

// Whether a Calculate on these boxes stays cheap enough for a fuzz run:
// at most `maxPoints` intervals and `maxCouplings` coupling constants, and
// no more than a few million line-shape terms.
bool calculateWithinBudget(const FuzzHost& host, const ProgramState& state, std::int32_t maxPoints = 2000,
                           int maxCouplings = 10);

// The outcome of one Calculate, against the state and boxes before it:
// success (spectrum, window and boxes as the command writes them), the
// missing-parameter notice, or one program message with the simulated
// spectrum, the frame, the window, the observed spectrum and every box as
// they were (only the parameters read before the failure may have changed).
void checkCalculateOutcome(const ProgramState& before, const BoxTexts& boxesBefore,
                           const FuzzHost& host);

// Sets a known good parameter set into the boxes and runs Calculate, which
// must succeed: the program is still usable after whatever came before.
void checkNextCalculateSucceeds(ProgramState& state, FuzzHost& host);

// A scratch directory for the run, created once, with the start-up state's
// dirinf in it.
const std::string& scratchDirectory();

// The program started in the scratch directory with the known good parameter
// set calculated: the state and box texts each input starts from.
struct CalculatedStart {
    ProgramState state;
    BoxTexts boxes;

    CalculatedStart();
};

} // namespace ravelle::fuzz
