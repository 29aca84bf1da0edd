#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "commands/FitCommand.h"
#include "commands/ModelTexts.h"
#include "engine/ProgramState.h"
#include "engine/UserError.h"
#include "engine/fit/Fit.h"
#include "engine/model/GValue.h"
#include "tests/support/FakeHost.h"

// The fit of the whole model the Model window describes: Voigt lines, extra
// nucleus groups, further species with weights and shifts, m_I-dependent
// widths and the baseline, set up from box and field texts as the Fit
// command does.
namespace ravelle {
namespace {

using Boxes = std::map<std::string, std::string>;

GroupTexts group(const char* isotope, const char* count, const char* coupling)
{
    GroupTexts made;
    made.isotope = isotope;
    made.count = count;
    made.coupling = coupling;
    return made;
}

// The problem the Fit command sets up from these texts over an observed
// spectrum of the given points.
FitProblem problemOf(const std::vector<double>& field, const std::vector<double>& intensity, const Boxes& boxes,
                     const ModelTexts& model)
{
    ProgramState state;
    state.ObsFileName = "/tmp/run.dat";
    state.ObsLoaded = true;
    state.ObsCount = static_cast<int>(field.size());
    state.ObsField.assign(1, 0.0);
    state.ObsField.insert(state.ObsField.end(), field.begin(), field.end());
    state.ObsIntensity.assign(1, 0.0);
    state.ObsIntensity.insert(state.ObsIntensity.end(), intensity.begin(), intensity.end());
    state.ObsField.resize(field.size() + 11, 0.0);
    state.ObsIntensity.resize(field.size() + 11, 0.0);
    testing::FakeHost host(state);
    host.setBoxes(boxes);
    host.model = model;
    FitSetup setup = prepareFit(state, host);
    if (!setup.problem)
        throw std::logic_error("no problem: " + setup.notice);
    return *setup.problem;
}

double valueOf(const FitResult& result, const std::string& box)
{
    for (const FittedValue& value : result.values)
        if (value.box == box)
            return value.value;
    throw std::logic_error("no value " + box);
}

struct Known {
    const char* box;
    double tolerance; // absolute, gauss for couplings and widths
};

struct ModelRow {
    const char* name;
    Boxes truthBoxes, startBoxes;
    ModelTexts truth, start;
    std::vector<Known> known;
    std::vector<const char*> vary; // ticked on top of the defaults
};

std::vector<ModelRow> modelRows()
{
    std::vector<ModelRow> rows;
    const Boxes common = {{"GCntr", "3400"}, {"Scl", "1"}, {"G", "40"}, {"NoPnts", "2000"}};
    const auto with = [&](Boxes boxes) {
        boxes.insert(common.begin(), common.end());
        return boxes;
    };
    {
        ModelRow row{"Voigt lines on a sloping baseline", {}, {}, {}, {}, {}, {"Baseline slope"}};
        row.truthBoxes = with({{"Sigma", "0.08"}, {"H1", "2.1"}, {"N1", "6.3"}});
        row.startBoxes = with({{"GCntr", "3400.2"}, {"Sigma", "0.1"}, {"H1", "2.0"}, {"N1", "6.5"}});
        row.truth.shape = row.start.shape = model::LineShape::Voigt;
        row.truth.gamma = "0.06";
        row.start.gamma = "0.1";
        row.truth.offset = "0.05";
        row.truth.slope = "0.002";
        row.known = {{"H1", 0.02}, {"N1", 0.02}, {"Sigma", 0.02}, {"Gamma", 0.02}, {"GCntr", 0.01},
                     {"Baseline slope", 0.0005}};
        rows.push_back(row);
    }
    {
        ModelRow row{"extra groups of several nuclei", {}, {}, {}, {}, {}, {}};
        row.truthBoxes = with({{"Sigma", "0.1"}, {"H1", "3.1"}});
        row.startBoxes = with({{"Sigma", "0.12"}, {"H1", "3.0"}});
        row.truth.groups = {group("1H", "6", "0.9"), group("14N", "2", "4.2")};
        row.start.groups = {group("1H", "6", "0.85"), group("14N", "2", "4.3")};
        row.known = {{"H1", 0.02}, {"Species 1, group 1, coupling", 0.02}, {"Species 1, group 2, coupling", 0.02}};
        rows.push_back(row);
    }
    {
        ModelRow row{"a second species, weighed and shifted", {}, {}, {}, {}, {}, {}};
        row.truthBoxes = with({{"Sigma", "0.1"}, {"H1", "2.5"}, {"H2", "2.5"}, {"N1", "5"}});
        row.startBoxes = with({{"Sigma", "0.1"}, {"H1", "2.4"}, {"H2", "2.4"}, {"N1", "5.1"}});
        SpeciesTexts second;
        second.sigma = "0.1";
        second.groups = {group("14N", "1", "7.1")};
        second.weight = "0.6";
        second.shift = "1.5";
        row.truth.species = {second};
        second.groups = {group("14N", "1", "7.0")};
        second.weight = "1";
        second.shift = "1.3";
        second.sigma = "0.12";
        row.start.species = {second};
        row.known = {{"H1", 0.02},
                     {"N1", 0.02},
                     {"Species 2, group 1, coupling", 0.02},
                     {"Species 2, weight", 0.06},
                     {"Species 2, shift", 0.02},
                     {"Species 2, Sigma", 0.02}};
        rows.push_back(row);
    }
    {
        ModelRow row{"widths that change with m_I", {}, {}, {}, {}, {}, {}};
        row.truthBoxes = with({{"Sigma", "0.2"}, {"H1", "1.2"}});
        row.startBoxes = with({{"Sigma", "0.25"}, {"H1", "1.15"}});
        row.truth.groups = {group("14N", "1", "14")};
        row.start.groups = {group("14N", "1", "13.8")};
        row.truth.widthLaw.group = row.start.widthLaw.group = "1";
        row.truth.widthLaw.sigmaB = "0.05";
        row.truth.widthLaw.sigmaC = "0.03";
        row.known = {{"H1", 0.02},
                     {"Species 1, group 1, coupling", 0.02},
                     {"Sigma", 0.02},
                     {"Species 1, Sigma B", 0.01},
                     {"Species 1, Sigma C", 0.01}};
        rows.push_back(row);
    }
    return rows;
}

// Noisy spectra of known values, fitted from starts a few per cent off: the
// couplings come back within 0.02 G in at least 95 % of the fits, the other
// quantities within their row's tolerance.
TEST(FitModelTest, RecoversTheModelsQuantitiesFromNoisySpectra)
{
    constexpr int kSeeds = 5;
    int couplings = 0, couplingsFound = 0;
    for (const ModelRow& row : modelRows()) {
        std::vector<double> field;
        for (double x = 3381; x <= 3419; x += 0.02)
            field.push_back(x);
        const std::vector<double> zero(field.size(), 0.0);
        const FitProblem truth = problemOf(field, zero, row.truthBoxes, row.truth);
        const std::vector<double> clean = displayedCurve(truth, field);
        for (int seed = 0; seed < kSeeds; ++seed) {
            SCOPED_TRACE(std::string(row.name) + ", seed " + std::to_string(seed));
            std::mt19937_64 random(static_cast<std::uint64_t>(seed) + 11);
            std::normal_distribution<double> noise(0.0, 0.1);
            std::vector<double> measured = clean;
            for (double& y : measured)
                y += noise(random);
            FitProblem problem = problemOf(field, measured, row.startBoxes, row.start);
            for (FitParameter& parameter : problem.parameters)
                for (const char* box : row.vary)
                    if (parameter.box == box)
                        parameter.vary = true;
            std::atomic<bool> cancel{false};
            const FitResult result = runFit(problem, cancel);
            ASSERT_TRUE(result.converged()) << result.message;
            for (const Known& known : row.known) {
                double expected = 0.0;
                for (const FitParameter& parameter : truth.parameters)
                    if (parameter.box == known.box)
                        expected = parameter.value;
                const double found = valueOf(result, known.box);
                const bool coupling = std::string(known.box).find("coupling") != std::string::npos ||
                                      known.box[0] == 'H' || known.box[0] == 'N';
                if (coupling) {
                    ++couplings;
                    couplingsFound += std::abs(found - expected) <= known.tolerance;
                } else {
                    EXPECT_NEAR(found, expected, known.tolerance) << known.box;
                }
            }
        }
    }
    EXPECT_GE(couplingsFound, 0.95 * couplings) << couplingsFound << " of " << couplings;
}

// With the microwave frequency known, the fit gives the g-value of the
// fitted centre field, its uncertainty carried over from the centre's.
TEST(FitModelTest, GivesTheGValueOfTheCentreWhereTheFrequencyIsKnown)
{
    std::vector<double> field;
    for (double x = 3381; x <= 3419; x += 0.02)
        field.push_back(x);
    const Boxes boxes = {{"GCntr", "3400"}, {"Scl", "1"}, {"G", "40"}, {"NoPnts", "2000"}, {"Sigma", "0.1"}, {"N1", "7"}};
    ModelTexts model;
    const std::vector<double> clean =
        displayedCurve(problemOf(field, std::vector<double>(field.size(), 0.0), boxes, model), field);
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<double> measured = clean;
    for (double& y : measured)
        y += noise(random);

    struct Row {
        const char* frequency;
        bool known;
    };
    for (const Row row : {Row{"", false}, Row{"9.5", true}}) {
        model.frequency = row.frequency;
        const FitProblem problem = problemOf(field, measured, boxes, model);
        std::atomic<bool> cancel{false};
        const FitResult result = runFit(problem, cancel);
        ASSERT_TRUE(result.converged()) << result.message;
        ASSERT_EQ(result.gValue.has_value(), row.known) << row.frequency;
        if (!row.known)
            continue;
        double centre = 0.0, error = 0.0;
        for (const FittedValue& value : result.values)
            if (value.kind == FitParameterKind::Centre) {
                centre = value.value;
                error = value.uncertainty;
            }
        EXPECT_DOUBLE_EQ(*result.gValue, model::gValueAt(centre, 9.5));
        EXPECT_NEAR(result.gUncertainty, *result.gValue * error / centre, 1e-12);
        EXPECT_GT(result.gUncertainty, 0.0);
        const std::string report = fitReportText(result, '.');
        EXPECT_NE(report.find("\ng\t"), std::string::npos) << report;
    }
}

// A Model-window field that holds no usable value stops the fit before it
// starts, with the field's name, and changes nothing.
TEST(FitModelTest, ABadModelFieldIsNamedAndNothingChanges)
{
    ProgramState state;
    state.ObsLoaded = true;
    state.ObsCount = 11;
    state.ObsField.assign(21, 0.0);
    state.ObsIntensity.assign(21, 0.0);
    for (int i = 1; i <= 11; ++i) {
        state.ObsField[static_cast<std::size_t>(i)] = 3395.0 + i;
        state.ObsIntensity[static_cast<std::size_t>(i)] = 0.1 * i;
    }
    testing::FakeHost host(state);
    state.ObsFileName = "/tmp/run.dat";
    host.setBoxes({{"GCntr", "3400.5"}, {"Scl", "1"}, {"G", "6"}, {"NoPnts", "500"}, {"Sigma", "0.2"}, {"H1", "2.5"}});

    ModelTexts good;
    good.shape = model::LineShape::Voigt;
    good.groups = {group("1H", "2", "1.1")};
    good.widthLaw.group = "1";
    SpeciesTexts second;
    second.groups = {group("14N", "1", "7")};
    good.species = {second};

    struct Row {
        const char* name;
        std::function<void(ModelTexts&)> spoil;
        const char* named; // a part of the message
    };
    const Row rows[] = {
        {"gamma", [](ModelTexts& t) { t.gamma = "x"; }, "Gamma"},
        {"offset", [](ModelTexts& t) { t.offset = "1..2"; }, "offset"},
        {"slope", [](ModelTexts& t) { t.slope = ""; }, "slope"},
        {"group coupling", [](ModelTexts& t) { t.groups[0].coupling = "abc"; }, "group 1"},
        {"group count", [](ModelTexts& t) { t.groups[0].count = "31"; }, "number of equivalent nuclei"},
        {"width law B", [](ModelTexts& t) { t.widthLaw.sigmaB = "-"; }, "Sigma B"},
        {"width law C", [](ModelTexts& t) { t.widthLaw.gammaC = "1e999"; }, "Gamma C"},
        {"species weight", [](ModelTexts& t) { t.species[0].weight = "heavy"; }, "Species 2"},
        {"species shift", [](ModelTexts& t) { t.species[0].shift = "?"; }, "Species 2"},
        {"species sigma", [](ModelTexts& t) { t.species[0].sigma = "0.1.2"; }, "Species 2"},
        {"species coupling", [](ModelTexts& t) { t.species[0].groups[0].coupling = "7 G"; }, "Species 2"},
        {"frequency", [](ModelTexts& t) { t.frequency = "9.5 GHz"; }, "requency"},
    };
    for (const Row& row : rows) {
        ModelTexts texts = good;
        row.spoil(texts);
        host.model = texts;
        const ProgramState before = state;
        std::string message;
        try {
            (void)prepareFit(state, host);
        } catch (const UserError& error) {
            message = error.message();
        }
        EXPECT_NE(message.find(row.named), std::string::npos) << row.name << ": '" << message << "'";
        EXPECT_EQ(host.model, texts) << row.name;
        EXPECT_EQ(state.CenterField, before.CenterField) << row.name;
        EXPECT_EQ(state.CouplingH, before.CouplingH) << row.name;
    }
}

// Keep writes each varied Model-window quantity into its field with the
// host's separator, a shift held as a g-value as the g-value of the species'
// fitted field; what was not varied keeps its text.
TEST(FitModelTest, KeepWritesTheModelWindowsFields)
{
    ProgramState state;
    testing::FakeHost host(state, ',');
    ModelTexts texts;
    texts.shape = model::LineShape::Voigt;
    texts.groups = {group("1H", "2", "1,1")};
    texts.widthLaw.group = "1";
    texts.frequency = "9,5";
    SpeciesTexts second;
    second.groups = {group("14N", "1", "7")};
    second.shift = "2,0030";
    second.shiftIsGValue = true;
    texts.species = {second};
    host.model = texts;

    FitResult result;
    result.outcome = FitOutcome::Converged;
    const auto add = [&](FitParameterKind kind, const char* box, double value, bool varied, int species = 0,
                         int group = -1) {
        FittedValue fitted;
        fitted.kind = kind;
        fitted.box = box;
        fitted.value = value;
        fitted.varied = varied;
        fitted.uncertainty = 0.004;
        fitted.species = species;
        fitted.group = group;
        result.values.push_back(fitted);
    };
    add(FitParameterKind::Hydrogen, "H1", 2.5, true, 0, 0);
    add(FitParameterKind::Gamma, "Gamma", 0.0712, true);
    add(FitParameterKind::Coupling, "Species 1, group 1, coupling", 1.234, true, 0, 1);
    add(FitParameterKind::SigmaB, "Species 1, Sigma B", -0.051, true);
    add(FitParameterKind::GammaC, "Species 1, Gamma C", 0.5, false);
    add(FitParameterKind::Centre, "GCntr", 3390.0, true);
    add(FitParameterKind::Offset, "Baseline offset", 0.0123, true);
    add(FitParameterKind::Slope, "Baseline slope", 0.25, false);
    add(FitParameterKind::Weight, "Species 2, weight", 0.61, true, 1);
    add(FitParameterKind::Shift, "Species 2, shift", 1.5, true, 1);
    add(FitParameterKind::Coupling, "Species 2, group 1, coupling", 7.123, true, 1, 0);

    writeFittedValues(result, host);
    const ModelTexts& now = host.model;
    EXPECT_EQ(host.boxText("H1"), "2,5000");
    EXPECT_EQ(host.boxText("GCntr"), "3390,0000");
    EXPECT_EQ(now.gamma, "0,0712");
    EXPECT_EQ(now.groups[0].coupling, "1,2340");
    EXPECT_EQ(now.widthLaw.sigmaB, "-0,0510");
    EXPECT_EQ(now.widthLaw.gammaC, texts.widthLaw.gammaC);
    EXPECT_EQ(now.offset, "0,0123");
    EXPECT_EQ(now.slope, texts.slope);
    EXPECT_EQ(now.species[0].weight, "0,6100");
    EXPECT_EQ(now.species[0].groups[0].coupling, "7,1230");
    // The species' field 3391.5 G at 9.5 GHz as a g-value.
    const double g = model::gValueAt(3391.5, 9.5);
    EXPECT_NEAR(std::stod(std::string(now.species[0].shift).replace(1, 1, ".")), g, 1e-5) << now.species[0].shift;
    EXPECT_EQ(now.species[0].groups[0].isotope, "14N");
}

} // namespace
} // namespace ravelle
