#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"
#include "engine/fit/Fit.h"

// The box side of a fit: reading the boxes into a fit problem, and writing
// fitted values back into them.
namespace ravelle {

inline constexpr std::string_view kFitNeedsObservedSpectrum =
    "Fit needs an observed spectrum: import one first (File > Import_Observed_Spectrum).";

// The outcome of the box reading that starts a fit: the problem, or the
// notice that says what is missing.
struct FitSetup {
    std::optional<FitProblem> problem;
    std::string notice;
};

// Reads the boxes exactly as Calculate does, into a copy of the state, and
// checks them: Calculate's check, an observed spectrum, a usable point count,
// sigma and line count. The frame is the one Calculate would draw,
// CenterField -/+ DisplayRange/2. Throws UserError on a box that does not
// convert (the message Calculate shows).
FitSetup prepareFit(const ProgramState& state, const CommandHost& host);

// Decimals that show a value to two significant digits of its uncertainty,
// at least `minimum` and at most 9.
int decimalsForUncertainty(double uncertainty, int minimum = 2);

// A fitted value as its box shows it: rounded to the decimals its uncertainty
// calls for (at least 2, at least 4 for Scl).
std::string fittedValueText(const FittedValue& value, char decimalSeparator);

// Keep: writes every varied value into its box as fittedValueText, with the
// host's decimal separator.
void writeFittedValues(const FitResult& result, CommandHost& host);

} // namespace ravelle
