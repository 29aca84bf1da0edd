// ravelle2-cli run as a user runs it, compared with what the window does
// with the same files and boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "commands/ParameterSet.h"
#include "engine/model/GValue.h"
#include "io/ObservedImport.h"
#include "io/ParameterFile.h"
#include "io/formats/SpectrumFile.h"
#include "tests/cli/CliRunning.h"
#include "tests/support/FakeHost.h"

namespace ravelle::testing {
namespace {

namespace fs = std::filesystem;

const std::string kData = RAVELLE_TEST_DATA;
const std::string kNitrobenzene = kData + "/cli/nitrobenzene.ravelle";

std::string dataFile(const std::string& name)
{
    return kData + "/" + name;
}

// The window: File > Open_Parameters, NoPnts typed where given, Calculate,
// File > Save into `target`.
std::string windowSave(const std::string& set, const std::optional<std::string>& points, const fs::path& target)
{
    ProgramState state;
    Initialise(state, std::string());
    FakeHost host(state);
    host.openAnswers.push_back(set);
    openParametersCommand(state, host);
    if (points)
        host.setBoxText("NoPnts", *points);
    calculateCommand(state, host);
    host.saveAnswers.push_back(target.string());
    exportCommand(state, host);
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    return fileText(target);
}

struct SimulateCase {
    const char* set;
    std::optional<std::string> points;
};

TEST(CliSimulate, WritesTheBytesTheWindowSavesForTheSameBoxes)
{
    const SimulateCase cases[] = {
        {"nitrobenzene.ravelle", std::nullopt},
        {"nitrobenzene.ravelle", "2000"},
        {"nitrobenzene.ravelle", "7"},
        {"voigt_baseline_frequency.ravelle", std::nullopt}, // the Model window's line shape and baseline
    };
    ScratchFolder scratch;
    for (const SimulateCase& row : cases) {
        SCOPED_TRACE(std::string(row.set) + " " + row.points.value_or("-"));
        const std::string set = dataFile(std::string("cli/") + row.set);
        const std::string expected = windowSave(set, row.points, scratch / "window.cal");
        ASSERT_FALSE(expected.empty());
        std::vector<std::string> arguments{"simulate", "--parameters", set, "-o", "cli.cal"};
        if (row.points)
            arguments.insert(arguments.end(), {"--points", *row.points});
        const CliRun toFile = scratch.run(arguments);
        EXPECT_EQ(toFile.status, 0) << toFile.err;
        EXPECT_EQ(fileText(scratch / "cli.cal"), expected);
        arguments.erase(arguments.begin() + 3, arguments.begin() + 5);
        const CliRun toOutput = scratch.run(arguments);
        EXPECT_EQ(toOutput.status, 0) << toOutput.err;
        EXPECT_EQ(toOutput.out, expected);
    }
}

TEST(CliSimulate, CsvHoldsTheCalPointsExactly)
{
    ScratchFolder scratch;
    const std::string cal = windowSave(dataFile("cli/voigt_baseline_frequency.ravelle"), "300", scratch / "w.cal");
    const CliRun run = scratch.run({"simulate", "-p", dataFile("cli/voigt_baseline_frequency.ravelle"), "--points",
                                    "300", "--csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto csv = splitLines(run.out);
    const auto table = splitLines(cal);
    ASSERT_EQ(csv.size(), table.size() + 1);
    EXPECT_EQ(csv.front(), "field_G,intensity");
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto cells = csvCells(csv[i + 1]);
        ASSERT_EQ(cells.size(), 2u) << csv[i + 1];
        std::istringstream line(table[i]);
        double field = 0, intensity = 0;
        line >> field >> intensity;
        // The .cal table rounds to 2 and 5 decimals; the CSV does not.
        EXPECT_NEAR(std::stod(cells[0]), field, 0.005 + 1e-9) << i;
        EXPECT_NEAR(std::stod(cells[1]), intensity, 0.000005 + 1e-12) << i;
    }
}

// The points of a file as the readers give them, before any normalisation.
std::pair<std::vector<double>, std::vector<double>> storedPoints(const std::string& fileName)
{
    if (auto raw = formats::readSpectrumFile(fileName))
        return {raw->field, raw->intensity};
    const ObservedSpectrum read = readObservedFile(fileName, '.');
    const auto count = static_cast<std::size_t>(read.count);
    return {std::vector<double>(read.field.begin() + 1, read.field.begin() + 1 + static_cast<std::ptrdiff_t>(count)),
            std::vector<double>(read.intensity.begin() + 1,
                                read.intensity.begin() + 1 + static_cast<std::ptrdiff_t>(count))};
}

TEST(CliConvert, WritesEveryFormatAsTwoColumnsThatReadBackExactly)
{
    struct Case {
        const char* file;
        const char* written;
        std::size_t points;
    };
    const Case cases[] = {
        {"../../data/example.dat", "example.dat", 1000},                      // two-column text
        {"formats/descriptor_with_history.DSC", "descriptor_with_history.dat", 0}, // BES3T pair by its descriptor
        {"formats/igd_axis_in_mt.DTA", "igd_axis_in_mt.dat", 0},             // BES3T with its field axis in mT
        {"formats/par_keys_end_with_crlf.spc", "par_keys_end_with_crlf.dat", 0}, // WinEPR/ESP
        {"formats/several_intensity_columns.txt", "several_intensity_columns.dat", 0}, // a labelled table
        {"formats/semicolon_decimal_comma.csv", "semicolon_decimal_comma.dat", 0},
    };
    ScratchFolder scratch;
    fs::create_directory(scratch / "out");
    std::vector<std::string> arguments{"convert"};
    for (const Case& row : cases)
        arguments.push_back(dataFile(row.file));
    arguments.insert(arguments.end(), {"-o", "out"});
    const CliRun run = scratch.run(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.file);
        const auto expected = storedPoints(dataFile(row.file));
        const fs::path written = scratch / "out" / row.written;
        const auto back = storedPoints(written.string());
        EXPECT_EQ(back.first, expected.first);
        EXPECT_EQ(back.second, expected.second);
        if (row.points > 0) {
            EXPECT_EQ(back.first.size(), row.points);
        }
        // One file alone goes to standard output, the same bytes.
        const CliRun single = scratch.run({"convert", dataFile(row.file)});
        EXPECT_EQ(single.status, 0) << single.err;
        EXPECT_EQ(single.out, fileText(written));
    }
}

// Noisy copies of the example spectrum: its points with Gaussian noise of
// `noise` counts added, from a seed of their own.
void writeNoisyCopy(const fs::path& target, std::uint64_t seed, double noise)
{
    const auto [field, intensity] = storedPoints(dataFile("../../data/example.dat"));
    std::mt19937_64 random(seed);
    std::normal_distribution<double> deviation(0.0, noise);
    std::ostringstream text;
    text.precision(10);
    for (std::size_t i = 0; i < field.size(); ++i)
        text << field[i] << ' ' << intensity[i] + deviation(random) << "\r\n";
    writeText(target, text.str());
}

std::size_t column(const std::vector<std::string>& header, const std::string& name)
{
    const auto found = std::find(header.begin(), header.end(), name);
    EXPECT_NE(found, header.end()) << name;
    return static_cast<std::size_t>(found - header.begin());
}

TEST(CliFit, FitsASeriesInParallelWithRowsInTheOrderGiven)
{
    ScratchFolder scratch;
    const std::vector<std::string> files{"noisy_0.dat", "flat.dat", "noisy_1.dat", "noisy_2.dat", "missing.dat",
                                         "noisy_3.dat"};
    for (std::uint64_t k = 0; k < 4; ++k)
        writeNoisyCopy(scratch / ("noisy_" + std::to_string(k) + ".dat"), k + 1, 25.0);
    writeText(scratch / "flat.dat", "3300 5\r\n3301 5\r\n3302 5\r\n");
    fs::create_directory(scratch / "fitted");
    std::vector<std::string> arguments{"fit", "-p", kNitrobenzene, "--jobs", "2", "-o", "results.csv",
                                       "--save-fitted", "fitted"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const CliRun run = scratch.run(arguments);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(splitLines(run.err).size(), files.size()) << run.err; // one progress line per file

    const auto lines = splitLines(fileText(scratch / "results.csv"));
    ASSERT_EQ(lines.size(), files.size() + 1);
    const auto header = csvCells(lines[0]);
    const std::size_t outcome = column(header, "outcome");
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        const auto row = csvCells(lines[i + 1]);
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[0], files[i]);
        const bool noisy = files[i].starts_with("noisy");
        EXPECT_EQ(fs::exists(scratch / "fitted" / (files[i].substr(0, files[i].size() - 4) + ".ravelle")), noisy);
        if (!noisy) {
            EXPECT_NE(row[outcome], "ok");
            EXPECT_FALSE(row[outcome].empty());
            EXPECT_TRUE(row[column(header, "N1")].empty());
            continue;
        }
        EXPECT_EQ(row[outcome], "ok");
        // The constants the example was made from.
        const std::pair<const char*, double> known[] = {
            {"H1", 3.970}, {"H2", 3.389}, {"H3", 3.389}, {"H4", 1.088}, {"N1", 10.320}, {"GCntr", 3348.20}};
        for (const auto& [name, value] : known)
            EXPECT_NEAR(std::stod(row[column(header, name)]), value, 0.02) << name;
        EXPECT_GT(std::stod(row[column(header, "N1_uncertainty")]), 0.0);
        EXPECT_LT(std::stod(row[column(header, "rms_after")]), std::stod(row[column(header, "rms_before")]));
        EXPECT_TRUE(row[column(header, "g")].empty()); // no microwave frequency in the set or the file
        // The saved set holds the fitted values as the window's Keep writes them.
        const std::string saved = (scratch / "fitted" / (files[i].substr(0, files[i].size() - 4) + ".ravelle")).string();
        const ParameterSet fitted = parameterSetOf(parameters::readParameterFile(saved), "fitted");
        EXPECT_EQ(fitted.boxes.at("N1"), row[column(header, "N1")]);
        EXPECT_EQ(fitted.boxes.at("GCntr"), row[column(header, "GCntr")]);
    }
    EXPECT_EQ(csvCells(lines[5])[outcome], "No such file.");
}

TEST(CliFit, VariesTheNamedParametersAndGivesGWhereTheFrequencyIsKnown)
{
    ScratchFolder scratch;
    writeNoisyCopy(scratch / "noisy.dat", 7, 25.0);
    ParameterSet set = parameterSetOf(parameters::readParameterFile(kNitrobenzene), "nitrobenzene.ravelle");
    set.model.frequency = "9.4";
    parameters::writeParameterFile((scratch / "with_frequency.ravelle").string(), documentOf(set));

    const CliRun run = scratch.run({"fit", "-p", "with_frequency.ravelle", "--vary", "Scl, GCntr,N1", "noisy.dat"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "file,outcome,N1,N1_uncertainty,GCntr,GCntr_uncertainty,Scl,Scl_uncertainty,g,"
                        "g_uncertainty,rms_before,rms_after,points,iterations");
    const auto row = csvCells(lines[1]);
    ASSERT_EQ(row.size(), 14u);
    EXPECT_EQ(row[1], "ok");
    EXPECT_EQ(row[12], "999");
    const double centre = std::stod(row[4]);
    EXPECT_NEAR(std::stod(row[8]), model::gValueAt(centre, 9.4), 1e-6);
    EXPECT_NEAR(std::stod(row[9]), model::gValueAt(centre, 9.4) * std::stod(row[5]) / centre, 2e-7);
}

TEST(CliFit, VariesTheModelWindowsQuantitiesByTheirFieldNames)
{
    // A Voigt spectrum with a baseline, simulated from the set, fitted again
    // from a Gamma and a centre that are off.
    ScratchFolder scratch;
    ParameterSet truth = parameterSetOf(parameters::readParameterFile(kData + "/cli/voigt_baseline_frequency.ravelle"),
                                        "voigt.ravelle");
    truth.model.slope = "0";
    parameters::writeParameterFile((scratch / "truth.ravelle").string(), documentOf(truth));
    ASSERT_EQ(scratch.run({"simulate", "-p", "truth.ravelle", "-o", "voigt.dat"}).status, 0);
    ParameterSet start = truth;
    start.model.gamma = "0.4";
    start.boxes["GCntr"] = std::to_string(std::stod(truth.boxes.at("GCntr")) + 0.3);
    parameters::writeParameterFile((scratch / "start.ravelle").string(), documentOf(start));

    const CliRun run =
        scratch.run({"fit", "-p", "start.ravelle", "--vary", "N1,Gamma,GCntr,Scl,Baseline offset", "voigt.dat"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 2u);
    const auto header = csvCells(lines[0]);
    const auto row = csvCells(lines[1]);
    ASSERT_EQ(row.size(), header.size());
    EXPECT_EQ(row[column(header, "outcome")], "ok");
    EXPECT_LT(column(header, "Gamma"), column(header, "GCntr")); // the dialog's order
    EXPECT_LT(column(header, "Scl"), column(header, "Baseline offset"));
    EXPECT_NEAR(std::stod(row[column(header, "Gamma")]), std::stod(truth.model.gamma), 0.01);
    EXPECT_NEAR(std::stod(row[column(header, "GCntr")]), std::stod(truth.boxes.at("GCntr")), 0.01);
    EXPECT_FALSE(row[column(header, "g")].empty()); // the set's frequency

    const CliRun unknown = scratch.run({"fit", "-p", "start.ravelle", "--vary", "Species 2/weight", "voigt.dat"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("'Species 2/weight' is not a parameter of this set"), std::string::npos) << unknown.err;
}

std::set<std::string> folderListing(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(entry.path().lexically_relative(folder).string() + " " +
                     (entry.is_regular_file() ? fileText(entry.path()) : std::string("/")));
    return names;
}

TEST(CliArguments, BadArgumentsAndUnreadableSetsChangeNothingAndExitWith2)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* said; // on standard error
    };
    const std::string cutShort = dataFile("cli/cut_short.ravelle");
    const std::string notANumber = dataFile("cli/sigma_not_a_number.ravelle");
    const Case cases[] = {
        {{}, "subcommand"},
        {{"smooth", "a.dat"}, "'smooth' is not a command"},
        {{"simulate"}, "--parameters"},
        {{"simulate", "-p", "none.ravelle"}, "none.ravelle: No such file."},
        {{"simulate", "-p", "sub"}, "sub: This is a folder"},
        {{"simulate", "-p", cutShort, "-o", "a.cal"}, "cut short"},
        {{"simulate", "-p", "a.dat"}, "is not a Ravelle2 parameter set"},
        {{"simulate", "-p", kNitrobenzene, "--points", "many"}, "many"},
        {{"simulate", "-p", "a.dat", "-o", "./a.dat"}, "would replace the input file"},
        {{"fit", "-p", kNitrobenzene}, "files"},
        {{"fit", "a.dat"}, "--parameters"},
        {{"fit", "-p", kNitrobenzene, "--vary", "N2", "a.dat"}, "'N2' is not a parameter of this set"},
        {{"fit", "-p", kNitrobenzene, "--vary", ",", "a.dat"}, "--vary names no parameter"},
        {{"fit", "-p", notANumber, "a.dat"}, "sigma_not_a_number.ravelle: '0,15x'"},
        {{"fit", "-p", kNitrobenzene, "--jobs", "0", "a.dat"}, "--jobs"},
        {{"fit", "-p", kNitrobenzene, "a.dat", "-o", "a.dat"}, "would replace the input file"},
        {{"fit", "-p", kNitrobenzene, "a.dat", "-o", kNitrobenzene}, "would replace the input file"},
        {{"fit", "-p", kNitrobenzene, "a.dat", "--save-fitted", "none"}, "'none' is not a folder"},
        {{"fit", "-p", kNitrobenzene, "a.dat", "sub/a.dat", "--save-fitted", "."}, "would both be written"},
        {{"convert"}, "files"},
        {{"convert", "a.dat", "sub/a.dat"}, "give -o DIR"},
        {{"convert", "a.dat", "-o", "."}, "would replace the input file"},
        {{"convert", "a.dat", "sub/a.dat", "-o", "out"}, "would both be written"},
    };
    ScratchFolder scratch;
    writeNoisyCopy(scratch / "a.dat", 1, 25.0);
    fs::create_directory(scratch / "sub");
    fs::create_directory(scratch / "out");
    writeNoisyCopy(scratch / "sub" / "a.dat", 2, 25.0);
    const auto before = folderListing(scratch.path());
    for (const Case& row : cases) {
        std::string line;
        for (const std::string& argument : row.arguments)
            line += argument + " ";
        SCOPED_TRACE(line);
        const CliRun run = scratch.run(row.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(folderListing(scratch.path()), before);
    }
}

TEST(CliArguments, AFileThatFailsGetsItsMessageAndTheOthersAreDone)
{
    ScratchFolder scratch;
    writeNoisyCopy(scratch / "good.dat", 1, 25.0);
    writeText(scratch / "kept.cal", "an earlier table\r\n");
    fs::create_directory(scratch / "out");

    const CliRun converted = scratch.run({"convert", "missing.dat", dataFile("formats/nan_in_table.txt"), "good.dat",
                                          "-o", "out"});
    EXPECT_EQ(converted.status, 1);
    EXPECT_NE(converted.err.find("missing.dat: No such file."), std::string::npos) << converted.err;
    EXPECT_NE(converted.err.find("nan_in_table.txt: Line 4"), std::string::npos) << converted.err;
    EXPECT_EQ(storedPoints((scratch / "out" / "good.dat").string()), storedPoints((scratch / "good.dat").string()));
    EXPECT_FALSE(fs::exists(scratch / "out" / "missing.dat"));
    EXPECT_FALSE(fs::exists(scratch / "out" / "nan_in_table.dat"));

    // A results file that cannot be written: the rows come on standard output.
    fs::create_directory(scratch / "taken.csv");
    const CliRun fitted = scratch.run({"fit", "-p", kNitrobenzene, "--vary", "N1", "good.dat", "-o", "taken.csv"});
    EXPECT_EQ(fitted.status, 1);
    EXPECT_NE(fitted.err.find("standard output instead"), std::string::npos) << fitted.err;
    ASSERT_EQ(splitLines(fitted.out).size(), 2u) << fitted.out;
    EXPECT_TRUE(splitLines(fitted.out)[1].starts_with("good.dat,ok,"));

    // A fitted set that cannot be saved makes its file fail.
    fs::create_directories(scratch / "fitted" / "good.ravelle");
    const CliRun unsaved = scratch.run({"fit", "-p", kNitrobenzene, "--vary", "N1", "good.dat", "--save-fitted",
                                        "fitted"});
    EXPECT_EQ(unsaved.status, 1);
    ASSERT_EQ(splitLines(unsaved.out).size(), 2u) << unsaved.out;
    EXPECT_TRUE(csvCells(splitLines(unsaved.out)[1])[1].starts_with("fitted, but not saved: ")) << unsaved.out;

    // Calculate's complaint about a box, and the earlier file stays whole.
    const CliRun simulated = scratch.run({"simulate", "-p", dataFile("cli/sigma_not_a_number.ravelle"), "-o", "kept.cal"});
    EXPECT_EQ(simulated.status, 1);
    EXPECT_NE(simulated.err.find("sigma_not_a_number.ravelle: '0,15x'"), std::string::npos) << simulated.err;
    EXPECT_EQ(fileText(scratch / "kept.cal"), "an earlier table\r\n");
}

TEST(CliArguments, HelpForTheProgramAndEachCommandShowsAnExample)
{
    const std::vector<std::vector<std::string>> cases{
        {"--help"}, {"simulate", "--help"}, {"fit", "--help"}, {"convert", "-h"}};
    ScratchFolder scratch;
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.front());
        const CliRun run = scratch.run(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Example:\n  ravelle2-cli "), std::string::npos) << run.out;
    }
}

} // namespace
} // namespace ravelle::testing
