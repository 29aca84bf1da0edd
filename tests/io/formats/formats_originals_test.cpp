// Every file of the measured-spectra folder's original/ (as the instruments
// and their programs wrote it) against the two-column file converted from
// it. Skipped where the folder is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "io/formats/SpectrumFile.h"
#include "tests/io/formats/FormatsTesting.h"

namespace ravelle::formats {
namespace {

using testing::fileBytes;
using testing::measuredFolder;
using testing::normalised;

struct Converted {
    std::vector<double> field;
    std::vector<double> intensity;
};

Converted readConverted(const std::string& name)
{
    Converted converted;
    std::istringstream in(fileBytes(measuredFolder() + "/" + name));
    double field = 0;
    double intensity = 0;
    while (in >> field >> intensity) {
        converted.field.push_back(field);
        converted.intensity.push_back(intensity);
    }
    return converted;
}

std::size_t columnLabelled(const RawSpectrum& spectrum, const std::string& label)
{
    const auto& labels = spectrum.table.value().labels;
    const auto found = std::find(labels.begin(), labels.end(), label);
    EXPECT_NE(found, labels.end()) << "no column " << label;
    return static_cast<std::size_t>(found - labels.begin());
}

class Originals : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::is_directory(measuredFolder() + "/original"))
            GTEST_SKIP() << "The measured spectra are not at " << measuredFolder()
                         << " (set RAVELLE_MEASURED_DATA to their folder); their comparison is skipped.";
    }
};

TEST_F(Originals, GiveTheSpectrumOfTheirConvertedFile)
{
    const double kNoFrequency = 0;
    const struct {
        const char* original;
        const char* converted;
        double frequencyGHz;
        const char* fieldColumn = nullptr; // labelled tables: the columns the conversion used
        const char* intensityColumn = nullptr;
        // WinEPR's own ASCII export, which the converted file took its fields
        // from, gives them rounded to single precision.
        bool fieldsInSinglePrecision = false;
    } cases[] = {
        {"eprscope/Aminoxyl_radical_a.DSC", "Aminoxyl_KABNO_H2O.dat", 9.806665},
        {"eprscope/Aminoxyl_radical_a.DTA", "Aminoxyl_KABNO_H2O.dat", 9.806665},
        {"eprscope/Aminoxyl_radical_a.txt", "Aminoxyl_KABNO_H2O.dat", kNoFrequency},
        {"easyspin/frem_gly.par", "Fremy_glycerol.dat", 9.766096},
        {"easyspin/frem_gly.spc", "Fremy_glycerol.dat", 9.766096},
        {"easyspin/esp.par", "Perylene_anion_probable.dat", 9.770268},
        {"easyspin/esp.spc", "Perylene_anion_probable.dat", 9.770268},
        {"eprscope/TMPD_specelchem_accu_b.par", "WurstersBlue_TMPD_DMSO.dat", 9.814155, nullptr, nullptr, true},
        {"eprscope/TMPD_specelchem_accu_b.spc", "WurstersBlue_TMPD_DMSO.dat", 9.814155, nullptr, nullptr, true},
        {"eprscope/TMPD_specelchem_accu_b.asc", "WurstersBlue_TMPD_DMSO.dat", kNoFrequency},
        {"easyspin/10uM_TEMPOL_CAP_SQ__140828_122013.ESR", "TEMPOL_H2O_10uM.dat", 9.805704},
        {"esr_plot/esr_daten-4.txt", "Galvinoxyl_toluene_N2.dat", kNoFrequency, "b", "n2"},
        {"esr_plot/esr_daten-5.txt", "TEMPO_toluene_i.dat", kNoFrequency, "xb", "i"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.original);
        const std::string path = measuredFolder() + "/original/" + row.original;
        std::optional<RawSpectrum> read = readSpectrumFile(path);
        ASSERT_TRUE(read.has_value());
        if (row.intensityColumn) {
            const TableChoice choice{columnLabelled(*read, row.intensityColumn), columnLabelled(*read, row.fieldColumn), {}};
            read = readSpectrumFile(path, choice);
            ASSERT_TRUE(read.has_value());
        }
        const Converted converted = readConverted(row.converted);
        ASSERT_EQ(read->field.size(), converted.field.size());
        ASSERT_EQ(read->intensity.size(), converted.intensity.size());
        const std::vector<double> intensities = normalised(read->intensity);
        const std::vector<double> expected = normalised(converted.intensity);
        for (std::size_t i = 0; i < converted.field.size(); ++i) {
            const double field = row.fieldsInSinglePrecision ? static_cast<float>(read->field[i]) : read->field[i];
            ASSERT_NEAR(field, converted.field[i], 1e-6) << "point " << i;
            ASSERT_NEAR(intensities[i], expected[i], 1e-6) << "point " << i;
        }
        if (row.frequencyGHz == kNoFrequency)
            EXPECT_FALSE(read->frequencyGHz.has_value());
        else
            EXPECT_DOUBLE_EQ(read->frequencyGHz.value_or(0), row.frequencyGHz);
    }
}

TEST_F(Originals, WinEprFieldsAreExactWhereItsExportRoundsThem)
{
    // The .asc export gives the fields in single precision; the .par gives
    // the sweep that they round.
    const auto fromParameters = readSpectrumFile(measuredFolder() + "/original/eprscope/TMPD_specelchem_accu_b.par");
    const auto fromExport = readSpectrumFile(measuredFolder() + "/original/eprscope/TMPD_specelchem_accu_b.asc");
    ASSERT_TRUE(fromParameters && fromExport);
    EXPECT_EQ(fromParameters->field[1], 3439.17 + 120.0 * 1 / 2400);
    EXPECT_EQ(fromExport->field[1], 3439.219971);
    // The export prints the floats of the .spc to six decimals.
    ASSERT_EQ(fromParameters->intensity.size(), fromExport->intensity.size());
    for (std::size_t i = 0; i < fromExport->intensity.size(); ++i)
        ASSERT_NEAR(fromParameters->intensity[i], fromExport->intensity[i], 1e-6) << "point " << i;
}

TEST_F(Originals, TablesOfferTheirSpectraAndRecogniseTheirFrequencyColumns)
{
    const struct {
        const char* original;
        std::vector<std::string> candidates;
        std::string defaultColumn;
    } cases[] = {
        {"esr_plot/esr_daten-4.txt", {"n2", "n2a", "o2", "o2a"}, "n2"},
        {"esr_plot/esr_daten-5.txt",
         {"a", "aa", "b", "ba", "c", "ca", "d", "da", "e", "ea", "f", "fa", "h", "ha", "g", "ga", "i", "ia", "k", "ka"},
         "a"},
        {"eprscope/Aminoxyl_radical_a.txt", {"Intensity []"}, "Intensity []"},
        {"eprscope/TMPD_specelchem_accu_b.asc", {"Intensity"}, "Intensity"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.original);
        const auto read = readSpectrumFile(measuredFolder() + "/original/" + row.original);
        ASSERT_TRUE(read && read->table);
        std::vector<std::string> candidates;
        for (const std::size_t column : read->table->intensityCandidates)
            candidates.push_back(read->table->labels[column]);
        EXPECT_EQ(candidates, row.candidates);
        EXPECT_EQ(read->table->labels[read->table->intensityColumn], row.defaultColumn);
    }
}

TEST_F(Originals, TheConvertedFilesAndTheResearchProgramsPairAreNotReadHere)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(measuredFolder()))
        if (entry.path().extension() == ".dat")
            files.push_back(entry.path().string());
    files.push_back(measuredFolder() + "/original/xemr/hydroqsuu250.spe");
    files.push_back(measuredFolder() + "/original/xemr/hydroqsuu250.spy");
    EXPECT_GE(files.size(), 10u);
    for (const std::string& file : files)
        EXPECT_FALSE(readSpectrumFile(file).has_value()) << file;
}

} // namespace
} // namespace ravelle::formats
