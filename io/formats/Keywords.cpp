#include "io/formats/Keywords.h"

#include <algorithm>

#include "io/formats/TextScan.h"

namespace ravelle::formats {

std::pair<std::string_view, std::string_view> Keywords::splitLine(std::string_view line)
{
    line = trimBlanks(line);
    const std::size_t end = line.find_first_of(" \t");
    if (end == std::string_view::npos)
        return {line, std::string_view()};
    return {line.substr(0, end), trimBlanks(line.substr(end))};
}

void Keywords::addLines(std::string_view text)
{
    LineCursor lines(text);
    while (const auto line = lines.next()) {
        const auto [key, value] = splitLine(*line);
        add(key, value);
    }
}

void Keywords::add(std::string_view key, std::string_view value)
{
    if (std::find(wanted_.begin(), wanted_.end(), key) != wanted_.end())
        entries_.try_emplace(key, value);
}

std::optional<std::string_view> Keywords::find(std::string_view key) const
{
    const auto entry = entries_.find(key);
    if (entry == entries_.end())
        return std::nullopt;
    std::string_view value = entry->second;
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        value = trimBlanks(value.substr(1, value.size() - 2));
    return value;
}

} // namespace ravelle::formats
