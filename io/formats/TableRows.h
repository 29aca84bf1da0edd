#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// Rows of numbers in a text table: how a line splits into cells, and where
// the rows of numbers under a header begin.
namespace ravelle::formats {

enum class Separator { tab, semicolon, comma, blanks };

struct TableLayout {
    Separator separator = Separator::blanks;
    char decimalMark = '.';
    std::size_t firstRow = 0; // index of the first line of numbers
    std::size_t columns = 0;  // cells in that line
};

// The cells of a line, each trimmed of blanks. Blanks: runs of blanks and
// tabs separate, with none at either end. Others: every separator starts a
// new cell. Empty cells at the end of a line (spreadsheets pad rows with
// separators) are dropped.
void splitCells(std::string_view line, Separator separator, std::vector<std::string_view>& cells);

// The separator a line uses: a tab where it has one, else a semicolon, else
// a comma where the line reads as numbers split at commas, else blanks.
Separator separatorOf(std::string_view line);

// Where the rows of numbers begin: the first line that starts three (or as
// many as are left, at least one) non-blank lines in a row that each hold
// two or more cells, all numbers (or spelled-out non-finite values), with
// the same separator, decimal mark and number of cells. A decimal comma is
// taken with any separator but the comma. Nothing when no line qualifies.
std::optional<TableLayout> findTableLayout(const std::vector<std::string_view>& lines);

} // namespace ravelle::formats
