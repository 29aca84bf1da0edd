#include "io/SpectrumExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "engine/FloatingPoint.h"
#include "engine/Trace.h"
#include "io/FileAccess.h"

namespace ravelle {

namespace {

// Whether the exact binary value lies exactly halfway between two numbers of
// `decimals` decimals: with the value written as odd * 2^e, its decimal
// expansion has exactly -e decimals and ends in 5.
bool isExactHalf(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0.0)
        return false;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    while ((mantissa & 1u) == 0) {
        mantissa >>= 1;
        ++exponent;
    }
    return exponent == -(decimals + 1);
}

// The last entry that two arrays both hold, and at most `last`.
std::int64_t lastHeld(std::int64_t last, const std::vector<double>& a, const std::vector<double>& b)
{
    last = std::min<std::int64_t>(last, static_cast<std::int64_t>(a.size()) - 1);
    return std::min<std::int64_t>(last, static_cast<std::int64_t>(b.size()) - 1);
}

// Calls sink(text) for the lines of a table: field (7.2), the gap, intensity
// (8.5), CR LF for each i from first to last, the two numbers from
// point(i). Reports the share written every kProgressLines lines.
template <typename Point, typename Sink>
void tableLines(std::int64_t first, std::int64_t last, std::string_view gap, Point&& point, Sink&& sink,
                const std::function<void(double)>& progress)
{
    constexpr std::int64_t kProgressLines = 1 << 16;
    std::string line;
    for (std::int64_t i = first; i <= last; ++i) {
        const auto [field, intensity] = point(i);
        line = formatTableNumber(field, 7, 2);
        line += gap;
        line += formatTableNumber(intensity, 8, 5);
        line += "\r\n";
        sink(line);
        if (progress && (i - first + 1) % kProgressLines == 0)
            progress(static_cast<double>(i - first + 1) / static_cast<double>(last - first + 1));
    }
}

// The .cal lines: never past what the arrays hold, whatever the counts say.
template <typename Sink>
void calLines(const ProgramState& state, Sink&& sink, const std::function<void(double)>& progress)
{
    const TraceLevel level{state.CalcScale, state.CalcBaselineOffset, state.CalcBaselineSlope};
    const auto point = [&](std::int64_t i) {
        const double field = storeDouble(static_cast<long double>(state.CalcField[i]) + state.CalcCenterField);
        const double intensity = tracedIntensity(level, state.CalcField[i], state.CalcIntensity[i]);
        return std::pair(field, intensity);
    };
    tableLines(0, lastHeld(state.CalcSpectrumPoints, state.CalcField, state.CalcIntensity), "      ", point, sink,
               progress);
}

template <typename Sink>
void obsLines(const ProgramState& state, Sink&& sink, const std::function<void(double)>& progress)
{
    const auto point = [&](std::int64_t i) { return std::pair(state.ObsField[i], state.ObsIntensity[i]); };
    tableLines(1, lastHeld(state.ObsCount, state.ObsField, state.ObsIntensity), "    ", point, sink, progress);
}

// Where the last `count` characters of `text` begin, each a lead byte with
// its UTF-8 continuation bytes (10xxxxxx) behind it; npos when it is shorter.
std::size_t startOfLastCharacters(std::string_view text, int count)
{
    std::size_t start = text.size();
    for (int characters = 0; characters < count; ++characters) {
        if (start == 0)
            return std::string_view::npos;
        --start;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            --start;
    }
    return start;
}

} // namespace

std::string formatTableNumber(double value, int width, int decimals)
{
    if (value == 0.0)
        value = 0.0; // no sign for negative zero
    if (isExactHalf(value, decimals))
        value = std::nextafter(value, std::copysign(std::numeric_limits<double>::infinity(), value));
    // Room for the longest double in fixed notation with its decimals.
    char digits[std::numeric_limits<double>::max_exponent10 + 400];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    std::string text(digits, result.ptr);
    if (text.size() < static_cast<std::size_t>(width))
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

std::string suggestedBaseName(std::string_view obsFileName)
{
    if (obsFileName == "NONE")
        return {};
    const std::size_t nameStart = obsFileName.rfind('/') + 1; // 0 without a folder
    const std::string_view folder = obsFileName.substr(0, nameStart);
    const std::string_view name = obsFileName.substr(nameStart);

    // The stems in the order they are tried; the first that is more than dots wins.
    std::string_view stems[3];
    const std::size_t lastFour = startOfLastCharacters(name, 4);
    if (lastFour != std::string_view::npos && name[lastFour] == '.')
        stems[0] = name.substr(0, lastFour);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0)
        stems[1] = name.substr(0, dot);
    stems[2] = name;
    for (std::string_view stem : stems) {
        stem.remove_prefix(std::min(stem.size(), stem.find_first_not_of('.')));
        if (!stem.empty())
            return std::string(folder).append(stem);
    }
    return std::string(folder).append("spectrum");
}

std::string calTable(const ProgramState& state)
{
    std::string table;
    calLines(state, [&](const std::string& line) { table += line; }, {});
    return table;
}

std::string obsTable(const ProgramState& state)
{
    std::string table;
    obsLines(state, [&](const std::string& line) { table += line; }, {});
    return table;
}

void writeCalFile(const ProgramState& state, const std::string& fileName, const std::function<void(double)>& progress)
{
    FileReplacement file(fileName);
    calLines(state, [&](const std::string& line) { file.write(line); }, progress);
    file.commit();
}

void writeObsFile(const ProgramState& state, const std::string& fileName, const std::function<void(double)>& progress)
{
    FileReplacement file(fileName);
    obsLines(state, [&](const std::string& line) { file.write(line); }, progress);
    file.commit();
}

} // namespace ravelle
