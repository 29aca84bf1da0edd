#include <functional>
#include <optional>
#include <string>

#include "engine/Messages.h"
#include "io/LastDir.h"
#include "io/SpectrumExport.h"
#include "commands/Commands.h"
#include "commands/Reporting.h"

namespace ravelle {

namespace {
using TableWriter = void (*)(const ProgramState&, const std::string&, const std::function<void(double)>&);

// The save dialog with a suggested name; a confirmed name is remembered and
// its table written as long work. A cancel of the writing leaves any earlier
// file of that name as it was and ends the command.
void saveTable(ProgramState& state, CommandHost& host, const std::string& suggestion, TableWriter write)
{
    const std::optional<std::string> chosen = host.runSaveDialog(state.LastDir, suggestion);
    if (!chosen)
        return;
    const std::string fileName = absoluteFileName(*chosen);
    StoreLastDir(state, fileName);
    host.runLongWork(messages::saving(fileName), WorkShown::WithProgress,
                     [&](const Progress& progress) { write(state, fileName, progress); });
}

void runExport(ProgramState& state, CommandHost& host)
{
    LoadLastDir(state);
    const std::string base = suggestedBaseName(state.ObsFileName);

    // A failure of the .cal file ends the command: the .obs step is skipped.
    if (hasSimulatedSpectrum(state))
        saveTable(state, host, base + ".cal", writeCalFile);
    else
        host.showNotice(std::string(messages::kNoSimulatedSpectrum));

    if (!hasObservedSpectrum(state))
        return;
    host.showNotice(std::string(messages::kObservedAlsoSaved));
    LoadLastDir(state);
    saveTable(state, host, base + ".obs", writeObsFile);
}

} // namespace

void exportCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForExport, [&] { runExport(state, host); });
}

} // namespace ravelle
