#include "cli/FileFit.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <new>
#include <system_error>

#include "cli/Files.h"
#include "cli/HeadlessHost.h"
#include "commands/Commands.h"
#include "commands/FitCommand.h"
#include "commands/Parameters.h"
#include "engine/BoxNumber.h"
#include "engine/Boxes.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "engine/fit/Fit.h"

namespace ravelle::cli {

namespace {

std::string significant(double value, int digits)
{
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string uncertaintyText(double uncertainty)
{
    if (!std::isfinite(uncertainty))
        return "inf";
    return formatFixed(uncertainty, decimalsForUncertainty(uncertainty), '.');
}

std::string_view outcomeName(FitOutcome outcome)
{
    switch (outcome) {
    case FitOutcome::Converged: return "ok";
    case FitOutcome::NotConverged: return "not converged";
    case FitOutcome::RunAway: return "ran away";
    case FitOutcome::TooFewPoints: return "too few points";
    case FitOutcome::Cancelled: return "cancelled";
    case FitOutcome::Failed: break;
    }
    return "failed";
}

// "ok", or what stopped the fit with the fit's own explanation.
std::string outcomeText(const FitResult& result)
{
    std::string outcome(outcomeName(result.outcome));
    if (result.converged() || result.message.empty())
        return outcome;
    return outcome + ": " + result.message;
}

void setGValue(FileFit& fit, const FitResult& result)
{
    if (!result.gValue)
        return;
    fit.g = formatFixed(*result.gValue, std::max(6, decimalsForUncertainty(result.gUncertainty)), '.');
    const bool centreVaried = std::any_of(result.values.begin(), result.values.end(), [](const FittedValue& value) {
        return value.kind == FitParameterKind::Centre && value.varied;
    });
    if (centreVaried)
        fit.gUncertainty = uncertaintyText(result.gUncertainty);
}

void runFileFit(const FitSettings& settings, const std::string& fileName, FileFit& fit)
{
    checkInputFile(fileName);
    ProgramState state;
    Initialise(state, std::string()); // no start-up folder: no dirinf or colinf is read or written
    HeadlessHost host;
    applyParameterSet(host, settings.start);
    host.answerOpenDialogWith(fileName);
    importCommand(state, host);
    fit.notices = host.notices();
    if (!host.errors().empty())
        throw UserError(host.errors().front());

    FitSetup setup = prepareFit(state, host);
    if (!setup.problem)
        throw UserError(setup.notice);
    FitProblem& problem = *setup.problem;
    for (FitParameter& parameter : problem.parameters)
        parameter.vary = std::find(settings.vary.begin(), settings.vary.end(), commandLineName(parameter.box))
                         != settings.vary.end();

    const std::atomic<bool> cancel{false};
    const FitResult result = runFit(problem, cancel);
    fit.rmsBefore = significant(result.rmsBefore, 6);
    fit.rmsAfter = significant(result.rmsAfter, 6);
    fit.points = std::to_string(result.pointCount);
    fit.iterations = std::to_string(result.iterations);
    fit.outcome = outcomeText(result);
    if (!result.converged())
        return;

    for (const std::string& name : settings.vary)
        for (const FittedValue& value : result.values)
            if (commandLineName(value.box) == name)
                fit.values.push_back({fittedValueText(value, '.'), uncertaintyText(value.uncertainty)});
    setGValue(fit, result);
    writeFittedValues(result, host);
    fit.fitted = currentParameterSet(host);
    fit.ok = true;
}

} // namespace

std::string commandLineName(std::string_view fitName)
{
    std::string name;
    for (std::size_t at = 0; at < fitName.size(); ++at) {
        if (fitName.compare(at, 2, ", ") == 0) {
            name += '/';
            ++at;
        } else {
            name += fitName[at];
        }
    }
    return name;
}

std::vector<OfferedParameter> offeredParameters(const ParameterSet& set)
{
    HeadlessHost host;
    applyParameterSet(host, set);
    ProgramState state;
    Initialise(state, std::string()); // no start-up folder: no dirinf or colinf is read or written
    std::vector<OfferedParameter> offered;
    for (const FitParameter& parameter : fitParametersOf(state, host))
        offered.push_back({commandLineName(parameter.box), parameter.vary});
    return offered;
}

FileFit fitFile(const FitSettings& settings, const std::string& fileName)
{
    FileFit fit;
    try {
        runFileFit(settings, fileName, fit);
    } catch (const UserError& error) {
        fit.outcome = error.message();
    } catch (const std::bad_alloc&) {
        fit.outcome = std::string(messages::kNoMemoryForCommand);
    } catch (const std::exception& error) {
        fit.outcome = std::string("internal error: ") + error.what();
    }
    if (!fit.ok) {
        fit.values.clear();
        fit.fitted.reset();
    }
    return fit;
}

} // namespace ravelle::cli
