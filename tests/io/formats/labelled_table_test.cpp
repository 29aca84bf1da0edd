#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "io/formats/LabelledTable.h"
#include "tests/io/formats/FormatsTesting.h"

namespace ravelle::formats {
namespace {

using testing::errorOf;

RawSpectrum read(const std::string& text, const TableChoice& choice = {})
{
    return readLabelledTable(text, "t.txt", choice);
}

TEST(LabelledTable, ReadsEverySeparatorAndDecimalMark)
{
    const std::vector<double> fields = {3400, 3400.5, 3401};
    const std::vector<double> intensities = {1.5, -2.5, 0.25};
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"tabs, CR LF", "X [G]\tIntensity\r\n3400.0\t1.5\r\n3400.5\t-2.5\r\n3401.0\t0.25\r\n\r\n\r\n"},
        {"semicolons, decimal commas", "Field [G];Signal\n3400,0;1,5\n3400,5;-2,5\n3401,0;0,25\n"},
        {"tabs, decimal commas", "Field [G]\tSignal\n3400,0\t1,5\n3400,5\t-2,5\n3401,0\t0,25\n"},
        {"commas", "Field (G),Signal\n3400.0,1.5\n3400.5,-2.5\n3401.0,0.25"},
        {"blanks, aligned", "   Field [G]     Intensity []\n\n    3400.0   1.5\n    3400.5  -2.5\n    3401.0   2.5e-1\n"},
        {"blanks, single", "Field/G Intensity\n3400 1.5\n3400.5 -2.5\n3401 .25\n"},
        {"lone CRs", "Field [G]\tIntensity\r3400\t1.5\r3400.5\t-2.5\r3401\t0.25\r"},
        {"byte order mark", "\xEF\xBB\xBF" "Field [G]\tIntensity\n3400\t1.5\n3400.5\t-2.5\n3401\t+0.25\n"},
        {"padded rows", "NAME\tx\t\t\t\nFIELD (G)\tINTENSITY\t\t\t\n3400\t1.5\t\t\n3400.5\t-2.5\t\n3401\t0.25\n"},
        {"Ctrl-Z after the rows", "Field [G]\tIntensity\r\n3400\t1.5\r\n3400.5\t-2.5\r\n3401\t0.25\r\n\x1A\x1A"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const RawSpectrum spectrum = read(row.text);
        EXPECT_EQ(spectrum.field, fields);
        EXPECT_EQ(spectrum.intensity, intensities);
        EXPECT_EQ(spectrum.notices, std::vector<std::string>());
        EXPECT_EQ(spectrum.format, SpectrumFormat::labelledTable);
    }
}

TEST(LabelledTable, FindsTheFieldAndOffersTheOtherColumns)
{
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> labels;
        std::size_t field;
        std::vector<std::size_t> candidates;
    } cases[] = {
        {"an index column by its name", "index  Field [G]  Intensity []\n1 3400 5\n2 3401 6\n3 3402 7\n",
         {"index", "Field [G]", "Intensity []"}, 1, {2}},
        {"an index column by its values", "n\tB\tsignal\n0\t3400\t5\n1\t3401\t6\n2\t3402\t7\n", {"n", "B", "signal"}, 1, {2}},
        {"a field named after the others", "Sweep 1\tSweep 2\tMagnetic Field (mT)\n1\t2\t340\n3\t4\t341\n5\t6\t342\n",
         {"Sweep 1", "Sweep 2", "Magnetic Field (mT)"}, 2, {0, 1}},
        {"frequency columns named after their spectra",
         "b\tfn2\tn2\tn2a\tfo2\to2\n334\t9.49\t1\t2\t9.50\t3\n335\t9.48\t4\t5\t9.49\t6\n336\t9.47\t7\t8\t9.48\t9\n",
         {"b", "fn2", "n2", "n2a", "fo2", "o2"}, 0, {2, 3, 5}},
        {"a column named like one but holding a spectrum",
         "xb\tf\ta\tfa\n334\t9\t1\t-2\n335\t9\t5\t3\n336\t9\t3\t4\n", {"xb", "f", "a", "fa"}, 0, {1, 2, 3}},
        // Unnamed, only a first column that counts every row is an index.
        {"a first column that nearly counts", "I\tB\tJ\n1\t334\t1\n2\t335\t2\n4\t336\t4\n4\t337\t4\n",
         {"I", "B", "J"}, 1, {0, 2}},
        {"a counting column after the field", "B\tI\n334\t1\n335\t2\n336\t3\n337\t4\n", {"B", "I"}, 0, {1}},
        {"a labelled frequency column", "Field [mT]\tFrequency [GHz]\tSignal\n334\t9.4\t5\n335\t9.4\t7\n336\t9.4\t2\n",
         {"Field [mT]", "Frequency [GHz]", "Signal"}, 0, {2}},
        {"unnamed columns", "FIELD (G)\tINTENSITY\t\t\n3400\t1\t2\t3\n3401\t1\t2\t3\n3402\t1\t2\t3\n",
         {"FIELD (G)", "INTENSITY", "column 3", "column 4"}, 0, {1, 2, 3}},
        {"no label row", "Spectrum 12\n3400\t1\t2\n3401\t1\t2\n3402\t1\t2\n", {"column 1", "column 2", "column 3"}, 0, {1, 2}},
        {"a Latin-1 label", "Feld [mT];Intensit\xE4t\n340;5\n341;7\n342;2\n", {"Feld [mT]", "Intensit\xC3\xA4t"}, 0, {1}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const RawSpectrum spectrum = read(row.text);
        ASSERT_TRUE(spectrum.table.has_value());
        EXPECT_EQ(spectrum.table->labels, row.labels);
        EXPECT_EQ(spectrum.table->fieldColumn, row.field);
        EXPECT_EQ(spectrum.table->intensityCandidates, row.candidates);
        EXPECT_EQ(spectrum.table->intensityColumn, row.candidates.front());
    }
}

TEST(LabelledTable, ReadsTheColumnsTheUserChose)
{
    const std::string text = "B [mT]\tSweep 1\tSweep 2\tAverage\n340.0\t1\t3\t2\n340.5\t-1\t-3\t-2\n341.0\t0\t1\t0.5\n";
    const struct {
        TableChoice choice;
        std::vector<double> fields;
        std::vector<double> intensities;
        std::vector<std::size_t> candidates;
    } cases[] = {
        {{}, {3400, 3405, 3410}, {1, -1, 0}, {1, 2, 3}},
        {{3, std::nullopt, std::nullopt}, {3400, 3405, 3410}, {2, -2, 0.5}, {1, 2, 3}},
        {{0, 1, std::nullopt}, {1, -1, 0}, {340.0, 340.5, 341.0}, {0, 2, 3}},
        {{2, std::nullopt, FieldUnit::gauss}, {340.0, 340.5, 341.0}, {3, -3, 1}, {1, 2, 3}},
        {{1, std::nullopt, FieldUnit::tesla}, {3400000, 3405000, 3410000}, {1, -1, 0}, {1, 2, 3}},
        // The field moves off the column chosen for the intensity.
        {{0, std::nullopt, std::nullopt}, {1, -1, 0}, {340.0, 340.5, 341.0}, {0, 2, 3}},
    };
    for (const auto& row : cases) {
        const RawSpectrum spectrum = read(text, row.choice);
        EXPECT_EQ(spectrum.field, row.fields);
        EXPECT_EQ(spectrum.intensity, row.intensities);
        EXPECT_EQ(spectrum.table->intensityColumn, row.choice.intensityColumn.value_or(1));
        EXPECT_EQ(spectrum.table->intensityCandidates, row.candidates);
    }
    const struct {
        TableChoice choice;
        std::string message;
    } refused[] = {
        {{4, std::nullopt, std::nullopt}, "'t.txt' has 4 columns; there is no column 5 to read the intensity from."},
        {{std::nullopt, 7, std::nullopt}, "'t.txt' has 4 columns; there is no column 8 to read the field from."},
        {{1, 1, std::nullopt}, "Column 2 of 't.txt' is the field; the intensity must come from another column."},
    };
    for (const auto& row : refused)
        EXPECT_EQ(errorOf([&] { read(text, row.choice); }), row.message);
}

TEST(LabelledTable, TakesTheFieldUnitFromTheLabelOrTheFrequency)
{
    const std::string rows = "334\t5\n335\t7\n336\t2\n";
    const struct {
        std::string text;
        std::vector<double> fields;
        std::optional<double> frequencyGHz;
        std::vector<std::string> notices;
    } cases[] = {
        {"Field [G]\tI\n" + rows, {334, 335, 336}, std::nullopt, {}},
        {"Field/mT\tI\n" + rows, {3340, 3350, 3360}, std::nullopt, {}},
        {"FIELD (MT)\tI\n" + rows, {3340, 3350, 3360}, std::nullopt, {}},
        {"B0 mT\tI\n" + rows, {3340, 3350, 3360}, std::nullopt, {}},
        {"Field [Gauss]\tI\n" + rows, {334, 335, 336}, std::nullopt, {}},
        {"Field\tI\n" + rows, {334, 335, 336}, std::nullopt,
         {"The header of 't.txt' gives no unit for the field column 'Field'; its values were read as gauss."}},
        {"MW frequency: 9.4 GHz\nField\tI\n" + rows, {3340, 3350, 3360}, 9.4,
         {"The header of 't.txt' gives no unit for the field column 'Field'; at the 9.4 GHz of the header its values (334 to 336) put g near 2 in mT, so they were read as mT."}},
        {"MW frequency: 0.94 GHz\nField\tI\n" + rows, {334, 335, 336}, 0.94,
         {"The header of 't.txt' gives no unit for the field column 'Field'; at the 0.94 GHz of the header its values (334 to 336) put g near 2 in G, so they were read as G."}},
        {"b\tfI\tI\n334\t9.4\t5\n335\t9.4\t7\n336\t9.4\t2\n", {3340, 3350, 3360}, std::nullopt,
         {"The header of 't.txt' gives no unit for the field column 'b'; at the 9.4 GHz of column 'fI' its values (334 to 336) put g near 2 in mT, so they were read as mT."}},
        {"Field\tFreq [MHz]\tI\n3340\t9400\t5\n3350\t9400\t7\n3360\t9400\t2\n", {3340, 3350, 3360}, std::nullopt,
         {"The header of 't.txt' gives no unit for the field column 'Field'; at the 9.4 GHz of column 'Freq [MHz]' its values (3340 to 3360) put g near 2 in G, so they were read as G."}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        const RawSpectrum spectrum = read(row.text);
        EXPECT_EQ(spectrum.field, row.fields);
        EXPECT_EQ(spectrum.frequencyGHz, row.frequencyGHz);
        EXPECT_EQ(spectrum.notices, row.notices);
    }
}

TEST(LabelledTable, ReadsAFrequencyGivenInTheHeader)
{
    const std::string table = "Field [G]\tI\n3400\t5\n3401\t7\n3402\t2\n";
    const struct {
        std::string line;
        std::optional<double> frequencyGHz;
    } cases[] = {
        {"FREQUENCY (MHz)\t9805.704000\t9805.704000", 9.805704},
        {"MW Frequency: 9.5GHz", 9.5},
        {"Frequency = 9400000000 Hz", 9.4},
        {"mwfq;9,75", 9.75},
        {"Frequency: 94 GHz", 94},
        {"Frequency: 0.01 GHz", std::nullopt}, // no microwave frequency
        {"Frequency: 100 kHz\nFrequency: 9.7 GHz", 9.7},
        {"Mod. freq 100\nMW freq 9.7", 9.7},
        {"Modulation frequency 100.00 kHz", std::nullopt},
        {"Frequency counter: off", std::nullopt},
        {"Sample frequently measured", std::nullopt},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.line);
        const std::optional<double> frequency = read(row.line + "\n" + table).frequencyGHz;
        ASSERT_EQ(frequency.has_value(), row.frequencyGHz.has_value());
        if (frequency) {
            EXPECT_DOUBLE_EQ(*frequency, *row.frequencyGHz);
        }
    }
}

TEST(LabelledTable, EvensOutAFieldRoundedCoarserThanItsSteps)
{
    const struct {
        const char* what;
        std::string column;
        std::vector<double> fields;
        bool evened;
    } cases[] = {
        // An even sweep of 0.00125 mT steps, written to 0.001 mT.
        {"rounded", "333.51\n333.511\n333.512\n333.514\n333.515", {3335.1, 3335.1125, 3335.125, 3335.1375, 3335.15}, true},
        {"even already", "333.5\n333.6\n333.7\n333.8\n333.9", {3335, 3336, 3337, 3338, 3339}, false},
        {"given exactly", "333.51\n333.51125\n333.5125\n333.51375\n333.515", {3335.1, 3335.1125, 3335.125, 3335.1375, 3335.15}, false},
        {"uneven beyond its rounding", "333.51\n333.511\n333.518\n333.514\n333.515", {3335.1, 3335.11, 3335.18, 3335.14, 3335.15}, false},
        {"with exponents", "3.3351e2\n3.33511e2\n3.33512e2\n3.33514e2\n3.33515e2", {3335.1, 3335.11, 3335.12, 3335.14, 3335.15}, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        std::string text = "B (mT)\tI\n";
        int i = 0;
        std::string column = row.column + "\n";
        for (std::size_t start = 0, end; (end = column.find('\n', start)) != std::string::npos; start = end + 1)
            text += column.substr(start, end - start) + "\t" + std::to_string(i++ % 2) + "\n";
        const RawSpectrum spectrum = read(text);
        ASSERT_EQ(spectrum.field.size(), row.fields.size());
        for (std::size_t k = 0; k < row.fields.size(); ++k)
            EXPECT_NEAR(spectrum.field[k], row.fields[k], 1e-9) << k;
        EXPECT_EQ(spectrum.notices.size(), row.evened ? 1u : 0u);
    }
    EXPECT_EQ(read("B (mT)\tI\n333.51\t1\n333.511\t0\n333.512\t1\n333.514\t0\n333.515\t1\n").notices.front(),
              "The field column 'B (mT)' of 't.txt' gives its values to 0.001 mT only, coarser than the step between "
              "them (0.00125 mT); the points were placed evenly from 333.51 to 333.515 mT instead, as the sweep ran.");
}

TEST(LabelledTable, SignsTheHeaderByItsLabelsOnly)
{
    const auto signature = [](const std::string& text) { return read(text).table->headerSignature; };
    const std::string rows = "3400\t5\n3401\t7\n3402\t2\n";
    // Stable across runs and versions: a remembered choice must find it again.
    EXPECT_EQ(signature("Field [G]\tIntensity\n" + rows), "76d05e5217400551");
    EXPECT_EQ(signature("Sample 1, 2014-08-28\nField [G]\tIntensity\n" + rows), "76d05e5217400551");
    EXPECT_EQ(signature("Field [G]\tIntensity\n3500\t7\n3501\t8\n3502\t9\n3503\t1\n"), "76d05e5217400551");
    EXPECT_EQ(signature("B [mT]\tSweep 1\tSweep 2\tAverage\n340\t1\t3\t2\n341\t-1\t-3\t-2\n342\t0\t1\t0.5\n"),
              "1a3e1bcf580a7b00");
    EXPECT_NE(signature("Field [mT]\tIntensity\n" + rows), "76d05e5217400551");
}

TEST(LabelledTable, RefusesRowsItCannotRead)
{
    const std::string header = "Field [G]\tIntensity\n";
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {header, "'t.txt' holds no rows of numbers: there is no spectrum in it to import."},
        {"", "'t.txt' holds no rows of numbers: there is no spectrum in it to import."},
        {header + "3400\t1\n", "'t.txt' holds only one row of numbers; a spectrum needs at least 2."},
        {header + "3400\t1\n3401\t2\n3402\t3\n\n3403\t4\n",
         "'t.txt' has a blank line (line 5) between rows of numbers; only one table can be read from a file."},
        {header + "3400\t1\n3401\t2\n3402\tNaN\n3403\t4\n", "Line 4 of 't.txt' holds 'NaN', which is not a finite number."},
        {header + "3400\t1\n3401\t2\n3402\t1e999\n", "Line 4 of 't.txt' holds '1e999', which is not a finite number."},
        {header + "3400\t1\n3401\t2\n3402\t3\n3403\tn/a\n",
         "Line 5 of 't.txt' holds 'n/a' where a number belongs (column 2, 'Intensity')."},
        {header + "3400\t1\n3401\t2\n3402\t3\n3403\n", "Line 5 of 't.txt' has no cell in column 2 ('Intensity')."},
        {header + "3400\t1\n3401\t2\n3402\t3\nTotal\t6\n",
         "Line 5 of 't.txt' holds 'Total' where a number belongs (column 1, 'Field [G]')."},
        {"index\tField [G]\n1\t3400\n2\t3401\n3\t3402\n", "'t.txt' has no column for the intensity besides the field."},
        {"Field [T]\tI\n1e305\t5\n2e305\t7\n1e304\t2\n", "The field column 'Field [T]' of 't.txt' runs beyond the range of numbers in gauss."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(errorOf([&] { read(row.text); }), row.message);
    }
}

TEST(LabelledTable, RefusesTablesTooLargeBeforeTheyTakeTheMemory)
{
    std::string row;
    for (int column = 0; column < 10001; ++column)
        row += "5\t";
    row += "\n";
    EXPECT_EQ(errorOf([&] { read("wide\n" + row + row + row); }), "'t.txt' has 10001 columns; at most 10000 can be read.");
    // A file of line ends alone.
    EXPECT_EQ(errorOf([&] { read("Field [G]\tI\n" + std::string(10'100'000, '\n')); }),
              "'t.txt' has more than 10100000 lines; at most 10000000 rows of numbers can be imported.");
}

TEST(LabelledTable, IsATableOnlyWithAHeaderOfWordsAndTwoRows)
{
    const struct {
        std::string text;
        bool complete;
        bool table;
    } cases[] = {
        {"Field [G]\tIntensity\n3400\t1\n3401\t2\n", true, true},
        {"Some title\n3400 1\n3401 2\n3402 3\n", true, true},
        // Fewer than two rows: the plain import's conversion error at the first word.
        {"Field [G]\tIntensity\n", true, false},
        {"Field Intensity\r\n3385.20 -0.0371\r\n", true, false},
        {"Field [G]\tIntensity\n3400\t1\n\n", true, false},
        // A row in another layout above the others is no header.
        {"3339.64\t0.38\r\n3339.69   0.34\r\n3339.73   0.30\r\n", true, false},
        {"3400 1 7\n3401 2\n3402 3\n", true, false},
        {"Sample\tTEMPO\nOperator\tme\n", true, false},    // no table at all
        {"3400\t5\n3401\t7\n3402\t2\n", true, false},      // no header: for the plain import to judge
        {"3400;1\n3401;2\n", true, false},
        {"\n\n3400 1\n3401 2\n", true, false},
        {"Field [G]\tIntensity\n3400\t1\n3401\t2\n34", false, true},
        {"", true, false},
    };
    for (const auto& row : cases)
        EXPECT_EQ(looksLikeLabelledTable(row.text, row.complete), row.table) << row.text;
}

} // namespace
} // namespace ravelle::formats
