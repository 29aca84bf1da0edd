#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/BoxNumber.h"

// Reading an observed spectrum: a text file of one point per line, the field
// in gauss and the intensity separated by blanks. The result is built apart
// from the program state, so a file that fails changes nothing there.
namespace ravelle {

// The most points an import takes: 160 MB of arrays, read in a few seconds.
// A larger file is refused as soon as its next line is reached, before the
// memory runs out.
inline constexpr std::int32_t kMaxObservedPoints = 10'000'000;

// An observed spectrum as read, or as normalised. Both arrays have count + 10
// entries with the points in 1 .. count; entry 0 and the spare ones are 0.
struct ObservedSpectrum {
    std::int32_t count = 0;
    std::vector<double> field;     // gauss
    std::vector<double> intensity;
    // Set by normaliseObservedSpectrum.
    double endLow = 0.0;      // smaller of the first and last raw field
    double endHigh = 0.0;     // larger of the two
    double centerField = 0.0; // their midpoint
};

// Splits a line's text at the first non-blank followed by a blank; both parts
// trimmed of every byte <= 0x20 at either end. Ticks on a huge line.
std::pair<std::string_view, std::string_view> splitObservedLine(std::string_view line, const Tick& tick = {});

// A number of the file: the system's decimal separator first, then "." (the
// program's own files always use "."), within the range of a double.
// Throws the conversion error "'<text>' は浮動小数点数ではありません".
double convertObservedNumber(std::string_view text, char decimalSeparator, const Tick& tick = {});

// Reads every line of a regular file (CR LF or LF line ends, other CRs
// dropped, Ctrl-Z at a line start ends the file and inside a line ends its
// text; a UTF-8 byte-order mark at the file's start is skipped). Throws UserError: file errors, the conversion error of the first
// text that does not convert, and the messages of an empty file, of too
// many lines and of too little memory. `progress` hears the share of the
// file read after every chunk, and on a huge line while it is taken apart;
// it may throw to abandon the reading, which then leaves nothing behind.
ObservedSpectrum readObservedFile(const std::string& fileName, char decimalSeparator,
                                  const std::function<void(double)>& progress = {});

// Sets the ends and the centre from the first and last raw field, then maps
// the intensities onto -1 .. +1 and the fields from their raw range onto
// [endLow, endHigh], point by point. Throws UserError: "不正な浮動小数点数演算命令"
// when all intensities or all fields are equal (a zero span), and
// "0 による浮動小数点数除算" when the first and last fields are equal while
// others differ (the plot range would have no width).
void normaliseObservedSpectrum(ObservedSpectrum& spectrum);

// readObservedFile, then normaliseObservedSpectrum.
ObservedSpectrum importObservedSpectrum(const std::string& fileName, char decimalSeparator,
                                        const std::function<void(double)>& progress = {});

} // namespace ravelle
