#pragma once

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz/FuzzSupport.h"
#include "io/formats/FieldUnits.h"
#include "io/formats/RawSpectrum.h"

// What the reader fuzz targets share: one input cut into the files of a
// dataset, and the rules every spectrum a reader returns keeps.
namespace ravelle::fuzz {

// The parts of an input between the marks "\n@@@\n" (the seeds use them to
// give a descriptor its data): always `count` parts, the missing ones empty.
template <std::size_t count>
std::array<std::string_view, count> partsOf(std::string_view input)
{
    constexpr std::string_view kMark = "\n@@@\n";
    std::array<std::string_view, count> parts{};
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t end = k + 1 < count ? input.find(kMark) : std::string_view::npos;
        parts[k] = input.substr(0, end);
        if (end == std::string_view::npos)
            break;
        input.remove_prefix(end + kMark.size());
    }
    return parts;
}

// A spectrum as the readers promise it: at least two points and no more
// than the limit, fields and intensities paired and finite, whole notices.
inline void checkSpectrum(const formats::RawSpectrum& spectrum)
{
    RAVELLE_FUZZ_CHECK(spectrum.field.size() == spectrum.intensity.size(), "one intensity per field");
    RAVELLE_FUZZ_CHECK(spectrum.field.size() >= 2 && spectrum.field.size() <= formats::kMaxPoints, "point count in range");
    for (std::size_t i = 0; i < spectrum.field.size(); ++i)
        RAVELLE_FUZZ_CHECK(std::isfinite(spectrum.field[i]) && std::isfinite(spectrum.intensity[i]),
                           "finite point " + std::to_string(i));
    if (spectrum.frequencyGHz)
        RAVELLE_FUZZ_CHECK(std::isfinite(*spectrum.frequencyGHz) && *spectrum.frequencyGHz > 0, "a real frequency");
    for (const std::string& notice : spectrum.notices)
        RAVELLE_FUZZ_CHECK(notice.size() > 10 && notice.back() == '.', notice);
    RAVELLE_FUZZ_CHECK(!spectrum.description.empty(), "described");
}

// A refusal names one of the files it is about, in quotes, and ends a sentence.
inline void checkRefusal(const std::string& message, std::initializer_list<std::string_view> names)
{
    bool named = false;
    for (const std::string_view name : names)
        named = named || message.find("'" + std::string(name) + "'") != std::string::npos;
    RAVELLE_FUZZ_CHECK(named && message.back() == '.', message);
}

} // namespace ravelle::fuzz
