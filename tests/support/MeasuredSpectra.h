#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "commands/FitCommand.h"
#include "commands/ModelTexts.h"
#include "engine/Boxes.h"
#include "engine/FloatingPoint.h"
#include "engine/ProgramState.h"
#include "engine/fit/Fit.h"
#include "io/ObservedImport.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MeasuredData.h"

// Spectra measured on real instruments, fitted from the values a chemist
// would type after a look at the plot: the couplings roughly as the pattern
// shows them, a round line width, the centre field where the import puts it
// (the middle of the file) unless the pattern is plainly elsewhere. The frame
// is always the whole file.
namespace ravelle::testing {

struct MeasuredCase {
    const char* name;
    const char* file;
    std::map<std::string, std::string> boxes; // on top of what the import writes
    ModelTexts model;
    std::vector<std::string> vary;  // ticked on top of the defaults (the baseline's slope)
    std::vector<std::string> fixed; // unticked
    double rmsGoal = 0.0;
};

inline GroupTexts group(const char* isotope, const char* count, const char* coupling)
{
    GroupTexts made;
    made.isotope = isotope;
    made.count = count;
    made.coupling = coupling;
    return made;
}

inline std::vector<MeasuredCase> measuredCases()
{
    std::vector<MeasuredCase> cases;
    {
        // One doublet of quintets; the middle of the pattern is 7 G below the file's.
        MeasuredCase c{"Galvinoxyl_toluene_N2", "Galvinoxyl_toluene_N2.dat", {}, {}, {}, {}, 0.013};
        c.boxes = {{"GCntr", "3353.5"}, {"G", "66"}, {"Sigma", "0.3"}, {"H1", "5.5"}, {"H2", "1.3"},
                   {"H3", "1.3"}, {"H4", "1.3"}, {"H5", "1.3"}};
        c.model.shape = model::LineShape::Voigt;
        c.model.gamma = "0.2";
        cases.push_back(c);
    }
    {
        // Three broad lines; the centre left where the import puts it, 10 G off.
        MeasuredCase c{"Aminoxyl_KABNO_H2O", "Aminoxyl_KABNO_H2O.dat", {}, {}, {}, {}, 0.017};
        c.boxes = {{"Sigma", "1.0"}, {"N1", "18.5"}};
        cases.push_back(c);
    }
    {
        // The radical cation's three quartets of protons (literature values, rounded).
        MeasuredCase c{"Perylene_anion_probable", "Perylene_anion_probable.dat", {}, {}, {}, {}, 0.021};
        c.boxes = {{"Sigma", "0.1"}, {"NoPnts", "8192"}};
        const char* couplings[] = {"4.0", "3.0", "0.45"};
        int box = 1;
        for (const char* coupling : couplings)
            for (int k = 0; k < 4; ++k)
                c.boxes[std::string(hydrogenBox(box++))] = coupling;
        cases.push_back(c);
    }
    {
        // Three lines on a sloping baseline; a noisy benchtop spectrum.
        MeasuredCase c{"TEMPOL_H2O_10uM", "TEMPOL_H2O_10uM.dat", {}, {}, {"Baseline slope"}, {}, 0.066};
        c.boxes = {{"GCntr", "3494"}, {"G", "446"}, {"Sigma", "0.5"}, {"N1", "17"}};
        c.model.shape = model::LineShape::Voigt;
        c.model.gamma = "0.5";
        cases.push_back(c);
    }
    {
        // Two nitrogens in the boxes; the methyl and ring protons as groups.
        MeasuredCase c{"WurstersBlue_TMPD_DMSO", "WurstersBlue_TMPD_DMSO.dat", {}, {}, {"Baseline slope"}, {}, 0.012};
        c.boxes = {{"Sigma", "0.2"}, {"N1", "7"}, {"N2", "7"}, {"NoPnts", "4000"}};
        c.model.shape = model::LineShape::Voigt;
        c.model.gamma = "0.1";
        c.model.groups = {group("1H", "12", "7"), group("1H", "4", "2")};
        cases.push_back(c);
    }
    {
        // The trans form in the boxes, the cis form as a second species.
        MeasuredCase c{"Hydroquinone_cation", "Hydroquinone_cation.dat", {}, {}, {"Baseline slope"}, {}, 0.017};
        c.boxes = {{"Sigma", "0.05"}, {"NoPnts", "8192"}, {"H1", "3.5"}, {"H2", "3.5"}, {"H3", "2.5"},
                   {"H4", "2.5"}, {"H5", "2"},     {"H6", "2"}};
        c.model.shape = model::LineShape::Voigt;
        c.model.gamma = "0.05";
        SpeciesTexts cis;
        cis.shape = model::LineShape::Voigt;
        cis.sigma = "0.05";
        cis.gamma = "0.05";
        cis.groups = {group("1H", "2", "3.5"), group("1H", "2", "2.4"), group("1H", "2", "2.1")};
        c.model.species = {cis};
        cases.push_back(c);
    }
    {
        // Three lines of unequal width: the nitrogen as a group with a width law.
        MeasuredCase c{"Fremy_glycerol", "Fremy_glycerol.dat", {}, {}, {}, {"H1"}, 0.008};
        c.boxes = {{"Sigma", "0.3"}, {"H1", "0"}, {"NoPnts", "4096"}};
        c.model.shape = model::LineShape::Voigt;
        c.model.gamma = "0.3";
        c.model.groups = {group("14N", "1", "13")};
        c.model.widthLaw.group = "1";
        cases.push_back(c);
    }
    return cases;
}

// The fit problem of a case as the Fit command sets it up after the import;
// nothing when the file is missing.
inline std::optional<FitProblem> measuredProblem(const MeasuredCase& measured)
{
    const std::filesystem::path path = std::filesystem::path(measuredFolder()) / measured.file;
    if (!std::filesystem::exists(path))
        return std::nullopt;
    const ObservedSpectrum spectrum = importObservedSpectrum(path.string(), '.');
    ProgramState state;
    state.ObsFileName = path.string();
    state.ObsLoaded = true;
    state.ObsCount = spectrum.count;
    state.ObsField = spectrum.field;
    state.ObsIntensity = spectrum.intensity;
    FakeHost host(state);
    host.setBoxes({{"GCntr", formatFixed(spectrum.centerField, 2, '.')},
                   {"G", formatFixed(spectrum.endHigh - spectrum.endLow, 2, '.')},
                   {"Scl", "1"}, {"NoPnts", "2000"}});
    host.setBoxes(measured.boxes);
    host.model = measured.model;
    FitSetup setup = prepareFit(state, host);
    if (!setup.problem)
        return std::nullopt;
    for (FitParameter& parameter : setup.problem->parameters) {
        for (const std::string& name : measured.vary)
            if (parameter.box == name)
                parameter.vary = true;
        for (const std::string& name : measured.fixed)
            if (parameter.box == name)
                parameter.vary = false;
    }
    return setup.problem;
}

} // namespace ravelle::testing
