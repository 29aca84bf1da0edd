#include "commands/Parameters.h"

#include <string>

#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/FloatingPoint.h"

namespace ravelle {

namespace {

bool isUnset(const CommandHost& host, std::string_view box) { return isUnsetBox(host.boxText(box), box); }

// The text is parsed in extended precision and stored as a double, so a
// value beyond the double range ends with the overflow error. The system's
// separator and "." are both taken, so a box typed or written under another
// locale still reads.
double readReal(const CommandHost& host, std::string_view box)
{
    return storeDouble(parseRealEitherPoint(host.boxText(box), host.decimalSeparator()));
}

// Box k is taken only while the chain is unbroken: label first, count
// second, conversion last, so a box behind the first unset one is never
// converted whatever it holds.
template <typename Couplings, typename BoxName>
void readChain(const CommandHost& host, int boxCount, BoxName boxName, std::int32_t& count, Couplings& couplings)
{
    count = 0;
    for (int k = 1; k <= boxCount; ++k) {
        const std::string_view box = boxName(k);
        if (isUnset(host, box) || count != k - 1)
            continue;
        couplings[static_cast<std::size_t>(k)] = readReal(host, box);
        count = k;
    }
}

} // namespace

bool isUnsetBox(std::string_view text, std::string_view box) { return text == box; }

void readLeadingParameters(ProgramState& state, const CommandHost& host)
{
    if (!isUnset(host, "GCntr"))
        state.CenterField = readReal(host, "GCntr");
    if (!isUnset(host, "Scl"))
        state.MutualScale = readReal(host, "Scl");
    if (!isUnset(host, "NoPnts"))
        state.CalcPoints = parseBoxInteger(host.boxText("NoPnts"));
}

bool requiredParametersDefined(const CommandHost& host)
{
    return requiredParametersDefined(host, ModelTexts{});
}

bool requiredParametersDefined(const CommandHost& host, const ModelTexts& model)
{
    if (isUnset(host, "G") || isUnset(host, "Sigma"))
        return false;
    const bool modelDefinesSpectrum = !model.groups.empty() || !model.species.empty();
    return modelDefinesSpectrum || !(isUnset(host, "H1") && isUnset(host, "N1"));
}

void readSynthesisParameters(ProgramState& state, const CommandHost& host)
{
    state.DisplayRange = readReal(host, "G");
    state.SigmaValue = readReal(host, "Sigma");
    readChain(host, 15, hydrogenBox, state.HCount, state.CouplingH);
    readChain(host, 6, nitrogenBox, state.NCount, state.CouplingN);
}

void writeLimitBoxes(const ProgramState& state, CommandHost& host)
{
    const char separator = host.decimalSeparator();
    host.setBoxText("Edit1", formatFixed(state.FrameFieldLow, 2, separator));
    host.setBoxText("Edit2", formatFixed(state.FrameFieldHigh, 2, separator));
    host.setBoxText("Edit3", formatFixed(state.FrameIntLow, 2, separator));
    host.setBoxText("Edit4", formatFixed(state.FrameIntHigh, 2, separator));
}

void writeBackParameters(const ProgramState& state, CommandHost& host)
{
    writeLimitBoxes(state, host);
    const char separator = host.decimalSeparator();
    host.setBoxText("GCntr", formatFixed(state.CenterField, 2, separator));
    host.setBoxText("Scl", formatFixed(state.MutualScale, 4, separator));
    host.setBoxText("NoPnts", std::to_string(state.CalcPoints));
}

} // namespace ravelle
