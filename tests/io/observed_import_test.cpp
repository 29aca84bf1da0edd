#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/FileAccess.h"
#include "io/ObservedImport.h"
#include "tests/io/ScratchDirectory.h"

namespace ravelle {
namespace {

using testing::ScratchDirectory;
using testing::importData;

std::string errorOf(const std::string& fileName, char separator)
{
    try {
        readObservedFile(fileName, separator);
    } catch (const UserError& error) {
        return error.message();
    }
    return "(no error)";
}

std::vector<double> points(const std::vector<double>& entries, std::int32_t count)
{
    return std::vector<double>(entries.begin() + 1, entries.begin() + 1 + count);
}

TEST(ReadObservedFile, ReadsEveryLineAsTheFileHoldsIt)
{
    const std::vector<double> fields{3350, 3400, 3450};
    const std::vector<double> intensities{0, 10, 5};
    const struct {
        const char* file;
        char separator;
        std::vector<double> fields;
        std::vector<double> intensities;
    } cases[] = {
        {"crlf_line_ends.txt", '.', fields, intensities},
        {"lf_line_ends.txt", '.', fields, intensities},
        {"lone_cr_inside_line.txt", '.', fields, intensities},
        {"last_line_without_line_break.txt", '.', fields, intensities},
        {"utf8_byte_order_mark.txt", '.', fields, intensities},
        {"ctrl_z_at_line_start.txt", '.', fields, intensities},
        {"ctrl_z_inside_line.txt", '.', fields, intensities},
        {"leading_and_trailing_blanks.txt", '.', {3385.2, 3395.2}, {-0.0371, 0.0629}},
        {"exponents_and_plus_signs.txt", '.', {3385.2, 3395.2, 3395.2}, {-0.0371, 0.0629, 1}},
        {"descending_fields.txt", '.', {3450, 3400, 3350}, {1.5, -2.5, 0.5}},
        {"one_line.txt", '.', {3385.2}, {-0.0371}},
        // The system's separator first, then the "." of the program's own files.
        {"comma_decimals.txt", ',', {3350, 3450}, {-0.5, 0.5}},
        {"crlf_line_ends.txt", ',', fields, intensities},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.file) + " with '" + row.separator + "'");
        const ObservedSpectrum read = readObservedFile(importData(row.file), row.separator);
        ASSERT_EQ(read.count, static_cast<std::int32_t>(row.fields.size()));
        EXPECT_EQ(read.field.size(), row.fields.size() + 10);
        EXPECT_EQ(read.intensity.size(), row.fields.size() + 10);
        EXPECT_EQ(read.field[0], 0.0);
        EXPECT_EQ(points(read.field, read.count), row.fields);
        EXPECT_EQ(points(read.intensity, read.count), row.intensities);
    }
}

TEST(ReadObservedFile, RefusesWithTheMessageOfTheFirstBadText)
{
    const auto notAReal = [](const char* text) { return messages::notAReal(text); };
    const std::string empty(messages::kEmptyObservedFile);
    const struct {
        const char* file;
        char separator;
        std::string message;
    } cases[] = {
        {"extra_empty_line_at_end.txt", '.', notAReal("")},
        {"tab_between_numbers.txt", '.', notAReal("")},
        {"third_column.txt", '.', notAReal("-0.0371 7")},
        {"header_word.txt", '.', notAReal("Field")},
        {"field_only.txt", '.', notAReal("")},
        {"field_and_one_blank.txt", '.', notAReal("")},
        {"lone_cr_line_ends.txt", '.', notAReal("02 13 0")},
        {"comma_decimals.txt", '.', notAReal("3350,00")},
        {"beyond_double_range.txt", '.', notAReal("1e400")},
        {"code_page_byte.txt", '.', notAReal("0\xb5")},
        {"empty.txt", '.', empty},
        {"ctrl_z_first.txt", '.', empty},
        {"no_such_file.txt", '.', std::string(messages::kFileNotFound)},
        {"crlf_line_ends.txt/below_a_file", '.', std::string(messages::kInvalidFileName)},
    };
    for (const auto& row : cases)
        EXPECT_EQ(errorOf(importData(row.file), row.separator), row.message) << row.file;
}

TEST(ReadObservedFile, RefusesWhatIsNotARegularFileWithoutWaiting)
{
    ScratchDirectory scratch;
    EXPECT_EQ(errorOf(scratch.path(), '.'), messages::kAccessDenied);
    const std::string fifo = scratch.file("spectrum.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(errorOf(fifo, '.'), messages::notARegularFile(fifo));
}

TEST(ReadObservedFile, ReadsLinesLongerThanItsBuffer)
{
    ScratchDirectory scratch;
    std::string bytes;
    bytes += std::string(100000, ' ') + "1 " + std::string(100000, '0') + "2\r\n";
    bytes += "3" + std::string(70000, ' ') + "4\r\n";
    testing::writeBytes(scratch.file("long.dat"), bytes);
    const ObservedSpectrum read = readObservedFile(scratch.file("long.dat"), '.');
    EXPECT_EQ(points(read.field, read.count), (std::vector<double>{1, 3}));
    EXPECT_EQ(points(read.intensity, read.count), (std::vector<double>{2, 4}));
}

ObservedSpectrum rawSpectrum(const std::vector<double>& fields, const std::vector<double>& intensities)
{
    ObservedSpectrum spectrum;
    spectrum.count = static_cast<std::int32_t>(fields.size());
    spectrum.field = {0.0};
    spectrum.field.insert(spectrum.field.end(), fields.begin(), fields.end());
    spectrum.field.resize(fields.size() + 10);
    spectrum.intensity = {0.0};
    spectrum.intensity.insert(spectrum.intensity.end(), intensities.begin(), intensities.end());
    spectrum.intensity.resize(fields.size() + 10);
    return spectrum;
}

TEST(NormaliseObservedSpectrum, MapsIntensitiesOntoPlusMinusOneAndFieldsOntoTheirEnds)
{
    const struct {
        const char* what;
        std::vector<double> fields, intensities;
        std::vector<double> normalisedFields, normalisedIntensities;
        double endLow, endHigh, center;
    } cases[] = {
        {"descending fields", {3450, 3400, 3350}, {1.5, -2.5, 0.5},
         {3450, 3400, 3350}, {1, -1, 0.5}, 3350, 3450, 3400},
        {"non-monotonic fields", {1, 3, 2}, {0, 1, 0}, {1, 2, 1.5}, {-1, 1, -1}, 1, 2, 1.5},
        {"even intensities", {1, 2, 3}, {0, 5, 10}, {1, 2, 3}, {-1, 0, 1}, 1, 3, 2},
        {"repeated minimum", {1, 2, 3}, {2, 2, 4}, {1, 2, 3}, {-1, -1, 1}, 1, 3, 2},
        // The spans exceed a double; extended precision carries them.
        {"extreme values", {-1.5e308, 0, 1.5e308}, {-1.7e308, 0, 1.7e308},
         {-1.5e308, 0, 1.5e308}, {-1, 0, 1}, -1.5e308, 1.5e308, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        ObservedSpectrum spectrum = rawSpectrum(row.fields, row.intensities);
        normaliseObservedSpectrum(spectrum);
        EXPECT_EQ(points(spectrum.field, spectrum.count), row.normalisedFields);
        EXPECT_EQ(points(spectrum.intensity, spectrum.count), row.normalisedIntensities);
        EXPECT_EQ(spectrum.endLow, row.endLow);
        EXPECT_EQ(spectrum.endHigh, row.endHigh);
        EXPECT_EQ(spectrum.centerField, row.center);
    }
}

TEST(NormaliseObservedSpectrum, RefusesSpectraThatCannotBeScaledOrPlotted)
{
    const std::string invalid(messages::kInvalidOperation);
    const struct {
        const char* what;
        std::vector<double> fields, intensities;
        std::string message;
    } cases[] = {
        {"one point", {3385.2}, {-0.0371}, invalid},
        {"flat intensities", {3350, 3400, 3450}, {2, 2, 2}, invalid},
        {"one field for all", {3400, 3400, 3400}, {2, 3, 2}, invalid},
        {"equal first and last field", {3400, 3410, 3400}, {0, 1, 0.5},
         std::string(messages::kDivisionByZero)},
    };
    for (const auto& row : cases) {
        ObservedSpectrum spectrum = rawSpectrum(row.fields, row.intensities);
        try {
            normaliseObservedSpectrum(spectrum);
            ADD_FAILURE() << row.what << ": no error";
        } catch (const UserError& error) {
            EXPECT_EQ(error.message(), row.message) << row.what;
        }
    }
}

std::string repeated(std::string_view text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

// Progress is the share of the file read, rising to 1; a huge line goes on
// reporting while it is taken apart, so that a cancel never waits long.
TEST(ReadObservedFile, ReportsItsProgressAndCanBeStoppedAnywhere)
{
    ScratchDirectory scratch;
    const std::string digits(5 * kTickCharacters, '7');
    const struct {
        const char* what;
        std::string bytes;
        int leastReports;
    } rows[] = {
        {"many short lines", repeated("3390 1\n", 300000) + "3400 2\n", 30},
        {"one huge number", std::string(1, '0') + digits + " 1\r\n3400 2\n", 80 + 5},
        {"one huge line of blanks", std::string(3 * kTickCharacters, ' ') + "\n", 48 + 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string file = scratch.file("progress.dat");
        testing::writeBytes(file, row.bytes);
        std::vector<double> reports;
        try {
            readObservedFile(file, '.', [&](double done) { reports.push_back(done); });
        } catch (const UserError&) {
            // The rows need not import; only their reports count here.
        }
        ASSERT_GE(static_cast<int>(reports.size()), row.leastReports);
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        EXPECT_GE(reports.front(), 0.0);
        EXPECT_EQ(reports.back(), 1.0);

        // A report that throws stops the reading there, whichever it is.
        struct Stop {};
        for (const std::size_t at : {std::size_t{0}, reports.size() / 2, reports.size() - 1}) {
            std::size_t seen = 0;
            EXPECT_THROW(readObservedFile(file, '.',
                                          [&](double) {
                                              if (seen++ == at)
                                                  throw Stop();
                                          }),
                         Stop)
                << "at report " << at;
        }
    }
}

} // namespace
} // namespace ravelle
