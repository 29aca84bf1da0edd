#include <optional>
#include <string>

#include "engine/Messages.h"
#include "io/LastDir.h"
#include "io/SpectrumExport.h"
#include "commands/Commands.h"
#include "commands/Reporting.h"

namespace ravelle {

namespace {
void runExport(ProgramState& state, CommandHost& host)
{
    LoadLastDir(state);
    const std::string base = suggestedBaseName(state.ObsFileName);

    if (hasSimulatedSpectrum(state)) {
        const std::optional<std::string> chosen = host.runSaveDialog(state.LastDir, base + ".cal");
        if (chosen) {
            const std::string fileName = absoluteFileName(*chosen);
            StoreLastDir(state, fileName);
            // A failure here ends the command: the .obs step is skipped.
            writeCalFile(state, fileName);
        }
    } else {
        host.showNotice(std::string(messages::kNoSimulatedSpectrum));
    }

    if (!hasObservedSpectrum(state))
        return;
    host.showNotice(std::string(messages::kObservedAlsoSaved));
    LoadLastDir(state);
    const std::optional<std::string> chosen = host.runSaveDialog(state.LastDir, base + ".obs");
    if (chosen) {
        const std::string fileName = absoluteFileName(*chosen);
        StoreLastDir(state, fileName);
        writeObsFile(state, fileName);
    }
}

} // namespace

void exportCommand(ProgramState& state, CommandHost& host)
{
    runReported(host, messages::kNoMemoryForExport, [&] { runExport(state, host); });
}

} // namespace ravelle
