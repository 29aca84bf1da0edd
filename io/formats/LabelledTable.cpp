#include "io/formats/LabelledTable.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/UserError.h"
#include "io/formats/FieldUnits.h"
#include "io/formats/TableHeader.h"
#include "io/formats/TableRows.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

// More columns than any spectrometer writes; the labels of more would take
// memory out of all proportion to the file.
constexpr std::size_t kMaxColumns = 10'000;
// Header lines and trailing blank lines allowed beside the rows.
constexpr std::size_t kMaxOtherLines = 100'000;

// The rows of numbers of a table (the lines from its first row to its last
// non-blank line), with access to their cells.
class Rows {
public:
    Rows(const std::vector<std::string_view>& lines, const TableLayout& layout, const std::string& name)
        : lines_(lines), first_(layout.firstRow), layout_(layout), name_(name)
    {
        std::size_t end = lines.size();
        while (end > first_ && trimBlanks(lines[end - 1]).empty())
            --end;
        for (std::size_t line = first_; line < end; ++line)
            if (trimBlanks(lines[line]).empty())
                throw UserError(inQuotes(name) + " has a blank line (line " + countText(line + 1)
                                + ") between rows of numbers; only one table can be read from a file.");
        count_ = end - first_;
        if (count_ > kMaxPoints)
            throw UserError(inQuotes(name) + " holds " + countText(count_) + " rows of numbers; at most "
                            + countText(kMaxPoints) + " can be imported.");
    }

    std::size_t size() const { return count_; }

    // The cells of a row.
    std::vector<std::string_view> cells(std::size_t row) const
    {
        std::vector<std::string_view> cells;
        splitCells(lines_[first_ + row], layout_.separator, cells);
        return cells;
    }

    // The cell, or an empty text where the row has none.
    std::string_view cell(std::size_t row, std::size_t column)
    {
        if (row != splitRow_) {
            splitCells(lines_[first_ + row], layout_.separator, cells_);
            splitRow_ = row;
        }
        return column < cells_.size() ? cells_[column] : std::string_view();
    }

    // A cell that must be a finite number (for the spectrum itself).
    double number(std::size_t row, std::size_t column, const std::vector<std::string>& labels)
    {
        const std::string_view text = cell(row, column);
        const Decimal value = parseDecimal(text, layout_.decimalMark);
        if (value.status == Decimal::number)
            return value.value;
        const std::string where = "Line " + countText(first_ + row + 1) + " of " + inQuotes(name_);
        if (column >= cells_.size())
            throw UserError(where + " has no cell in column " + countText(column + 1) + " ("
                            + inQuotes(labels[column]) + ").");
        if (value.status == Decimal::notFinite)
            throw UserError(where + " holds " + inQuotes(text) + ", which is not a finite number.");
        throw UserError(where + " holds " + inQuotes(text) + " where a number belongs (column "
                        + countText(column + 1) + ", " + inQuotes(labels[column]) + ").");
    }

    // A cell read only to judge its column: nothing where it is no number.
    std::optional<double> peek(std::size_t row, std::size_t column)
    {
        return valueOf(cell(row, column));
    }

    std::optional<double> valueOf(std::string_view text) const
    {
        const Decimal value = parseDecimal(text, layout_.decimalMark);
        return value.status == Decimal::number ? std::optional<double>(value.value) : std::nullopt;
    }

private:
    const std::vector<std::string_view>& lines_;
    std::size_t first_;
    std::size_t count_ = 0;
    const TableLayout& layout_;
    const std::string& name_;
    std::vector<std::string_view> cells_;
    std::size_t splitRow_ = static_cast<std::size_t>(-1); // the row cells_ holds
};

// The first, middle and last rows, split once, to judge the columns by.
struct SampleRows {
    explicit SampleRows(const Rows& rows)
        : first(rows.cells(0)), middle(rows.cells(rows.size() / 2)), last(rows.cells(rows.size() - 1))
    {
    }
    std::vector<std::string_view> first;
    std::vector<std::string_view> middle;
    std::vector<std::string_view> last;
};

std::string_view cellOf(const std::vector<std::string_view>& cells, std::size_t column)
{
    return column < cells.size() ? cells[column] : std::string_view();
}

// A first column that counts 0, 1, 2, … or 1, 2, 3, … down every row (an
// index the header does not name).
bool countsRows(Rows& rows, const SampleRows& samples)
{
    const auto first = rows.valueOf(cellOf(samples.first, 0));
    const auto expected = [&](std::size_t row) { return *first + static_cast<double>(row); };
    if (!first || (*first != 0 && *first != 1) || rows.valueOf(cellOf(samples.last, 0)) != expected(rows.size() - 1))
        return false;
    for (std::size_t row = 1; row + 1 < rows.size(); ++row)
        if (rows.peek(row, 0) != expected(row))
            return false;
    return true;
}

// Positive and within a factor of two at the first, middle and last rows.
bool holdsOneFrequency(const Rows& rows, const SampleRows& samples, std::size_t column)
{
    double low = INFINITY;
    double high = 0;
    for (const auto* cells : {&samples.first, &samples.middle, &samples.last}) {
        const auto value = rows.valueOf(cellOf(*cells, column));
        if (!value || !(*value > 0))
            return false;
        low = std::min(low, *value);
        high = std::max(high, *value);
    }
    return high <= 2 * low;
}

struct Columns {
    std::vector<bool> index;
    std::vector<bool> frequency;
    std::size_t field = 0;
    std::vector<std::size_t> candidates;
    std::size_t intensity = 0;
};

Columns assignColumns(Rows& rows, const std::vector<std::string>& labels, const TableChoice& choice,
                      const std::string& name)
{
    const std::size_t count = labels.size();
    const SampleRows samples(rows);
    const ColumnNames names(labels);
    Columns columns;
    for (std::size_t c = 0; c < count; ++c) {
        columns.index.push_back(namesIndex(labels[c]) || (c == 0 && countsRows(rows, samples)));
        columns.frequency.push_back(names.namesFrequency(labels[c]) && holdsOneFrequency(rows, samples, c));
    }
    const auto other = [&](std::size_t c) { return !columns.index[c] && !columns.frequency[c]; };
    const auto outOfRange = [&](std::size_t c, const char* what) {
        throw UserError(inQuotes(name) + " has " + countText(count) + " columns; there is no column "
                        + countText(c + 1) + " to read the " + what + " from.");
    };

    std::optional<std::size_t> field = choice.fieldColumn;
    if (field && *field >= count)
        outOfRange(*field, "field");
    // The field is never the column the user chose for the intensity.
    const auto free = [&](std::size_t c) { return other(c) && c != choice.intensityColumn; };
    for (std::size_t c = 0; c < count && !field; ++c)
        if (free(c) && namesField(labels[c]))
            field = c;
    for (std::size_t c = 0; c < count && !field; ++c)
        if (free(c))
            field = c;
    if (!field)
        throw UserError(inQuotes(name) + " has no column that could hold the field.");
    columns.field = *field;

    for (std::size_t c = 0; c < count; ++c)
        if (c != columns.field && other(c))
            columns.candidates.push_back(c);
    if (choice.intensityColumn) {
        if (*choice.intensityColumn >= count)
            outOfRange(*choice.intensityColumn, "intensity");
        if (*choice.intensityColumn == columns.field)
            throw UserError("Column " + countText(columns.field + 1) + " of " + inQuotes(name)
                            + " is the field; the intensity must come from another column.");
        columns.intensity = *choice.intensityColumn;
    } else if (columns.candidates.empty()) {
        throw UserError(inQuotes(name) + " has no column for the intensity besides the field.");
    } else {
        columns.intensity = columns.candidates.front();
    }
    return columns;
}

// The frequency that decides the field unit: the header's, else the column
// that goes with the intensity column, else the first frequency column.
std::optional<std::pair<double, std::string>> frequencyForUnit(Rows& rows, const std::vector<std::string>& labels,
                                                               const Columns& columns,
                                                               const std::optional<double>& header)
{
    if (header)
        return std::make_pair(*header, std::string("the header"));
    std::optional<std::size_t> chosen;
    for (std::size_t c = 0; c < labels.size() && !chosen; ++c)
        if (columns.frequency[c] && isFrequencyOf(labels[c], labels[columns.intensity]))
            chosen = c;
    for (std::size_t c = 0; c < labels.size() && !chosen; ++c)
        if (columns.frequency[c])
            chosen = c;
    if (!chosen)
        return std::nullopt;
    const auto value = rows.peek(rows.size() / 2, *chosen);
    const auto gigahertz = value ? frequencyInGHz(*value, labelUnit(labels[*chosen])) : std::nullopt;
    if (!gigahertz)
        return std::nullopt;
    return std::make_pair(*gigahertz, "column " + inQuotes(labels[*chosen]));
}

// Fields written to so few decimals that the even sweep they round cannot
// be told from them: replaced by that sweep when every value is within one
// last decimal of it, and some further off than the arithmetic's own error
// (a column that is even already stays as it is).
bool evenOutRoundedSweep(std::vector<double>& fields, int decimals)
{
    const std::size_t n = fields.size();
    if (n < 3 || decimals < 0)
        return false;
    const double first = fields.front();
    const double last = fields.back();
    const double step = (last - first) / static_cast<double>(n - 1);
    const double quantum = std::pow(10.0, -decimals);
    if (step == 0 || quantum <= 0.01 * std::fabs(step))
        return false;
    std::vector<double> even(n);
    double furthest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        even[i] = first + (last - first) * static_cast<double>(i) / static_cast<double>(n - 1);
        const double off = std::fabs(fields[i] - even[i]);
        if (!(off <= quantum * (1 + 1e-9)))
            return false;
        furthest = std::max(furthest, off);
    }
    if (furthest <= quantum * 1e-6)
        return false;
    fields = std::move(even);
    return true;
}

// Digits after the decimal mark; -1 for a number with an exponent.
int decimalsOf(std::string_view text, char mark)
{
    if (text.find_first_of("eE") != std::string_view::npos)
        return -1;
    const std::size_t at = text.find(mark);
    return at == std::string_view::npos ? 0 : static_cast<int>(text.size() - at - 1);
}

} // namespace

bool looksLikeLabelledTable(std::string_view text, bool complete)
{
    auto split = splitLines(withoutUtf8Mark(text), kMaxPoints + kMaxOtherLines);
    if (!split)
        return true; // a table too long to read, as reading will say
    std::vector<std::string_view>& lines = *split;
    if (!complete && !lines.empty())
        lines.pop_back();
    // Header lines, then at least two rows of numbers: a file with one row
    // of numbers under a line of words, or with none, is no clear table, and
    // the two-column import refuses it at its first word as it always did.
    const auto layout = findTableLayout(lines);
    if (!layout)
        return false;
    const std::size_t second = layout->firstRow + 1;
    if (second >= lines.size() || trimBlanks(lines[second]).empty())
        return false;
    // A header has words; a line of numbers in another layout above the
    // rows is a broken row of the two-column text.
    std::vector<std::string_view> cells;
    for (std::size_t line = 0; line < layout->firstRow; ++line) {
        splitCells(lines[line], separatorOf(lines[line]), cells);
        if (std::any_of(cells.begin(), cells.end(), [](std::string_view cell) {
                return parseDecimal(cell, '.').status == Decimal::notANumber
                    && parseDecimal(cell, ',').status == Decimal::notANumber;
            }))
            return true;
    }
    return false;
}

RawSpectrum readLabelledTable(std::string_view text, const std::string& name, const TableChoice& choice,
                              const std::function<void(double)>& progress)
{
    const auto split = splitLines(withoutUtf8Mark(text), kMaxPoints + kMaxOtherLines);
    if (!split)
        throw UserError(inQuotes(name) + " has more than " + countText(kMaxPoints + kMaxOtherLines)
                        + " lines; at most " + countText(kMaxPoints) + " rows of numbers can be imported.");
    const std::vector<std::string_view>& lines = *split;
    const auto layout = findTableLayout(lines);
    if (!layout)
        throw UserError(inQuotes(name) + " holds no rows of numbers: there is no spectrum in it to import.");
    if (layout->columns > kMaxColumns)
        throw UserError(inQuotes(name) + " has " + countText(layout->columns) + " columns; at most "
                        + countText(kMaxColumns) + " can be read.");
    const std::vector<std::string_view> header(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(layout->firstRow));
    const std::vector<std::string> labels = columnLabels(header, *layout);
    Rows rows(lines, *layout, name);
    if (rows.size() < 2)
        throw UserError(inQuotes(name) + " holds only one row of numbers; a spectrum needs at least 2.");
    const Columns columns = assignColumns(rows, labels, choice, name);

    RawSpectrum spectrum;
    spectrum.format = SpectrumFormat::labelledTable;
    spectrum.description = "text table";
    spectrum.field.resize(rows.size());
    spectrum.intensity.resize(rows.size());
    int decimals = 0;
    constexpr std::size_t kRowsPerReport = std::size_t{1} << 16;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (progress && row % kRowsPerReport == kRowsPerReport - 1)
            progress(static_cast<double>(row) / static_cast<double>(rows.size()));
        spectrum.field[row] = rows.number(row, columns.field, labels);
        const int places = decimalsOf(rows.cell(row, columns.field), layout->decimalMark);
        decimals = (places < 0 || decimals < 0) ? -1 : std::max(decimals, places);
        spectrum.intensity[row] = rows.number(row, columns.intensity, labels);
    }

    const std::string& fieldLabel = labels[columns.field];
    spectrum.frequencyGHz = headerFrequency(header);
    std::optional<FieldUnit> unit = choice.fieldUnit;
    if (!unit)
        unit = fieldUnitNamed(labelUnit(fieldLabel));
    if (!unit) {
        const std::string start = "The header of " + inQuotes(name) + " gives no unit for the field column "
            + inQuotes(fieldLabel) + "; ";
        const auto frequency = frequencyForUnit(rows, labels, columns, spectrum.frequencyGHz);
        if (frequency) {
            unit = unitNearestFreeElectron(spectrum.field[rows.size() / 2], frequency->first);
            spectrum.notices.push_back(start + "at the " + numberText(frequency->first, 6) + " GHz of "
                                       + frequency->second + " its values (" + numberText(spectrum.field.front())
                                       + " to " + numberText(spectrum.field.back()) + ") put g near 2 in "
                                       + unitName(*unit) + ", so they were read as " + unitName(*unit) + ".");
        } else {
            unit = FieldUnit::gauss;
            spectrum.notices.push_back(start + "its values were read as gauss.");
        }
    }
    const double step = (spectrum.field.back() - spectrum.field.front()) / static_cast<double>(rows.size() - 1);
    if (evenOutRoundedSweep(spectrum.field, decimals))
        spectrum.notices.push_back("The field column " + inQuotes(fieldLabel) + " of " + inQuotes(name)
                                   + " gives its values to " + numberText(std::pow(10.0, -decimals)) + " "
                                   + unitName(*unit) + " only, coarser than the step between them ("
                                   + numberText(std::fabs(step), 4) + " " + unitName(*unit)
                                   + "); the points were placed evenly from " + numberText(spectrum.field.front())
                                   + " to " + numberText(spectrum.field.back()) + " " + unitName(*unit)
                                   + " instead, as the sweep ran.");
    const double scale = gaussPer(*unit);
    for (double& field : spectrum.field) {
        field *= scale;
        if (!std::isfinite(field))
            throw UserError("The field column " + inQuotes(fieldLabel) + " of " + inQuotes(name)
                            + " runs beyond the range of numbers in gauss.");
    }

    TableColumns table;
    table.labels = labels;
    table.fieldColumn = columns.field;
    table.intensityCandidates = columns.candidates;
    table.intensityColumn = columns.intensity;
    table.headerSignature = headerSignature(labels);
    spectrum.table = std::move(table);
    return spectrum;
}

} // namespace ravelle::formats
