#pragma once

#include <string>
#include <string_view>

// The texts the general model shows when it refuses a value. Species and
// groups are counted from 1, as the Model window shows them.
namespace ravelle::model::messages {

inline constexpr std::string_view kNoSpecies = "The model has no species.";
inline constexpr std::string_view kTooManySpecies = "The model has more than 8 species.";
inline constexpr std::string_view kAllWeightsZero = "The weights of the species must not all be 0.";
inline constexpr std::string_view kNotFeasible =
    "This spectrum cannot be computed in reasonable time: its lines are too narrow for the field range "
    "and too many to sum one by one. Widen the lines or narrow the field range.";

// "Species 2: <what>" or "Species 2, group 3: <what>".
std::string speciesProblem(int species, std::string_view what);
std::string groupProblem(int species, int group, std::string_view what);

inline constexpr std::string_view kTooManyGroups = "it has more than 64 nucleus groups.";
inline constexpr std::string_view kBadWeight = "the weight must be a number of 0 or more.";
inline constexpr std::string_view kBadShift = "the centre shift must be a number.";
inline constexpr std::string_view kBadSigma = "sigma must be a number.";
inline constexpr std::string_view kBadGamma = "gamma must be a number of 0 or more.";
inline constexpr std::string_view kBadWidthLaw = "the coefficients B and C of the width law must be numbers.";
inline constexpr std::string_view kNoSuchWidthGroup = "the group chosen for the m_I-dependent widths does not exist.";
inline constexpr std::string_view kMixedWidthGroup =
    "the group chosen for the m_I-dependent widths must be a single isotope, not marked natural abundance.";
inline constexpr std::string_view kGaussianNeedsSigma = "a Gaussian line needs a sigma other than 0.";
inline constexpr std::string_view kLorentzianNeedsGamma = "a Lorentzian line needs a gamma greater than 0.";
inline constexpr std::string_view kVoigtNeedsWidth = "a Voigt line needs a sigma or a gamma other than 0.";
inline constexpr std::string_view kTooFar = "its lines lie farther than 1e12 G from the centre.";
// "sigma falls to 0 or below at m = -1." (the width and the m named)
std::string widthNotPositive(std::string_view width, double m);

inline constexpr std::string_view kUnknownIsotope = "the isotope is not in the table (write it like 1H, 13C or 63Cu).";
inline constexpr std::string_view kBadCount = "the number of equivalent nuclei must be between 1 and 30.";
inline constexpr std::string_view kBadCoupling = "the coupling constant must be a number.";
inline constexpr std::string_view kNaturalNeedsSpin =
    "a group marked natural abundance needs a magnetic isotope (spin above 0) to give its coupling.";

} // namespace ravelle::model::messages
