#include "cli/Run.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "cli/FileFit.h"
#include "cli/Files.h"
#include "cli/Series.h"
#include "cli/SeriesReport.h"
#include "cli/Spectra.h"
#include "cli/Tables.h"
#include "engine/UserError.h"
#include "io/LastDir.h"

namespace ravelle::cli {

namespace {

void say(const Streams& streams, const std::string& message)
{
    std::fprintf(streams.err, "ravelle2-cli: %s\n", message.c_str());
}

void sayAbout(const Streams& streams, const std::string& fileName, const std::string& message)
{
    say(streams, fileName + ": " + message);
}

// Standard output, checked: a full disk or a closed pipe is a failure.
void writeOut(const Streams& streams, std::string_view text)
{
    if (std::fwrite(text.data(), 1, text.size(), streams.out) != text.size() || std::fflush(streams.out) != 0)
        throw UserError("The output could not be written.");
}

// Writes the text to the file, or to standard output without one.
void deliver(const Streams& streams, const std::string& fileName, std::string_view text)
{
    if (fileName.empty())
        writeOut(streams, text);
    else
        writeWholeFile(absoluteFileName(fileName), text);
}

// The parameter set, and every complaint about it naming it.
ParameterSet readSet(const std::string& fileName)
{
    try {
        checkInputFile(fileName);
    } catch (const UserError& error) {
        throw UserError(fileName + ": " + error.message());
    }
    return readParameterSet(fileName);
}

// The varied parameters in the fit's order; every name must be one it offers.
std::vector<std::string> variedNames(const ParameterSet& set, const std::string& setName,
                                     const std::optional<std::vector<std::string>>& asked)
{
    std::vector<std::string> offered;
    std::vector<std::string> ticked;
    try {
        for (const OfferedParameter& parameter : offeredParameters(set)) {
            offered.push_back(parameter.name);
            if (parameter.variedByDefault)
                ticked.push_back(parameter.name);
        }
    } catch (const UserError& error) {
        throw UserError(setName + ": " + error.message());
    }
    if (!asked)
        return ticked;
    std::string offeredList;
    for (const std::string& name : offered)
        offeredList += (offeredList.empty() ? "" : ",") + name;
    for (const std::string& name : *asked)
        if (std::find(offered.begin(), offered.end(), name) == offered.end())
            throw UserError("--vary: '" + name + "' is not a parameter of this set; it offers " + offeredList + ".");
    std::vector<std::string> varied;
    for (const std::string& name : offered)
        if (std::find(asked->begin(), asked->end(), name) != asked->end())
            varied.push_back(name);
    if (varied.empty())
        throw UserError("--vary names no parameter; the set offers " + offeredList + ".");
    return varied;
}

template <typename Body>
int reported(const Streams& streams, int failureStatus, Body&& body)
{
    try {
        return body();
    } catch (const UserError& error) {
        say(streams, error.message());
    } catch (const std::bad_alloc&) {
        say(streams, "Not enough memory.");
    }
    return failureStatus;
}

} // namespace

int simulate(const SimulateArguments& arguments, const Streams& streams)
{
    ParameterSet set;
    if (const int status = reported(streams, kExitBadArguments, [&] {
            if (!arguments.output.empty())
                checkOutputsApart({arguments.parameters}, {arguments.output});
            set = readSet(arguments.parameters);
            return kExitOk;
        }))
        return status;
    return reported(streams, kExitFileFailed, [&] {
        Table table;
        try {
            table = simulatedTable(set, arguments.points, arguments.csv ? TableLayout::csv : TableLayout::cal);
        } catch (const UserError& error) {
            throw UserError(arguments.parameters + ": " + error.message());
        }
        for (const std::string& notice : table.notices)
            say(streams, notice);
        deliver(streams, arguments.output, table.text);
        return kExitOk;
    });
}

int fit(const FitArguments& arguments, const Streams& streams)
{
    SeriesRequest request;
    std::vector<std::string> varied;
    std::string output;
    if (const int status = reported(streams, kExitBadArguments, [&] {
            request.settings.start = readSet(arguments.parameters);
            varied = variedNames(request.settings.start, arguments.parameters, arguments.vary);
            request.settings.vary = varied;
            // Every name absolute before the first import changes the working folder.
            for (const std::string& file : arguments.files)
                request.files.push_back(absoluteFileName(file));
            std::vector<std::string> inputs = request.files;
            inputs.push_back(absoluteFileName(arguments.parameters));
            std::vector<std::string> outputs;
            if (!arguments.output.empty())
                outputs.push_back(output = absoluteFileName(arguments.output));
            if (!arguments.saveFitted.empty()) {
                checkDirectory(arguments.saveFitted);
                request.saveDirectory = absoluteFileName(arguments.saveFitted);
                for (const std::string& file : request.files)
                    outputs.push_back(outputFileName(request.saveDirectory, file, ".ravelle"));
            }
            checkOutputsApart(inputs, outputs);
            request.jobs = std::max(arguments.jobs, 1u);
            return kExitOk;
        }))
        return status;

    SeriesReport report(streams.err, arguments.progressBar, request.files.size());
    const std::vector<FileFit> fits =
        fitSeries(request, [&](std::size_t index, const FileFit& fit) { report.fileEnded(arguments.files[index], fit); });
    report.finish();
    const bool allOk = std::all_of(fits.begin(), fits.end(), [](const FileFit& fit) { return fit.ok; });
    const std::string csv = seriesCsv(arguments.files, varied, fits);
    int status = reported(streams, kExitFileFailed, [&] {
        deliver(streams, output, csv);
        return kExitOk;
    });
    // The series is not lost with its file: the rows go to standard output.
    if (status != kExitOk && !output.empty()) {
        say(streams, "The results follow on standard output instead.");
        reported(streams, kExitFileFailed, [&] {
            writeOut(streams, csv);
            return kExitOk;
        });
    }
    return status != kExitOk || !allOk ? kExitFileFailed : kExitOk;
}

int convert(const ConvertArguments& arguments, const Streams& streams)
{
    std::vector<std::string> outputs;
    if (const int status = reported(streams, kExitBadArguments, [&] {
            if (arguments.outputDirectory.empty()) {
                if (arguments.files.size() != 1)
                    throw UserError("Several files need an output folder: give -o DIR.");
                return kExitOk;
            }
            checkDirectory(arguments.outputDirectory);
            for (const std::string& file : arguments.files)
                outputs.push_back(outputFileName(arguments.outputDirectory, file, ".dat"));
            checkOutputsApart(arguments.files, outputs);
            return kExitOk;
        }))
        return status;

    int status = kExitOk;
    for (std::size_t i = 0; i < arguments.files.size(); ++i) {
        const std::string& file = arguments.files[i];
        try {
            checkInputFile(file);
            const Table table = convertedTable(file);
            for (const std::string& notice : table.notices)
                sayAbout(streams, file, notice);
            deliver(streams, outputs.empty() ? std::string() : outputs[i], table.text);
        } catch (const UserError& error) {
            sayAbout(streams, file, error.message());
            status = kExitFileFailed;
        } catch (const std::bad_alloc&) {
            sayAbout(streams, file, "Not enough memory.");
            status = kExitFileFailed;
        }
    }
    return status;
}

} // namespace ravelle::cli
