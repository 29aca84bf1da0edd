// Calculate on an arbitrary Model window: the input, line by line, is what
// the user typed into it. A line's first character says which field the rest
// of the line goes to; groups and species are added as the lines name them.
//
//   g gamma, o baseline offset, s slope, f frequency,
//   L line shape of the current species (the next character mod 3),
//   N a group of the current species: isotope|count|coupling|n (n: natural),
//   W the width law of the current species: group|sigma B|sigma C|gamma B|gamma C,
//   P a new species (the current one from then on), w its weight, x its shift,
//   X its shift as a g-value, q its sigma, r its gamma.
//
// The boxes hold a known good parameter set; whatever the window holds, the
// command either calculates or shows one program message and changes nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/Commands.h"
#include "fuzz/FuzzSupport.h"

namespace ravelle::fuzz {
namespace {

// Enough to reach every check, few enough that a run stays quick.
constexpr std::size_t kMostSpecies = 4;
constexpr std::size_t kMostGroups = 6;

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (true) {
        const std::size_t end = text.find(separator, at);
        parts.emplace_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos)
            return parts;
        at = end + 1;
    }
}

model::LineShape shapeOf(std::string_view rest)
{
    const int pick = rest.empty() ? 0 : static_cast<unsigned char>(rest.front()) % 3;
    return static_cast<model::LineShape>(pick);
}

// Whether the texts stay within the run's budget.
bool fill(ModelTexts& texts, std::string_view input)
{
    for (const std::string& line : split(input, '\n')) {
        if (line.empty())
            continue;
        const std::string rest = line.substr(1);
        SpeciesTexts* species = texts.species.empty() ? nullptr : &texts.species.back();
        std::vector<GroupTexts>& groups = species ? species->groups : texts.groups;
        WidthLawTexts& law = species ? species->widthLaw : texts.widthLaw;
        switch (line.front()) {
        case 'g': (species ? species->gamma : texts.gamma) = rest; break;
        case 'o': texts.offset = rest; break;
        case 's': texts.slope = rest; break;
        case 'f': texts.frequency = rest; break;
        case 'L': (species ? species->shape : texts.shape) = shapeOf(rest); break;
        case 'N': {
            const std::vector<std::string> parts = split(rest, '|');
            if (groups.size() >= kMostGroups)
                return false;
            groups.push_back({parts[0], parts.size() > 1 ? parts[1] : "1", parts.size() > 2 ? parts[2] : "0",
                              parts.size() > 3 && parts[3] == "n"});
            break;
        }
        case 'W': {
            const std::vector<std::string> parts = split(rest, '|');
            std::string* fields[] = {&law.group, &law.sigmaB, &law.sigmaC, &law.gammaB, &law.gammaC};
            for (std::size_t k = 0; k < parts.size() && k < 5; ++k)
                *fields[k] = parts[k];
            break;
        }
        case 'P':
            if (texts.species.size() + 1 >= kMostSpecies)
                return false;
            texts.species.emplace_back();
            break;
        default:
            if (!species)
                break;
            switch (line.front()) {
            case 'w': species->weight = rest; break;
            case 'x': species->shift = rest; break;
            case 'X': species->shiftIsGValue = !species->shiftIsGValue; break;
            case 'q': species->sigma = rest; break;
            case 'r': species->gamma = rest; break;
            default: break;
            }
        }
    }
    return true;
}

} // namespace
} // namespace ravelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::fuzz;
    static const CalculatedStart start;

    ProgramState state = start.state;
    FuzzHost host(state, start.boxes);
    if (!fill(host.model, std::string_view(reinterpret_cast<const char*>(data), size)))
        return -1;

    const ProgramState before = state;
    const auto boxesBefore = host.boxes;
    const ModelTexts typed = host.model;
    calculateCommand(state, host);
    checkCalculateOutcome(before, boxesBefore, host);
    RAVELLE_FUZZ_CHECK(host.model == typed, "Calculate does not write the Model window");
    host.model = ModelTexts{};
    checkNextCalculateSucceeds(state, host);
    return 0;
}
