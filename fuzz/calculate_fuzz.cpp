// Calculate on arbitrary texts in all thirty boxes, one text per line of the
// input in the order of kCalculateBoxOrder; boxes without a line keep the
// texts of a window that has just calculated over an imported spectrum.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "commands/Commands.h"

namespace ravelle::fuzz {
namespace {

// A window after an import and a good Calculate: there is a previous
// spectrum, frame and window for a failed command to leave alone.
struct Start {
    ProgramState state;
    BoxTexts boxes;

    Start()
    {
        Initialise(state, scratchDirectory());
        FuzzHost host(state);
        state.ObsFileName = scratchDirectory() + "/observed.dat";
        state.ObsLoaded = true;
        state.ObsCount = 3;
        state.ObsField = {0, 3390, 3400, 3410, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        state.ObsIntensity = {0, 1, -1, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        checkNextCalculateSucceeds(state, host);
        boxes = host.boxes;
    }
};

} // namespace
} // namespace ravelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::fuzz;
    static const Start start;

    ProgramState state = start.state;
    FuzzHost host(state, start.boxes);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    for (const std::string_view box : kCalculateBoxOrder) {
        if (at > input.size())
            break;
        const std::size_t end = std::min(input.find('\n', at), input.size());
        host.setBoxText(box, std::string(input.substr(at, end - at)));
        at = end + 1;
    }
    if (!calculateWithinBudget(host, state))
        return -1;

    const ProgramState before = state;
    const auto boxesBefore = host.boxes;
    calculateCommand(state, host);
    checkCalculateOutcome(before, boxesBefore, host);
    checkNextCalculateSucceeds(state, host);
    return 0;
}
