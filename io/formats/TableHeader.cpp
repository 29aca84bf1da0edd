#include "io/formats/TableHeader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "io/formats/FieldUnits.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

// A blank-separated label row, split so that a bracketed unit stays with
// the word before it.
std::vector<std::string_view> blankSeparatedLabels(std::string_view line, std::size_t columns)
{
    std::vector<std::string_view> cells;
    line = trimBlanks(line);
    std::size_t start = 0;
    for (std::size_t at = 0; at <= line.size(); ++at) {
        const bool gap = at + 1 < line.size() && line[at] == ' ' && line[at + 1] == ' ';
        const bool tab = at < line.size() && line[at] == '\t';
        if (at == line.size() || gap || tab) {
            if (const auto cell = trimBlanks(line.substr(start, at - start)); !cell.empty())
                cells.push_back(cell);
            start = at + 1;
        }
    }
    if (cells.size() == columns)
        return cells;
    std::vector<std::string_view> words;
    splitCells(line, Separator::blanks, words);
    cells.clear();
    for (const std::string_view word : words) {
        const bool unit = word.front() == '[' || word.front() == '(';
        if (unit && !cells.empty()) {
            const char* begin = cells.back().data();
            cells.back() = std::string_view(begin, static_cast<std::size_t>(word.data() + word.size() - begin));
        } else {
            cells.push_back(word);
        }
    }
    return cells;
}

} // namespace

std::vector<std::string> columnLabels(const std::vector<std::string_view>& headerLines, const TableLayout& layout)
{
    std::vector<std::string_view> cells;
    for (auto line = headerLines.rbegin(); line != headerLines.rend(); ++line) {
        if (trimBlanks(*line).empty())
            continue;
        if (layout.separator == Separator::blanks)
            cells = blankSeparatedLabels(*line, layout.columns);
        else
            splitCells(*line, layout.separator, cells);
        break;
    }
    const auto named = std::count_if(cells.begin(), cells.end(), [](std::string_view cell) { return !cell.empty(); });
    if (named < 2)
        cells.clear();
    else if (cells.size() > layout.columns)
        cells.resize(layout.columns); // labels of columns that no row fills
    std::vector<std::string> labels;
    for (std::size_t column = 0; column < layout.columns; ++column) {
        if (column < cells.size() && !cells[column].empty())
            labels.push_back(asUtf8(cells[column]));
        else
            labels.push_back("column " + std::to_string(column + 1));
    }
    return labels;
}

std::string labelName(std::string_view label)
{
    const std::size_t unit = label.find_first_of("[(/");
    return lowerAscii(trimBlanks(label.substr(0, unit)));
}

std::string_view labelUnit(std::string_view label)
{
    label = trimBlanks(label);
    if (!label.empty() && (label.back() == ']' || label.back() == ')')) {
        const std::size_t open = label.find_last_of(label.back() == ']' ? '[' : '(');
        if (open != std::string_view::npos)
            return trimBlanks(label.substr(open + 1, label.size() - open - 2));
    }
    if (const std::size_t slash = label.find_last_of('/'); slash != std::string_view::npos)
        return trimBlanks(label.substr(slash + 1));
    if (const std::size_t blank = label.find_last_of(" \t"); blank != std::string_view::npos)
        return trimBlanks(label.substr(blank + 1));
    return {};
}

bool namesField(std::string_view label)
{
    static constexpr std::array<std::string_view, 12> kNames = {
        "b", "b0", "b_0", "bfield", "b-field", "b field", "h", "h0", "x", "xb", "magnetic field", "field",
    };
    const std::string name = labelName(label);
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end()
        || (name.find("field") != std::string::npos && name.find("freq") == std::string::npos);
}

bool namesIndex(std::string_view label)
{
    static constexpr std::array<std::string_view, 10> kNames = {
        "index", "#", "no", "no.", "nr", "nr.", "idx", "point", "points", "pt",
    };
    const std::string name = labelName(label);
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

bool isFrequencyOf(std::string_view frequencyLabel, std::string_view spectrumLabel)
{
    const std::string frequency = lowerAscii(trimBlanks(frequencyLabel));
    const std::string spectrum = lowerAscii(trimBlanks(spectrumLabel));
    return !spectrum.empty() && (frequency == "f" + spectrum || frequency == "xf" + spectrum);
}

ColumnNames::ColumnNames(const std::vector<std::string>& labels)
{
    for (const std::string& label : labels)
        lowered_.insert(lowerAscii(trimBlanks(label)));
}

bool ColumnNames::namesFrequency(std::string_view label) const
{
    const std::string name = labelName(label);
    const std::string unit = lowerAscii(labelUnit(label));
    if (name.find("freq") != std::string::npos || name.find("mwfq") != std::string::npos || unit == "ghz"
        || unit == "mhz" || unit == "hz")
        return true;
    const std::string lowered = lowerAscii(trimBlanks(label));
    for (const std::string_view prefix : {"xf", "f"})
        if (lowered.size() > prefix.size() && lowered.starts_with(prefix) && lowered_.contains(lowered.substr(prefix.size())))
            return true;
    return false;
}

std::optional<double> frequencyInGHz(double value, std::string_view unitText)
{
    const std::string unit = lowerAscii(unitText);
    double gigahertz = value;
    if (unit.find("ghz") != std::string::npos)
        gigahertz = value;
    else if (unit.find("mhz") != std::string::npos)
        gigahertz = value / 1e3;
    else if (unit.find("khz") != std::string::npos)
        gigahertz = value / 1e6;
    else if (unit.find("hz") != std::string::npos)
        gigahertz = value / 1e9;
    else if (value > 1e8)
        gigahertz = value / 1e9;
    else if (value > 1000)
        gigahertz = value / 1e3;
    if (!(gigahertz >= 0.1 && gigahertz <= 1000))
        return std::nullopt;
    return gigahertz;
}

std::optional<double> headerFrequency(const std::vector<std::string_view>& headerLines)
{
    for (const std::string_view line : headerLines) {
        // The modulation frequency is no microwave frequency.
        if ((!containsIgnoringCase(line, "freq") && !containsIgnoringCase(line, "mwfq")) || containsIgnoringCase(line, "mod"))
            continue;
        std::size_t at = 0;
        while (at < line.size()) {
            const std::size_t start = line.find_first_not_of("\t;:= ", at);
            if (start == std::string_view::npos)
                break;
            std::size_t end = line.find_first_of("\t;:= ", start);
            if (end == std::string_view::npos)
                end = line.size();
            std::string_view word = line.substr(start, end - start);
            while (!word.empty() && std::isalpha(static_cast<unsigned char>(word.back())))
                word.remove_suffix(1); // "9.5GHz"
            Decimal value = parseDecimal(word, '.');
            if (value.status != Decimal::number)
                value = parseDecimal(word, ',');
            if (value.status == Decimal::number) {
                if (const auto gigahertz = frequencyInGHz(value.value, line))
                    return gigahertz;
                break; // this line's number is no microwave frequency; look on
            }
            at = end;
        }
    }
    return std::nullopt;
}

std::string headerSignature(const std::vector<std::string>& labels)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto add = [&hash](std::string_view bytes) {
        for (const char c : bytes) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
    };
    add(std::to_string(labels.size()));
    for (const std::string& label : labels) {
        add("\x1F");
        add(label);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace ravelle::formats
