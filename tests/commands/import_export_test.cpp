#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>

#include <map>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "io/FileAccess.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "io/SpectrumExport.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/CommandTest.h"
#include "tests/support/FakeHost.h"
#include "commands/Commands.h"

namespace ravelle {
namespace {

using testing::FakeHost;
using testing::ScratchDirectory;
using testing::currentDirectory;
using testing::entriesOf;
using testing::fileExists;
using testing::importData;
using testing::readBytes;
using testing::writeBytes;

const std::string kAlsoSaved = "notice: " + std::string(messages::kObservedAlsoSaved);
const std::string kNothingSimulated = "notice: " + std::string(messages::kNoSimulatedSpectrum);

// Everything an import may change, apart from the remembered directory.
struct ImportedView {
    std::string obsFileName;
    bool obsLoaded;
    std::int32_t obsCount;
    std::vector<double> obsField, obsIntensity;
    double obsEndLow, obsEndHigh, centerField;
    double frame[4], window[4];

    explicit ImportedView(const ProgramState& s)
        : obsFileName(s.ObsFileName), obsLoaded(s.ObsLoaded), obsCount(s.ObsCount), obsField(s.ObsField),
          obsIntensity(s.ObsIntensity), obsEndLow(s.ObsEndLow), obsEndHigh(s.ObsEndHigh),
          centerField(s.CenterField), frame{s.FrameFieldLow, s.FrameFieldHigh, s.FrameIntLow, s.FrameIntHigh},
          window{s.PlotFieldMin, s.PlotFieldMax, s.PlotIntMin, s.PlotIntMax}
    {
    }
    bool operator==(const ImportedView&) const = default;
};

class ImportExportTest : public testing::CommandTest {
protected:
    // A simulated spectrum as a Calculate leaves it.
    void simulate(std::vector<double> offsets, std::vector<double> intensities, double scale)
    {
        state.CalcValid = true;
        state.CalcSpectrumPoints = static_cast<std::int32_t>(offsets.size()) - 1;
        offsets.resize(offsets.size() + 10);
        intensities.resize(intensities.size() + 10);
        state.CalcField = offsets;
        state.CalcIntensity = intensities;
        state.CalcScale = scale;
    }
    std::string dirinf() const { return readBytes(start.file("dirinf")); }
};

TEST_F(ImportExportTest, ImportWritesTheBoxesAndDraws)
{
    host.setBoxText("NoPnts", "777"); // typed, never applied: the import shows the state's count
    const std::string file = importData("descending_fields.txt");
    importFile(file);

    EXPECT_TRUE(host.errors.empty());
    ASSERT_EQ(host.openCalls.size(), 1u);
    EXPECT_EQ(host.openCalls[0].initialDir, "");
    EXPECT_EQ(host.openCalls[0].fileName, "*.dat");
    const std::map<std::string, std::string> expected{
        {"Edit1", "3350.00"}, {"Edit2", "3450.00"}, {"Edit3", "-1.10"}, {"Edit4", "1.10"},
        {"GCntr", "3400.00"}, {"G", "100.00"},      {"NoPnts", "500"},
    };
    for (const auto& [box, text] : expected)
        EXPECT_EQ(host.boxText(box), text) << box;

    EXPECT_EQ(state.ObsFileName, file);
    EXPECT_TRUE(state.ObsLoaded);
    EXPECT_EQ(state.ObsCount, 3);
    EXPECT_EQ(state.ObsField.size(), 13u);
    EXPECT_EQ(state.ObsField[1], 3450.0);
    EXPECT_EQ(state.ObsIntensity[2], -1.0);
    EXPECT_EQ(state.CenterField, 3400.0);
    EXPECT_EQ(state.FrameFieldLow, 3350.0);
    EXPECT_EQ(state.FrameFieldHigh, 3450.0);
    EXPECT_EQ(host.redrawCount, 1);
    EXPECT_EQ(host.raster.pixel(10, 249), 0xFFFFFFFFu); // the frame's left edge

    // The remembered directory follows the chosen file.
    EXPECT_EQ(state.LastDir, directoryPart(file));
    EXPECT_EQ(dirinf(), directoryPart(file) + "\r\n");
    EXPECT_EQ(currentDirectory(), std::filesystem::canonical(directoryPart(file)).string());
}

TEST_F(ImportExportTest, ImportOfNonMonotonicFieldsSqueezesThemOntoTheEnds)
{
    importFile(importData("non_monotonic_fields.txt"));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(std::vector<double>(state.ObsField.begin() + 1, state.ObsField.begin() + 4),
              (std::vector<double>{1, 2, 1.5}));
    EXPECT_EQ(state.FrameFieldLow, 1.0);
    EXPECT_EQ(state.FrameFieldHigh, 2.0);
    EXPECT_EQ(host.boxText("GCntr"), "1.50");
    EXPECT_EQ(host.boxText("G"), "1.00");
}

TEST_F(ImportExportTest, ACommaHostReadsItsOwnFilesAndThoseWithPoints)
{
    FakeHost comma(state, ',');
    for (const char* file : {"comma_decimals.txt", "crlf_line_ends.txt"}) {
        comma.openAnswers.push_back(importData(file));
        importCommand(state, comma);
        EXPECT_TRUE(comma.errors.empty()) << file;
        EXPECT_EQ(comma.boxText("GCntr"), "3400,00") << file;
        EXPECT_EQ(comma.boxText("G"), "100,00") << file;
        EXPECT_EQ(comma.boxText("Edit3"), "-1,10") << file;
    }
    EXPECT_EQ(state.ObsFileName, importData("crlf_line_ends.txt"));
}

TEST_F(ImportExportTest, AFailedImportChangesNothingButTheRememberedDirectory)
{
    importFile(importData("descending_fields.txt"));
    ASSERT_TRUE(host.errors.empty());
    const ImportedView before(state);
    const auto boxes = host.boxes;
    const QImage picture = host.raster.copy();

    ScratchDirectory elsewhere;
    const std::string fifo = elsewhere.file("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto notAReal = [](const char* text) { return messages::notAReal(text); };
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {importData("extra_empty_line_at_end.txt"), notAReal("")},
        {importData("third_column.txt"), notAReal("-0.0371 7")},
        {importData("comma_decimals.txt"), notAReal("3350,00")},
        {importData("flat_intensities.txt"), std::string(messages::kInvalidOperation)},
        {importData("one_line.txt"), std::string(messages::kInvalidOperation)},
        {importData("equal_first_and_last_fields.txt"), std::string(messages::kDivisionByZero)},
        {importData("empty.txt"), std::string(messages::kEmptyObservedFile)},
        {importData("field_span_beyond_double.txt"), std::string(messages::kOverflow)},
        {elsewhere.path(), std::string(messages::kAccessDenied)},
        {fifo, messages::notARegularFile(fifo)},
        {elsewhere.file("missing.dat"), std::string(messages::kFileNotFound)},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        host.errors.clear();
        importFile(row.file);
        EXPECT_EQ(host.errors, std::vector<std::string>{row.message});
        EXPECT_TRUE(ImportedView(state) == before);
        EXPECT_EQ(host.boxes, boxes);
        EXPECT_EQ(host.raster, picture);
        EXPECT_EQ(host.redrawCount, 1);
    }
    // The dialog's choice is still remembered, as after any confirmed dialog.
    EXPECT_EQ(state.LastDir, elsewhere.path());
    EXPECT_EQ(dirinf(), elsewhere.path() + "\r\n");
}

TEST_F(ImportExportTest, AFailedFirstImportLeavesNoObservedSpectrum)
{
    importFile(importData("one_line.txt"));
    EXPECT_EQ(host.errors, std::vector<std::string>{std::string(messages::kInvalidOperation)});
    EXPECT_EQ(state.ObsFileName, "NONE");
    EXPECT_FALSE(state.ObsLoaded);
    EXPECT_EQ(host.boxText("GCntr"), "GCntr");
    EXPECT_EQ(host.redrawCount, 0);
}

TEST_F(ImportExportTest, CancellingTheImportChangesNothing)
{
    const std::string before = currentDirectory();
    importCommand(state, host);
    EXPECT_EQ(host.log, std::vector<std::string>{"open:  | *.dat"});
    EXPECT_FALSE(fileExists(start.file("dirinf")));
    EXPECT_EQ(currentDirectory(), before);
    EXPECT_EQ(state.ObsFileName, "NONE");
    EXPECT_EQ(host.boxText("Edit1"), "Edit1");
    EXPECT_EQ(host.redrawCount, 0);
}

TEST_F(ImportExportTest, TheNextDialogStartsInTheRememberedDirectory)
{
    const std::string file = importData("crlf_line_ends.txt");
    importFile(file);
    importCommand(state, host); // cancelled
    ASSERT_EQ(host.openCalls.size(), 2u);
    EXPECT_EQ(host.openCalls[1].initialDir, directoryPart(file));

    // A later run from the same start-up directory remembers; one from
    // another directory does not.
    ProgramState later;
    Initialise(later, start.path());
    FakeHost laterHost(later);
    importCommand(later, laterHost);
    EXPECT_EQ(laterHost.openCalls.at(0).initialDir, directoryPart(file));
    ScratchDirectory otherStart;
    ProgramState other;
    Initialise(other, otherStart.path());
    FakeHost otherHost(other);
    importCommand(other, otherHost);
    EXPECT_EQ(otherHost.openCalls.at(0).initialDir, "");
}

TEST_F(ImportExportTest, AnUnwritableDirinfDoesNotStopTheImport)
{
    if (testing::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root";
    ASSERT_EQ(::chmod(start.path().c_str(), 0555), 0);
    importFile(importData("crlf_line_ends.txt"));
    ::chmod(start.path().c_str(), 0755);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(host.boxText("GCntr"), "3400.00");
    EXPECT_FALSE(fileExists(start.file("dirinf")));
}

TEST_F(ImportExportTest, ExportWritesBothTablesInTheDialogsOrder)
{
    const std::string file = importData("descending_fields.txt");
    importFile(file);
    simulate({-1, 1}, {0.5, -0.5}, 2);
    ScratchDirectory out;
    host.saveAnswers = {out.file("run.cal"), out.file("run.obs")};
    host.log.clear();
    exportCommand(state, host);

    const std::string base = file.substr(0, file.size() - 4);
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            "save: " + directoryPart(file) + " | " + base + ".cal",
                            kAlsoSaved,
                            "save: " + out.path() + " | " + base + ".obs",
                        }));
    EXPECT_EQ(readBytes(out.file("run.cal")), "3399.00       1.00000\r\n3401.00      -1.00000\r\n");
    EXPECT_EQ(readBytes(out.file("run.obs")),
              "3450.00     1.00000\r\n3400.00    -1.00000\r\n3350.00     0.50000\r\n");
    EXPECT_EQ(dirinf(), out.path() + "\r\n");
    EXPECT_EQ(entriesOf(out.path()), (std::vector<std::string>{"run.cal", "run.obs"}));
}

// The suggested names stay in the imported file's folder, whatever its name.
TEST_F(ImportExportTest, SuggestedNamesStayBesideTheImportedFile)
{
    const struct {
        const char* imported;
        const char* stem;
    } rows[] = {
        {"run1.dat", "run1"}, {"x.d", "x"}, {"data", "data"}, {".dat", "dat"}, {"spectrum", "spectrum"},
    };
    ScratchDirectory folder;
    const std::string good = readBytes(importData("crlf_line_ends.txt"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.imported);
        const std::string file = folder.file(row.imported);
        writeBytes(file, good);
        importFile(file);
        ASSERT_TRUE(host.errors.empty());
        simulate({0}, {1}, 1);
        host.saveCalls.clear();
        exportCommand(state, host); // both dialogs cancelled
        ASSERT_EQ(host.saveCalls.size(), 2u);
        EXPECT_EQ(host.saveCalls[0].fileName, folder.file(row.stem) + ".cal");
        EXPECT_EQ(host.saveCalls[1].fileName, folder.file(row.stem) + ".obs");
    }
}

TEST_F(ImportExportTest, ExportWithoutAnImportOffersOnlyTheCalFile)
{
    simulate({0}, {1}, 1);
    ScratchDirectory out;
    host.saveAnswers = {out.file("x.cal")};
    exportCommand(state, host);
    EXPECT_EQ(host.log, std::vector<std::string>{"save:  | .cal"});
    EXPECT_EQ(readBytes(out.file("x.cal")), "   0.00       1.00000\r\n");
}

TEST_F(ImportExportTest, ExportBeforeAnyCalculateSaysSoAndStillOffersTheObsFile)
{
    exportCommand(state, host);
    EXPECT_EQ(host.log, std::vector<std::string>{kNothingSimulated});

    const std::string file = importData("crlf_line_ends.txt");
    importFile(file);
    host.log.clear();
    exportCommand(state, host);
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            kNothingSimulated,
                            kAlsoSaved,
                            "save: " + directoryPart(file) + " | " + file.substr(0, file.size() - 4) + ".obs",
                        }));
}

TEST_F(ImportExportTest, CancellingBothExportDialogsWritesNothing)
{
    importFile(importData("crlf_line_ends.txt"));
    simulate({0}, {1}, 1);
    const std::string dirinfBefore = dirinf();
    const std::string cwdBefore = currentDirectory();
    const auto entriesBefore = entriesOf(cwdBefore);
    host.log.clear();
    exportCommand(state, host);
    ASSERT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.log[1], kAlsoSaved);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(dirinf(), dirinfBefore);
    EXPECT_EQ(currentDirectory(), cwdBefore);
    EXPECT_EQ(entriesOf(cwdBefore), entriesBefore);
}

TEST_F(ImportExportTest, AFailedCalFileSkipsTheObsStep)
{
    importFile(importData("crlf_line_ends.txt"));
    simulate({0}, {1}, 1);
    ScratchDirectory out;
    const std::string directory = out.subdirectory("taken.cal");
    host.saveAnswers = {directory, out.file("run.obs")};
    host.log.clear();
    exportCommand(state, host);
    EXPECT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.errors, std::vector<std::string>{std::string(messages::kAccessDenied)});
    EXPECT_EQ(dirinf(), out.path() + "\r\n");
    EXPECT_EQ(entriesOf(out.path()), std::vector<std::string>{"taken.cal"});
}

// The first and last field of a .cal table and its largest intensity.
struct CalSummary {
    double firstField;
    double lastField;
    double largestIntensity;
};

CalSummary summariseCal(const std::string& table)
{
    CalSummary summary{0, 0, 0};
    std::size_t start = 0;
    bool first = true;
    while (start < table.size()) {
        const std::size_t end = table.find("\r\n", start);
        const std::string line = table.substr(start, end - start);
        const double field = std::stod(line.substr(0, 7));
        const double intensity = std::stod(line.substr(13));
        if (first)
            summary.firstField = field;
        first = false;
        summary.lastField = field;
        summary.largestIntensity = std::max(summary.largestIntensity, intensity);
        start = end + 2;
    }
    return summary;
}

// A saved .cal is the red trace as drawn: after a Calculate that fails
// having read a new centre and scale, and after an import, which draws the
// last trace around its new centre with the scale it was calculated with.
TEST_F(ImportExportTest, SaveWritesTheTraceAsThePlotShowsIt)
{
    struct Step {
        const char* name;
        std::map<std::string, std::string> boxes; // typed, then Calculate
        const char* importedFile;                 // or imported
        bool pictureKept;                         // the red trace did not move
        CalSummary saved;
    };
    const Step steps[] = {
        {"calculated", {{"H1", "1.5"}}, nullptr, false, {-15.0, 15.0, 1.0}},
        {"failed after reading centre and scale", {{"GCntr", "100"}, {"Scl", "5"}, {"H1", "abc"}}, nullptr, true,
         {-15.0, 15.0, 1.0}},
        {"imported", {}, "descending_fields.txt", false, {3385.0, 3415.0, 1.0}},
        {"calculated again", {{"H1", "1.5"}, {"GCntr", "100"}, {"G", "30"}}, nullptr, false, {85.0, 115.0, 5.0}},
    };
    ScratchDirectory out;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const QImage before = host.raster.copy();
        host.setBoxes(step.boxes);
        if (step.importedFile)
            importFile(importData(step.importedFile));
        else
            calculateCommand(state, host);
        if (step.pictureKept) {
            EXPECT_EQ(host.raster, before);
        }
        // A redraw from the state shows the same picture.
        const QImage drawn = host.raster.copy();
        host.redrawPlot();
        EXPECT_EQ(host.raster, drawn);

        host.saveAnswers = {out.file("trace.cal")};
        exportCommand(state, host);
        const CalSummary saved = summariseCal(readBytes(out.file("trace.cal")));
        EXPECT_EQ(saved.firstField, step.saved.firstField);
        EXPECT_EQ(saved.lastField, step.saved.lastField);
        EXPECT_NEAR(saved.largestIntensity, step.saved.largestIntensity, 0.05);
    }
}

} // namespace
} // namespace ravelle
