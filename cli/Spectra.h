#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/ParameterSet.h"

// The simulated spectrum of a parameter set, and a spectrum file's points as
// it stores them.
namespace ravelle::cli {

enum class TableLayout { cal, csv };

struct Table {
    std::string text;
    std::vector<std::string> notices; // anything the command said on the way
};

// Puts the set into a fresh window's boxes (NoPnts replaced by `points` when
// given), runs Calculate and gives the table the window's Save writes (.cal)
// or the same points as CSV. Throws UserError with what Calculate reported
// when it made no spectrum.
Table simulatedTable(const ParameterSet& set, std::optional<std::int32_t> points, TableLayout layout);

// Any file the import reads, as two-column text: field in gauss and
// intensity as stored, in file order, before any normalisation. Throws
// UserError with the import's message.
Table convertedTable(const std::string& fileName);

} // namespace ravelle::cli
