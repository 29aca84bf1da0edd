#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "io/formats/RawSpectrum.h"
#include "io/formats/TableRows.h"

// What the header of a text table says about its columns: their labels,
// which one is the field, an index or a microwave frequency, the units, and
// a frequency given in a header line.
namespace ravelle::formats {

// One label per column from the header's label row (its last non-blank
// line, when that has two or more cells), as UTF-8 (a label that is not
// UTF-8 is read as Latin-1); "column N" where the row names none. Labels
// beyond the columns of the rows are left out. Blank-
// separated label rows split at runs of two or more blanks, else at single
// blanks with a unit in brackets kept with its word ("Field [G]").
std::vector<std::string> columnLabels(const std::vector<std::string_view>& headerLines, const TableLayout& layout);

// The label without its unit, in lower case: "Field [G]" -> "field".
std::string labelName(std::string_view label);
// The unit text of a label: in its last brackets or parentheses, after a
// "/", or its last word ("B0 (mT)", "Field/G", "Field mT" -> "mT").
std::string_view labelUnit(std::string_view label);

bool namesField(std::string_view label);
bool namesIndex(std::string_view label);
// The labels of a table, to judge one label by the others.
class ColumnNames {
public:
    explicit ColumnNames(const std::vector<std::string>& labels);
    // By the label alone: "frequency", "MW freq", a unit in Hz; or, as some
    // tables name the frequency that goes with spectrum "n2", "fn2" or "xfn2".
    bool namesFrequency(std::string_view label) const;

private:
    std::unordered_set<std::string> lowered_;
};
// The frequency column that goes with a spectrum column, by that naming.
bool isFrequencyOf(std::string_view frequencyLabel, std::string_view spectrumLabel);

// GHz per unit of a frequency with this label's unit; by the size of the
// value where the label gives none; nothing for a value that is no
// microwave frequency (outside 0.1 .. 1000 GHz).
std::optional<double> frequencyInGHz(double value, std::string_view unitText);

// A microwave frequency in a header line ("FREQUENCY (MHz)  9805.704",
// "MW frequency: 9.5 GHz"), in GHz: the first number of the first line
// that names a frequency, not a modulation, and gives one in 0.1 .. 1000 GHz.
std::optional<double> headerFrequency(const std::vector<std::string_view>& headerLines);

// Sixteen hex digits (64-bit FNV-1a) over the number of columns and the labels.
std::string headerSignature(const std::vector<std::string>& labels);

} // namespace ravelle::formats
