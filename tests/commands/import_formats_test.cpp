// The import of spectrometer files through the command: what it makes of
// each format, the column dialog and its memory, the frequency, the
// notices, and that the plain two-column text is read exactly as before.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/ColumnMemory.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "io/formats/SpectrumFile.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/CommandTest.h"
#include "tests/support/FakeHost.h"

namespace ravelle {
namespace {

using testing::FakeHost;
using testing::fileExists;
using testing::importData;
using testing::readBytes;

std::string formatsData(std::string_view name)
{
    return std::string(RAVELLE_TEST_DATA) + "/formats/" + std::string(name);
}

std::vector<double> points(const std::vector<double>& entries, std::int32_t count)
{
    return {entries.begin() + 1, entries.begin() + 1 + count};
}

// What an import may change besides the remembered folder.
struct Snapshot {
    std::string obsFileName;
    std::int32_t obsCount;
    std::vector<double> obsField, obsIntensity;
    double centerField, frame[4];
    std::map<std::string, std::string, std::less<>> boxes;
    ModelTexts model;
    QImage raster;

    explicit Snapshot(const FakeHost& host)
        : obsFileName(host.state.ObsFileName), obsCount(host.state.ObsCount), obsField(host.state.ObsField),
          obsIntensity(host.state.ObsIntensity), centerField(host.state.CenterField),
          frame{host.state.FrameFieldLow, host.state.FrameFieldHigh, host.state.FrameIntLow, host.state.FrameIntHigh},
          boxes(host.boxes), model(host.model), raster(host.raster.copy())
    {
    }
    bool operator==(const Snapshot&) const = default;
};

class ImportFormatsTest : public testing::CommandTest {};

TEST_F(ImportFormatsTest, EachFormatGoesThroughTheNormalisationAndFillsTheBoxes)
{
    const std::string twoSlices =
        "'two_dimensional_complex.DSC' describes a two-dimensional dataset (3 slices of 4 points); only the first "
        "slice was imported.\n\n'two_dimensional_complex.DSC' describes complex data; only the real part was imported.";
    const std::string unitFromFrequency =
        "The header of 'frequency_in_header.txt' gives no unit for the field column 'Field'; at the 9.4 GHz of the "
        "header its values (334 to 337) put g near 2 in mT, so they were read as mT.";
    const struct {
        const char* file;
        char separator;
        std::vector<double> fields;
        std::vector<double> intensities; // normalised
        std::map<std::string, std::string> boxes;
        std::string frequency; // the Model window's field afterwards; it starts as "8.9"
        std::vector<std::string> notices;
    } cases[] = {
        {"extension_case_differs.DSC", '.', {3400, 3410, 3420, 3430}, {0.2, -1, 0, 1},
         {{"GCntr", "3415.00"}, {"G", "30.00"}, {"Edit1", "3400.00"}, {"Edit2", "3430.00"}, {"Edit3", "-1.10"}},
         "9.5", {}},
        {"extension_case_differs.dta", ',', {3400, 3410, 3420, 3430}, {0.2, -1, 0, 1},
         {{"GCntr", "3415,00"}, {"G", "30,00"}, {"Edit4", "1,10"}}, "9,5", {}},
        {"par_keys_end_with_cr.spc", '.', {3400, 3405, 3410, 3415, 3420, 3425, 3430, 3435},
         {55.0 / 145, 65.0 / 145, 95.0 / 145, 1, 95.0 / 145, -1, 25.0 / 145, 55.0 / 145},
         {{"GCntr", "3417.50"}, {"G", "35.00"}, {"NoPnts", "500"}}, "9.5", {}},
        {"par_with_centre_and_width_in_mt.par", '.', {3380, 3390, 3400, 3410, 3420}, {0, 1, 0, -1, 0},
         {{"GCntr", "3400.00"}, {"G", "40.00"}}, "8.9", {}},
        {"frequency_in_header.txt", '.', {3340, 3350, 3360, 3370}, {0, 1, -1, 0},
         {{"GCntr", "3355.00"}, {"Edit2", "3370.00"}}, "9.4", {unitFromFrequency}},
        {"two_dimensional_complex.DTA", '.', {3400, 3410, 3420, 3430}, {-1, -1.0 / 3, 1.0 / 3, 1},
         {{"GCntr", "3415.00"}}, "9.5", {twoSlices}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        ProgramState fresh;
        Initialise(fresh, start.path());
        FakeHost local(fresh, row.separator);
        local.model.frequency = "8.9";
        local.openAnswers.push_back(formatsData(row.file));
        importCommand(fresh, local);
        ASSERT_EQ(local.errors, std::vector<std::string>{});
        EXPECT_EQ(fresh.ObsFileName, formatsData(row.file));
        ASSERT_EQ(fresh.ObsCount, static_cast<std::int32_t>(row.fields.size()));
        EXPECT_EQ(points(fresh.ObsField, fresh.ObsCount), row.fields);
        const std::vector<double> intensities = points(fresh.ObsIntensity, fresh.ObsCount);
        for (std::size_t i = 0; i < row.intensities.size(); ++i)
            EXPECT_NEAR(intensities[i], row.intensities[i], 1e-15) << "point " << i;
        for (const auto& [box, text] : row.boxes)
            EXPECT_EQ(local.boxText(box), text) << box;
        EXPECT_EQ(local.model.frequency, row.frequency);
        EXPECT_EQ(local.notices, row.notices);
        EXPECT_EQ(local.redrawCount, 1);
        // The notices come after the new picture.
        if (!row.notices.empty()) {
            EXPECT_EQ(local.log.back(), "notice: " + row.notices.back());
        }
    }
}

TEST_F(ImportFormatsTest, ThePlainTwoColumnTextGivesWhatItsOwnImportGives)
{
    // Every quirk file of the plain import, the header word among them,
    // under both decimal separators: the same spectrum, or the same message.
    for (const auto& entry : std::filesystem::directory_iterator(importData("")))
        for (const char separator : {'.', ','}) {
            const std::string file = entry.path().string();
            SCOPED_TRACE(file + " with '" + std::string(1, separator) + "'");
            std::string expectedError;
            ObservedSpectrum expected;
            try {
                expected = importObservedSpectrum(file, separator);
            } catch (const UserError& error) {
                expectedError = error.message();
            }
            ProgramState fresh;
            Initialise(fresh, start.path());
            FakeHost local(fresh, separator);
            local.openAnswers.push_back(file);
            importCommand(fresh, local);
            if (!expectedError.empty()) {
                EXPECT_EQ(local.errors, std::vector<std::string>{expectedError});
                EXPECT_FALSE(fresh.ObsLoaded);
            } else if (!local.errors.empty()) {
                // Read, but a field span beyond a double cannot be drawn.
                EXPECT_EQ(local.errors, std::vector<std::string>{std::string(messages::kOverflow)});
            } else {
                EXPECT_EQ(local.errors, std::vector<std::string>{});
                EXPECT_EQ(fresh.ObsField, expected.field);
                EXPECT_EQ(fresh.ObsIntensity, expected.intensity);
            }
            EXPECT_TRUE(local.notices.empty());
            EXPECT_TRUE(local.columnCalls.empty());
        }
    EXPECT_EQ(state.ObsFileName, "NONE");
}

TEST_F(ImportFormatsTest, BadFilesAreRefusedWithAMessageAndChangeNothing)
{
    importFile(formatsData("extension_case_differs.DSC"));
    ASSERT_TRUE(host.errors.empty());
    host.model.frequency = "9.1"; // typed since: a refused file leaves it
    const Snapshot before(host);

    const auto readerSays = [](const char* file) {
        try {
            formats::readSpectrumFile(formatsData(file));
        } catch (const UserError& error) {
            return error.message();
        }
        return std::string("(no error)");
    };
    const struct {
        const char* file;
        std::string message;
    } cases[] = {
        {"dsc_without_dta.DSC", readerSays("dsc_without_dta.DSC")},
        {"dta_without_dsc.DTA", readerSays("dta_without_dsc.DTA")},
        {"dta_shorter_than_descriptor.DTA", readerSays("dta_shorter_than_descriptor.DTA")},
        {"dta_longer_than_descriptor.DSC", readerSays("dta_longer_than_descriptor.DSC")},
        {"xpts_of_2_pow_31.DSC", readerSays("xpts_of_2_pow_31.DSC")},
        {"unknown_irfmt.DTA", readerSays("unknown_irfmt.DTA")},
        {"nan_in_dta.DSC", readerSays("nan_in_dta.DSC")},
        {"infinity_in_dta.DSC", readerSays("infinity_in_dta.DSC")},
        {"par_without_point_count.par", readerSays("par_without_point_count.par")},
        {"spc_size_fits_neither.spc", readerSays("spc_size_fits_neither.spc")},
        {"spc_without_par.spc", readerSays("spc_without_par.spc")},
        {"utf16_table.txt", readerSays("utf16_table.txt")},
        {"nan_in_table.txt", readerSays("nan_in_table.txt")},
        // No clear table: the plain import's conversion error at the first word.
        {"table_without_numeric_rows.txt", messages::notAReal("Sample:")},
        {"one_numeric_row.txt", messages::notAReal("Field")},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        ASSERT_NE(row.message, "(no error)");
        host.errors.clear();
        host.notices.clear();
        importFile(formatsData(row.file));
        EXPECT_EQ(host.errors, std::vector<std::string>{row.message});
        EXPECT_TRUE(host.notices.empty());
        EXPECT_TRUE(Snapshot(host) == before);
    }
    EXPECT_EQ(state.LastDir, directoryPart(formatsData("x")));
}

TEST_F(ImportFormatsTest, ACancelWhileATableIsReadChangesNothing)
{
    const Snapshot before(host);
    host.cancelAtReport = 0;
    importFile(formatsData("frequency_in_header.txt"));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(host.notices.empty());
    EXPECT_TRUE(Snapshot(host) == before);
    EXPECT_EQ(host.works.size(), 1u);
}

TEST_F(ImportFormatsTest, SeveralSpectrumColumnsAreOfferedAndTheChoiceIsRemembered)
{
    const std::string table = formatsData("several_intensity_columns.txt");
    const std::vector<std::string> labels{"B [mT]", "Sweep 1", "Sweep 2", "Average"};
    const auto signature = formats::readSpectrumFile(table)->table->headerSignature;

    // The first offer: the first spectrum column preselected.
    host.columnAnswers = {3};
    importFile(table);
    ASSERT_TRUE(host.errors.empty());
    ASSERT_EQ(host.columnCalls.size(), 1u);
    EXPECT_EQ(host.columnCalls[0].fileName, "several_intensity_columns.txt");
    EXPECT_EQ(host.columnCalls[0].labels, labels);
    EXPECT_EQ(host.columnCalls[0].fieldColumn, 0u);
    EXPECT_EQ(host.columnCalls[0].candidates, (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(host.columnCalls[0].preselected, 1u);
    EXPECT_EQ(points(state.ObsIntensity, 3), (std::vector<double>{1, -1, 0.25})); // Average: 2, -2, 0.5
    EXPECT_EQ(points(state.ObsField, 3), (std::vector<double>{3400, 3401, 3402}));
    EXPECT_EQ(readBytes(columnMemoryPath(state)), signature + " 3\r\n");

    // The next offer for a table of that header starts from that choice,
    // also in a later run; Return takes it.
    ProgramState later;
    Initialise(later, start.path());
    FakeHost laterHost(later);
    laterHost.openAnswers.push_back(table);
    importCommand(later, laterHost);
    ASSERT_EQ(laterHost.columnCalls.size(), 1u);
    EXPECT_EQ(laterHost.columnCalls[0].preselected, 3u);
    EXPECT_EQ(points(later.ObsIntensity, 3), (std::vector<double>{1, -1, 0.25}));

    // Another choice replaces it.
    host.columnAnswers = {2};
    importFile(table);
    EXPECT_EQ(host.columnCalls.back().preselected, 3u);
    EXPECT_EQ(points(state.ObsIntensity, 3), (std::vector<double>{1, -1, 1.0 / 3})); // Sweep 2: 3, -3, 1
    EXPECT_EQ(readBytes(columnMemoryPath(state)), signature + " 2\r\n");
}

TEST_F(ImportFormatsTest, CancellingTheColumnChoiceChangesNothingButTheRememberedFolder)
{
    importFile(importData("descending_fields.txt"));
    const Snapshot before(host);
    host.columnAnswers = {std::nullopt};
    importFile(formatsData("several_intensity_columns.txt"));
    EXPECT_EQ(host.columnCalls.size(), 1u);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(Snapshot(host) == before);
    EXPECT_FALSE(fileExists(columnMemoryPath(state)));
    EXPECT_EQ(state.LastDir, directoryPart(formatsData("x")));
}

TEST_F(ImportFormatsTest, AChoiceThatFailsIsNotRemembered)
{
    // The second spectrum column is flat.
    testing::writeBytes(start.file("flat.txt"), "Field [G]\tA\tB\n3400\t1\t5\n3401\t2\t5\n3402\t3\t5\n");
    host.columnAnswers = {2};
    importFile(start.file("flat.txt"));
    EXPECT_EQ(host.errors, std::vector<std::string>{std::string(messages::kInvalidOperation)});
    EXPECT_FALSE(state.ObsLoaded);
    EXPECT_FALSE(fileExists(columnMemoryPath(state)));
}

} // namespace
} // namespace ravelle
