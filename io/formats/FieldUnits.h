#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "io/formats/RawSpectrum.h"

// Units of the field axis and the limits every reader keeps to.
namespace ravelle::formats {

// The most points a reader takes: as many as the two-column import takes,
// checked before anything of that size is allocated.
inline constexpr std::uint64_t kMaxPoints = 10'000'000;
// The largest data or text file read whole (a two-dimensional dataset of
// many slices may be this large; the spectrum is only its first slice).
inline constexpr std::uint64_t kMaxDataFileBytes = std::uint64_t{1} << 30;
// The largest descriptor or parameter file.
inline constexpr std::uint64_t kMaxParameterFileBytes = std::uint64_t{16} << 20;

// "G", "Gauss", "mT", "millitesla", "T", "tesla" in any case (so also "MT"
// in a header written in capitals); quotes around it are allowed.
std::optional<FieldUnit> fieldUnitNamed(std::string_view name);

// The unit in which fields around `typicalField` (in that unit) and the
// microwave frequency put the resonance nearest to g = 2.0023, the g value
// of organic radicals: g = h f / (muB B).
FieldUnit unitNearestFreeElectron(double typicalField, double frequencyGHz);

} // namespace ravelle::formats
