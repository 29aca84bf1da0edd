#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "io/FileAccess.h"
#include "io/ObservedImport.h"
#include "io/SpectrumExport.h"
#include "plot/Redraw.h"
#include "commands/Commands.h"

namespace ravelle::fuzz {

void fail(const char* file, int line, const std::string& what)
{
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

FuzzHost::FuzzHost(ProgramState& state, BoxTexts startBoxes) : state(state), boxes(std::move(startBoxes))
{
    // Boxes the caller did not give show their start-up texts.
    for (const auto& box : kBoxes)
        boxes.emplace(std::string(box.name), std::string(box.initialText));
}

std::string FuzzHost::boxText(std::string_view box) const
{
    const auto found = boxes.find(box);
    RAVELLE_FUZZ_CHECK(found != boxes.end(), std::string(box));
    return found->second;
}

void FuzzHost::setBoxText(std::string_view box, const std::string& text)
{
    const auto found = boxes.find(box);
    RAVELLE_FUZZ_CHECK(found != boxes.end(), std::string(box));
    found->second = text;
}

std::unique_ptr<PlotPicture> FuzzHost::drawPlot(const PlotScene& scene, const Progress& progress) const
{
    return drawPicture(scene, progress);
}

void FuzzHost::showPlot(std::unique_ptr<PlotPicture> picture)
{
    ++redraws;
    raster = std::move(static_cast<RasterPicture&>(*picture).raster);
}

std::optional<std::string> FuzzHost::runOpenDialog(const std::string&, const std::string&)
{
    return openAnswer;
}

std::optional<std::string> FuzzHost::runSaveDialog(const std::string&, const std::string&)
{
    return saveAnswer;
}

void FuzzHost::clearLog()
{
    notices.clear();
    errors.clear();
    redraws = 0;
}

namespace {

// Whether `message` is `format` with some text in place of its one `%s`.
bool matchesQuoted(std::string_view message, std::string_view format)
{
    const auto at = format.find("%s");
    const std::string_view before = format.substr(0, at);
    const std::string_view after = format.substr(at + 2);
    return message.size() >= before.size() + after.size() && message.substr(0, before.size()) == before
        && message.substr(message.size() - after.size()) == after;
}

bool matchesIoError(std::string_view message)
{
    constexpr std::string_view kBefore = "I/O エラー (";
    if (message.size() <= kBefore.size() + 1 || message.substr(0, kBefore.size()) != kBefore
        || message.back() != ')')
        return false;
    const std::string_view code = message.substr(kBefore.size(), message.size() - kBefore.size() - 1);
    return code.find_first_not_of("0123456789") == std::string_view::npos;
}

// A refusal of the Model window's content: one that names a species (and
// a group or a field of it), a field of the window, or the whole model.
bool isModelMessage(std::string_view message)
{
    for (const std::string_view exact : {messages::kNoSpecies, messages::kAllWeightsZero, messages::kNotFeasible,
                                         messages::kBadFrequency})
        if (message == exact)
            return true;
    if (message == messages::tooManySpecies())
        return true;
    for (const std::string_view field : {"Gamma: '", "Baseline offset: '", "Baseline slope: '", "Microwave frequency: '"})
        if (message.starts_with(field) && message.ends_with("' is not a number."))
            return true;
    constexpr std::string_view kSpecies = "Species ";
    if (!message.starts_with(kSpecies))
        return false;
    const std::size_t digitsEnd = message.find_first_not_of("0123456789", kSpecies.size());
    return digitsEnd > kSpecies.size() && digitsEnd < message.size() &&
           (message[digitsEnd] == ':' || message[digitsEnd] == ',');
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameArray(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

template <std::size_t N>
bool sameArray(const std::array<double, N>& a, const std::array<double, N>& b)
{
    return std::memcmp(a.data(), b.data(), N * sizeof(double)) == 0;
}

} // namespace

bool isProgramMessage(std::string_view message)
{
    static const std::string_view kExact[] = {
        messages::kFileNotFound,
        messages::kInvalidFileName,
        messages::kAccessDenied,
        messages::kInvalidOperation,
        messages::kDivisionByZero,
        messages::kOverflow,
        messages::kMissingParameters,
        messages::kObservedAlsoSaved,
        messages::kEmptyObservedFile,
        messages::kNoMemoryForObservedFile,
        messages::kPointCountOutOfRange,
        messages::kNoSimulatedSpectrum,
        messages::kTooManyCouplings,
        messages::kNoMemoryForSimulation,
        messages::kNoMemoryForCalculation,
    };
    for (const std::string_view exact : kExact)
        if (message == exact)
            return true;
    if (message == messages::tooManyObservedLines(kMaxObservedPoints))
        return true;
    if (isModelMessage(message))
        return true;
    return matchesQuoted(message, messages::kNotARealFormat) || matchesQuoted(message, messages::kNotAnIntegerFormat)
        || matchesQuoted(message, "'%s' is not a regular file.") || matchesIoError(message);
}

std::optional<std::string> stateDifference(const ProgramState& a, const ProgramState& b, unsigned mayDiffer)
{
#define RAVELLE_SAME(member, same)                                                                           \
    if (!(same))                                                                                             \
        return std::string(#member);
#define RAVELLE_SAME_VALUE(member) RAVELLE_SAME(member, a.member == b.member)
#define RAVELLE_SAME_DOUBLE(member) RAVELLE_SAME(member, sameBits(a.member, b.member))
#define RAVELLE_SAME_ARRAY(member) RAVELLE_SAME(member, sameArray(a.member, b.member))

    RAVELLE_SAME_VALUE(ObsFileName)
    RAVELLE_SAME_VALUE(ObsLoaded)
    RAVELLE_SAME_VALUE(ObsCount)
    RAVELLE_SAME_ARRAY(ObsField)
    RAVELLE_SAME_ARRAY(ObsIntensity)
    RAVELLE_SAME_DOUBLE(ObsEndLow)
    RAVELLE_SAME_DOUBLE(ObsEndHigh)
    if (!(mayDiffer & kParameters)) {
        RAVELLE_SAME_DOUBLE(CenterField)
        RAVELLE_SAME_DOUBLE(MutualScale)
        RAVELLE_SAME_DOUBLE(SigmaValue)
        RAVELLE_SAME_DOUBLE(DisplayRange)
        RAVELLE_SAME_VALUE(CalcPoints)
        RAVELLE_SAME_VALUE(HCount)
        RAVELLE_SAME_VALUE(NCount)
        RAVELLE_SAME_ARRAY(CouplingH)
        RAVELLE_SAME_ARRAY(CouplingN)
        RAVELLE_SAME_VALUE(CalcValid)
    }
    RAVELLE_SAME_ARRAY(CalcField)
    RAVELLE_SAME_ARRAY(CalcIntensity)
    RAVELLE_SAME_VALUE(CalcSpectrumPoints)
    RAVELLE_SAME_DOUBLE(CalcCenterField)
    RAVELLE_SAME_DOUBLE(CalcScale)
    RAVELLE_SAME_DOUBLE(CalcBaselineOffset)
    RAVELLE_SAME_DOUBLE(CalcBaselineSlope)
    RAVELLE_SAME_DOUBLE(FrameFieldLow)
    RAVELLE_SAME_DOUBLE(FrameFieldHigh)
    RAVELLE_SAME_DOUBLE(FrameIntLow)
    RAVELLE_SAME_DOUBLE(FrameIntHigh)
    RAVELLE_SAME_DOUBLE(PlotFieldMin)
    RAVELLE_SAME_DOUBLE(PlotFieldMax)
    RAVELLE_SAME_DOUBLE(PlotIntMin)
    RAVELLE_SAME_DOUBLE(PlotIntMax)
    RAVELLE_SAME_VALUE(PlotWidth)
    RAVELLE_SAME_VALUE(PlotHeight)
    RAVELLE_SAME_VALUE(StartDir)
    if (!(mayDiffer & kLastDir))
        RAVELLE_SAME_VALUE(LastDir)
    return std::nullopt;

#undef RAVELLE_SAME_ARRAY
#undef RAVELLE_SAME_DOUBLE
#undef RAVELLE_SAME_VALUE
#undef RAVELLE_SAME
}

void checkStateFinite(const ProgramState& state)
{
    const auto finite = [](double value) { return std::isfinite(value); };
    const auto allFinite = [&](const auto& values) {
        for (const double value : values)
            if (!finite(value))
                return false;
        return true;
    };
    RAVELLE_FUZZ_CHECK(allFinite(state.ObsField), "ObsField");
    RAVELLE_FUZZ_CHECK(allFinite(state.ObsIntensity), "ObsIntensity");
    RAVELLE_FUZZ_CHECK(allFinite(state.CalcField), "CalcField");
    RAVELLE_FUZZ_CHECK(allFinite(state.CalcIntensity), "CalcIntensity");
    RAVELLE_FUZZ_CHECK(allFinite(state.CouplingH), "CouplingH");
    RAVELLE_FUZZ_CHECK(allFinite(state.CouplingN), "CouplingN");
    const double scalars[] = {state.CalcCenterField, state.CalcScale,   state.CalcBaselineOffset,
                              state.CalcBaselineSlope,
                              state.ObsEndLow,     state.ObsEndHigh,    state.CenterField,  state.MutualScale,
                              state.SigmaValue,    state.DisplayRange,  state.FrameFieldLow, state.FrameFieldHigh,
                              state.FrameIntLow,   state.FrameIntHigh,  state.PlotFieldMin,  state.PlotFieldMax,
                              state.PlotIntMin,    state.PlotIntMax};
    RAVELLE_FUZZ_CHECK(allFinite(scalars), "a scalar of the state");
    // Counts and array sizes agree, so nothing reads beyond an array.
    if (state.ObsCount > 0) {
        const auto size = static_cast<std::size_t>(state.ObsCount) + 10;
        RAVELLE_FUZZ_CHECK(state.ObsField.size() == size && state.ObsIntensity.size() == size, "observed sizes");
    }
    if (state.CalcSpectrumPoints >= 0) {
        const auto size = static_cast<std::size_t>(state.CalcSpectrumPoints) + 10;
        RAVELLE_FUZZ_CHECK(state.CalcField.size() == size && state.CalcIntensity.size() == size, "simulated sizes");
    }
    RAVELLE_FUZZ_CHECK(state.HCount >= 0 && state.HCount <= 15 && state.NCount >= 0 && state.NCount <= 6,
                       "coupling counts");
}

void checkBoxNumber(const FuzzHost& host, std::string_view box)
{
    const std::string text = host.boxText(box);
    const auto value = tryParseBoxReal(text, host.separator);
    RAVELLE_FUZZ_CHECK(value && std::isfinite(*value), std::string(box) + " holds '" + text + "'");
}

bool calculateWithinBudget(const FuzzHost& host, const ProgramState& state, std::int32_t maxPoints, int maxCouplings)
{
    std::int64_t points = state.CalcPoints;
    if (host.boxText("NoPnts") != "NoPnts") {
        try {
            points = parseBoxInteger(host.boxText("NoPnts"));
        } catch (const UserError&) {
            return true; // ends at the conversion, before any synthesis
        }
    }
    if (points > maxPoints)
        return false;
    const auto chain = [&](std::string_view (*boxName)(int), int boxes) {
        int count = 0;
        while (count < boxes && host.boxText(boxName(count + 1)) != boxName(count + 1))
            ++count;
        return count;
    };
    const int hydrogens = chain(hydrogenBox, 15);
    const int nitrogens = chain(nitrogenBox, 6);
    if (hydrogens + nitrogens > maxCouplings)
        return false;
    const double terms = (static_cast<double>(std::max<std::int64_t>(points, 0)) + 1) * std::pow(2.0, hydrogens)
        * std::pow(3.0, nitrogens);
    return terms <= 4e6;
}

void checkCalculateOutcome(const ProgramState& before, const BoxTexts& boxesBefore,
                           const FuzzHost& host)
{
    const ProgramState& state = host.state;
    checkStateFinite(state);
    RAVELLE_FUZZ_CHECK(host.errors.size() + host.notices.size() <= 1, "at most one message");
    for (const std::string& message : host.errors)
        RAVELLE_FUZZ_CHECK(isProgramMessage(message), message);

    if (!host.errors.empty() || !host.notices.empty()) {
        if (!host.notices.empty())
            RAVELLE_FUZZ_CHECK(host.notices.front() == messages::kMissingParameters, host.notices.front());
        RAVELLE_FUZZ_CHECK(host.redraws == 0, "no redraw after a failure");
        RAVELLE_FUZZ_CHECK(host.boxes == boxesBefore, "boxes unchanged after a failure");
        const auto difference = stateDifference(before, state, kParameters);
        RAVELLE_FUZZ_CHECK(!difference, "changed after a failure: " + difference.value_or(""));
        return;
    }

    RAVELLE_FUZZ_CHECK(host.redraws == 1, "one redraw");
    RAVELLE_FUZZ_CHECK(state.CalcValid, "CalcValid");
    RAVELLE_FUZZ_CHECK(state.CalcSpectrumPoints == state.CalcPoints, "the spectrum has the typed point count");
    const auto n = static_cast<std::size_t>(state.CalcSpectrumPoints);
    double low = state.CalcIntensity[0];
    double high = state.CalcIntensity[0];
    for (std::size_t i = 0; i <= n; ++i) {
        low = std::min(low, state.CalcIntensity[i]);
        high = std::max(high, state.CalcIntensity[i]);
    }
    RAVELLE_FUZZ_CHECK(std::fabs(high - low - 2) < 1e-9, "peak to peak 2, got " + std::to_string(high - low));
    RAVELLE_FUZZ_CHECK(state.FrameIntLow == -1.1 && state.FrameIntHigh == 1.1, "intensity frame");

    const char separator = host.separator;
    RAVELLE_FUZZ_CHECK(host.boxText("GCntr") == formatFixed(state.CenterField, 2, separator), "GCntr");
    RAVELLE_FUZZ_CHECK(host.boxText("Scl") == formatFixed(state.MutualScale, 4, separator), "Scl");
    RAVELLE_FUZZ_CHECK(host.boxText("NoPnts") == std::to_string(state.CalcPoints), "NoPnts");
    RAVELLE_FUZZ_CHECK(host.boxText("Edit3") == "-1.10" && host.boxText("Edit4") == "1.10", "Edit3/Edit4");
    for (const std::string_view box : {"Edit1", "Edit2", "GCntr", "Scl"})
        checkBoxNumber(host, box);
    for (const auto& [box, text] : boxesBefore) {
        static const std::string_view kWritten[] = {"Edit1", "Edit2", "Edit3", "Edit4", "GCntr", "Scl", "NoPnts"};
        if (std::find(std::begin(kWritten), std::end(kWritten), box) == std::end(kWritten))
            RAVELLE_FUZZ_CHECK(host.boxText(box) == text, "Calculate does not write " + box);
    }
    RAVELLE_FUZZ_CHECK(state.ObsField == before.ObsField && state.ObsIntensity == before.ObsIntensity
                           && state.ObsCount == before.ObsCount,
                       "the observed spectrum is untouched");
}

void checkNextCalculateSucceeds(ProgramState& state, FuzzHost& host)
{
    host.setBoxText("GCntr", "3400");
    host.setBoxText("Scl", "1");
    host.setBoxText("NoPnts", "300");
    host.setBoxText("G", "30");
    host.setBoxText("Sigma", "0.1");
    host.setBoxText("H1", "1.5");
    host.setBoxText("H2", "H2");
    host.setBoxText("N1", "N1");
    host.clearLog();
    const ProgramState before = state;
    const auto boxesBefore = host.boxes;
    calculateCommand(state, host);
    RAVELLE_FUZZ_CHECK(host.errors.empty() && host.notices.empty(),
                       "the next Calculate works: " + (host.errors.empty() ? std::string() : host.errors.front()));
    checkCalculateOutcome(before, boxesBefore, host);
}

const std::string& scratchDirectory()
{
    static const std::string directory = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/ravelle-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            fail(__FILE__, __LINE__, "cannot create a scratch directory");
        // libFuzzer ends with exit(); the directory goes with the process.
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(removeAtExit, error);
        });
        return pattern;
    }();
    return directory;
}

CalculatedStart::CalculatedStart()
{
    Initialise(state, scratchDirectory());
    FuzzHost host(state);
    checkNextCalculateSucceeds(state, host);
    boxes = host.boxes;
}

} // namespace ravelle::fuzz
