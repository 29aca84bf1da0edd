#pragma once

// The g-value of a resonance field at a microwave frequency, g = h nu / (mu_B B),
// and the field of a g-value, with the CODATA 2018 constants (E. Tiesinga et
// al., "CODATA recommended values of the fundamental physical constants:
// 2018", Rev. Mod. Phys. 93 (2021) 025010): h = 6.62607015e-34 J s (exact),
// mu_B = 9.2740100783e-24 J/T.
namespace ravelle::model {

inline constexpr double kPlanckConstant = 6.62607015e-34;   // J s
inline constexpr double kBohrMagneton = 9.2740100783e-24;   // J/T
// h nu / mu_B for nu in GHz and the field in gauss (1e9 Hz per GHz, 1e4 G per T).
inline constexpr double kGaussPerGigahertz = kPlanckConstant * 1e9 / kBohrMagneton * 1e4;

// g at `fieldGauss` for a frequency in GHz; both must be greater than 0.
inline double gValueAt(double fieldGauss, double frequencyGHz)
{
    return kGaussPerGigahertz * frequencyGHz / fieldGauss;
}

// The resonance field in gauss of a g-value at a frequency in GHz.
inline double fieldOfGValue(double g, double frequencyGHz)
{
    return kGaussPerGigahertz * frequencyGHz / g;
}

} // namespace ravelle::model
