#include "cli/Tables.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "engine/FloatingPoint.h"
#include "engine/Trace.h"
#include "io/FileAccess.h"

namespace ravelle::cli {

std::string exactNumber(double value)
{
    if (value == 0.0)
        value = 0.0; // no sign for negative zero
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string twoColumnText(std::span<const double> field, std::span<const double> intensity)
{
    std::string text;
    const std::size_t count = std::min(field.size(), intensity.size());
    text.reserve(count * 24);
    for (std::size_t i = 0; i < count; ++i) {
        text += exactNumber(field[i]);
        text += ' ';
        text += exactNumber(intensity[i]);
        text += "\r\n";
    }
    return text;
}

std::string simulatedCsv(const ProgramState& state)
{
    std::string text = "field_G,intensity\r\n";
    if (!hasSimulatedSpectrum(state))
        return text;
    // The points of the .cal table, never past what the arrays hold.
    const auto held = std::min(state.CalcField.size(), state.CalcIntensity.size());
    const auto last = std::min<std::size_t>(static_cast<std::size_t>(state.CalcSpectrumPoints) + 1, held);
    const TraceLevel level{state.CalcScale, state.CalcBaselineOffset, state.CalcBaselineSlope};
    for (std::size_t i = 0; i < last; ++i) {
        text += exactNumber(storeDouble(static_cast<long double>(state.CalcField[i]) + state.CalcCenterField));
        text += ',';
        text += exactNumber(tracedIntensity(level, state.CalcField[i], state.CalcIntensity[i]));
        text += "\r\n";
    }
    return text;
}

std::string csvCell(std::string_view text)
{
    const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                        (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quoted)
        return std::string(text);
    std::string cell = "\"";
    for (const char c : text) {
        if (c == '"')
            cell += '"';
        cell += c;
    }
    cell += '"';
    return cell;
}

void writeWholeFile(const std::string& fileName, std::string_view text)
{
    FileReplacement file(fileName);
    file.write(text);
    file.commit();
}

} // namespace ravelle::cli
