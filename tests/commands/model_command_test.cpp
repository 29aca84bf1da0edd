// Calculate, the steppers, the plot and the save reading the Model window's
// content through the host.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/Trace.h"
#include "engine/model/ModelSynthesis.h"
#include "plot/PlotWindow.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MeasuredData.h"

namespace ravelle {
namespace {

using testing::CurrentDirectoryGuard;
using testing::FakeHost;
using testing::ScratchDirectory;
using testing::importData;
using testing::readBytes;
using Boxes = std::map<std::string, std::string>;
using ModelChange = std::function<void(ModelTexts&)>;

constexpr QRgb kRed = 0xFFFF0000u;

struct Fixture {
    CurrentDirectoryGuard cwd; // an import moves it to the file's folder
    ScratchDirectory start;
    ProgramState state;
    FakeHost host;
    Fixture() : host(state) { Initialise(state, start.path()); }

    void calculate(const Boxes& boxes, const ModelChange& change = {})
    {
        host.setBoxes(boxes);
        if (change)
            change(host.model);
        calculateCommand(state, host);
    }
    // The simulated points 0 .. N of the state.
    std::vector<double> intensities() const
    {
        return {state.CalcIntensity.begin(), state.CalcIntensity.begin() + state.CalcSpectrumPoints + 1};
    }
};

model::NucleusGroup nuclei(const char* isotope, int count, double coupling, bool natural = false)
{
    return {isotope, count, coupling, natural};
}

model::Species gaussian(std::vector<model::NucleusGroup> groups, double sigma = 0.1)
{
    model::Species species;
    species.groups = std::move(groups);
    species.sigma = sigma;
    return species;
}

model::Species lineOf(model::LineShape shape, std::vector<model::NucleusGroup> groups, double sigma, double gamma)
{
    model::Species species = gaussian(std::move(groups), sigma);
    species.shape = shape;
    species.gamma = gamma;
    return species;
}

// What the Model window holds reaches the engine: the spectrum Calculate
// publishes is the general model's of the model the texts describe, on the
// display grid of G 30 and 500 points.
TEST(ModelCommand, EveryKindOfModelFieldReachesTheEngine)
{
    struct Row {
        const char* name;
        Boxes boxes;
        ModelChange change;
        model::Model expected;
    };
    const double gShift = 3393.7674152570476 - 3390.0; // g 2 at 9.5 GHz, from the centre 3390 G
    const Row rows[] = {
        {"Lorentzian: Sigma is not used, even at 0",
         {{"H1", "2"}, {"Sigma", "0"}},
         [](ModelTexts& t) { t.shape = model::LineShape::Lorentzian; t.gamma = "0.2"; },
         {{lineOf(model::LineShape::Lorentzian, {nuclei("1H", 1, 2.0)}, 0.0, 0.2)}}},
        {"Voigt: Sigma from its box, Gamma from the window",
         {{"H1", "2"}, {"Sigma", "0.08"}},
         [](ModelTexts& t) { t.shape = model::LineShape::Voigt; t.gamma = "0.05"; },
         {{lineOf(model::LineShape::Voigt, {nuclei("1H", 1, 2.0)}, 0.08, 0.05)}}},
        {"extra groups follow the boxes' nuclei",
         {{"N1", "14.5"}},
         [](ModelTexts& t) { t.groups = {{"1H", "2", "2.5", false}, {"13C", "1", "6", true}}; },
         {{gaussian({nuclei("14N", 1, 14.5), nuclei("1H", 2, 2.5), nuclei("13C", 1, 6.0, true)})}}},
        {"extra groups alone, without H1 or N1",
         {},
         [](ModelTexts& t) { t.groups = {{"1H", "1", "2", false}}; },
         {{gaussian({nuclei("1H", 1, 2.0)})}}},
        {"a second species with its own everything",
         {{"H1", "2"}},
         [](ModelTexts& t) {
             SpeciesTexts second;
             second.groups = {{"14N", "1", "15", false}};
             second.weight = "0.5";
             second.shift = "-3";
             second.shape = model::LineShape::Lorentzian;
             second.gamma = "0.3";
             t.species = {second};
         },
         {{gaussian({nuclei("1H", 1, 2.0)}), [] {
               model::Species s = lineOf(model::LineShape::Lorentzian, {nuclei("14N", 1, 15.0)}, 0.0, 0.3);
               s.weight = 0.5;
               s.shift = -3.0;
               return s;
           }()}}},
        {"a shift as a g-value, from the centre field",
         {{"H1", "2"}, {"GCntr", "3390"}},
         [](ModelTexts& t) {
             t.frequency = "9.5";
             t.species = {SpeciesTexts{}};
             t.species[0].shift = "2";
             t.species[0].shiftIsGValue = true;
         },
         {{gaussian({nuclei("1H", 1, 2.0)}), [&] {
               model::Species s = gaussian({}, 0.1);
               s.shift = gShift;
               return s;
           }()}}},
        {"m_I-dependent widths on an extra group",
         {{"H1", "2"}},
         [](ModelTexts& t) {
             t.groups = {{"14N", "1", "15", false}};
             t.widthLaw = {"1", "0.02", "0.01", "0", "0"};
         },
         {{[] {
             model::Species s = gaussian({nuclei("1H", 1, 2.0), nuclei("14N", 1, 15.0)});
             s.widthGroup = 1;
             s.sigmaLaw = {0.02, 0.01};
             return s;
         }()}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        f.calculate(row.boxes, row.change);
        ASSERT_TRUE(f.host.errors.empty()) << f.host.errors.front();
        ASSERT_TRUE(f.host.notices.empty()) << f.host.notices.front();
        const SimulatedSpectrum expected = model::synthesizeModel(row.expected, 30.0, 500);
        const std::vector<double> got = f.intensities();
        ASSERT_EQ(got.size(), expected.intensity.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], expected.intensity[i], 1e-9) << i;
        EXPECT_EQ(f.host.boxText("Edit1"), row.boxes.count("GCntr") ? "3375.00" : "-15.00");
    }
}

// The default model runs the program's own synthesis, bit for bit; so does a
// model whose only additions are a baseline and a frequency, which change the
// drawing and not the spectrum.
TEST(ModelCommand, WithoutLineAdditionsTheSpectrumIsTheProgramsOwn)
{
    const ModelChange changes[] = {
        {},
        [](ModelTexts& t) { t.offset = "0.3"; t.slope = "-0.01"; t.frequency = "9.4"; },
    };
    for (const ModelChange& change : changes) {
        Fixture f;
        f.calculate({{"H1", "3.1"}, {"H2", "1.2"}, {"N1", "9.5"}, {"Sigma", "0.15"}}, change);
        ASSERT_TRUE(f.host.errors.empty());
        const SimulatedSpectrum own = synthesize(synthesisInput(f.state));
        EXPECT_EQ(f.intensities(), own.intensity);
    }
}

// drawn value = Scl x I + offset + slope x (field - GCntr), in the picture and
// in the .cal, and still so after an import has moved the trace.
TEST(ModelCommand, TheBaselineLiftsAndTiltsTheRedTraceInThePictureAndTheCal)
{
    Fixture f;
    ScratchDirectory out;
    f.calculate({{"H1", "1.5"}, {"GCntr", "3350"}, {"Scl", "0.5"}},
                [](ModelTexts& t) { t.offset = "0.25"; t.slope = "0.02"; });
    ASSERT_TRUE(f.host.errors.empty());
    EXPECT_EQ(f.state.CalcBaselineOffset, 0.25);
    EXPECT_EQ(f.state.CalcBaselineSlope, 0.02);

    const auto drawn = [&](std::size_t i) {
        return 0.5 * f.state.CalcIntensity[i] + 0.25 + 0.02 * f.state.CalcField[i];
    };
    for (const std::size_t i : {20u, 125u, 250u, 333u, 480u}) {
        const double field = f.state.CalcCenterField + f.state.CalcField[i];
        EXPECT_EQ(f.host.raster.pixel(FieldToX(f.state, field), IntensityToY(f.state, drawn(i))), kRed) << i;
    }

    // Typed but not calculated: the drawing keeps the baseline it was made with.
    f.host.model.offset = "0";
    const auto calValues = [&](double centre) {
        f.host.saveAnswers = {out.file("trace.cal")};
        exportCommand(f.state, f.host);
        const std::string cal = readBytes(out.file("trace.cal"));
        std::size_t at = 0;
        for (std::size_t i = 0; i <= 500; ++i) {
            const std::size_t end = cal.find("\r\n", at);
            const double field = std::stod(cal.substr(at, 7));
            const double value = std::stod(cal.substr(at + 13, end - at - 13));
            if (std::fabs(field - (centre + f.state.CalcField[i])) > 0.005 || std::fabs(value - drawn(i)) > 5e-6)
                return "line " + std::to_string(i) + ": " + cal.substr(at, end - at);
            at = end + 2;
        }
        return std::string("as drawn");
    };
    EXPECT_EQ(calValues(3350.0), "as drawn");

    // The import centres the trace on the middle of the file's span, 3400 G:
    // the baseline goes with it, about the new centre.
    f.host.openAnswers.push_back(importData("descending_fields.txt"));
    importCommand(f.state, f.host);
    ASSERT_TRUE(f.host.errors.empty());
    ASSERT_EQ(f.state.CalcCenterField, 3400.0);
    EXPECT_EQ(calValues(3400.0), "as drawn");
    const QImage imported = f.host.raster.copy();
    f.host.redrawPlot();
    EXPECT_EQ(f.host.raster, imported) << "a redraw from the state shows the same picture";
    f.state.CalcBaselineOffset = 0.0;
    f.host.redrawPlot();
    EXPECT_NE(f.host.raster, imported);

    // A Calculate with the texts back at 0 draws what the program always drew.
    f.host.model.slope = "0";
    calculateCommand(f.state, f.host);
    Fixture plain;
    plain.host.openAnswers.push_back(importData("descending_fields.txt"));
    importCommand(plain.state, plain.host);
    plain.calculate({{"H1", "1.5"}, {"GCntr", f.host.boxText("GCntr")}, {"Scl", "0.5"}});
    EXPECT_EQ(f.host.raster, plain.host.raster);
}

// A bad value anywhere in the window: a message that names the field, and
// the last good spectrum, boxes, picture and baseline stay.
TEST(ModelCommand, BadValuesAreNamedAndChangeNothing)
{
    struct Row {
        ModelChange change;
        std::string message;
        Boxes boxes = {}; // typed with the change
    };
    const auto species2 = [](const std::function<void(SpeciesTexts&)>& change) {
        return [change](ModelTexts& t) {
            t.species = {SpeciesTexts{}};
            t.species[0].groups = {{"14N", "1", "15", false}};
            change(t.species[0]);
        };
    };
    const Row rows[] = {
        {[](ModelTexts& t) { t.shape = model::LineShape::Lorentzian; t.gamma = "abc"; },
         "Gamma: 'abc' is not a number."},
        {[](ModelTexts& t) { t.shape = model::LineShape::Voigt; t.gamma = "-0.1"; },
         "Species 1: gamma must be a number of 0 or more."},
        {[](ModelTexts& t) { t.groups = {{"1H", "0", "1", false}}; },
         "Species 1, group 1: the number of equivalent nuclei must be between 1 and 30."},
        {[](ModelTexts& t) { t.groups = {{"1H", "1", "1", false}, {"1H", "31", "1", false}}; },
         "Species 1, group 2: the number of equivalent nuclei must be between 1 and 30."},
        {[](ModelTexts& t) { t.groups = {{"1H", "1", "1", false}, {"Xx", "1", "1", false}}; },
         "Species 1, group 2: the isotope is not in the table (write it like 1H, 13C or 63Cu)."},
        {[](ModelTexts& t) { t.groups = {{"12C", "2", "1", true}}; },
         "Species 1, group 1: a group marked natural abundance needs a magnetic isotope (spin above 0) to give its "
         "coupling."},
        {[](ModelTexts& t) { t.groups = {{"1H", "2", "1,5,", false}}; },
         "Species 1, group 1, coupling: '1,5,' is not a number."},
        {[](ModelTexts& t) { t.groups = {{"14N", "1", "15", false}}; t.widthLaw = {"1", "0.2", "0", "0", "0"}; },
         "Species 1: sigma falls to 0 or below at m = -1."},
        {[](ModelTexts& t) { t.groups = {{"14N", "1", "15", false}}; t.widthLaw = {"2", "0", "0", "0", "0"}; },
         "Species 1: the group chosen for the m_I-dependent widths does not exist."},
        {[](ModelTexts& t) { t.groups = {{"14N", "1", "15", false}}; },
         "Species 1: a Gaussian line needs a sigma other than 0.", {{"Sigma", "0"}}},
        {[](ModelTexts& t) { t.offset = "x"; }, "Baseline offset: 'x' is not a number."},
        {[](ModelTexts& t) { t.slope = ""; }, "Baseline slope: '' is not a number."},
        {[](ModelTexts& t) { t.frequency = "0"; }, std::string(messages::kBadFrequency)},
        {species2([](SpeciesTexts& s) { s.weight = "-1"; }), "Species 2: the weight must be a number of 0 or more."},
        {species2([](SpeciesTexts& s) { s.sigma = "abc"; }), "Species 2, Sigma: 'abc' is not a number."},
        {species2([](SpeciesTexts& s) { s.shiftIsGValue = true; }),
         "Species 2, " + std::string(messages::kShiftAsGNeedsFrequency)},
        {species2([](SpeciesTexts& s) { s.shape = model::LineShape::Voigt; s.sigma = "0"; s.gamma = "0"; }),
         "Species 2: a Voigt line needs a sigma or a gamma other than 0."},
        {species2([](SpeciesTexts& s) { s.groups[0].isotope = "14n"; }),
         "Species 2, group 1: the isotope is not in the table (write it like 1H, 13C or 63Cu)."},
        {[](ModelTexts& t) { t.species.assign(model::kMaxSpecies, SpeciesTexts{}); }, messages::tooManySpecies()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        Fixture f;
        f.calculate({{"H1", "1.5"}, {"H2", "0.5"}, {"GCntr", "3350"}},
                    [](ModelTexts& t) { t.offset = "0.1"; t.shape = model::LineShape::Voigt; });
        ASSERT_TRUE(f.host.errors.empty());
        const QImage picture = f.host.raster.copy();
        const std::vector<double> spectrum = f.state.CalcIntensity;

        f.host.model = ModelTexts{};
        f.host.setBoxes(row.boxes);
        row.change(f.host.model);
        const auto boxes = f.host.boxes;
        const ModelTexts typed = f.host.model;
        calculateCommand(f.state, f.host);
        EXPECT_EQ(f.host.errors, std::vector<std::string>{row.message});
        EXPECT_EQ(f.host.boxes, boxes);
        EXPECT_TRUE(f.host.model == typed) << "the window's texts stay as typed";
        EXPECT_EQ(f.host.raster, picture);
        EXPECT_EQ(f.state.CalcIntensity, spectrum);
        EXPECT_EQ(f.state.CalcBaselineOffset, 0.1);
    }
}

// The check before the synthesis: the Model window's own nuclei or a further
// species stand in for H1 and N1; G and Sigma are needed as ever.
TEST(ModelCommand, TheModelsOwnNucleiOrSpeciesPassTheCheckForH1OrN1)
{
    struct Row {
        const char* name;
        Boxes boxes;
        ModelChange change;
        bool notice;
    };
    const auto group = [](ModelTexts& t) { t.groups = {{"31P", "1", "20", false}}; };
    const Row rows[] = {
        {"nothing at all", {}, {}, true},
        {"a group", {}, group, false},
        {"a further species", {}, [](ModelTexts& t) { t.species = {SpeciesTexts{}}; }, false},
        {"a group, but G unset", {{"G", "G"}}, group, true},
        {"a group, but Sigma unset", {{"Sigma", "Sigma"}}, group, true},
        {"a Lorentzian line alone", {}, [](ModelTexts& t) { t.shape = model::LineShape::Lorentzian; }, true},
    };
    for (const Row& row : rows) {
        Fixture f;
        f.calculate(row.boxes, row.change);
        EXPECT_EQ(f.host.notices.size(), row.notice ? 1u : 0u) << row.name;
        EXPECT_TRUE(f.host.errors.empty()) << row.name;
        EXPECT_EQ(f.host.redrawCount, row.notice ? 0 : 1) << row.name;
    }
}

// A Gamma stepper's step: as a box's, on the Model window's text.
TEST(ModelCommand, AStepOnGammaRewritesOnlyGamma)
{
    struct Row {
        char separator;
        const char* gamma;
        long double step;
        const char* after; // nullptr: the error below, the text kept
        const char* error;
    };
    const Row rows[] = {
        {'.', "0.1", 0.1L, "0.2", nullptr},
        {'.', "0.1", -0.1L, "0", nullptr},
        {'.', "0", -0.1L, "-0.1", nullptr},
        {'.', " 0.25 ", 0.01L, "0.26", nullptr},
        {'.', "0.1", -0.001L, "0.099", nullptr},
        {',', "0,1", 0.01L, "0,11", nullptr},
        {',', "0.1", 0.001L, "0,101", nullptr},
        {'.', "abc", 0.1L, nullptr, "Gamma: 'abc' is not a number."},
        {'.', "", 0.01L, nullptr, "Gamma: '' is not a number."},
    };
    const ModelTextOf gamma = [](ModelTexts& t) -> std::string& { return t.gamma; };
    for (const Row& row : rows) {
        ProgramState state;
        FakeHost host(state, row.separator);
        host.model.gamma = row.gamma;
        host.model.groups = {{"1H", "2", "1", false}};
        host.model.offset = "0.5";
        ModelTexts expected = host.model;
        const bool stepped = stepModelText(host, gamma, "Gamma", row.step);
        EXPECT_EQ(stepped, row.after != nullptr) << row.gamma;
        if (row.after) {
            expected.gamma = row.after;
            EXPECT_TRUE(host.errors.empty()) << row.gamma;
        } else {
            EXPECT_EQ(host.errors, std::vector<std::string>{row.error});
        }
        EXPECT_TRUE(host.model == expected) << row.gamma << " gave " << host.model.gamma;
        EXPECT_EQ(host.redrawCount, 0) << "the step alone does not calculate";
    }
}

// The RMS distance of the observed points from the red trace as drawn,
// interpolated between the trace's points; only points under the trace count.
double rmsFromTrace(const ProgramState& state)
{
    const TraceLevel level{state.CalcScale, state.CalcBaselineOffset, state.CalcBaselineSlope};
    const auto n = static_cast<std::size_t>(state.CalcSpectrumPoints);
    const double step = state.CalcField[1] - state.CalcField[0];
    double sum = 0.0;
    int counted = 0;
    for (std::int32_t i = 1; i <= state.ObsCount; ++i) {
        const double offset = state.ObsField[static_cast<std::size_t>(i)] - state.CalcCenterField;
        const double at = (offset - state.CalcField[0]) / step;
        if (!(at >= 0) || at >= static_cast<double>(n))
            continue;
        const auto k = static_cast<std::size_t>(at);
        const double low = tracedIntensity(level, state.CalcField[k], state.CalcIntensity[k]);
        const double high = tracedIntensity(level, state.CalcField[k + 1], state.CalcIntensity[k + 1]);
        const double drawn = low + (at - static_cast<double>(k)) * (high - low);
        sum += std::pow(state.ObsIntensity[static_cast<std::size_t>(i)] - drawn, 2);
        ++counted;
    }
    return counted > 0 ? std::sqrt(sum / counted) : INFINITY;
}

std::string measuredFile(const char* name)
{
    return testing::measuredFolder() + "/" + name;
}

// Hand-set models of measured spectra (the README's): the Model window's
// additions bring the red trace onto the aqua one, and without them it
// stays visibly off.
TEST(ModelCommand, MeasuredSpectraNeedWhatOnlyTheModelWindowCanSay)
{
    const auto fremy = [](ModelTexts& t) {
        t.shape = model::LineShape::Voigt;
        t.gamma = "0.488";
        t.groups = {{"14N", "1", "12.98", false}};
        t.widthLaw = {"1", "0", "0", "0.144", "0.211"};
        t.offset = "-0.003";
    };
    const auto hydroquinone = [](ModelTexts& t) {
        t.groups = {{"1H", "2", "2.01", false}, {"1H", "2", "2.52", false}};
        SpeciesTexts cis;
        cis.groups = {{"1H", "2", "3.47", false}, {"1H", "2", "2.40", false}, {"1H", "2", "2.13", false}};
        cis.weight = "1.08";
        cis.sigma = "0.016";
        t.species = {cis};
        t.offset = "-0.017";
    };
    struct Row {
        const char* name;
        const char* file;
        Boxes boxes;
        ModelChange model;
        ModelChange takeOut; // what only the Model window says, taken out again
        double within;       // RMS with it, at most
        double without;      // RMS without it, at least
    };
    const Row rows[] = {
        {"Fremy's salt: widths that depend on m_I", "Fremy_glycerol.dat",
         {{"Sigma", "0.04"}, {"GCntr", "3479.22"}, {"NoPnts", "2000"}, {"Scl", "0.99"}}, fremy,
         [](ModelTexts& t) { t.widthLaw.group = ""; }, 0.01, 0.03},
        {"Fremy's salt: Voigt lines", "Fremy_glycerol.dat",
         {{"Sigma", "0.04"}, {"GCntr", "3479.22"}, {"NoPnts", "2000"}, {"Scl", "0.99"}}, fremy,
         [](ModelTexts& t) { t.shape = model::LineShape::Gaussian; }, 0.01, 0.1},
        {"hydroquinone cation: the cis form as a second species", "Hydroquinone_cation.dat",
         {{"H1", "3.47"}, {"H2", "3.47"}, {"Sigma", "0.016"}, {"NoPnts", "8000"}, {"GCntr", "3354.24"},
          {"Scl", "0.93"}}, hydroquinone, [](ModelTexts& t) { t.species.clear(); }, 0.03, 0.04},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = measuredFile(row.file);
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << "The measured spectra are not at " << file << " (RAVELLE_MEASURED_DATA names them)";
        Fixture f;
        f.host.openAnswers.push_back(file);
        importCommand(f.state, f.host);
        f.calculate(row.boxes, row.model);
        ASSERT_TRUE(f.host.errors.empty()) << f.host.errors.front();
        EXPECT_LT(rmsFromTrace(f.state), row.within);
        row.takeOut(f.host.model);
        calculateCommand(f.state, f.host);
        ASSERT_TRUE(f.host.errors.empty()) << f.host.errors.front();
        EXPECT_GT(rmsFromTrace(f.state), row.without);
    }
}

} // namespace
} // namespace ravelle
