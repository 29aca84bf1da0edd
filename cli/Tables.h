#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/ProgramState.h"

// The texts the command line writes: numbers with "." whatever the system's
// number format, lines ending CR LF like the window's own tables.
namespace ravelle::cli {

// The shortest text that reads back as exactly `value` ("3400.25", "1e-05").
std::string exactNumber(double value);

// Two columns, field and intensity, one point a line as the import reads
// them, every value exact.
std::string twoColumnText(std::span<const double> field, std::span<const double> intensity);

// The simulated spectrum as the .cal table holds it (the same points, the
// same placement, scale and baseline), as CSV with the header
// "field_G,intensity" and exact values.
std::string simulatedCsv(const ProgramState& state);

// A CSV cell: as it is, or in double quotes (inner quotes doubled) where it
// holds a comma, a quote, a line break or a blank at either end.
std::string csvCell(std::string_view text);

// Replaces `fileName` with `text` whole or not at all. Throws UserError.
void writeWholeFile(const std::string& fileName, std::string_view text);

} // namespace ravelle::cli
