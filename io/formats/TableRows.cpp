#include "io/formats/TableRows.h"

#include <algorithm>

#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

char separatorChar(Separator separator)
{
    switch (separator) {
    case Separator::tab: return '\t';
    case Separator::semicolon: return ';';
    case Separator::comma: return ',';
    case Separator::blanks: return ' ';
    }
    return ' ';
}

bool isNumberShaped(std::string_view cell, char decimalMark)
{
    return parseDecimal(cell, decimalMark).status != Decimal::notANumber;
}

// The line's shape when it is a row of numbers: its layout without firstRow.
std::optional<TableLayout> rowShape(std::string_view line, std::vector<std::string_view>& cells)
{
    const Separator separator = separatorOf(line);
    splitCells(line, separator, cells);
    if (cells.size() < 2)
        return std::nullopt;
    char mark = '.';
    if (separator != Separator::comma
        && std::any_of(cells.begin(), cells.end(), [](std::string_view cell) { return cell.find(',') != std::string_view::npos; }))
        mark = ',';
    for (const std::string_view cell : cells)
        if (!isNumberShaped(cell, mark))
            return std::nullopt;
    return TableLayout{separator, mark, 0, cells.size()};
}

bool sameShape(const TableLayout& a, const TableLayout& b)
{
    return a.separator == b.separator && a.decimalMark == b.decimalMark && a.columns == b.columns;
}

} // namespace

void splitCells(std::string_view line, Separator separator, std::vector<std::string_view>& cells)
{
    cells.clear();
    if (separator == Separator::blanks) {
        std::size_t at = 0;
        while (at < line.size()) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
                ++at;
            const std::size_t start = at;
            while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r')
                ++at;
            if (at > start)
                cells.push_back(line.substr(start, at - start));
        }
        return;
    }
    const char mark = separatorChar(separator);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(mark, start);
        cells.push_back(trimBlanks(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    while (!cells.empty() && cells.back().empty())
        cells.pop_back();
}

Separator separatorOf(std::string_view line)
{
    if (line.find('\t') != std::string_view::npos)
        return Separator::tab;
    if (line.find(';') != std::string_view::npos)
        return Separator::semicolon;
    if (line.find(',') != std::string_view::npos) {
        std::vector<std::string_view> cells;
        splitCells(line, Separator::comma, cells);
        if (cells.size() >= 2
            && std::all_of(cells.begin(), cells.end(), [](std::string_view cell) { return isNumberShaped(cell, '.'); }))
            return Separator::comma;
    }
    return Separator::blanks;
}

std::optional<TableLayout> findTableLayout(const std::vector<std::string_view>& lines)
{
    constexpr std::size_t kRowsThatConfirm = 3;
    std::vector<std::string_view> cells;
    for (std::size_t first = 0; first < lines.size(); ++first) {
        const auto shape = rowShape(lines[first], cells);
        if (!shape)
            continue;
        std::size_t confirmed = 1;
        std::size_t next = first + 1;
        for (; next < lines.size() && confirmed < kRowsThatConfirm; ++next) {
            if (trimBlanks(lines[next]).empty())
                break;
            const auto other = rowShape(lines[next], cells);
            if (!other || !sameShape(*shape, *other))
                break;
            ++confirmed;
        }
        // Fewer than three are enough when nothing but blank lines follows.
        bool onlyBlanksAfter = true;
        for (std::size_t rest = next; rest < lines.size() && onlyBlanksAfter; ++rest)
            onlyBlanksAfter = trimBlanks(lines[rest]).empty();
        if (confirmed >= kRowsThatConfirm || onlyBlanksAfter) {
            TableLayout layout = *shape;
            layout.firstRow = first;
            return layout;
        }
    }
    return std::nullopt;
}

} // namespace ravelle::formats
