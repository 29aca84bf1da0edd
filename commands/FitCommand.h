#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"
#include "engine/fit/Fit.h"

// The box side of a fit: reading the boxes and the Model window into a fit
// problem, writing fitted values back into them, and the results as a table.
namespace ravelle {

// The outcome of the box reading that starts a fit: the problem, or the
// notice that says what is missing.
struct FitSetup {
    std::optional<FitProblem> problem;
    std::string notice;
};

// Reads the boxes exactly as Calculate does, into a copy of the state, and
// the Model window's content, and checks them: Calculate's check, an
// observed spectrum, a usable point count and line width. The frame is the
// one Calculate would draw, CenterField -/+ DisplayRange/2. Every quantity
// of the model is a parameter, varied except the baseline's slope. Throws
// UserError on a box or a Model-window field that holds no usable value
// (the message Calculate shows).
FitSetup prepareFit(const ProgramState& state, const CommandHost& host);

// The parameters a fit of the boxes and the Model window offers, in the
// dialog's order, with their starting values and Vary ticks; no observed
// spectrum is needed. Throws UserError as prepareFit does, and where a box
// every fit needs is empty.
std::vector<FitParameter> fitParametersOf(const ProgramState& state, const CommandHost& host);

// Decimals that show a value to two significant digits of its uncertainty,
// at least `minimum` and at most 9.
int decimalsForUncertainty(double uncertainty, int minimum = 2);

// A fitted value as its box shows it: rounded to the decimals its uncertainty
// calls for (at least 2, at least 4 for Scl).
std::string fittedValueText(const FittedValue& value, char decimalSeparator);

// Keep: writes every varied value into its box or Model-window field as
// fittedValueText, with the host's decimal separator; a shift the Model
// window holds as a g-value is written as the g-value of its fitted field.
void writeFittedValues(const FitResult& result, CommandHost& host);

// The results as a plain-text table for a lab notebook: one line per
// parameter (name, value, uncertainty, tab-separated), then the residuals,
// the counts and the g-value where known.
std::string fitReportText(const FitResult& result, char decimalSeparator);

} // namespace ravelle
