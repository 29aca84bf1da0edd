// ravelle2-cli: the window's simulation, import and fit for series of files,
// from a shell or a script.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <thread>

#include "cli/Run.h"

namespace {

using namespace ravelle::cli;

// CLI11 words its own checks; they all mean bad arguments.
int parseFailure(const CLI::App& app, const CLI::ParseError& error)
{
    const int status = app.exit(error);
    return status == 0 ? kExitOk : kExitBadArguments;
}

// "N1,Sigma" gives N1 and Sigma; blanks around a name are dropped.
std::vector<std::string> splitNames(const std::string& list)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        std::string name = list.substr(start, comma - start);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (!name.empty())
            names.push_back(name);
        if (comma == list.size())
            return names;
        start = comma + 1;
    }
}

bool isCommand(std::string_view word)
{
    return word == "simulate" || word == "fit" || word == "convert";
}

unsigned allCores()
{
    return std::max(std::thread::hardware_concurrency(), 1u);
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Ravelle2 on the command line: simulate the ESR spectrum of a parameter set, fit series of\n"
                 "measured spectra, convert spectrometer files to two-column text.",
                 "ravelle2-cli"};
    app.require_subcommand(1);
    app.footer("Run 'ravelle2-cli COMMAND --help' for a command's options.\n"
               "Exit status: 0 all done, 1 some file failed (the others were done), 2 bad arguments\n"
               "or a parameter set that cannot be read.\n\n"
               "Example:\n"
               "  ravelle2-cli fit --parameters radical.ravelle --vary N1,Sigma,GCntr,Scl runs/*.dat -o results.csv");

    SimulateArguments simulateArguments;
    std::int32_t points = 0;
    CLI::App* simulate = app.add_subcommand(
        "simulate", "The simulated spectrum of a parameter set, as .cal table or CSV");
    simulate->add_option("-p,--parameters", simulateArguments.parameters, "Parameter set (.ravelle)")
        ->required()->type_name("FILE");
    simulate->add_option("--points", points, "Grid intervals (NoPnts) instead of the set's")->type_name("N");
    simulate->add_option("-o,--output", simulateArguments.output, "Write to FILE (whole or not at all) "
                         "instead of standard output")->type_name("FILE");
    simulate->add_flag("--csv", simulateArguments.csv, "CSV with the header field_G,intensity and exact values");
    simulate->footer("Puts the set into the boxes and runs Calculate; the .cal table holds the same bytes as the\n"
                     "window's Save writes for those boxes.\n\n"
                     "Example:\n  ravelle2-cli simulate --parameters radical.ravelle --points 2000 -o radical.cal");

    FitArguments fitArguments;
    fitArguments.jobs = allCores();
    std::string vary; // one argument, split here: CLI11 would take the file names after it too
    CLI::App* fit = app.add_subcommand(
        "fit", "Fit a series of spectrum files from a parameter set; one CSV row per file");
    fit->add_option("-p,--parameters", fitArguments.parameters, "Parameter set to start from (.ravelle)")
        ->required()->type_name("FILE");
    fit->add_option("--vary", vary, "Parameters to vary, separated by commas: box names (H1..H15, N1..N6, Sigma, GCntr, "
                    "Scl) and the Model window's fields with '/' for ', ' (Gamma, 'Baseline offset', "
                    "'Species 2/weight', ...); default: as the fit dialog ticks them")
        ->type_name("NAMES");
    fit->add_option("files", fitArguments.files, "Spectrum files, any format the import reads")
        ->required()->type_name("FILE...");
    fit->add_option("-o,--output", fitArguments.output, "Write the CSV to FILE instead of standard output")
        ->type_name("FILE");
    fit->add_option("-j,--jobs", fitArguments.jobs, "Files fitted at once (default: all cores)")
        ->check(CLI::Range(1u, 1024u))->type_name("N");
    fit->add_option("--save-fitted", fitArguments.saveFitted, "Save each fitted parameter set as DIR/NAME.ravelle")
        ->type_name("DIR");
    fit->footer("Each file is imported as the window imports it (the centre and range come from the spectrum)\n"
                "and fitted from the set's values. Rows come in the order of the files.\n"
                "Columns: file, outcome (ok or the reason), each varied value and its uncertainty, g and its\n"
                "uncertainty (where the microwave frequency is known), rms_before, rms_after, points,\n"
                "iterations.\n\n"
                "Example:\n"
                "  ravelle2-cli fit --parameters radical.ravelle --vary N1,Sigma,GCntr,Scl --jobs 2 \\\n"
                "      runs/*.dat -o results.csv --save-fitted fitted/");

    ConvertArguments convertArguments;
    CLI::App* convert = app.add_subcommand(
        "convert", "Spectrum files of any readable format as two-column text");
    convert->add_option("files", convertArguments.files, "Spectrum files")->required()->type_name("FILE...");
    convert->add_option("-o,--output", convertArguments.outputDirectory,
                        "Write DIR/NAME.dat for each file (standard output for a single file without it)")
        ->type_name("DIR");
    convert->footer("Field in gauss and intensity as stored, before any normalisation; exact values.\n"
                    "Reads Bruker BES3T (.DSC/.DTA), ESP and WinEPR (.par/.spc), text tables, two-column text.\n\n"
                    "Example:\n  ravelle2-cli convert sample.DSC sample2.spc -o converted/");

    // CLI11 would only say that a command is missing.
    if (argc > 1 && argv[1][0] != '-' && !isCommand(argv[1])) {
        std::fprintf(stderr, "ravelle2-cli: '%s' is not a command: use simulate, fit or convert.\n"
                             "Run with --help for more information.\n", argv[1]);
        return kExitBadArguments;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return parseFailure(app, error);
    }

    const Streams streams;
    if (simulate->parsed()) {
        if (simulate->count("--points") > 0)
            simulateArguments.points = points;
        return ravelle::cli::simulate(simulateArguments, streams);
    }
    if (fit->parsed()) {
        if (fit->count("--vary") > 0)
            fitArguments.vary = splitNames(vary);
        fitArguments.progressBar = ::isatty(STDERR_FILENO) == 1;
        return ravelle::cli::fit(fitArguments, streams);
    }
    return ravelle::cli::convert(convertArguments, streams);
}
