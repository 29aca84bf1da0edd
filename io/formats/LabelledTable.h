#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "io/formats/RawSpectrum.h"

// Text tables as instruments and their programs export them: header lines
// (the last of them naming the columns), then rows of numbers.
//
// Accepted: cells separated by tabs, semicolons, commas or runs of blanks
// (one kind per table); a decimal point, or a decimal comma with any
// separator but the comma; line ends LF, CR LF or CR; a UTF-8 byte order
// mark; empty cells padding the end of a row; blank lines after the last
// row. The rows must follow each other without blank lines and hold at
// least the field and intensity cells.
//
// The field column is the first one the header names as a field ("Field
// [G]", "X [G]", "FIELD (G)", "B", "xb", …), else the first that is neither
// a running index nor a microwave frequency. Its unit is the one in its
// label (G, mT or T); without one, a microwave frequency decides (the unit
// that puts the resonance near g = 2), and without that gauss is assumed;
// either way a notice says so. Where the field is given to fewer decimals
// than its steps need (0.001 mT for steps of 0.0012 mT) and every value is
// within that rounding of an even sweep, the even sweep is used, with a
// notice.
namespace ravelle::formats {

// What the user chose in the window; nothing means the reader's default.
struct TableChoice {
    std::optional<std::size_t> intensityColumn; // index into TableColumns::labels
    std::optional<std::size_t> fieldColumn;
    std::optional<FieldUnit> fieldUnit;
};

// Whether a text is clearly such a table: at least two rows of numbers
// after at least one header line. `complete`
// is false when the text is only the start of a file (its last line may be
// cut). A table without header lines is not one: the plain two-column
// import decides about such files.
bool looksLikeLabelledTable(std::string_view text, bool complete);

// Throws UserError naming the file (`name`) and the line at fault.
// `progress` hears the share of the rows read every so many thousand rows
// and may throw to stop the reading.
RawSpectrum readLabelledTable(std::string_view text, const std::string& name, const TableChoice& choice = {},
                              const std::function<void(double)>& progress = {});

} // namespace ravelle::formats
