#include <optional>
#include <string>

#include "engine/Messages.h"
#include "io/LastDir.h"
#include "io/ParameterFile.h"
#include "io/SpectrumExport.h"
#include "commands/Commands.h"
#include "commands/ParameterSet.h"
#include "commands/Reporting.h"

namespace ravelle {

namespace {

// ".ravelle" says whose file it is and clashes with no other program's
// files, where a short ".r2p" would say nothing.
constexpr std::string_view kParameterFileExtension = ".ravelle";

std::string fileNamePart(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

void runOpen(ProgramState& state, CommandHost& host)
{
    LoadLastDir(state);
    const std::optional<std::string> chosen =
        host.runOpenParametersDialog(state.LastDir, std::string("*").append(kParameterFileExtension));
    if (!chosen)
        return;
    const std::string fileName = absoluteFileName(*chosen);
    StoreLastDir(state, fileName);
    // The whole file is read and checked before anything is set.
    const ParameterSet set = parameterSetOf(parameters::readParameterFile(fileName), fileNamePart(fileName));
    applyParameterSet(host, set);
}

void runSave(ProgramState& state, CommandHost& host)
{
    // A set that could not be opened again is refused before the dialog.
    const parameters::Document document = documentOf(currentParameterSet(host));
    LoadLastDir(state);
    std::string base = suggestedBaseName(state.ObsFileName);
    if (base.empty())
        base = "parameters";
    const std::optional<std::string> chosen =
        host.runSaveParametersDialog(state.LastDir, base + std::string(kParameterFileExtension));
    if (!chosen)
        return;
    const std::string fileName = absoluteFileName(*chosen);
    StoreLastDir(state, fileName);
    parameters::writeParameterFile(fileName, document);
}

} // namespace

void openParametersCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForCommand, [&] { runOpen(state, host); });
}

void saveParametersCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForCommand, [&] { runSave(state, host); });
}

} // namespace ravelle
