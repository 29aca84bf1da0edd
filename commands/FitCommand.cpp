#include "commands/FitCommand.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "commands/ModelReading.h"
#include "commands/Parameters.h"
#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "engine/model/GValue.h"

namespace ravelle {

namespace {

// The Model window's names of its fields, as its messages give them.
std::string speciesField(int species, const std::string& what)
{
    return "Species " + std::to_string(species + 1) + ", " + what;
}

std::string groupField(int species, std::size_t group)
{
    return speciesField(species, "group " + std::to_string(group + 1) + ", coupling");
}

// The parameters of one species' own widths, groups and width law; species
// 1's sigma is the Sigma box.
void addSpeciesParameters(const model::Species& species, int s, std::size_t firstGroup, FitProblem& problem)
{
    auto& parameters = problem.parameters;
    const bool usesSigma = species.shape != model::LineShape::Lorentzian;
    const bool usesGamma = species.shape != model::LineShape::Gaussian;
    if (usesSigma && s > 0)
        parameters.push_back({FitParameterKind::Sigma, speciesField(s, "Sigma"), species.sigma, true, s});
    if (usesGamma)
        parameters.push_back(
            {FitParameterKind::Gamma, s == 0 ? "Gamma" : speciesField(s, "Gamma"), species.gamma, true, s});
    for (std::size_t g = firstGroup; g < species.groups.size(); ++g)
        parameters.push_back({FitParameterKind::Coupling, groupField(s, g - firstGroup), species.groups[g].coupling,
                              true, s, static_cast<int>(g)});
    if (species.widthGroup == model::kNoWidthGroup)
        return;
    if (usesSigma) {
        parameters.push_back({FitParameterKind::SigmaB, speciesField(s, "Sigma B"), species.sigmaLaw.linear, true, s});
        parameters.push_back(
            {FitParameterKind::SigmaC, speciesField(s, "Sigma C"), species.sigmaLaw.quadratic, true, s});
    }
    if (usesGamma) {
        parameters.push_back({FitParameterKind::GammaB, speciesField(s, "Gamma B"), species.gammaLaw.linear, true, s});
        parameters.push_back(
            {FitParameterKind::GammaC, speciesField(s, "Gamma C"), species.gammaLaw.quadratic, true, s});
    }
}

// Every quantity of the model, in the order the dialog lists them: species
// 1 (the boxes first), the centre, the scale and the baseline, then the
// further species.
void addParameters(const ProgramState& copy, const ModelSettings& settings, FitProblem& problem)
{
    auto& parameters = problem.parameters;
    const model::Species& first = problem.model.species.front();
    int group = 0;
    for (int k = 1; k <= copy.HCount; ++k)
        parameters.push_back({FitParameterKind::Hydrogen, std::string(hydrogenBox(k)),
                              copy.CouplingH[static_cast<std::size_t>(k)], true, 0, group++});
    for (int k = 1; k <= copy.NCount; ++k)
        parameters.push_back({FitParameterKind::Nitrogen, std::string(nitrogenBox(k)),
                              copy.CouplingN[static_cast<std::size_t>(k)], true, 0, group++});
    if (first.shape != model::LineShape::Lorentzian)
        parameters.push_back({FitParameterKind::Sigma, "Sigma", copy.SigmaValue, true, 0});
    addSpeciesParameters(first, 0, static_cast<std::size_t>(group), problem);
    parameters.push_back({FitParameterKind::Centre, "GCntr", copy.CenterField, true});
    parameters.push_back({FitParameterKind::Scale, "Scl", copy.MutualScale, true});
    parameters.push_back({FitParameterKind::Offset, "Baseline offset", settings.baselineOffset, true});
    parameters.push_back({FitParameterKind::Slope, "Baseline slope", settings.baselineSlope, false});
    for (std::size_t s = 1; s < problem.model.species.size(); ++s) {
        const model::Species& species = problem.model.species[s];
        const int index = static_cast<int>(s);
        parameters.push_back({FitParameterKind::Weight, speciesField(index, "weight"), species.weight, true, index});
        parameters.push_back({FitParameterKind::Shift, speciesField(index, "shift"), species.shift, true, index});
        addSpeciesParameters(species, index, 0, problem);
    }
}

// The parameters only: the spectra are not needed for the reading.
ProgramState parametersOf(const ProgramState& state)
{
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
    return copy;
}

// The model at the values the boxes and the Model window hold.
model::Model startingModel(const ProgramState& copy, const ModelSettings& settings)
{
    const SynthesisInput boxes = synthesisInput(copy);
    model::Model model = buildModel(settings, boxes.couplingH, boxes.couplingN, copy.SigmaValue);
    model::validateModel(model);
    return model;
}

} // namespace

FitSetup prepareFit(const ProgramState& state, const CommandHost& host)
{
    ProgramState copy = parametersOf(state);
    FitSetup setup;
    readLeadingParameters(copy, host);
    if (!requiredParametersDefined(host)) {
        setup.notice = std::string(messages::kMissingParameters);
        return setup;
    }
    readSynthesisParameters(copy, host);
    const ModelSettings settings = readModelSettings(host.modelTexts(), host.decimalSeparator(), copy.CenterField);
    if (!hasObservedSpectrum(state)) {
        setup.notice = std::string(messages::kFitNeedsObservedSpectrum);
        return setup;
    }
    if (copy.CalcPoints < 1 || copy.CalcPoints > kMaxCalcPoints) {
        setup.notice = std::string(messages::kFitNeedsPoints);
        return setup;
    }
    if (copy.SigmaValue == 0.0 && settings.first.shape == model::LineShape::Gaussian) {
        setup.notice = std::string(messages::kFitNeedsLineWidth);
        return setup;
    }

    FitProblem problem;
    problem.model = startingModel(copy, settings);
    problem.frequencyGHz = settings.frequencyGHz;
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
        setup.notice = std::string(messages::kFitNoPointInFrame);
        return setup;
    }
    addParameters(copy, settings, problem);
    setup.problem = std::move(problem);
    return setup;
}

std::vector<FitParameter> fitParametersOf(const ProgramState& state, const CommandHost& host)
{
    ProgramState copy = parametersOf(state);
    readLeadingParameters(copy, host);
    if (!requiredParametersDefined(host))
        throw UserError(std::string(messages::kMissingParameters));
    readSynthesisParameters(copy, host);
    const ModelSettings settings = readModelSettings(host.modelTexts(), host.decimalSeparator(), copy.CenterField);
    FitProblem problem;
    problem.model = startingModel(copy, settings);
    addParameters(copy, settings, problem);
    return std::move(problem.parameters);
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

namespace {

// The least decimals of a g-value.
constexpr int kGDecimals = 5;

// The g-value of a field, as a text with the decimals its uncertainty calls for.
std::string gText(double g, double uncertainty, char separator)
{
    return formatFixed(g, decimalsForUncertainty(uncertainty, kGDecimals), separator);
}

// The text of a width law a fitted value of that kind goes into; nullptr
// for another kind.
std::string* widthLawField(WidthLawTexts& law, FitParameterKind kind)
{
    switch (kind) {
    case FitParameterKind::SigmaB:
        return &law.sigmaB;
    case FitParameterKind::SigmaC:
        return &law.sigmaC;
    case FitParameterKind::GammaB:
        return &law.gammaB;
    case FitParameterKind::GammaC:
        return &law.gammaC;
    default:
        return nullptr;
    }
}

// The Model-window text a fitted value goes into; nullptr for a main-window box.
std::string* modelField(ModelTexts& texts, const FittedValue& value, int boxGroups)
{
    const auto s = static_cast<std::size_t>(value.species);
    if (value.kind == FitParameterKind::Offset)
        return &texts.offset;
    if (value.kind == FitParameterKind::Slope)
        return &texts.slope;
    if (s == 0) {
        switch (value.kind) {
        case FitParameterKind::Gamma:
            return &texts.gamma;
        case FitParameterKind::Coupling:
            return &texts.groups.at(static_cast<std::size_t>(value.group - boxGroups)).coupling;
        default:
            return widthLawField(texts.widthLaw, value.kind);
        }
    }
    SpeciesTexts& species = texts.species.at(s - 1);
    switch (value.kind) {
    case FitParameterKind::Sigma:
        return &species.sigma;
    case FitParameterKind::Gamma:
        return &species.gamma;
    case FitParameterKind::Weight:
        return &species.weight;
    case FitParameterKind::Shift:
        return &species.shift;
    case FitParameterKind::Coupling:
        return &species.groups.at(static_cast<std::size_t>(value.group)).coupling;
    default:
        return widthLawField(species.widthLaw, value.kind);
    }
}

const FittedValue* valueOfKind(const FitResult& result, FitParameterKind kind)
{
    for (const FittedValue& value : result.values)
        if (value.kind == kind)
            return &value;
    return nullptr;
}

} // namespace

void writeFittedValues(const FitResult& result, CommandHost& host)
{
    const char separator = host.decimalSeparator();
    ModelTexts texts = host.modelTexts();
    const ModelTexts before = texts;
    const auto boxGroups = static_cast<int>(std::count_if(result.values.begin(), result.values.end(), [](const auto& v) {
        return v.kind == FitParameterKind::Hydrogen || v.kind == FitParameterKind::Nitrogen;
    }));
    const FittedValue* centre = valueOfKind(result, FitParameterKind::Centre);
    const auto frequency = tryParseRealEitherPoint(texts.frequency, separator);
    for (const FittedValue& value : result.values) {
        if (!value.varied)
            continue;
        std::string text = fittedValueText(value, separator);
        std::string* field = modelField(texts, value, boxGroups);
        if (field == nullptr) {
            host.setBoxText(value.box, text);
            continue;
        }
        const auto s = static_cast<std::size_t>(value.species);
        if (value.kind == FitParameterKind::Shift && texts.species.at(s - 1).shiftIsGValue && centre && frequency &&
            centre->value + value.value > 0) {
            // The g-value of the species' fitted field.
            const double at = centre->value + value.value;
            const double g = model::gValueAt(at, static_cast<double>(*frequency));
            text = gText(g, g * value.uncertainty / at, separator);
        }
        *field = text;
    }
    if (texts != before)
        host.setModelTexts(texts);
}

std::string fitReportText(const FitResult& result, char decimalSeparator)
{
    const auto number = [&](double value, int decimals) { return formatFixed(value, decimals, decimalSeparator); };
    std::string text = "Parameter\tValue\tUncertainty\n";
    for (const FittedValue& value : result.values) {
        text += value.box + "\t" + fittedValueText(value, decimalSeparator) + "\t";
        if (!value.varied)
            text += messages::kFitFixed;
        else if (!std::isfinite(value.uncertainty))
            text += messages::kFitNotDetermined;
        else
            text += number(value.uncertainty, decimalsForUncertainty(value.uncertainty));
        text += "\n";
    }
    if (result.gValue)
        text += "g\t" + gText(*result.gValue, result.gUncertainty, decimalSeparator) + "\t" +
                number(result.gUncertainty, decimalsForUncertainty(result.gUncertainty, kGDecimals)) + "\n";
    text += "RMS residual before\t" + number(result.rmsBefore, 5) + "\n";
    text += "RMS residual after\t" + number(result.rmsAfter, 5) + "\n";
    text += "Points\t" + std::to_string(result.pointCount) + "\n";
    text += "Parameters\t" + std::to_string(result.parameterCount) + "\n";
    text += "Iterations\t" + std::to_string(result.iterations) + "\n";
    return text;
}

} // namespace ravelle
