// One stepper step on an arbitrary box text: the first byte picks one of the
// 28 stepper halves, the rest is the text of its box. The step is followed by
// Calculate, as the stepper does when the text parses.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "fuzz/FuzzSupport.h"
#include "commands/Commands.h"

namespace ravelle::fuzz {
namespace {

struct Stepper {
    std::string_view box;
    long double step;
};

constexpr Stepper kSteppers[] = {
    {"GCntr", 10.0L}, {"GCntr", 1.0L}, {"GCntr", 0.1L},  {"GCntr", 0.01L}, {"Scl", 1.0L},
    {"Scl", 0.1L},    {"Scl", 0.01L},  {"Scl", 0.001L},  {"G", 10.0L},     {"G", 1.0L},
    {"G", 0.1L},      {"Sigma", 0.1L}, {"Sigma", 0.01L}, {"Sigma", 0.001L},
};

} // namespace
} // namespace ravelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::fuzz;
    static const CalculatedStart start;
    if (size == 0)
        return -1;

    const std::size_t half = data[0] % 28;
    const Stepper& stepper = kSteppers[half / 2];
    const long double step = half % 2 == 0 ? stepper.step : -stepper.step;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    ProgramState state = start.state;
    FuzzHost host(state, start.boxes);
    host.setBoxText(stepper.box, text);
    const ProgramState before = state;
    const auto boxesBefore = host.boxes;

    const bool stepped = stepBox(host, stepper.box, step);
    const auto parsed = tryParseBoxReal(text, host.separator);
    RAVELLE_FUZZ_CHECK(stepped == parsed.has_value(), "steps exactly when the text parses");
    if (!stepped) {
        RAVELLE_FUZZ_CHECK(host.errors.size() == 1 && host.errors.front() == messages::notAReal(text),
                           "the conversion error quoting the text");
        RAVELLE_FUZZ_CHECK(host.boxes == boxesBefore, "the box keeps its text");
        RAVELLE_FUZZ_CHECK(!stateDifference(before, state), "a step changes no state");
        return 0;
    }

    // The printed sum: 15 significant digits at most, read back within half a
    // unit of the 15th digit, and printed the same again.
    const std::string printed = host.boxText(stepper.box);
    const auto reread = tryParseBoxReal(printed, host.separator);
    RAVELLE_FUZZ_CHECK(reread && std::isfinite(*reread), "the stepped text '" + printed + "' parses");
    const long double sum = *parsed + step;
    RAVELLE_FUZZ_CHECK(std::fabs(*reread - sum) <= std::fabs(sum) * 5.01e-15L, "'" + printed + "' is the sum");
    RAVELLE_FUZZ_CHECK(formatGeneral(*reread, host.separator, 15) == printed, "'" + printed + "' prints as itself");
    RAVELLE_FUZZ_CHECK(host.errors.empty() && host.notices.empty(), "a step that parses shows nothing");

    const auto boxesAfterStep = host.boxes;
    calculateCommand(state, host);
    checkCalculateOutcome(before, boxesAfterStep, host);
    checkNextCalculateSucceeds(state, host);
    return 0;
}
