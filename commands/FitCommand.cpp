#include "commands/FitCommand.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "commands/Parameters.h"
#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"

namespace ravelle {

FitSetup prepareFit(const ProgramState& state, const CommandHost& host)
{
    // The parameters only: the spectra are not needed for the reading.
    ProgramState copy;
    copy.CenterField = state.CenterField;
    copy.MutualScale = state.MutualScale;
    copy.SigmaValue = state.SigmaValue;
    copy.DisplayRange = state.DisplayRange;
    copy.CalcPoints = state.CalcPoints;
    copy.HCount = state.HCount;
    copy.NCount = state.NCount;
    copy.CouplingH = state.CouplingH;
    copy.CouplingN = state.CouplingN;

    FitSetup setup;
    readLeadingParameters(copy, host);
    if (!requiredParametersDefined(host)) {
        setup.notice = std::string(messages::kMissingParameters);
        return setup;
    }
    readSynthesisParameters(copy, host);
    if (!hasObservedSpectrum(state)) {
        setup.notice = std::string(kFitNeedsObservedSpectrum);
        return setup;
    }
    if (copy.CalcPoints < 1 || copy.CalcPoints > kMaxCalcPoints) {
        setup.notice = "Fit needs between 1 and 1000000 points (NoPnts) on the display grid.";
        return setup;
    }
    if (copy.SigmaValue == 0.0) {
        setup.notice = "Fit needs a line width: Sigma must not be 0.";
        return setup;
    }

    FitProblem problem;
    problem.displayRange = copy.DisplayRange;
    problem.points = copy.CalcPoints;
    const long double centre = copy.CenterField;
    const double halfRange = storeDouble(static_cast<long double>(copy.DisplayRange) / 2);
    problem.frameLow = storeDouble(-static_cast<long double>(halfRange) + centre);
    problem.frameHigh = storeDouble(static_cast<long double>(halfRange) + centre);
    const double low = std::min(problem.frameLow, problem.frameHigh);
    const double high = std::max(problem.frameLow, problem.frameHigh);
    const auto count = static_cast<std::size_t>(std::max(state.ObsCount, 0));
    for (std::size_t i = 1; i <= count && i < state.ObsField.size() && i < state.ObsIntensity.size(); ++i) {
        const double field = state.ObsField[i];
        if (field >= low && field <= high) {
            problem.field.push_back(field);
            problem.intensity.push_back(state.ObsIntensity[i]);
        }
    }
    if (problem.field.empty()) {
        setup.notice = "No observed point lies in the frame (Edit1 to Edit2): set the centre field (GCntr) and "
                       "the display range (G) over the observed spectrum.";
        return setup;
    }

    for (int k = 1; k <= copy.HCount; ++k)
        problem.parameters.push_back({FitParameterKind::Hydrogen, std::string(hydrogenBox(k)),
                                      copy.CouplingH[static_cast<std::size_t>(k)], true});
    for (int k = 1; k <= copy.NCount; ++k)
        problem.parameters.push_back({FitParameterKind::Nitrogen, std::string(nitrogenBox(k)),
                                      copy.CouplingN[static_cast<std::size_t>(k)], true});
    problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", copy.SigmaValue, true});
    problem.parameters.push_back({FitParameterKind::Centre, "GCntr", copy.CenterField, true});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", copy.MutualScale, true});
    setup.problem = std::move(problem);
    return setup;
}

int decimalsForUncertainty(double uncertainty, int minimum)
{
    constexpr int kMost = 9;
    if (!(uncertainty > 0) || !std::isfinite(uncertainty))
        return std::max(minimum, 4);
    const int decimals = 1 - static_cast<int>(std::floor(std::log10(uncertainty)));
    return std::clamp(decimals, minimum, std::max(minimum, kMost));
}

std::string fittedValueText(const FittedValue& value, char decimalSeparator)
{
    const int minimum = value.kind == FitParameterKind::Scale ? 4 : 2;
    return formatFixed(value.value, decimalsForUncertainty(value.uncertainty, minimum), decimalSeparator);
}

void writeFittedValues(const FitResult& result, CommandHost& host)
{
    const char separator = host.decimalSeparator();
    for (const FittedValue& value : result.values)
        if (value.varied)
            host.setBoxText(value.box, fittedValueText(value, separator));
}

} // namespace ravelle
