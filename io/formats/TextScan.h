#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small pieces of text handling that the readers share. Nothing here depends
// on the C library's locale.
namespace ravelle::formats {

// The lines of a text, one after the other; a line ends at LF, CR LF or a
// lone CR (the ESP parameter files end their lines with CR alone). A last
// line without its end counts; the text after a Ctrl-Z (1A hex) at the
// start of a line does not, as DOS programs wrote it as the end of the file.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : rest_(text) {}
    // The next line; nothing at the end.
    std::optional<std::string_view> next();

private:
    std::string_view rest_;
    bool ended_ = false;
};

// All lines of a text as LineCursor gives them; nothing when there are more
// than `atMost` (so that a file of line ends alone cannot take memory
// sixteen times its size).
std::optional<std::vector<std::string_view>> splitLines(std::string_view text, std::size_t atMost);

// A text's bytes as UTF-8: the text itself where it is valid UTF-8, else
// every byte read as Latin-1 (the code page of older instrument programs).
std::string asUtf8(std::string_view text);

// Without blanks and tabs (and a stray CR) at either end.
std::string_view trimBlanks(std::string_view text);

std::string lowerAscii(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool containsIgnoringCase(std::string_view text, std::string_view part);

// A text without a UTF-8 byte order mark at its start.
std::string_view withoutUtf8Mark(std::string_view text);

struct Decimal {
    enum Status { number, notANumber, notFinite } status = notANumber;
    double value = 0.0;
};

// A decimal number and nothing else: an optional sign, digits with at most
// one decimal mark (digits on at least one side of it), an optional exponent
// "e" or "E" with an optional sign and digits. "nan", "inf" and a value
// beyond the range of a double are notFinite; anything else that is not of
// that form is notANumber. A value too small for a double reads as zero.
Decimal parseDecimal(std::string_view text, char decimalMark = '.');

// A count: decimal digits, optionally followed by a decimal mark and zeros
// ("4096.000000"). Values beyond 2^64 - 1 saturate there. Nothing for any
// other text.
std::optional<std::uint64_t> parseCount(std::string_view text);

// a * b, saturating at 2^64 - 1.
std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b);

// A text for a message: in single quotes, at most about 60 bytes of it
// (its start and end with "…" between, cut between characters), as UTF-8,
// control bytes shown as blanks.
std::string inQuotes(std::string_view text);

// The last part of a path: the name the user sees in the file dialog.
std::string baseName(std::string_view path);

// The decimal form of a count, for messages.
std::string countText(std::uint64_t count);

// A number as a message shows it: up to `significant` digits, no trailing
// zeros ("333.51", "9.766096", "1e+40").
std::string numberText(double value, int significant = 10);

} // namespace ravelle::formats
