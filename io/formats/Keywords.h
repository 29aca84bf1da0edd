#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Parameter files of the form "KEY value" on each line, as the BES3T
// descriptor and the ESP/WinEPR parameter file write them.
namespace ravelle::formats {

class Keywords {
public:
    // Only the keys a reader uses are kept, so that a file of many keys
    // takes no memory beyond its own.
    explicit Keywords(std::initializer_list<std::string_view> wanted) : wanted_(wanted) {}

    // Every line's first word (up to a blank or tab) is its key, the rest,
    // trimmed, its value.
    void addLines(std::string_view text);
    // A key given twice keeps its first value.
    void add(std::string_view key, std::string_view value);

    // Keys are compared exactly; the value without surrounding quotes.
    std::optional<std::string_view> find(std::string_view key) const;
    bool has(std::string_view key) const { return find(key).has_value(); }

    // A line split into key and trimmed value.
    static std::pair<std::string_view, std::string_view> splitLine(std::string_view line);

private:
    std::vector<std::string_view> wanted_;
    std::unordered_map<std::string_view, std::string_view> entries_;
};

} // namespace ravelle::formats
