#include "io/ColumnMemory.h"

#include <charconv>
#include <vector>

#include "engine/UserError.h"
#include "io/FileAccess.h"

namespace ravelle {

namespace {

// Far more than kRememberedHeaders lines; a larger file is not one of ours.
constexpr std::size_t kLargestFile = 1 << 16;
// More columns than a table may have (the table reader takes 10,000).
constexpr std::size_t kMostColumns = 1'000'000;

struct Remembered {
    std::string signature;
    std::size_t column = 0;
};

bool isSignature(std::string_view text)
{
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The lines of colinf that read as choices, in the file's order.
std::vector<Remembered> readChoices(const ProgramState& state)
{
    std::vector<Remembered> choices;
    if (state.StartDir.empty())
        return choices;
    std::string text;
    try {
        const FileDescriptor file = openRegularFileForReading(columnMemoryPath(state));
        char buffer[4096];
        while (const std::size_t got = readSome(file, buffer, sizeof buffer)) {
            text.append(buffer, got);
            if (text.size() > kLargestFile)
                return choices;
        }
    } catch (const UserError&) {
        return choices; // missing or unreadable: nothing remembered
    }
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos || !isSignature(line.substr(0, blank)))
            continue;
        std::size_t column = 0;
        const std::string_view number = line.substr(blank + 1);
        const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), column);
        if (error == std::errc() && stop == number.data() + number.size() && column < kMostColumns)
            choices.push_back({std::string(line.substr(0, blank)), column});
    }
    return choices;
}

} // namespace

std::string columnMemoryPath(const ProgramState& state)
{
    if (!state.StartDir.empty() && state.StartDir.back() == '/')
        return state.StartDir + "colinf";
    return state.StartDir + "/colinf";
}

std::optional<std::size_t> rememberedColumn(const ProgramState& state, std::string_view signature)
{
    for (const Remembered& choice : readChoices(state))
        if (choice.signature == signature)
            return choice.column;
    return std::nullopt;
}

void rememberColumn(const ProgramState& state, std::string_view signature, std::size_t column)
{
    if (state.StartDir.empty() || !isSignature(signature))
        return;
    std::string text = std::string(signature) + " " + std::to_string(column) + "\r\n";
    std::size_t kept = 1;
    for (const Remembered& choice : readChoices(state)) {
        if (choice.signature == signature || kept == kRememberedHeaders)
            continue;
        text += choice.signature + " " + std::to_string(choice.column) + "\r\n";
        ++kept;
    }
    try {
        FileReplacement file(columnMemoryPath(state));
        file.write(text);
        file.commit();
    } catch (const UserError&) {
        // The memory is a convenience: the import that chose the column stands.
    }
}

} // namespace ravelle
