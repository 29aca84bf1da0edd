#pragma once

#include <cstddef>
#include <cstdint>

// What a synthesis accepts; larger inputs are refused before anything is
// allocated.
namespace ravelle {

// Grid intervals of a Calculate (NoPnts).
inline constexpr std::int32_t kMinCalcPoints = 0;
inline constexpr std::int32_t kMaxCalcPoints = 1'000'000;
// Coupling constants taking part in one simulation.
inline constexpr std::size_t kMaxHydrogens = 15;
inline constexpr std::size_t kMaxNitrogens = 6;

} // namespace ravelle
