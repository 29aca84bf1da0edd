#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text layout of a parameter set: small, versioned and readable, a file
// anyone can open in an editor:
//
//   [Ravelle2 parameter set]
//   version = 1
//
//   [Main window]
//   GCntr = 3400.00
//   ...
//   [End]
//
// Sections in brackets hold "name = value" entries. Blank lines and lines
// starting with "#" or ";" are ignored; lines end with CR LF (LF alone is
// read too); a UTF-8 byte order mark at the start is skipped. Values are
// trimmed of blanks and tabs at both ends and may hold two escapes: "\\"
// for a backslash and "\xHH" for any byte. The writer escapes every byte
// that is a control character, not part of well-formed UTF-8, or a blank at
// either end, so any text, any byte included, comes back exactly. The
// "[End]" line closes the file: one without it has been cut short.
//
// What the sections mean is the parameter set's business
// (commands/ParameterSet.h); this layer only writes and reads the layout.
namespace ravelle::parameters {

inline constexpr std::string_view kTitle = "Ravelle2 parameter set";
inline constexpr std::string_view kEndSection = "End";
inline constexpr int kVersion = 1;
// A parameter set of the largest texts the windows hold is a few megabytes.
inline constexpr std::uint64_t kMaxFileBytes = std::uint64_t{16} << 20;

struct Entry {
    std::string name;
    std::string value; // unescaped
    std::size_t line = 0; // 1-based, for messages
};

struct Section {
    std::string name;
    std::size_t line = 0;
    std::vector<Entry> entries;
};

// The sections between the title with its version and the [End] line.
struct Document {
    std::vector<Section> sections;
};

// A value as the file holds it, and back. unescapeValue gives nothing for a
// broken escape ("\q", "\x4").
std::string escapeValue(std::string_view value);
std::optional<std::string> unescapeValue(std::string_view text);

// The whole file's text, CR LF line ends.
std::string formatDocument(const Document& document);

// Throws UserError naming the file (`name`): not a parameter set (the
// title is not its first line), a newer version, a line that is neither a
// section nor an entry (or holds a control character or a broken escape),
// an entry before the first section, and a file without its [End] line or
// with anything after it.
Document parseDocument(std::string_view text, const std::string& name);

// Reads a regular file whole (at most kMaxFileBytes) and parses it; the
// file errors as the import reports them.
Document readParameterFile(const std::string& fileName);

// Replaces the file whole or not at all (it is written beside its target
// and renamed over it).
void writeParameterFile(const std::string& fileName, const Document& document);

} // namespace ravelle::parameters
