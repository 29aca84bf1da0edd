#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/ProgramState.h"

// The spectrum column the user chose from a text table of several, kept for
// tables with the same header (the same instrument set-up) across runs: the
// file "colinf" beside dirinf in the start-up directory holds one CR LF line
// per header, its signature (sixteen hex digits), a blank and the column's
// number from 0, the latest choice first. Like dirinf it is a convenience: a
// file that cannot be read or written is passed over without a word.
namespace ravelle {

// The most headers remembered; older choices are forgotten.
inline constexpr std::size_t kRememberedHeaders = 100;

// Path of colinf: StartDir + "/colinf".
std::string columnMemoryPath(const ProgramState& state);

// The column chosen last for tables with this header signature, if any.
std::optional<std::size_t> rememberedColumn(const ProgramState& state, std::string_view signature);

// Puts the choice first in colinf, replacing an earlier one for the same
// header; the file is replaced whole.
void rememberColumn(const ProgramState& state, std::string_view signature, std::size_t column);

} // namespace ravelle
