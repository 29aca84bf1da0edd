// Every file of the measured-spectra folder's original/ (as instruments and
// their programs wrote it) imported through the command, against the
// two-column file converted from it imported the same way. Skipped where
// the folder is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "io/formats/SpectrumFile.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MeasuredData.h"

namespace ravelle {
namespace {

using testing::CurrentDirectoryGuard;
using testing::FakeHost;
using testing::measuredFolder;
using testing::ScratchDirectory;

struct Imported {
    std::vector<std::string> errors;
    std::vector<double> field;
    std::vector<double> intensity;
    std::string frequency;
    std::vector<std::string> notices;
    std::size_t columnOffers = 0;
};

// Imports a file through the command; `column` answers the column dialog.
Imported importThroughCommand(const std::string& file, const std::string& startDir,
                              std::optional<std::size_t> column = std::nullopt)
{
    ProgramState state;
    Initialise(state, startDir);
    FakeHost host(state);
    host.openAnswers.push_back(file);
    if (column)
        host.columnAnswers.push_back(column);
    importCommand(state, host);
    const auto count = static_cast<std::size_t>(std::max(state.ObsCount, 0));
    return {host.errors,
            {state.ObsField.begin() + 1, state.ObsField.begin() + 1 + static_cast<std::ptrdiff_t>(count)},
            {state.ObsIntensity.begin() + 1, state.ObsIntensity.begin() + 1 + static_cast<std::ptrdiff_t>(count)},
            host.model.frequency,
            host.notices,
            host.columnCalls.size()};
}

class ImportOriginals : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::is_directory(measuredFolder() + "/original"))
            GTEST_SKIP() << "The measured spectra are not at " << measuredFolder()
                         << " (set RAVELLE_MEASURED_DATA to their folder); their import is not compared.";
    }

    CurrentDirectoryGuard cwd;
    ScratchDirectory start;
};

TEST_F(ImportOriginals, GiveTheSpectrumOfTheirConvertedFile)
{
    const struct {
        const char* original;
        const char* converted;
        const char* frequency;             // the Model window's field afterwards
        const char* intensityColumn = nullptr; // the column the conversion used, where there is a choice
        std::size_t notices = 0;
        // WinEPR's own ASCII export, which the converted file took its fields
        // from, gives them rounded to single precision; the .par gives the
        // sweep exactly.
        bool fieldsInSinglePrecision = false;
    } cases[] = {
        {"eprscope/Aminoxyl_radical_a.DSC", "Aminoxyl_KABNO_H2O.dat", "9.806665"},
        {"eprscope/Aminoxyl_radical_a.DTA", "Aminoxyl_KABNO_H2O.dat", "9.806665"},
        {"eprscope/Aminoxyl_radical_a.txt", "Aminoxyl_KABNO_H2O.dat", ""},
        {"easyspin/frem_gly.par", "Fremy_glycerol.dat", "9.766096"},
        {"easyspin/frem_gly.spc", "Fremy_glycerol.dat", "9.766096"},
        {"easyspin/esp.par", "Perylene_anion_probable.dat", "9.770268"},
        {"easyspin/esp.spc", "Perylene_anion_probable.dat", "9.770268"},
        {"eprscope/TMPD_specelchem_accu_b.par", "WurstersBlue_TMPD_DMSO.dat", "9.814155", nullptr, 0, true},
        {"eprscope/TMPD_specelchem_accu_b.spc", "WurstersBlue_TMPD_DMSO.dat", "9.814155", nullptr, 0, true},
        {"eprscope/TMPD_specelchem_accu_b.asc", "WurstersBlue_TMPD_DMSO.dat", ""},
        {"easyspin/10uM_TEMPOL_CAP_SQ__140828_122013.ESR", "TEMPOL_H2O_10uM.dat", "9.805704", "INTENSITY"},
        {"esr_plot/esr_daten-4.txt", "Galvinoxyl_toluene_N2.dat", "", "n2", 2},
        {"esr_plot/esr_daten-5.txt", "TEMPO_toluene_i.dat", "", "i", 2},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.original);
        const std::string path = measuredFolder() + "/original/" + row.original;
        std::optional<std::size_t> column;
        if (row.intensityColumn) {
            const std::vector<std::string> labels = formats::readSpectrumFile(path)->table.value().labels;
            column = static_cast<std::size_t>(std::find(labels.begin(), labels.end(), row.intensityColumn) - labels.begin());
            ASSERT_LT(*column, labels.size());
        }
        const Imported imported = importThroughCommand(path, start.path(), column);
        const Imported converted = importThroughCommand(measuredFolder() + "/" + row.converted, start.path());
        ASSERT_EQ(imported.errors, std::vector<std::string>{});
        ASSERT_EQ(converted.errors, std::vector<std::string>{});
        EXPECT_EQ(imported.columnOffers, row.intensityColumn ? 1u : 0u);
        ASSERT_EQ(imported.field.size(), converted.field.size());
        for (std::size_t i = 0; i < converted.field.size(); ++i) {
            const double field = row.fieldsInSinglePrecision ? static_cast<float>(imported.field[i]) : imported.field[i];
            ASSERT_NEAR(field, converted.field[i], 1e-6) << "point " << i;
            ASSERT_NEAR(imported.intensity[i], converted.intensity[i], 1e-6) << "point " << i;
        }
        EXPECT_EQ(imported.frequency, row.frequency);
        EXPECT_EQ(imported.notices.size(), row.notices > 0 ? 1u : 0u);
    }
}

TEST_F(ImportOriginals, TheResearchProgramsPairIsNoSpectrumOfTheirs)
{
    // Not one of the formats: the two-column import refuses it at its first line.
    for (const char* file : {"xemr/hydroqsuu250.spe", "xemr/hydroqsuu250.spy"}) {
        SCOPED_TRACE(file);
        const Imported imported = importThroughCommand(measuredFolder() + "/original/" + file, start.path());
        ASSERT_EQ(imported.errors.size(), 1u);
        EXPECT_NE(imported.errors[0].find("は浮動小数点数ではありません"), std::string::npos) << imported.errors[0];
    }
}

} // namespace
} // namespace ravelle
