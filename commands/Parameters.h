#pragma once

#include <string_view>

#include "commands/CommandHost.h"
#include "commands/ModelTexts.h"
#include "engine/ProgramState.h"

// Reading the parameter boxes into the program state, the check for the
// minimum parameter set, and writing the values back. Every value is stored
// into the state as soon as it is converted, so a conversion error later in
// the reading leaves the earlier values in place.
namespace ravelle {

// A box is unset while its text is exactly its own name (byte for byte, no
// trimming, case-sensitive).
bool isUnsetBox(std::string_view text, std::string_view box);

// GCntr -> CenterField, Scl -> MutualScale, NoPnts -> CalcPoints, in that
// order, each only when set. Throws UserError on a text that is not a number.
void readLeadingParameters(ProgramState& state, const CommandHost& host);

// Whether G and Sigma are set and at least one of H1 and N1.
bool requiredParametersDefined(const CommandHost& host);
// The same where the Model window's content counts too: nucleus groups of
// its own, or a further species, define a spectrum without H1 or N1.
bool requiredParametersDefined(const CommandHost& host, const ModelTexts& model);

// G -> DisplayRange, Sigma -> SigmaValue, then the hydrogen and nitrogen
// chains: HCount/NCount count the boxes from the first one up to the first
// unset one; boxes behind it are neither counted nor converted. Throws
// UserError on a text that is not a number.
void readSynthesisParameters(ProgramState& state, const CommandHost& host);

// Edit1/Edit2 := FrameFieldLow/High, Edit3/Edit4 := FrameIntLow/High, each
// with 2 decimals and the host's decimal separator. Shared by Calculate and
// the import.
void writeLimitBoxes(const ProgramState& state, CommandHost& host);

// The write-back of Calculate: the limit boxes, then GCntr (2 decimals), Scl
// (4 decimals) and NoPnts (plain decimal integer).
void writeBackParameters(const ProgramState& state, CommandHost& host);

} // namespace ravelle
