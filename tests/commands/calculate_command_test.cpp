#include <gtest/gtest.h>

#include <QImage>

#include <map>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "tests/support/FakeHost.h"
#include "commands/Commands.h"

namespace ravelle {
namespace {

using testing::FakeHost;
using Boxes = std::map<std::string, std::string>;

constexpr QRgb kRed = 0xFFFF0000u;
constexpr QRgb kAqua = 0xFF00FFFFu;
constexpr QRgb kWhite = 0xFFFFFFFFu;

std::string notice() { return std::string(messages::kMissingParameters); }

struct Fixture {
    ProgramState state;
    FakeHost host;
    explicit Fixture(char separator = '.') : host(state, separator) { Initialise(state, "/start"); }
};

// Columns where a colour appears anywhere in the raster.
std::pair<int, int> columnSpan(const QImage& raster, QRgb colour)
{
    int first = raster.width();
    int last = -1;
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            if (raster.pixel(x, y) == colour) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

TEST(CalculateCommand, StartUpShowsTheNoticeAndDrawsNothing)
{
    Fixture f;
    calculateCommand(f.state, f.host);
    EXPECT_EQ(f.host.log, std::vector<std::string>{"notice: " + notice()});
    EXPECT_EQ(f.host.redrawCount, 0);
    EXPECT_FALSE(f.state.CalcValid);
    EXPECT_EQ(f.host.boxText("Edit1"), "Edit1");
    EXPECT_EQ(f.host.boxText("NoPnts"), "NoPnts");
}

// Which boxes count, which are converted, and what stops the run.
TEST(CalculateCommand, ReadsTheBoxChains)
{
    struct Case {
        std::string name;
        Boxes boxes;
        std::string expectedLog; // empty: no notice, no error
        int hCount;
        int nCount;
        std::vector<double> couplingH; // entries 1 .. hCount
        std::vector<double> couplingN;
    };
    const std::vector<Case> cases{
        {"gap ends the chain", {{"H1", "1.5"}, {"H2", "H2"}, {"H3", "2.0"}}, "", 1, 0, {1.5}, {}},
        {"H2 typed lower case", {{"H1", "1.5"}, {"H2", "h2"}}, "error: 'h2' は浮動小数点数ではありません", 0, 0, {}, {}},
        {"H2 empty", {{"H1", "1.5"}, {"H2", ""}}, "error: '' は浮動小数点数ではありません", 0, 0, {}, {}},
        {"H1 with a leading blank is a number box",
         {{"H1", " H1"}, {"N1", "14.5"}},
         "error: ' H1' は浮動小数点数ではありません", 0, 0, {}, {}},
        {"no hydrogen, garbage behind the gap", {{"H1", "H1"}, {"N1", "14.5"}, {"H2", "abc"}}, "", 0, 1, {}, {14.5}},
        {"one of each", {{"H1", "5"}, {"N1", "10"}, {"N3", "x"}}, "", 1, 1, {5.0}, {10.0}},
        {"eight hydrogens",
         {{"H1", "1"}, {"H2", "2"}, {"H3", "3"}, {"H4", "4"}, {"H5", "5"}, {"H6", "6"}, {"H7", "7"}, {"H8", "8.25"}},
         "", 8, 0, {1, 2, 3, 4, 5, 6, 7, 8.25}, {}},
        {"three and one", {{"H1", "1"}, {"H2", "2"}, {"H3", "3"}, {"N1", " 1.25 "}}, "", 3, 1, {1, 2, 3}, {1.25}},
        {"G unset", {{"H1", "1.5"}, {"G", "G"}}, "notice: " + notice(), 0, 0, {}, {}},
        {"Sigma unset", {{"N1", "1.5"}, {"Sigma", "Sigma"}}, "notice: " + notice(), 0, 0, {}, {}},
        {"NoPnts not an integer", {{"H1", "1.5"}, {"NoPnts", "2.5"}}, "error: '2.5' は整数ではありません", 0, 0, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.host.setBoxes(c.boxes);
        calculateCommand(f.state, f.host);
        const std::vector<std::string> expectedLog =
            c.expectedLog.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.expectedLog};
        EXPECT_EQ(f.host.log, expectedLog);
        EXPECT_EQ(f.host.redrawCount, c.expectedLog.empty() ? 1 : 0);
        if (!c.expectedLog.empty())
            continue;
        EXPECT_EQ(f.state.HCount, c.hCount);
        EXPECT_EQ(f.state.NCount, c.nCount);
        for (std::size_t k = 0; k < c.couplingH.size(); ++k)
            EXPECT_EQ(f.state.CouplingH[k + 1], c.couplingH[k]);
        for (std::size_t k = 0; k < c.couplingN.size(); ++k)
            EXPECT_EQ(f.state.CouplingN[k + 1], c.couplingN[k]);
        for (std::size_t k = c.couplingH.size() + 1; k < f.state.CouplingH.size(); ++k)
            EXPECT_EQ(f.state.CouplingH[k], 0.0) << "H" << k << " behind the chain was read";
    }
}

TEST(CalculateCommand, WritesTheValuesBack)
{
    struct Case {
        Boxes typed;
        Boxes expected;
    };
    const std::vector<Case> cases{
        {{{"H1", "1.5"}},
         {{"Edit1", "-15.00"}, {"Edit2", "15.00"}, {"Edit3", "-1.10"}, {"Edit4", "1.10"}, {"GCntr", "0.00"},
          {"Scl", "1.0000"}, {"NoPnts", "500"}}},
        {{{"H1", "1.5"}, {"GCntr", "3400"}, {"Scl", "2"}, {"NoPnts", "+200"}},
         {{"Edit1", "3385.00"}, {"Edit2", "3415.00"}, {"GCntr", "3400.00"}, {"Scl", "2.0000"}, {"NoPnts", "200"}}},
        {{{"H1", "1.5"}, {"GCntr", "3349.125"}, {"G", "-30"}, {"Scl", "-0.00004"}, {"NoPnts", "$10"}},
         {{"Edit1", "3364.13"}, {"Edit2", "3334.13"}, {"GCntr", "3349.13"}, {"Scl", "0.0000"}, {"NoPnts", "16"}}},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.host.setBoxes(c.typed);
        calculateCommand(f.state, f.host);
        ASSERT_TRUE(f.host.log.empty()) << f.host.log.front();
        for (const auto& [box, text] : c.expected)
            EXPECT_EQ(f.host.boxText(box), text) << box;
        EXPECT_EQ(f.host.boxText("G"), c.typed.count("G") ? c.typed.at("G") : "30"); // never rewritten
    }
}

TEST(CalculateCommand, NoticeKeepsTypedTextsButStoresTheirValues)
{
    Fixture f;
    f.host.setBoxes({{"GCntr", "3400"}, {"Scl", "2"}, {"NoPnts", "+200"}});
    calculateCommand(f.state, f.host);
    EXPECT_EQ(f.host.notices, std::vector<std::string>{notice()});
    EXPECT_EQ(f.host.boxText("GCntr"), "3400");
    EXPECT_EQ(f.host.boxText("Scl"), "2");
    EXPECT_EQ(f.host.boxText("NoPnts"), "+200");
    EXPECT_EQ(f.state.CenterField, 3400.0);
    EXPECT_EQ(f.state.MutualScale, 2.0);
    EXPECT_EQ(f.state.CalcPoints, 200);
}

TEST(CalculateCommand, StartUpPictureHasFrameAndRedTraceOnly)
{
    Fixture f;
    f.host.setBoxes({{"H1", "1.5"}});
    calculateCommand(f.state, f.host);
    ASSERT_EQ(f.host.redrawCount, 1);
    const QImage& raster = f.host.raster;
    EXPECT_EQ(columnSpan(raster, kWhite), std::make_pair(10, 847));
    EXPECT_EQ(columnSpan(raster, kRed), std::make_pair(11, 846)); // 10 and 847 lie under the frame
    EXPECT_EQ(columnSpan(raster, kAqua).second, -1);
    EXPECT_EQ(raster.pixel(11, 249), kRed);
    EXPECT_EQ(f.state.CalcSpectrumPoints, 500);
}

TEST(CalculateCommand, NegativeRangeSwapsTheLimitsButNotTheFrame)
{
    Fixture f;
    f.host.setBoxes({{"H1", "1.5"}, {"G", "-30"}});
    calculateCommand(f.state, f.host);
    EXPECT_EQ(f.host.boxText("Edit1"), "15.00");
    EXPECT_EQ(f.host.boxText("Edit2"), "-15.00");
    EXPECT_EQ(columnSpan(f.host.raster, kWhite), std::make_pair(10, 847));
}

TEST(CalculateCommand, CommaSeparatorReadsAndWritesCommas)
{
    Fixture f(',');
    f.host.setBoxes({{"H1", "1,5"}, {"Sigma", "0,1"}, {"GCntr", "3400,5"}});
    calculateCommand(f.state, f.host);
    ASSERT_TRUE(f.host.log.empty()) << f.host.log.front();
    EXPECT_EQ(f.state.SigmaValue, 0.1);
    EXPECT_EQ(f.state.CouplingH[1], 1.5);
    EXPECT_EQ(f.host.boxText("GCntr"), "3400,50");
    EXPECT_EQ(f.host.boxText("Edit3"), "-1,10");

    // A point is a decimal point in every locale: the window's own start-up
    // text "0.1" in Sigma reads under a decimal comma too.
    const struct {
        Boxes typed;
        std::string error;
        double sigma;
        double coupling;
    } rows[] = {
        {{{"Sigma", "0.1"}, {"H1", "1,5"}}, "", 0.1, 1.5},
        {{{"Sigma", "0,2"}, {"H1", "2.5"}}, "", 0.2, 2.5},
        {{{"Sigma", " .3 "}, {"H1", "1e1"}}, "", 0.3, 10.0},
        {{{"Sigma", "0,1.5"}, {"H1", "1"}}, "'0,1.5' は浮動小数点数ではありません", 0.0, 0.0},
        {{{"Sigma", "0.1"}, {"H1", "1.000,5"}}, "'1.000,5' は浮動小数点数ではありません", 0.0, 0.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed.begin()->second);
        Fixture g(',');
        g.host.setBoxes(row.typed);
        calculateCommand(g.state, g.host);
        if (!row.error.empty()) {
            EXPECT_EQ(g.host.errors, std::vector<std::string>{row.error});
            continue;
        }
        ASSERT_TRUE(g.host.log.empty()) << g.host.log.front();
        EXPECT_EQ(g.state.SigmaValue, row.sigma);
        EXPECT_EQ(g.state.CouplingH[1], row.coupling);
        EXPECT_EQ(g.host.boxText("Edit1"), "-15,00") << "boxes are written with the system's separator";
    }
}

// A Calculate that fails after its check leaves the last good spectrum, the
// window, the boxes and the picture untouched; the values it read stay read.
TEST(CalculateCommand, FailureAfterTheCheckKeepsTheLastGoodResult)
{
    struct Case {
        Boxes typed;
        std::string error;
    };
    const std::vector<Case> cases{
        {{{"Sigma", "abc"}}, "'abc' は浮動小数点数ではありません"},
        {{{"H2", "2"}, {"H3", "3,0"}}, "'3,0' は浮動小数点数ではありません"},
        {{{"NoPnts", "0"}}, std::string(messages::kDivisionByZero)},
        {{{"Sigma", "0"}}, std::string(messages::kDivisionByZero)},
        {{{"NoPnts", "-5"}}, ""}, // refused; the wording belongs to the synthesis
        {{{"G", "1e-13"}, {"GCntr", "3400"}}, std::string(messages::kInvalidOperation)}, // ends coincide
        {{{"GCntr", "1.7e308"}, {"G", "1e308"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.begin()->first + " " + c.typed.begin()->second);
        Fixture f;
        f.host.setBoxes({{"H1", "1.5"}, {"GCntr", "3350"}, {"Scl", "0.5"}});
        calculateCommand(f.state, f.host);
        ASSERT_TRUE(f.host.log.empty());
        const QImage picture = f.host.raster.copy();
        const ProgramState good = f.state;
        const auto goodBoxes = f.host.boxes;

        f.host.setBoxes(c.typed);
        calculateCommand(f.state, f.host);
        ASSERT_EQ(f.host.errors.size(), 1u);
        if (!c.error.empty()) {
            EXPECT_EQ(f.host.errors.front(), c.error);
        }
        EXPECT_EQ(f.host.redrawCount, 1);
        EXPECT_TRUE(f.host.raster == picture);
        EXPECT_EQ(f.state.CalcField, good.CalcField);
        EXPECT_EQ(f.state.CalcIntensity, good.CalcIntensity);
        EXPECT_EQ(f.state.CalcSpectrumPoints, good.CalcSpectrumPoints);
        EXPECT_EQ(f.state.PlotFieldMin, good.PlotFieldMin);
        EXPECT_EQ(f.state.FrameFieldHigh, good.FrameFieldHigh);
        for (const char* box : {"Edit1", "Edit2", "Edit3", "Edit4"})
            EXPECT_EQ(f.host.boxText(box), goodBoxes.at(box));

        // What was read before the failure stays read, but the trace on the
        // plot keeps the centre and scale it was drawn with: a redraw brings
        // back the same picture.
        if (c.typed.count("GCntr")) {
            EXPECT_EQ(f.state.CenterField, std::stod(c.typed.at("GCntr")));
            EXPECT_EQ(f.host.boxText("GCntr"), c.typed.at("GCntr"));
        }
        f.host.redrawPlot();
        EXPECT_TRUE(f.host.raster == picture);
    }
}

TEST(CalculateCommand, ValuesReadBeforeAFailureStayStored)
{
    Fixture f;
    f.host.setBoxes({{"GCntr", "3400"}, {"Scl", "3"}, {"NoPnts", "100"}, {"G", "20"}, {"Sigma", "0.2"},
                     {"H1", "1.25"}, {"H2", "oops"}});
    calculateCommand(f.state, f.host);
    EXPECT_EQ(f.host.errors, std::vector<std::string>{"'oops' は浮動小数点数ではありません"});
    EXPECT_EQ(f.state.CenterField, 3400.0);
    EXPECT_EQ(f.state.MutualScale, 3.0);
    EXPECT_EQ(f.state.CalcPoints, 100);
    EXPECT_EQ(f.state.DisplayRange, 20.0);
    EXPECT_EQ(f.state.SigmaValue, 0.2);
    EXPECT_EQ(f.state.CouplingH[1], 1.25);
    EXPECT_TRUE(f.state.CalcValid);
    EXPECT_EQ(f.state.CalcSpectrumPoints, -1); // nothing to draw yet
    EXPECT_EQ(f.host.redrawCount, 0);
}

TEST(CalculateCommand, CheckStoppedRunWithMorePointsStillDrawsTheOldSpectrumWhole)
{
    Fixture f;
    f.host.setBoxes({{"H1", "1.5"}, {"NoPnts", "300"}});
    calculateCommand(f.state, f.host);
    const QImage picture = f.host.raster.copy();

    f.host.setBoxes({{"H1", "H1"}, {"NoPnts", "5000"}});
    calculateCommand(f.state, f.host);
    EXPECT_EQ(f.host.notices, std::vector<std::string>{notice()});
    EXPECT_EQ(f.state.CalcPoints, 5000);
    EXPECT_EQ(f.state.CalcSpectrumPoints, 300);
    EXPECT_EQ(f.state.CalcField.size(), 310u);

    f.host.redrawPlot();
    EXPECT_TRUE(f.host.raster == picture);
}

} // namespace
} // namespace ravelle
