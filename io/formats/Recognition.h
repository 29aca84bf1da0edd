#pragma once

#include <string_view>

// What a file's first bytes say it is.
namespace ravelle::formats {

enum class Content {
    bes3tDescriptor, // starts with "#DESC"
    espParameters,   // "KEY value" lines with ESP/WinEPR keys
    labelledTable,   // header lines, then rows of numbers
    utf16Text,       // a byte order mark or every other byte zero
    binary,          // control bytes that no text holds
    other,           // empty, the plain two-column text, or text of no known kind
};

// `start` is the file's start, `complete` whether it is the whole file.
// Text that the plain two-column import reads as it is (every line two
// numbers separated by blanks, by that import's own rules, with "." or ","
// as the decimal separator) is always `other`, so that that import keeps
// reading it exactly as before.
Content recogniseContent(std::string_view start, bool complete);

bool isUtf16Text(std::string_view start);
bool isPlainTwoColumnText(std::string_view start, bool complete);

} // namespace ravelle::formats
