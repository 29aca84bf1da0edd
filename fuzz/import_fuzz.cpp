// The observed-spectrum import on arbitrary file contents, through the real
// command: the bytes are written to a file that the scripted open dialog
// then chooses. The outcome is checked against an independent reading of the
// same bytes by the two-column format's rules, or, for a file that the
// spectrometer-file readers take (a labelled table, a UTF-16 text), against
// what the reader makes of it.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "fuzz/FuzzSupport.h"
#include "io/ObservedImport.h"
#include "io/formats/SpectrumFile.h"
#include "commands/Commands.h"

namespace ravelle::fuzz {
namespace {

// A window after an earlier import and a Calculate, so that a failed import
// has a spectrum, a frame and boxes to leave alone.
struct Start {
    ProgramState state;
    BoxTexts boxes;
    // The import moves into the chosen file's directory; libFuzzer reads
    // relative corpus paths from the directory it started in.
    std::filesystem::path startedIn = std::filesystem::current_path();

    Start()
    {
        // Without a start-up directory there is no dirinf to write (and to
        // flush to the disk) for every input; the file's contents are what
        // this target varies.
        Initialise(state, std::string());
        FuzzHost host(state);
        writeFile("3390 1\n3400 -1\n3410 0.5\n");
        host.openAnswer = fileName();
        importCommand(state, host);
        RAVELLE_FUZZ_CHECK(host.errors.empty(), "the first import works");
        checkNextCalculateSucceeds(state, host);
        boxes = host.boxes;
        std::filesystem::current_path(startedIn);
    }

    static std::string fileName() { return scratchDirectory() + "/observed.dat"; }

    static void writeFile(std::string_view bytes)
    {
        const int fd = ::open(fileName().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        RAVELLE_FUZZ_CHECK(fd >= 0, "cannot write the input file");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
            RAVELLE_FUZZ_CHECK(wrote > 0, "cannot write the input file");
            done += static_cast<std::size_t>(wrote);
        }
        ::close(fd);
    }
};

// The file read by its rules, written apart from the program's reader: a
// UTF-8 byte-order mark at the start is skipped, lines end at LF (CR dropped), Ctrl-Z at a line start ends the file and inside a
// line ends its text; each line splits after the first non-blank that a
// blank follows; both parts are trimmed of bytes up to 20 hex.
struct Reading {
    std::vector<double> fields;
    std::vector<double> intensities;
    std::optional<std::string> badText; // the first text that does not convert
};

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

std::optional<double> converted(std::string_view text)
{
    const auto value = tryParseBoxReal(text, '.');
    if (!value || std::isinf(static_cast<double>(*value)))
        return std::nullopt;
    return static_cast<double>(*value);
}

Reading readByTheRules(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t at = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (at < bytes.size()) {
        if (bytes[at] == '\x1A')
            break;
        std::size_t end = bytes.find('\n', at);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = bytes.size();
        std::string line;
        for (const char c : bytes.substr(at, end - at)) {
            if (c == '\x1A')
                break;
            if (c != '\r')
                line += c;
        }
        lines.push_back(line);
        at = ended ? end + 1 : end;
    }

    Reading reading;
    for (const std::string& line : lines) {
        std::size_t split = 0;
        for (std::size_t q = 1; q < line.size(); ++q)
            if (line[q - 1] != ' ' && line[q] == ' ') {
                split = q;
                break;
            }
        const std::string_view view(line);
        const std::string_view texts[] = {trimmed(view.substr(0, split)), trimmed(view.substr(split))};
        std::vector<double>* const columns[] = {&reading.fields, &reading.intensities};
        for (int column = 0; column < 2; ++column) {
            const auto value = converted(texts[column]);
            if (!value) {
                reading.badText = std::string(texts[column]);
                return reading;
            }
            columns[column]->push_back(*value);
        }
    }
    return reading;
}

} // namespace
} // namespace ravelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::fuzz;
    static const Start start;

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Start::writeFile(bytes);
    ProgramState state = start.state;
    FuzzHost host(state, start.boxes);
    host.openAnswer = Start::fileName();
    const ProgramState before = state;
    const auto boxesBefore = host.boxes;

    importCommand(state, host);
    checkStateFinite(state);
    RAVELLE_FUZZ_CHECK(host.errors.size() <= 1, "at most one message");

    // What the readers make of the file; neither a spectrum nor a refusal:
    // the two-column text, read by its rules.
    std::optional<formats::RawSpectrum> raw;
    std::optional<std::string> refusal;
    try {
        raw = formats::readSpectrumFile(Start::fileName());
    } catch (const UserError& error) {
        refusal = error.message();
    }
    const bool plain = !raw && !refusal;
    RAVELLE_FUZZ_CHECK(host.notices.size() <= (raw && !raw->notices.empty() && host.errors.empty() ? 1u : 0u),
                       "a notice only of a reader, after its import");

    const Reading reading = plain ? readByTheRules(bytes) : Reading{};
    if (!host.errors.empty()) {
        const std::string& message = host.errors.front();
        if (refusal)
            RAVELLE_FUZZ_CHECK(message == *refusal, message + " where the reader says " + *refusal);
        else
            RAVELLE_FUZZ_CHECK(isProgramMessage(message), message);
        if (reading.badText)
            RAVELLE_FUZZ_CHECK(message == messages::notAReal(*reading.badText),
                               message + " for the text '" + *reading.badText + "'");
        else if (plain && reading.fields.empty())
            RAVELLE_FUZZ_CHECK(message == messages::kEmptyObservedFile, message);
        RAVELLE_FUZZ_CHECK(host.redraws == 0, "no redraw after a failure");
        RAVELLE_FUZZ_CHECK(host.boxes == boxesBefore, "boxes unchanged after a failure");
        const auto difference = stateDifference(before, state, kLastDir);
        RAVELLE_FUZZ_CHECK(!difference, "changed after a failure: " + difference.value_or(""));
    } else {
        RAVELLE_FUZZ_CHECK(!refusal, "imported what the reader refuses: " + refusal.value_or(""));
        RAVELLE_FUZZ_CHECK(!reading.badText, "imported in spite of the text '" + reading.badText.value_or("") + "'");
        const std::vector<double>& fields = plain ? reading.fields : raw->field;
        const auto n = static_cast<std::int32_t>(fields.size());
        RAVELLE_FUZZ_CHECK(state.ObsCount == n, "one point per line or row");
        RAVELLE_FUZZ_CHECK(state.ObsLoaded && state.ObsFileName == Start::fileName(), "the file is the observed one");
        RAVELLE_FUZZ_CHECK(host.redraws == 1, "one redraw");
        const double first = fields.front();
        const double last = fields.back();
        RAVELLE_FUZZ_CHECK(state.ObsEndLow == std::min(first, last) && state.ObsEndHigh == std::max(first, last),
                           "the ends are the first and the last field");
        // The linear remapping of the fields rounds; a field may pass an end
        // by a rounding error of the whole span.
        const long double slack = (static_cast<long double>(state.ObsEndHigh) - state.ObsEndLow) * 1e-15L;
        for (std::int32_t i = 1; i <= n; ++i) {
            RAVELLE_FUZZ_CHECK(state.ObsIntensity[i] >= -1 && state.ObsIntensity[i] <= 1, "intensity in -1 .. 1");
            RAVELLE_FUZZ_CHECK(state.ObsField[i] >= state.ObsEndLow - slack && state.ObsField[i] <= state.ObsEndHigh + slack,
                               "field between the ends");
        }
        RAVELLE_FUZZ_CHECK(host.boxText("GCntr") == formatFixed(state.CenterField, 2, '.'), "GCntr");
        RAVELLE_FUZZ_CHECK(host.boxText("NoPnts") == std::to_string(state.CalcPoints), "NoPnts");
        RAVELLE_FUZZ_CHECK(host.boxText("Edit3") == "-1.10" && host.boxText("Edit4") == "1.10", "Edit3/Edit4");
        for (const std::string_view box : {"Edit1", "Edit2", "GCntr", "G"})
            checkBoxNumber(host, box);
        RAVELLE_FUZZ_CHECK(state.CalcField == before.CalcField && state.CalcIntensity == before.CalcIntensity,
                           "the simulated spectrum is untouched");
    }
    checkNextCalculateSucceeds(state, host);
    std::filesystem::current_path(start.startedIn);
    return 0;
}
