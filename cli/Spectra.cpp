#include "cli/Spectra.h"

#include <span>
#include <string>

#include "cli/HeadlessHost.h"
#include "cli/Tables.h"
#include "commands/Commands.h"
#include "engine/UserError.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "io/SpectrumExport.h"
#include "io/formats/SpectrumFile.h"

namespace ravelle::cli {

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

Table simulatedTable(const ParameterSet& set, std::optional<std::int32_t> points, TableLayout layout)
{
    ProgramState state;
    Initialise(state, std::string()); // no start-up folder: no dirinf is read or written
    HeadlessHost host;
    applyParameterSet(host, set);
    if (points)
        host.setBoxText("NoPnts", std::to_string(*points));
    calculateCommand(state, host);
    if (!host.errors().empty() || !hasSimulatedSpectrum(state)) {
        std::vector<std::string> said = host.errors();
        said.insert(said.end(), host.notices().begin(), host.notices().end());
        throw UserError(said.empty() ? std::string("Calculate made no spectrum.") : joined(said));
    }
    return {layout == TableLayout::cal ? calTable(state) : simulatedCsv(state), host.notices()};
}

Table convertedTable(const std::string& fileName)
{
    const std::string path = absoluteFileName(fileName);
    if (auto raw = formats::readSpectrumFile(path))
        return {twoColumnText(raw->field, raw->intensity), raw->notices};
    // Plain two-column text: the points in entries 1 .. count.
    const ObservedSpectrum read = readObservedFile(path, '.');
    const auto count = static_cast<std::size_t>(read.count);
    return {twoColumnText(std::span(read.field).subspan(1, count), std::span(read.intensity).subspan(1, count)), {}};
}

} // namespace ravelle::cli
