#pragma once

#include <optional>
#include <string_view>
#include <unordered_map>

// Parameter files of the form "KEY value" on each line, as the BES3T
// descriptor and the ESP/WinEPR parameter file write them.
namespace ravelle::formats {

class Keywords {
public:
    // Every line's first word (up to a blank or tab) is its key, the rest,
    // trimmed, its value. A key given twice keeps its first value.
    static Keywords fromText(std::string_view text);

    // Keys are compared exactly; the value without surrounding quotes.
    std::optional<std::string_view> find(std::string_view key) const;
    bool has(std::string_view key) const { return find(key).has_value(); }
    std::size_t size() const { return entries_.size(); }

    // For readers that pick the lines themselves.
    void add(std::string_view key, std::string_view value);

    // A line split into key and trimmed value.
    static std::pair<std::string_view, std::string_view> splitLine(std::string_view line);

private:
    std::unordered_map<std::string_view, std::string_view> entries_;
};

} // namespace ravelle::formats
