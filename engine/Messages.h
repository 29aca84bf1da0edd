#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/SynthesisLimits.h"

// Every text the program shows to the user, in one place. The runtime
// messages are the Japanese ones the program has always shown, byte for byte.
namespace ravelle::messages {

// Runtime messages.
inline constexpr std::string_view kNotARealFormat = "'%s' は浮動小数点数ではありません";
inline constexpr std::string_view kNotAnIntegerFormat = "'%s' は整数ではありません";
inline constexpr std::string_view kFileNotFound = "ファイルが見つかりません";
inline constexpr std::string_view kInvalidFileName = "ファイル名の指定が間違っています";
inline constexpr std::string_view kAccessDenied = "ファイルへのアクセスが拒否されました";
inline constexpr std::string_view kIoErrorFormat = "I/O エラー (%d)";
inline constexpr std::string_view kInvalidOperation = "不正な浮動小数点数演算命令";
inline constexpr std::string_view kDivisionByZero = "0 による浮動小数点数除算";
inline constexpr std::string_view kOverflow = "浮動小数点数のオーバーフロー";

// The program's own notices.
inline constexpr std::string_view kMissingParameters = "DispRange, Sigma, N1 (or H1) must be Defined!";
inline constexpr std::string_view kObservedAlsoSaved = "The Observed Data will also be saved!!";

// The commands' own refusals and reports.
inline constexpr std::string_view kNoMemoryForCommand = "Not enough memory for this command.";
inline constexpr std::string_view kNoMemoryForCalculation =
    "Not enough memory to calculate the spectrum; try fewer points.";
inline constexpr std::string_view kNoMemoryForObservedFile = "There is not enough memory to import this file.";
inline constexpr std::string_view kNoMemoryForExport = "There is not enough memory to save the spectrum.";
inline constexpr std::string_view kEmptyObservedFile = "The file holds no lines: there is no spectrum to import.";
inline constexpr std::string_view kTooManyObservedLinesFormat =
    "The file has too many lines to import (at most %d).";
inline constexpr std::string_view kNoSimulatedSpectrum =
    "There is no simulated spectrum to save yet: press Calculate first.";
inline constexpr std::string_view kNotARegularFileFormat = "'%s' is not a regular file.";
// What long work says in its progress window, and the window's one button.
inline constexpr std::string_view kCalculating = "Calculating the spectrum";
inline constexpr std::string_view kImportingFormat = "Importing %s";
inline constexpr std::string_view kSavingFormat = "Saving %s";
inline constexpr std::string_view kCancelWork = "Cancel";
// A failure the program did not foresee: the prefix goes before what the
// failure says about itself; one that says nothing is shown as kInternalError.
inline constexpr std::string_view kInternalErrorPrefix = "Internal error: ";
inline constexpr std::string_view kInternalError = "Internal error.";

// The synthesis's own refusals; their numbers are the limits themselves.
namespace detail {

// A message put together at compile time from texts and whole numbers.
struct ComposedText {
    char chars[160] = {};
    std::size_t size = 0;

    constexpr void append(std::string_view text)
    {
        for (const char c : text)
            chars[size++] = c;
    }
    constexpr void append(std::integral auto number)
    {
        char digits[24] = {};
        std::size_t count = 0;
        const bool negative = number < 0;
        do {
            const auto digit = number % 10;
            digits[count++] = static_cast<char>('0' + (digit < 0 ? -digit : digit));
            number /= 10;
        } while (number != 0);
        if (negative)
            chars[size++] = '-';
        while (count > 0)
            chars[size++] = digits[--count];
    }
    constexpr std::string_view view() const { return {chars, size}; }
};

template <typename... Pieces>
constexpr ComposedText compose(Pieces... pieces)
{
    ComposedText text;
    (text.append(pieces), ...);
    return text;
}

inline constexpr ComposedText kPointCountOutOfRangeText = compose(
    std::string_view("The number of points (NoPnts) must be between "), kMinCalcPoints, std::string_view(" and "),
    kMaxCalcPoints, std::string_view("."));
inline constexpr ComposedText kTooManyCouplingsText =
    compose(std::string_view("At most "), kMaxHydrogens, std::string_view(" hydrogen and "), kMaxNitrogens,
            std::string_view(" nitrogen coupling constants can take part in a simulation."));

} // namespace detail

inline constexpr std::string_view kPointCountOutOfRange = detail::kPointCountOutOfRangeText.view();
inline constexpr std::string_view kTooManyCouplings = detail::kTooManyCouplingsText.view();
inline constexpr std::string_view kNoMemoryForSimulation = "There is not enough memory for this simulation.";

// A quoted text longer than kLongestQuote bytes is shown as its first
// kQuoteHead and last kQuoteTail bytes (moved to whole characters) with "…"
// between them.
inline constexpr std::size_t kLongestQuote = 100;
inline constexpr std::size_t kQuoteHead = 60;
inline constexpr std::size_t kQuoteTail = 20;

// "'%s' は浮動小数点数ではありません" with the text in place of %s.
std::string notAReal(std::string_view text);
// "'%s' は整数ではありません" with the text in place of %s.
std::string notAnInteger(std::string_view text);
// "I/O エラー (%d)" with the code in place of %d.
std::string ioError(int code);
// kTooManyObservedLinesFormat with the most lines an import takes.
std::string tooManyObservedLines(std::int32_t most);
// kImportingFormat and kSavingFormat with the file's whole name.
std::string importing(std::string_view fileName);
std::string saving(std::string_view fileName);
// "'<name>' is not a regular file." with the whole name: the user needs all
// of it to find the file.
std::string notARegularFile(std::string_view name);

// A field of the Model window that holds no number: "<field>: '<text>' is
// not a number." with the field named as the window shows it ("Gamma",
// "Species 2, group 1, coupling") and the text quoted as above.
std::string modelFieldNotANumber(std::string_view field, std::string_view text);
// The same for a field that needs a whole number ("number of nuclei").
std::string modelFieldNotAWholeNumber(std::string_view field, std::string_view text);
inline constexpr std::string_view kShiftAsGNeedsFrequency =
    "a centre shift given as a g-value needs the microwave frequency: type it into the Model window.";
inline constexpr std::string_view kBadGValueShift = "a g-value must be a number greater than 0.";
inline constexpr std::string_view kBadFrequency = "Microwave frequency: it must be a number of GHz greater than 0.";

// The general model's refusals. Species and groups are counted from 1, as
// the Model window shows them; the limits in the texts are the model's own
// constants.
inline constexpr std::string_view kNoSpecies = "The model has no species.";
// "The model has more than 8 species."
std::string tooManySpecies();
inline constexpr std::string_view kAllWeightsZero = "The weights of the species must not all be 0.";
inline constexpr std::string_view kNotFeasible =
    "This spectrum cannot be computed in reasonable time: its lines are too narrow for the field range "
    "and too many to sum one by one. Widen the lines or narrow the field range.";
// "Species 2: <what>" or "Species 2, group 3: <what>".
std::string speciesProblem(int species, std::string_view what);
std::string groupProblem(int species, int group, std::string_view what);
// "it has more than 64 nucleus groups."
std::string tooManyGroups();
inline constexpr std::string_view kBadWeight = "the weight must be a number of 0 or more.";
inline constexpr std::string_view kBadShift = "the centre shift must be a number.";
inline constexpr std::string_view kBadSigma = "sigma must be a number.";
inline constexpr std::string_view kBadGamma = "gamma must be a number of 0 or more.";
inline constexpr std::string_view kBadWidthLaw = "the coefficients B and C of the width law must be numbers.";
inline constexpr std::string_view kNoSuchWidthGroup = "the group chosen for the m_I-dependent widths does not exist.";
inline constexpr std::string_view kMixedWidthGroup =
    "the group chosen for the m_I-dependent widths must be a single isotope, not marked natural abundance.";
inline constexpr std::string_view kGaussianNeedsSigma = "a Gaussian line needs a sigma other than 0.";
inline constexpr std::string_view kLorentzianNeedsGamma = "a Lorentzian line needs a gamma greater than 0.";
inline constexpr std::string_view kVoigtNeedsWidth = "a Voigt line needs a sigma or a gamma other than 0.";
inline constexpr std::string_view kTooFar = "its lines lie farther than 1e12 G from the centre.";
// "sigma falls to 0 or below at m = -1." (the width and the m named; m is a
// whole or half number)
std::string widthNotPositive(std::string_view width, double m);
inline constexpr std::string_view kUnknownIsotope = "the isotope is not in the table (write it like 1H, 13C or 63Cu).";
// "the number of equivalent nuclei must be between 1 and 30."
std::string badNucleusCount();
inline constexpr std::string_view kBadCoupling = "the coupling constant must be a number.";
inline constexpr std::string_view kNaturalNeedsSpin =
    "a group marked natural abundance needs a magnetic isotope (spin above 0) to give its coupling.";

// The text the standard error box shows for a message: a "." is appended
// when the last byte sorts after "." (letters, digits, Japanese), not after
// "!", "," or ")".
std::string errorBoxText(std::string_view message);

} // namespace ravelle::messages

// ---------------------------------------------------------------------------
// The fit and its dialog. Numbers come in as the texts to show.
namespace ravelle::messages {

// What Fit needs before its dialog opens.
inline constexpr std::string_view kFitNeedsObservedSpectrum =
    "Fit needs an observed spectrum: import one first (File > Import_Observed_Spectrum).";
inline constexpr std::string_view kFitNoPointInFrame =
    "No observed point lies in the frame (Edit1 to Edit2): set the centre field (GCntr) and the display range (G) "
    "over the observed spectrum.";
inline constexpr std::string_view kFitNeedsLineWidth = "Fit needs a line width: Sigma must not be 0.";
namespace detail {
inline constexpr ComposedText kFitNeedsPointsText = compose(
    std::string_view("Fit needs between 1 and "), kMaxCalcPoints, std::string_view(" points (NoPnts) on the display grid."));
} // namespace detail
inline constexpr std::string_view kFitNeedsPoints = detail::kFitNeedsPointsText.view();

// Why a fit stops.
inline constexpr std::string_view kFitNothingVaried = "Nothing to fit: tick Vary for at least one parameter.";
inline std::string fitTooFewPoints(int points, int parameters)
{
    return "Only " + std::to_string(points) + " observed points lie in the frame, not enough to fit " +
           std::to_string(parameters) + " parameters: widen the display range (G) or vary fewer parameters.";
}
inline constexpr std::string_view kFitFlatSpectrum =
    "The simulated spectrum is flat on the display grid, so it cannot be scaled to the observed one: check the "
    "display range (G), the points (NoPnts) and the constants.";
inline constexpr std::string_view kFitCancelled = "Fit cancelled; nothing has changed.";
inline std::string fitNotConverged(int evaluations)
{
    return "The fit did not converge within " + std::to_string(evaluations) +
           " evaluations. Bring the simulated trace closer to the observed one by hand, or vary fewer parameters, "
           "and start again.";
}
inline constexpr std::string_view kFitIllPosed = "The fit could not start: the problem is not well posed.";
inline constexpr std::string_view kFitSigmaThroughZero =
    "Sigma ran through zero: the line width is not determined. Start from a better line width or keep Sigma fixed.";
// `names`: "H1, H2".
inline std::string fitConstantRanAway(const std::string& names)
{
    return names + " ran beyond the display range: the observed spectrum does not hold this coupling. Check the "
                   "number of nuclei, or keep " + names + " fixed.";
}
// `name`: "Species 2, Sigma".
inline std::string fitWidthThroughZero(const std::string& name)
{
    return name + " ran through zero: the line width is not determined. Start from a better line width or keep " +
           name + " fixed.";
}
inline std::string fitShiftRanAway(const std::string& name)
{
    return name + " ran beyond the display range: the observed spectrum does not show that species there. Bring "
                  "it closer by hand, or keep " + name + " fixed.";
}
inline constexpr std::string_view kFitCentreRanAway =
    "The centre field ran out of the frame: bring the simulated trace closer to the observed one and start again.";
inline constexpr std::string_view kFitScaleThroughZero =
    "The scale ran through zero, turning the simulated trace upside down: the observed spectrum does not look like "
    "the simulated one here. Bring the two closer by hand and start again.";
inline std::string fitUndetermined(const std::string& names)
{
    return "The observed spectrum does not determine " + names +
           ", so their uncertainties are unknown: a splitting hidden in the line width, a constant of 0 or two "
           "constants that can trade places leave them free. Fix some of them, or keep equal constants equal.";
}
inline constexpr std::string_view kFitNoMemory =
    "There is not enough memory for this fit: fix some constants or narrow the frame.";
inline std::string fitFailed(std::string_view what) { return "The fit failed: " + std::string(what); }
inline constexpr std::string_view kFitFailedUnexpectedly = "The fit failed unexpectedly.";
inline constexpr std::string_view kFitNoThread =
    "The fit could not start: the system has no thread to spare for it. Close some programs and try again.";

// The dialog.
inline constexpr std::string_view kFitTitle = "Fit";
inline std::string fitIntro(std::size_t points, const std::string& low, const std::string& high)
{
    return "Fits the simulated trace to the " + std::to_string(points) + " observed points between " + low +
           " and " + high + " G. Tick the parameters to vary, then press Start.";
}
inline constexpr std::string_view kFitHydrogenCaption = "A(H) (G)";
inline constexpr std::string_view kFitNitrogenCaption = "A(N) (G)";
inline constexpr std::string_view kFitSigmaCaption = "Sigma of the Gaussian line (G)";
inline constexpr std::string_view kFitCentreCaption = "Centre field (G)";
inline constexpr std::string_view kFitScaleCaption = "Mutual scale (Calc/Obs)";
inline constexpr std::string_view kFitGammaCaption = "Gamma of the Lorentzian line (G)";
inline constexpr std::string_view kFitOffsetCaption = "Added to the trace";
inline constexpr std::string_view kFitSlopeCaption = "Added per G from the centre";
inline constexpr std::string_view kFitWeightCaption = "Amount, species 1 counting 1";
inline constexpr std::string_view kFitShiftCaption = "From the centre field (G)";
inline constexpr std::string_view kFitLinearCaption = "B of width + B m + C m² (G)";
inline constexpr std::string_view kFitQuadraticCaption = "C of width + B m + C m² (G)";
// "A(13C) x 2 (G)", "A(C, natural) x 6 (G)".
inline std::string fitGroupCaption(const std::string& isotope, int count, bool natural)
{
    return "A(" + isotope + (natural ? ", natural" : "") + ")" + (count > 1 ? " x " + std::to_string(count) : "") +
           " (G)";
}
inline constexpr std::string_view kFitColumnHeaders[] = {"Box", "", "Now", "Vary", "Fitted", "Uncertainty"};
inline constexpr std::string_view kFitKeepEqual = "Keep equal constants equal (equivalent nuclei)";
inline constexpr std::string_view kFitStart = "Start";
inline constexpr std::string_view kFitCancel = "Cancel";
inline constexpr std::string_view kFitKeep = "Keep";
inline constexpr std::string_view kFitRevert = "Revert";
inline constexpr std::string_view kFitClose = "Close";
inline constexpr std::string_view kFitCopy = "Copy";
inline constexpr std::string_view kFitPlotObserved = "Observed";
inline constexpr std::string_view kFitPlotFitted = "Fitted";
inline constexpr std::string_view kFitPlotResidual = "Residual (observed - fitted)";
inline constexpr std::string_view kFitPlotField = "Field (G)";
inline constexpr std::string_view kFitPlotWholeView = "Whole view";
inline constexpr std::string_view kFitFixed = "fixed";
inline constexpr std::string_view kFitNotDetermined = "not determined";
inline std::string fitUncertainty(const std::string& value) { return "± " + value; }

// What a running fit is doing; `done` is a share of 0 to 100 %.
inline constexpr std::string_view kFitFitting = "Fitting...";
inline constexpr std::string_view kFitCancelling = "Cancelling...";
inline std::string fitSorting(int percent)
{
    return "Putting the observed points in field order: " + std::to_string(percent) + " %";
}
inline std::string fitAveraging(int percent)
{
    return "Averaging neighbouring points of the long spectrum: " + std::to_string(percent) + " %";
}
inline std::string fitStarting(int percent)
{
    return "Comparing the starting curve with the observed points: " + std::to_string(percent) + " %";
}
inline std::string fitSearching(int percent)
{
    return "Searching for the centre field, the line width and the scale: " + std::to_string(percent) + " %";
}
inline std::string fitStep(int start, int iteration, const std::string& rms)
{
    return "Start " + std::to_string(start) + ", iteration " + std::to_string(iteration) + ": RMS residual " + rms;
}
inline std::string fitSmoothedOver(const std::string& width)
{
    return " (on the points smoothed over " + width + " G)";
}
inline std::string fitLastSteps(int iteration, const std::string& rms, int percent)
{
    return "Last steps on every point, iteration " + std::to_string(iteration) + ": RMS residual " + rms + " (" +
           std::to_string(percent) + " %)";
}
inline constexpr std::string_view kFitUncertainties = "Working out the uncertainties...";

// How it ended.
inline std::string fitCancelledAfter(int iterations)
{
    return "Cancelled after " + std::to_string(iterations) + " iterations.";
}
inline std::string fitCounts(int points, int parameters, int iterations)
{
    return std::to_string(points) + " points, " + std::to_string(parameters) + " parameters, " +
           std::to_string(iterations) + " iterations";
}
inline std::string fitGValue(const std::string& g, const std::string& uncertainty)
{
    return " g-value of the centre field: " + g + " ± " + uncertainty + ".";
}
inline std::string fitStopped(const std::string& counts) { return "The fit has stopped (" + counts + ")."; }
inline std::string fitResiduals(const std::string& before, const std::string& after, const std::string& counts)
{
    return "RMS residual " + before + " before, " + after + " after (" + counts + ").";
}

} // namespace ravelle::messages

// ---------------------------------------------------------------------------
// The file dialogs' type entries beside the plain "*.ASC", and the dialog
// that asks which column of a table holds the spectrum.
namespace ravelle::messages {

inline constexpr std::string_view kSpectrumFilesFilter =
    "Spectra and spectrometer files (*.dat *.txt *.asc *.csv *.tsv *.dsc *.dta *.par *.spc *.esr)";
inline constexpr std::string_view kParameterFilesFilter = "Ravelle2 parameter sets (*.ravelle)";
inline constexpr std::string_view kColumnDialogTitle = "Choose the spectrum";
// "'<file>' holds several spectra. Choose the column to import; the field is
// read from column '<field>'."
std::string columnDialogText(std::string_view file, std::string_view fieldLabel);

} // namespace ravelle::messages

// ---------------------------------------------------------------------------
// Parameter sets (File > Open_Parameters, Save_Parameters). `file` is the
// file's name without its folder; texts from the file are quoted as above.
namespace ravelle::messages {

std::string parameterSetNotOne(std::string_view file);
std::string parameterSetNewer(std::string_view file, std::string_view version);
std::string parameterSetCutShort(std::string_view file);
std::string parameterSetTooLarge(std::string_view file, std::uint64_t size, std::uint64_t most);
std::string parameterSetMissingSection(std::string_view file, std::string_view section);
// "Line <n> of '<file>': <problem>"
std::string parameterSetLine(std::string_view file, std::size_t line, std::string_view problem);
// "The parameter set was not saved: <problem>"
std::string parameterSetNotSaved(std::string_view problem);

// What is wrong with a line.
inline constexpr std::string_view kParameterLineAfterEnd = "nothing may follow the line '[End]'.";
inline constexpr std::string_view kParameterEntryBeforeSection = "an entry stands before the first section.";
inline constexpr std::string_view kParameterLineControlCharacter =
    "the line holds a control character; write it as \\x and two hex digits.";
inline constexpr std::string_view kParameterNoVersion =
    "the line after the title must be 'version = ' and a whole number greater than 0.";
inline constexpr std::string_view kParameterBrokenEscape =
    "a backslash must be followed by a second one, or by x and two hex digits.";
std::string parameterNotALine(std::string_view text);
// A section where another belongs: "[Main window] must come first", or
// "[next group], [next species] or [End] may follow [previous]".
std::string parameterSectionMustComeFirst(std::string_view section, std::string_view first);
std::string parameterSectionOutOfOrder(std::string_view section, std::string_view previous, std::string_view nextGroup,
                                       std::string_view nextSpecies);
std::string parameterUnknownEntry(std::string_view section, std::string_view entry);
std::string parameterRepeatedEntry(std::string_view section, std::string_view entry);
std::string parameterMissingEntry(std::string_view section, std::string_view entry);
std::string parameterUnknownIsotope(std::string_view isotope);
std::string parameterBadLineShape(std::string_view text);
std::string parameterBadFlag(std::string_view text);
// "'<entry>' in [<section>] holds <length> characters; ..."
std::string parameterTextTooLong(std::string_view section, std::string_view entry, std::size_t length,
                                 std::size_t most);
std::string parameterTooManyGroups(std::string_view species, std::size_t most);
std::string parameterTooManySpecies(std::size_t most);

} // namespace ravelle::messages
