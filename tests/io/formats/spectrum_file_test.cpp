#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/FileAccess.h"
#include "io/formats/Recognition.h"
#include "io/formats/SpectrumFile.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/io/formats/FormatsTesting.h"

namespace ravelle::formats {
namespace {

using ravelle::testing::ScratchDirectory;
using ravelle::testing::writeBytes;
using testing::errorOf;
using testing::fileBytes;
using testing::quirkFile;

TEST(SpectrumFile, ReadsEachFormatWhicheverFileIsChosen)
{
    const std::vector<double> fourFields = {3400, 3410, 3420, 3430};
    const std::vector<double> espFields = {3400, 3405, 3410, 3415, 3420, 3425, 3430, 3435};
    const std::vector<double> espValues = {0, 10, 40, 90, 40, -200, -30, 0};
    const struct {
        const char* file;
        const char* description;
        std::vector<double> fields;
        std::vector<double> intensities;
        std::optional<double> frequencyGHz;
        std::size_t notices;
    } cases[] = {
        {"extension_case_differs.DSC", "Bruker BES3T", fourFields, {1, -2, 0.5, 3}, 9.5, 0},
        {"extension_case_differs.dta", "Bruker BES3T", fourFields, {1, -2, 0.5, 3}, 9.5, 0},
        {"descriptor_with_history.DTA", "Bruker BES3T", fourFields, {1, -2, 5, 3}, std::nullopt, 0},
        {"igd_axis_in_mt.DSC", "Bruker BES3T", {3400, 3405, 3415, 3430}, {1, -2, 0.5, 3}, 9.5, 0},
        {"igd_axis_in_mt.XGF", "Bruker BES3T", {3400, 3405, 3415, 3430}, {1, -2, 0.5, 3}, 9.5, 0},
        {"two_dimensional_complex.DTA", "Bruker BES3T", fourFields, {100, 101, 102, 103}, 9.5, 2},
        {"par_keys_end_with_cr.par", "Bruker ESP", espFields, espValues, 9.5, 0},
        {"par_keys_end_with_cr.spc", "Bruker ESP", espFields, espValues, 9.5, 0},
        {"par_keys_end_with_lf.spc", "Bruker ESP", espFields, espValues, 9.5, 0},
        {"par_keys_end_with_crlf.par", "Bruker ESP", espFields, espValues, 9.5, 0},
        {"par_with_centre_and_width_in_mt.spc", "Bruker WinEPR", {3380, 3390, 3400, 3410, 3420}, {0, 1, 0, -1, 0}, std::nullopt, 0},
        {"semicolon_decimal_comma.csv", "text table", {3400, 3400.5, 3401}, {-1.5, 2.25, 0.5}, std::nullopt, 0},
        {"comma_separated.csv", "text table", {3400, 3400.5, 3401, 3401.5}, {1, -1, 0.25, 0}, std::nullopt, 0},
        {"index_column.txt", "text table", {3400, 3400.5, 3401}, {0.5, -0.25, 1e-3}, std::nullopt, 0},
        {"several_intensity_columns.txt", "text table", {3400, 3401, 3402}, {1, -1, 0}, std::nullopt, 0},
        {"frequency_in_header.txt", "text table", {3340, 3350, 3360, 3370}, {0, 1, -1, 0}, 9.4, 1},
        {"field_without_unit.txt", "text table", {3340, 3350, 3360}, {0, 1, -1}, std::nullopt, 1},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        const std::optional<RawSpectrum> read = readSpectrumFile(quirkFile(row.file));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->description, row.description);
        EXPECT_EQ(read->field, row.fields);
        EXPECT_EQ(read->intensity, row.intensities);
        EXPECT_EQ(read->frequencyGHz, row.frequencyGHz);
        EXPECT_EQ(read->notices.size(), row.notices);
    }
    const auto winEpr = readSpectrumFile(quirkFile("winepr_floats_without_dos_mark.spc"));
    ASSERT_TRUE(winEpr.has_value());
    EXPECT_EQ(winEpr->notices, std::vector<std::string>{
        "'winepr_floats_without_dos_mark.par' is not marked as WinEPR's, but 'winepr_floats_without_dos_mark.spc' holds WinEPR floats; it was read as such."});
}

TEST(SpectrumFile, RefusesBadFilesWithAMessageThatNamesThem)
{
    const struct {
        const char* file;
        std::string message;
    } cases[] = {
        {"dsc_without_dta.DSC", "'dsc_without_dta.DSC' has no data file 'dsc_without_dta.DTA' beside it; a Bruker BES3T dataset needs both."},
        {"dta_without_dsc.DTA", "'dta_without_dsc.DTA' has no descriptor 'dta_without_dsc.DSC' beside it; a Bruker BES3T dataset needs both."},
        {"dta_shorter_than_descriptor.DSC", "'dta_shorter_than_descriptor.DTA' is shorter than its descriptor 'dta_shorter_than_descriptor.DSC' says: it holds 24 bytes, where 4 values of 8 bytes need 32."},
        {"dta_longer_than_descriptor.DTA", "'dta_longer_than_descriptor.DTA' is longer than its descriptor 'dta_longer_than_descriptor.DSC' says: it holds 40 bytes, where 4 values of 8 bytes need 32."},
        {"xpts_of_2_pow_31.DTA", "'xpts_of_2_pow_31.DSC' gives 2147483648 as its number of points (XPTS); at most 10000000 can be imported."},
        {"unknown_irfmt.DSC", "'unknown_irfmt.DSC' gives the data format IRFMT 'A'; only C, S, I, F and D (integers of 8, 16 and 32 bits, floats of 32 and 64 bits) can be read."},
        {"nan_in_dta.DSC", "'nan_in_dta.DTA' holds a value that is not a finite number (NaN or infinity) at point 3."},
        {"infinity_in_dta.DTA", "'infinity_in_dta.DTA' holds a value that is not a finite number (NaN or infinity) at point 2."},
        {"par_without_point_count.spc", "'par_without_point_count.par' gives no number of points (ANZ, RES or SSX)."},
        {"spc_size_fits_neither.par", "'spc_size_fits_neither.spc' holds 30 bytes, which fits neither ESP integers nor WinEPR floats for the 8 points that 'spc_size_fits_neither.par' gives (RES): 4-byte values need 32 bytes."},
        {"spc_without_par.spc", "'spc_without_par.spc' has no parameter file 'spc_without_par.par' beside it; a Bruker ESP or WinEPR spectrum needs both."},
        {"par_without_spc.par", "'par_without_spc.par' has no spectrum file 'par_without_spc.spc' beside it; a Bruker ESP or WinEPR spectrum needs both."},
        {"spc_values_without_order.spc", "'spc_values_without_order.spc' holds neither ESP integers (big-endian) nor WinEPR floats (little-endian) that make a spectrum: its values have no order either way."},
        {"utf16_table.txt", "'utf16_table.txt' is UTF-16 text, which cannot be read; save it as plain text (ASCII or UTF-8) first."},
        {"utf16_without_mark.txt", "'utf16_without_mark.txt' is UTF-16 text, which cannot be read; save it as plain text (ASCII or UTF-8) first."},
        {"blank_line_inside_rows.txt", "'blank_line_inside_rows.txt' has a blank line (line 5) between rows of numbers; only one table can be read from a file."},
        {"nan_in_table.txt", "Line 4 of 'nan_in_table.txt' holds 'NaN', which is not a finite number."},
        {"text_in_row.txt", "Line 5 of 'text_in_row.txt' holds 'n/a' where a number belongs (column 2, 'Intensity')."},
        {"cell_missing_in_row.txt", "Line 5 of 'cell_missing_in_row.txt' has no cell in column 2 ('A')."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        EXPECT_EQ(errorOf([&] { readSpectrumFile(quirkFile(row.file)); }), row.message);
    }
}

TEST(SpectrumFile, LeavesThePlainTwoColumnTextToItsOwnImport)
{
    // Every quirk file of the plain import, the header word among them (one
    // row of numbers under a header is no clear table), tables with fewer
    // than two rows, and the example spectrum.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(testing::plainImportFile("")))
        files.push_back(entry.path().string());
    files.push_back(quirkFile("table_without_numeric_rows.txt"));
    files.push_back(quirkFile("one_numeric_row.txt"));
    files.push_back(std::string(RAVELLE_FORMATS_DATA) + "/../../../data/example.dat");
    ASSERT_GE(files.size(), 20u);
    for (const std::string& file : files)
        EXPECT_FALSE(readSpectrumFile(file).has_value()) << file;
}

TEST(SpectrumFile, HandsTheSpectrumOnInTheLayoutOfThePlainImport)
{
    RawSpectrum raw;
    raw.field = {3450, 3400, 3350};
    raw.intensity = {2, 2, 4};
    ObservedSpectrum observed = asObservedSpectrum(raw);
    EXPECT_EQ(observed.count, 3);
    EXPECT_EQ(observed.field, (std::vector<double>{0, 3450, 3400, 3350, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(observed.intensity, (std::vector<double>{0, 2, 2, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    normaliseObservedSpectrum(observed);
    EXPECT_EQ(observed.centerField, 3400);
    EXPECT_EQ(std::vector<double>(observed.intensity.begin() + 1, observed.intensity.begin() + 4),
              (std::vector<double>{-1, -1, 1}));
}

TEST(SpectrumFile, RecognisesContent)
{
    const std::string rows = "3400 1\r\n3401 2\r\n3402 3\r\n";
    const struct {
        std::string start;
        bool complete;
        Content content;
    } cases[] = {
        {"", true, Content::other},
        {rows, true, Content::other},
        {"3400,5 1,25\n3401,5 -2\n", true, Content::other},   // the plain import's comma decimals
        {"1e 2\n. 3\n", true, Content::other},                 // numbers only the plain import reads
        {"Field [G]\tIntensity\r\n" + rows, true, Content::labelledTable},
        {"#DESC\t1.2 * DESCRIPTOR INFORMATION", false, Content::bes3tDescriptor},
        {"DOS  Format\rANZ 4096\rMF 9.7\rGST 3449\r", true, Content::espParameters},
        {std::string("\xFF\xFE" "F\0i\0", 6), false, Content::utf16Text},
        {std::string("\x01\x00\x00\x00\x02\x00\x00\x00", 8), true, Content::binary},
        {"Just some notes\nabout nothing\n", true, Content::other},
        {rows + "3403", false, Content::other},                 // the cut-off end of a plain file
    };
    for (const auto& row : cases)
        EXPECT_EQ(recogniseContent(row.start, row.complete), row.content) << row.start;
}

class SpectrumFileOnDisk : public ::testing::Test {
protected:
    void copy(const char* quirk, const std::string& as) { writeBytes(scratch.file(as), fileBytes(quirkFile(quirk))); }

    ScratchDirectory scratch;
};

TEST_F(SpectrumFileOnDisk, PrefersThePartnerInTheCaseOfTheChosenExtension)
{
    const std::string descriptor = fileBytes(quirkFile("extension_case_differs.DSC"));
    const std::string data = fileBytes(quirkFile("extension_case_differs.dta"));
    std::string other = data;
    other[7] = 1; // the first value, big-endian 1.0, becomes 1 + 2^-52
    writeBytes(scratch.file("a.DSC"), descriptor);
    writeBytes(scratch.file("a.dsc"), descriptor);
    writeBytes(scratch.file("a.DTA"), data);
    writeBytes(scratch.file("a.dta"), other);
    writeBytes(scratch.file("b.dsc"), descriptor);
    writeBytes(scratch.file("b.Dta"), data);
    EXPECT_EQ(readSpectrumFile(scratch.file("a.DSC"))->intensity.front(), 1.0);
    EXPECT_NE(readSpectrumFile(scratch.file("a.dsc"))->intensity.front(), 1.0);
    EXPECT_EQ(readSpectrumFile(scratch.file("b.dsc"))->intensity.front(), 1.0);
    EXPECT_EQ(readSpectrumFile(scratch.file("b.Dta"))->intensity.front(), 1.0);
}

TEST_F(SpectrumFileOnDisk, RefusesAStoredAxisThatIsMissingOrDoesNotFit)
{
    copy("igd_axis_in_mt.DSC", "none.DSC");
    copy("igd_axis_in_mt.DTA", "none.DTA");
    copy("igd_axis_in_mt.DSC", "short.DSC");
    copy("igd_axis_in_mt.DTA", "short.DTA");
    writeBytes(scratch.file("short.xgf"), fileBytes(quirkFile("igd_axis_in_mt.XGF")).substr(8));
    EXPECT_EQ(errorOf([&] { readSpectrumFile(scratch.file("none.DTA")); }),
              "'none.DSC' takes its field axis from an .XGF file (XTYP IGD), but there is none beside it.");
    EXPECT_EQ(errorOf([&] { readSpectrumFile(scratch.file("short.DSC")); }),
              "'short.xgf' is shorter than its descriptor 'short.DSC' says: it holds 24 bytes, where 4 values of 8 bytes need 32.");
}

TEST_F(SpectrumFileOnDisk, RefusesWhatIsNoPlainFileBeforeReadingIt)
{
    copy("dsc_without_dta.DSC", "folder.DSC");
    std::filesystem::create_directory(scratch.file("folder.DTA"));
    copy("dsc_without_dta.DSC", "pipe.DSC");
    ASSERT_EQ(::mkfifo(scratch.file("pipe.DTA").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(scratch.file("chosen.txt").c_str(), 0600), 0);
    // What the plain import says about the chosen file, it says too.
    const auto plainImportSays = [](const std::string& name) {
        return errorOf([&] { openRegularFileForReading(name); });
    };
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {scratch.file("folder.DSC"), "'folder.DTA' cannot be read: " + plainImportSays(scratch.file("folder.DTA"))},
        {scratch.file("pipe.DSC"), "'pipe.DTA' cannot be read: " + plainImportSays(scratch.file("pipe.DTA"))},
        {scratch.file("chosen.txt"), plainImportSays(scratch.file("chosen.txt"))},
        {scratch.path(), plainImportSays(scratch.path())},
        {scratch.file("missing.DSC"), plainImportSays(scratch.file("missing.DSC"))},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        EXPECT_NE(row.message, "(no error)");
        EXPECT_EQ(errorOf([&] { readSpectrumFile(row.file); }), row.message);
    }
}

TEST_F(SpectrumFileOnDisk, RefusesHugeFilesBeforeReadingThem)
{
    // Sparse files: their size costs no disk.
    copy("dsc_without_dta.DSC", "huge.DSC");
    const auto sparse = [&](const std::string& name, std::string_view start, off_t size) {
        writeBytes(scratch.file(name), start);
        ASSERT_EQ(::truncate(scratch.file(name).c_str(), size), 0);
    };
    sparse("huge.DTA", "", off_t{3} << 30);
    std::string table = "Field [G]\tIntensity\n";
    while (table.size() < 70000)
        table += "3400.000\t1.000\n";
    sparse("huge.txt", table, (off_t{1} << 30) + 1);
    EXPECT_EQ(errorOf([&] { readSpectrumFile(scratch.file("huge.DSC")); }),
              "'huge.DTA' is longer than its descriptor 'huge.DSC' says: it holds 3221225472 bytes, where 4 values of 8 bytes need 32.");
    EXPECT_EQ(errorOf([&] { readSpectrumFile(scratch.file("huge.txt")); }),
              "'huge.txt' holds 1073741825 bytes, more than the 1073741824 a spectrum file may have.");
}

} // namespace
} // namespace ravelle::formats
